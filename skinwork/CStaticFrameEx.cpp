// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CStaticFrameEx.h"

#include "StaticPaint.h"

using skinwork::StylePolicy;

CStaticFrameEx::CStaticFrameEx(QWidget* parent) : CStaticFrameEx(QString(), parent) {}

CStaticFrameEx::CStaticFrameEx(const QString& text, QWidget* parent)
    : CStaticEx(skinwork::StaticPolicy(StylePolicy::Position::None), text, parent)
{
}

CStaticFrameEx::~CStaticFrameEx() = default;
