// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CStaticLEDEx.h"

#include <QTimerEvent>

#include <algorithm>
#include <cstdint>

CStaticLEDEx::CStaticLEDEx(QWidget* parent) : CStaticLEDEx(QString(), parent) {}

CStaticLEDEx::CStaticLEDEx(const QString& text, QWidget* parent) : CStaticEx(text, parent) {}

CStaticLEDEx::~CStaticLEDEx()
{
    offTimer_.stop();
}

int CStaticLEDEx::SetLEDON(int on)
{
    if (on != 0) {
        lit_ = true;
        SetBackColor(onColor_);
        if (onTime_ != 0) {
            offTimer_.start(static_cast<int>(std::min<unsigned int>(onTime_, INT32_MAX)), this);
        }
    } else {
        // A lamp switched off by hand needs no pending off timer.
        offTimer_.stop();
        lit_ = false;
        SetBackColor(offColor_);
    }
    return 1;
}

int CStaticLEDEx::SetOnColor(skinwork::COLORREF color)
{
    onColor_ = color;
    return 1;
}

int CStaticLEDEx::SetOffColor(skinwork::COLORREF color)
{
    offColor_ = color;
    return 1;
}

int CStaticLEDEx::SetTimerCount(unsigned int milliseconds)
{
    onTime_ = milliseconds;
    return 1;
}

void CStaticLEDEx::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == offTimer_.timerId()) {
        offTimer_.stop();
        SetLEDON(0);
        return;
    }
    CStaticEx::timerEvent(event);
}
