// SPDX-License-Identifier: GPL-3.0-or-later
// The help contexts: each names the section of the help file that F1 or a Help
// button opens. Here, below both the window and its dialogs, so that each takes the
// numbers without reaching into the other.
#pragma once

namespace host {

inline constexpr int kHelpRunningPowerOn = 2;  // main window: service running, radio on; "Help Topics"
inline constexpr int kHelpStopped = 8;         // main window: session server not open
inline constexpr int kHelpRunningPowerOff = 26; // main window: service running, radio off
inline constexpr int kHelpSetup = 30;          // Setup dialog
inline constexpr int kHelpUserEditor = 32;     // user editor dialog
inline constexpr int kHelpAdvanced = 34;       // Advanced dialog, opened from Setup

} // namespace host
