#include "skinwork/StaticPaint.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComplex>

namespace skinwork {
namespace {

// Horizontal inset of a group frame's title (for the size hint) and the gap around it.
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

// The frame comes from the style, so it looks like the theme's group boxes; the
// title is drawn here, in the control's own font and colours, where the style
// puts the title of a group box.
QStyleOptionGroupBox groupOption(const QLabel& label, const QFont& font)
{
    QStyleOptionGroupBox option;
    option.initFrom(&label);
    option.rect = label.rect();
    option.text = label.text();
    option.fontMetrics = QFontMetrics(font);
    option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.subControls = QStyle::SC_GroupBoxFrame;
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.features = QStyleOptionFrame::None;
    return option;
}

void paintGroupFrame(QLabel& label, QPainter& painter, const StaticLook& look)
{
    const QStyleOptionGroupBox option = groupOption(label, look.font);
    label.style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, &label);
    const QString title = label.text();
    if (title.isEmpty()) {
        return;
    }
    const QFontMetrics metrics(look.font);
    QRect titleArea = label.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &label);
    titleArea.setWidth(std::min(metrics.horizontalAdvance(title) + 2 * kTitleGap, label.width() - titleArea.left()));
    titleArea.setHeight(std::max(titleArea.height(), metrics.height()));
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
