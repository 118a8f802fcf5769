// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CStaticMeterEx.h"

#include "StaticPaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kMeterPolicy{
    .bold = StylePolicy::Bold::AnyNonZero,
    .rebuild = StylePolicy::Rebuild::Deferred,
    .boldRebuild = StylePolicy::Rebuild::Immediate,
    .sizeUsesFactor = true,
    .position = StylePolicy::Position::Client,
    .backgroundColor = skinwork::COLOR_BTNFACE,
};

constexpr QChar kBar = u'|';
constexpr QChar kGap = u' ';
constexpr int kTopBarHeight = 2;
constexpr int kMeterFontHeight = 12;

// Characters of the scale that `value` fills, value/maximum of 45, truncated.
unsigned int scaleLength(double value, unsigned int maximum, bool roundUp)
{
    const double length = value * (static_cast<double>(CStaticMeterEx::kScaleLength) / maximum);
    const double whole = roundUp ? std::ceil(length) : std::trunc(length);
    return static_cast<unsigned int>(std::min(whole, static_cast<double>(CStaticMeterEx::kScaleLength)));
}

} // namespace

CStaticMeterEx::CStaticMeterEx(QWidget* parent)
    : QLabel(parent)
    , StyledControl(*this, kMeterPolicy)
    , topBarColor_(skinwork::GetSysColor(skinwork::COLOR_WINDOWTEXT, this))
{
    description().height = kMeterFontHeight;
    description().setFaceName("MS Serif");
}

CStaticMeterEx::~CStaticMeterEx()
{
    peakTimer_.stop();
}

void CStaticMeterEx::ViewMeter(unsigned int value)
{
    ViewMeterEx(scaleLength(value, maxValue_, false));
    redraw();
}

void CStaticMeterEx::ViewSMeterSql(int shown, unsigned int level)
{
    if (level > kTopBarLevelMax || (shown == topBarShown_ && level == topBarLevel_)) {
        return;
    }
    topBarShown_ = shown;
    topBarLevel_ = level;
    redraw();
}

void CStaticMeterEx::ResetMeter()
{
    shownLength_ = 0;
    ResetMeterPeak();
}

void CStaticMeterEx::SetMaxValue(unsigned int maximum)
{
    // The scale divides by the maximum: 0 is refused.
    if (maximum != 0) {
        maxValue_ = maximum;
    }
}

void CStaticMeterEx::SetMinValue(unsigned int minimum)
{
    minValue_ = minimum;
}

void CStaticMeterEx::SetTimerCount(unsigned int milliseconds)
{
    if (milliseconds >= 1 && milliseconds <= 4999) {
        peakHoldTime_ = milliseconds;
    }
}

int CStaticMeterEx::SetSMSColor(skinwork::COLORREF color)
{
    topBarColor_ = color;
    return redraw();
}

void CStaticMeterEx::LoadIconA(unsigned int resourceId)
{
    const QPixmap picture = skinwork::ResourcePixmap(resourceId);
    if (!picture.isNull()) {
        setPixmap(picture);
    }
}

void CStaticMeterEx::ViewMeterEx(unsigned int length)
{
    if (length == shownLength_ && peak_ != 0) {
        return;
    }
    meterText_ = QString(static_cast<qsizetype>(length), kBar);
    ViewMeterPeak(static_cast<unsigned int>(meterText_.size()));
    shownLength_ = length;
}

void CStaticMeterEx::ViewMeterPeak(unsigned int length)
{
    if (length < peak_) {
        const unsigned int distance = peak_ - length;
        if (distance >= 3) {
            meterText_.append(QString(static_cast<qsizetype>(distance - 2), kGap));
        }
        meterText_.append(distance >= 2 ? QStringLiteral("||") : QStringLiteral("|"));
        // The value has just fallen below its peak: hold the marker for a while.
        if (peak_ == shownLength_) {
            peakTimer_.start(static_cast<int>(peakHoldTime_), this);
            ++peakHoldStarts_;
        }
    } else if (length > peak_) {
        peak_ = length;
    }
}

void CStaticMeterEx::ResetMeterPeak()
{
    peakTimer_.stop();
    peak_ = 0;
    ViewMeterEx(shownLength_);
    setText(meterText_);
    redraw();
}

QSize CStaticMeterEx::sizeHint() const
{
    const QFontMetrics metrics(fontDescription().toQFont());
    return QSize(metrics.horizontalAdvance(QString(kScaleLength, kBar)), metrics.height());
}

void CStaticMeterEx::paintEvent(QPaintEvent*)
{
    prepareFont();
    recordPosition();
    const QColor background = skinwork::ToQColor(backColor());
    const QRect area = rect();
    QPainter painter(this);
    painter.fillRect(area, background);
    painter.setFont(styledFont());
    painter.setPen(skinwork::ToQColor(foreColor()));
    painter.setBackground(background);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, meterText_);

    topBarWidth_ = 0;
    if (topBarShown_ != 0) {
        const unsigned int bars = scaleLength(topBarLevel_, maxValue_, true);
        const int textWidth = QFontMetrics(styledFont()).horizontalAdvance(QString(bars, kBar));
        topBarWidth_ = std::min(textWidth, area.width());
        painter.fillRect(QRect(area.left(), area.top(), topBarWidth_, kTopBarHeight),
                         skinwork::ToQColor(topBarColor_));
    }
}

void CStaticMeterEx::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == peakTimer_.timerId()) {
        ResetMeterPeak();
        return;
    }
    QLabel::timerEvent(event);
}
