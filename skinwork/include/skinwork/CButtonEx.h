// SPDX-License-Identifier: GPL-3.0-or-later
// CButtonEx: a push button with styled text. Font setters rebuild the font at
// once; bold only for exactly 1. The face takes the background colour, the
// label the text colour. Records its rectangle in the main window's coordinates
// at its first paint. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QPushButton>

class SKINWORK_EXPORT CButtonEx : public QPushButton, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CButtonEx(QWidget* parent = nullptr);
    explicit CButtonEx(const QString& text, QWidget* parent = nullptr);
    ~CButtonEx() override;

    // Shows the icon of resource `resourceId` as the button's picture; an
    // unknown number changes nothing.
    void LoadIconA(unsigned int resourceId);

protected:
    void paintEvent(QPaintEvent* event) override;
    void styleChanged() override;
};
