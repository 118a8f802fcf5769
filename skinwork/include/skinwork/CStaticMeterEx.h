// SPDX-License-Identifier: GPL-3.0-or-later
// CStaticMeterEx: a bar meter drawn as text. A value fills a 45-character scale
// of "|" proportionally to the maximum value; a peak marker ("||", or "|" right
// after the bar) holds the highest recent length for the peak hold time, then
// falls back to the bar; an optional two-pixel bar along the top edge shows a
// second level (0..30) in its own colour. GUI thread only; the peak hold timer
// runs on the control's thread.
//
// A maximum value of 0 is refused (SetMaxValue(0) keeps the previous maximum),
// and a value above the maximum fills the scale, no more.
#pragma once

#include "skinwork/StyledControl.h"

#include <QBasicTimer>
#include <QLabel>
#include <QString>

class SKINWORK_EXPORT CStaticMeterEx : public QLabel, public skinwork::StyledControl {
    Q_OBJECT
public:
    static constexpr unsigned int kScaleLength = 45;
    static constexpr unsigned int kTopBarLevelMax = 30;

    explicit CStaticMeterEx(QWidget* parent = nullptr);
    ~CStaticMeterEx() override;

    void ViewMeter(unsigned int value);
    // Ignored when level is above 30 or both equal the stored ones; else stored and redrawn.
    void ViewSMeterSql(int shown, unsigned int level);
    void ResetMeter();
    void SetMaxValue(unsigned int maximum);
    void SetMinValue(unsigned int minimum);
    // Peak hold time in milliseconds, taken when 1..4999, otherwise ignored.
    void SetTimerCount(unsigned int milliseconds);
    int SetSMSColor(skinwork::COLORREF color);
    void LoadIconA(unsigned int resourceId);

    const QString& meterText() const { return meterText_; }
    unsigned int peak() const { return peak_; }
    unsigned int shownLength() const { return shownLength_; }
    unsigned int maxValue() const { return maxValue_; }
    unsigned int minValue() const { return minValue_; }
    unsigned int peakHoldTime() const { return peakHoldTime_; }
    bool peakHoldActive() const { return peakTimer_.isActive(); }
    // How many times the peak hold timer was started.
    int peakHoldStarts() const { return peakHoldStarts_; }
    int topBarShown() const { return topBarShown_; }
    unsigned int topBarLevel() const { return topBarLevel_; }
    skinwork::COLORREF topBarColor() const { return topBarColor_; }
    // Width in pixels of the top bar at the last paint (0 when none was drawn).
    int topBarWidth() const { return topBarWidth_; }

    QSize sizeHint() const override;

protected:
    void ViewMeterEx(unsigned int length);
    void ViewMeterPeak(unsigned int length);
    void ResetMeterPeak();
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    skinwork::COLORREF topBarColor_;
    QString meterText_;
    int topBarShown_ = 0;
    unsigned int topBarLevel_ = 999;
    unsigned int minValue_ = 0;
    unsigned int maxValue_ = 30;
    unsigned int peak_ = 999;
    unsigned int shownLength_ = 999;
    unsigned int peakHoldTime_ = 1000;
    QBasicTimer peakTimer_;
    int peakHoldStarts_ = 0;
    int topBarWidth_ = 0;
};
