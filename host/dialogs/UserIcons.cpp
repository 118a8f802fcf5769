// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/UserIcons.h"

#include "skinwork/Application.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace dialogs {
namespace {

// A head and shoulders in `body`; a disabled user is greyed and struck through in red.
QPixmap DrawUser(bool disabled)
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor body = disabled ? QColor(150, 150, 150) : QColor(40, 110, 200);
    const QColor outline = disabled ? QColor(100, 100, 100) : QColor(20, 60, 130);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(body);
    QPainterPath shoulders;
    shoulders.moveTo(2.5, 15.5);
    shoulders.cubicTo(2.5, 10.0, 13.5, 10.0, 13.5, 15.5);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);
    painter.setBrush(disabled ? QColor(200, 200, 200) : QColor(250, 210, 160));
    painter.drawEllipse(QRectF(4.5, 1.5, 7.0, 7.5));
    if (disabled) {
        painter.setPen(QPen(QColor(210, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
        painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    }
    return picture;
}

} // namespace

QIcon UserStateIcon(bool disabled)
{
    const int id = disabled ? kUserDisabledIcon : kUserEnabledIcon;
    if (const QIcon registered = skinwork::LoadResourceIcon(static_cast<unsigned>(id)); !registered.isNull()) {
        return registered;
    }
    // The program's own pictures, where the window compiles them in.
    if (const QString compiled = QStringLiteral(":/ondrel/icon%1.png").arg(id); QFile::exists(compiled)) {
        return QIcon(compiled);
    }
    static const QIcon enabledIcon(DrawUser(false));
    static const QIcon disabledIcon(DrawUser(true));
    return disabled ? disabledIcon : enabledIcon;
}

} // namespace dialogs
