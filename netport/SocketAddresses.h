// SPDX-License-Identifier: GPL-3.0-or-later
// The endpoint's addresses between text and sockets: the bind address Listen binds to
// ("MIREL Bind Address"), the host Connect reaches, this computer's own address and
// the peer's address as text. Inside Netport only.
#pragma once

#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace netport {

// The listening address for `text`: empty = every IPv4 address, an IPv4 or IPv6
// literal, or "localhost" (the IPv4 loopback address). False for anything else.
bool ListenAddress(const std::string& text, unsigned port, sockaddr_storage& address, socklen_t& length);

// Resolves `host` as a dotted quad or, failing that, as a host name (first IPv4 address).
bool ResolveHost(const char* host, in_addr& resolved);

sockaddr_in Ipv4Address(in_addr host, unsigned port);

// This computer's IPv4 address as remote users would reach it: an address of its host
// name that is not a loopback address, else the first address of an interface that is
// up, else a loopback address of its host name. False when there is none.
bool LocalAddress(in_addr& found);

// `address` as a dotted quad into `dst`, NUL-terminated (room for INET_ADDRSTRLEN).
void WriteDottedQuad(const in_addr& address, char* dst);

// An IPv4 or IPv6 socket address as text into `dst`, NUL-terminated (room for
// INET6_ADDRSTRLEN); false, `dst` untouched, for any other family.
bool WriteAddressText(const sockaddr_storage& address, char* dst);

} // namespace netport
