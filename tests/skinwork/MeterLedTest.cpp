// SPDX-License-Identifier: GPL-3.0-or-later
// The bar meter's texts, peak hold and top bar, and the lamp's on and off.
#include "GrabSupport.h"

#include "skinwork/CStaticLEDEx.h"
#include "skinwork/CStaticMeterEx.h"

#include <gtest/gtest.h>

#include <QTest>

namespace skinwork::test {
namespace {

QString bars(int count)
{
    return QString(count, QLatin1Char('|'));
}
QString gaps(int count)
{
    return QString(count, QLatin1Char(' '));
}

// A meter that was reset: empty bar, no peak, no hold running.
class Meter : public GrabTest {
protected:
    Meter()
    {
        meter.resize(300, 24);
        meter.SetTimerCount(4999);
        meter.ResetMeter();
    }
    CStaticMeterEx meter;
};

TEST_F(Meter, ValuesFillTheScaleOfFortyFiveTruncated)
{
    struct Row {
        unsigned int maximum;
        unsigned int value;
        int length;
    };
    const Row rows[] = {
        {30, 30, 45}, {30, 15, 22}, {30, 0, 0}, {30, 1, 1}, {30, 29, 43},
        {100, 50, 22}, {7, 1, 6}, {1, 1, 45},
        // Above the maximum the scale is full, no more.
        {30, 31, 45}, {30, 4294967295u, 45}, {1, 4294967295u, 45},
    };
    for (const Row& row : rows) {
        CStaticMeterEx fresh;
        fresh.SetMaxValue(row.maximum);
        fresh.ResetMeter();
        fresh.ViewMeter(row.value);
        EXPECT_EQ(fresh.shownLength(), static_cast<unsigned int>(row.length)) << row.maximum << " " << row.value;
        EXPECT_EQ(fresh.meterText(), bars(row.length)) << row.maximum << " " << row.value;
    }
}

TEST_F(Meter, FallingValueLeavesThePeakMarkerAndStartsTheHoldOnce)
{
    meter.ViewMeter(30);
    EXPECT_EQ(meter.meterText(), bars(45));
    EXPECT_FALSE(meter.peakHoldActive());

    const int startsBefore = meter.peakHoldStarts();
    meter.ViewMeter(15);
    EXPECT_EQ(meter.meterText(), bars(22) + gaps(21) + QStringLiteral("||"));
    EXPECT_EQ(meter.meterText().size(), 45);
    EXPECT_TRUE(meter.peakHoldActive());
    EXPECT_EQ(meter.peakHoldStarts(), startsBefore + 1);

    meter.ViewMeter(10);
    EXPECT_EQ(meter.meterText(), bars(15) + gaps(28) + QStringLiteral("||"));
    EXPECT_EQ(meter.peakHoldStarts(), startsBefore + 1);
    EXPECT_EQ(meter.peak(), 45u);
}

TEST_F(Meter, MarkerShapeFollowsTheDistanceToThePeak)
{
    struct Row {
        unsigned int below;  // value after 30 (45 characters), maximum 45
        QString text;
    };
    meter.SetMaxValue(45);
    const Row rows[] = {
        {44, bars(44) + QStringLiteral("|")},
        {43, bars(43) + QStringLiteral("||")},
        {42, bars(42) + gaps(1) + QStringLiteral("||")},
        {0, gaps(43) + QStringLiteral("||")},
    };
    for (const Row& row : rows) {
        meter.ResetMeter();
        meter.ViewMeter(45);
        meter.ViewMeter(row.below);
        EXPECT_EQ(meter.meterText(), row.text) << row.below;
    }
}

TEST_F(Meter, SameLengthWithAPeakChangesNothing)
{
    meter.ViewMeter(30);
    meter.ViewMeter(15);
    const int starts = meter.peakHoldStarts();
    const QString text = meter.meterText();
    meter.ViewMeter(15);
    EXPECT_EQ(meter.meterText(), text);
    EXPECT_EQ(meter.peakHoldStarts(), starts);
}

TEST_F(Meter, HoldTimeEndsTheMarkerLeavingTheBarAlone)
{
    meter.SetTimerCount(20);
    meter.ViewMeter(30);
    meter.ViewMeter(15);
    meter.ViewMeter(10);
    ASSERT_TRUE(meter.peakHoldActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !meter.peakHoldActive(); }, 5000));
    EXPECT_EQ(meter.meterText(), bars(15));
    EXPECT_EQ(meter.text(), bars(15));
    EXPECT_EQ(meter.peak(), 15u);
}

TEST_F(Meter, FirstValueOfAFreshMeterHoldsAFullLengthMarker)
{
    CStaticMeterEx fresh;
    fresh.SetTimerCount(10);
    fresh.ViewMeter(30);
    EXPECT_TRUE(fresh.peakHoldActive());
    EXPECT_TRUE(fresh.meterText().startsWith(bars(45) + gaps(1)));
    EXPECT_TRUE(fresh.meterText().endsWith(QStringLiteral("||")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fresh.peakHoldActive(); }, 5000));
    EXPECT_EQ(fresh.meterText(), bars(45));
}

