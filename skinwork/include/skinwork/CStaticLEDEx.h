// SPDX-License-Identifier: GPL-3.0-or-later
// CStaticLEDEx: an indicator lamp. A CStaticEx whose background switches between
// an on colour (green at first) and an off colour (black at first); switched on
// with a non-zero on time it turns itself off that many milliseconds later.
// GUI thread only; the off timer runs on the control's thread.
#pragma once

#include "skinwork/CStaticEx.h"

#include <QBasicTimer>

class SKINWORK_EXPORT CStaticLEDEx : public CStaticEx {
    Q_OBJECT
public:
    explicit CStaticLEDEx(QWidget* parent = nullptr);
    explicit CStaticLEDEx(const QString& text, QWidget* parent = nullptr);
    ~CStaticLEDEx() override;

    // Non-zero: the on colour, and with a non-zero on time the off timer is
    // (re)started; 0: the off colour. Returns 1.
    int SetLEDON(int on);
    // Colours for the next switch; nothing is redrawn. Return 1.
    int SetOnColor(skinwork::COLORREF color);
    int SetOffColor(skinwork::COLORREF color);
    // On time in milliseconds, any value; 0 keeps the lamp on until switched off. Returns 1.
    int SetTimerCount(unsigned int milliseconds);

    bool isLit() const { return lit_; }
    bool offTimerActive() const { return offTimer_.isActive(); }
    unsigned int onTime() const { return onTime_; }
    skinwork::COLORREF onColor() const { return onColor_; }
    skinwork::COLORREF offColor() const { return offColor_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    unsigned int onTime_ = 100;
    skinwork::COLORREF offColor_ = skinwork::RGB(0, 0, 0);
    skinwork::COLORREF onColor_ = skinwork::RGB(0, 255, 0);
    bool lit_ = false;
    QBasicTimer offTimer_;
};
