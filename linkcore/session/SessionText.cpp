// Text helpers of the session side.
#include "linkcore/session/SessionText.h"

#include "linkcore/radio/Ascii.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace linkcore {

std::string Format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.pop_back();
    return text;
}

std::string SessionLogLine(std::string_view clientIp, std::string_view method, std::string_view user,
                           std::string_view text)
{
    std::string line;
    line.reserve(clientIp.size() + method.size() + user.size() + text.size() + 3);
    line.append(clientIp).append(" ").append(method).append(" ").append(user).append(" ").append(text);
    return line;
}

void AsciiUpper(std::string& text, std::size_t first, std::size_t count)
{
    for (std::size_t i = first; i < text.size() && i < first + count; ++i) {
        text[i] = AsciiUpper(text[i]);
    }
}

} // namespace linkcore
