// SPDX-License-Identifier: GPL-3.0-or-later
#include "VoiceLink.h"

#include "voxline/EngineProtocol.h"
#include "voxline/HostSetup.h"

#include <array>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace client {
namespace {

// "address" of one end of a connected socket, IPv6 in brackets; empty on failure.
std::string EndOf(int socket, bool peer)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    const int got = peer ? getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length)
                         : getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    if (got != 0) {
        return {};
    }
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        return inet_ntop(AF_INET, &v4->sin_addr, text.data(), text.size()) != nullptr ? text.data() : "";
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    if (inet_ntop(AF_INET6, &v6->sin6_addr, text.data(), text.size()) == nullptr) {
        return {};
    }
    return "[" + std::string(text.data()) + "]";
}

// What the operator is told of each engine event; empty: nothing.
void DrainOutput(int output)
{
    std::array<char, 16384> chunk{};
    while (read(output, chunk.data(), chunk.size()) > 0) {
    }
}

std::string Describe(const voxline::EngineMessage& message)
{
    if (message.type == "CALL_RINGING") {
        return "voice: ringing";
    }
    if (message.type == "CALL_ESTABLISHED") {
        return "voice: call established";
    }
    if (message.type == "CALL_MENC") {
        return "voice: audio encrypted (" + message.param + ")";
    }
    if (message.type == "AUDIO_ERROR") {
        return "voice: sound device failed: " + message.param;
    }
    if (message.type == "CALL_CLOSED") {
        return "voice: call ended" + (message.param.empty() ? std::string() : ": " + message.param);
    }
    return {};
}

} // namespace

VoiceLink::VoiceLink(std::string device, unsigned voicePort, bool tls, std::function<void(const std::string&)> say)
    : device_(std::move(device)), voicePort_(voicePort), tls_(tls), say_(std::move(say))
{
}

VoiceLink::~VoiceLink() { stop(); }

void VoiceLink::stop()
{
    watch_.stop();
    // The engine hangs up its call as it ends.
    engine_.reset();
}

bool VoiceLink::callFor(int sessionSocket)
{
    stop();
    const std::string local = EndOf(sessionSocket, false);
    const std::string host = EndOf(sessionSocket, true);
    if (local.empty() || host.empty()) {
        say_("voice: cannot tell the session's addresses");
        return false;
    }
    voxline::EngineSetup setup;
    setup.sipListen = local + ":0";
    setup.netInterface = local.front() == '[' ? local.substr(1, local.size() - 2) : local;
    setup.audioSource = "alsa," + device_;
    setup.audioPlayer = "alsa," + device_;
    setup.modules = {"opus", "g711", "alsa", "dtls_srtp", "ice"};
    // ICE: behind a router the call names the operator's private address, which the
    // host cannot reach; the connectivity checks show the host the router's address.
    setup.account = "<sip:operator@" + local + ">;regint=0;mediaenc=dtls_srtp;medianat=ice;"
                    "audio_codecs=opus/48000/2,PCMU/8000/1,PCMA/8000/1";
    setup.extraConfig = {"opus_application voip", "jitter_buffer_delay 1-4"};
    std::string error;
    engine_ = voxline::EngineProcess::Start(setup, &error);
    if (engine_ == nullptr) {
        say_("voice: " + error);
        return false;
    }
    // TCP or TLS: the host then knows for certain where the call comes from.
    const std::string uri = "sip:" + std::string(voxline::kIceUser) + "@" + host + ":" +
                            (tls_ ? std::to_string(voicePort_ + 1) + ";transport=tls"
                                  : std::to_string(voicePort_) + ";transport=tcp");
    say_("voice: calling " + uri);
    engine_->send("dial", uri);
    reader_ = voxline::NetstringReader();
    // The engine's own output is of no use here; it is read so that it never blocks.
    const int output = engine_->outputFd();
    const bool watching = watch_.start(*engine_, {.outputReadable = [output] { DrainOutput(output); },
                                                  .controlReadable = [this] { return readControl(); }});
    if (!watching) {
        say_("voice: cannot watch the SIP engine");
        engine_.reset();
    }
    return watching;
}

bool VoiceLink::readControl()
{
    std::array<char, 16384> chunk{};
    const ssize_t got = recv(engine_->controlFd(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        say_("voice: the SIP engine ended");
        return false;
    }
    if (got > 0) {
        reader_.append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    while (const auto payload = reader_.next()) {
        const auto message = voxline::ParseEngineMessage(*payload);
        if (message && message->event) {
            if (const std::string line = Describe(*message); !line.empty()) {
                say_(line);
            }
        }
    }
    return !reader_.failed();
}

} // namespace client
