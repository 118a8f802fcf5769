// Painting shared by the static controls: text or picture on a background fill,
// or a titled group frame. The control draws its own QFrame frame, if it has one,
// over the fill. Internal to the library.
#pragma once

#include <QColor>
#include <QFont>
#include <QSize>

class QLabel;
class QPainter;

namespace skinwork {

struct StaticLook {
    QFont font;
    QColor text;
    QColor background;
    bool groupFrame = false;
};

void PaintStatic(QLabel& label, QPainter& painter, const StaticLook& look);
QSize StaticSizeHint(const QLabel& label, const QFont& font, bool groupFrame);

} // namespace skinwork
