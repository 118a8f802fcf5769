// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/SetupModel.h"

#include "linkcore/ServiceSettings.h"
#include "netport/TlsIdentity.h"
#include "platform/Profile.h"
#include "platform/AsciiText.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <system_error>

namespace dialogs {
namespace {

using namespace linkcore::settings;

constexpr std::string_view kComPortKey = "COM Port";
constexpr std::string_view kComBaudKey = "COM Baud";
constexpr std::string_view kTcpPortKey = "MIREL IP Port No";
constexpr std::string_view kTlsKey = "MIREL TLS";
constexpr std::string_view kTlsCertificateKey = "MIREL TLS Certificate";
constexpr std::string_view kTlsKeyFileKey = "MIREL TLS Key";
constexpr std::string_view kVoiceDeviceKey = "MIREL Voice Device";
constexpr std::string_view kVoicePortKey = "MIREL Voice Port";
constexpr std::string_view kVoicePlainKey = "MIREL Voice Plain";

constexpr int kDefaultBaudIndex = 1;
constexpr std::array<int, 6> kBaudRates = {4800, 9600, 19200, 38400, 57600, 115200};
// Index 0 is "unlimited"; indexes 1.. hold these minutes.
constexpr std::array<int, 13> kSessionMinutes = {1, 2, 3, 5, 10, 15, 20, 30, 40, 50, 60, 90, 120};
static_assert(kBaudRates[kDefaultBaudIndex] == 9600);

std::string Padded(std::string_view text, std::size_t width)
{
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

} // namespace

// ---- UserList ----

void UserList::insertSorted(UserRecord record)
{
    const auto at = std::upper_bound(users_.begin(), users_.end(), record, [](const UserRecord& a, const UserRecord& b) {
        return platform::CompareIgnoringCase(a.entry.userId, b.entry.userId) < 0;
    });
    users_.insert(at, std::move(record));
}

bool UserList::addLoaded(UserRecord record)
{
    if (full()) {
        return false;
    }
    insertSorted(std::move(record));
    return true;
}

UserList::AddResult UserList::add(UserRecord record)
{
    if (full()) {
        return AddResult::Full;
    }
    if (find(record.entry.userId)) {
        return AddResult::Duplicate;
    }
    insertSorted(std::move(record));
    return AddResult::Added;
}

std::optional<std::size_t> UserList::find(std::string_view userId) const
{
    for (std::size_t i = 0; i < users_.size(); ++i) {
        if (platform::CompareIgnoringCase(users_[i].entry.userId, userId) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

void UserList::update(std::size_t index, const UserEntry& edited, bool passwordEdited)
{
    UserRecord& record = users_.at(index);
    record.entry.description = edited.description;
    record.entry.disabled = edited.disabled != 0 ? 1 : 0;
    if (passwordEdited) {
        record.entry.password = edited.password;
        record.passwordEdited = true;
    }
}

void UserList::remove(std::size_t index)
{
    users_.erase(users_.begin() + static_cast<std::ptrdiff_t>(index));
}

void UserList::toggleDisabled(std::size_t index)
{
    UserRecord& record = users_.at(index);
    record.entry.disabled = record.entry.disabled == 0 ? 1 : 0;
}

// ---- list texts and conversions ----

std::vector<std::string> ComPortTexts()
{
    std::vector<std::string> texts;
    for (int port = 1; port <= kComPortCount; ++port) {
        texts.push_back("    COM" + std::to_string(port));
    }
    return texts;
}

const std::vector<std::string>& BaudTexts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> result;
        for (int rate : kBaudRates) {
            result.push_back(Padded(std::to_string(rate) + "bps", 11));
        }
        return result;
    }();
    return texts;
}

const std::vector<std::string>& SessionTimeTexts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> result{"   Unlimited"};
        for (int minutes : kSessionMinutes) {
            result.push_back(Padded(std::to_string(minutes), 6));
        }
        return result;
    }();
    return texts;
}

int ComPortIndexOf(int comPort)
{
    return (comPort >= 1 && comPort <= kComPortCount) ? comPort - 1 : -1;
}

int ComPortOfIndex(int index)
{
    return (index >= 0 && index < kComPortCount) ? index + 1 : 1;
}

int BaudIndexOf(int baud)
{
    const auto found = std::find(kBaudRates.begin(), kBaudRates.end(), baud);
    return found != kBaudRates.end() ? static_cast<int>(found - kBaudRates.begin()) : kDefaultBaudIndex;
}

int BaudOfIndex(int index)
{
    return (index >= 0 && index < static_cast<int>(kBaudRates.size())) ? kBaudRates[static_cast<std::size_t>(index)]
                                                                        : kBaudRates[kDefaultBaudIndex];
}

int SessionTimeIndexOf(int minutes)
{
    const auto found = std::find(kSessionMinutes.begin(), kSessionMinutes.end(), minutes);
    return found != kSessionMinutes.end() ? static_cast<int>(found - kSessionMinutes.begin()) + 1 : 0;
}

int SessionTimeOfIndex(int index)
{
    return (index >= 1 && index <= static_cast<int>(kSessionMinutes.size()))
               ? kSessionMinutes[static_cast<std::size_t>(index - 1)]
               : 0;
}

int TcpPortOrDefault(int port)
{
    return (port >= kMinTcpPort && port <= kMaxTcpPort) ? port : kDefaultTcpPort;
}

long long ParseLeadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < LLONG_MAX / 100) {
            value = value * 10 + (text[i] - '0');
        }
    }
    return negative ? -value : value;
}

