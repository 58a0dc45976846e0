#include "platform/inet/HostNames.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>

std::vector<std::string> LookUpHostAddresses(const std::string& host)
{
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[NI_MAXHOST] = {};
        if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

std::string LookUpAddressName(const std::string& address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* parsed = nullptr;
    if (address.empty() || ::getaddrinfo(address.c_str(), nullptr, &hints, &parsed) != 0)
        return {};
    char name[NI_MAXHOST] = {};
    const int failed = ::getnameinfo(parsed->ai_addr, parsed->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    ::freeaddrinfo(parsed);
    if (failed != 0)
        return {};
    std::string text = name;
    // A fully qualified answer ends in a dot, which a certificate's name does not.
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}
