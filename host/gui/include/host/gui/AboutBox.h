// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: a frameless 594 x 225 picture centred on the screen, the program's
// picture (bitmap 133) combined by a bitwise AND with a white ground that holds an
// orange panel. A left-button release, Enter or Escape closes it. Shown modal from the
// Help menu and modeless for about a second as the splash at start-up.
#pragma once

#include <QDialog>
#include <QImage>

class QLabel;

namespace host::gui {

inline constexpr int kAboutWidth = 594;
inline constexpr int kAboutHeight = 225;

// White, the panel (15, 15)-(579, 210) in red 255 green 192 blue 128, and `picture`
// drawn over it at (0, 0) by a bitwise AND of the pixels.
QImage ComposeAboutPicture(const QImage& picture);

class AboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* picture_;
};

} // namespace host::gui
