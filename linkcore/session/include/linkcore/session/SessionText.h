// Text helpers of the session side: printf into a string, for the fixed texts of the
// session protocol and the log, and the one-line form of client-given text.
#pragma once

#include <string>
#include <string_view>

namespace linkcore {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// `text` on one line: line breaks and other control characters become "?", so that
// a client cannot forge log records through the user ID it gives.
std::string OneLine(std::string_view text);
// Upper-cases the ASCII letters of `text` from `first` for `count` characters.
void AsciiUpper(std::string& text, std::size_t first, std::size_t count);

} // namespace linkcore
