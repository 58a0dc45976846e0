// The process carries one TLS stack: the libcurl that downloads updates is
// the GnuTLS build that GStreamer's HTTP source loads, so OpenSSL's TLS
// library and the second libcurl never enter the process.

#include "platform/inet/HttpDownload.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The file names of every library mapped into this process.
std::string MappedLibraries()
{
    std::ifstream maps("/proc/self/maps");
    return std::string(std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>());
}

} // namespace

TEST(TlsLibrary, DownloadsGoThroughTheGnuTlsBuildOfLibcurlAlone)
{
    const std::string mapped = MappedLibraries();
    ASSERT_FALSE(mapped.empty());
    EXPECT_NE(mapped.find("libcurl-gnutls.so"), std::string::npos) << "downloads use the GnuTLS build of libcurl";
    EXPECT_EQ(mapped.find("/libcurl.so"), std::string::npos) << "the OpenSSL build of libcurl is loaded";
    EXPECT_EQ(mapped.find("/libssl.so"), std::string::npos) << "OpenSSL's TLS library is loaded";
}
