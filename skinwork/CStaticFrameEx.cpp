#include "skinwork/CStaticFrameEx.h"

#include "skinwork/StaticPaint.h"

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
    return skinwork::StaticSizeHint(*this, fontDescription().toQFont(), groupFrame_);
}

QSize CStaticFrameEx::minimumSizeHint() const
{
    return sizeHint();
}

void CStaticFrameEx::paintEvent(QPaintEvent*)
{
    prepareFont();
    QPainter painter(this);
    skinwork::PaintStatic(*this, painter,
                          {styledFont(), skinwork::ToQColor(foreColor()), skinwork::ToQColor(backColor()), groupFrame_});
}
