#include "uilib/core/ValueParsers.h"

#include <cstdint>
#include <limits>

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

const char* SkipBlanks(const char* cursor)
{
    while (IsBlank(*cursor)) {
        ++cursor;
    }
    return cursor;
}

// Reads one decimal number at `cursor` (blanks before it skipped) and moves
// the cursor past it. False on no digits or on a value outside LONG.
bool ReadNumber(const char*& cursor, LONG* value)
{
    const char* at = SkipBlanks(cursor);
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at == '-';
        ++at;
    }
    if (*at < '0' || *at > '9') {
        return false;
    }
    // Accumulated as a magnitude in 64 bits: one more than LONG's maximum is
    // allowed for the negative side.
    const std::int64_t limit = static_cast<std::int64_t>(std::numeric_limits<LONG>::max()) + (negative ? 1 : 0);
    std::int64_t magnitude = 0;
    while (*at >= '0' && *at <= '9') {
        magnitude = magnitude * 10 + (*at - '0');
        if (magnitude > limit) {
            return false;
        }
        ++at;
    }
    *value = static_cast<LONG>(negative ? -magnitude : magnitude);
    cursor = at;
    return true;
}

// Reads `count` numbers separated by commas, and nothing else.
bool ReadNumberList(const char* text, LONG* numbers, int count)
{
    if (text == nullptr) {
        return false;
    }
    const char* cursor = text;
    for (int index = 0; index < count; ++index) {
        if (index > 0) {
            cursor = SkipBlanks(cursor);
            if (*cursor != ',') {
                return false;
            }
            ++cursor;
        }
        if (!ReadNumber(cursor, &numbers[index])) {
            return false;
        }
    }
    return *SkipBlanks(cursor) == '\0';
}

int HexDigit(char ch)
{
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

bool EqualsNoCase(const char* text, int length, const char* word)
{
    for (int index = 0; index < length; ++index) {
        char ch = text[index];
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
        if (word[index] == '\0' || ch != word[index]) {
            return false;
        }
    }
    return word[length] == '\0';
}

}  // namespace

bool ParseInt(const char* text, LONG* value)
{
    LONG number = 0;
    if (!ReadNumberList(text, &number, 1)) {
        return false;
    }
    *value = number;
    return true;
}

bool ParseRect(const char* text, RECT* rect)
{
    LONG numbers[4] = {};
    if (!ReadNumberList(text, numbers, 4)) {
        return false;
    }
    *rect = RECT{numbers[0], numbers[1], numbers[2], numbers[3]};
    return true;
}

bool ParseSize(const char* text, SIZE* size)
{
    LONG numbers[2] = {};
    if (!ReadNumberList(text, numbers, 2)) {
        return false;
    }
    *size = SIZE{numbers[0], numbers[1]};
    return true;
}

bool ParseColor(const char* text, DWORD* argb)
{
    if (text == nullptr) {
        return false;
    }
    const char* cursor = SkipBlanks(text);
    if (*cursor != '#') {
        return false;
    }
    ++cursor;
    DWORD colour = 0;
    int digits = 0;
    for (; HexDigit(*cursor) >= 0; ++cursor, ++digits) {
        if (digits == 8) {
            return false;
        }
        colour = (colour << 4) | static_cast<DWORD>(HexDigit(*cursor));
    }
    if (*SkipBlanks(cursor) != '\0') {
        return false;
    }
    if (digits == 6) {
        colour |= 0xFF000000u;
    } else if (digits != 8) {
        return false;
    }
    *argb = colour;
    return true;
}

bool ParseBool(const char* text, bool* value)
{
    if (text == nullptr) {
        return false;
    }
    const char* begin = SkipBlanks(text);
    const char* end = begin;
    while (*end != '\0') {
        ++end;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
    int length = static_cast<int>(end - begin);
    if (EqualsNoCase(begin, length, "true")) {
        *value = true;
        return true;
    }
    if (EqualsNoCase(begin, length, "false")) {
        *value = false;
        return true;
    }
    return false;
}
