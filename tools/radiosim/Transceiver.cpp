// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiosim/Transceiver.h"

#include <algorithm>
#include <cstdint>
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
    return std::all_of(text.begin(), text.end(), IsTextCharacter);
}

std::size_t WidthOf(std::string_view format, unsigned selection)
{
    return static_cast<std::size_t>(Width(format, selection));
}

// The selected fields of `params`, with a short text at the end padded to its width.
std::string Padded(std::string_view format, std::string_view params, unsigned selection)
{
    std::string text(params);
    text.resize(std::max(text.size(), WidthOf(format, selection)), ' ');
    return text;
}

// The lowest accepted value of every selected field (blanks for text): the start
// value of a row that names none.
std::string LowestValue(std::string_view format, unsigned selection)
{
    std::string value;
    FieldReader reader(format);
    Field field;
    while (reader.next(field)) {
        if ((field.role & selection) == 0) {
            continue;
        }
        std::string text;
        switch (field.type) {
        case FieldType::Decimal:
        case FieldType::Hex:
            for (std::int64_t number = LowestAccepted(field.accepted); number > 0; number /= field.base()) {
                text.insert(text.begin(), "0123456789ABCDEF"[number % field.base()]);
            }
            text.insert(0, static_cast<std::size_t>(field.width) - text.size(), '0');
            break;
        case FieldType::Text:
            text.assign(static_cast<std::size_t>(field.width), ' ');
            break;
        case FieldType::Character:
            text.assign(static_cast<std::size_t>(field.width),
                        field.accepted.front() == '_' ? ' ' : field.accepted.front());
            break;
        }
        value += text;
    }
    return value;
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
    const std::string power = stored("PS");
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
        return params.size() == WidthOf(FormatFor(row, model_), kAddressFields);
    case Kind::Power:
    case Kind::Status:
    case Kind::SubStatus:
    case Kind::TransmitInfo:
    case Kind::Identity:
    case Kind::Keying:
    case Kind::Terminal:
        return params.empty();
    case Kind::Menu:
        return params.size() == kMenuAddressWidth;
    case Kind::MemoryWrite:
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
        if (!Matches(format, params, kAddressFields)) {
            return {};
        }
        reply += params;
        reply += stored(reply, row);
        break;
    case Kind::Keying:
        reply += stored(row.mnemonic, row);
        break;
    case Kind::Power:
        reply += poweredOn() ? stored(row.mnemonic, row) : std::string("0");
        break;
    case Kind::Terminal:
        reply += ' ';
        reply += stored(row.mnemonic, row);
        break;
    case Kind::Status:
        return statusText(row.mnemonic, receivedFrequency(), transmitting_);
    case Kind::SubStatus:
        return statusText(row.mnemonic, stored("FC"), false);
    case Kind::TransmitInfo:
        return transmitInfo();
    case Kind::Identity: {
        const std::string number = std::to_string(model_);
        reply.append(number.size() < 3 ? 3 - number.size() : 0, '0');
        reply += number;
        break;
    }
    case Kind::Menu:
        if (!Matches(format, params)) {
            return {};
        }
        reply += params;
        reply += stored(reply, row);
        break;
    case Kind::MemoryWrite:
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
        return storeValue(row, params, origin, events);
    case Kind::MemoryWrite:
        return writeMemory(params);
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
    case Kind::SubStatus:
    case Kind::TransmitInfo:
    case Kind::Identity:
        return false;
    }
    return false;
}

// A set from the line carries the address and the values; the fields the radio
// only answers keep what they were. The front panel may give every field.
bool Transceiver::storeValue(const CommandRow& row, std::string_view params, Origin origin,
                             std::vector<Event>& events)
{
    const std::string_view format = FormatFor(row, model_);
    const std::size_t addressWidth = WidthOf(format, kAddressFields);
    const std::string_view address = params.substr(0, std::min(addressWidth, params.size()));
    const std::string key = std::string(row.mnemonic) + std::string(address);
    std::string value;
    if ((row.access == Access::ReadWrite || origin == Origin::Panel) && Matches(format, params, kSetFields)) {
        const std::string carried = Padded(format, params, kSetFields).substr(addressWidth);
        value = carried + stored(key, row).substr(carried.size());
    } else if (origin == Origin::Panel && Matches(format, params, kReplyFields)) {
        value = Padded(format, params, kReplyFields).substr(addressWidth);
    } else {
        return false;
    }
    values_[key] = std::move(value);
    report(row, address, events);
    return true;
}

// MW gives a memory channel's address and every field in the layout of MR.
bool Transceiver::writeMemory(std::string_view params)
{
    const CommandRow& memory = *FindCommand("MR");
    const std::string_view format = FormatFor(memory, model_);
    if (!Matches(format, params, kReplyFields)) {
        return false;
    }
    const std::string channel = Padded(format, params, kReplyFields);
    const std::size_t addressWidth = WidthOf(format, kAddressFields);
    values_[std::string(memory.mnemonic) + channel.substr(0, addressWidth)] = channel.substr(addressWidth);
    return true;
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

std::string Transceiver::stored(std::string_view key, const CommandRow& row) const
{
    const auto found = values_.find(key);
    if (found != values_.end()) {
        return found->second;
    }
    if (!row.initial.empty()) {
        return std::string(row.initial);
    }
    return LowestValue(FormatFor(row, model_), kStoredFields);
}

std::string Transceiver::stored(std::string_view mnemonic) const
{
    return stored(mnemonic, *FindCommand(mnemonic));
}

// The frequency of the VFO the radio receives on.
std::string Transceiver::receivedFrequency() const
{
    const char receiveVfo = stored("FR").front();
    return receiveVfo == '1'                      ? stored("FB")
           : receiveVfo == '2' && model_ == 19 ? stored("FC")
                                                  : stored("FA");
}

// The status reply (IF, and OI for the sub receiver): 37 characters before the ";",
// the transmit flag at 28.
std::string Transceiver::statusText(std::string_view mnemonic, std::string_view frequency, bool transmitting) const
{
    const char receiveVfo = stored("FR").front();
    const std::string memory = stored("MC");
    std::string text(mnemonic);
    text += frequency;            // 2..12
    text += "0000";               // 13..16 step
    text += "+00000";             // 17..22 RIT/XIT offset
    text += "000";                // 23..25 RIT, XIT, spare
    text += memory.substr(memory.size() - 2); // 26..27 memory channel
    text += transmitting ? '1' : '0';         // 28
    text += stored("MD");                     // 29 mode
    text += receiveVfo;                       // 30
    text += stored("SC").front();             // 31 scan
    text += receiveVfo != stored("FT").front() ? '1' : '0'; // 32 split
    text += "0000";                           // 33 tone, 34..35 tone number, 36 spare
    text += ';';
    return text;
}

// XI: the frequency of the VFO the radio transmits on, the mode and two spare digits.
std::string Transceiver::transmitInfo() const
{
    std::string text = "XI";
    text += stored("FT").front() == '1' ? stored("FB") : stored("FA");
    text += stored("MD");
    text += "00";
    text += ';';
    return text;
}

} // namespace radiosim
