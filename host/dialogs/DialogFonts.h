// The two fonts of the dialogs: the dialog font of their controls, a small serif
// face, and the GUI font of the lists and free texts, a small sans-serif face.
#pragma once

#include <QFont>

namespace dialogs {

QFont DialogFont();
QFont GuiFont();

} // namespace dialogs
