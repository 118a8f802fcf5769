// SPDX-License-Identifier: GPL-3.0-or-later
// What the session's deciders (the command dispatcher, the login and account
// commands, the radio command filter) want done, as plain data, and the interface
// through which the session carries it out. The deciders read and update the session
// record; everything that leaves the session goes through SessionIo.
#pragma once

#include "platform/WindowMessage.h"

#include <string>
#include <string_view>
#include <vector>

namespace linkcore {

struct SessionAction {
    enum class Kind {
        Reply,  // `text` to the client
        Radio,  // `text` to the radio
        Notify, // WM_LINKCORE_NOTIFY (`code`, `value`) to the host
        Log,    // `text` as an activity-log record
        LogIn,  // the client counts as logged in from here on
        Close,  // the session-close steps
    };
    Kind kind;
    std::string text;
    platform::WParam code = 0;
    platform::LParam value = 0;

    static SessionAction reply(std::string_view text) { return {Kind::Reply, std::string(text)}; }
    static SessionAction radio(std::string text) { return {Kind::Radio, std::move(text)}; }
    static SessionAction notify(platform::WParam code, platform::LParam value)
    {
        return {Kind::Notify, {}, code, value};
    }
    static SessionAction log(std::string text) { return {Kind::Log, std::move(text)}; }
    static SessionAction logIn() { return {Kind::LogIn, {}}; }
    static SessionAction close() { return {Kind::Close, {}}; }

    bool operator==(const SessionAction&) const = default;
};
using SessionActions = std::vector<SessionAction>;

// The session's ends: the client, the radio, the host, the log and the listener.
// The session server's implementation uses the endpoint, the serial port, the
// host's window and the log file; a test or a fuzzer may keep them in memory.
class SessionIo {
public:
    // `text` whole to the connected client; 0 when there is none or it is gone.
    virtual int sendToClient(std::string_view text) = 0;
    // `text` to the radio unchanged.
    virtual void sendToRadio(std::string_view text) = 0;
    virtual void notifyHost(platform::WParam code, platform::LParam value) = 0;
    virtual void log(const std::string& line) = 0;
    // Ends the client's connection.
    virtual void disconnectClient() = 0;
    // Listens for the next client; false when the endpoint cannot listen.
    virtual bool listenAgain() = 0;

protected:
    ~SessionIo() = default;
};

} // namespace linkcore
