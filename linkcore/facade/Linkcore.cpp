// SPDX-License-Identifier: GPL-3.0-or-later
// The library object and the process-wide record; the radio connection's members,
// and the parser's and notifiers' members, each handing on to its layer.
#include "linkcore/Linkcore.h"

#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/link/RadioLink.h"
#include "linkcore/radio/ReplyParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

LinkcoreShared& LinkcoreShared::instance()
{
    static LinkcoreShared shared;
    return shared;
}

// Constructed when the library is loaded, not on first use, so that every port
// object exists before any method runs.
[[maybe_unused]] static const LinkcoreShared& gLoadedShared = LinkcoreShared::instance();

namespace {

// Display names by model ID 1..20; only 19 and 20 are served.
constexpr std::array<std::string_view, 20> kRadioNames = {
    "Model 1",  "Model 2",  "Model 3",  "Model 4",  "Model 5",  "Model 6",  "Model 7",
    "Model 8",  "Model 9",  "Model 10", "Model 11", "Model 12", "Model 13", "Model 14",
    "Model 15", "Model 16", "Model 17", "Model 18", "Corvex",   "Tarsel",
};
static_assert(std::ranges::all_of(kRadioNames, [](std::string_view name) {
    return !name.empty() && name.size() < CLinkcore::kRadioNameSize;
}));
static_assert(kRadioNames[linkcore::kModelCorvex - 1] == "Corvex");
static_assert(kRadioNames[linkcore::kModelTarsel - 1] == "Tarsel");

} // namespace

CLinkcore::CLinkcore() = default;

CLinkcore::~CLinkcore() = default;

void CLinkcore::WinMsgSendReg(platform::WindowHandle window)
{
    LinkcoreShared::instance().notifyWindow = window;
}

void CLinkcore::SetLoadMessageEnable(int enable)
{
    LinkcoreShared::instance().loadMessageEnable = enable;
}

// ---- Radio connection ----

int CLinkcore::RadioConnectionOpen(unsigned model, unsigned port, unsigned baud, int clear)
{
    return linkcore::OpenRadioLink(LinkcoreShared::instance(), model, port, baud, clear);
}

int CLinkcore::GetRadioOpenError()
{
    return LinkcoreShared::instance().serial.GetOpenError();
}

void CLinkcore::RadioConnectionClose()
{
    LinkcoreShared::instance().closeRadioLink();
}

void CLinkcore::ReceiveRadioText(LinkcoreShared* shared)
{
    linkcore::ReceiveRadioText(*shared);
}

void CLinkcore::RadioLineLost(LinkcoreShared* shared)
{
    linkcore::RadioLineLost(*shared);
}

int CLinkcore::WriteCom(const unsigned char* bytes, unsigned long count)
{
    return linkcore::WriteCom(LinkcoreShared::instance(), bytes, count);
}

int CLinkcore::ConnDirect(const unsigned char* text)
{
    if (text == nullptr || LinkcoreShared::instance().radioConnected.load() == 0) {
        return 0;
    }
    return WriteCom(text, std::strlen(reinterpret_cast<const char*>(text)));
}

int CLinkcore::ConnID()
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    if (shared.radioConnected.load() == 0 || shared.passThrough.load() == 1) {
        return 0;
    }
    shared.radioState.ID.received = 0;
    shared.radioState.ID.model = 0;
    static constexpr unsigned char kRequest[] = "ID;";
    return WriteCom(kRequest, sizeof kRequest - 1);
}

int CLinkcore::RcvDataID(unsigned* model)
{
    if (model == nullptr) {
        return 0;
    }
    *model = 0;
    const linkcore::RadioState& state = LinkcoreShared::instance().radioState;
    if (state.ID.received.load() != 1) {
        return 0;
    }
    const std::int32_t id = state.model();
    if (id != linkcore::kModelCorvex && id != linkcore::kModelTarsel) {
        return 0;
    }
    *model = static_cast<unsigned>(id);
    return 1;
}

int CLinkcore::GetRadioName(unsigned model, unsigned char* name)
{
    if (name == nullptr) {
        return 0;
    }
    if (model < 1 || model > kRadioNames.size()) {
        std::memset(name, 0, 4);
        return 0;
    }
    const std::string_view text = kRadioNames[model - 1];
    std::memcpy(name, text.data(), text.size());
    name[text.size()] = '\0';
    return 1;
}

// ---- Reply parser and change notifiers (radio layer) ----

void CLinkcore::ConstituteData(const unsigned char* text, LinkcoreShared* shared)
{
    linkcore::ParseReplies(text, *shared);
}

char* CLinkcore::Hex2BinayChar(char* hex, char* bits)
{
    return linkcore::HexToBits(hex, bits);
}

#define LINKCORE_LETTER_MEMBERS(letter)                                                            \
    void CLinkcore::ConstituteData##letter(const unsigned char* reply, LinkcoreShared* shared)     \
    {                                                                                              \
        linkcore::ParseReply(#letter[0], reply, *shared);                                          \
    }                                                                                              \
    long CLinkcore::WinMsgSendEx##letter(const unsigned char* reply, LinkcoreShared* shared)      \
    {                                                                                              \
        return linkcore::NotifyChange(#letter[0], reply, *shared);                                 \
    }

LINKCORE_LETTER_MEMBERS(A)
LINKCORE_LETTER_MEMBERS(B)
LINKCORE_LETTER_MEMBERS(C)
LINKCORE_LETTER_MEMBERS(D)
LINKCORE_LETTER_MEMBERS(E)
LINKCORE_LETTER_MEMBERS(F)
LINKCORE_LETTER_MEMBERS(G)
LINKCORE_LETTER_MEMBERS(I)
LINKCORE_LETTER_MEMBERS(K)
LINKCORE_LETTER_MEMBERS(L)
LINKCORE_LETTER_MEMBERS(M)
LINKCORE_LETTER_MEMBERS(N)
LINKCORE_LETTER_MEMBERS(O)
LINKCORE_LETTER_MEMBERS(P)
LINKCORE_LETTER_MEMBERS(Q)
LINKCORE_LETTER_MEMBERS(R)
LINKCORE_LETTER_MEMBERS(S)
LINKCORE_LETTER_MEMBERS(T)
LINKCORE_LETTER_MEMBERS(U)
LINKCORE_LETTER_MEMBERS(V)
LINKCORE_LETTER_MEMBERS(X)

#undef LINKCORE_LETTER_MEMBERS
