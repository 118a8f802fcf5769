#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <string>

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

} // namespace

void ShowMessageBox(std::string_view text)
{
    MessageBoxHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = currentHandler;
    }
    // Called outside the lock so that a handler may itself replace the handler.
    if (handler) {
        handler(text);
    } else {
        WriteToStderr(text);
    }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(handlerMutex);
    MessageBoxHandler previous = std::move(currentHandler);
    currentHandler = std::move(handler);
    return previous;
}

void ShowMessageBox(std::string_view text, std::string_view title, MessageBoxIcon icon)
{
    TitledMessageBoxHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = currentTitledHandler;
    }
    if (handler) {
        handler(text, title, icon);
    } else {
        ShowMessageBox(text);
    }
}

TitledMessageBoxHandler SetTitledMessageBoxHandler(TitledMessageBoxHandler handler)
{
    std::lock_guard lock(handlerMutex);
    TitledMessageBoxHandler previous = std::move(currentTitledHandler);
    currentTitledHandler = std::move(handler);
    return previous;
}

} // namespace platform
