#pragma once

#include <QString>
#include <QStringList>

// One numbered profile slot (1 to 10) of the profile key: a name, five login texts, the
// encryption choice and the server's character set. Slots are
// fixed places: a profile never moves, a deleted one leaves its slot free (empty name), and a
// save fills the lowest free slot. Names need not be unique; a lookup by name takes the lowest
// slot whose name equals the text exactly, so looking up "" finds the lowest free slot.
//
// A saved password lives in the desktop's keyring when one answers (see PasswordVault), and the
// slot's password value then stays empty; without a keyring the store keeps it as typed.
struct ConnectionProfile {
    static constexpr int SlotCount = 10;

    enum class SaveResult {
        Saved,
        NoFreeSlot,
        NotWritten,  // the profile key could not be opened
    };

    QString server;
    QString userName;
    QString password;
    QString localInitDir;
    QString remoteInitDir;
    // 0 plain FTP, 1 TLS when the server offers it (also for a slot that has no value), 2 TLS
    // required.
    int encryption = DefaultEncryption;

    static constexpr int DefaultEncryption = 1;

    // The server's character set as stored and as the login dialog's combo lists it: automatic
    // (UTF-8 when the server says it speaks it, else the locale's) or one named set. A slot
    // without a known value loads as automatic.
    static inline const QString AutomaticCharset = QStringLiteral("自動");
    static inline const QStringList Charsets = {AutomaticCharset, QStringLiteral("UTF-8"),
                                                QStringLiteral("Shift_JIS"), QStringLiteral("EUC-JP")};
    QString charset = AutomaticCharset;

    // The name in the slot; "" when free, absent or unreadable.
    static QString ReadProfileName(int slot);
    // The lowest slot holding the name, or 0 when none does or the key cannot be opened.
    static int FindProfileSlot(const QString& name);
    // Fills the five texts from the slot holding the name; false (texts unchanged) when there
    // is none or the key cannot be opened. The password is the keyring's for the account when
    // it has one, else the slot's own value; without withPassword it is left empty and the
    // keyring is not asked.
    bool LoadProfile(const QString& name, bool withPassword = true);
    // Stores the five texts under the name in the lowest free slot, the password in the
    // keyring when one answers. Finding the slot and filling it are one transaction, so two
    // running copies saving at once never take the same slot.
    SaveResult SaveProfile(const QString& name) const;
    // Empties the six values of the slot holding the name; false when there is none. The
    // account's keyring entry goes too, unless another profile still names the account.
    static bool DeleteProfile(const QString& name);
    // Called after these texts logged in: a password kept as plain text in the store by the
    // account's profiles moves into the keyring, when one answers, and their values are
    // emptied. Nothing happens when no profile keeps this password in plain text.
    static void MovePasswordToKeyring(const QString& server, const QString& userName,
                                      const QString& password);
};
