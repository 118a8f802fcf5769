// SPDX-License-Identifier: GPL-3.0-or-later
#include "voxline/EngineProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace voxline {
namespace {

// The trace's own lines around each message.
constexpr std::string_view kBlockMarker = "\x1b[36;1m#";
constexpr std::string_view kBlockEnd = "\x1b[;m";
// Invites remembered but not yet taken; older ones go first.
constexpr std::size_t kInviteBacklog = 64;
// Longest line the trace reader keeps; the rest of a longer one is dropped.
constexpr std::size_t kLongestLine = 8192;
// JSON nesting beyond this is refused rather than followed.
constexpr int kDeepestNesting = 32;

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// A small JSON reader over one text: enough to walk any valid document and keep the
// top-level members that are strings or booleans.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    std::optional<EngineMessage> message()
    {
        EngineMessage result;
        skipSpace();
        if (!consume('{')) {
            return std::nullopt;
        }
        skipSpace();
        if (consume('}')) {
            return finish(result);
        }
        for (;;) {
            skipSpace();
            std::string key;
            if (!string(&key)) {
                return std::nullopt;
            }
            skipSpace();
            if (!consume(':')) {
                return std::nullopt;
            }
            skipSpace();
            if (!member(key, result)) {
                return std::nullopt;
            }
            skipSpace();
            if (consume('}')) {
                return finish(result);
            }
            if (!consume(',')) {
                return std::nullopt;
            }
        }
    }

private:
    std::optional<EngineMessage> finish(EngineMessage& result)
    {
        skipSpace();
        if (at_ != text_.size()) {
            return std::nullopt;
        }
        return result;
    }

    bool member(const std::string& key, EngineMessage& result)
    {
        if (peek() == '"') {
            std::string value;
            if (!string(&value)) {
                return false;
            }
            if (key == "type") {
                result.type = std::move(value);
            } else if (key == "id") {
                result.callId = std::move(value);
            } else if (key == "peeruri") {
                result.peerUri = std::move(value);
            } else if (key == "direction") {
                result.direction = std::move(value);
            } else if (key == "param") {
                result.param = std::move(value);
            } else if (key == "data") {
                result.data = std::move(value);
            } else if (key == "token") {
                result.token = std::move(value);
            }
            return true;
        }
        if (literal("true")) {
            if (key == "event") {
                result.event = true;
            } else if (key == "response") {
                result.response = true;
            } else if (key == "ok") {
                result.ok = true;
            }
            return true;
        }
        return value(0);
    }

