#include "uilib/core/AttributeList.h"

#include <cstring>

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

bool IsQuote(char ch)
{
    return ch == '"' || ch == '\'';
}

}  // namespace

std::vector<TAttribute> ParseAttributeList(const char* list, bool* complete, int* faultOffset)
{
    std::vector<TAttribute> result;
    if (complete != nullptr) {
        *complete = true;
    }
    if (faultOffset != nullptr) {
        *faultOffset = -1;
    }
    if (list == nullptr) {
        return result;
    }
    const char* cursor = list;
    auto fail = [&](const char* at) {
        if (complete != nullptr) {
            *complete = false;
        }
        if (faultOffset != nullptr) {
            *faultOffset = static_cast<int>(at - list);
        }
        return result;
    };
    if (strnlen(list, kMaxAttributeListBytes + 1) > kMaxAttributeListBytes) {
        return fail(list + kMaxAttributeListBytes);
    }
    for (;;) {
        while (IsBlank(*cursor)) {
            ++cursor;
        }
        if (*cursor == '\0') {
            return result;
        }
        if (result.size() == kMaxAttributePairs) {
            return fail(cursor);
        }
        const char* nameBegin = cursor;
        while (*cursor != '\0' && !IsBlank(*cursor) && *cursor != '=' && !IsQuote(*cursor)) {
            ++cursor;
        }
        if (cursor == nameBegin) {
            return fail(cursor);
        }
        const char* nameEnd = cursor;
        while (IsBlank(*cursor)) {
            ++cursor;
        }
        if (*cursor != '=') {
            return fail(cursor);
        }
        ++cursor;
        while (IsBlank(*cursor)) {
            ++cursor;
        }
        if (!IsQuote(*cursor)) {
            return fail(cursor);
        }
        const char quote = *cursor++;
        const char* valueBegin = cursor;
        while (*cursor != '\0' && *cursor != quote) {
            ++cursor;
        }
        if (*cursor == '\0') {
            return fail(valueBegin - 1);
        }
        result.push_back(TAttribute{std::string(nameBegin, nameEnd), std::string(valueBegin, cursor)});
        ++cursor;   // the closing quote
    }
}
