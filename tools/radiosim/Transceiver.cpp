#include "tools/radiosim/Transceiver.h"

#include <utility>

namespace radiosim {
namespace {

constexpr std::string_view kRefused = "?;";
constexpr std::size_t kMenuAddressWidth = 7;
constexpr std::size_t kMaxMenuValue = 16;
constexpr std::size_t kMaxKeyingText = 24;
// Setting this menu to 1 on model 19 hands the line to the built-in terminal node.
constexpr std::string_view kPassThroughMenuSet = "EX05500001";
constexpr std::string_view kPassThroughMenuKey = "EX0550000";

bool IsPrintable(std::string_view text)
{
    for (char c : text) {
        if (c < 0x20 || c > 0x7e || c == ';') {
            return false;
        }
    }
    return true;
}

std::size_t AddressWidth(std::string_view format)
{
    return static_cast<std::size_t>(FormatWidth(FirstField(format)));
}

void Send(std::vector<Event>& events, std::string text)
{
    events.push_back(Event{Event::Type::Reply, std::move(text)});
}

// The command text without leading line breaks and without its ";".
std::string_view Unframed(std::string_view command)
{
    while (!command.empty() && (command.front() == '\r' || command.front() == '\n')) {
        command.remove_prefix(1);
    }
    if (!command.empty() && command.back() == ';') {
        command.remove_suffix(1);
    }
    return command;
}

} // namespace

Transceiver::Transceiver(int model) : model_(model) {}

bool Transceiver::poweredOn() const
{
    if (ModelBit(model_) == 0) {
        return true;
    }
    const std::string_view power = stored("PS");
    return power != "0" && power != "9";
}

int Transceiver::autoInformation() const
{
    if (ModelBit(model_) == 0) {
        return 0;
    }
    return stored("AI").front() - '0';
}

std::size_t Transceiver::consume(std::string_view bytes, std::vector<Event>& events)
{
    if (passThrough_) {
        return consumePassThrough(bytes, events);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ';') {
            std::string text;
            text.swap(pending_);
            const bool overflow = std::exchange(overflow_, false);
            events.push_back(Event{Event::Type::Command, text + ";"});
            if (!overflow) {
                execute(text, events);
            } else if (poweredOn()) {
                Send(events, std::string(kRefused));
            }
            return i + 1;
        }
        if (pending_.empty() && !overflow_ && (c == '\r' || c == '\n')) {
            continue;
        }
        if (pending_.size() < kMaxCommandLength) {
            pending_ += c;
        } else {
            overflow_ = true;
        }
    }
    return bytes.size();
}

// Everything received goes back unchanged, except the exit text, which is held
// back while it may still be completing (its first character occurs only once,
// so a mismatch can release the held characters and start over).
std::size_t Transceiver::consumePassThrough(std::string_view bytes, std::vector<Event>& events)
{
    std::string echo;
    auto flushEcho = [&] {
        if (!echo.empty()) {
            events.push_back(Event{Event::Type::Echo, std::move(echo)});
            echo.clear();
        }
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == kPassThroughExit[exitMatched_]) {
            if (++exitMatched_ == kPassThroughExit.size()) {
                exitMatched_ = 0;
                passThrough_ = false;
                values_.erase(std::string(kPassThroughMenuKey));
                flushEcho();
                events.push_back(Event{Event::Type::Command, "TC 1;"});
                Send(events, "TC 1;");
                return i + 1;
            }
            continue;
        }
        if (exitMatched_ > 0) {
            echo.append(kPassThroughExit.substr(0, exitMatched_));
            exitMatched_ = 0;
            if (c == kPassThroughExit.front()) {
                exitMatched_ = 1;
                continue;
            }
        }
        echo += c;
    }
    flushEcho();
    return bytes.size();
}

