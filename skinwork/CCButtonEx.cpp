// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CCButtonEx.h"

#include <QFontMetrics>
#include <QRegion>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kOwnerDrawPolicy{
    .bold = StylePolicy::Bold::ExactlyOne,
    .rebuild = StylePolicy::Rebuild::Immediate,
    .boldRebuild = StylePolicy::Rebuild::Immediate,
    .sizeUsesFactor = false,
    .position = StylePolicy::Position::MainWindow,
    .backgroundColor = skinwork::COLOR_BTNFACE,
};

constexpr int kTextFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;
// The face lies inside the push-button frame by this many pixels.
constexpr int kFrameWidth = 2;
// The focus rectangle lies inside the face by one border.
constexpr int kBorder = 1;

} // namespace

CCButtonEx::CCButtonEx(QWidget* parent) : CCButtonEx(QString(), parent) {}

CCButtonEx::CCButtonEx(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
    , StyledControl(*this, kOwnerDrawPolicy)
{
    styleChanged();
}

CCButtonEx::~CCButtonEx() = default;

QSize CCButtonEx::sizeHint() const
{
    const QFontMetrics metrics(styledFont());
    const QSize text = metrics.size(kTextFlags, this->text());
    return QSize(text.width() + 6 * kFrameWidth + 8, text.height() + 4 * kFrameWidth + 4);
}

void CCButtonEx::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    const bool pressed = isDown() || isChecked();

    QStyleOptionButton frame;
    initStyleOption(&frame);
    frame.text.clear();
    frame.icon = QIcon();
    frame.state &= ~(QStyle::State_Sunken | QStyle::State_Raised | QStyle::State_HasFocus);
    frame.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    painter.drawPrimitive(QStyle::PE_PanelButtonCommand, frame);

    QRect face = rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    if (pressed) {
        face.translate(1, 1);
    }
    const QColor background = skinwork::ToQColor(backColor());
    painter.fillRect(face, background);
    contentRect_ = face;

    const QString caption = text();
    if (!caption.isEmpty()) {
        painter.setFont(styledFont());
        const QSize measured = QFontMetrics(styledFont()).size(kTextFlags, caption);
        const QRect textArea((face.width() - measured.width()) / 2 + face.left(),
                             (face.height() - measured.height()) / 2 + face.top(), measured.width(),
                             measured.height());
        if (isEnabled()) {
            painter.setPen(skinwork::ToQColor(foreColor()));
            painter.drawText(textArea, kTextFlags, caption);
        } else {
            // Engraved: a light copy one pixel down-right under a shadow-coloured one.
            painter.setPen(palette().color(QPalette::Light));
            painter.drawText(textArea.translated(1, 1), kTextFlags, caption);
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawText(textArea, kTextFlags, caption);
        }
    }

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        // Shown whenever the button has the focus, however it got it.
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
        focus.rect = face.adjusted(kBorder, kBorder, -kBorder, -kBorder);
        focus.backgroundColor = background;
        // Only the outline: some styles tint the inside, which would hide the face colour.
        painter.save();
        painter.setClipRegion(QRegion(focus.rect) - QRegion(focus.rect.adjusted(2, 2, -2, -2)));
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        painter.restore();
    }

    recordPosition();
}

void CCButtonEx::styleChanged()
{
    setFont(styledFont());
}