bool TcpPortTextValid(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long long port = ParseLeadingInteger(text);
    return port >= kMinTcpPort && port <= kMaxTcpPort;
}

std::string RepairTcpPortText(std::string_view text)
{
    const long long port = ParseLeadingInteger(text);
    return std::to_string((port >= kMinTcpPort && port <= kMaxTcpPort) ? static_cast<int>(port) : kDefaultTcpPort);
}

int TcpPortOfText(std::string_view text)
{
    const long long port = ParseLeadingInteger(text);
    return (port >= kMinTcpPort && port <= kMaxTcpPort) ? static_cast<int>(port) : kDefaultTcpPort;
}

int VoicePortOrDefault(int port)
{
    return (port >= kMinVoicePort && port <= kMaxVoicePort) ? port : kDefaultVoicePort;
}

bool VoicePortTextValid(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long long port = ParseLeadingInteger(text);
    return port >= kMinVoicePort && port <= kMaxVoicePort;
}

bool BindAddressValid(std::string_view text)
{
    if (text.empty() || text == "localhost") {
        return true;
    }
    const std::string address(text);
    in_addr ipv4{};
    in6_addr ipv6{};
    return ::inet_pton(AF_INET, address.c_str(), &ipv4) == 1 || ::inet_pton(AF_INET6, address.c_str(), &ipv6) == 1;
}

bool VoiceDeviceValid(std::string_view text)
{
    // A blank or a line break would split the engine's configuration line.
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F;
    });
}

namespace {

// A PEM file setting: empty, or an existing file. A relative path is taken from the
// settings file's folder, as the service takes it.
std::optional<std::string> PemFileProblem(const std::string& path, const char* what)
{
    if (path.empty()) {
        return std::nullopt;
    }
    const bool printable = std::none_of(path.begin(), path.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    if (!printable) {
        return std::string("The ") + what + " file's name must not hold control characters.";
    }
    std::filesystem::path file(path);
    if (file.is_relative()) {
        file = platform::ApplicationProfile().path().parent_path() / file;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::string("The ") + what + " file " + file.string() + " does not exist.";
    }
    return std::nullopt;
}

} // namespace

std::optional<AdvancedProblem> CheckAdvancedSettings(const AdvancedSettings& settings, int tcpPort, bool voiceOn)
{
    if (!BindAddressValid(settings.bindAddress)) {
        return AdvancedProblem{AdvancedField::BindAddress,
                               "The bind address must be empty (every IPv4 address), an IPv4 or IPv6 address, "
                               "or localhost."};
    }
    if (std::optional<std::string> problem = PemFileProblem(settings.tlsCertificate, "certificate")) {
        return AdvancedProblem{AdvancedField::TlsCertificate, std::move(*problem)};
    }
    if (std::optional<std::string> problem = PemFileProblem(settings.tlsKey, "key")) {
        return AdvancedProblem{AdvancedField::TlsKey, std::move(*problem)};
    }
    if (settings.tlsCertificate.empty() != settings.tlsKey.empty()) {
        return AdvancedProblem{settings.tlsCertificate.empty() ? AdvancedField::TlsCertificate : AdvancedField::TlsKey,
                               "Give both the certificate and the key file, or neither for the self-signed "
                               "certificate."};
    }
    if (!VoiceDeviceValid(settings.voiceDevice)) {
        return AdvancedProblem{AdvancedField::VoiceDevice,
                               "The voice device must be an ALSA device name without blanks, such as default."};
    }
    if (!VoicePortTextValid(settings.voicePortText)) {
        return AdvancedProblem{AdvancedField::VoicePort, "The voice port must be a number from 1 to 65535."};
    }
    if (voiceOn && ParseLeadingInteger(settings.voicePortText) == tcpPort) {
        return AdvancedProblem{AdvancedField::VoicePort,
                               "The voice port must differ from the TCP/IP port " + std::to_string(tcpPort) + "."};
    }
    return std::nullopt;
}

bool ObeysCharacterRule(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x21 && byte <= 0x7F && byte != ';';
    });
}

