// Text helpers of the session side: printf into a string, for the fixed texts of the
// session protocol and the log, and ASCII upper-casing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace linkcore {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// An activity-log record of the session: "<ip> <method> <user> <text>".
std::string SessionLogLine(std::string_view clientIp, std::string_view method, std::string_view user,
                           std::string_view text);

// Upper-cases the ASCII letters of `text` from `first` for `count` characters.
void AsciiUpper(std::string& text, std::size_t first, std::size_t count);

} // namespace linkcore
