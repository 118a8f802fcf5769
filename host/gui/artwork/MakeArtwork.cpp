// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's pictures and writes them as PNG files into the folder given on
// the command line (host/gui/resources): the program icon, the CONTROL and power
// switch button faces, the About picture and the two user-list icons. Run it again
// after changing a drawing:  ondrel_artwork host/gui/resources
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

QImage Canvas(int width, int height, QColor fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

QFont Font(const char* family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A small round lamp with a highlight.
void Lamp(QPainter& painter, QPointF centre, qreal radius, QColor colour, bool lit)
{
    painter.setPen(QPen(QColor(30, 30, 30), 1));
    QRadialGradient glow(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    glow.setColorAt(0, lit ? colour.lighter(170) : colour.darker(150));
    glow.setColorAt(1, lit ? colour : colour.darker(300));
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
}

// A raised button face: light top, dark bottom, a thin dark border.
void Face(QPainter& painter, QRectF rect, QColor base)
{
    QLinearGradient shade(rect.topLeft(), rect.bottomLeft());
    shade.setColorAt(0, base.lighter(135));
    shade.setColorAt(1, base.darker(125));
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    painter.setBrush(shade);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

// CONTROL, 44 x 21: the service stopped (grey, dark lamp, "OFF") or running
// (green lamp, "RUN").
QImage Control(bool running)
{
    QImage image = Canvas(44, 21);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Face(painter, QRectF(0, 0, 44, 21), running ? QColor(70, 120, 80) : QColor(110, 110, 110));
    Lamp(painter, QPointF(9.5, 10.5), 4.5, running ? QColor(40, 230, 60) : QColor(90, 40, 40), running);
    painter.setFont(Font("Liberation Sans", 10, true));
    painter.setPen(Qt::white);
    painter.drawText(QRectF(15, 0, 28, 21), Qt::AlignCenter, running ? "RUN" : "OFF");
    return image;
}

// Power switch, 77 x 23: a rocker with the power symbol and a lamp, off or on.
QImage Power(bool on)
{
    QImage image = Canvas(77, 23);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Face(painter, QRectF(0, 0, 77, 23), on ? QColor(60, 60, 70) : QColor(95, 95, 100));
    // The power symbol: an open ring with a bar.
    const QPointF centre(11.5, 11.5);
    const QColor symbol = on ? QColor(255, 200, 60) : QColor(200, 200, 200);
    painter.setPen(QPen(symbol, 2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(centre.x() - 6, centre.y() - 5.5, 12, 12), 120 * 16, 300 * 16);
    painter.drawLine(QPointF(centre.x(), centre.y() - 7), QPointF(centre.x(), centre.y() - 0.5));
    painter.setFont(Font("Liberation Sans", 10, true));
    painter.setPen(Qt::white);
    painter.drawText(QRectF(20, 0, 44, 23), Qt::AlignCenter, "POWER");
    Lamp(painter, QPointF(68.5, 11.5), 4.5, on ? QColor(40, 230, 60) : QColor(40, 70, 40), on);
    return image;
}

// The program icon: a transceiver with its display, a tuning knob and an antenna
// sending waves.
QImage Icon(int size)
{
    QImage image = Canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    // Waves from the antenna tip.
    painter.setBrush(Qt::NoBrush);
    for (int ring = 0; ring < 3; ++ring) {
        const qreal r = 6 + ring * 6;
        painter.setPen(QPen(QColor(230, 120, 20), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(48 - r, 12 - r, 2 * r, 2 * r), 10 * 16, 80 * 16);
    }
    // Antenna.
    painter.setPen(QPen(QColor(50, 50, 50), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(48, 12), QPointF(48, 30));
    painter.setBrush(QColor(50, 50, 50));
    painter.drawEllipse(QPointF(48, 12), 2.5, 2.5);
    // Body.
    QLinearGradient body(0, 28, 0, 60);
    body.setColorAt(0, QColor(85, 90, 100));
    body.setColorAt(1, QColor(35, 38, 45));
    painter.setPen(QPen(QColor(20, 20, 25), 1.5));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(3, 28, 58, 32), 5, 5);
    // Display.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 170, 60));
    painter.drawRoundedRect(QRectF(8, 33, 28, 11), 2, 2);
    painter.setBrush(QColor(90, 50, 10));
    for (int bar = 0; bar < 5; ++bar) {
        painter.drawRect(QRectF(11 + bar * 4.5, 41 - bar * 1.5, 3, 1.5 + bar * 1.5));
    }
    // Tuning knob.
    QRadialGradient knob(QPointF(47, 43), 10);
    knob.setColorAt(0, QColor(200, 200, 205));
    knob.setColorAt(1, QColor(90, 90, 95));
    painter.setPen(QPen(QColor(20, 20, 20), 1));
    painter.setBrush(knob);
    painter.drawEllipse(QPointF(48, 44), 9, 9);
    painter.setPen(QPen(QColor(30, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(48, 44), QPointF(52, 38));
    // Buttons under the display.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 200, 205));
    for (int key = 0; key < 3; ++key) {
        painter.drawRoundedRect(QRectF(8 + key * 10, 49, 7, 5), 1, 1);
    }
    return image;
}

// The About picture, 594 x 225: drawn in white and dark colours only, because the box
// combines it with its background by a bitwise AND: white shows the background, dark
// stays dark.
QImage About()
{
    QImage image = Canvas(594, 225, Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0, 0, 0);
    const QColor blue(0, 32, 128);
    // Waves at the left.
    painter.setBrush(Qt::NoBrush);
    for (int ring = 0; ring < 4; ++ring) {
        const qreal r = 22 + ring * 18;
        painter.setPen(QPen(blue, 6, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(QRectF(70 - r, 112 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawEllipse(QPointF(70, 112), 11, 11);
    painter.drawRect(QRectF(66, 112, 8, 80));

    painter.setPen(ink);
    painter.setFont(Font("Liberation Serif", 64, true));
    painter.drawText(QRectF(190, 30, 380, 80), Qt::AlignLeft | Qt::AlignVCenter, "Ondrel");
    painter.setFont(Font("Liberation Sans", 18, false));
    painter.drawText(QRectF(194, 112, 380, 28), Qt::AlignLeft | Qt::AlignVCenter, "Radio host");
    painter.setFont(Font("Liberation Sans", 14, false));
    painter.setPen(blue);
    painter.drawText(QRectF(194, 142, 380, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     "Your transceiver, one remote operator at a time");
    painter.setPen(ink);
    painter.setFont(Font("Liberation Sans", 12, false));
    painter.drawText(QRectF(194, 172, 380, 20), Qt::AlignLeft | Qt::AlignVCenter, "ORVANE");
    // A rule under the name.
    painter.setPen(QPen(ink, 2));
    painter.drawLine(QPointF(194, 108), QPointF(560, 108));
    return image;
}

// The user-list icons, 16 x 16: a person, green when enabled, grey and struck
// through in red when disabled.
QImage User(bool enabled)
{
    QImage image = Canvas(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor body = enabled ? QColor(30, 150, 60) : QColor(140, 140, 140);
    painter.setPen(QPen(body.darker(160), 1));
    painter.setBrush(body);
    painter.drawEllipse(QRectF(5, 1.5, 6, 6));
    QPainterPath shoulders;
    shoulders.moveTo(2.5, 15);
    shoulders.cubicTo(2.5, 8.5, 13.5, 8.5, 13.5, 15);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);
    if (!enabled) {
        painter.setPen(QPen(QColor(210, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(2.5, 2.5), QPointF(13.5, 13.5));
    }
    return image;
}

bool Save(const QImage& image, const QString& folder, const char* name)
{
    const QString path = folder + "/" + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "ondrel_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ondrel_artwork FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool ok = Save(Icon(64), folder, "icon128.png") && Save(Icon(256), folder, "ondrel.png") &&
                    Save(Control(false), folder, "bitmap129.png") && Save(Control(true), folder, "bitmap130.png") &&
                    Save(Power(false), folder, "bitmap131.png") && Save(Power(true), folder, "bitmap132.png") &&
                    Save(About(), folder, "bitmap133.png") && Save(User(false), folder, "icon138.png") &&
                    Save(User(true), folder, "icon139.png");
    return ok ? 0 : 1;
}
