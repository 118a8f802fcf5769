// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP engine's control stream and trace as the plug-in reads them: netstring
// framing, the JSON of events and responses, and the source address of each INVITE,
// including traces that a stranger's message tries to forge.
#include "voxline/EngineProtocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace voicetest {
namespace {

using voxline::AddressOf;
using voxline::EngineMessage;
using voxline::NetstringReader;
using voxline::ParseEngineMessage;
using voxline::SipTraceReader;

TEST(EngineProtocolTest, NetstringsAreFramedAcrossPiecesAndABrokenStreamStaysBroken)
{
    NetstringReader reader;
    const std::string stream = voxline::EncodeNetstring("{\"a\":1}") + voxline::EncodeNetstring("") +
                               voxline::EncodeNetstring("xyz");
    std::vector<std::string> got;
    for (const char c : stream) {
        reader.append(std::string_view(&c, 1));
        while (auto payload = reader.next()) {
            got.push_back(*payload);
        }
    }
    EXPECT_THAT(got, ::testing::ElementsAre("{\"a\":1}", "", "xyz"));

    for (const char* broken : {"3:abc;", "x:abc,", "01:a,", "99999999:", ":a,", "300000:"}) {
        SCOPED_TRACE(broken);
        NetstringReader bad;
        bad.append(broken);
        EXPECT_EQ(bad.next(), std::nullopt);
        EXPECT_TRUE(bad.failed());
        bad.append("1:a,");
        EXPECT_EQ(bad.next(), std::nullopt);
    }
}

TEST(EngineProtocolTest, EventsAndResponsesKeepTheMembersActedOn)
{
    const std::optional<EngineMessage> event = ParseEngineMessage(
        R"({"event":true,"type":"CALL_CLOSED","class":"call","direction":"incoming","peeruri":"sip:op@127.0.0.1",)"
        R"("id":"2a92\u0030","param":"Connection \"reset\"\n","rtcp_stats":{"tx":{"sent":0,"lost":-1.5e3},)"
        R"("list":[1,"x",{"y":null}]},"flag":false})");
    ASSERT_TRUE(event.has_value());
    EXPECT_TRUE(event->event);
    EXPECT_FALSE(event->response);
    EXPECT_EQ(event->type, "CALL_CLOSED");
    EXPECT_EQ(event->callId, "2a920");
    EXPECT_EQ(event->peerUri, "sip:op@127.0.0.1");
    EXPECT_EQ(event->direction, "incoming");
    EXPECT_EQ(event->param, "Connection \"reset\"\n");

    const std::optional<EngineMessage> response =
        ParseEngineMessage(R"({"response":true,"ok":true,"data":"Answering\n","token":"7"})");
    ASSERT_TRUE(response.has_value());
    EXPECT_TRUE(response->response && response->ok);
    EXPECT_EQ(response->data, "Answering\n");
    EXPECT_EQ(response->token, "7");

    // A command's text of any kind reads back as what it was.
    NetstringReader reader;
    reader.append(voxline::EncodeCommand("dial", "sip:a\"b\\c\x01@127.0.0.1", "1"));
    const auto frame = reader.next();
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(ParseEngineMessage(*frame).has_value());

    for (const char* broken : {"", "[]", "{", R"({"a"})", R"({"a":})", R"({"a":1,})", R"({"a":"\x"})",
                               R"({"a":"open)", R"({"a":1} x)", R"({"a":tru})"}) {
        SCOPED_TRACE(broken);
        EXPECT_EQ(ParseEngineMessage(broken), std::nullopt);
    }
    // Nesting beyond any real message is refused, not followed.
    EXPECT_EQ(ParseEngineMessage("{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}"), std::nullopt);
}

std::string Block(std::string_view transfer, std::string_view message)
{
    return "\x1b[36;1m#\n" + std::string(transfer) + "\n" + std::string(message) + "\x1b[;m\n";
}

TEST(EngineProtocolTest, TheTraceNamesEachInvitesSourceAndForgedBlocksOnlyAddToIt)
{
    const std::string invite = "INVITE sip:radio@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.9:5060\r\n"
                               "Call-ID: abc\r\nContent-Length: 0\r\n\r\n";
    struct Row {
        const char* name;
        std::string output;
        std::vector<std::string> invites; // "source callId"
        bool unreliable;
    };
    const std::string forged = Block("UDP 127.0.0.1:5072 -> 127.0.0.1:5060", "INVITE x SIP/2.0\r\nCall-ID: abc\r\n\r\n");
    const Row rows[] = {
        {"an INVITE", "log line\n" + Block("UDP 127.0.0.2:5072 -> 127.0.0.1:5060", invite), {"127.0.0.2:5072 abc"}, false},
        {"a response is no INVITE", Block("UDP 127.0.0.1:5060 -> 127.0.0.2:5072", "SIP/2.0 180 Ringing\r\nCall-ID: abc\r\n\r\n"), {}, false},
        {"compact and folded Call-ID", Block("TCP [::1]:5072 -> [::1]:5060", "INVITE x SIP/2.0\r\ni:\r\n  abc\r\n\r\n"), {"[::1]:5072 abc"}, false},
        // A stranger's body holds a whole block of its own: it is read as a second
        // INVITE for the same call, which the plug-in takes as a dispute.
        {"forged block in a body",
         Block("UDP 127.0.0.2:5072 -> 127.0.0.1:5060", "INVITE x SIP/2.0\r\nCall-ID: abc\r\n\r\nv=0\n" + forged),
         {"127.0.0.2:5072 abc", "127.0.0.1:5072 abc"}, false},
        // A marker inside the headers cuts the real INVITE short before its Call-ID.
        {"marker before the Call-ID",
         Block("UDP 127.0.0.2:5072 -> 127.0.0.1:5060", "INVITE x SIP/2.0\r\n" + forged + "Call-ID: zzz\r\n\r\n"),
         {"127.0.0.1:5072 abc"}, true},
        {"two Call-IDs", Block("UDP 127.0.0.2:1 -> 127.0.0.1:5060", "INVITE x SIP/2.0\r\nCall-ID: a\r\nCALL-ID: b\r\n\r\n"), {}, true},
        {"no transfer line", "\x1b[36;1m#\nINVITE x SIP/2.0\r\nCall-ID: abc\r\n\r\n", {}, false},
        // Found by the fuzzer: a transfer line without a source named no address.
        {"transfer line without a source", Block("UDP  -> 127.0.0.1:5060", invite), {}, false},
        // While a call rings the engine's status line returns the carriage before
        // the next block's marker, on the marker's line.
        {"marker after the status line's returns", "\r\rcall 0:00:03\r\r" + Block("TLS 127.0.0.2:5072 -> 127.0.0.1:5061", invite),
         {"TLS 127.0.0.2:5072 abc"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SipTraceReader reader;
        // In awkward pieces, as a pipe delivers it.
        for (std::size_t at = 0; at < row.output.size(); at += 7) {
            reader.append(std::string_view(row.output).substr(at, 7));
        }
        std::vector<std::string> got;
        while (auto traced = reader.next()) {
            got.push_back((traced->transport == "TLS" ? "TLS " : "") + traced->source + " " + traced->callId);
        }
        EXPECT_EQ(got, row.invites);
        EXPECT_EQ(reader.unreliable(), row.unreliable);
    }
}

TEST(EngineProtocolTest, AddressesOfEndpoints)
{
    const std::pair<const char*, const char*> rows[] = {
        {"127.0.0.2:5072", "127.0.0.2"}, {"[::1]:5060", "::1"},   {"[::FFFF:127.0.0.1]:9", "127.0.0.1"},
        {"10.1.2.3", "10.1.2.3"},        {"fe80::1", "fe80::1"},  {"host.example:5060", ""},
        {"[::1", ""},                    {"", ""},
    };
    for (const auto& [endpoint, address] : rows) {
        EXPECT_EQ(AddressOf(endpoint), address) << endpoint;
    }
}

} // namespace
} // namespace voicetest
