// SPDX-License-Identifier: GPL-3.0-or-later
// CStaticFrameEx: a CStaticEx (deferred font rebuild, bold for any non-zero value,
// group frame) that records no position: frames and labels that other controls are
// laid over, whose rectangle nobody asks for. GUI thread only.
#pragma once

#include "skinwork/CStaticEx.h"

class SKINWORK_EXPORT CStaticFrameEx : public CStaticEx {
    Q_OBJECT
public:
    explicit CStaticFrameEx(QWidget* parent = nullptr);
    explicit CStaticFrameEx(const QString& text, QWidget* parent = nullptr);
    ~CStaticFrameEx() override;
};
