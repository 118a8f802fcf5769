// SPDX-License-Identifier: GPL-3.0-or-later
// Console mode: a prompt with line editing and history (libedit) on a terminal,
// plain lines otherwise. Each line is one command; replies are printed one per line
// as they arrive, above the line being typed. When the host ends the session the
// next command logs in again.
//
// On a terminal, libedit's key reader is the event loop: while it waits for a key
// it also waits for the host and for signals, prints what arrives above the prompt
// and has libedit redraw the line being typed.

#include "Modes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <histedit.h>
#include <poll.h>
#include <unistd.h>

namespace client {
namespace {

using namespace std::chrono_literals;

// Radio text held back this long without more is shown as it stands.
constexpr auto kPartialReplyDelay = 150ms;
constexpr const char* kPrompt = "ondrel> ";
constexpr int kHistorySize = 500;

class Console {
public:
    explicit Console(ModeContext& context) : context_(context) {}

    ~Console()
    {
        if (editLine_ != nullptr) {
            ::el_end(editLine_);
        }
        if (history_ != nullptr) {
            ::history_end(history_);
        }
    }

    int run()
    {
        if (const int status = LogInAndReport(context_, session_, false); status != kExitOk) {
            return status;
        }
        show(stream_.feed(session_.takeFirstBytes()));
        if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1) {
            return runEditing();
        }
        return runPlain();
    }

private:
    enum class Wait { Key, Quiet };

    int runEditing()
    {
        editLine_ = ::el_init("ondrel-client", stdin, stdout, stderr);
        history_ = ::history_init();
        if (editLine_ == nullptr || history_ == nullptr) {
            return runPlain();
        }
        HistEvent event{};
        ::history(history_, &event, H_SETSIZE, kHistorySize);
        ::el_set(editLine_, EL_EDITOR, "emacs");
        ::el_set(editLine_, EL_HIST, ::history, history_);
        ::el_set(editLine_, EL_PROMPT, &Console::Prompt);
        ::el_set(editLine_, EL_CLIENTDATA, this);
        ::el_set(editLine_, EL_GETCFN, &Console::ReadKey);
        ::el_source(editLine_, nullptr); // the user's ~/.editrc, when there is one
        while (status_ < 0) {
            int count = 0;
            reading_ = true;
            const char* line = ::el_gets(editLine_, &count);
            reading_ = false;
            if (line == nullptr || count <= 0) {
                // Ctrl-D, or a signal: the shell's prompt goes on a line of its own.
                status_ = status_ < 0 ? kExitOk : status_;
                std::fputs("\n", stdout);
                break;
            }
            std::string text(line, static_cast<std::size_t>(count));
            if (CommandFromLine(text).empty()) {
                continue;
            }
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.pop_back();
            }
            ::history(history_, &event, H_ENTER, text.c_str());
            command(text);
        }
        finishLine();
        return status_;
    }

    static const char* Prompt(EditLine*) { return kPrompt; }

