#pragma once

// CStdString: the library's string. It holds UTF-8 bytes; lengths, indices
// and positions count bytes, not characters. Everything that compares or
// changes case looks at ASCII letters only: a byte >= 0x80 belongs to a
// multibyte character and is never folded, so a Chinese name compares and
// upper-cases byte for byte.
//
// A null `const char*` given to any member reads as the empty string.
// Indices outside the string never fault: GetAt answers '\0', Left/Mid/Right
// clamp to what exists, Find answers -1.

#include <compare>
#include <cstdarg>
#include <string>
#include <string_view>

class CStdString
{
public:
    CStdString() = default;
    CStdString(const char* text);                 // NOLINT: implicit on purpose, like the text it holds
    CStdString(const char* text, int length);     // the first `length` bytes; -1 reads up to the NUL
    CStdString(const std::string& text);          // NOLINT
    CStdString(std::string_view text);            // NOLINT
    CStdString(const CStdString&) = default;
    CStdString(CStdString&&) noexcept = default;
    CStdString& operator=(const CStdString&) = default;
    CStdString& operator=(CStdString&&) noexcept = default;
    CStdString& operator=(const char* text);
    CStdString& operator=(char ch);

    int GetLength() const { return static_cast<int>(data.size()); }
    bool IsEmpty() const { return data.empty(); }
    void Empty() { data.clear(); }

    // The byte at `index`, or '\0' outside the string.
    char GetAt(int index) const;
    char operator[](int index) const { return GetAt(index); }
    // Replaces the byte at `index`; nothing happens outside the string.
    void SetAt(int index, char ch);

    // NUL-terminated; valid until the string changes.
    const char* GetData() const { return data.c_str(); }
    operator const char*() const { return data.c_str(); }   // NOLINT
    const std::string& ToStdString() const { return data; }

    void Assign(const char* text, int length = -1);
    void Append(const char* text);
    void Append(const char* text, int length);
    void Append(char ch) { data.push_back(ch); }
    CStdString& operator+=(const CStdString& text);
    CStdString& operator+=(const char* text);
    CStdString& operator+=(char ch);

    friend CStdString operator+(const CStdString& left, const CStdString& right);
    friend CStdString operator+(const CStdString& left, const char* right);
    friend CStdString operator+(const char* left, const CStdString& right);
    friend CStdString operator+(const CStdString& left, char right);

    // Byte-wise like strcmp: negative, 0 or positive.
    int Compare(const char* text) const;
    // Like Compare, with ASCII letters folded to lower case on both sides.
    int CompareNoCase(const char* text) const;

    // The full set of relations (==, !=, <, <=, >, >=) against another
    // CStdString or a C string, in either order; they order like Compare.
    friend bool operator==(const CStdString& left, const CStdString& right) { return left.data == right.data; }
    friend bool operator==(const CStdString& left, const char* right) { return left.Compare(right) == 0; }
    friend std::strong_ordering operator<=>(const CStdString& left, const CStdString& right)
    {
        return left.Compare(right.data.c_str()) <=> 0;
    }
    friend std::strong_ordering operator<=>(const CStdString& left, const char* right) { return left.Compare(right) <=> 0; }

    void MakeUpper();
    void MakeLower();

    CStdString Left(int length) const;
    // `length` bytes from `start`; -1 means "to the end".
    CStdString Mid(int start, int length = -1) const;
    CStdString Right(int length) const;

    // Position of the first match at or after `start`, or -1.
    int Find(char ch, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    // Position of the last `ch`, or -1.
    int ReverseFind(char ch) const;
    // Replaces every non-overlapping `from` (left to right) by `to`; answers
    // how many were replaced. An empty `from` replaces nothing.
    int Replace(const char* from, const char* to);

    // printf-style; the result may be of any length. Answers the new length.
    int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int FormatV(const char* format, va_list arguments);

private:
    std::string data;
};