const CommandRow* Transceiver::rowFor(std::string_view text) const
{
    if (text.size() < 2) {
        return nullptr;
    }
    const CommandRow* row = FindCommand(text.substr(0, 2));
    if (row == nullptr) {
        return nullptr;
    }
    if (row->kind == Kind::Identity || (row->models & ModelBit(model_)) != 0) {
        return row;
    }
    return nullptr;
}

void Transceiver::execute(std::string_view text, std::vector<Event>& events)
{
    if (text.empty()) {
        return;
    }
    const CommandRow* row = rowFor(text);
    const bool on = poweredOn();
    // Switched off, the radio listens for the power command only.
    if (!on && (row == nullptr || row->kind != Kind::Power)) {
        return;
    }
    if (row == nullptr) {
        Send(events, std::string(kRefused));
        return;
    }
    const std::string_view params = text.substr(2);
    if (isRead(*row, params)) {
        std::string reply = readReply(*row, params);
        Send(events, reply.empty() ? std::string(kRefused) : std::move(reply));
        return;
    }
    if (!applySet(*row, params, Origin::Line, events) && on) {
        Send(events, std::string(kRefused));
    }
}

bool Transceiver::isRead(const CommandRow& row, std::string_view params) const
{
    switch (row.kind) {
    case Kind::Value:
    case Kind::Power:
    case Kind::Status:
    case Kind::Identity:
    case Kind::Keying:
    case Kind::Terminal:
        return params.empty();
    case Kind::Indexed:
        return params.size() == AddressWidth(FormatFor(row, model_));
    case Kind::Menu:
        return params.size() == kMenuAddressWidth;
    case Kind::Transmit:
    case Kind::Receive:
        return false;
    }
    return false;
}

std::string Transceiver::readReply(const CommandRow& row, std::string_view params) const
{
    std::string reply(row.mnemonic);
    const std::string_view format = FormatFor(row, model_);
    switch (row.kind) {
    case Kind::Value:
    case Kind::Keying:
        reply += stored(row.mnemonic, row);
        break;
    case Kind::Power:
        reply += poweredOn() ? stored(row.mnemonic, row) : std::string_view("0");
        break;
    case Kind::Terminal:
        reply += ' ';
        reply += stored(row.mnemonic, row);
        break;
    case Kind::Status:
        return statusText();
    case Kind::Identity: {
        const std::string number = std::to_string(model_);
        reply.append(number.size() < 3 ? 3 - number.size() : 0, '0');
        reply += number;
        break;
    }
    case Kind::Indexed:
        if (!Matches(FirstField(format), params)) {
            return {};
        }
        reply += params;
        reply += stored(reply, row);
        break;
    case Kind::Menu:
        if (!Matches(format, params)) {
            return {};
        }
        reply += params;
        reply += stored(reply, row);
        break;
    case Kind::Transmit:
    case Kind::Receive:
        return {};
    }
    reply += ';';
    return reply;
}

