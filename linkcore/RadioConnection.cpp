// The radio connection: opening and closing the serial link, the radio reader thread
// that frames the radio's text into replies, parses them and relays them to a
// logged-in network client, and the low-level sends on which every command rests.
#include "linkcore/Linkcore.h"

#include "linkcore/LinkcoreShared.h"
#include "linkcore/ReplyFramer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

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

// The longest the reader waits for the radio before looking at its run flag again.
constexpr unsigned kReaderWaitMs = 10;

constexpr unsigned kParityNone = 0;
constexpr unsigned kDataBits = 8;

bool ClientLoggedIn(LinkcoreShared& shared)
{
    return shared.socket.GetClientExist() == 1 && shared.session.clientLoggedIn.load() == 1;
}

} // namespace

int CLinkcore::RadioConnectionOpen(unsigned model, unsigned port, unsigned baud, int clear)
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    std::lock_guard lock(shared.radioLinkMutex);
    const unsigned stopBits = baud == 4800 ? 2 : 1;
    if (shared.serial.OpenComPort(port, baud, kParityNone, kDataBits, stopBits, clear) == 0) {
        return 0;
    }
    shared.radioConnected = 1;
    shared.passThrough = 0;
    if (clear != 0) {
        shared.radioState = {};
        shared.radioState.ID.model = static_cast<std::int32_t>(model);
    }
    // Opening an open link only changes its settings: its reader goes on.
    if (!shared.radioReader.joinable()) {
        shared.radioReaderRun = 1;
        shared.radioReader = std::thread(&CLinkcore::ThreadCom, &shared);
    }
    return 1;
}

void CLinkcore::RadioConnectionClose()
{
    LinkcoreShared::instance().closeRadioLink();
}

void LinkcoreShared::closeRadioLink()
{
    std::lock_guard lock(radioLinkMutex);
    if (!radioReader.joinable()) {
        return;
    }
    // The reader looks at its run flag at least every kReaderWaitMs.
    radioReaderRun = 0;
    radioReader.join();
    radioConnected = 0;
    serial.CloseComPort();
}

void CLinkcore::ThreadCom(LinkcoreShared* shared)
{
    linkcore::ReplyFramer framer;
    unsigned char chunk[CSerport::kReceiveCapacity + 1] = {};
    shared->radioReaderAlive = 1;
    while (shared->radioReaderRun.load() == 1) {
        // Returns as soon as text is waiting, so that a reply is handled when it arrives.
        if (shared->serial.WaitRcvData(kReaderWaitMs) == 0) {
            continue;
        }
        shared->serial.GetRcvData(chunk);
        const std::size_t length = std::strlen(reinterpret_cast<const char*>(chunk));
        if (shared->passThrough.load() == 1) {
            // The radio talks to the client directly: nothing is parsed and the
            // partial reply waits for the return to command mode.
            if (ClientLoggedIn(*shared)) {
                shared->socket.Write(chunk, length);
            }
            continue;
        }
        framer.add(std::string_view(reinterpret_cast<const char*>(chunk), length),
                   [shared](unsigned char* batch, std::size_t batchLength) {
                       ConstituteData(batch, shared);
                       if (ClientLoggedIn(*shared)) {
                           shared->socket.Write(batch, batchLength);
                       }
                   });
    }
    shared->radioReaderAlive = 0;
}

int CLinkcore::WriteCom(const unsigned char* bytes, unsigned long count)
{
    return LinkcoreShared::instance().serial.Write(bytes, count);
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