TEST_F(Meter, HoldTimeAndMaximumKeepTheirBounds)
{
    struct Row {
        unsigned int asked;
        unsigned int kept;
    };
    const Row holds[] = {{0, 1000}, {5000, 1000}, {4294967295u, 1000}, {4999, 4999}, {1, 1}, {250, 250}};
    for (const Row& row : holds) {
        CStaticMeterEx fresh;
        fresh.SetTimerCount(row.asked);
        EXPECT_EQ(fresh.peakHoldTime(), row.kept) << row.asked;
    }
    CStaticMeterEx fresh;
    fresh.SetMaxValue(0);
    EXPECT_EQ(fresh.maxValue(), 30u);
    fresh.SetMaxValue(60);
    fresh.SetMinValue(5);
    EXPECT_EQ(fresh.maxValue(), 60u);
    EXPECT_EQ(fresh.minValue(), 5u);
}

TEST_F(Meter, TopBarIsTwoPixelsInItsColourAndAsWideAsItsLevel)
{
    meter.SetSMSColor(RGB(255, 0, 0));
    meter.SetBackColor(RGB(255, 255, 255));
    meter.ViewSMeterSql(1, 31);
    EXPECT_EQ(meter.topBarShown(), 0);

    meter.ViewSMeterSql(1, 30);
    QImage image = grab(meter, QStringLiteral("level30"));
    const QFontMetrics metrics(meter.styledFont());
    const int fullWidth = std::min(metrics.horizontalAdvance(bars(45)), meter.width());
    EXPECT_EQ(meter.topBarWidth(), fullWidth);
    EXPECT_EQ(ColorBounds(image, QColor(255, 0, 0)), QRect(0, 0, fullWidth, 2));

    meter.ViewSMeterSql(1, 10);  // 15 characters
    image = grab(meter, QStringLiteral("level10"));
    EXPECT_EQ(ColorBounds(image, QColor(255, 0, 0)), QRect(0, 0, metrics.horizontalAdvance(bars(15)), 2));

    // Narrower than 45 characters: the bar stops at the control's edge.
    meter.resize(40, 24);
    meter.ViewSMeterSql(1, 30);
    image = grab(meter, QStringLiteral("narrow"));
    EXPECT_EQ(ColorBounds(image, QColor(255, 0, 0)), QRect(0, 0, 40, 2));

    meter.ViewSMeterSql(0, 30);
    image = grab(meter, QStringLiteral("hidden"));
    EXPECT_EQ(CountColor(image, QColor(255, 0, 0)), 0);
}

TEST_F(Meter, BarIsDrawnInTheTextColourOnTheBackground)
{
    meter.SetForeColor(RGB(0, 0, 255));
    meter.SetBackColor(RGB(255, 255, 0));
    meter.SetTextBold(1);
    meter.ViewMeter(30);
    const QImage full = grab(meter, QStringLiteral("full"));
    meter.ViewMeter(0);
    meter.ResetMeter();
    const QImage empty = grab(meter, QStringLiteral("empty"));
    const QRect barArea = ColorBounds(full, QColor(0, 0, 255), 60);
    EXPECT_GT(barArea.width(), 100);
    EXPECT_EQ(CountColor(empty, QColor(0, 0, 255), 60), 0);
    EXPECT_EQ(CountColor(empty, QColor(255, 255, 0)), empty.width() * empty.height());
}

class Led : public GrabTest {
protected:
    Led() { led.resize(30, 20); }
    QColor shown() { return Grab(led).pixelColor(15, 10); }
    CStaticLEDEx led;
};

TEST_F(Led, LitLampTurnsOffAfterItsOnTime)
{
    led.SetTimerCount(30);
    EXPECT_EQ(led.SetLEDON(1), 1);
    EXPECT_EQ(shown(), QColor(0, 255, 0));
    EXPECT_TRUE(led.offTimerActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !led.isLit(); }, 5000));
    EXPECT_EQ(shown(), QColor(0, 0, 0));
    EXPECT_FALSE(led.offTimerActive());
}

TEST_F(Led, OnTimeZeroStaysLitUntilSwitchedOff)
{
    led.SetTimerCount(0);
    led.SetLEDON(1);
    EXPECT_FALSE(led.offTimerActive());
    EXPECT_EQ(shown(), QColor(0, 255, 0));
    EXPECT_EQ(led.SetLEDON(0), 1);
    EXPECT_EQ(shown(), QColor(0, 0, 0));
}

TEST_F(Led, ColoursApplyAtTheNextSwitch)
{
    led.SetLEDON(0);
    EXPECT_EQ(led.SetOnColor(RGB(255, 0, 0)), 1);
    EXPECT_EQ(led.SetOffColor(RGB(0, 0, 255)), 1);
    EXPECT_EQ(shown(), QColor(0, 0, 0));
    led.SetTimerCount(0);
    led.SetLEDON(1);
    EXPECT_EQ(shown(), QColor(255, 0, 0));
    led.SetLEDON(0);
    EXPECT_EQ(shown(), QColor(0, 0, 255));
}

TEST_F(Led, SwitchingOnAgainRestartsTheOnTime)
{
    led.SetTimerCount(4999);
    led.SetLEDON(1);
    const int first = led.offTimerActive() ? 1 : 0;
    led.SetTimerCount(20);
    led.SetLEDON(1);
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !led.isLit(); }, 2000));
}

} // namespace
} // namespace skinwork::test
