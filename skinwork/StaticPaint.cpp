// SPDX-License-Identifier: GPL-3.0-or-later
#include "StaticPaint.h"

#include "skinwork/Application.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace skinwork {
namespace {

// Horizontal inset of a group frame's title and the gap around it.
constexpr int kTitleInset = 8;
constexpr int kTitleGap = 2;

int textFlags(const QLabel& label)
{
    int flags = static_cast<int>(label.alignment());
    if (label.wordWrap()) {
        flags |= Qt::TextWordWrap;
    }
    return flags;
}

// The classic group frame of dialogs: an etched rectangle whose top line runs
// through the middle of the title, in the palette's shadow and light colours,
// so that controls laid out by position sit inside it in every theme. The title
// is drawn over the line in the control's own font and colours.
void paintGroupFrame(QLabel& label, QPainter& painter, const StaticLook& look)
{
    const QFontMetrics metrics(look.font);
    const int titleHeight = metrics.height();
    const QRect frame = label.rect().adjusted(0, titleHeight / 2, 0, 0);
    qDrawShadeRect(&painter, frame, label.palette(), true, 1, 0);

    const QString title = label.text();
    if (title.isEmpty()) {
        return;
    }
    const int titleWidth = std::min(metrics.horizontalAdvance(title) + 2 * kTitleGap, label.width() - 2 * kTitleInset);
    const QRect titleArea(kTitleInset, 0, std::max(titleWidth, 0), titleHeight);
    painter.fillRect(titleArea, look.background);
    painter.setFont(look.font);
    painter.setPen(look.text);
    painter.drawText(titleArea.adjusted(kTitleGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     title);
}

// The label's indent, on the side its text is aligned to (as QLabel does it: a
// negative indent on a framed label is half an "x").
QRect indented(const QLabel& label, const QFont& font, QRect contents)
{
    int indent = label.indent();
    if (indent < 0 && label.frameWidth() > 0) {
        indent = QFontMetrics(font).horizontalAdvance(QLatin1Char('x')) / 2;
    }
    if (indent <= 0) {
        return contents;
    }
    const Qt::Alignment align = QStyle::visualAlignment(label.layoutDirection(), label.alignment());
    if (align & Qt::AlignLeft) {
        contents.setLeft(contents.left() + indent);
    } else if (align & Qt::AlignRight) {
        contents.setRight(contents.right() - indent);
    }
    if (align & Qt::AlignTop) {
        contents.setTop(contents.top() + indent);
    } else if (align & Qt::AlignBottom) {
        contents.setBottom(contents.bottom() - indent);
    }
    return contents;
}

} // namespace

void PaintStatic(QLabel& label, QPainter& painter, const StaticLook& look)
{
    if (look.groupFrame) {
        paintGroupFrame(label, painter, look);
        return;
    }
    painter.fillRect(label.rect(), look.background);
    const QRect contents = indented(label, look.font,
                                    label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(),
                                                                  -label.margin()));
    const QPixmap picture = label.pixmap();
    if (!picture.isNull()) {
        const QSize size = picture.deviceIndependentSize().toSize();
        const QRect target = QStyle::alignedRect(label.layoutDirection(), label.alignment(), size, contents);
        painter.drawPixmap(target, picture);
        return;
    }
    painter.setFont(look.font);
    painter.setPen(look.text);
    painter.drawText(contents, textFlags(label), label.text());
}

QSize StaticSizeHint(const QLabel& label, const QFont& font, bool groupFrame)
{
    const QFontMetrics metrics(font);
    if (groupFrame) {
        const int titleWidth = metrics.horizontalAdvance(label.text()) + 2 * (kTitleInset + kTitleGap);
        return QSize(titleWidth, metrics.height() * 2);
    }
    const QPixmap picture = label.pixmap();
    QSize content;
    if (!picture.isNull()) {
        content = picture.deviceIndependentSize().toSize();
    } else {
        content = metrics.boundingRect(QRect(0, 0, 2000, 2000), textFlags(label), label.text()).size();
        content.setHeight(std::max(content.height(), metrics.height()));
    }
    const int frame = 2 * (label.frameWidth() + label.margin());
    const QRect room(0, 0, 1000, 1000);
    const QRect inside = indented(label, font, room);
    return content + QSize(frame + room.width() - inside.width(), frame + room.height() - inside.height());
}

QPixmap ResourcePixmap(unsigned int resourceId)
{
    const QIcon icon = LoadResourceIcon(resourceId);
    if (icon.isNull()) {
        return {};
    }
    const QList<QSize> sizes = icon.availableSizes();
    return icon.pixmap(sizes.isEmpty() ? QSize(32, 32) : sizes.first());
}

} // namespace skinwork
