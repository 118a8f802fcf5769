// SPDX-License-Identifier: GPL-3.0-or-later
// Looking at what a widget painted: grabs, colour counts and bounds, and a
// fixture that keeps the grabs of a failing test as PNG files.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

class QWidget;

namespace skinwork::test {

// The widget as painted, in 32-bit RGB.
QImage Grab(QWidget& widget);

// Whether `pixel` is within `tolerance` of `color` in each channel.
bool Near(QColor pixel, QColor color, int tolerance);
// Pixels within `tolerance` of `color`, in `area` (the whole image when null).
int CountColor(const QImage& image, QColor color, int tolerance = 0, QRect area = {});
// The smallest rectangle holding every pixel within `tolerance` of `color`.
QRect ColorBounds(const QImage& image, QColor color, int tolerance = 0);

// Shows the widget and waits until the platform exposed it.
void ShowAndExpose(QWidget& widget);

class GrabTest : public ::testing::Test {
protected:
    // Grabs the widget and keeps the image under `name` for the failure report.
    QImage grab(QWidget& widget, const QString& name);
    void TearDown() override;

private:
    std::vector<std::pair<QString, QImage>> grabs_;
};

} // namespace skinwork::test