bool Transceiver::applySet(const CommandRow& row, std::string_view params, Origin origin,
                           std::vector<Event>& events)
{
    const std::string_view format = FormatFor(row, model_);
    const CommandRow& status = *FindCommand("IF");
    switch (row.kind) {
    case Kind::Value:
    case Kind::Indexed: {
        if ((row.access == Access::ReadOnly && origin == Origin::Line) || !Matches(format, params)) {
            return false;
        }
        const std::size_t addressWidth = row.kind == Kind::Indexed ? AddressWidth(format) : 0;
        const std::string_view address = params.substr(0, addressWidth);
        values_[std::string(row.mnemonic) + std::string(address)] = std::string(params.substr(addressWidth));
        report(row, address, events);
        return true;
    }
    case Kind::Power:
        if (!Matches(format, params)) {
            return false;
        }
        values_[std::string(row.mnemonic)] = std::string(params);
        if (!poweredOn()) {
            transmitting_ = false;
        }
        report(row, {}, events);
        return true;
    case Kind::Keying:
        return origin == Origin::Line && !params.empty() && params.front() == ' ' &&
               params.size() - 1 <= kMaxKeyingText && IsPrintable(params);
    case Kind::Menu: {
        if (params.size() <= kMenuAddressWidth) {
            return false;
        }
        const std::string_view address = params.substr(0, kMenuAddressWidth);
        const std::string_view text = params.substr(kMenuAddressWidth);
        if (!Matches(format, address) || text.size() > kMaxMenuValue || !IsPrintable(text)) {
            return false;
        }
        const std::string key = std::string(row.mnemonic) + std::string(address);
        values_[key] = std::string(text);
        if (model_ == 19 && (key + std::string(text)).starts_with(kPassThroughMenuSet)) {
            // Confirmed like "TC 0;": the host learns from this answer that the
            // line now belongs to the terminal node.
            Send(events, key + std::string(text) + ";");
            passThrough_ = true;
            exitMatched_ = 0;
            return true;
        }
        report(row, address, events);
        return true;
    }
    case Kind::Terminal:
        if (params != " 0" && params != " 1") {
            return false;
        }
        Send(events, "TC" + std::string(params) + ";");
        if (params == " 0") {
            passThrough_ = true;
            exitMatched_ = 0;
        }
        return true;
    case Kind::Transmit:
        if (!params.empty() && !Matches(format, params)) {
            return false;
        }
        transmitting_ = true;
        if (origin == Origin::Line) {
            Send(events, "TX" + std::string(params.empty() ? std::string_view("0") : params) + ";");
        }
        report(status, {}, events);
        return true;
    case Kind::Receive:
        if (!params.empty()) {
            return false;
        }
        transmitting_ = false;
        if (origin == Origin::Line) {
            Send(events, "RX0;");
        }
        report(status, {}, events);
        return true;
    case Kind::Status:
    case Kind::Identity:
        return false;
    }
    return false;
}

void Transceiver::report(const CommandRow& row, std::string_view address, std::vector<Event>& events) const
{
    if (autoInformation() == 2) {
        Send(events, readReply(row, address));
    }
}

bool Transceiver::operate(std::string_view command, std::vector<Event>& events)
{
    const std::string_view text = Unframed(command);
    const CommandRow* row = rowFor(text);
    if (row == nullptr || (!poweredOn() && row->kind != Kind::Power)) {
        return false;
    }
    const std::string_view params = text.substr(2);
    return !isRead(*row, params) && applySet(*row, params, Origin::Panel, events);
}

std::string Transceiver::query(std::string_view command) const
{
    const std::string_view text = Unframed(command);
    const CommandRow* row = rowFor(text);
    if (row == nullptr || !isRead(*row, text.substr(2))) {
        return {};
    }
    return readReply(*row, text.substr(2));
}

std::string_view Transceiver::stored(std::string_view key, const CommandRow& row) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? row.initial : std::string_view(found->second);
}

std::string_view Transceiver::stored(std::string_view mnemonic) const
{
    return stored(mnemonic, *FindCommand(mnemonic));
}

// The status reply: 37 characters before the ";", the transmit flag at 28.
std::string Transceiver::statusText() const
{
    const char receiveVfo = stored("FR").front();
    const std::string_view frequency = receiveVfo == '1'                      ? stored("FB")
                                       : receiveVfo == '2' && model_ == 19 ? stored("FC")
                                                                              : stored("FA");
    const std::string_view memory = stored("MC");
    std::string text = "IF";
    text += frequency;            // 2..12
    text += "0000";               // 13..16 step
    text += "+00000";             // 17..22 RIT/XIT offset
    text += "000";                // 23..25 RIT, XIT, spare
    text += memory.substr(memory.size() - 2); // 26..27 memory channel
    text += transmitting_ ? '1' : '0';        // 28
    text += stored("MD");                     // 29 mode
    text += receiveVfo;                       // 30
    text += '0';                              // 31 scan
    text += receiveVfo != stored("FT").front() ? '1' : '0'; // 32 split
    text += "0000";                           // 33 tone, 34..35 tone number, 36 spare
    text += ';';
    return text;
}

} // namespace radiosim