bool UserEntryAcceptable(std::string_view userId, std::string_view password, std::string_view retyped)
{
    return !userId.empty() && !password.empty() && !retyped.empty() && password == retyped;
}

// ---- loading and saving ----

SetupSettings LoadSetupSettings(const platform::Profile& profile)
{
    SetupSettings settings;
    settings.comPortIndex = ComPortIndexOf(profile.GetProfileInt(kSettingSection, kComPortKey, 1));
    settings.baudIndex = BaudIndexOf(profile.GetProfileInt(kSettingSection, kComBaudKey, 9600));
    settings.tcpPortText =
        std::to_string(TcpPortOrDefault(profile.GetProfileInt(kSettingSection, kTcpPortKey, kDefaultTcpPort)));
    settings.voice = profile.GetProfileInt(kSettingSection, kVoiceKey, 0) != 0;
    settings.sessionTimeIndex = SessionTimeIndexOf(profile.GetProfileInt(kSettingSection, kSessionTimeKey, 0));
    settings.log = profile.GetProfileInt(kSettingSection, kLogKey, 0) != 0;
    settings.logFolder = profile.GetProfileString(kFilePathSection, kLogFolderKey, "");

    for (int slot = 0; slot < kUserSlots; ++slot) {
        UserRecord record;
        record.entry.userId = profile.GetProfileString(kSettingSection, UserKey(slot, kUserIdField), "");
        if (record.entry.userId.empty()) {
            continue;
        }
        record.entry.password = profile.GetProfileString(kSettingSection, UserKey(slot, kPasswordField), "");
        record.entry.description = profile.GetProfileString(kSettingSection, UserKey(slot, kDescriptionField), "");
        record.entry.disabled =
            profile.GetProfileInt(kSettingSection, UserKey(slot, kUserDisabledField), 0) == 0 ? 0 : 1;
        record.loadedSlot = slot;
        // Loaded as stored: slots that repeat an ID are kept, not dropped as duplicates.
        settings.users.addLoaded(std::move(record));
    }

    AdvancedSettings& advanced = settings.advanced;
    advanced.bindAddress = profile.GetProfileString(kSettingSection, kBindAddressKey, "");
    advanced.loginBackoff = profile.GetProfileInt(kSettingSection, kLoginBackoffKey, 0) != 0;
    advanced.tls = profile.GetProfileInt(kSettingSection, kTlsKey, 0) != 0;
    advanced.tlsCertificate = profile.GetProfileString(kSettingSection, kTlsCertificateKey, "");
    advanced.tlsKey = profile.GetProfileString(kSettingSection, kTlsKeyFileKey, "");
    advanced.voiceDevice = profile.GetProfileString(kSettingSection, kVoiceDeviceKey, kDefaultVoiceDevice);
    if (advanced.voiceDevice.empty()) {
        advanced.voiceDevice = kDefaultVoiceDevice;
    }
    advanced.voicePortText = std::to_string(
        VoicePortOrDefault(profile.GetProfileInt(kSettingSection, kVoicePortKey, kDefaultVoicePort)));
    advanced.voicePlain = profile.GetProfileInt(kSettingSection, kVoicePlainKey, 0) != 0;
    return settings;
}

