// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow: the program's one top-level window. A fixed-size window with a menu bar,
// the power switch and CONTROL picture buttons, the radio and connection status fields
// and the logged-in user's description. It owns the ServiceController (and through it
// the library object) and renders the controller's display; the service logic itself
// lives in the controller, shared with the headless host. GUI thread only.
#pragma once

#include "host/HostDisplay.h"
#include "host/HostOptions.h"
#include "host/gui/GuiHost.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

class QAction;
class CStaticEx;
class QPlainTextEdit;
class QPushButton;

namespace host {
class ServiceController;
}
namespace host::voice {
class VoiceCalls;
}

namespace host::gui {

// Client area below the menu bar, in pixels.
inline constexpr int kClientWidth = 384;
inline constexpr int kClientHeight = 166;

// How the window reaches voice-call handling: whether the operating system allows
// voice, and the telephony plug-in's file. By default Skinwork's GetVoiceEnableOS
// (0 on Linux, so no plug-in is loaded) and the dynamic linker's search for it.
struct VoiceBinding {
    std::function<int()> voiceEnableOS;
    std::string pluginFile;
};
VoiceBinding DefaultVoiceBinding();

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // `splash`: show the About box for about a second while the window is made.
    explicit MainWindow(const HostOptions& options, bool splash = true, VoiceBinding voice = DefaultVoiceBinding());
    ~MainWindow() override;

    ServiceController& controller() { return *controller_; }
    // Voice-call handling, which the controller owns; null after the tear-down.
    voice::VoiceCalls* voiceCalls() { return voice_; }
    GuiHost& host() { return host_; }
    // The help context F1 opens now: 8 stopped, 2 running with the radio on, 26 off.
    int helpContext() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildControls();
    void placeWindow();
    void onDisplay(DisplayField field, const HostDisplay& display);
    void setOnAirLook(bool on);
    void tearDown();

    GuiHost host_;
    std::unique_ptr<ServiceController> controller_;
    voice::VoiceCalls* voice_ = nullptr;
    bool tornDown_ = false;
    bool waitCursor_ = false;

    QAction* onAction_ = nullptr;
    QAction* offAction_ = nullptr;
    QPushButton* powerButton_ = nullptr;
    QPushButton* controlButton_ = nullptr;
    CStaticEx* modelName_ = nullptr;
    CStaticEx* onAirLabel_ = nullptr;
    CStaticEx* userName_ = nullptr;
    CStaticEx* address_ = nullptr;
    QPlainTextEdit* description_ = nullptr;
    CStaticEx* sessionTime_ = nullptr;
};

} // namespace host::gui
