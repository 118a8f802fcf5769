// SPDX-License-Identifier: GPL-3.0-or-later
// What the dialogs share: their fonts (the dialog font of their controls, a
// small serif face, and the GUI font of lists and free texts, a small sans-serif
// face), labels, frames, buttons, edits and check boxes placed at their pixel
// positions, and the
// conversion between the profile's UTF-8 texts and Qt's. GUI thread only.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <string>

class CStaticEx;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace dialogs {

QFont DialogFont();
QFont GuiFont();

// A static text at `where`, drawn from its top left corner.
QLabel* AddLabel(QWidget* parent, const char* text, const QRect& where);
// A group frame at `where` whose title is in the dialog font.
CStaticEx* AddFrame(QWidget* parent, const char* text, const QRect& where);
// A push button named `name` at `where`.
QPushButton* AddButton(QWidget* parent, const char* name, const char* text, const QRect& where);
// A one-line edit named `name` at `where`, typed into without an input method.
QLineEdit* AddEdit(QWidget* parent, const char* name, const QRect& where);
// A check box named `name` at `where`.
QCheckBox* AddCheckBox(QWidget* parent, const char* name, const char* text, const QRect& where);

QString FromUtf8(const std::string& text);
std::string Utf8(const QString& text);

} // namespace dialogs
