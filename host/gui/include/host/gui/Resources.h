// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures compiled into the program (resources/ondrel.qrc, under ":/ondrel/").
#pragma once

namespace host::gui {

// Registers the pictures, and icons 128, 138 and 139 with the control library by
// number; needed once before the first is loaded, because the linker drops a static
// library's resource object that nothing refers to. Safe to repeat. GUI thread.
void InitResources();

} // namespace host::gui
