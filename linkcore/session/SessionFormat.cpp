// SPDX-License-Identifier: GPL-3.0-or-later
// Text helpers of the session side.
#include "linkcore/session/SessionFormat.h"

#include "platform/AsciiText.h"
#include "platform/Text.h"

namespace linkcore {

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
        text[i] = platform::AsciiUpper(text[i]);
    }
}

std::string StatusText(const SessionRecord& session)
{
    return Format("@@ST%02d%02d%02d%02d%02d%02d;", session.elapsedHours.load(), session.elapsedMinutes.load(),
                  session.elapsedSeconds.load(), session.limitHours.load(), session.limitMinutes.load(),
                  session.limitSeconds.load());
}

} // namespace linkcore
