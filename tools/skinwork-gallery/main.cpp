// SPDX-License-Identifier: GPL-3.0-or-later
// skinwork-gallery: every control of the library in a few styles, so that a
// person can look at them. `skinwork-gallery --screenshot FILE` saves a PNG of
// the window and exits (use QT_QPA_PLATFORM=offscreen without a display).
#include "skinwork/Skinwork.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

using skinwork::RGB;

constexpr auto kWhite = RGB(255, 255, 255);
constexpr auto kRed = RGB(255, 0, 0);
constexpr auto kNavy = RGB(0, 0, 128);
constexpr auto kPaleYellow = RGB(255, 255, 204);
constexpr auto kDarkGreen = RGB(0, 100, 0);

// A group frame that lays out its contents below its title.
CStaticEx* groupFrame(const QString& title, QLayout* contents)
{
    auto* frame = new CStaticEx(title);
    frame->setGroupFrame(true);
    frame->SetTextBold(1);
    const int titleHeight = QFontMetrics(frame->fontDescription().toQFont()).height();
    contents->setContentsMargins(10, titleHeight + 4, 10, 8);
    frame->setLayout(contents);
    return frame;
}

CStaticEx* label(const QString& text)
{
    return new CStaticEx(text);
}

QWidget* statusSection()
{
    auto* grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Model")), 0, 0);
    auto* model = label(QStringLiteral("Tarsel"));
    model->SetTextBold(1);
    grid->addWidget(model, 0, 1);
    auto* onAir = label(QStringLiteral("ONAIR"));
    onAir->setAlignment(Qt::AlignCenter);
    onAir->SetTextBold(1);
    onAir->SetForeColor(kWhite);
    onAir->SetBackColor(kRed);
    onAir->setMinimumWidth(60);
    grid->addWidget(onAir, 0, 2);
    grid->addWidget(label(QStringLiteral("Session Time")), 1, 0);
    auto* time = label(QStringLiteral("0:05:07 / 1:00:00"));
    time->SetForeColor(kNavy);
    time->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    time->setIndent(3);
    grid->addWidget(time, 1, 1, 1, 2);
    return groupFrame(QStringLiteral("Radio Status"), grid);
}

QWidget* textSection()
{
    auto* row = new QVBoxLayout;
    auto* bold = label(QStringLiteral("Bold (SetTextBold 2)"));
    bold->SetTextBold(2);
    auto* italic = label(QStringLiteral("Italic, underlined"));
    italic->SetTextItalic(1);
    italic->SetTextUnderLine(1);
    auto* struck = label(QStringLiteral("Struck out"));
    struck->SetStrikeOut(1);
    auto* large = label(QStringLiteral("MS Serif, 18 pixels"));
    large->SetCharType("MS Serif");
    large->SetTextSize(18);
    auto* coloured = label(QStringLiteral("Navy on pale yellow"));
    coloured->SetForeColor(kNavy);
    coloured->SetBackColor(kPaleYellow);
    auto* frameLabel = new CStaticFrameEx(QStringLiteral("CStaticFrameEx, green"));
    frameLabel->SetForeColor(kDarkGreen);
    frameLabel->SetTextItalic(1);
    for (QWidget* widget : std::initializer_list<QWidget*>{bold, italic, struck, large, coloured, frameLabel}) {
        row->addWidget(widget);
    }
    return groupFrame(QStringLiteral("CStaticEx"), row);
}

QWidget* meterSection()
{
    auto* column = new QVBoxLayout;
    auto* peak = new CStaticMeterEx;
    peak->SetTimerCount(4999);
    peak->ResetMeter();
    peak->ViewMeter(27);
    peak->ViewMeter(14);
    peak->ViewSMeterSql(1, 20);
    peak->SetSMSColor(kRed);
    auto* plain = new CStaticMeterEx;
    plain->SetForeColor(kDarkGreen);
    plain->SetBackColor(kPaleYellow);
    plain->SetTextBold(1);
    plain->ResetMeter();
    plain->ViewMeter(22);
    column->addWidget(peak);
    column->addWidget(plain);

    // Lamps: one blinking, one lit for good, one off.
    auto* lamps = new QHBoxLayout;
    auto* blinking = new CStaticLEDEx(QStringLiteral(" "));
    blinking->SetTimerCount(300);
    blinking->SetLEDON(1);
    auto* blink = new QTimer(blinking);
    QObject::connect(blink, &QTimer::timeout, blinking, [blinking] { blinking->SetLEDON(1); });
    blink->start(600);
    auto* steady = new CStaticLEDEx(QStringLiteral(" "));
    steady->SetOnColor(kRed);
    steady->SetTimerCount(0);
    steady->SetLEDON(1);
    auto* off = new CStaticLEDEx(QStringLiteral(" "));
    off->SetLEDON(0);
    for (CStaticLEDEx* lamp : {blinking, steady, off}) {
        lamp->setFixedSize(18, 14);
        lamps->addWidget(lamp);
    }
    lamps->addWidget(label(QStringLiteral("CStaticLEDEx: blinking, on, off")));
    lamps->addStretch();
    column->addLayout(lamps);
    return groupFrame(QStringLiteral("CStaticMeterEx and CStaticLEDEx"), column);
}

