// SPDX-License-Identifier: GPL-3.0-or-later
// CEditEx: a single-line edit box with styled text. Font setters rebuild the
// font at once and hand it to the box; SetTextSize, SetTextItalic,
// SetTextUnderLine and SetCharType then return 1 (a refused face name returns 0),
// SetTextBold (bold only for exactly 1) and SetStrikeOut the redraw result.
// Text colour and background colour (the window colour at first) colour the box.
// Records its rectangle in its parent's coordinates at its first paint. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QLineEdit>

class SKINWORK_EXPORT CEditEx : public QLineEdit, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CEditEx(QWidget* parent = nullptr);
    ~CEditEx() override;

protected:
    int afterFontChange(skinwork::FontField field) override;
    void paintEvent(QPaintEvent* event) override;
    void styleChanged() override;
};
