// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CStaticEx.h"

#include "StaticPaint.h"

#include <QLayout>
#include <QPainter>

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kStaticPolicy = skinwork::StaticPolicy(StylePolicy::Position::Parent);

} // namespace

CStaticEx::CStaticEx(QWidget* parent) : CStaticEx(kStaticPolicy, QString(), parent) {}

CStaticEx::CStaticEx(const QString& text, QWidget* parent) : CStaticEx(kStaticPolicy, text, parent) {}

CStaticEx::CStaticEx(const StylePolicy& policy, const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , StyledControl(*this, policy)
{
}

CStaticEx::~CStaticEx() = default;

void CStaticEx::LoadIconA(unsigned int resourceId)
{
    const QPixmap picture = skinwork::ResourcePixmap(resourceId);
    if (!picture.isNull()) {
        setPixmap(picture);
    }
}

void CStaticEx::setGroupFrame(bool groupFrame)
{
    if (groupFrame_ == groupFrame) {
        return;
    }
    groupFrame_ = groupFrame;
    updateGeometry();
    update();
}

QSize CStaticEx::sizeHint() const
{
    const QSize own = skinwork::StaticSizeHint(*this, fontDescription().toQFont(), groupFrame_);
    // A group frame that lays out controls inside needs room for them as well.
    return layout() != nullptr ? own.expandedTo(layout()->totalSizeHint()) : own;
}

QSize CStaticEx::minimumSizeHint() const
{
    const QSize own = skinwork::StaticSizeHint(*this, fontDescription().toQFont(), groupFrame_);
    return layout() != nullptr ? own.expandedTo(layout()->totalMinimumSize()) : own;
}

void CStaticEx::paintEvent(QPaintEvent*)
{
    prepareFont();
    recordPosition(); // nothing for a policy that records no position
    QPainter painter(this);
    skinwork::PaintStatic(*this, painter,
                          {styledFont(), skinwork::ToQColor(foreColor()), skinwork::ToQColor(backColor()), groupFrame_});
    if (!groupFrame_) {
        drawFrame(&painter);
    }
}