QWidget* buttonSection(CCButtonEx*& focused)
{
    auto* grid = new QGridLayout;
    auto* plain = new CButtonEx(QStringLiteral("CButtonEx"));
    auto* coloured = new CButtonEx(QStringLiteral("Bold, coloured"));
    coloured->SetTextBold(1);
    coloured->SetForeColor(kWhite);
    coloured->SetBackColor(kNavy);
    grid->addWidget(plain, 0, 0);
    grid->addWidget(coloured, 0, 1);

    auto* normal = new CCButtonEx(QStringLiteral("&Owner drawn"));
    auto* pressed = new CCButtonEx(QStringLiteral("&Pressed"));
    pressed->setDown(true);
    focused = new CCButtonEx(QStringLiteral("&Focused"));
    focused->SetBackColor(kPaleYellow);
    focused->SetForeColor(kNavy);
    auto* disabled = new CCButtonEx(QStringLiteral("&Disabled"));
    disabled->setEnabled(false);
    grid->addWidget(normal, 1, 0);
    grid->addWidget(pressed, 1, 1);
    grid->addWidget(focused, 2, 0);
    grid->addWidget(disabled, 2, 1);
    return groupFrame(QStringLiteral("CButtonEx and CCButtonEx"), grid);
}

QWidget* inputSection()
{
    auto* column = new QVBoxLayout;
    auto* edit = new CEditEx;
    edit->setText(QStringLiteral("CEditEx, italic"));
    edit->SetTextItalic(1);
    auto* colouredEdit = new CEditEx;
    colouredEdit->setText(QStringLiteral("White on navy, bold"));
    colouredEdit->SetForeColor(kWhite);
    colouredEdit->SetBackColor(kNavy);
    colouredEdit->SetTextBold(1);
    auto* list = new CListBoxEx;
    list->addItems({QStringLiteral("CListBoxEx"), QStringLiteral("demo  Radio club station"),
                    QStringLiteral("guest  Visitor (disabled)")});
    list->SetForeColor(kDarkGreen);
    list->SetBackColor(kPaleYellow);
    list->setFixedHeight(64);
    column->addWidget(edit);
    column->addWidget(colouredEdit);
    column->addWidget(list);
    return groupFrame(QStringLiteral("CEditEx and CListBoxEx"), column);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("skinwork-gallery"));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Shows the styled controls of Skinwork."));
    options.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a PNG of the window to FILE and exit."),
                                        QStringLiteral("FILE"));
    options.addOption(screenshot);
    options.process(application);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Skinwork gallery"));
    QFont dialogFont(QStringLiteral("Times New Roman"));
    dialogFont.setPixelSize(13);
    window.setFont(dialogFont);
    skinwork::SetMainWindow(&window);

    CCButtonEx* focused = nullptr;
    auto* grid = new QGridLayout(&window);
    grid->addWidget(statusSection(), 0, 0);
    grid->addWidget(meterSection(), 0, 1);
    grid->addWidget(textSection(), 1, 0);
    grid->addWidget(buttonSection(focused), 1, 1);
    grid->addWidget(inputSection(), 2, 0, 1, 2);
    window.show();
    focused->setFocus();

    if (!options.isSet(screenshot)) {
        return application.exec();
    }
    // Let the window be laid out and painted once before it is grabbed.
    QTimer::singleShot(200, &window, [&] {
        const QString file = options.value(screenshot);
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "skinwork-gallery: cannot write %s\n", qPrintable(file));
            application.exit(1);
            return;
        }
        application.exit(0);
    });
    return application.exec();
}
