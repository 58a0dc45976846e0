#include "player/StatusText.h"

#include <algorithm>

namespace {

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// The status cut to kStatusBytes at a character boundary.
std::string Bounded(const std::string& status)
{
    if (status.size() <= kStatusBytes)
        return status;
    std::size_t end = kStatusBytes;
    while (end > 0 && (static_cast<unsigned char>(status[end]) & 0xC0) == 0x80)
        --end;
    return status.substr(0, end);
}

// Length of the UTF-8 character that starts at `index`.
std::size_t CharacterLength(const std::string& text, std::size_t index)
{
    const auto lead = static_cast<unsigned char>(text[index]);
    std::size_t length = 1;
    if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    return std::min(length, text.size() - index);
}

} // namespace

std::string BufferingText(const std::string& status)
{
    const std::string text = Bounded(status);
    std::string percentage = "0%";
    const std::size_t percent = text.find('%');
    if (percent != std::string::npos) {
        std::size_t begin = percent;
        while (begin > 0 && percent - begin < 3 && IsDigit(text[begin - 1]))
            --begin;
        if (begin < percent)
            percentage = text.substr(begin, percent - begin + 1);
    }
    return "缓冲中 " + percentage;
}

std::string PlayingText(const std::string& status)
{
    const std::string text = Bounded(status);
    std::string figure;
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && colon + 1 < text.size()) {
        std::size_t index = colon + 1 + CharacterLength(text, colon + 1);
        while (index < text.size() && IsDigit(text[index]) && figure.size() < 5)
            figure += text[index++];
    }
    return "播放中 " + figure + "KB/S";
}
