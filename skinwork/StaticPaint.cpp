#include "skinwork/StaticPaint.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

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

void paintGroupFrame(QLabel& label, QPainter& painter, const StaticLook& look)
{
    const QFontMetrics metrics(look.font);
    const int titleHeight = metrics.height();
    QStyleOptionFrame frame;
    frame.initFrom(&label);
    frame.rect = label.rect().adjusted(0, titleHeight / 2, 0, 0);
    frame.lineWidth = 1;
    frame.midLineWidth = 0;
    label.style()->drawPrimitive(QStyle::PE_FrameGroupBox, &frame, &painter, &label);

    const QString title = label.text();
    if (title.isEmpty()) {
        return;
    }
    const int titleWidth = metrics.horizontalAdvance(title) + 2 * kTitleGap;
    const QRect titleArea(kTitleInset, 0, std::min(titleWidth, label.width() - 2 * kTitleInset), titleHeight);
    painter.fillRect(titleArea, look.background);
    painter.setFont(look.font);
    painter.setPen(look.text);
    painter.drawText(titleArea.adjusted(kTitleGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     title);
}

} // namespace

void PaintStatic(QLabel& label, QPainter& painter, const StaticLook& look)
{
    if (look.groupFrame) {
        paintGroupFrame(label, painter, look);
        return;
    }
    painter.fillRect(label.rect(), look.background);
    const QRect contents = label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(),
                                                         -label.margin());
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
    return content + QSize(frame, frame);
}

} // namespace skinwork
