// SPDX-License-Identifier: GPL-3.0-or-later
// CNetport: the process's one TCP endpoint, a server for one client at a time or an
// outgoing connection. Every CNetport object drives the same endpoint, whose socket
// thread it owns and joins; all public operations may be called from any thread.
// The socket thread sleeps in poll() until a socket or its wake-up eventfd is ready:
// no periodic wake-up. Received text is read only while the receive buffer has room,
// so none is dropped: the rest waits in the socket until the owner takes text. Every
// byte is carried, NUL bytes too; the lengths tell where text ends.
#pragma once

#include "netport/NetportExport.h"
#include "platform/WindowMessage.h"

#include <cstdint>

// Posted to the registered window; wParam names the event.
inline constexpr std::uint32_t WM_NETPORT_EVENT = 0x1120;
// lParam: the length of the text now waiting in the receive buffer (0 when a chunk was dropped).
inline constexpr platform::WParam kNetportEventReceived = 1;
// lParam 0: a client was accepted.
inline constexpr platform::WParam kNetportEventAccepted = 2;
// lParam 0: the socket thread ended; the session is over.
inline constexpr platform::WParam kNetportEventClosed = 3;

struct NetportEndpoint;

// Endpoint states: Idle -> Listening (Listen) -> Connected (client accepted) -> Ended
// (client left, DisConnect, or the client was found gone by Write); client mode:
// Idle -> Connected (Connect) -> Ended. Listen or Connect leads from Ended (or Idle)
// to a new session; both are refused while the socket thread runs. One Listen serves
// exactly one client; a further client meanwhile receives "BUSY;" and is closed (with
// TLS, after its handshake, which may take a few seconds without holding anything up).
// The listening socket lives from the first Listen to StopListening (or a Connect,
// or a Listen on another address): a client that connects while no session runs
// (Ended, the owner's close steps) waits in its backlog, is accepted by the next
// Listen and is never refused.
class NETPORT_EXPORT CNetport {
public:
    // Room the caller gives GetRcvData; received text never exceeds 1023 characters.
    static constexpr unsigned kReceiveBufferSize = 1024;
    // Room the caller gives GetClientIP and GetLocalIP: an IPv6 address in text.
    static constexpr unsigned kAddressTextSize = 46;
    // Text for the peer waits in an outbound queue of at most this many bytes, which
    // the socket thread sends as the peer takes it. A Write that would overfill it ends
    // the session: a peer that does not read cannot hold up the writers.
    static constexpr unsigned kSendQueueLimit = 64 * 1024;
    // A peer that takes nothing of the queued text for this long, in milliseconds,
    // also ends the session.
    static constexpr int kWriteTimeLimitMs = 3000;

    // Resets the endpoint to Idle, bound to every IPv4 address, when no socket thread runs;
    // a running endpoint is left alone.
    CNetport();
    // Stops the socket thread, if any, and joins it.
    virtual ~CNetport();
    // A copy would stop the shared endpoint when it is destroyed.
    CNetport(const CNetport&) = delete;
    CNetport& operator=(const CNetport&) = delete;

    // The address later Listen calls bind to: nullptr or empty = every IPv4 address, an
    // IPv4 or IPv6 literal (IPv6 only for an IPv6 one), or "localhost" (127.0.0.1). Kept
    // even when it does not parse, so that Listen fails as for a bad port; 1 when it parses.
    int SetBindAddress(const char* address);
    // Makes later Listen calls speak TLS (1.2 at least) with the certificate and private
    // key of these PEM files; nullptr for either: plain TCP. The session inside is the
    // same text either way. The handshake runs in the socket thread after the accept,
    // which is reported as before; text written meanwhile waits for its end. 1 on
    // success; 0 while the socket thread runs, or when the files do not load (the
    // endpoint then keeps its former setting).
    int SetTls(const char* certificateFile, const char* keyFile);
    // 1 when the last session ended because its client's TLS handshake failed (a
    // client speaking plain text to a TLS port, for one); cleared by the next Listen.
    int GetTlsFailure();
    // Listens on the bind address (SetBindAddress) on `port` and starts the socket thread: 1 on success.
    // Clears the accepted and closed flags even when refused because the thread runs.
    // A socket failure shows "Network connection error." and gives 0.
    int Listen(unsigned port);
    // Connects to `host` (dotted quad or host name) and starts the socket thread: 1 on success.
    // The connection is plain TCP, whatever SetTls says.
    int Connect(const char* host, unsigned port);
    // Ends the session (stops and joins the socket thread) and empties the receive buffer; always 1.
    // The listening socket stays open: the next Listen on the same address takes it over.
    int DisConnect();
    // Ends the session as DisConnect does and closes the listening socket: the port is
    // free and connections are refused until the next Listen; always 1.
    int StopListening();

    // Length of the received text not yet taken; -1 while the socket thread is not running.
    int GetRcvDataLength();
    // Copies the received text, NUL-terminated, to `dst` (room for kReceiveBufferSize)
    // and empties the buffer; always 1.
    int GetRcvData(unsigned char* dst);
    // The same; `*length` (when not null) is the number of bytes taken. Received
    // text may hold NUL bytes (binary frames), so only this length tells where it ends.
    int GetRcvData(unsigned char* dst, unsigned long* length);
    // Waits up to `milliseconds` for received text; returns at once when the socket thread
    // is not running. 1 when text is waiting, 0 otherwise.
    int WaitRcvData(unsigned milliseconds);
    // Sends the `length` bytes of `text` (NUL bytes included) as far as the socket takes
    // them now and queues the rest; never waits for the peer. 1 when all of it was sent
    // or queued: `text` is consumed in place (its first byte becomes NUL). 0 without a
    // client (`text` untouched), or when the queue cannot take the rest, which ends the
    // session (GetSendOverflow); `text` then begins with what was not sent. Texts of concurrent callers go out one after the
    // other, never interleaved, in the order of the calls.
    int Write(unsigned char* text, unsigned long length);
    // 1 when the last session ended because its peer did not take its text (the queue
    // overflowed or stalled for kWriteTimeLimitMs); cleared by the next Listen or Connect.
    int GetSendOverflow();

    // The connected peer's address as a dotted quad or IPv6 text in `dst` (room for kAddressTextSize);
    // 0, `dst` untouched, when there is no connected socket.
    int GetClientIP(char* dst);
    // This host's IPv4 address as a dotted quad in `dst` (room for kAddressTextSize);
    // the first 4 bytes of `dst` are zeroed first. 0 when no address is found.
    int GetLocalIP(char* dst);

    // 1 once a client was accepted; stays 1 after it left until the next Listen.
    int GetClientExist();
    // 1 once the socket thread accepted a client (reading does not clear it).
    int GetSocketAccepted();
    // 1 once the socket thread has ended (reading does not clear it).
    int GetSocketClosed();
    // Window for WM_NETPORT_EVENT; nullptr stops the messages.
    void WinMsgSendReg(platform::WindowHandle window);
    // A second target that receives every WM_NETPORT_EVENT, for the owner's own thread
    // (the window keeps its own registration); nullptr removes it.
    void EventSinkReg(platform::WindowHandle sink);

protected:
    // Sets up the listening socket on the endpoint's address; 1 on success.
    int CreateLSocket();
    // Connects the client socket to the endpoint's address; 1 on success.
    int CreateCSocket();
    // The socket thread's body.
    static void SockThread(NetportEndpoint* state);
};
