// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/DialogControls.h"

#include "skinwork/CStaticEx.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace dialogs {
namespace {

// 8 points at 96 dots per inch.
constexpr int kFontPixels = 11;

QFont SizedFont(const char* family, QFont::StyleHint hint)
{
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(hint);
    font.setPixelSize(kFontPixels);
    return font;
}

} // namespace

QFont DialogFont()
{
    return SizedFont("Liberation Serif", QFont::Serif);
}

QFont GuiFont()
{
    return SizedFont("Liberation Sans", QFont::SansSerif);
}

QLabel* AddLabel(QWidget* parent, const char* text, const QRect& where)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(where);
    return label;
}

CStaticEx* AddFrame(QWidget* parent, const char* text, const QRect& where)
{
    auto* frame = new CStaticEx(QString::fromLatin1(text), parent);
    frame->setGroupFrame(true);
    const QFont font = DialogFont();
    frame->SetCharType(font.family().toLatin1().constData());
    frame->SetTextSize(static_cast<unsigned>(font.pixelSize()));
    frame->setGeometry(where);
    return frame;
}

QPushButton* AddButton(QWidget* parent, const char* name, const char* text, const QRect& where)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(where);
    return button;
}

QLineEdit* AddEdit(QWidget* parent, const char* name, const QRect& where)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(where);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    return edit;
}

QCheckBox* AddCheckBox(QWidget* parent, const char* name, const char* text, const QRect& where)
{
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(where);
    return box;
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace dialogs
