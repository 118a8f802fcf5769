// SPDX-License-Identifier: GPL-3.0-or-later
// What the Setup dialog edits, without a window toolkit: the settings as the
// dialog's controls hold them (list indexes, the port box's text), the user list
// in display order, and the loading and saving of both in the application profile.
// The dialog (SetupDlg.h) is a view over one SetupSettings; everything here runs on
// the caller's thread and touches the profile only in LoadSetupSettings and
// SaveSetupSettings.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Profile;
}

namespace dialogs {

inline constexpr std::size_t kUserIdLimit = 32;
inline constexpr std::size_t kPasswordLimit = 32;
inline constexpr std::size_t kDescriptionLimit = 128;
inline constexpr std::size_t kMaxUsers = 10;

inline constexpr int kComPortCount = 20;
inline constexpr int kDefaultTcpPort = 50000;
inline constexpr int kMinTcpPort = 1024;
inline constexpr int kMaxTcpPort = 65535;
inline constexpr std::size_t kTcpPortBoxLimit = 5;

// One network user as the user editor exchanges it with the Setup dialog.
struct UserEntry {
    std::string userId;      // at most kUserIdLimit characters
    std::string password;    // at most kPasswordLimit characters
    std::string description; // at most kDescriptionLimit bytes
    int disabled = 0;        // 1 = the user may not log in
};

// A user in the Setup dialog's list.
struct UserRecord {
    UserEntry entry;
    // The password was typed in this dialog (a user added, or one whose password
    // was changed in the editor); only then does saving write the dialog's password.
    bool passwordEdited = false;
    // The profile slot the user was loaded from, or -1 for a user added here.
    int loadedSlot = -1;
};

// The users of the dialog in display order: ascending by user ID, ignoring the
// letter case; at most kMaxUsers. User IDs are unique ignoring the letter case for
// every user added here (a profile edited by hand may hold IDs twice; they load as
// they are).
class UserList {
public:
    enum class AddResult { Added, Duplicate, Full };

    AddResult add(UserRecord record);
    // Adds a user as the profile holds it, without the duplicate check; false when full.
    bool addLoaded(UserRecord record);
    // The first user whose ID equals `userId` ignoring the letter case.
    std::optional<std::size_t> find(std::string_view userId) const;
    // Description, password and flag of the user at `index`; the ID stays.
    void update(std::size_t index, const UserEntry& edited, bool passwordEdited);
    void remove(std::size_t index);
    // Flips the disabled flag of the user at `index`.
    void toggleDisabled(std::size_t index);
    void clear() { users_.clear(); }

    std::size_t size() const { return users_.size(); }
    bool empty() const { return users_.empty(); }
    bool full() const { return users_.size() >= kMaxUsers; }
    const UserRecord& operator[](std::size_t index) const { return users_[index]; }
    const std::vector<UserRecord>& records() const { return users_; }

private:
    // Inserts after every user that sorts equal, so that equal IDs keep the order they came in.
    void insertSorted(UserRecord record);

    std::vector<UserRecord> users_;
};

// The texts of the three drop-down lists, in order, leading blanks included.
std::vector<std::string> ComPortTexts();
const std::vector<std::string>& BaudTexts();
const std::vector<std::string>& SessionTimeTexts();

inline constexpr int kDefaultVoicePort = 5060;
inline constexpr int kMinVoicePort = 1;
inline constexpr int kMaxVoicePort = 65535;
inline constexpr std::size_t kVoicePortBoxLimit = 5;
inline constexpr const char* kDefaultVoiceDevice = "default";

// The settings of the Advanced dialog, as its controls hold them. Texts are kept as
// stored, even where they break the rules below, so that saving Setup never changes
// a value the user did not edit; CheckAdvancedSettings names what is wrong.
struct AdvancedSettings {
    std::string bindAddress;       // empty = every IPv4 address
    bool loginBackoff = false;
    bool tls = false;
    std::string tlsCertificate;    // PEM file; empty (with the key) = the self-signed one
    std::string tlsKey;            // PEM file
    std::string voiceDevice = kDefaultVoiceDevice; // ALSA device name
    std::string voicePortText = std::to_string(kDefaultVoicePort); // SIP, UDP and TCP
    bool voicePlain = false;       // plain RTP allowed

