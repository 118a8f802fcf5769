// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/Resources.h"

#include "skinwork/Application.h"

#include <QIcon>
#include <QString>
#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void InitOndrelResources() { Q_INIT_RESOURCE(ondrel); }

namespace host::gui {
namespace {

void Register()
{
    InitOndrelResources();
    // The icons by resource number, for the controls that load icons by number.
    for (const unsigned id : {128U, 138U, 139U}) {
        skinwork::RegisterIcon(id, QIcon(QString(":/ondrel/icon%1.png").arg(id)));
    }
}

} // namespace

void InitResources()
{
    static const bool done = (Register(), true);
    (void)done;
}

} // namespace host::gui
