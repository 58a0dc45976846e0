#pragma once

// Name lookups for finding servers: the addresses a host name stands for and
// the name an address stands for. Plain C++ over the system resolver
// (getaddrinfo, getnameinfo), so any layer may use it.
//
// Threads: any thread; each call blocks its thread for as long as the
// resolver takes (the system's own time-outs).

#include <string>
#include <vector>

// The numeric addresses (IPv4 dotted, IPv6 without brackets) of `host`, each
// once, in the resolver's order; empty when the name does not resolve.
std::vector<std::string> LookUpHostAddresses(const std::string& host);

// The name that `address` (numeric, IPv4 or IPv6) resolves back to, without
// a trailing dot; empty when there is none or the address is not numeric.
std::string LookUpAddressName(const std::string& address);
