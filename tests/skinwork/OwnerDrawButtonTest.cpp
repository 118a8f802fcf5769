// SPDX-License-Identifier: GPL-3.0-or-later
// The owner-drawn button as a user meets it: pressed with the mouse, focused,
// disabled, with and without text.
#include "GrabSupport.h"

#include "skinwork/CCButtonEx.h"

#include <gtest/gtest.h>

#include <QTest>

namespace skinwork::test {
namespace {

const QColor kText(255, 0, 0);
const QColor kFace(255, 255, 0);

class OwnerDrawn : public GrabTest {
protected:
    OwnerDrawn() : button(QStringLiteral("HIM"))
    {
        button.resize(120, 40);
        button.SetTextSize(20);
        button.SetTextBold(1);
        button.SetForeColor(RGB(255, 0, 0));
        button.SetBackColor(RGB(255, 255, 0));
    }
    CCButtonEx button;
};

TEST_F(OwnerDrawn, PressedFaceAndTextMoveOnePixelRightAndDown)
{
    ShowAndExpose(button);
    const QImage released = grab(button, QStringLiteral("released"));
    const QRect releasedFace = button.contentRect();
    QTest::mousePress(&button, Qt::LeftButton, {}, button.rect().center());
    ASSERT_TRUE(button.isDown());
    const QImage pressed = grab(button, QStringLiteral("pressed"));
    const QRect pressedFace = button.contentRect();
    QTest::mouseRelease(&button, Qt::LeftButton, {}, button.rect().center());

    const QRect textReleased = ColorBounds(released, kText, 30);
    const QRect textPressed = ColorBounds(pressed, kText, 30);
    ASSERT_FALSE(textReleased.isNull());
    EXPECT_EQ(textPressed, textReleased.translated(1, 1));
    EXPECT_EQ(pressedFace, releasedFace.translated(1, 1));
    EXPECT_EQ(ColorBounds(released, kFace), releasedFace);
    EXPECT_EQ(ColorBounds(pressed, kFace), pressedFace);
}

TEST_F(OwnerDrawn, TextIsCentredInTheFace)
{
    const QImage image = grab(button, QStringLiteral("centred"));
    const QRect face = button.contentRect();
    const QRect text = ColorBounds(image, kText, 30);
    EXPECT_LE(std::abs((text.left() - face.left()) - (face.right() - text.right())), 2);
    EXPECT_LE(std::abs((text.top() - face.top()) - (face.bottom() - text.bottom())), 4);
}

TEST_F(OwnerDrawn, AmpersandUnderlinesTheNextCharacterAndIsNotDrawn)
{
    const QImage plain = grab(button, QStringLiteral("plain"));
    button.setText(QStringLiteral("&HIM"));
    const QImage marked = grab(button, QStringLiteral("marked"));
    const QRect plainText = ColorBounds(plain, kText, 30);
    const QRect markedText = ColorBounds(marked, kText, 30);
    // No ampersand: the ink is as wide as the plain text, give or take the
    // underline reaching past the first letter's ink.
    EXPECT_LE(std::abs(markedText.width() - plainText.width()), 3);
    EXPECT_GT(markedText.bottom(), plainText.bottom());
    EXPECT_GT(CountColor(marked, kText, 30), CountColor(plain, kText, 30));
}

TEST_F(OwnerDrawn, DisabledTextIsEngravedNotInTheTextColour)
{
    button.setEnabled(false);
    const QImage image = grab(button, QStringLiteral("disabled"));
    EXPECT_EQ(CountColor(image, kText, 30), 0);
    const QRect face = button.contentRect();
    EXPECT_GT(CountColor(image, button.palette().color(QPalette::Dark), 0, face), 10);
    EXPECT_GT(CountColor(image, button.palette().color(QPalette::Light), 0, face), 10);
}

TEST_F(OwnerDrawn, EmptyTextDrawsFaceAndFocusOnly)
{
    button.setText(QString());
    const QImage unfocused = grab(button, QStringLiteral("unfocused"));
    const QRect face = button.contentRect();
    EXPECT_EQ(CountColor(unfocused, kFace, 0, face), face.width() * face.height());

    ShowAndExpose(button);
    button.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return button.hasFocus(); }, 2000));
    const QImage focused = grab(button, QStringLiteral("focused"));
    const int notFace = face.width() * face.height() - CountColor(focused, kFace, 0, face);
    EXPECT_GT(notFace, 0);
    // The focus rectangle is an outline one pixel inside the face.
    const QRect edge = face.adjusted(0, 0, 0, -face.height() + 1);
    EXPECT_EQ(CountColor(focused, kFace, 0, edge), edge.width());
    const QRect middle = face.adjusted(4, 4, -4, -4);
    EXPECT_EQ(CountColor(focused, kFace, 0, middle), middle.width() * middle.height());
}

TEST_F(OwnerDrawn, ClickingRunsTheButton)
{
    ShowAndExpose(button);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(clicks, 2);
}

} // namespace
} // namespace skinwork::test
