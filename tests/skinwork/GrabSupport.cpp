// SPDX-License-Identifier: GPL-3.0-or-later
#include "GrabSupport.h"

#include <QDir>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace skinwork::test {

QImage Grab(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Near(QColor pixel, QColor color, int tolerance)
{
    return std::abs(pixel.red() - color.red()) <= tolerance && std::abs(pixel.green() - color.green()) <= tolerance
        && std::abs(pixel.blue() - color.blue()) <= tolerance;
}

int CountColor(const QImage& image, QColor color, int tolerance, QRect area)
{
    const QRect bounds = area.isNull() ? image.rect() : area.intersected(image.rect());
    int count = 0;
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        for (int x = bounds.left(); x <= bounds.right(); ++x) {
            count += Near(image.pixelColor(x, y), color, tolerance) ? 1 : 0;
        }
    }
    return count;
}

QRect ColorBounds(const QImage& image, QColor color, int tolerance)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (Near(image.pixelColor(x, y), color, tolerance)) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

void ShowAndExpose(QWidget& widget)
{
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

QImage GrabTest::grab(QWidget& widget, const QString& name)
{
    QImage image = Grab(widget);
    grabs_.emplace_back(name, image);
    return image;
}

void GrabTest::TearDown()
{
    if (!HasFailure()) {
        return;
    }
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QDir folder(QStringLiteral(SKINWORK_GRAB_DIR));
    folder.mkpath(QStringLiteral("."));
    QString prefix = QString::fromLatin1(info->test_suite_name()) + QLatin1Char('.') + QString::fromLatin1(info->name());
    prefix.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const auto& [name, image] : grabs_) {
        const QString file = folder.filePath(prefix + QLatin1Char('-') + name + QStringLiteral(".png"));
        image.save(file);
        std::fprintf(stderr, "grab kept: %s\n", qPrintable(file));
    }
}

} // namespace skinwork::test
