#include "uilib/core/ImageInfo.h"

#include "uilib/core/AttributeList.h"
#include "uilib/core/ValueParsers.h"

#include <cstdio>
#include <cstring>

namespace {

void ReportBadImageKey(const CStdString& text, const char* what, const char* key)
{
#ifndef NDEBUG
    std::fprintf(stderr, "uilib: image attribute \"%s\": %s \"%s\"\n", text.GetData(), what, key);
#else
    (void)text;
    (void)what;
    (void)key;
#endif
}

// True when the text is a key='value' list rather than a bare file name: a
// bare name holds no '='. A file name with '=' in it needs the file='...'
// form.
bool IsKeyValueList(const CStdString& text)
{
    return text.Find('=') >= 0;
}

// Rectangles of an image are distances and sizes: never negative.
bool ParseDistances(const char* value, RECT* rect)
{
    RECT parsed;
    if (!ParseRect(value, &parsed) || parsed.left < 0 || parsed.top < 0 || parsed.right < 0 || parsed.bottom < 0) {
        return false;
    }
    *rect = parsed;
    return true;
}

CStdString Trimmed(const CStdString& text)
{
    int begin = 0;
    int end = text.GetLength();
    auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return text.Mid(begin, end - begin);
}

}  // namespace

bool ParseImageInfo(const CStdString& text, TImageInfo* info)
{
    if (info == nullptr) {
        return false;
    }
    *info = TImageInfo();
    if (!IsKeyValueList(text)) {
        info->file = Trimmed(text);
        return true;
    }

    bool valid = true;
    int faultOffset = -1;
    const std::vector<TAttribute> list = ParseAttributeList(text.GetData(), &valid, &faultOffset);
    if (!valid) {
        CStdString offset;
        offset.Format("%d", faultOffset);
        ReportBadImageKey(text, "malformed at byte", offset);
    }
    for (const TAttribute& attribute : list) {
        const char* key = attribute.name.c_str();
        const char* value = attribute.value.c_str();
        bool parsed = true;
        if (strcmp(key, "file") == 0) {
            info->file = CStdString(attribute.value);
        } else if (strcmp(key, "source") == 0) {
            parsed = ParseDistances(value, &info->source);
        } else if (strcmp(key, "dest") == 0) {
            parsed = ParseDistances(value, &info->dest);
        } else if (strcmp(key, "corner") == 0) {
            parsed = ParseDistances(value, &info->corner);
        } else if (strcmp(key, "xtiled") == 0) {
            parsed = ParseBool(value, &info->xtiled);
        } else if (strcmp(key, "ytiled") == 0) {
            parsed = ParseBool(value, &info->ytiled);
        } else if (strcmp(key, "xcentered") == 0) {
            parsed = ParseBool(value, &info->xcentered);
        } else if (strcmp(key, "ycentered") == 0) {
            parsed = ParseBool(value, &info->ycentered);
        } else if (strcmp(key, "fade") == 0) {
            LONG fade = 0;
            parsed = ParseInt(value, &fade) && fade >= 0 && fade <= 255;
            if (parsed) {
                info->fade = static_cast<BYTE>(fade);
            }
        } else {
            // Unknown keys do not make the value invalid: a skin written
            // for a richer library still draws its picture here.
            ReportBadImageKey(text, "unknown key", key);
            continue;
        }
        if (!parsed) {
            ReportBadImageKey(text, "bad value of", key);
            valid = false;
        }
    }
    return valid;
}
