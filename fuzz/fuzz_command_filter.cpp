// SPDX-License-Identifier: GPL-3.0-or-later
// What reaches the radio: logged-in clients' commands through the client command
// filter, and the host's command builders with arbitrary arguments through the
// command table, for models 19 and 20 (and an unknown model). The radio is the
// device end of a pseudo-terminal whose other end the harness reads, so the serial
// writes are real; every call is made twice, then the harness writes a separator,
// and it reads the whole stream once per input.
//
// Input: one byte of switches (bits 0-1 the model: 19, 20, 18, none; bit 2 load
// messages enabled; bit 3 pass-through mode; bit 4 a window registered; bit 5 the
// radio scanning), then operations, each an opcode byte:
//   even: a client command: a length byte (low six bits) and its bytes (a ";" ends it)
//   odd:  a builder call: a row byte (index in the command table), a selector byte
//         (0 none, 1 "R", 2 "W", 3 "r", else "X"), then per parameter a number (a tag
//         byte: low two bits 0 = one byte follows, 1 = two, 2 = four, 3 = the tag's
//         high six bits are the value) or a text (a length byte and its bytes).
//
// Checked besides memory safety:
// - a client command reaches the radio exactly when the filter's rules let it (SR
//   never; LM with parameters only with load messages; MF with one character never;
//   the writing forms of the model's protected menus never; nothing for an unknown
//   model), as the command with its mnemonic upper-cased and one ";"; a TC command
//   to model 19 tells a registered window once;
// - a builder writes only for a model its row serves, only outside pass-through mode
//   (but TC), only with a selector where the row takes one, and reports 1 exactly
//   when it wrote; what it writes is its row's set or read format with these
//   arguments, field by field in the format's widths, followed at most by the read
//   format as its read-back; the arguments of a set lie in the row's accepted values
//   for the model;
// - every call is deterministic: made twice, it writes the same and returns the same.

#include "FuzzCheck.h"

#include "linkcore/Linkcore.h"
#include "linkcore/LinkcoreCodes.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/radio/CommandTable.h"
#include "linkcore/session/CommandDispatcher.h"
#include "linkcore/session/CommandFilter.h"
#include "linkcore/session/SessionServer.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WindowMessage.h"
#include "testsupport/TempDir.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

using namespace linkcore::commands;
using linkcore::kModelCorvex;
using linkcore::kModelTarsel;

std::string lastCall; // what the failing check was about

#define FILTER_CHECK(condition) FUZZ_CHECK_WITH(condition, std::fprintf(stderr, "  call: %s\n", lastCall.c_str()))

// Ends every call's output in the stream. No output holds ";;", and every output
// is empty or ends with ";" or "\r", so the first separator after a call's start is
// the one written after it.
constexpr std::string_view kSeparator = "\x01;;\x01";
using linkcore::kNotifyTC;

// A logged-in client's command through the filter, its decision carried out as the
// session server carries it out: to the radio, and to the window where one is due.
void FilterAndCarryOut(std::string_view command, LinkcoreShared& shared)
{
    linkcore::ServerIo io(shared);
    linkcore::CarryOut(linkcore::FilterRadioCommand(command, shared.radioState.model(), shared.loadMessageEnable.load()),
                       shared, io);
}

std::string Printable(std::string_view text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

// ---- The rules, as the filter documents them ----

std::string UpperMnemonic(std::string_view command)
{
    std::string text(command);
    for (std::size_t i = 0; i < text.size() && i < 2; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') {
            text[i] = static_cast<char>(text[i] - 'a' + 'A');
        }
    }
    return text;
}

// What the radio must receive for a client's command; empty when it is refused.
std::string ExpectedRadioText(std::string_view segment, std::int32_t model, bool loadMessages)
{
    const std::string command = UpperMnemonic(segment);
    const std::size_t length = command.size();
    const auto begins = [&](std::string_view prefix) { return command.starts_with(prefix); };
    if (begins("SR") || (begins("LM") && length >= 3 && !loadMessages) || (begins("MF") && length == 3)) {
        return {};
    }
    const bool writesMenu = length >= 10;
    if (model == kModelCorvex) {
        if (writesMenu && (begins("EX024") || begins("EX054") || begins("EX056"))) {
            return {};
        }
    } else if (model == kModelTarsel) {
        if (writesMenu && (begins("EX022") || begins("EX055") || begins("EX056"))) {
            return {};
        }
    } else {
        return {};
    }
    return command + ";";
}

