// SPDX-License-Identifier: GPL-3.0-or-later
// The styling shared by every control of the library: a font description, a
// text colour and a background colour that the owner changes at run time and
// that the control applies when it is drawn. Each control class derives from
// its Qt widget and from StyledControl; a StylePolicy holds the per-class
// differences (when the font is rebuilt, which values make it bold, whether the
// size is scaled, which position is recorded). GUI thread only.
//
// Font setters change the description. With a deferred rebuild they only mark
// it changed and the next paint makes the font once, however many setters ran;
// with an immediate rebuild the font is made at once. Every setter then redraws
// the control synchronously and returns the redraw result: 1 when the control
// is shown and was repainted, 0 while it is hidden.
#pragma once

#include "skinwork/Color.h"
#include "skinwork/FontDescription.h"
#include "skinwork/SkinworkExport.h"

#include <QFont>

class QWidget;

namespace skinwork {

enum class FontField { Size, Bold, Italic, Underline, StrikeOut, Face };

struct StylePolicy {
    enum class Bold { AnyNonZero, ExactlyOne };
    enum class Rebuild { Deferred, Immediate };
    // Where the control records its rectangle at its first paint.
    enum class Position { None, Parent, MainWindow, Client };

    Bold bold = Bold::AnyNonZero;
    Rebuild rebuild = Rebuild::Deferred;
    Rebuild boldRebuild = Rebuild::Deferred;
    bool sizeUsesFactor = true;
    Position position = Position::None;
    int backgroundColor = COLOR_BTNFACE;  // system colour index of the initial background
};

// A rectangle as recorded: top, left, height, width.
struct ControlPosition {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;
    bool operator==(const ControlPosition&) const = default;
};

class SKINWORK_EXPORT StyledControl {
public:
    virtual ~StyledControl();
    StyledControl(const StyledControl&) = delete;
    StyledControl& operator=(const StyledControl&) = delete;

    int SetTextSize(unsigned int size);
    int SetTextBold(int bold);
    int SetTextItalic(int italic);
    int SetTextUnderLine(int underline);
    int SetStrikeOut(int strikeOut);
    // Refuses a null name or one longer than 31 characters: 0, nothing changed.
    int SetCharType(const char* faceName);
    int SetForeColor(COLORREF color);
    int SetBackColor(COLORREF color);

    const FontDescription& fontDescription() const { return description_; }
    // The font the control draws with (as last made from the description).
    const QFont& styledFont() const { return font_; }
    bool fontChangePending() const { return fontChanged_; }
    // How many times the font was made from the description so far.
    int fontBuildCount() const { return fontBuilds_; }
    COLORREF foreColor() const { return foreColor_; }
    COLORREF backColor() const { return backColor_; }
    double textSizeFactor() const { return textSizeFactor_; }
    bool positionKnown() const { return positionKnown_; }
    ControlPosition position() const { return position_; }

protected:
    StyledControl(QWidget& widget, const StylePolicy& policy);

    // Makes the font from the description when a change is pending (the deferred
    // rebuild at paint time).
    void prepareFont();
    // Makes the font from the description now.
    void rebuildFont();
    // Records the control's rectangle the first time it is called.
    void recordPosition();
    // Synchronous repaint: 1 when the control is shown and was repainted, else 0.
    int redraw();

    // Runs after a font setter changed the description; returns the setter's
    // result. The default rebuilds or marks as the policy says, then redraws.
    virtual int afterFontChange(FontField field);
    // Runs after the font was made and after a colour changed, so that controls
    // drawn by Qt can take the font and colours into their widget.
    virtual void styleChanged() {}

    FontDescription& description() { return description_; }
    QWidget& widget() { return widget_; }
    const QWidget& widget() const { return widget_; }
    const StylePolicy& policy() const { return policy_; }

private:
    QWidget& widget_;
    StylePolicy policy_;
    double textSizeFactor_ = 1.0;
    FontDescription description_;
    QFont font_;
    bool fontChanged_ = true;
    int fontBuilds_ = 0;
    COLORREF foreColor_ = 0;
    COLORREF backColor_ = 0;
    bool positionKnown_ = false;
    ControlPosition position_;
};

} // namespace skinwork
