// SPDX-License-Identifier: GPL-3.0-or-later
// The styling mechanism across the family: which values make bold, when the font
// is made, what the setters return, what the font description turns into, and
// where controls record their position.
#include "GrabSupport.h"

#include "skinwork/Skinwork.h"

#include <QFontInfo>

#include <cstdlib>
#include <gtest/gtest.h>


#include <functional>
#include <memory>
#include <string>

namespace skinwork::test {
namespace {

struct Control {
    std::unique_ptr<QWidget> widget;
    StyledControl* style = nullptr;
};

template <class T>
Control make()
{
    auto* control = new T();
    return Control{std::unique_ptr<QWidget>(control), control};
}

struct ClassCase {
    std::string name;
    std::function<Control()> make;
    int weightForBold2;   // SetTextBold(2)
    bool deferred;        // font setters mark, the next paint makes the font
    bool fontInWidget;    // the control hands its font to the Qt widget
};

void PrintTo(const ClassCase& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<ClassCase> classCases()
{
    return {
        {"CStaticEx", make<CStaticEx>, kWeightBold, true, false},
        {"CStaticMeterEx", make<CStaticMeterEx>, kWeightBold, true, false},
        {"CStaticLEDEx", make<CStaticLEDEx>, kWeightBold, true, false},
        {"CStaticFrameEx", make<CStaticFrameEx>, kWeightBold, true, false},
        {"CButtonEx", make<CButtonEx>, kWeightNormal, false, true},
        {"CCButtonEx", make<CCButtonEx>, kWeightNormal, false, true},
        {"CEditEx", make<CEditEx>, kWeightNormal, false, true},
        {"CListBoxEx", make<CListBoxEx>, kWeightNormal, false, true},
    };
}

class EveryControl : public ::testing::TestWithParam<ClassCase> {};

INSTANTIATE_TEST_SUITE_P(Skinwork, EveryControl, ::testing::ValuesIn(classCases()),
                         [](const auto& info) { return info.param.name; });

TEST_P(EveryControl, BoldFromTwoFollowsTheClassRuleAndOneAlwaysMakesBold)
{
    Control control = GetParam().make();
    control.widget->resize(160, 40);
    control.style->SetTextBold(2);
    Grab(*control.widget);
    EXPECT_EQ(control.style->fontDescription().weight, GetParam().weightForBold2);
    EXPECT_EQ(control.style->styledFont().bold(), GetParam().weightForBold2 == kWeightBold);

    control.style->SetTextBold(1);
    Grab(*control.widget);
    EXPECT_TRUE(control.style->styledFont().bold());
    control.style->SetTextBold(0);
    Grab(*control.widget);
    EXPECT_FALSE(control.style->styledFont().bold());
}

TEST_P(EveryControl, DescriptionBecomesTheFontDrawnWith)
{
    Control control = GetParam().make();
    control.widget->resize(160, 40);
    control.style->SetTextSize(12);
    EXPECT_EQ(control.style->fontDescription().height, 12);
    control.style->SetTextSize(21);
    control.style->SetTextItalic(1);
    control.style->SetTextUnderLine(1);
    control.style->SetStrikeOut(1);
    control.style->SetCharType("Liberation Mono");
    Grab(*control.widget);

    const QFont& font = control.style->styledFont();
    EXPECT_EQ(font.pixelSize(), 21);
    EXPECT_TRUE(font.italic());
    EXPECT_TRUE(font.underline());
    EXPECT_TRUE(font.strikeOut());
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Mono"));
    if (GetParam().fontInWidget) {
        EXPECT_EQ(control.widget->font(), font);
    }
}

TEST_P(EveryControl, SeveralFontSettersMakeTheFontAsOftenAsTheClassSays)
{
    Control control = GetParam().make();
    control.widget->resize(160, 40);
    Grab(*control.widget);
    const int before = control.style->fontBuildCount();

    // Hidden: nothing is painted between the setters.
    control.style->SetTextSize(14);
    control.style->SetTextItalic(1);
    control.style->SetTextUnderLine(1);
    control.style->SetCharType("Liberation Serif");
    const int afterSetters = control.style->fontBuildCount();
    Grab(*control.widget);
    Grab(*control.widget);
    if (GetParam().deferred) {
        EXPECT_EQ(afterSetters, before);
        EXPECT_EQ(control.style->fontBuildCount(), before + 1);
    } else {
        EXPECT_EQ(afterSetters, before + 4);
        EXPECT_EQ(control.style->fontBuildCount(), before + 4);
    }
    EXPECT_FALSE(control.style->fontChangePending());
}

TEST_P(EveryControl, OverlongFaceNameIsRefusedAndChangesNothing)
{
    Control control = GetParam().make();
    const FontDescription before = control.style->fontDescription();
    const std::string longest(kFaceNameMax, 'A');
    const std::string tooLong(kFaceNameMax + 1, 'A');

    EXPECT_EQ(control.style->SetCharType(tooLong.c_str()), 0);
    EXPECT_EQ(control.style->SetCharType(nullptr), 0);
    EXPECT_EQ(control.style->fontDescription(), before);

    control.style->SetCharType(longest.c_str());
    EXPECT_STREQ(control.style->fontDescription().faceName, longest.c_str());
}

TEST_P(EveryControl, SettersReportTheRepaintOnlyWhileShown)
{
    Control control = GetParam().make();
    control.widget->resize(160, 40);
    const bool editHandsFont = GetParam().name == "CEditEx";
    // Hidden: nothing is repainted, except that the edit box reports handing
    // over its font.
    EXPECT_EQ(control.style->SetForeColor(RGB(1, 2, 3)), 0);
    EXPECT_EQ(control.style->SetBackColor(RGB(1, 2, 3)), 0);
    EXPECT_EQ(control.style->SetTextBold(1), 0);
    EXPECT_EQ(control.style->SetStrikeOut(1), 0);
    EXPECT_EQ(control.style->SetTextSize(12), editHandsFont ? 1 : 0);
    EXPECT_EQ(control.style->SetTextItalic(1), editHandsFont ? 1 : 0);
    EXPECT_EQ(control.style->SetTextUnderLine(1), editHandsFont ? 1 : 0);
    EXPECT_EQ(control.style->SetCharType("Liberation Sans"), editHandsFont ? 1 : 0);

    ShowAndExpose(*control.widget);
    EXPECT_EQ(control.style->SetForeColor(RGB(4, 5, 6)), 1);
    EXPECT_EQ(control.style->SetBackColor(RGB(4, 5, 6)), 1);
    EXPECT_EQ(control.style->SetTextBold(0), 1);
    EXPECT_EQ(control.style->SetStrikeOut(0), 1);
    EXPECT_EQ(control.style->SetTextSize(13), 1);
    EXPECT_EQ(control.style->SetTextItalic(0), 1);
    EXPECT_EQ(control.style->SetTextUnderLine(0), 1);
    EXPECT_EQ(control.style->SetCharType("Liberation Serif"), 1);
}

TEST(StyledControl, VisibleDeferredControlMakesItsFontAtEachRedraw)
{
    CStaticEx label(QStringLiteral("Model"));
    ShowAndExpose(label);
    const int before = label.fontBuildCount();
    EXPECT_EQ(label.SetTextSize(15), 1);
    EXPECT_EQ(label.SetTextItalic(1), 1);
    EXPECT_EQ(label.fontBuildCount(), before + 2);
    EXPECT_EQ(label.styledFont().pixelSize(), 15);
}

TEST(StyledControl, InitialColoursComeFromThePalette)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, QColor(10, 20, 30));
    palette.setColor(QPalette::Button, QColor(40, 50, 60));
    palette.setColor(QPalette::Base, QColor(70, 80, 90));
    QWidget parent;
    parent.setPalette(palette);

