// SPDX-License-Identifier: GPL-3.0-or-later
// Serial line settings as typed values, made from the numeric codes that callers of
// CSerport::OpenComPort pass, and their mapping onto a termios record.
// Pure functions; safe from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include <termios.h>

namespace serport {

enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : std::uint8_t { One, Two };

struct LineSettings {
    unsigned baud = 9600;
    unsigned dataBits = 8; // 5..8; any other value leaves the device's character size alone
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

// Parity codes: 0 none, 1 odd, 2 even, 3 mark, 4 space; any other code is none.
Parity ParityFromCode(unsigned code);
// 2 gives two stop bits; any other count one.
StopBits StopBitsFromCount(unsigned count);
LineSettings MakeLineSettings(unsigned baud, unsigned parityCode, unsigned dataBits, unsigned stopBits);

// The termios speed constant for `baud`; false when the rate has none.
bool SpeedForBaud(unsigned baud, speed_t& speed);

// Sets speed, character size, parity and stop bits in `tio` and leaves every other
// flag as it is. A rate without a termios speed or a character size outside 5..8
// leaves that part of `tio` unchanged and gives false: the line cannot be set so.
bool ApplyLineSettings(termios& tio, const LineSettings& settings);
// Whether `tio` carries the speed, character size, parity and stop bits of `settings`,
// as read back from a device after setting them.
bool HasLineSettings(const termios& tio, const LineSettings& settings);

// The time the line needs to carry one character: start bit, data bits, parity bit
// and stop bits at the configured rate. Zero for a rate of 0.
std::chrono::nanoseconds CharacterTime(const LineSettings& settings);

} // namespace serport
