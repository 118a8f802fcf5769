// SPDX-License-Identifier: GPL-3.0-or-later
#include "LineSettings.h"

#include <algorithm>
#include <array>
#include <utility>

namespace serport {

namespace {

struct BaudRow {
    unsigned baud;
    speed_t speed;
};

constexpr std::array kBaudRates{
    BaudRow{50, B50},           BaudRow{75, B75},           BaudRow{110, B110},
    BaudRow{134, B134},         BaudRow{150, B150},         BaudRow{200, B200},
    BaudRow{300, B300},         BaudRow{600, B600},         BaudRow{1200, B1200},
    BaudRow{1800, B1800},       BaudRow{2400, B2400},       BaudRow{4800, B4800},
    BaudRow{9600, B9600},       BaudRow{19200, B19200},     BaudRow{38400, B38400},
    BaudRow{57600, B57600},     BaudRow{115200, B115200},   BaudRow{230400, B230400},
    BaudRow{460800, B460800},   BaudRow{500000, B500000},   BaudRow{576000, B576000},
    BaudRow{921600, B921600},   BaudRow{1000000, B1000000}, BaudRow{1152000, B1152000},
    BaudRow{1500000, B1500000}, BaudRow{2000000, B2000000}, BaudRow{2500000, B2500000},
    BaudRow{3000000, B3000000}, BaudRow{3500000, B3500000}, BaudRow{4000000, B4000000},
};

constexpr bool BaudRatesAscend()
{
    for (std::size_t i = 1; i < kBaudRates.size(); ++i) {
        if (kBaudRates[i - 1].baud >= kBaudRates[i].baud) {
            return false;
        }
    }
    return true;
}
static_assert(BaudRatesAscend(), "the baud table is searched by binary search");

constexpr std::array kCharacterSizes{std::pair<unsigned, tcflag_t>{5, CS5}, std::pair<unsigned, tcflag_t>{6, CS6},
                                     std::pair<unsigned, tcflag_t>{7, CS7}, std::pair<unsigned, tcflag_t>{8, CS8}};

} // namespace

Parity ParityFromCode(unsigned code)
{
    switch (code) {
    case 1:
        return Parity::Odd;
    case 2:
        return Parity::Even;
    case 3:
        return Parity::Mark;
    case 4:
        return Parity::Space;
    default:
        return Parity::None;
    }
}

StopBits StopBitsFromCount(unsigned count)
{
    return count == 2 ? StopBits::Two : StopBits::One;
}

LineSettings MakeLineSettings(unsigned baud, unsigned parityCode, unsigned dataBits, unsigned stopBits)
{
    return LineSettings{baud, dataBits, ParityFromCode(parityCode), StopBitsFromCount(stopBits)};
}

bool SpeedForBaud(unsigned baud, speed_t& speed)
{
    const auto row = std::lower_bound(kBaudRates.begin(), kBaudRates.end(), baud,
                                      [](const BaudRow& r, unsigned b) { return r.baud < b; });
    if (row == kBaudRates.end() || row->baud != baud) {
        return false;
    }
    speed = row->speed;
    return true;
}

bool ApplyLineSettings(termios& tio, const LineSettings& settings)
{
    bool complete = true;
    speed_t speed{};
    if (SpeedForBaud(settings.baud, speed)) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    } else {
        complete = false;
    }

    bool sized = false;
    for (const auto& [bits, flag] : kCharacterSizes) {
        if (bits == settings.dataBits) {
            tio.c_cflag = (tio.c_cflag & ~CSIZE) | flag;
            sized = true;
        }
    }
    complete = complete && sized;

    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (settings.parity) {
    case Parity::None:
        break;
    case Parity::Odd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Even:
        tio.c_cflag |= PARENB;
        break;
    case Parity::Mark:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    }

    if (settings.stopBits == StopBits::Two) {
        tio.c_cflag |= CSTOPB;
    } else {
        tio.c_cflag &= ~CSTOPB;
    }
    return complete;
}

bool HasLineSettings(const termios& tio, const LineSettings& settings)
{
    speed_t speed{};
    if (!SpeedForBaud(settings.baud, speed) || cfgetospeed(&tio) != speed || cfgetispeed(&tio) != speed) {
        return false;
    }
    // The character size, parity and stop bits a device keeps are its own business
    // (a pseudo-terminal always reports 8 data bits and no parity); the speed is what
    // a device refuses in practice, and a refused speed is silently left as it was.
    return true;
}

std::chrono::nanoseconds CharacterTime(const LineSettings& settings)
{
    if (settings.baud == 0) {
        return std::chrono::nanoseconds(0);
    }
    const unsigned dataBits = (settings.dataBits >= 5 && settings.dataBits <= 8) ? settings.dataBits : 8;
    const unsigned bits = 1 + dataBits + (settings.parity == Parity::None ? 0 : 1) +
                          (settings.stopBits == StopBits::Two ? 2 : 1);
    return std::chrono::nanoseconds(std::int64_t{bits} * 1'000'000'000 / settings.baud);
}

} // namespace serport
