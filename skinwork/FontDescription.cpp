// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/FontDescription.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace skinwork {
namespace {

// Fonts drawn larger than this are clipped to it: a height from a setter may be
// anything, and the rasteriser should not be asked for a glyph of a billion pixels.
constexpr int kMaxPixelSize = 2048;

// Faces the dialogs name that fontconfig does not map to a metric-compatible face.
void installSubstitutes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const std::pair<const char*, const char*> substitutes[] = {
            {"MS Serif", "Liberation Serif"},
            {"MS Sans Serif", "Liberation Sans"},
            {"Times New Roman", "Liberation Serif"},
            {"Arial", "Liberation Sans"},
            {"Courier New", "Liberation Mono"},
        };
        for (const auto& [face, substitute] : substitutes) {
            if (QFont::substitutes(QString::fromLatin1(face)).isEmpty()) {
                QFont::insertSubstitution(QString::fromLatin1(face), QString::fromLatin1(substitute));
            }
        }
    });
}

double logicalDpi()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        return screen->logicalDotsPerInchY();
    }
    return 96.0;
}

} // namespace

bool FontDescription::setFaceName(const char* face)
{
    if (face == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(face);
    if (length > kFaceNameMax) {
        return false;
    }
    std::memset(faceName, 0, sizeof faceName);
    std::memcpy(faceName, face, length);
    return true;
}

QFont FontDescription::toQFont() const
{
    installSubstitutes();
    QFont font;
    if (faceName[0] != '\0') {
        font.setFamily(QString::fromLocal8Bit(faceName));
    }
    if (height != 0) {
        const long long magnitude = std::llabs(static_cast<long long>(height));
        font.setPixelSize(static_cast<int>(std::min<long long>(magnitude, kMaxPixelSize)));
    }
    const int qtWeight = weight <= 0 ? kWeightNormal : std::min(weight, 1000);
    font.setWeight(static_cast<QFont::Weight>(qtWeight));
    font.setItalic(italic != 0);
    font.setUnderline(underline != 0);
    font.setStrikeOut(strikeOut != 0);
    if ((pitchAndFamily & 0x03) == kFixedPitch) {
        font.setFixedPitch(true);
    }
    switch (pitchAndFamily & 0xF0) {
    case kFamilyRoman:
        font.setStyleHint(QFont::Serif);
        break;
    case kFamilySwiss:
        font.setStyleHint(QFont::SansSerif);
        break;
    case kFamilyModern:
        font.setStyleHint(QFont::TypeWriter);
        break;
    case kFamilyScript:
        font.setStyleHint(QFont::Cursive);
        break;
    case kFamilyDecorative:
        font.setStyleHint(QFont::Decorative);
        break;
    default:
        break;
    }
    if (quality == kNonAntialiasedQuality) {
        font.setStyleStrategy(QFont::NoAntialias);
    } else if (quality == kAntialiasedQuality) {
        font.setStyleStrategy(QFont::PreferAntialias);
    }
    return font;
}

FontDescription FontDescription::fromQFont(const QFont& font)
{
    FontDescription description;
    int pixels = font.pixelSize();
    if (pixels <= 0 && font.pointSizeF() > 0) {
        pixels = static_cast<int>(std::lround(font.pointSizeF() * logicalDpi() / 72.0));
    }
    description.height = -std::max(pixels, 1);
    description.weight = font.weight();
    description.italic = font.italic() ? 1 : 0;
    description.underline = font.underline() ? 1 : 0;
    description.strikeOut = font.strikeOut() ? 1 : 0;
    description.pitchAndFamily = font.fixedPitch() ? kFixedPitch : 0;
    // A family name that does not fit the face field is cut at a character boundary.
    const QByteArray family = font.family().toLocal8Bit();
    std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(family.size()), kFaceNameMax);
    while (length > 0 && length < static_cast<std::size_t>(family.size())
           && (static_cast<unsigned char>(family[static_cast<qsizetype>(length)]) & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(description.faceName, family.constData(), length);
    return description;
}

} // namespace skinwork
