// SPDX-License-Identifier: GPL-3.0-or-later
// A font described field by field, as the styled controls keep it, and its
// conversion to and from QFont. Heights are pixels; a negative height means the
// same as its magnitude (character height), 0 keeps the application's size.
#pragma once

#include "skinwork/SkinworkExport.h"

#include <QFont>
#include <cstdint>

namespace skinwork {

// Weights in the 0..1000 scale: 400 normal, 700 bold; 0 means normal.
inline constexpr std::int32_t kWeightNormal = 400;
inline constexpr std::int32_t kWeightBold = 700;
// The face field holds at most this many characters (plus the terminating NUL).
inline constexpr std::size_t kFaceNameMax = 31;

// Pitch and family byte: low two bits the pitch, upper four the family.
inline constexpr std::uint8_t kFixedPitch = 1;
inline constexpr std::uint8_t kVariablePitch = 2;
inline constexpr std::uint8_t kFamilyRoman = 0x10;
inline constexpr std::uint8_t kFamilySwiss = 0x20;
inline constexpr std::uint8_t kFamilyModern = 0x30;
inline constexpr std::uint8_t kFamilyScript = 0x40;
inline constexpr std::uint8_t kFamilyDecorative = 0x50;
// Quality byte values that change rendering.
inline constexpr std::uint8_t kNonAntialiasedQuality = 3;
inline constexpr std::uint8_t kAntialiasedQuality = 4;

struct SKINWORK_EXPORT FontDescription {
    std::int32_t height = 0;
    std::int32_t width = 0;        // average character width; 0 = natural
    std::int32_t escapement = 0;   // tenths of a degree; not drawn rotated
    std::int32_t orientation = 0;  // tenths of a degree; not drawn rotated
    std::int32_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    char faceName[kFaceNameMax + 1] = {};

    // Copies `face` into the face field. A null pointer or a name longer than
    // kFaceNameMax characters is refused: false, and the field is left as it was.
    bool setFaceName(const char* face);

    // The font this description makes. "MS Serif" and the other faces of the
    // dialogs resolve through the font substitution table.
    QFont toQFont() const;
    // The description of `font` (pixel height from its point size when needed).
    static FontDescription fromQFont(const QFont& font);

    bool operator==(const FontDescription&) const = default;
};

} // namespace skinwork