namespace {

// Everything the dialog saves, in its order; `values` is what the store holds at
// the moment of saving.
std::vector<platform::ProfileEntry> SettingsEntries(const SetupSettings& settings,
                                                    const platform::ProfileValues& values)
{
    std::array<std::string, kUserSlots> storedIds;
    std::array<std::string, kUserSlots> storedPasswords;
    for (int slot = 0; slot < kUserSlots; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        storedIds[s] = values.GetProfileString(kSettingSection, UserKey(slot, kUserIdField), "");
        storedPasswords[s] = values.GetProfileString(kSettingSection, UserKey(slot, kPasswordField), "");
    }
    // The store's current password of a user not edited here: its own slot when
    // that still holds its ID, else the first slot that does (the slot a password
    // change over the network writes).
    const auto currentPassword = [&](const UserRecord& record) -> std::string {
        if (record.passwordEdited) {
            return record.entry.password;
        }
        if (record.loadedSlot >= 0 && record.loadedSlot < kUserSlots &&
            storedIds[static_cast<std::size_t>(record.loadedSlot)] == record.entry.userId) {
            return storedPasswords[static_cast<std::size_t>(record.loadedSlot)];
        }
        for (std::size_t s = 0; s < storedIds.size(); ++s) {
            if (!storedIds[s].empty() && storedIds[s] == record.entry.userId) {
                return storedPasswords[s];
            }
        }
        return record.entry.password;
    };

    std::vector<platform::ProfileEntry> entries;
    const auto text = [&entries](std::string_view section, std::string key, std::string value) {
        entries.push_back({std::string(section), std::move(key), std::move(value)});
    };
    const auto number = [&text](std::string_view section, std::string key, int value) {
        text(section, std::move(key), std::to_string(value));
    };

    number(kSettingSection, std::string(kLogKey), settings.log ? 1 : 0);
    text(kFilePathSection, std::string(kLogFolderKey), settings.logFolder);
    number(kSettingSection, std::string(kComPortKey), ComPortOfIndex(settings.comPortIndex));
    number(kSettingSection, std::string(kComBaudKey), BaudOfIndex(settings.baudIndex));
    number(kSettingSection, std::string(kTcpPortKey), TcpPortOfText(settings.tcpPortText));
    number(kSettingSection, std::string(kVoiceKey), settings.voice ? 1 : 0);
    number(kSettingSection, std::string(kSessionTimeKey), SessionTimeOfIndex(settings.sessionTimeIndex));

    const std::vector<UserRecord>& users = settings.users.records();
    for (int slot = 0; slot < kUserSlots; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        UserEntry entry;
        if (s < users.size()) {
            entry = users[s].entry;
            entry.password = currentPassword(users[s]);
        }
        text(kSettingSection, UserKey(slot, kUserIdField), entry.userId);
        text(kSettingSection, UserKey(slot, kPasswordField), entry.password);
        text(kSettingSection, UserKey(slot, kDescriptionField), entry.description);
        number(kSettingSection, UserKey(slot, kUserDisabledField), entry.disabled != 0 ? 1 : 0);
    }

    const AdvancedSettings& advanced = settings.advanced;
    text(kSettingSection, std::string(kBindAddressKey), advanced.bindAddress);
    number(kSettingSection, std::string(kLoginBackoffKey), advanced.loginBackoff ? 1 : 0);
    number(kSettingSection, std::string(kTlsKey), advanced.tls ? 1 : 0);
    text(kSettingSection, std::string(kTlsCertificateKey), advanced.tlsCertificate);
    text(kSettingSection, std::string(kTlsKeyFileKey), advanced.tlsKey);
    text(kSettingSection, std::string(kVoiceDeviceKey), advanced.voiceDevice);
    const long long voicePort = ParseLeadingInteger(advanced.voicePortText);
    number(kSettingSection, std::string(kVoicePortKey),
           (voicePort >= kMinVoicePort && voicePort <= kMaxVoicePort) ? static_cast<int>(voicePort)
                                                                      : kDefaultVoicePort);
    number(kSettingSection, std::string(kVoicePlainKey), advanced.voicePlain ? 1 : 0);
    return entries;
}

} // namespace

bool SaveSetupSettings(const SetupSettings& settings, platform::Profile& profile)
{
    // The store's values are read and the new ones written in one update of the
    // profile, so a password changed over the network just before is kept.
    return profile.UpdateProfile([&settings](const platform::ProfileValues& values) {
               return std::optional(SettingsEntries(settings, values));
           }) == 1;
}

std::string CertificateFingerprintText(const AdvancedSettings& settings, const std::filesystem::path& settingsFile)
{
    netport::TlsFiles files;
    std::string error;
    if (!netport::ResolveTlsFiles(settings.tlsCertificate, settings.tlsKey, settingsFile.string(), files, error)) {
        return error;
    }
    std::error_code missing;
    if (files.defaults && !std::filesystem::exists(files.certificate, missing)) {
        return "The self-signed certificate is made at the first start with TLS on.";
    }
    const std::string fingerprint = netport::CertificateFingerprint(files.certificate, error);
    return fingerprint.empty() ? error : fingerprint;
}

} // namespace dialogs
