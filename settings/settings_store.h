#pragma once

#include <QString>
#include <QtGlobal>

// The names of every stored value. Options live under the settings key, profiles and SavePass
// under the profile key.
namespace SettingName {
inline constexpr char ConnectDlgWithStartup[] = "ConnectDlgWithStartup";
inline constexpr char AutoTransferMode[] = "AutoTransferMode";
inline constexpr char AutoTransferModeList[] = "AutoTransferModeList";
inline constexpr char CheckOverwrite[] = "CheckOverwrite";
inline constexpr char UseAutoDialUp[] = "UseAutoDialUp";
inline constexpr char AutoDialUpName[] = "AutoDialUpName";
inline constexpr char ConnectTimeout[] = "ConnectTimeout";
inline constexpr char UsePASV[] = "UsePASV";
inline constexpr char UseLIST[] = "UseLIST";
// Downloads and uploads keep the modification time; on unless stored off.
inline constexpr char KeepTimestamps[] = "KeepTimestamps";
// Binary transfers are checked against the server's digest where it offers one; on unless
// stored off.
inline constexpr char VerifyTransfers[] = "VerifyTransfers";
// How many connections a batch of files may use at once (the window's own included), 1 to 8.
inline constexpr char MaxConnections[] = "MaxConnections";
inline constexpr char SavePass[] = "SavePass";
// The main window's place and size when it was last closed.
inline constexpr char WindowLeft[] = "WindowLeft";
inline constexpr char WindowTop[] = "WindowTop";
inline constexpr char WindowWidth[] = "WindowWidth";
inline constexpr char WindowHeight[] = "WindowHeight";
// The local pane's share of the two panes' width in thousandths, and the log's height in pixels.
inline constexpr char WindowPaneShare[] = "WindowPaneShare";
inline constexpr char WindowLogHeight[] = "WindowLogHeight";
// Profile values: %d is the slot number, 1 to 10.
inline constexpr char SettingNameN[] = "SettingName%d";
inline constexpr char ServerN[] = "Server%d";
inline constexpr char NameN[] = "Name%d";
inline constexpr char PassN[] = "Pass%d";
inline constexpr char LocalInitDirN[] = "LocalInitDir%d";
inline constexpr char RemoteInitDirN[] = "RemoteInitDir%d";
// A flag value 0, 1 or 2: plain FTP, TLS when the server offers it, TLS required.
inline constexpr char EncryptionN[] = "Encryption%d";
// The server's character set, one of ConnectionProfile::Charsets; "自動" also when absent.
inline constexpr char CharsetN[] = "Charset%d";
}  // namespace SettingName

namespace SettingKey {
// Both spellings of the first component reach one key: paths compare without regard to case.
inline constexpr char SettingsUpper[] = "SOFTWARE\\ovreta\\Tallowin\\Settings";
inline constexpr char Settings[] = "Software\\ovreta\\Tallowin\\Settings";
inline constexpr char ProfilesUpper[] = "SOFTWARE\\ovreta\\Tallowin";
inline constexpr char Profiles[] = "Software\\ovreta\\Tallowin";
// Certificates a person chose to trust always: values named "host:port" ("[address]:port" for
// IPv6) holding the SHA-256 fingerprint.
inline constexpr char TrustedCertificates[] = "Software\\ovreta\\Tallowin\\TrustedCertificates";
// Downloads whose data waits in a partial file: one binary value per target, named by a digest
// of the target's path (names here compare without regard to case, paths do not).
inline constexpr char PartialDownloads[] = "Software\\ovreta\\Tallowin\\PartialDownloads";
// What the connects learned about servers' TLS: values named like the trusted certificates,
// holding a number (TlsMemory's bits).
inline constexpr char TlsServers[] = "Software\\ovreta\\Tallowin\\TlsServers";
}  // namespace SettingKey

// Stateless operations on the settings key. Nothing is cached: each call opens the key, reads
// or writes one value and closes it again. Every failure degrades to the value's default.
class SettingsStore {
public:
    // The longest text that reads back: a longer one is stored but reads as "". Boxes whose
    // text is stored are capped at this length so that nothing typed is lost that way.
    static constexpr int MaxTextLength = 99;

    static bool ReadFlag(const QString& name);
    static bool WriteFlag(const QString& name, bool value);
    // A flag whose absence (or an unreadable store) counts as whenAbsent.
    static bool ReadFlagOr(const QString& name, bool whenAbsent);
    static QString ReadString(const QString& name);
    static void WriteString(const QString& name, const QString& text);
    static qint32 ReadNumber(const QString& name);
    static void WriteNumber(const QString& name, qint32 value);

    // MaxConnections as a batch uses it: DefaultConnections when nothing is stored, a stored
    // value out of range brought within 1 to MaxConnectionLimit.
    static constexpr int DefaultConnections = 2;
    static constexpr int MaxConnectionLimit = 8;
    static int ReadMaxConnections();

    // What a first start stores where nothing is stored yet, so that a new user's binary files
    // are not sent as text and listings work behind the NAT of a home or office: automatic mode
    // on, with DefaultTextModeList when no list is stored either, and passive mode on. Values
    // already stored are kept as they are.
    static void StoreFirstStartDefaults();
    static inline const QString DefaultTextModeList = QStringLiteral(
        "txt htm html css js json xml csv md c h cpp py sh pl php ini conf log");

    // SavePass on the profile key.
    static bool ReadSavePassword();
    static bool WriteSavePassword(bool on);
};
