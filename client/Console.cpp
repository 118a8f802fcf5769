// Console mode: a prompt with line editing and history (libedit) on a terminal,
// plain lines otherwise. Each line is one command; replies are printed one per line
// as they arrive, above the line being typed. When the host ends the session the
// next command logs in again.

#include "client/Modes.h"

#include <cstdio>
#include <cstdlib>

#include <editline/readline.h>
#include <poll.h>
#include <unistd.h>

namespace client {
namespace {

using namespace std::chrono_literals;

// Radio text held back this long without more is shown as it stands.
constexpr auto kPartialReplyDelay = 150ms;

class Console {
public:
    explicit Console(ModeContext& context) : context_(context) {}

    int run()
    {
        if (const int status = LogInAndReport(context_, session_, false); status != kExitOk) {
            return status;
        }
        show(stream_.feed(session_.takeFirstBytes()));
        editing_ = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
        if (editing_) {
            active_ = this;
            ::rl_callback_handler_install("ondrel> ", &Console::OnLine);
        }
        int status = loop();
        if (editing_) {
            ::rl_callback_handler_remove();
            active_ = nullptr;
            std::fputs("\n", stdout);
        }
        finishLine();
        return status;
    }

private:
    int loop()
    {
        while (status_ < 0) {
            pollfd entries[3] = {{inputDone_ ? -1 : STDIN_FILENO, POLLIN, 0},
                                 {session_.connected() ? session_.fd() : -1, POLLIN, 0},
                                 {context_.signalFd, POLLIN, 0}};
            const bool waiting = stream_.holding() || !line_.empty();
            // Piped input that has ended waits only for the last replies.
            int timeout = waiting ? static_cast<int>(kPartialReplyDelay.count()) : -1;
            if (inputDone_) {
                timeout = static_cast<int>(context_.options.quiet.count());
            }
            const int ready = ::poll(entries, 3, timeout);
            if (ready == 0) {
                show(stream_.flush());
                finishLine();
                if (inputDone_) {
                    return kExitOk;
                }
                continue;
            }
            if (ready < 0) {
                continue;
            }
            if (entries[2].revents != 0) {
                return kExitOk;
            }
            if (entries[1].revents != 0) {
                receive();
            }
            if (entries[0].revents != 0) {
                if (editing_) {
                    ::rl_callback_read_char();
                } else {
                    readPlainInput();
                }
            }
        }
        return status_;
    }

    static void OnLine(char* line)
    {
        Console* console = active_;
        if (line == nullptr) {
            console->status_ = kExitOk; // Ctrl-D
            return;
        }
        if (*line != '\0') {
            ::add_history(line);
        }
        console->command(line);
        std::free(line);
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
        const ReadStatus status = ReadAvailable(session_.fd(), received);
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
                break;
            case SessionItem::Kind::IdleTimeout:
            case SessionItem::Kind::CommandTooLong:
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

    // One line above the prompt, leaving what is being typed as it was.
    void print(const std::string& text)
    {
        if (editing_ && active_ != nullptr) {
            std::fputs("\r\033[K", stdout);
            std::fputs(text.c_str(), stdout);
            std::fputs("\n", stdout);
            std::fflush(stdout);
            ::rl_forced_update_display();
        } else {
            std::fputs(text.c_str(), stdout);
            std::fputs("\n", stdout);
        }
        std::fflush(stdout);
    }

    static inline Console* active_ = nullptr;

    ModeContext& context_;
    HostSession session_;
    SessionStream stream_;
    std::string line_;  // radio text of a reply not yet ended by ";"
    std::string typed_; // piped input not yet ended by a line break
    bool editing_ = false;
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
