// SPDX-License-Identifier: GPL-3.0-or-later
// The radio command filter. A refused command is dropped silently.

#include "linkcore/session/CommandFilter.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/session/SessionFormat.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace linkcore {
namespace {

// Menu settings a client may read but not write: the nine characters of a menu
// address ("EX", menu number, two fields) read the setting, anything longer sets it.
struct ProtectedMenu {
    std::int32_t model;
    std::string_view address;
};
constexpr std::size_t kMenuAddressLength = 9;
constexpr ProtectedMenu kProtectedMenus[] = {
    {kModelCorvex, "EX024"}, {kModelCorvex, "EX054"}, {kModelCorvex, "EX056"},
    {kModelTarsel, "EX022"}, {kModelTarsel, "EX055"}, {kModelTarsel, "EX056"},
};
static_assert([] {
    for (const ProtectedMenu& menu : kProtectedMenus) {
        if (menu.address.size() != 5 || !menu.address.starts_with("EX")) {
            return false;
        }
    }
    return true;
}());

bool WritesProtectedMenu(std::string_view command, std::int32_t model)
{
    if (command.size() <= kMenuAddressLength) {
        return false;
    }
    for (const ProtectedMenu& menu : kProtectedMenus) {
        if (menu.model == model && command.starts_with(menu.address)) {
            return true;
        }
    }
    return false;
}

// The decimal number at the start of `text`: leading spaces skipped, a sign
// honoured, reading up to the first non-digit; 0 when there is none. Values beyond
// 32 bits are held at the nearest bound.
std::int32_t LeadingNumber(std::string_view text)
{
    std::size_t at = text.find_first_not_of(' ');
    if (at == std::string_view::npos) {
        return 0;
    }
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), std::int64_t{INT32_MAX} + 1);
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

int GenericCommandAllowed(std::string_view command, int loadMessageEnable)
{
    const std::size_t length = command.size();
    if (command.starts_with("SR")) {
        return 0;
    }
    if (command.starts_with("LM") && length >= 3 && loadMessageEnable == 0) {
        return 0;
    }
    if (command.starts_with("MF") && length == 3) {
        return 0;
    }
    return 1;
}

int CorvexCommandAllowed(std::string_view command, SessionActions& actions)
{
    // The host is told the argument of every "TC" command sent to a Corvex.
    if (command.starts_with("TC") && command.size() >= 3) {
        actions.push_back(SessionAction::notify(kNotifyTC, LeadingNumber(command.substr(3))));
    }
    return WritesProtectedMenu(command, kModelCorvex) ? 0 : 1;
}

int TarselCommandAllowed(std::string_view command)
{
    return WritesProtectedMenu(command, kModelTarsel) ? 0 : 1;
}

SessionActions FilterRadioCommand(std::string_view segment, std::int32_t model, int loadMessageEnable)
{
    std::string command(segment);
    AsciiUpper(command, 0, 2);
    SessionActions actions;
    if (GenericCommandAllowed(command, loadMessageEnable) == 0) {
        return actions;
    }
    const int allowed = model == kModelCorvex   ? CorvexCommandAllowed(command, actions)
                        : model == kModelTarsel ? TarselCommandAllowed(command)
                                                : 0;
    if (allowed == 0) {
        return actions;
    }
    command += ';';
    actions.push_back(SessionAction::radio(std::move(command)));
    return actions;
}

} // namespace linkcore
