// SPDX-License-Identifier: GPL-3.0-or-later
// One-shot mode: each -c command is sent in turn; its replies are printed one per
// line, until the reply it asked for has come or the host stays quiet for the
// waiting time; then the next command goes out.

#include "Modes.h"

#include <cstdio>

#include <poll.h>

namespace client {
namespace {

using Clock = std::chrono::steady_clock;

// Prints whole replies; returns true once one begins with `mnemonic`.
class ReplyPrinter {
public:
    bool print(const std::vector<SessionItem>& items, const std::string& mnemonic)
    {
        bool answered = false;
        for (const SessionItem& item : items) {
            if (item.kind == SessionItem::Kind::Voice) {
                continue;
            }
            line_ += item.text;
            if (!line_.empty() && (line_.back() == ';' || item.kind != SessionItem::Kind::RadioText)) {
                answered = answered || line_.starts_with(mnemonic);
                std::printf("%s\n", WithoutLineEnds(line_).c_str());
                line_.clear();
            }
        }
        std::fflush(stdout);
        return answered;
    }
    void finish()
    {
        if (!line_.empty()) {
            std::printf("%s\n", WithoutLineEnds(line_).c_str());
            line_.clear();
        }
        std::fflush(stdout);
    }

private:
    std::string line_;
};

} // namespace

int RunOneShot(ModeContext& context)
{
    HostSession session;
    if (const int status = LogInAndReport(context, session, true); status != kExitOk) {
        return status;
    }
    SessionStream stream;
    ReplyPrinter printer;
    const auto take = [&](std::vector<SessionItem> items) {
        for (const SessionItem& item : items) {
            CallIfOffered(context, session, item);
        }
        return items;
    };
    printer.print(take(stream.feed(session.takeFirstBytes())), "");

    for (const std::string& given : context.options.commands) {
        const std::string command = CommandFromLine(given);
        const std::string mnemonic = ReplyMnemonic(command);
        if (!session.send(command)) {
            printer.finish();
            Say("the host closed the connection before \"" + command + "\" was sent");
            return kExitSessionEnded;
        }
        const auto giveUp = Clock::now() + context.options.timeout;
        auto quietEnd = Clock::now() + context.options.quiet;
        bool answered = false;
        while (!answered) {
            const auto now = Clock::now();
            const auto end = std::min(quietEnd, giveUp);
            if (now >= end) {
                break;
            }
            pollfd entries[2] = {{session.fd(), POLLIN, 0}, {context.signalFd, POLLIN, 0}};
            const int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count());
            if (::poll(entries, 2, wait + 1) <= 0) {
                continue;
            }
            if (entries[1].revents != 0) {
                printer.finish();
                return kExitOk;
            }
            std::string received;
            const ReadStatus status = session.receive(received);
            if (status == ReadStatus::Closed || status == ReadStatus::Failed) {
                printer.print(stream.flush(), mnemonic);
                printer.finish();
                Say(DescribeSessionEnd(SessionItem::Kind::RadioText));
                return kExitSessionEnded;
            }
            auto items = take(stream.feed(received));
            for (const SessionItem& item : items) {
                if (EndsSession(item.kind)) {
                    printer.finish();
                    Say(DescribeSessionEnd(item.kind));
                    return kExitSessionEnded;
                }
            }
            answered = printer.print(items, mnemonic);
            quietEnd = Clock::now() + context.options.quiet;
        }
    }
    printer.print(stream.flush(), "");
    printer.finish();
    return kExitOk;
}

} // namespace client
