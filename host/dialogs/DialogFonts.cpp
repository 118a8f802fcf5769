#include "host/dialogs/DialogFonts.h"

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

} // namespace dialogs
