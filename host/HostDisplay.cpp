// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/HostDisplay.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/OneLine.h"

#include <cstdio>

namespace host {
namespace {

using linkcore::OneLine;

std::string_view OnOff(bool on) { return on ? "on" : "off"; }

} // namespace

std::string_view FieldLabel(DisplayField field)
{
    switch (field) {
    case DisplayField::Model: return "Model";
    case DisplayField::OnAir: return "ONAIR";
    case DisplayField::Power: return "Power";
    case DisplayField::Service: return "Service";
    case DisplayField::User: return "User";
    case DisplayField::Address: return "Address";
    case DisplayField::Description: return "Description";
    case DisplayField::SessionTime: return "Session time";
    case DisplayField::ControlEnabled: return "CONTROL enabled";
    case DisplayField::OnEnabled: return "ON enabled";
    case DisplayField::OffEnabled: return "OFF enabled";
    case DisplayField::Busy: return "Busy";
    case DisplayField::Focus: return "Focus";
    }
    return "?";
}

std::string FieldValueText(const HostDisplay& display, DisplayField field)
{
    switch (field) {
    case DisplayField::Model: return OneLine(display.model);
    case DisplayField::OnAir: return std::string(OnOff(display.onAir));
    case DisplayField::Power: return std::string(OnOff(display.power));
    case DisplayField::Service: return display.service ? "running" : "stopped";
    case DisplayField::User: return OneLine(display.user);
    case DisplayField::Address: return OneLine(display.address);
    case DisplayField::Description: return OneLine(display.description);
    case DisplayField::SessionTime: return OneLine(display.sessionTime);
    case DisplayField::ControlEnabled: return std::string(OnOff(display.controlEnabled));
    case DisplayField::OnEnabled: return std::string(OnOff(display.onEnabled));
    case DisplayField::OffEnabled: return std::string(OnOff(display.offEnabled));
    case DisplayField::Busy: return std::string(OnOff(display.busy));
    case DisplayField::Focus:
        switch (display.focus) {
        case Focus::None: return "none";
        case Focus::PowerSwitch: return "power switch";
        case Focus::Control: return "control";
        }
        return "?";
    }
    return {};
}

std::string_view ModelDisplayName(std::int64_t model)
{
    switch (model) {
    case linkcore::kModelCorvex: return "Corvex";
    case linkcore::kModelTarsel: return "Tarsel";
    default: return "Unknown";
    }
}

std::string SessionTimeText(bool active, const SessionTimes& times)
{
    if (!active) {
        return {};
    }
    if (times.limitHours == 0 && times.limitMinutes == 0 && times.limitSeconds == 0) {
        return "Unlimited";
    }
    if (times.elapsedHours == 0 && times.elapsedMinutes == 0 && times.elapsedSeconds == 0) {
        return {};
    }
    // Room for six values of up to ten digits each.
    char text[80];
    std::snprintf(text, sizeof text, "%0u:%02u:%02u / %0u:%02u:%02u", times.elapsedHours,
                  times.elapsedMinutes, times.elapsedSeconds, times.limitHours, times.limitMinutes,
                  times.limitSeconds);
    return text;
}

} // namespace host
