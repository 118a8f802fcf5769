// SPDX-License-Identifier: GPL-3.0-or-later
#include "SocketAddresses.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

namespace netport {
namespace {

bool IsLoopback(const in_addr& address)
{
    return (ntohl(address.s_addr) >> 24) == 127;
}

// The first non-loopback IPv4 address of an interface that is up.
bool FirstInterfaceAddress(in_addr& found)
{
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return false;
    }
    bool haveAddress = false;
    for (const ifaddrs* entry = interfaces; entry != nullptr && !haveAddress; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        in_addr address{};
        std::memcpy(&address, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, sizeof address);
        if (!IsLoopback(address)) {
            found = address;
            haveAddress = true;
        }
    }
    ::freeifaddrs(interfaces);
    return haveAddress;
}

// The first address of this computer's host name that is not a loopback address;
// failing that, `loopback` holds its first loopback address, if any.
bool HostNameAddress(in_addr& found, bool& haveLoopback, in_addr& loopback)
{
    char name[256] = {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::gethostname(name, sizeof name - 1) != 0 || ::getaddrinfo(name, nullptr, &hints, &results) != 0) {
        return false;
    }
    bool haveAddress = false;
    for (const addrinfo* entry = results; entry != nullptr && !haveAddress; entry = entry->ai_next) {
        in_addr address{};
        std::memcpy(&address, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, sizeof address);
        if (!IsLoopback(address)) {
            found = address;
            haveAddress = true;
        } else if (!haveLoopback) {
            loopback = address;
            haveLoopback = true;
        }
    }
    ::freeaddrinfo(results);
    return haveAddress;
}

} // namespace

bool ListenAddress(const std::string& text, unsigned port, sockaddr_storage& address, socklen_t& length)
{
    address = sockaddr_storage{};
    const auto portBytes = htons(static_cast<std::uint16_t>(port));
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (text.empty() || text == "localhost") {
        ipv4->sin_family = AF_INET;
        ipv4->sin_addr.s_addr = htonl(text.empty() ? INADDR_ANY : INADDR_LOOPBACK);
    } else if (::inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr) == 1) {
        ipv4->sin_family = AF_INET;
    } else if (::inet_pton(AF_INET6, text.c_str(), &ipv6->sin6_addr) == 1) {
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = portBytes;
        length = sizeof(sockaddr_in6);
        return true;
    } else {
        return false;
    }
    ipv4->sin_port = portBytes;
    length = sizeof(sockaddr_in);
    return true;
}

bool ResolveHost(const char* host, in_addr& resolved)
{
    if (::inet_pton(AF_INET, host, &resolved) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &results) != 0 || results == nullptr) {
        return false;
    }
    std::memcpy(&resolved, &reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr, sizeof resolved);
    ::freeaddrinfo(results);
    return true;
}

sockaddr_in Ipv4Address(in_addr host, unsigned port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr = host;
    return address;
}

bool LocalAddress(in_addr& found)
{
    // A host name often resolves to a loopback address only (127.0.1.1 from /etc/hosts);
    // remote users cannot reach that, so an address of an interface is preferred to it.
    bool haveLoopback = false;
    in_addr loopback{};
    if (HostNameAddress(found, haveLoopback, loopback) || FirstInterfaceAddress(found)) {
        return true;
    }
    if (haveLoopback) {
        found = loopback;
        return true;
    }
    return false;
}

void WriteDottedQuad(const in_addr& address, char* dst)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    std::memcpy(dst, text, std::strlen(text) + 1);
}

bool WriteAddressText(const sockaddr_storage& address, char* dst)
{
    if (address.ss_family == AF_INET) {
        WriteDottedQuad(reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, dst);
        return true;
    }
    if (address.ss_family != AF_INET6) {
        return false;
    }
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
    std::memcpy(dst, text, std::strlen(text) + 1);
    return true;
}

} // namespace netport
