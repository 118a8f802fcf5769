// SPDX-License-Identifier: GPL-3.0-or-later
// CListBoxEx: a list box with styled items. Font setters rebuild the font at
// once; bold only for exactly 1. Text colour and background colour (the window
// colour at first) colour the list. Records no position. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QListWidget>

class SKINWORK_EXPORT CListBoxEx : public QListWidget, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CListBoxEx(QWidget* parent = nullptr);
    ~CListBoxEx() override;

protected:
    void styleChanged() override;
};
