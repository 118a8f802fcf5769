// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide settings of the control library, GUI thread only.
// The main window gives new controls their initial font and is the frame of
// reference of the positions that buttons record. Icons are looked up by
// resource number: first those registered here, then the Qt resource ":/icon/<id>".
#pragma once

#include "skinwork/SkinworkExport.h"

#include <QIcon>

class QWidget;

namespace skinwork {

// Sets (or with null clears) the application's main window. The library keeps
// a guarded pointer: a destroyed main window reads back as null.
SKINWORK_EXPORT void SetMainWindow(QWidget* window);
SKINWORK_EXPORT QWidget* MainWindow();

// The font new controls start from: the main window's font, or the
// application's default font when there is no main window.
SKINWORK_EXPORT QFont InheritedFont();

SKINWORK_EXPORT void RegisterIcon(unsigned int resourceId, const QIcon& icon);
// The icon of `resourceId`; a null icon when none is known.
SKINWORK_EXPORT QIcon LoadResourceIcon(unsigned int resourceId);

} // namespace skinwork
