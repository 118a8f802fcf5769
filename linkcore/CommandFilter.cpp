// The radio path of a logged-in client's command: the mnemonic is upper-cased, the
// command is checked against the rules for every model and for the connected
// model, and what passes goes to the radio with its ";". A refused command is
// dropped silently.

#include "linkcore/SessionServer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

using namespace linkcore;

namespace {

// The host is told the argument of every "TC" command sent to a Corvex.
constexpr platform::WParam kNotifyTC = 0x104E;

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

int CLinkcore::CmdSetCodeCheckGeneric(std::string_view command, LinkcoreShared* shared)
{
    const std::size_t length = command.size();
    if (command.starts_with("SR")) {
        return 0;
    }
    if (command.starts_with("LM") && length >= 3 && shared->loadMessageEnable == 0) {
        return 0;
    }
    if (command.starts_with("MF") && length == 3) {
        return 0;
    }
    return 1;
}

int CLinkcore::CmdSetCodeCheckCorvex(std::string_view command, LinkcoreShared* shared)
{
    if (command.starts_with("TC") && command.size() >= 3) {
        NotifyHost(*shared, kNotifyTC, LeadingNumber(command.substr(3)));
    }
    return WritesProtectedMenu(command, kModelCorvex) ? 0 : 1;
}

int CLinkcore::CmdSetCodeCheckTarsel(std::string_view command, LinkcoreShared*)
{
    return WritesProtectedMenu(command, kModelTarsel) ? 0 : 1;
}

void CLinkcore::CmdSetCodeCheckRadio(std::string_view segment, LinkcoreShared* shared)
{
    std::string command(segment);
    for (std::size_t i = 0; i < command.size() && i < 2; ++i) {
        if (command[i] >= 'a' && command[i] <= 'z') {
            command[i] = static_cast<char>(command[i] - 'a' + 'A');
        }
    }
    if (CmdSetCodeCheckGeneric(command, shared) == 0) {
        return;
    }
    const std::int32_t model = shared->radioState.model();
    const int allowed = model == kModelCorvex   ? CmdSetCodeCheckCorvex(command, shared)
                        : model == kModelTarsel ? CmdSetCodeCheckTarsel(command, shared)
                                                : 0;
    if (allowed == 0) {
        return;
    }
    command += ';';
    SendToRadio(*shared, command);
}
