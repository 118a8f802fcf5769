// SPDX-License-Identifier: GPL-3.0-or-later
// The host side's engine setup, shared by the plug-in and the voice benchmark.
#pragma once

#include "voxline/EngineProcess.h"

#include <string>

namespace voxline {

// How long the engine may go without a packet of an established call's media
// before it ends the call (the plug-in then reports a failed stream).
inline constexpr int kMediaTimeoutSeconds = 10;
// The media ports, a fixed range so that a router can forward it.
inline constexpr const char* kMediaPorts = "10000-10099";

// The canonical text of an IP address (or of the address in "address:port" or
// "[v6]:port"), so that "::ffff:127.0.0.1" and "127.0.0.1", or two spellings of one
// IPv6 address, compare equal. Empty when it is none.
std::string CanonicalAddress(const std::string& text);

// The user parts a caller dials: "radio" takes media encrypted with DTLS-SRTP only;
// "radio-ice" too, with the media path found by ICE, for callers behind a router
// (ondrel-client --voice calls it; the engine cannot offer ICE on the account that
// ordinary phones call, whose media would then never start); "radio-plain", there
// only with `plain`, takes plain RTP only (the engine answers an account's calls in
// one of these ways, never several).
inline constexpr const char* kEncryptedUser = "radio";
inline constexpr const char* kIceUser = "radio-ice";
inline constexpr const char* kPlainUser = "radio-plain";

// The engine's setup for the host: SIP on `port` at `bindAddress` (any address when
// empty), the ALSA device both ways, and its accounts (above).
EngineSetup HostEngineSetup(int port, const std::string& device, bool plain, const std::string& bindAddress);

} // namespace voxline
