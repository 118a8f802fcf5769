// SPDX-License-Identifier: GPL-3.0-or-later
#include "voxline/HostSetup.h"

#include "voxline/EngineProtocol.h"

#include <array>

#include <arpa/inet.h>

namespace voxline {

std::string CanonicalAddress(const std::string& text)
{
    const std::string address = AddressOf(text);
    std::array<char, INET6_ADDRSTRLEN> out{};
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return inet_ntop(AF_INET, &v4, out.data(), out.size()) != nullptr ? std::string(out.data()) : std::string();
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        return inet_ntop(AF_INET6, &v6, out.data(), out.size()) != nullptr ? std::string(out.data())
                                                                           : std::string();
    }
    return {};
}

EngineSetup HostEngineSetup(int port, const std::string& device, bool plain, const std::string& bindAddress)
{
    EngineSetup setup;
    const std::string address = CanonicalAddress(bindAddress);
    const bool v6 = address.find(':') != std::string::npos;
    if (address.empty()) {
        setup.sipListen = "0.0.0.0:" + std::to_string(port);
    } else {
        setup.sipListen = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
        setup.netInterface = address;
    }
    setup.audioSource = "alsa," + device;
    setup.audioPlayer = "alsa," + device;
    setup.modules = {"opus", "g711", "alsa", "dtls_srtp", "srtp", "ice"};
    // The accounts take calls only: no registration, answered on the host's word;
    // Opus first, G.711 for ordinary telephones.
    const auto account = [&](const char* user) {
        return "<sip:" + std::string(user) + "@" + (address.empty() ? std::string("0.0.0.0") : setup.sipListen) +
               ">;regint=0;answermode=manual;audio_codecs=opus/48000/2,PCMU/8000/1,PCMA/8000/1";
    };
    // ICE finds the media path to a caller behind a router, whose call names its
    // private address: the caller's checks arrive from the router's address, which
    // the host learns and sends to.
    setup.account = account(kEncryptedUser) + ";mediaenc=dtls_srtp\n" + account(kIceUser) +
                    ";mediaenc=dtls_srtp;medianat=ice";
    if (plain) {
        setup.account += "\n" + account(kPlainUser);
    }
    // The radio's sound interface: one channel at 48 kHz each way, as Opus carries it.
    setup.extraConfig = {"call_max_calls 4", "opus_application voip", "opus_samplerate 48000",
                         "ausrc_srate 48000", "auplay_srate 48000", "ausrc_channels 1", "auplay_channels 1",
                         "rtp_timeout " + std::to_string(kMediaTimeoutSeconds),
                         // A fixed range, so that a router can forward it (README).
                         "rtp_ports " + std::string(kMediaPorts),
                         // 20 to 80 ms of jitter buffer (frames of 20 ms): enough for a
                         // home line, and the round trip stays short.
                         "jitter_buffer_delay 1-4"};
    setup.sipTrace = true;
    return setup;
}

} // namespace voxline
