// SPDX-License-Identifier: GPL-3.0-or-later
// HostDisplay: everything the host's window shows, as plain values, and the texts
// derived from library readings. The service controller owns one and reports each
// change by field; a window or the headless runner renders it. No thread of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// The control that should hold the input focus.
enum class Focus : std::uint8_t { None, PowerSwitch, Control };

struct HostDisplay {
    std::string model;       // "Corvex", "Tarsel", "Unknown" or empty
    bool onAir = false;      // the transmit indicator shows "ONAIR"
    bool power = false;      // power switch picture: on
    bool service = false;    // CONTROL button picture: running
    std::string user;        // logged-in user ID
    std::string address;     // client address
    std::string description; // logged-in user's description
    std::string sessionTime; // "Unlimited", "h:mm:ss / h:mm:ss" or empty

    bool controlEnabled = true; // the CONTROL button takes clicks
    bool onEnabled = true;      // menu "ON"
    bool offEnabled = false;    // menu "OFF"
    bool busy = false;          // wait state: wait cursor, window disabled
    Focus focus = Focus::None;

    bool operator==(const HostDisplay&) const = default;
};

// One value per member of HostDisplay, in the same order.
enum class DisplayField : std::uint8_t {
    Model,
    OnAir,
    Power,
    Service,
    User,
    Address,
    Description,
    SessionTime,
    ControlEnabled,
    OnEnabled,
    OffEnabled,
    Busy,
    Focus,
};
inline constexpr std::size_t kDisplayFieldCount = 13;

// The fields a status line reports (what the operator reads, not the state of the controls).
inline constexpr std::array<DisplayField, 8> kStatusFields = {
    DisplayField::Model, DisplayField::OnAir,   DisplayField::Power,       DisplayField::Service,
    DisplayField::User,  DisplayField::Address, DisplayField::Description, DisplayField::SessionTime,
};

// The label of a field in status lines ("Model", "ONAIR", "Session time", ...).
std::string_view FieldLabel(DisplayField field);
// The field's value as one line of text: control characters become "?".
std::string FieldValueText(const HostDisplay& display, DisplayField field);

// Display name of a model notification: "Corvex" for 19, "Tarsel" for 20, else "Unknown".
std::string_view ModelDisplayName(std::int64_t model);

// Elapsed time and limit of the current session, as the library reports them.
struct SessionTimes {
    unsigned elapsedHours = 0;
    unsigned elapsedMinutes = 0;
    unsigned elapsedSeconds = 0;
    unsigned limitHours = 0;
    unsigned limitMinutes = 0;
    unsigned limitSeconds = 0;
};

// The session-time text. Empty unless `active` (the reading is valid and a client is
// logged in and present); "Unlimited" without a limit; empty until the first elapsed
// second; else "elapsed / limit", e.g. "0:05:07 / 1:00:00".
std::string SessionTimeText(bool active, const SessionTimes& times);

} // namespace host
