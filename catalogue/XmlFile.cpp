#include "catalogue/XmlFile.h"

#include "catalogue/TextEncoding.h"
#include "catalogue/XorScramble.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

namespace {

// A file too large to read at all fails like one that does not parse.
TXmlFileResult RefusedAsTooLarge(TiXmlDocument& document)
{
    document.ClearError();
    document.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
    return {EXmlFileStatus::Refused, EXmlRefusal::TooLarge};
}

} // namespace

TXmlFileResult ReadXmlFile(TiXmlDocument* document, const char* path, bool unscramble)
{
    TXmlFileResult result;
    if (document == nullptr || path == nullptr)
        return result;

    // Opened for reading only: an installed catalogue that the user may not
    // write is still a catalogue.
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return result;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0)
        return result;
    if (size > kMaxXmlFileBytes)
        return RefusedAsTooLarge(*document);
    file.seekg(0, std::ios::beg);

    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !file.read(bytes.data(), size))
        return result;

    return ParseXmlBytes(document, std::move(bytes), unscramble);
}

TXmlFileResult ParseXmlBytes(TiXmlDocument* document, std::string bytes, bool unscramble)
{
    TXmlFileResult result;
    if (document == nullptr)
        return result;
    if (bytes.size() > static_cast<std::size_t>(kMaxXmlFileBytes))
        return RefusedAsTooLarge(*document);
    if (unscramble) {
        auto* data = reinterpret_cast<unsigned char*>(bytes.data());
        XorScramble(data, static_cast<std::int32_t>(bytes.size()), data, kFileKey);
    }

    // The parser takes NUL-terminated text: a zero byte ends it.
    const std::size_t end = bytes.find('\0');
    if (end != std::string::npos)
        bytes.resize(end);

    const std::string text = ToUtf8(bytes);
    result.refusal = ParseBoundedXml(*document, text);
    result.status = result.refusal == EXmlRefusal::None ? EXmlFileStatus::Parsed : EXmlFileStatus::Refused;
    return result;
}

TXmlFileResult ReadXmlFile(TiXmlDocument& document, const char* path)
{
    return ReadXmlFile(&document, path, true);
}

std::int32_t ParseVersionNumber(const char* text)
{
    if (text == nullptr)
        return 0;
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    std::int64_t value = 0;
    constexpr std::int64_t limit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    while (std::isdigit(static_cast<unsigned char>(*text))) {
        value = value * 10 + (*text - '0');
        if (value > limit)
            value = limit;
        ++text;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min(value, limit - 1));
}

const TiXmlElement* FindVersionElement(const TiXmlDocument& document)
{
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return nullptr;
    return root->NextSiblingElement("version");
}