    bool operator==(const AdvancedSettings&) const = default;
};

// The Advanced dialog's fields that a check can refuse.
enum class AdvancedField { BindAddress, TlsCertificate, TlsKey, VoiceDevice, VoicePort };

struct AdvancedProblem {
    AdvancedField field;
    std::string message;
};

// The first value of `settings` that cannot be used, with a message for the user,
// or nullopt. The session server's TCP port is given so that the voice port, which
// also listens on TCP, is refused when it is the same while `voiceOn`.
std::optional<AdvancedProblem> CheckAdvancedSettings(const AdvancedSettings& settings, int tcpPort, bool voiceOn);

// The fingerprint the Advanced dialog shows for `settings`: of the certificate they
// name, or of the self-signed one beside `settingsFile` (the way the service resolves
// them), in the one form used everywhere; a sentence for the operator where there is
// no certificate to read yet.
std::string CertificateFingerprintText(const AdvancedSettings& settings, const std::filesystem::path& settingsFile);

// The bind address rule of the session server: empty, "localhost", or an IPv4 or IPv6 literal.
bool BindAddressValid(std::string_view text);
// The voice port box's rule: digits only, within 1..65535.
bool VoicePortTextValid(std::string_view text);
// An ALSA device name as the telephony engine's configuration can take it:
// not empty, printable ASCII without blanks.
bool VoiceDeviceValid(std::string_view text);

// The dialog's controls' state. Indexes are those of the drop-down lists; -1 is no selection.
struct SetupSettings {
    int comPortIndex = -1;
    int baudIndex = 1;
    std::string tcpPortText;
    bool voice = false;
    int sessionTimeIndex = 0;
    bool log = false;
    std::string logFolder;
    UserList users;
    AdvancedSettings advanced;
};

// Conversions between stored values and the lists, with the out-of-range rules.
int ComPortIndexOf(int comPort);          // 1..20 -> 0..19, else -1
int ComPortOfIndex(int index);            // 0..19 -> 1..20, else 1
int BaudIndexOf(int baud);                // an unknown rate -> the index of 9600
int BaudOfIndex(int index);               // an unknown index -> 9600
int SessionTimeIndexOf(int minutes);      // an unlisted limit (0 included) -> 0, unlimited
int SessionTimeOfIndex(int index);        // 0 or unknown -> 0
int TcpPortOrDefault(int port);           // outside 1024..65535 -> 50000
int TcpPortOfText(std::string_view text); // the port box as saved: atoi, outside 1024..65535 -> 50000
int VoicePortOrDefault(int port);         // outside 1..65535 -> 5060

// The port box's check: not empty, digits only and within 1024..65535.
bool TcpPortTextValid(std::string_view text);
// The port box's repair when it loses the focus: the text read as atoi reads it,
// outside 1024..65535 replaced by 50000, written back in decimal.
std::string RepairTcpPortText(std::string_view text);
// atoi without its undefined overflow: leading blanks, a sign and digits; huge values saturate.
long long ParseLeadingInteger(std::string_view text);

// The user editor's rule for user IDs and passwords: every byte within 0x21..0x7F
// and none a ';'. An empty text obeys it.
bool ObeysCharacterRule(std::string_view text);
// The user editor's OK state: ID, password and retyped password non-empty, and the two passwords equal.
bool UserEntryAcceptable(std::string_view userId, std::string_view password, std::string_view retyped);

// Reads every setting the dialog shows from `profile`, with the default and
// out-of-range rules applied.
SetupSettings LoadSetupSettings(const platform::Profile& profile);

// Writes `settings` to `profile` in one replacement of the file, so that no reader
// ever sees half of it: the log switch and folder, the serial port and speed, the
// TCP port, voice, the session limit, the ten user slots in list order (unused
// slots emptied), then the Advanced dialog's settings (switches as 0 or 1, a voice
// port outside 1..65535 as 5060, texts as they are). A user whose password was not typed in the dialog keeps the
// password `profile` holds for that ID at this moment (a client may have changed
// it over the network meanwhile); only when the profile no longer holds the user
// is the loaded one written. False when nothing could be written.
bool SaveSetupSettings(const SetupSettings& settings, platform::Profile& profile);

} // namespace dialogs
