#include "host/gui/WindowApp.h"

#include "host/HeadlessRunner.h"
#include "host/InstanceLock.h"
#include "host/SignalWatcher.h"
#include "host/gui/MainWindow.h"
#include "host/gui/MessageBoxes.h"
#include "host/gui/Resources.h"
#include "platform/Profile.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace host::gui {

int RunWindow(const HostOptions& options, int argc, char** argv)
{
    // Before any thread starts, so that every thread inherits the blocked set.
    BlockTerminationSignals();

    const InstanceLock lock(InstanceLock::defaultDirectory());
    if (lock.state() == InstanceLock::State::Busy) {
        return kExitAlreadyRunning;
    }
    if (!lock.held()) {
        std::fprintf(stderr, "ondrel: cannot lock %s/%s\n", InstanceLock::defaultDirectory().c_str(),
                     InstanceLock::kFileName);
        return kExitNoInstanceLock;
    }
    platform::SetApplicationProfilePath(options.profile ? *options.profile : platform::Profile::defaultPath());

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
