#include "catalogue/TextEncoding.h"

#include <cerrno>
#include <iconv.h>

namespace {

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the UTF-8 sequence that starts at bytes[i], or 0 when none does.
std::size_t SequenceLength(std::string_view bytes, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if (next < 0x80 || next > 0xBF)
            return 0;
    }
    return length;
}

// Keeps the valid sequences of `bytes` and puts U+FFFD for every other byte.
std::string RepairedUtf8(std::string_view bytes)
{
    std::string result;
    result.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = SequenceLength(bytes, i);
        if (length == 0) {
            result += kReplacement;
            ++i;
        } else {
            result.append(bytes.substr(i, length));
            i += length;
        }
    }
    return result;
}

bool IsXmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

bool EqualsAsciiNoCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        char a = left[i], b = right[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Longest XML declaration looked at, in bytes: the encoding is in its first
// few dozen bytes in any real file.
constexpr std::size_t kDeclarationBytes = 256;

} // namespace

std::string DeclaredEncoding(std::string_view bytes)
{
    std::size_t i = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
    while (i < bytes.size() && IsXmlSpace(bytes[i]))
        ++i;
    if (!EqualsAsciiNoCase(bytes.substr(i, 5), "<?xml") || i + 5 >= bytes.size() || !IsXmlSpace(bytes[i + 5]))
        return {};
    const std::string_view declaration = bytes.substr(i, kDeclarationBytes);
    const std::size_t end = declaration.find("?>");
    // Pseudo-attributes: name = 'value' or name = "value", separated by blanks.
    std::size_t at = 5;
    const std::size_t limit = end == std::string_view::npos ? declaration.size() : end;
    while (at < limit) {
        while (at < limit && IsXmlSpace(declaration[at]))
            ++at;
        const std::size_t nameBegin = at;
        while (at < limit && declaration[at] != '=' && !IsXmlSpace(declaration[at]))
            ++at;
        const std::string_view name = declaration.substr(nameBegin, at - nameBegin);
        while (at < limit && IsXmlSpace(declaration[at]))
            ++at;
        if (at >= limit || declaration[at] != '=')
            return {};
        ++at;
        while (at < limit && IsXmlSpace(declaration[at]))
            ++at;
        if (at >= limit || (declaration[at] != '"' && declaration[at] != '\''))
            return {};
        const char quote = declaration[at++];
        const std::size_t valueEnd = declaration.find(quote, at);
        if (valueEnd == std::string_view::npos || valueEnd > limit)
            return {};
        if (EqualsAsciiNoCase(name, "encoding"))
            return std::string(declaration.substr(at, valueEnd - at));
        at = valueEnd + 1;
    }
    return {};
}

ETextEncoding DetectEncoding(std::string_view bytes)
{
    const std::string declared = DeclaredEncoding(bytes);
    for (std::string_view name : {"UTF-8", "UTF8"}) {
        if (EqualsAsciiNoCase(declared, name))
            return ETextEncoding::Utf8;
    }
    for (std::string_view name : {"GBK", "GB2312", "GB18030"}) {
        if (EqualsAsciiNoCase(declared, name))
            return ETextEncoding::Gb18030;
    }
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        return ETextEncoding::Utf8;
    return IsValidUtf8(bytes) ? ETextEncoding::Utf8 : ETextEncoding::Gb18030;
}

bool IsValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = SequenceLength(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string ToUtf8(std::string_view bytes)
{
    if (DetectEncoding(bytes) == ETextEncoding::Utf8)
        return IsValidUtf8(bytes) ? std::string(bytes) : RepairedUtf8(bytes);

    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return RepairedUtf8(bytes); // without a converter, keep what is valid

    std::string result;
    // GB18030 needs at most 4 bytes per character and UTF-8 at most 4, plus
    // room for replacements: twice the input is always enough per round.
    std::string buffer(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* out = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer.data(), buffer.size() - outLeft);
        if (done != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a truncated character at the end): skip one byte.
        result += kReplacement;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return result;
}
