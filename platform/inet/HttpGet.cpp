#include "platform/inet/HttpGet.h"

#include "platform/inet/CurlCommon.h"

#include <cctype>
#include <utility>

namespace {

std::string BareMediaType(const char* contentType)
{
    std::string type;
    for (const char* c = contentType; c != nullptr && *c != '\0' && *c != ';'; ++c) {
        if (*c != ' ' && *c != '\t')
            type += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return type;
}

// One request, its body kept in memory.
class CMemoryTransfer final : public CCurlTransfer
{
public:
    CMemoryTransfer(const std::string& url, const HttpGetOptions& options)
        : CCurlTransfer(url, LimitsOf(options)), options(options)
    {
    }

    HttpGetResult Run()
    {
        const TTransferEnd end = Perform();
        HttpGetResult result;
        result.status = end.status;
        result.httpStatus = end.httpStatus;
        result.message = end.message;
        if (easy != nullptr) {
            char* type = nullptr;
            curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
            result.contentType = BareMediaType(type);
        }
        result.body = std::move(body);
        return result;
    }

private:
    void SetOptions() override
    {
        if (!options.userAgent.empty())
            Set(CURLOPT_USERAGENT, options.userAgent.c_str());
        // curl sends the header and decodes the body; only gzip is offered,
        // the one coding the directory's servers use.
        Set(CURLOPT_ACCEPT_ENCODING, "gzip");
    }

    std::size_t OnBody(const char* data, std::size_t size) override
    {
        if (static_cast<std::int64_t>(body.size() + size) > options.maxBodyBytes)
            return AbortWith(DownloadStatus::TooLarge,
                             "body larger than " + std::to_string(options.maxBodyBytes) + " bytes");
        body.append(data, size);
        return size;
    }

    const HttpGetOptions& options;
    std::string body;
};

} // namespace

HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options)
{
    InitialiseCurlOnce();
    CMemoryTransfer transfer(url, options);
    return transfer.Run();
}