    const CStaticEx label(&parent);
    const CButtonEx button(&parent);
    const CEditEx edit(&parent);
    const CListBoxEx list(&parent);
    EXPECT_EQ(label.foreColor(), RGB(10, 20, 30));
    EXPECT_EQ(label.backColor(), RGB(40, 50, 60));
    EXPECT_EQ(button.backColor(), RGB(40, 50, 60));
    EXPECT_EQ(edit.backColor(), RGB(70, 80, 90));
    EXPECT_EQ(list.backColor(), RGB(70, 80, 90));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE, &parent), RGB(40, 50, 60));
    EXPECT_EQ(GetSysColor(12345, &parent), RGB(0, 0, 0));
}

TEST(StyledControl, ControlsStartFromTheMainWindowFont)
{
    QWidget mainWindow;
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(11);
    mainWindow.setFont(font);
    SetMainWindow(&mainWindow);
    const CStaticEx label;
    const CStaticMeterEx meter;
    SetMainWindow(nullptr);

    EXPECT_STREQ(label.fontDescription().faceName, "Liberation Serif");
    EXPECT_EQ(std::abs(label.fontDescription().height), 11);
    // The meter keeps the rest but uses 12 pixels of "MS Serif".
    EXPECT_STREQ(meter.fontDescription().faceName, "MS Serif");
    EXPECT_EQ(meter.fontDescription().height, 12);
    EXPECT_EQ(QFontInfo(meter.fontDescription().toQFont()).family(), QStringLiteral("Liberation Serif"));
}