    // libedit's key reader: one key, or 0 (end) when the console is to end.
    static int ReadKey(EditLine* editLine, wchar_t* key)
    {
        Console* console = nullptr;
        ::el_get(editLine, EL_CLIENTDATA, &console);
        while (console->status_ < 0) {
            if (!console->waitFor(Wait::Key)) {
                continue;
            }
            unsigned char byte = 0;
            const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return 0;
            }
            *key = static_cast<wchar_t>(byte);
            return 1;
        }
        return 0;
    }

    int runPlain()
    {
        while (status_ < 0) {
            if (inputDone_) {
                // Piped input has ended: the last replies, then the end.
                while (status_ < 0 && waitFor(Wait::Quiet)) {
                }
                finishLine();
                return status_ < 0 ? kExitOk : status_;
            }
            if (waitFor(Wait::Key)) {
                readPlainInput();
            }
        }
        finishLine();
        return status_;
    }

    // Handles the host and signals until standard input has a key (true) or, for
    // Wait::Quiet, until the host has been quiet for the waiting time (false).
    // Returns false early when the console is to end.
    bool waitFor(Wait wait)
    {
        for (;;) {
            pollfd entries[3] = {{wait == Wait::Key ? STDIN_FILENO : -1, POLLIN, 0},
                                 {session_.connected() ? session_.fd() : -1, POLLIN, 0},
                                 {context_.signalFd, POLLIN, 0}};
            int timeout = stream_.holding() || !line_.empty() ? static_cast<int>(kPartialReplyDelay.count()) : -1;
            if (wait == Wait::Quiet) {
                timeout = static_cast<int>(context_.options.quiet.count());
            }
            const int ready = ::poll(entries, 3, timeout);
            if (ready < 0) {
                continue;
            }
            if (ready == 0) {
                show(stream_.flush());
                finishLine();
                if (wait == Wait::Quiet) {
                    return false;
                }
                continue;
            }
            if (entries[2].revents != 0) {
                status_ = kExitOk;
                return false;
            }
            if (entries[1].revents != 0) {
                receive();
                if (status_ >= 0 || wait == Wait::Quiet) {
                    return status_ < 0;
                }
            }
            if (entries[0].revents != 0) {
                return true;
            }
        }
    }

    void readPlainInput()
    {
        std::string received;
        const ReadStatus status = ReadAvailable(STDIN_FILENO, received);
        if (status == ReadStatus::Closed || status == ReadStatus::Failed) {
            inputDone_ = true;
            if (!typed_.empty()) {
                command(typed_);
                typed_.clear();
            }
            return;
        }
        typed_ += received;
        for (std::size_t end = typed_.find('\n'); end != std::string::npos; end = typed_.find('\n')) {
            const std::string line = typed_.substr(0, end);
            typed_.erase(0, end + 1);
            command(line);
        }
    }

    void command(const std::string& line)
    {
        const std::string text = CommandFromLine(line);
        if (text.empty()) {
            return;
        }
        if (!session_.connected()) {
            print("ondrel-client: logging in again");
            HostSession fresh;
            const LoginOutcome outcome = fresh.open(context_.login, context_.retry);
            print("ondrel-client: " + DescribeLogin(outcome, context_.login));
            if (!outcome.loggedIn()) {
                const int status = ExitStatusOf(outcome);
                // Wrong credentials do not get better by typing more commands.
                if (status == kExitRefused || status == kExitDisabled || status == kExitProtocol) {
                    status_ = status;
                }
                return;
            }
            session_ = std::move(fresh);
            stream_ = SessionStream();
            show(stream_.feed(session_.takeFirstBytes()));
        }
        if (!session_.send(text)) {
            ended(SessionItem::Kind::RadioText);
        }
    }

    void receive()
    {
        std::string received;
        const ReadStatus status = session_.receive(received);
        if (status == ReadStatus::Data) {
            show(stream_.feed(received));
        } else if (status != ReadStatus::WouldBlock) {
            show(stream_.flush());
            ended(SessionItem::Kind::RadioText);
        }
    }

    void show(const std::vector<SessionItem>& items)
    {
        for (const SessionItem& item : items) {
            switch (item.kind) {
            case SessionItem::Kind::RadioText:
                line_ += item.text;
                if (line_.back() == ';') {
                    finishLine();
                }
                break;
            case SessionItem::Kind::AccountReply:
                finishLine();
                print(item.text);
                break;
            case SessionItem::Kind::Voice:
                finishLine();
                print(item.text + "  (the host answers telephone calls during this session)");
                CallIfOffered(context_, session_, item);
                break;
            case SessionItem::Kind::IdleTimeout:
            case SessionItem::Kind::CommandTooLong:
            case SessionItem::Kind::RadioLost:
                finishLine();
                ended(item.kind);
                return;
            }
        }
    }

    void ended(SessionItem::Kind kind)
    {
        session_.close();
        stream_ = SessionStream();
        print("ondrel-client: " + DescribeSessionEnd(kind) + "; the next command logs in again");
    }

    void finishLine()
    {
        if (!line_.empty()) {
            print(WithoutLineEnds(line_));
            line_.clear();
        }
    }

    // One line; while a line is being edited, above it, which is then redrawn.
    void print(const std::string& text)
    {
        if (reading_) {
            std::fputs("\r\033[K", stdout);
        }
        std::fputs(text.c_str(), stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
        if (reading_) {
            ::el_set(editLine_, EL_REFRESH);
        }
    }

    ModeContext& context_;
    HostSession session_;
    SessionStream stream_;
    EditLine* editLine_ = nullptr;
    History* history_ = nullptr;
    std::string line_;  // radio text of a reply not yet ended by ";"
    std::string typed_; // piped input not yet ended by a line break
    bool reading_ = false;
    bool inputDone_ = false;
    int status_ = -1;
};

} // namespace

int RunConsole(ModeContext& context)
{
    Console console(context);
    return console.run();
}

} // namespace client
