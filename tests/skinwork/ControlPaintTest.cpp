// SPDX-License-Identifier: GPL-3.0-or-later
// What the controls paint: background and text colours found in grabbed images.
#include "GrabSupport.h"

#include "skinwork/Skinwork.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>

#include <functional>
#include <memory>
#include <string>

namespace skinwork::test {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

struct PaintCase {
    std::string name;
    std::function<std::pair<std::unique_ptr<QWidget>, StyledControl*>()> make;
    // Colour tolerance of the background: the style shades push-button faces.
    int backgroundTolerance;
};

void PrintTo(const PaintCase& row, std::ostream* out)
{
    *out << row.name;
}

template <class T>
std::pair<std::unique_ptr<QWidget>, StyledControl*> makeWithText(std::function<void(T&)> fill)
{
    auto* control = new T();
    fill(*control);
    return {std::unique_ptr<QWidget>(control), control};
}

std::vector<PaintCase> paintCases()
{
    const QString text = QStringLiteral("HIM");
    return {
        {"CStaticEx", [=] { return makeWithText<CStaticEx>([&](auto& c) { c.setText(text); }); }, 0},
        {"CStaticLEDEx", [=] { return makeWithText<CStaticLEDEx>([&](auto& c) { c.setText(text); }); }, 0},
        {"CStaticFrameEx", [=] { return makeWithText<CStaticFrameEx>([&](auto& c) { c.setText(text); }); }, 0},
        {"CStaticMeterEx", [] { return makeWithText<CStaticMeterEx>([](auto& c) { c.ViewMeter(10); }); }, 0},
        {"CButtonEx", [=] { return makeWithText<CButtonEx>([&](auto& c) { c.setText(text); }); }, 110},
        {"CCButtonEx", [=] { return makeWithText<CCButtonEx>([&](auto& c) { c.setText(text); }); }, 0},
        {"CEditEx", [=] { return makeWithText<CEditEx>([&](auto& c) { c.setText(text); }); }, 0},
        {"CListBoxEx", [=] { return makeWithText<CListBoxEx>([&](auto& c) { c.addItem(text); }); }, 0},
    };
}

class PaintedControl : public GrabTest, public ::testing::WithParamInterface<PaintCase> {};

INSTANTIATE_TEST_SUITE_P(Skinwork, PaintedControl, ::testing::ValuesIn(paintCases()),
                         [](const auto& info) { return info.param.name; });

TEST_P(PaintedControl, PaintsTheLastBackgroundAndTheTextColour)
{
    auto [widget, style] = GetParam().make();
    widget->resize(180, 60);
    style->SetTextSize(24);
    style->SetTextBold(1);
    style->SetForeColor(RGB(255, 0, 0));
    style->SetBackColor(RGB(0, 0, 255));
    style->SetBackColor(RGB(255, 255, 0));
    const QImage image = grab(*widget, QStringLiteral("yellow"));

    const int area = image.width() * image.height();
    EXPECT_GT(CountColor(image, kYellow, GetParam().backgroundTolerance), area / 4);
    EXPECT_EQ(CountColor(image, kBlue, 60), 0);
    EXPECT_GT(CountColor(image, kRed, 30), 10);
}

TEST_F(GrabTest, DefaultLookIsTheSystemColours)
{
    CStaticEx label(QStringLiteral("HIM"));
    label.resize(120, 30);
    const QImage image = grab(label, QStringLiteral("default"));
    EXPECT_GT(CountColor(image, label.palette().color(QPalette::Button)), image.width() * image.height() / 2);
    EXPECT_GT(CountColor(image, label.palette().color(QPalette::WindowText), 40), 0);
}

TEST_F(GrabTest, GroupFrameDrawsTitleInItsColoursAndLeavesTheInsideToItsSiblings)
{
    QWidget dialog;
    dialog.resize(240, 120);
    dialog.setAutoFillBackground(true);
    QPalette palette = dialog.palette();
    palette.setColor(QPalette::Window, QColor(200, 200, 200));
    dialog.setPalette(palette);
    CStaticEx frame(QStringLiteral("Radio Status"), &dialog);
    frame.setGroupFrame(true);
    frame.setGeometry(10, 5, 220, 100);
    frame.SetForeColor(RGB(255, 0, 0));
    frame.SetBackColor(RGB(255, 255, 0));
    frame.SetTextSize(14);
    frame.SetTextBold(1);
    CStaticEx inside(QStringLiteral("Model"), &dialog);
    inside.setGeometry(40, 50, 60, 20);
    inside.SetBackColor(RGB(0, 0, 255));

    const QImage image = grab(dialog, QStringLiteral("group"));
    const QRect title = ColorBounds(image, kRed, 30);
    ASSERT_FALSE(title.isNull());
    EXPECT_LT(title.bottom(), 5 + 24);
    EXPECT_GT(CountColor(image, kYellow, 0, title), 0);
    // Inside the frame: the dialog's colour (as the style shades it), not the
    // title's background, and the sibling on top.
    EXPECT_TRUE(Near(image.pixelColor(120, 90), QColor(200, 200, 200), 12));
    EXPECT_EQ(image.pixelColor(96, 52), kBlue);
    // A frame line runs down the left edge and along the bottom.
    const auto differs = [&](int x, int y) { return !Near(image.pixelColor(x, y), image.pixelColor(120, 90), 12); };
    int leftRows = 0;
    for (int y = 45; y < 95; ++y) {
        leftRows += differs(10, y) || differs(11, y) ? 1 : 0;
    }
    int bottomColumns = 0;
    for (int x = 30; x < 200; ++x) {
        bottomColumns += differs(x, 104) || differs(x, 103) ? 1 : 0;
    }
    EXPECT_EQ(leftRows, 50);
    EXPECT_EQ(bottomColumns, 170);
    // The top line runs through the middle of the title, right of it.
    const int lineY = 5 + QFontMetrics(frame.styledFont()).height() / 2;
    EXPECT_TRUE(differs(200, lineY) || differs(200, lineY + 1));
    EXPECT_FALSE(differs(200, lineY + 4));
}

TEST_F(GrabTest, SunkenPanelFrameIsDrawnAroundTheText)
{
    CStaticEx field;
    field.resize(100, 24);
    field.SetBackColor(RGB(255, 255, 0));
    field.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const QImage image = grab(field, QStringLiteral("sunken"));
    const QColor shadow = field.palette().color(QPalette::Dark);
    const QColor light = field.palette().color(QPalette::Light);
    EXPECT_TRUE(Near(image.pixelColor(50, 0), shadow, 3));
    EXPECT_TRUE(Near(image.pixelColor(50, 23), light, 3));
    EXPECT_EQ(image.pixelColor(50, 12), kYellow);

    // The indent keeps the text off the frame.
    field.setText(QStringLiteral("HIM"));
    field.SetForeColor(RGB(255, 0, 0));
    field.SetTextBold(1);
    field.setIndent(0);
    const int plainLeft = ColorBounds(grab(field, QStringLiteral("plain")), kRed, 30).left();
    field.setIndent(12);
    const int indentedLeft = ColorBounds(grab(field, QStringLiteral("indented")), kRed, 30).left();
    EXPECT_EQ(indentedLeft, plainLeft + 12);
}

TEST_F(GrabTest, IconFromResourceNumberReplacesTheText)
{
    QPixmap picture(16, 16);
    picture.fill(kBlue);
    RegisterIcon(4711, QIcon(picture));
    CStaticEx label(QStringLiteral("HIM"));
    label.resize(40, 40);
    CButtonEx button(QStringLiteral("B"));
    button.resize(60, 30);
    label.LoadIconA(4711);
    button.LoadIconA(4711);
    label.LoadIconA(4712);  // unknown: the picture stays

    EXPECT_EQ(CountColor(grab(label, QStringLiteral("label")), kBlue), 16 * 16);
    EXPECT_EQ(CountColor(grab(button, QStringLiteral("button")), kBlue), 16 * 16);
}

} // namespace
} // namespace skinwork::test
