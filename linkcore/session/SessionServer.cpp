// SPDX-License-Identifier: GPL-3.0-or-later
// The session server: its open and close, the session thread and its loop, the
// acceptance and the session-close steps, and the server's SessionIo.

#include "linkcore/session/SessionServer.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/ServiceSettings.h"
#include "linkcore/ServiceTls.h"
#include "linkcore/link/RadioLink.h"
#include "linkcore/session/ActivityLog.h"
#include "linkcore/session/CommandDispatcher.h"
#include "linkcore/session/SessionFormat.h"
#include "linkcore/session/SessionTexts.h"
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "protocol/RadioTexts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <pthread.h>

namespace linkcore {

// ---- The server's ends ----

int ServerIo::sendToClient(std::string_view text)
{
    // Write consumes its text in place, so it gets a copy of its own.
    std::string copy(text);
    return shared_.socket.Write(reinterpret_cast<unsigned char*>(copy.data()), copy.size());
}

void ServerIo::sendToRadio(std::string_view text)
{
    WriteCom(shared_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void ServerIo::notifyHost(platform::WParam code, platform::LParam value)
{
    platform::PostMessage(shared_.notifyWindow.load(), WM_LINKCORE_NOTIFY, code, value);
}

void ServerIo::log(const std::string& line)
{
    MirelLogAdd(line);
}

void ServerIo::disconnectClient()
{
    shared_.socket.DisConnect();
}

bool ServerIo::listenAgain()
{
    return shared_.socket.Listen(shared_.serverPort) == 1;
}

// ---- The record and the radio link's listener ----

SessionShared::SessionShared()
{
    radioListener = &radioRelay;
}

SessionShared::~SessionShared()
{
    if (sessionThread.joinable()) {
        serverRun = 0;
        sessionThread.request_stop();
        sessionThread.join();
    }
    socket.EventSinkReg(nullptr);
    socket.StopListening();
    closeRadioLink();
}

std::size_t SessionRadioRelay::skipCloseReplies(std::string_view batch)
{
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (batch[i] != ';') {
            if (replyStart_.size() < 2) {
                replyStart_.push_back(batch[i]);
            }
            continue;
        }
        const bool statusReply = replyStart_ == "IF";
        replyStart_.clear();
        if (statusReply) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

void SessionRadioRelay::onRadioText(unsigned char* text, std::size_t length) noexcept
{
    if (const std::int64_t until = shared_.closeRepliesUntil.load(); until != 0) {
        if (until != heldUntil_) {
            heldUntil_ = until;
            replyStart_.clear();
        }
        // The answers to the last session's close steps end with the IF reply; what
        // follows it in the same batch is already the radio's text for the new client.
        const std::size_t end = skipCloseReplies(std::string_view(reinterpret_cast<const char*>(text), length));
        if (end != std::string_view::npos) {
            shared_.closeRepliesUntil = 0;
            text += end;
            length -= end;
        } else if (platform::MonotonicNow().count() >= until) {
            shared_.closeRepliesUntil = 0;
        } else {
            return;
        }
        if (length == 0) {
            return;
        }
    }
    if (shared_.socket.GetClientExist() == 1 && shared_.session.clientLoggedIn.load() == 1) {
        shared_.socket.Write(text, length);
    }
}

void SessionRadioRelay::onRadioLineLost(unsigned port) noexcept
{
    MirelLogAdd(Format("- RADIO - Connection lost on COM%u.", port));
}

void SessionRadioRelay::onRadioLostMarked() noexcept
{
    shared_.sessionWakeup.raise();
}

// ---- Server ----

int OpenSessionServer(SessionShared& shared, unsigned port)
{
    std::lock_guard lock(shared.sessionServerMutex);
    if (port == 0 || port > 65535 || shared.serverAlive == 1 || shared.sessionThread.joinable()) {
        return 0;
    }
    // Registered before the listener exists, so that no event of it goes unheard.
    shared.sessionWakeup.clear();
    shared.socket.EventSinkReg(&shared.sessionEvents);
    const std::string bindAddress =
        platform::ApplicationProfile().GetProfileString(settings::kSettingSection, settings::kBindAddressKey, "");
    shared.socket.SetBindAddress(bindAddress.c_str());
    // The host checked the identity before its start; files that fail to load now keep the port shut.
    const ServiceTls tls = ReadServiceTls(platform::ApplicationProfile());
    const bool tlsReady = !tls.on ? shared.socket.SetTls(nullptr, nullptr) == 1
                                  : tls.error.empty() && shared.socket.SetTls(tls.files.certificate.c_str(),
                                                                              tls.files.key.c_str()) == 1;
    if (!tlsReady || shared.socket.Listen(port) == 0) {
        shared.socket.EventSinkReg(nullptr);
        return 0;
    }
    // A session left over from a server that was stopped mid-session is over.
    shared.clientConnected = 0;
    shared.listenFailed = 0;
    shared.closeRepliesUntil = 0;
    shared.session.clear();
    shared.loginBackoff.clear();
    shared.serverPort = port;
    shared.serverRun = 1;
    shared.sessionThread = std::jthread([&shared](std::stop_token stop) { RunSessionThread(stop, shared); });
    return 1;
}

void CloseSessionServer(SessionShared& shared)
{
    std::lock_guard lock(shared.sessionServerMutex);
    if (!shared.sessionThread.joinable()) {
        return;
    }
    shared.serverRun = 0;
    // The stop request wakes the thread's sleep, so it leaves its loop within one pass.
    shared.sessionThread.request_stop();
    shared.sessionThread.join();
    // The port is free again: a stopped service refuses connections rather than holding them.
    shared.socket.StopListening();
    shared.socket.EventSinkReg(nullptr);
}

// ---- Session thread ----

unsigned RunSessionThread(std::stop_token stop, SessionShared& sharedRecord)
{
    ::pthread_setname_np(::pthread_self(), "link-session");
    SessionShared* const shared = &sharedRecord;
    ServerIo io(sharedRecord);
    SessionLoop loop(sharedRecord, io);
    {
        const std::lock_guard lock(shared->sessionMutex);
        shared->sessionLoop = &loop;
    }
    platform::Wakeup& wakeup = shared->sessionWakeup;
    // A test clock that moves wakes the thread to look at its deadlines.
    platform::WatchClock(&wakeup);
    {
        const std::stop_callback onStop(stop, [&wakeup] { wakeup.raise(); });
        shared->serverAlive = 1;
        while (shared->serverRun == 1 && !stop.stop_requested()) {
            loop.runPass(stop);
        }
    }
    platform::UnwatchClock(&wakeup);
    {
        const std::lock_guard lock(shared->sessionMutex);
        // Closing the server skips the session-close steps, but the session it ends
        // still gets its CLOSE record: every OPEN in the log has one.
        if (shared->clientConnected == 1) {
            const std::string userId = shared->session.userId();
            if (shared->radioLost == 1) {
                // The host stops the service when the radio is lost, and may close the
                // server before a pass of this thread came to the loss: the client is
                // told the reason all the same, first, as closeForLostRadio tells it.
                // The endpoint still runs, and sends queued text before it closes.
                io.sendToClient(kRadioLost);
                io.log(SessionLogLine(shared->session.clientIp(), "CONN", userId, "Radio connection lost."));
            }
            io.log(SessionLogLine(shared->session.clientIp(), "CLOSE", userId.empty() ? std::string("-") : userId,
                                  "Connection Close"));
        }
        shared->sessionLoop = nullptr;
    }
    shared->serverAlive = 0;
    return 0;
}

void SessionEvents::post(std::uint32_t, platform::WParam event, platform::LParam) noexcept
{
    if (event == kNetportEventReceived) {
        std::unique_lock lock(shared_.sessionMutex, std::try_to_lock);
        if (lock.owns_lock() && shared_.sessionLoop != nullptr && shared_.sessionLoop->takeTextAtOnce()) {
            return;
        }
    }
    shared_.sessionWakeup.raise();
}

void AcceptSession(SessionShared& shared, SessionIo& io)
{
    shared.clientConnected = 1;
    char address[CNetport::kAddressTextSize] = {};
    if (shared.socket.GetClientIP(address) == 1) {
        shared.session.setClientIp(address);
    }
    io.sendToClient(kGreeting);
}

void RunBatch(std::string_view batch, SessionShared& shared, SessionIo& io)
{
    for (std::size_t end = batch.find(';'); end != std::string_view::npos; end = batch.find(';')) {
        const std::string_view segment = batch.substr(0, end);
        batch.remove_prefix(end + 1);
        // A session closed by an earlier segment (a failed login, a disabled user)
        // ends the batch: the rest must not reach the next client's session.
        if (shared.clientConnected == 0) {
            return;
        }
        CarryOut(DispatchSegment(segment, shared), shared, io);
    }
}

void CarryOut(const SessionAction& action, SessionShared& shared, SessionIo& io)
{
    switch (action.kind) {
    case SessionAction::Kind::Reply:
        io.sendToClient(action.text);
        break;
    case SessionAction::Kind::Radio:
        io.sendToRadio(action.text);
        break;
    case SessionAction::Kind::Notify:
        io.notifyHost(action.code, action.value);
        break;
    case SessionAction::Kind::Log:
        io.log(action.text);
        break;
    case SessionAction::Kind::LogIn:
        shared.session.clientLoggedIn = 1;
        break;
    case SessionAction::Kind::Close:
        CloseSession(shared, io);
        break;
    }
}

void CarryOut(const SessionActions& actions, SessionShared& shared, SessionIo& io)
{
    for (const SessionAction& action : actions) {
        CarryOut(action, shared, io);
    }
}

void CloseSession(SessionShared& shared, SessionIo& io)
{
    if (shared.clientConnected == 0) {
        return;
    }
    SessionRecord& session = shared.session;
    io.notifyHost(kNotifySession, kSessionClosing);
    io.disconnectClient();
    shared.clientConnected = 0;

    const std::string userId = session.userId();
    io.log(SessionLogLine(session.clientIp(), "CLOSE", userId.empty() ? std::string("-") : userId, "Connection Close"));

    const std::int32_t model = shared.radioState.model();
    shared.passThrough = 0;
    shared.radioState.ID.received = 0;
    shared.closeRepliesUntil = (platform::MonotonicNow() + kCloseReplyLimit).count();
    if (model == kModelCorvex) {
        io.sendToRadio(protocol::kPassThroughExit);
    } else if (model == kModelTarsel) {
        io.sendToRadio(kTarselKeyingClear);
    }
    io.sendToRadio(kRadioStatusRequest);

    if (shared.serverRun == 1) {
        session.setClientIp({});
        session.setUserId({});
        session.loginFailures = 0;
        session.clientLoggedIn = 0;
        session.clearElapsed();
        // The next client starts without the reports this one switched on.
        session.autoStatus = 0;
        session.passwordChangeResult = 0;
        shared.listenFailed = io.listenAgain() ? 0 : 1;
    }
}

// ---- Session loop ----

SessionLoop::SessionLoop(SessionShared& shared, SessionIo& io) : shared_(shared), io_(io)
{
    shared_.session.clear();
    readSessionLimit();
}

bool SessionLoop::refuseWaitingClient()
{
    CNetport& socket = shared_.socket;
    char address[CNetport::kAddressTextSize] = {};
    if (socket.GetClientIP(address) != 1 ||
        shared_.loginBackoff.remaining(address, platform::MonotonicNow()) == std::chrono::milliseconds(0)) {
        return false;
    }
    // Closed at once, without a greeting: held open, it would keep the one session slot
    // from everybody else, the rightful user included. Its back-off was logged when it began.
    socket.DisConnect();
    shared_.listenFailed = socket.Listen(shared_.serverPort) == 1 ? 0 : 1;
    return true;
}

void SessionLoop::readSessionLimit()
{
    const int minutes = platform::ApplicationProfile().GetProfileInt(settings::kSettingSection,
                                                                     settings::kSessionTimeKey, 0);
    // A negative setting means no limit rather than an instant one.
    limitSeconds_ = std::max<std::int64_t>(minutes, 0) * 60;
    SessionRecord& session = shared_.session;
    session.limitHours = static_cast<int>(limitSeconds_ / 3600);
    session.limitMinutes = static_cast<int>(limitSeconds_ % 3600 / 60);
    session.limitSeconds = static_cast<int>(limitSeconds_ % 60);
}

void SessionLoop::runPass(const std::stop_token& stop)
{
    std::unique_lock lock(shared_.sessionMutex);
    const platform::MonoTime now = platform::MonotonicNow();
    CNetport& socket = shared_.socket;

    if (shared_.clientConnected == 0) {
        if (socket.GetSocketAccepted() == 1) {
            acceptClient();
        } else if (listenerMissing()) {
            retryListener(now);
        }
    }

    if (shared_.clientConnected == 1) {
        if (shared_.radioLost == 1) {
            closeForLostRadio();
        } else if (socket.GetSocketClosed() == 1) {
            // A client may send its last commands and close at once: what it sent
            // before closing is carried out, in order, before the session closes.
            takeBufferedText();
            if (shared_.clientConnected == 1) {
                if (socket.GetSendOverflow() == 1) {
                    const SessionRecord& session = shared_.session;
                    io_.log(SessionLogLine(session.clientIp(), "CONN", session.userId(), "Connection Error:Send Buffer Full!!"));
                } else if (socket.GetTlsFailure() == 1) {
                    // A client speaking plain text to the TLS port, or a failed or refused handshake.
                    io_.log(SessionLogLine(shared_.session.clientIp(), "CONN", "-", kTlsHandshakeFailedText));
                }
                CloseSession(shared_, io_);
            }
            forgetClientText();
        } else if (!deferred_.empty()) {
            const std::string text = std::move(deferred_);
            deferred_.clear();
            takeClientText(text);
        } else if (socket.GetRcvDataLength() > 0) {
            shared_.session.lastReceiveTime = platform::MonotonicNow().count();
            takeClientText(receiveClientText());
        }
    }

    if (shared_.clientConnected == 1) {
        checkDeadlines(now);
    }

    if (stop.stop_requested() || shared_.serverRun == 0) {
        return;
    }
    if (shared_.clientConnected == 1 &&
        (!deferred_.empty() || socket.GetRcvDataLength() > 0 || socket.GetSocketClosed() == 1)) {
        return; // more to do at once
    }
    const std::optional<platform::MonoTime> deadline = nextDeadline();
    lock.unlock();
    shared_.sessionWakeup.wait(deadline ? platform::SleepLimitMs(*deadline) : -1);
}

bool SessionLoop::takeTextAtOnce()
{
    CNetport& socket = shared_.socket;
    if (!deferred_.empty() || shared_.clientConnected != 1 || shared_.session.clientLoggedIn != 1 ||
        shared_.radioLost == 1 || socket.GetSocketClosed() == 1) {
        return false;
    }
    if (socket.GetRcvDataLength() <= 0) {
        return true; // taken already
    }
    shared_.session.lastReceiveTime = platform::MonotonicNow().count();
    const std::string text = receiveClientText();
    if (commandTooLong(text)) {
        deferred_ = text;
        return false;
    }
    // Logged in, the text within the limit: neither the account commands nor the
    // radio path can end the session, so nothing here waits for this thread's end.
    takeClientText(text);
    return true;
}

std::string SessionLoop::receiveClientText()
{
    unsigned char chunk[CNetport::kReceiveBufferSize] = {};
    unsigned long length = 0;
    shared_.socket.GetRcvData(chunk, &length);
    return std::string(reinterpret_cast<const char*>(chunk), length);
}

void SessionLoop::takeBufferedText()
{
    // The socket thread has ended: nothing more arrives, so one take empties the buffer.
    if (!deferred_.empty()) {
        const std::string text = std::move(deferred_);
        deferred_.clear();
        takeClientText(text);
    }
    if (shared_.clientConnected == 1) {
        const std::string text = receiveClientText();
        takeClientText(text);
    }
}

void SessionLoop::forgetClientText()
{
    accumulator_.clear();
    deferred_.clear();
}

void SessionLoop::closeForLostRadio()
{
    const SessionRecord& session = shared_.session;
    io_.sendToClient(kRadioLost);
    io_.log(SessionLogLine(session.clientIp(), "CONN", session.userId(), "Radio connection lost."));
    CloseSession(shared_, io_);
    forgetClientText();
}

std::optional<platform::MonoTime> SessionLoop::nextDeadline() const
{
    const SessionRecord& session = shared_.session;
    if (shared_.clientConnected == 0) {
        if (listenerMissing()) {
            return nextListenAttempt_;
        }
        return std::nullopt;
    }
    const platform::MonoTime start(session.sessionStartTime.load());
    if (session.clientLoggedIn == 0) {
        return start + kLoginTimeLimit;
    }
    platform::MonoTime deadline = platform::MonoTime(session.lastReceiveTime.load()) + kIdleTimeLimit;
    if (limitSeconds_ != 0) {
        // The next elapsed second, which is also when the limit is reached.
        deadline = std::min(deadline, start + std::chrono::seconds(publishedElapsed_ + 1));
    }
    return deadline;
}

void SessionLoop::acceptClient()
{
    shared_.loginBackoffOn = platform::ApplicationProfile().GetProfileInt(settings::kSettingSection,
                                                                         settings::kLoginBackoffKey, 0) != 0
                                 ? 1
                                 : 0;
    if (shared_.loginBackoffOn == 1 && refuseWaitingClient()) {
        return;
    }
    // Every connection starts from an empty record.
    shared_.session.clear();
    readSessionLimit();
    publishedElapsed_ = 0;
    forgetClientText();
    // The login deadline runs from before the greeting, which tells the client it was taken.
    shared_.session.sessionStartTime = platform::MonotonicNow().count();
    shared_.session.lastReceiveTime = shared_.session.sessionStartTime.load();
    AcceptSession(shared_, io_);
    io_.log(SessionLogLine(shared_.session.clientIp(), "OPEN", "-", "Connection Open"));
    io_.notifyHost(kNotifySession, kSessionAccepted);
}

// A listener that could not be set up after a session, or that ended without a client.
bool SessionLoop::listenerMissing() const
{
    CNetport& socket = shared_.socket;
    return shared_.listenFailed == 1 || (socket.GetSocketClosed() == 1 && socket.GetSocketAccepted() == 0);
}

void SessionLoop::retryListener(platform::MonoTime now)
{
    if (now >= nextListenAttempt_) {
        nextListenAttempt_ = now + kListenRetryInterval;
        shared_.listenFailed = shared_.socket.Listen(shared_.serverPort) == 1 ? 0 : 1;
    }
}

void SessionLoop::takeClientText(std::string_view chunk)
{
    if (chunk.empty()) {
        return;
    }
    SessionRecord& session = shared_.session;
    if (session.clientLoggedIn == 0 && accumulator_.empty() && IsTlsHandshake(chunk)) {
        // A TLS client at the plain port: its handshake is no login, and nothing of it goes further.
        io_.log(SessionLogLine(session.clientIp(), "CONN", "-", kTlsOnPlainPortText));
        CloseSession(shared_, io_);
        return;
    }
    if (commandTooLong(chunk)) {
        io_.sendToClient(kCommandTooLong);
        io_.log(SessionLogLine(session.clientIp(), "LOGIN", "-", "Connection Error:Command Buffer Full!!"));
        CloseSession(shared_, io_);
        accumulator_.clear();
        return;
    }
    if (shared_.passThrough == 1 && session.clientLoggedIn == 1) {
        // The client talks to the radio's modem: every byte goes, NUL bytes too.
        io_.sendToRadio(chunk);
        return;
    }
    // Commands are text: a NUL ends the text of this chunk.
    accumulator_ += chunk.substr(0, chunk.find('\0'));
    const std::size_t last = accumulator_.rfind(';');
    if (last == std::string::npos) {
        return;
    }
    const std::string batch = accumulator_.substr(0, last + 1);
    accumulator_.erase(0, last + 1);
    RunBatch(batch, shared_, io_);
    if (shared_.clientConnected == 0) {
        accumulator_.clear();
    }
}

// The command being built is the text held back and the chunk up to and including its
// first ";": the limit is on one command with its ";", however the network cut the
// client's text, so commands sent back to back are never refused for it.
bool SessionLoop::commandTooLong(std::string_view chunk) const
{
    chunk = chunk.substr(0, chunk.find('\0'));
    const std::size_t firstEnd = chunk.find(';');
    const std::size_t commandLength =
        accumulator_.size() + (firstEnd == std::string_view::npos ? chunk.size() : firstEnd + 1);
    return commandLength >= kCommandTextLimit;
}

void SessionLoop::checkDeadlines(platform::MonoTime now)
{
    SessionRecord& session = shared_.session;
    const platform::MonoTime start(session.sessionStartTime.load());
    if (session.clientLoggedIn == 0) {
        if (now - start >= kLoginTimeLimit) {
            io_.sendToClient(kLoginTimeout);
            io_.log(SessionLogLine(session.clientIp(), "LOGIN", session.userId(), "timeout."));
            CloseSession(shared_, io_);
        }
        return;
    }
    if (now - platform::MonoTime(session.lastReceiveTime.load()) >= kIdleTimeLimit) {
        io_.sendToClient(kIdleTimeout);
        io_.log(SessionLogLine(session.clientIp(), "CONN", session.userId(), "timeout."));
        CloseSession(shared_, io_);
        return;
    }
    if (limitSeconds_ == 0) {
        return;
    }
    const std::int64_t elapsed =
        std::max<std::int64_t>(std::chrono::duration_cast<std::chrono::seconds>(now - start).count(), 0);
    if (elapsed != publishedElapsed_) {
        publishedElapsed_ = elapsed;
        session.elapsedHours = static_cast<int>(elapsed / 3600);
        session.elapsedMinutes = static_cast<int>(elapsed / 60 % 60);
        session.elapsedSeconds = static_cast<int>(elapsed % 60);
        io_.notifyHost(kNotifyElapsed, 0);
        if (session.autoStatus == 1) {
            io_.sendToClient(StatusText(session));
        }
    }
    if (elapsed >= limitSeconds_) {
        io_.log(SessionLogLine(session.clientIp(), "SESSION", session.userId(), "Session timeout."));
        CloseSession(shared_, io_);
    }
}

} // namespace linkcore
