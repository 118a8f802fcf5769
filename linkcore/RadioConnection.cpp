// The radio connection: opening and closing the serial link, the radio reader that
// frames the radio's text into replies, parses them and relays them to a logged-in
// network client, the loss of the line, and the low-level sends on which every
// command rests. The radio reader runs on the serial port's own reader thread, which
// hands over each piece of text as it arrives, so no thread sits between the radio
// and the client.
#include "linkcore/Linkcore.h"

#include "linkcore/LinkcoreShared.h"
#include "linkcore/ReplyFramer.h"

#include <algorithm>
#include <array>
#include <cstdio>
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
    const bool reopening = shared.radioReaderAlive.load() == 1;
    if (!reopening) {
        // The reader starts with the port; everything it uses is ready before.
        shared.radioFramer.clear();
        shared.radioLost = 0;
        shared.serial.ReceiverReg(&shared.radioReceiver);
    }
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
    if (!reopening) {
        shared.radioPort = port;
        shared.radioReaderRun = 1;
        shared.radioReaderAlive = 1;
    }
    return 1;
}

int CLinkcore::GetRadioOpenError()
{
    return LinkcoreShared::instance().serial.GetOpenError();
}

void CLinkcore::RadioConnectionClose()
{
    LinkcoreShared::instance().closeRadioLink();
}

void LinkcoreShared::closeRadioLink()
{
    std::lock_guard lock(radioLinkMutex);
    if (radioReaderAlive.load() == 0) {
        return;
    }
    radioReaderRun = 0;
    radioConnected = 0;
    // Joins the port's reader thread: after it, no radio text is handled.
    serial.CloseComPort();
    serial.ReceiverReg(nullptr);
    radioReaderAlive = 0;
}

namespace linkcore {

void RadioReceiver::OnSerportData(CSerport&) noexcept
{
    CLinkcore::ReceiveRadioText(&shared_);
}

void RadioReceiver::OnSerportLineLost(CSerport&) noexcept
{
    CLinkcore::RadioLineLost(&shared_);
}

} // namespace linkcore

void CLinkcore::ReceiveRadioText(LinkcoreShared* shared)
{
    unsigned char chunk[CSerport::kReceiveCapacity + 1] = {};
    int textLost = 0;
    // The radio's text may hold zero bytes (its modem's binary frames in pass-through
    // mode): the length, not a terminator, tells where it ends.
    unsigned long length = 0;
    shared->serial.GetRcvData(chunk, &textLost, &length);
    if (textLost == 1) {
        // The beginning of this text is gone: it does not continue the partial reply
        // held back, and it begins inside a reply.
        shared->radioFramer.restartAtNextSeparator();
    }
    if (length == 0) {
        return;
    }
    if (shared->passThrough.load() == 1) {
        // The radio talks to the client directly: nothing is parsed and the
        // partial reply waits for the return to command mode.
        if (ClientLoggedIn(*shared)) {
            shared->socket.Write(chunk, length);
        }
        return;
    }
    shared->radioFramer.add(std::string_view(reinterpret_cast<const char*>(chunk), length),
                            [shared](unsigned char* batch, std::size_t batchLength) {
                                ConstituteData(batch, shared);
                                if (ClientLoggedIn(*shared)) {
                                    shared->socket.Write(batch, batchLength);
                                }
                            });
}

void CLinkcore::RadioLineLost(LinkcoreShared* shared)
{
    // Logged first, so that the log tells the cause before the session's close.
    char line[64];
    std::snprintf(line, sizeof line, "- RADIO - Connection lost on COM%u.", shared->radioPort.load());
    MirelLogAdd(line);
    shared->radioLost = 1;
    platform::PostMessage(shared->notifyWindow.load(), WM_LINKCORE_NOTIFY, kNotifyRadioLost, 0);
    shared->sessionWakeup.raise();
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
