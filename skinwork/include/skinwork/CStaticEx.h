// SPDX-License-Identifier: GPL-3.0-or-later
// CStaticEx: a static text whose font, text colour and background colour its
// owner changes at run time. The font is rebuilt lazily, at the next paint after
// any number of font setters. The text is shown as it stands ("&" included),
// inside the QFrame frame and indent when the owner sets them. As a group frame
// (setGroupFrame) it draws the classic etched frame with the text as the title on
// its top line, in the same font and colours, and leaves its inside to the
// controls placed over it. It records its rectangle in its parent's coordinates
// at its first paint. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QLabel>

class SKINWORK_EXPORT CStaticEx : public QLabel, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CStaticEx(QWidget* parent = nullptr);
    explicit CStaticEx(const QString& text, QWidget* parent = nullptr);
    ~CStaticEx() override;

    // Shows the icon of resource `resourceId` (see skinwork::LoadResourceIcon)
    // in place of the text; an unknown number changes nothing.
    void LoadIconA(unsigned int resourceId);

    // Draws a titled group frame around the control's area, the text as its title.
    void setGroupFrame(bool groupFrame);
    bool isGroupFrame() const { return groupFrame_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    CStaticEx(const skinwork::StylePolicy& policy, const QString& text, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;

private:
    bool groupFrame_ = false;
};
