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

} // namespace

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
    if (IsValidUtf8(bytes))
        return std::string(bytes);

    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // Without a converter, keep the valid sequences and mark the rest.
        std::string result;
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
