// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/WindowApp.h"

#include "host/SignalWatcher.h"
#include "host/gui/MainWindow.h"
#include "host/gui/MessageBoxes.h"
#include "host/gui/Resources.h"

#include <QApplication>
#include <QIcon>

namespace host::gui {

int RunWindow(const HostOptions& options, int argc, char** argv)
{
    QApplication app(argc, argv);
    InitResources();
    QApplication::setWindowIcon(QIcon(":/ondrel/ondrel.png"));
    QApplication::setDesktopFileName("ondrel");
    const MessageBoxHandlerGuard boxes;

    MainWindow window(options);
    const SignalWatcher watcher(&window.host().target(), kCloseMessage);
    window.show();
    QApplication::exec();
    return 0;
}

} // namespace host::gui
