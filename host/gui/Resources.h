// The pictures compiled into the program (resources/ondrel.qrc, under ":/ondrel/").
#pragma once

namespace host::gui {

// Registers the pictures; needed once before the first is loaded, because the linker
// drops a static library's resource object that nothing refers to. Safe to repeat.
void InitResources();

} // namespace host::gui