    // Any value, thrown away.
    bool value(int depth)
    {
        if (depth > kDeepestNesting) {
            return false;
        }
        skipSpace();
        const char c = peek();
        if (c == '"') {
            return string(nullptr);
        }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            skipSpace();
            if (consume(close)) {
                return true;
            }
            for (;;) {
                skipSpace();
                if (c == '{') {
                    if (!string(nullptr)) {
                        return false;
                    }
                    skipSpace();
                    if (!consume(':')) {
                        return false;
                    }
                }
                if (!value(depth + 1)) {
                    return false;
                }
                skipSpace();
                if (consume(close)) {
                    return true;
                }
                if (!consume(',')) {
                    return false;
                }
            }
        }
        if (literal("true") || literal("false") || literal("null")) {
            return true;
        }
        return number();
    }

    bool number()
    {
        const std::size_t start = at_;
        consume('-');
        while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) != 0 ||
                                      text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E' ||
                                      text_[at_] == '+' || text_[at_] == '-')) {
            ++at_;
        }
        return at_ > start && std::isdigit(static_cast<unsigned char>(text_[at_ - 1])) != 0;
    }

    bool string(std::string* out)
    {
        if (!consume('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                if (out != nullptr) {
                    out->push_back(c);
                }
                continue;
            }
            if (at_ >= text_.size()) {
                return false;
            }
            const char escaped = text_[at_++];
            char plain = 0;
            switch (escaped) {
            case '"': plain = '"'; break;
            case '\\': plain = '\\'; break;
            case '/': plain = '/'; break;
            case 'b': plain = '\b'; break;
            case 'f': plain = '\f'; break;
            case 'n': plain = '\n'; break;
            case 'r': plain = '\r'; break;
            case 't': plain = '\t'; break;
            case 'u': {
                if (text_.size() - at_ < 4) {
                    return false;
                }
                unsigned code = 0;
                for (int i = 0; i < 4; ++i) {
                    const char h = text_[at_++];
                    code <<= 4U;
                    if (h >= '0' && h <= '9') {
                        code |= static_cast<unsigned>(h - '0');
                    } else if (h >= 'a' && h <= 'f') {
                        code |= static_cast<unsigned>(h - 'a' + 10);
                    } else if (h >= 'A' && h <= 'F') {
                        code |= static_cast<unsigned>(h - 'A' + 10);
                    } else {
                        return false;
                    }
                }
                // Only the text we act on matters, and that is ASCII: anything else
                // stands as '?', which no address or keyword contains.
                plain = code < 0x80 ? static_cast<char>(code) : '?';
                break;
            }
            default: return false;
            }
            if (out != nullptr) {
                out->push_back(plain);
            }
        }
        return false;
    }

    bool literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) == word) {
            at_ += word.size();
            return true;
        }
        return false;
    }

    void skipSpace()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool consume(char c)
    {
        if (peek() == c && at_ < text_.size()) {
            ++at_;
            return true;
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

void AppendJsonString(std::string& out, std::string_view text)
{
    out.push_back('"');
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out.push_back(kHex[(static_cast<unsigned char>(c) >> 4U) & 0xFU]);
            out.push_back(kHex[static_cast<unsigned char>(c) & 0xFU]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

} // namespace

void NetstringReader::append(std::string_view bytes)
{
    if (failed_) {
        return;
    }
    if (consumed_ > 0) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<std::string> NetstringReader::next()
{
    if (failed_) {
        return std::nullopt;
    }
    const std::string_view rest = std::string_view(buffer_).substr(consumed_);
    std::size_t length = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] != ':') {
        const char c = rest[digits];
        // A length needs no more digits than the longest frame has, and no leading zero.
        if (c < '0' || c > '9' || digits >= 7 || (digits == 1 && rest[0] == '0')) {
            failed_ = true;
            return std::nullopt;
        }
        length = length * 10 + static_cast<std::size_t>(c - '0');
        ++digits;
    }
    if (digits == rest.size()) {
        return std::nullopt;
    }
    if (digits == 0 || length > kLongestNetstring) {
        failed_ = true;
        return std::nullopt;
    }
    if (rest.size() - digits - 1 < length + 1) {
        return std::nullopt;
    }
    if (rest[digits + 1 + length] != ',') {
        failed_ = true;
        return std::nullopt;
    }
    std::string payload(rest.substr(digits + 1, length));
    consumed_ += digits + 1 + length + 1;
    return payload;
}

std::string EncodeNetstring(std::string_view payload)
{
    std::string out = std::to_string(payload.size());
    out.push_back(':');
    out.append(payload);
    out.push_back(',');
    return out;
}

std::string EncodeCommand(std::string_view command, std::string_view params, std::string_view token)
{
    std::string json = "{\"command\":";
    AppendJsonString(json, command);
    json += ",\"params\":";
    AppendJsonString(json, params);
    json += ",\"token\":";
    AppendJsonString(json, token);
    json += '}';
    return EncodeNetstring(json);
}

std::optional<EngineMessage> ParseEngineMessage(std::string_view json) { return JsonReader(json).message(); }

void SipTraceReader::append(std::string_view output)
{
    for (const char c : output) {
        if (c == '\n') {
            line(partial_);
            partial_.clear();
        } else if (partial_.size() < kLongestLine) {
            partial_.push_back(c);
        }
    }
}

std::optional<TracedInvite> SipTraceReader::next()
{
    if (invites_.empty()) {
        return std::nullopt;
    }
    TracedInvite invite = std::move(invites_.front());
    invites_.pop_front();
    return invite;
}

void SipTraceReader::endBlock()
{
    if (state_ == State::Headers) {
        // The engine took this request; if we cannot tell which call it is, no
        // source we know of any call can be trusted any more.
        if (callIds_ != 1) {
            unreliable_ = true;
        } else if (!current_.callId.empty()) {
            if (invites_.size() == kInviteBacklog) {
                invites_.pop_front();
            }
            invites_.push_back(current_);
        }
    }
    state_ = State::Outside;
    current_ = {};
    callIds_ = 0;
    lastHeader_.clear();
}

void SipTraceReader::line(std::string_view text)
{
    // The engine's status line (a call's progress, redrawn in place) has no line
    // end of its own: what follows its last carriage return starts the next marker's
    // line. (A stranger gains nothing by it: a message body may hold a whole marker
    // line anyway, which the checks of endBlock and the plug-in are made for.)
    const std::size_t lastReturn = text.rfind('\r');
    const std::string_view marker = lastReturn == std::string_view::npos ? text : text.substr(lastReturn + 1);
    if (marker == kBlockMarker) {
        endBlock();
        state_ = State::Transfer;
        return;
    }
    switch (state_) {
    case State::Outside: return;
    case State::Transfer: {
        // "<transport> <source> -> <destination>"
        const std::size_t space = text.find(' ');
        const std::size_t arrow = text.find(" -> ");
        if (space == std::string_view::npos || arrow == std::string_view::npos || arrow <= space + 1) {
            state_ = State::Outside;
            return;
        }
        current_.transport = std::string(text.substr(0, space));
        current_.source = std::string(text.substr(space + 1, arrow - space - 1));
        state_ = State::RequestLine;
        return;
    }
    case State::RequestLine:
        if (text.substr(0, 7) == "INVITE ") {
            state_ = State::Headers;
        } else {
            state_ = State::Outside;
        }
        return;
    case State::Headers: {
        if (text.find(kBlockEnd) != std::string_view::npos || Trim(text).empty()) {
            endBlock();
            return;
        }
        // A folded line continues the header before it.
        if (text.front() == ' ' || text.front() == '\t') {
            if (EqualNoCase(lastHeader_, "call-id") || EqualNoCase(lastHeader_, "i")) {
                current_.callId += std::string(Trim(text));
            }
            return;
        }
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            lastHeader_.clear();
            return;
        }
        lastHeader_ = std::string(Trim(text.substr(0, colon)));
        if (EqualNoCase(lastHeader_, "call-id") || EqualNoCase(lastHeader_, "i")) {
            ++callIds_;
            current_.callId = std::string(Trim(text.substr(colon + 1)));
        }
        return;
    }
    }
}

std::string AddressOf(std::string_view endpoint)
{
    std::string_view address = Trim(endpoint);
    if (!address.empty() && address.front() == '[') {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos) {
            return {};
        }
        address = address.substr(1, close - 1);
    } else if (std::count(address.begin(), address.end(), ':') == 1) {
        address = address.substr(0, address.find(':'));
    }
    constexpr std::string_view kMapped = "::ffff:";
    if (address.size() > kMapped.size() && EqualNoCase(address.substr(0, kMapped.size()), kMapped) &&
        address.find('.') != std::string_view::npos) {
        address.remove_prefix(kMapped.size());
    }
    if (address.empty() || address.find_first_not_of("0123456789abcdefABCDEF.:") != std::string_view::npos) {
        return {};
    }
    std::string lower(address);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

} // namespace voxline