// ---- Builder arguments from the input ----

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string bytes(std::size_t count)
    {
        std::string out;
        while (count-- > 0 && at_ < size_) {
            out += static_cast<char>(data_[at_++]);
        }
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Hands a builder its arguments, read from the input, and keeps them for the checks.
class Arguments {
public:
    explicit Arguments(Input& input) : input_(input) {}

    template <typename Value>
    Value take()
    {
        if constexpr (std::is_same_v<Value, const char*>) {
            switch (input_.byte()) {
            case 0:
                selector_ = nullptr;
                break;
            case 1:
                selector_ = "R";
                break;
            case 2:
                selector_ = "W";
                break;
            case 3:
                selector_ = "r";
                break;
            default:
                selector_ = "X";
                break;
            }
            return selector_;
        } else if constexpr (std::is_same_v<Value, unsigned>) {
            const std::uint8_t tag = input_.byte();
            unsigned value = 0;
            switch (tag & 3) {
            case 0:
                value = input_.byte();
                break;
            case 1:
                value = input_.byte();
                value |= unsigned{input_.byte()} << 8;
                break;
            case 2:
                for (int i = 0; i < 4; ++i) {
                    value |= unsigned{input_.byte()} << (8 * i);
                }
                break;
            default:
                value = tag >> 2;
                break;
            }
            args_.emplace_back(value);
            return value;
        } else {
            static_assert(std::is_same_v<Value, const unsigned char*>);
            // The text up to its first NUL, as the builder sees it.
            const std::string bytes = input_.bytes(input_.byte() % 160);
            texts_.push_back(bytes.substr(0, bytes.find('\0')));
            const auto* text = reinterpret_cast<const unsigned char*>(texts_.back().c_str());
            args_.emplace_back(text);
            return text;
        }
    }

    const char* selector() const { return selector_; }
    const std::vector<Arg>& args() const { return args_; }

private:
    Input& input_;
    const char* selector_ = nullptr;
    std::vector<Arg> args_;
    std::deque<std::string> texts_; // stable addresses for the text arguments
};

template <typename... Params>
int CallBuilder(CLinkcore& link, int (CLinkcore::*builder)(Params...), Arguments& arguments)
{
    // Braced initialisation takes the arguments from the input in order.
    std::tuple<Params...> values{arguments.template take<Params>()...};
    return std::apply([&](Params... args) { return (link.*builder)(args...); }, values);
}

// Repeats a call with the same arguments, for the determinism check.
template <typename... Params>
int CallAgain(CLinkcore& link, int (CLinkcore::*builder)(Params...), const Arguments& arguments)
{
    std::size_t next = 0;
    const auto value = [&]<typename Value>(std::type_identity<Value>) -> Value {
        if constexpr (std::is_same_v<Value, const char*>) {
            return arguments.selector();
        } else if constexpr (std::is_same_v<Value, unsigned>) {
            return arguments.args()[next++].number;
        } else {
            return arguments.args()[next++].text;
        }
    };
    std::tuple<Params...> values{value(std::type_identity<Params>{})...};
    return std::apply([&](Params... args) { return (link.*builder)(args...); }, values);
}

using Builder = int (*)(CLinkcore&, Arguments&, bool again);

#define FUZZ_BUILDERS(X)                                                                                        \
    X(AC) X(AG) X(AI) X(AL) X(AM) X(AN) X(AR) X(AS) X(BC) X(BD) X(BP) X(BU) X(BY) X(CA) X(CG) X(CH) X(CI)         \
    X(CM) X(CN) X(CR) X(CT) X(DC) X(DL) X(DN) X(DQ) X(EX) X(FA) X(FB) X(FC) X(FD) X(FR) X(FS) X(FT) X(FW) X(GT)    \
    X(IF) X(IS) X(KS) X(KY) X(LK) X(LM) X(LM2) X(LT) X(MC) X(MD) X(ME) X(MF) X(MG) X(ML) X(MO) X(MR) X(MU) X(MW)   \
    X(NB) X(NL) X(NR) X(NT) X(OF) X(OI) X(OP) X(OS) X(PA) X(PB) X(PC) X(PI) X(PL) X(PM) X(PR) X(PS) X(QC) X(QI)   \
    X(QR) X(RA) X(RC) X(RD) X(RG) X(RL) X(RM) X(RS) X(RT) X(RU) X(RX) X(SA) X(SB) X(SC) X(SD) X(SH) X(SI) X(SL)   \
    X(SM) X(SQ) X(SR) X(SS) X(SS2) X(ST) X(SU) X(SV) X(TC) X(TD) X(TI) X(TN) X(TO) X(TS) X(TX) X(TX2) X(TY) X(UP)  \
    X(UR) X(UT) X(VD) X(VG) X(VR) X(VV) X(VX) X(XI) X(XO) X(XT)

#define FUZZ_BUILDER_ENTRY(name)                                                     \
    [](CLinkcore& link, Arguments& arguments, bool again) {                          \
        return again ? CallAgain(link, &CLinkcore::Conn##name, arguments)            \
                     : CallBuilder(link, &CLinkcore::Conn##name, arguments);         \
    },
#define FUZZ_BUILDER_NAME(name) #name,

constexpr Builder kBuilders[] = {FUZZ_BUILDERS(FUZZ_BUILDER_ENTRY)};
constexpr std::string_view kBuilderNames[] = {FUZZ_BUILDERS(FUZZ_BUILDER_NAME)};
static_assert(std::size(kBuilders) == kCommandTable.size(), "one builder per row");
static_assert([] {
    for (std::size_t i = 0; i < kCommandTable.size(); ++i) {
        if (kBuilderNames[i] != kCommandTable[i].name) {
            return false;
        }
    }
    return true;
}(), "the builders in the order of the table's rows");

// ---- What a builder may write ----

bool Digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::uint64_t ValueOf(std::string_view digits)
{
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// The decimal value of a builder's text argument: blanks skipped, a sign, digits up
// to the first other character, held at the 64-bit bounds.
std::int64_t TextNumber(const unsigned char* text)
{
    std::size_t at = 0;
    while (std::strchr(" \t\n\v\f\r", text[at]) != nullptr && text[at] != 0) {
        ++at;
    }
    const bool negative = text[at] == '-';
    if (text[at] == '-' || text[at] == '+') {
        ++at;
    }
    __int128 value = 0;
    for (; text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > (static_cast<__int128>(INT64_MAX) + 1)) {
            value = static_cast<__int128>(INT64_MAX) + 1;
        }
    }
    value = negative ? -value : value;
    return value > INT64_MAX ? INT64_MAX : value < INT64_MIN ? INT64_MIN : static_cast<std::int64_t>(value);
}

// Whether `command` is exactly `format` written with `args`: literal characters as
// they stand, each field in its width holding its argument.
bool Matches(std::string_view command, std::string_view format, const std::vector<Arg>& args)
{
    std::size_t next = 0;
    std::size_t at = 0;
    for (std::size_t position = 0; position < format.size();) {
        const Conversion conversion = ParseConversion(format, position);
        position += conversion.length;
        if (conversion.kind == Conversion::Kind::Literal) {
            if (at >= command.size() || command[at++] != conversion.literal) {
                return false;
            }
            continue;
        }
        if (next >= args.size()) {
            return false;
        }
        const Arg& arg = args[next++];
        const std::string_view text = arg.isText ? reinterpret_cast<const char*>(arg.text) : "";
        const std::string_view rest = command.substr(at);
        switch (conversion.kind) {
        case Conversion::Kind::Fixed:
        case Conversion::Kind::ElevenDigits: {
            const std::string_view field = rest.substr(0, conversion.width);
            if (field.size() != conversion.width || !Digits(field)) {
                return false;
            }
            const std::int64_t expected =
                conversion.kind == Conversion::Kind::Fixed ? std::int64_t{arg.number} : TextNumber(arg.text);
            if (expected < 0 || ValueOf(field) != static_cast<std::uint64_t>(expected)) {
                return false;
            }
            at += conversion.width;
            break;
        }
        case Conversion::Kind::Plain: {
            const std::string number = std::to_string(arg.number);
            if (!rest.starts_with(number)) {
                return false;
            }
            at += number.size();
            break;
        }
        case Conversion::Kind::Text:
            if (!rest.starts_with(text)) {
                return false;
            }
            at += text.size();
            break;
        case Conversion::Kind::Character:
            if (text.empty() || rest.empty() || rest[0] != text[0]) {
                return false;
            }
            at += 1;
            break;
        case Conversion::Kind::PadRight:
        case Conversion::Kind::PadLeft: {
            if (text.size() > conversion.width) {
                return false;
            }
            const std::string blanks(conversion.width - text.size(), ' ');
            const std::string field = conversion.kind == Conversion::Kind::PadRight ? std::string(text) + blanks
                                                                                    : blanks + std::string(text);
            if (!rest.starts_with(field)) {
                return false;
            }
            at += field.size();
            break;
        }
        default:
            return false;
        }
    }
    return at == command.size();
}

// Whether an argument lies in the values a parameter accepts, by the table's data.
bool InAcceptedValues(const Accept& accept, const Arg& arg)
{
    const std::string_view text = arg.isText && arg.text != nullptr ? reinterpret_cast<const char*>(arg.text) : "";
    switch (accept.kind) {
    case Accept::Kind::Unchecked:
    case Accept::Kind::Ignored:
        return true;
    case Accept::Kind::Range: {
        const std::int64_t value = arg.isText ? TextNumber(arg.text) : std::int64_t{arg.number};
        return accept.low <= value && value <= accept.high;
    }
    case Accept::Kind::OneOf:
        return !arg.isText && arg.number < 32 && (accept.set & (1u << arg.number)) != 0;
    case Accept::Kind::MaxLength:
        return static_cast<std::int64_t>(text.size()) <= accept.high;
    case Accept::Kind::Blank:
        return text == " ";
    case Accept::Kind::BlankOrMinus:
        return text.starts_with(' ') || text.starts_with('-');
    }
    return false;
}

// The two texts of TC's set request: into command mode and into pass-through mode.
constexpr std::string_view kTransferControlOn = "\x03;\rTC 1;\r";
constexpr std::string_view kTransferControlOff = "\rTC 0;";

// The commands of one builder call's output, each with its ";".
std::vector<std::string_view> Commands(std::string_view output)
{
    std::vector<std::string_view> commands;
    while (!output.empty()) {
        const std::size_t end = output.find(';');
        FILTER_CHECK(end != std::string_view::npos);
        commands.push_back(output.substr(0, end + 1));
        output.remove_prefix(end + 1);
    }
    return commands;
}

void CheckBuilderOutput(const Row& row, std::int32_t model, bool passThrough, const Arguments& arguments,
                        int result, std::string_view output)
{
    FILTER_CHECK(result == 0 || result == 1);
    FILTER_CHECK((result == 1) == !output.empty());
    if (output.empty()) {
        return;
    }
    FILTER_CHECK(Serves(row.models, model));
    FILTER_CHECK(!passThrough || row.transferControl);
    const char* selector = arguments.selector();
    const std::vector<Arg>& args = arguments.args();
    FILTER_CHECK(row.form != Form::Selector || selector != nullptr);
    const bool read = row.form == Form::Request || (row.form == Form::Selector && std::strcmp(selector, "R") == 0);

    if (!read || row.checksReadArguments) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            FILTER_CHECK(InAcceptedValues(row.params[i].on(model), args[i]));
        }
    }
    if (row.transferControl && !read) {
        FILTER_CHECK(output == (args[1].number == 1 ? kTransferControlOn : kTransferControlOff));
        return;
    }
    const std::vector<std::string_view> commands = Commands(output);
    FILTER_CHECK(commands.size() == 1 || commands.size() == 2);
    for (const std::string_view command : commands) {
        FILTER_CHECK(command.size() <= kMaxCommandLength);
        FILTER_CHECK(command.starts_with(row.mnemonic()));
    }
    if (read) {
        FILTER_CHECK(commands.size() == 1 && Matches(commands[0], row.readFormat, args));
        return;
    }
    const bool zero = !row.zeroFormat.empty() && args[0].number == 0;
    FILTER_CHECK(Matches(commands[0], zero ? row.zeroFormat : row.setFormat, args));
    if (commands.size() == 2) {
        FILTER_CHECK(row.readBack != ReadBack::None);
        FILTER_CHECK(row.readBack != ReadBack::AtOnceAfterW || std::strcmp(selector, "W") == 0);
        FILTER_CHECK(Matches(commands[1], row.readFormat, args));
    }
}

// ---- The harness ----

void NoPause() {}

class Harness {
public:
    Harness()
    {
        platform::SetApplicationProfilePath(folder_.path() / "Ondrel.ini");
        platform::SetMessageBoxHandler([](std::string_view) {});
        SetReadBackPause(&NoPause);

        int device = -1;
        if (::openpty(&controller_, &device, nullptr, nullptr, nullptr) != 0) {
            std::abort();
        }
        ::fcntl(controller_, F_SETFL, ::fcntl(controller_, F_GETFL) | O_NONBLOCK);
        platform::ApplicationProfile().WriteProfileString("COM Devices", "COM1", ::ttyname(device));
        if (link_.RadioConnectionOpen(20, 1, 9600, 1) != 1) {
            std::abort();
        }
        ::close(device);
    }

    ~Harness()
    {
        link_.RadioConnectionClose();
        ::close(controller_);
    }

    void run(const std::uint8_t* data, std::size_t size);

private:
    // Ends the current call's output in the stream.
    void separate()
    {
        const std::string separator(kSeparator);
        if (link_.ConnDirect(reinterpret_cast<const unsigned char*>(separator.c_str())) != 1) {
            std::abort();
        }
    }

    // Everything the radio received since the last call, cut into the calls' outputs.
    std::vector<std::string> outputs(std::size_t calls);

    testsupport::TempDir folder_{"fuzz_command_filter", testsupport::InMemoryTempBase()};
    CLinkcore link_;
    platform::MessageQueue window_;
    int controller_ = -1;
    std::uint64_t markers_ = 0;
};

std::vector<std::string> Harness::outputs(std::size_t calls)
{
    // A pseudo-terminal hands written bytes on asynchronously, so a numbered marker
    // is written last and the stream is read up to it.
    const std::string marker = "\x01;;end " + std::to_string(++markers_) + "\x01";
    if (link_.ConnDirect(reinterpret_cast<const unsigned char*>(marker.c_str())) != 1) {
        std::abort();
    }
    std::string received;
    char buffer[8192];
    while (!received.ends_with(marker)) {
        pollfd readable{controller_, POLLIN, 0};
        if (::poll(&readable, 1, 5000) <= 0) {
            std::abort();
        }
        const ssize_t n = ::read(controller_, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        } else if (!(n < 0 && (errno == EINTR || errno == EAGAIN))) {
            std::abort();
        }
    }
    received.resize(received.size() - marker.size());
    std::vector<std::string> cut;
    std::string_view rest = received;
    for (std::size_t i = 0; i < calls; ++i) {
        const std::size_t end = rest.find(kSeparator);
        if (end == std::string_view::npos) {
            std::fprintf(stderr, "separator %zu of %zu missing in %s\n", i, calls, Printable(received).c_str());
            std::abort();
        }
        cut.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end + kSeparator.size());
    }
    if (!rest.empty()) {
        std::fprintf(stderr, "text after the last call: %s\n", Printable(rest).c_str());
        std::abort();
    }
    return cut;
}

