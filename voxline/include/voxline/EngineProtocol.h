// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP engine's control protocol and its SIP trace, as pure functions without any
// I/O: the plug-in and the client feed them what they read from the engine.
//
// Control messages are JSON objects, each framed as a netstring ("<length>:<bytes>,").
// The engine sends responses to our commands and events of its own; only the flat
// string and boolean members that we act on are kept, nested values are skipped.
// The SIP trace is the engine's standard output with tracing on: each SIP message
// it receives or sends is preceded by a line "<transport> <source> -> <destination>".
// It is the only place where the engine names the address a request came from.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace voxline {

// Netstrings longer than this are refused: the engine's longest replies (the call
// status) stay far below it.
inline constexpr std::size_t kLongestNetstring = 256 * 1024;

// Cuts a byte stream into netstrings. A malformed or oversized frame puts the reader
// into a failed state for good: the stream cannot be resynchronised.
class NetstringReader {
public:
    void append(std::string_view bytes);
    // The next complete payload, if any.
    std::optional<std::string> next();
    bool failed() const { return failed_; }

private:
    std::string buffer_;
    std::size_t consumed_ = 0;
    bool failed_ = false;
};

std::string EncodeNetstring(std::string_view payload);
// A command as the engine's control module takes it.
std::string EncodeCommand(std::string_view command, std::string_view params, std::string_view token);

// One control message. Members the message lacks stay empty.
struct EngineMessage {
    bool event = false;    // "event": true
    bool response = false; // "response": true
    bool ok = false;       // "ok" of a response
    std::string type;      // event type: CALL_INCOMING, CALL_ESTABLISHED, CALL_CLOSED ...
    std::string callId;    // "id": the call's SIP Call-ID
    std::string peerUri;   // "peeruri": the From (incoming) or To (outgoing) URI
    std::string direction; // "incoming" or "outgoing"
    std::string param;     // the event's detail (the reason of CALL_CLOSED ...)
    std::string data;      // a response's text
    std::string token;
};

// Parses one JSON object; empty when it is not one. Never reads beyond `json`.
std::optional<EngineMessage> ParseEngineMessage(std::string_view json);

// What the trace shows of one received INVITE: the address it came from, as the
// engine's transport layer saw it, and the Call-ID its headers carry.
struct TracedInvite {
    std::string transport; // as the engine names it: "UDP", "TCP", "TLS"
    std::string source;    // "address:port" or "[v6]:port"
    std::string callId;
};

// Follows the trace block by block. A block begins with the engine's marker line and
// its transfer line; everything after that is the message as received, which a
// stranger writes. So blocks are only ever added, never hidden: a marker line always
// begins a new block, and an INVITE block whose Call-ID cannot be told for certain
// (none, or more than one) marks the trace as unreliable for good (unreliable()).
// Holds at most one incomplete line.
class SipTraceReader {
public:
    void append(std::string_view output);
    // The next INVITE seen, in order.
    std::optional<TracedInvite> next();
    bool unreliable() const { return unreliable_; }

private:
    void line(std::string_view text);
    void endBlock();

    enum class State { Outside, Transfer, RequestLine, Headers };
    std::string partial_;
    State state_ = State::Outside;
    TracedInvite current_;
    int callIds_ = 0;
    std::string lastHeader_;
    std::deque<TracedInvite> invites_;
    bool unreliable_ = false;
};

// The address part of "address:port", "[v6]:port" or a bare address; IPv4-mapped IPv6
// addresses in their IPv4 form. Empty when `endpoint` is not an address.
std::string AddressOf(std::string_view endpoint);

} // namespace voxline
