// SPDX-License-Identifier: GPL-3.0-or-later
// Sockets for the client: the TCP connection to the host and the local listening
// socket of --listen. Non-blocking descriptors driven by poll(); writes wait for
// room up to a limit so that a stalled peer cannot hang the client.
#pragma once

#include "platform/Descriptor.h"

#include <chrono>
#include <string>
#include <string_view>

namespace client {

using platform::Descriptor;
using platform::WriteAll;

enum class ReadStatus { Data, WouldBlock, Closed, Failed };

// Appends what `fd` holds now to `into` (at most 64 KiB per call).
ReadStatus ReadAvailable(int fd, std::string& into);
// Waits until `fd` is readable or `limit` passed; true when readable (or closed).
bool WaitReadable(int fd, std::chrono::milliseconds limit);

// Connects to `host` (name or address) on `port` (number or service name) within
// `limit`. An invalid descriptor and `error` set when no address answered.
Descriptor ConnectTcp(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                      std::string& error);

// A listening TCP socket on `address`:`port` (port 0: any free one).
Descriptor ListenTcp(const std::string& address, unsigned port, std::string& error);
// The port a listening socket is bound to.
unsigned LocalPort(int fd);

} // namespace client
