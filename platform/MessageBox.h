// Message boxes raised by the libraries ("Error opening COM port", ...).
// One process-wide, replaceable handler receives the text; the default writes it
// to stderr. ShowMessageBox may be called from any thread; a handler must return
// promptly (a GUI handler hands the text to its own thread), so that a worker
// thread is never held by a box waiting for a user.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

using MessageBoxHandler = std::function<void(std::string_view text)>;

void ShowMessageBox(std::string_view text);
// Installs `handler`; an empty handler restores the default. Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace platform