struct Call {
    bool builder = false;
    std::size_t row = 0;
    std::string command;
    std::int32_t model = 0;
    bool passThrough = false;
    int result = 0;
    int resultAgain = 0;
    std::vector<platform::LParam> notified;
    std::unique_ptr<Arguments> arguments;
    std::string description;
};

std::vector<platform::LParam> TcNotifications(platform::MessageQueue& window)
{
    std::vector<platform::LParam> values;
    for (const platform::Message& m : window.drain()) {
        if (m.message == WM_LINKCORE_NOTIFY && m.wParam == kNotifyTC) {
            values.push_back(m.lParam);
        }
    }
    return values;
}

void Harness::run(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return;
    }
    LinkcoreShared& shared = LinkcoreShared::instance();
    const std::uint8_t switches = data[0];
    constexpr std::int32_t kModels[] = {kModelCorvex, kModelTarsel, 18, 0};
    const std::int32_t model = kModels[switches & 3];
    const bool loadMessages = (switches & 4) != 0;
    shared.radioState.ID.model = model;
    shared.loadMessageEnable = loadMessages ? 1 : 0;
    shared.passThrough = (switches & 8) != 0 ? 1 : 0;
    shared.notifyWindow = (switches & 16) != 0 ? &window_ : nullptr;
    shared.radioState.SC.digit2 = (switches & 32) != 0 ? 1 : 0;
    window_.drain();

    Input input(data + 1, size - 1);
    std::vector<Call> calls;
    while (!input.empty() && calls.size() < 24) {
        Call call;
        call.model = model;
        call.passThrough = shared.passThrough.load() != 0;
        if ((input.byte() & 1) == 0) {
            const std::string bytes = input.bytes(input.byte() % 64);
            call.command = bytes.substr(0, bytes.find(';'));
            call.description = "client command \"" + Printable(call.command) + "\"";
            FilterAndCarryOut(call.command, shared);
            FilterAndCarryOut(call.command, shared);
            separate();
            call.notified = TcNotifications(window_);
        } else {
            call.builder = true;
            call.row = input.byte() % kCommandTable.size();
            // The builder's arguments are read from the input as it takes them.
            call.arguments = std::make_unique<Arguments>(input);
            call.result = kBuilders[call.row](link_, *call.arguments, false);
            call.resultAgain = kBuilders[call.row](link_, *call.arguments, true);
            separate();
            call.description = "Conn" + std::string(kCommandTable[call.row].name) + "(" +
                               (call.arguments->selector() != nullptr ? call.arguments->selector() : "null");
            for (const Arg& arg : call.arguments->args()) {
                call.description += ", " + (arg.isText ? "\"" + Printable(reinterpret_cast<const char*>(arg.text)) + "\""
                                                       : std::to_string(arg.number));
            }
            call.description += ") on model " + std::to_string(model) + (call.passThrough ? " in pass-through" : "");
            window_.drain();
        }
        calls.push_back(std::move(call));
    }

    const std::vector<std::string> written = outputs(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const Call& call = calls[i];
        // Every call was made twice: its output is the same text twice over.
        const std::string_view both = written[i];
        lastCall = call.description + " wrote \"" + Printable(both) + "\" in two calls";
        FILTER_CHECK(both.size() % 2 == 0);
        const std::string first(both.substr(0, both.size() / 2));
        FILTER_CHECK(both.substr(both.size() / 2) == first);
        if (!call.builder) {
            FILTER_CHECK(first == ExpectedRadioText(call.command, model, loadMessages));
            const bool tellsHost = model == kModelCorvex && (switches & 16) != 0 &&
                                   UpperMnemonic(call.command).starts_with("TC") && call.command.size() >= 3 &&
                                   !first.empty();
            FILTER_CHECK(call.notified.size() == (tellsHost ? 2u : 0u));
            FILTER_CHECK(call.notified.empty() || call.notified[0] == call.notified[1]);
            continue;
        }
        FILTER_CHECK(call.result == call.resultAgain);
        CheckBuilderOutput(kCommandTable[call.row], model, call.passThrough, *call.arguments, call.result, first);
    }
    shared.notifyWindow = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Harness harness;
    harness.run(data, size);
    return 0;
}
