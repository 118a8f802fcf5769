// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated radio's behaviour without any I/O: it takes the bytes the radio
// receives, keeps the radio's state and produces its answers as events. Not
// thread-safe: one owner (RadioSimulator, under its mutex) calls it at a time.
#pragma once

#include "protocol/RadioTexts.h"
#include "radiosim/CommandTable.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace radiosim {

struct Event {
    enum class Type {
        Command, // a complete command the radio received (with its ";")
        Reply,   // text the radio sends: an answer, an unsolicited report or "?;"
        Echo,    // received text returned unchanged in pass-through mode
    };
    Type type;
    std::string text;
};

class Transceiver {
public:
    // Model 19 or 20 gives that radio's command set; any other number makes a
    // radio that answers "ID;" with it and refuses everything else.
    explicit Transceiver(int model);

    // Consumes `bytes` up to and including the end of the next complete command
    // (or all of them when none completes) and appends the events to `events`.
    // Returns the number of bytes consumed; bytes of an unfinished command are kept.
    std::size_t consume(std::string_view bytes, std::vector<Event>& events);

    // Applies a set command ("FA00007000000;") as an operator at the front panel
    // would: read-only values such as the S-meter ("SM00015;") may be set too, and
    // a value may be given with the fields that the radio only answers ("PA11;",
    // where a set from the line carries "PA1;"). Reports the change in
    // auto-information mode 2. False when the radio would not take it (unknown,
    // malformed, other model, switched off).
    bool operate(std::string_view command, std::vector<Event>& events);

    // The answer to a read request ("FA;", "AG0;", "EX0550000;", "IF;", "MR0012;")
    // from the radio's state, as if it were switched on; empty when `command` is not a read
    // request this model answers.
    std::string query(std::string_view command) const;

    int model() const { return model_; }
    bool poweredOn() const;
    bool transmitting() const { return transmitting_; }
    int autoInformation() const;
    bool passThrough() const { return passThrough_; }

    // Longest command kept; longer ones are answered "?;" when their ";" arrives.
    static constexpr std::size_t kMaxCommandLength = 256;
    // The text that takes the radio out of pass-through mode.
    static constexpr std::string_view kPassThroughExit = protocol::kPassThroughExit;

private:
    enum class Origin { Line, Panel };

    void execute(std::string_view text, std::vector<Event>& events);
    std::size_t consumePassThrough(std::string_view bytes, std::vector<Event>& events);
    bool isRead(const CommandRow& row, std::string_view params) const;
    std::string readReply(const CommandRow& row, std::string_view params) const;
    bool applySet(const CommandRow& row, std::string_view params, Origin origin, std::vector<Event>& events);
    bool storeValue(const CommandRow& row, std::string_view params, Origin origin, std::vector<Event>& events);
    bool writeMemory(std::string_view params);
    void report(const CommandRow& row, std::string_view address, std::vector<Event>& events) const;
    const CommandRow* rowFor(std::string_view text) const;
    std::string stored(std::string_view key, const CommandRow& row) const;
    std::string stored(std::string_view mnemonic) const;
    std::string receivedFrequency() const;
    std::string statusText(std::string_view mnemonic, std::string_view frequency, bool transmitting) const;
    std::string transmitInfo() const;

    int model_;
    std::map<std::string, std::string, std::less<>> values_; // key: mnemonic plus address
    bool transmitting_ = false;
    bool passThrough_ = false;
    std::size_t exitMatched_ = 0; // characters of kPassThroughExit seen in pass-through mode
    std::string pending_;         // the command being received
    bool overflow_ = false;       // the command being received is longer than kMaxCommandLength
};

} // namespace radiosim
