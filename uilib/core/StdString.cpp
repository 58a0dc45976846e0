#include "uilib/core/StdString.h"

#include <cstdio>
#include <cstring>

using std::size_t;

namespace {

unsigned char FoldAscii(unsigned char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned char>(ch - 'A' + 'a') : ch;
}

const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

}  // namespace

CStdString::CStdString(const char* text) : data(OrEmpty(text)) {}

CStdString::CStdString(const char* text, int length)
{
    Assign(text, length);
}

CStdString::CStdString(const std::string& text) : data(text) {}

CStdString::CStdString(std::string_view text) : data(text) {}

CStdString& CStdString::operator=(const char* text)
{
    Assign(text);
    return *this;
}

CStdString& CStdString::operator=(char ch)
{
    data.assign(1, ch);
    return *this;
}

char CStdString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength()) {
        return '\0';
    }
    return data[static_cast<size_t>(index)];
}

void CStdString::SetAt(int index, char ch)
{
    if (index >= 0 && index < GetLength()) {
        data[static_cast<size_t>(index)] = ch;
    }
}

void CStdString::Assign(const char* text, int length)
{
    if (text == nullptr) {
        data.clear();
        return;
    }
    if (length < 0) {
        data.assign(text);
        return;
    }
    // Never read past a NUL that comes before `length`: callers pass buffer
    // sizes that may be larger than the text in them.
    const void* end = std::memchr(text, '\0', static_cast<size_t>(length));
    size_t count = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : static_cast<size_t>(length);
    // `text` may point into this string; assign copes with that.
    data.assign(text, count);
}

void CStdString::Append(const char* text)
{
    data.append(OrEmpty(text));
}

void CStdString::Append(const char* text, int length)
{
    CStdString part(text, length);
    data.append(part.data);
}

CStdString& CStdString::operator+=(const CStdString& text)
{
    data.append(text.data);
    return *this;
}

CStdString& CStdString::operator+=(const char* text)
{
    Append(text);
    return *this;
}

CStdString& CStdString::operator+=(char ch)
{
    data.push_back(ch);
    return *this;
}

CStdString operator+(const CStdString& left, const CStdString& right)
{
    CStdString result(left);
    result += right;
    return result;
}

CStdString operator+(const CStdString& left, const char* right)
{
    CStdString result(left);
    result += right;
    return result;
}

CStdString operator+(const char* left, const CStdString& right)
{
    CStdString result(left);
    result += right;
    return result;
}

CStdString operator+(const CStdString& left, char right)
{
    CStdString result(left);
    result += right;
    return result;
}

int CStdString::Compare(const char* text) const
{
    // strcmp compares as unsigned char, so a multibyte lead byte sorts after
    // every ASCII byte.
    return std::strcmp(data.c_str(), OrEmpty(text));
}

int CStdString::CompareNoCase(const char* text) const
{
    const unsigned char* left = reinterpret_cast<const unsigned char*>(data.c_str());
    const unsigned char* right = reinterpret_cast<const unsigned char*>(OrEmpty(text));
    for (;; ++left, ++right) {
        unsigned char a = FoldAscii(*left);
        unsigned char b = FoldAscii(*right);
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == '\0') {
            return 0;
        }
    }
}

void CStdString::MakeUpper()
{
    for (char& ch : data) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
}

void CStdString::MakeLower()
{
    for (char& ch : data) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
}

CStdString CStdString::Left(int length) const
{
    return Mid(0, length < 0 ? 0 : length);
}

CStdString CStdString::Mid(int start, int length) const
{
    if (start < 0) {
        start = 0;
    }
    if (start >= GetLength()) {
        return CStdString();
    }
    size_t count = length < 0 ? std::string::npos : static_cast<size_t>(length);
    return CStdString(data.substr(static_cast<size_t>(start), count));
}

CStdString CStdString::Right(int length) const
{
    if (length <= 0) {
        return CStdString();
    }
    if (length >= GetLength()) {
        return *this;
    }
    return CStdString(data.substr(static_cast<size_t>(GetLength() - length)));
}

int CStdString::Find(char ch, int start) const
{
    if (start < 0) {
        start = 0;
    }
    if (start >= GetLength()) {
        return -1;
    }
    size_t position = data.find(ch, static_cast<size_t>(start));
    return position == std::string::npos ? -1 : static_cast<int>(position);
}

int CStdString::Find(const char* text, int start) const
{
    if (start < 0) {
        start = 0;
    }
    if (start > GetLength()) {
        return -1;
    }
    size_t position = data.find(OrEmpty(text), static_cast<size_t>(start));
    return position == std::string::npos ? -1 : static_cast<int>(position);
}

int CStdString::ReverseFind(char ch) const
{
    size_t position = data.rfind(ch);
    return position == std::string::npos ? -1 : static_cast<int>(position);
}

int CStdString::Replace(const char* from, const char* to)
{
    std::string pattern(OrEmpty(from));
    if (pattern.empty()) {
        return 0;
    }
    std::string replacement(OrEmpty(to));   // copied: `to` may point into this string
    std::string result;
    int count = 0;
    size_t position = 0;
    for (;;) {
        size_t match = data.find(pattern, position);
        if (match == std::string::npos) {
            break;
        }
        result.append(data, position, match - position);
        result.append(replacement);
        position = match + pattern.size();
        ++count;
    }
    if (count > 0) {
        result.append(data, position, std::string::npos);
        data.swap(result);
    }
    return count;
}

int CStdString::Format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = FormatV(format, arguments);
    va_end(arguments);
    return length;
}

int CStdString::FormatV(const char* format, va_list arguments)
{
    if (format == nullptr) {
        data.clear();
        return 0;
    }
    va_list measure;
    va_copy(measure, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        // An encoding error in the arguments: leave nothing half-written.
        data.clear();
        return 0;
    }
    // Formatted into a local first: an argument may be this string's own
    // GetData(), which must stay intact until vsnprintf has read it.
    std::string result(static_cast<size_t>(length), '\0');
    std::vsnprintf(result.data(), result.size() + 1, format, arguments);
    data.swap(result);
    return length;
}