TEST(StyledControl, MainWindowIsForgottenWhenDestroyed)
{
    auto window = std::make_unique<QWidget>();
    SetMainWindow(window.get());
    EXPECT_EQ(MainWindow(), window.get());
    window.reset();
    EXPECT_EQ(MainWindow(), nullptr);
}

TEST(StyledControl, PositionsAreRecordedInTheFrameOfEachClass)
{
    QWidget mainWindow;
    mainWindow.resize(400, 300);
    QWidget group(&mainWindow);
    group.setGeometry(30, 40, 300, 200);
    CStaticEx label(QStringLiteral("User Name"), &group);
    label.setGeometry(26, 79, 56, 16);
    CButtonEx button(QStringLiteral("CONTROL"), &group);
    button.setGeometry(113, 23, 50, 25);
    CCButtonEx ownerDrawn(QStringLiteral("Go"), &group);
    ownerDrawn.setGeometry(10, 120, 60, 25);
    CEditEx edit(&group);
    edit.setGeometry(5, 150, 100, 22);
    CStaticMeterEx meter(&group);
    meter.setGeometry(120, 150, 150, 20);
    CListBoxEx list(&group);
    CStaticFrameEx frame(&group);
    SetMainWindow(&mainWindow);
    ShowAndExpose(mainWindow);
    for (QWidget* widget : std::initializer_list<QWidget*>{&label, &button, &ownerDrawn, &edit, &meter, &list, &frame}) {
        widget->repaint();
    }
    // Moving a control after its first paint does not change the record.
    label.move(0, 0);
    label.repaint();
    SetMainWindow(nullptr);

    EXPECT_EQ(label.position(), (ControlPosition{79, 26, 16, 56}));
    EXPECT_EQ(button.position(), (ControlPosition{40 + 23, 30 + 113, 25, 50}));
    EXPECT_EQ(ownerDrawn.position(), (ControlPosition{40 + 120, 30 + 10, 25, 60}));
    EXPECT_EQ(edit.position(), (ControlPosition{150, 5, 22, 100}));
    EXPECT_EQ(meter.position(), (ControlPosition{0, 0, 20, 150}));
    EXPECT_TRUE(label.positionKnown());
    EXPECT_FALSE(list.positionKnown());
    EXPECT_FALSE(frame.positionKnown());
}

TEST(FontDescription, FieldsTurnIntoTheFont)
{
    struct Row {
        const char* what;
        std::function<void(FontDescription&)> change;
        std::function<bool(const QFont&)> holds;
    };
    const Row rows[] = {
        {"negative height is the pixel size", [](auto& d) { d.height = -15; }, [](auto& f) { return f.pixelSize() == 15; }},
        {"huge height is capped", [](auto& d) { d.height = INT32_MIN; }, [](auto& f) { return f.pixelSize() == 2048; }},
        {"weight 0 is normal", [](auto& d) { d.weight = 0; }, [](auto& f) { return f.weight() == QFont::Normal; }},
        {"weight 700 is bold", [](auto& d) { d.weight = 700; }, [](auto& f) { return f.weight() == QFont::Bold; }},
        {"fixed pitch", [](auto& d) { d.pitchAndFamily = kFixedPitch | kFamilyModern; },
         [](auto& f) { return f.fixedPitch() && f.styleHint() == QFont::TypeWriter; }},
        {"roman family", [](auto& d) { d.pitchAndFamily = kFamilyRoman; }, [](auto& f) { return f.styleHint() == QFont::Serif; }},
        {"no antialiasing", [](auto& d) { d.quality = kNonAntialiasedQuality; },
         [](auto& f) { return f.styleStrategy() & QFont::NoAntialias; }},
    };
    for (const Row& row : rows) {
        FontDescription description;
        description.setFaceName("Liberation Sans");
        row.change(description);
        EXPECT_TRUE(row.holds(description.toQFont())) << row.what;
    }
}

TEST(FontDescription, RoundTripKeepsTheFields)
{
    FontDescription description;
    description.height = -17;
    description.weight = 700;
    description.italic = 1;
    description.underline = 1;
    description.setFaceName("Liberation Mono");
    const FontDescription back = FontDescription::fromQFont(description.toQFont());
    EXPECT_EQ(back.height, -17);
    EXPECT_EQ(back.weight, 700);
    EXPECT_EQ(back.italic, 1);
    EXPECT_EQ(back.underline, 1);
    EXPECT_EQ(back.strikeOut, 0);
    EXPECT_STREQ(back.faceName, "Liberation Mono");
}

TEST(Color, RgbPacksRedIntoTheLowByte)
{
    EXPECT_EQ(RGB(0, 255, 0), 65280u);
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(ToQColor(RGB(255, 0, 0)), QColor(255, 0, 0));
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), RGB(1, 2, 3));
}

} // namespace
} // namespace skinwork::test
