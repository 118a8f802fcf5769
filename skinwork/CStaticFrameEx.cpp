#include "skinwork/CStaticFrameEx.h"

#include "StaticPaint.h"

#include <QLayout>
#include <QPainter>

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kFramePolicy{
    .bold = StylePolicy::Bold::AnyNonZero,
    .rebuild = StylePolicy::Rebuild::Deferred,
    .boldRebuild = StylePolicy::Rebuild::Deferred,
    .sizeUsesFactor = true,
    .position = StylePolicy::Position::None,
    .backgroundColor = skinwork::COLOR_BTNFACE,
};

} // namespace

CStaticFrameEx::CStaticFrameEx(QWidget* parent) : CStaticFrameEx(QString(), parent) {}

CStaticFrameEx::CStaticFrameEx(const QString& text, QWidget* parent)
    : QLabel(text, parent)
    , StyledControl(*this, kFramePolicy)
{
}

CStaticFrameEx::~CStaticFrameEx() = default;

void CStaticFrameEx::setGroupFrame(bool groupFrame)
{
    if (groupFrame_ == groupFrame) {
        return;
    }
    groupFrame_ = groupFrame;
    updateGeometry();
    update();
}

QSize CStaticFrameEx::sizeHint() const
{
    const QSize own = skinwork::StaticSizeHint(*this, fontDescription().toQFont(), groupFrame_);
    // A group frame that lays out controls inside needs room for them as well.
    return layout() != nullptr ? own.expandedTo(layout()->totalSizeHint()) : own;
}

QSize CStaticFrameEx::minimumSizeHint() const
{
    const QSize own = skinwork::StaticSizeHint(*this, fontDescription().toQFont(), groupFrame_);
    return layout() != nullptr ? own.expandedTo(layout()->totalMinimumSize()) : own;
}

void CStaticFrameEx::paintEvent(QPaintEvent*)
{
    prepareFont();
    QPainter painter(this);
    skinwork::PaintStatic(*this, painter,
                          {styledFont(), skinwork::ToQColor(foreColor()), skinwork::ToQColor(backColor()), groupFrame_});
    if (!groupFrame_) {
        drawFrame(&painter);
    }
}
