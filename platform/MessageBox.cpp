// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace platform {
namespace {

std::mutex handlerMutex;
MessageBoxHandler currentHandler;
TitledMessageBoxHandler currentTitledHandler;

void WriteToStderr(std::string_view text)
{
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// The handler in `slot` as it is now, copied under the lock so that it is called
// outside it: a handler may itself replace the handler.
template <typename Handler>
Handler Current(const Handler& slot)
{
    std::lock_guard lock(handlerMutex);
    return slot;
}

template <typename Handler>
Handler Replace(Handler& slot, Handler handler)
{
    std::lock_guard lock(handlerMutex);
    return std::exchange(slot, std::move(handler));
}

} // namespace

void ShowMessageBox(std::string_view text)
{
    if (const MessageBoxHandler handler = Current(currentHandler)) {
        handler(text);
    } else {
        WriteToStderr(text);
    }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return Replace(currentHandler, std::move(handler));
}

void ShowMessageBox(std::string_view text, std::string_view title, MessageBoxIcon icon)
{
    if (const TitledMessageBoxHandler handler = Current(currentTitledHandler)) {
        handler(text, title, icon);
    } else {
        ShowMessageBox(text);
    }
}

TitledMessageBoxHandler SetTitledMessageBoxHandler(TitledMessageBoxHandler handler)
{
    return Replace(currentTitledHandler, std::move(handler));
}

} // namespace platform
