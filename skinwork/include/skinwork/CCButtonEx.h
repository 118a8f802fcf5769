// SPDX-License-Identifier: GPL-3.0-or-later
// CCButtonEx: a push button that paints itself: the style's push-button frame
// (sunken while pressed), the face filled with the background colour and moved
// one pixel right and down while pressed, the text centred in the text colour
// with "&" underlining the next character (engraved when disabled), and the
// focus rectangle inside the face while it has the focus. Font setters rebuild at
// once; bold only for exactly 1; the size is not scaled. Records its rectangle
// in the main window's coordinates at its first paint. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QPushButton>
#include <QRect>

class SKINWORK_EXPORT CCButtonEx : public QPushButton, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CCButtonEx(QWidget* parent = nullptr);
    explicit CCButtonEx(const QString& text, QWidget* parent = nullptr);
    ~CCButtonEx() override;

    // The face rectangle of the last paint, in widget coordinates.
    QRect contentRect() const { return contentRect_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void styleChanged() override;

private:
    QRect contentRect_;
};
