// SPDX-License-Identifier: GPL-3.0-or-later
// Text helpers of the session side: the log records, ASCII upper-casing in place and
// the "@@ST" reply.
// The session's fixed texts are formatted with platform::Format.
#pragma once

#include "linkcore/session/SessionRecord.h"
#include "platform/AsciiText.h"
#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace linkcore {

using platform::Format;

// An activity-log record of the session: "<ip> <method> <user> <text>".
std::string SessionLogLine(std::string_view clientIp, std::string_view method, std::string_view user,
                           std::string_view text);

// Upper-cases the ASCII letters of `text` from `first` for `count` characters.
void AsciiUpper(std::string& text, std::size_t first, std::size_t count);

// "@@ST" with the elapsed time and the limit, each as hours, minutes and seconds.
std::string StatusText(const SessionRecord& session);

} // namespace linkcore
