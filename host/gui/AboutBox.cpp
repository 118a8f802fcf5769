// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/AboutBox.h"

#include "host/gui/Resources.h"

#include <algorithm>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace host::gui {

QImage ComposeAboutPicture(const QImage& picture)
{
    QImage composed(kAboutWidth, kAboutHeight, QImage::Format_RGB32);
    composed.fill(Qt::white);
    {
        QPainter painter(&composed);
        // (15, 15)-(579, 210): right and bottom edges excluded, as a filled rectangle is.
        painter.fillRect(QRect(QPoint(15, 15), QPoint(578, 209)), QColor(255, 192, 128));
    }
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const int width = std::min(composed.width(), source.width());
    const int height = std::min(composed.height(), source.height());
    for (int y = 0; y < height; ++y) {
        auto* target = reinterpret_cast<QRgb*>(composed.scanLine(y));
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            target[x] &= from[x];
        }
    }
    return composed;
}

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), picture_(new QLabel(this))
{
    InitResources();
    setObjectName("aboutBox");
    setWindowTitle("About Ondrel");
    picture_->setObjectName("aboutPicture");
    picture_->setPixmap(QPixmap::fromImage(ComposeAboutPicture(QImage(":/ondrel/bitmap133.png"))));
    picture_->setGeometry(0, 0, kAboutWidth, kAboutHeight);
    setFixedSize(kAboutWidth, kAboutHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.x() + (desktop.width() - kAboutWidth) / 2, desktop.y() + (desktop.height() - kAboutHeight) / 2);
    }
}

void AboutBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void AboutBox::keyPressEvent(QKeyEvent* event)
{
    // The box has no visible button: Enter closes it as OK would, Escape as Cancel.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace host::gui
