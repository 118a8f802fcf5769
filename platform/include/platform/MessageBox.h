// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes raised by the libraries ("Error opening COM port", ...) and by the
// host's dialogs. One process-wide, replaceable handler receives the text; the
// default writes it to stderr. A box with a title and an icon of its own goes to
// the titled handler when one is installed, else to the text handler with its text.
// ShowMessageBox may be called from any thread; a handler must return promptly (a
// GUI handler hands the text to its own thread, or shows the box at once when it is
// called on that thread), so that a worker thread is never held by a box waiting
// for a user.
#pragma once

#include "platform/PlatformExport.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace platform {

using MessageBoxHandler = std::function<void(std::string_view text)>;

PLATFORM_EXPORT void ShowMessageBox(std::string_view text);
// Installs `handler`; an empty handler restores the default. Returns the previous one.
PLATFORM_EXPORT MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

enum class MessageBoxIcon : std::uint8_t { Error, Exclamation, Information };

// An empty title stands for the application's title.
using TitledMessageBoxHandler =
    std::function<void(std::string_view text, std::string_view title, MessageBoxIcon icon)>;

PLATFORM_EXPORT void ShowMessageBox(std::string_view text, std::string_view title, MessageBoxIcon icon);
// Installs the handler of titled boxes; an empty one sends them to the text handler
// again. Returns the previous one.
PLATFORM_EXPORT TitledMessageBoxHandler SetTitledMessageBoxHandler(TitledMessageBoxHandler handler);

} // namespace platform
