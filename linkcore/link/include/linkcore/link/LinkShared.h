// SPDX-License-Identifier: GPL-3.0-or-later
// LinkShared: the radio link, built on the radio layer's record. The serial port's
// reader thread is the radio reader: it hands received text to RadioReceiver, which
// frames and parses it (radio layer) and gives every framed batch, and the loss of the
// line, to the registered RadioListener (the session side, which relays to a client).
#pragma once

#include "linkcore/radio/RadioShared.h"
#include "linkcore/radio/ReplyFramer.h"
#include "serport/Serport.h"

#include <atomic>
#include <cstddef>
#include <mutex>

namespace linkcore {

struct LinkShared;

// Told by the radio reader of what the radio sent; called on the reader thread.
class RadioListener {
public:
    // Text from the radio: a framed, parsed batch, or in pass-through mode raw bytes;
    // the listener may consume it in place.
    virtual void onRadioText(unsigned char* text, std::size_t length) noexcept = 0;
    // The line was lost on COM `port`; called before radioLost is set.
    virtual void onRadioLineLost(unsigned port) noexcept = 0;
    // radioLost is set and the host was told.
    virtual void onRadioLostMarked() noexcept = 0;

protected:
    ~RadioListener() = default;
};

// The serial port's receiver: the radio reader's work (RadioLink.h).
class RadioReceiver final : public CSerportReceiver {
public:
    explicit RadioReceiver(LinkShared& shared) : shared_(shared) {}
    void OnSerportData(CSerport& port) noexcept override;
    void OnSerportLineLost(CSerport& port) noexcept override;

private:
    LinkShared& shared_;
};

struct LinkShared : RadioShared {
    LinkShared() = default;
    LinkShared(const LinkShared&) = delete;
    LinkShared& operator=(const LinkShared&) = delete;

    // The radio's serial port; its reader thread is the radio reader.
    CSerport serial;
    // The reader's state: run while the link is to be served, alive from the opening
    // to the close.
    std::atomic<int> radioReaderRun{0};   // cleared by the link's close
    std::atomic<int> radioReaderAlive{0}; // 1 while the link is open and read
    std::atomic<int> radioConnected{0};
    std::atomic<int> radioLost{0};      // the open line was lost (hang-up, failure, device gone)
    std::atomic<unsigned> radioPort{0}; // the COM port number of the open link
    // Serialises the link's open and close, which any thread may call.
    std::mutex radioLinkMutex;
    RadioReceiver radioReceiver{*this};
    // Frames the radio's text; used on the serial port's reader thread only.
    ReplyFramer radioFramer;
    // Told of the radio's text and of the loss of the line; set once, before the link opens.
    std::atomic<RadioListener*> radioListener{nullptr};

    // Closes the serial port, which ends the radio reader; nothing when it is closed.
    void closeRadioLink();
};

} // namespace linkcore
