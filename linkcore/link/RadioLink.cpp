// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link: opening and closing the serial link, the radio reader that frames
// the radio's text into replies, parses them and hands them to the listener (the
// session side, which relays them to a logged-in client), the loss of the line, and
// the low-level write on which every command rests. The radio reader runs on the
// serial port's own reader thread, which hands over each piece of text as it
// arrives, so no thread sits between the radio and the client.
#include "linkcore/link/RadioLink.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/radio/ReplyParser.h"

#include <string_view>

namespace linkcore {

namespace {

constexpr unsigned kParityNone = 0;
constexpr unsigned kDataBits = 8;

} // namespace

int OpenRadioLink(LinkShared& shared, unsigned model, unsigned port, unsigned baud, int clear)
{
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

void LinkShared::closeRadioLink()
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

void RadioReceiver::OnSerportData(CSerport&) noexcept
{
    ReceiveRadioText(shared_);
}

void RadioReceiver::OnSerportLineLost(CSerport&) noexcept
{
    RadioLineLost(shared_);
}

void ReceiveRadioText(LinkShared& shared)
{
    unsigned char chunk[CSerport::kReceiveCapacity + 1] = {};
    int textLost = 0;
    // The radio's text may hold zero bytes (its modem's binary frames in pass-through
    // mode): the length, not a terminator, tells where it ends.
    unsigned long length = 0;
    shared.serial.GetRcvData(chunk, &textLost, &length);
    if (textLost == 1) {
        // The beginning of this text is gone: it does not continue the partial reply
        // held back, and it begins inside a reply.
        shared.radioFramer.restartAtNextSeparator();
    }
    if (length == 0) {
        return;
    }
    RadioListener* const listener = shared.radioListener.load();
    if (shared.passThrough.load() == 1) {
        // The radio talks to the client directly: nothing is parsed and the
        // partial reply waits for the return to command mode.
        if (listener != nullptr) {
            listener->onRadioText(chunk, length);
        }
        return;
    }
    shared.radioFramer.add(std::string_view(reinterpret_cast<const char*>(chunk), length),
                           [&shared, listener](unsigned char* batch, std::size_t batchLength) {
                               ParseReplies(batch, shared);
                               if (listener != nullptr) {
                                   listener->onRadioText(batch, batchLength);
                               }
                           });
}

void RadioLineLost(LinkShared& shared)
{
    RadioListener* const listener = shared.radioListener.load();
    // The listener logs first, so that the log tells the cause before the session's close.
    if (listener != nullptr) {
        listener->onRadioLineLost(shared.radioPort.load());
    }
    shared.radioLost = 1;
    platform::PostMessage(shared.notifyWindow.load(), WM_LINKCORE_NOTIFY, kNotifyRadioLost, 0);
    if (listener != nullptr) {
        listener->onRadioLostMarked();
    }
}

int WriteCom(LinkShared& shared, const unsigned char* bytes, unsigned long count)
{
    return shared.serial.Write(bytes, count);
}

} // namespace linkcore
