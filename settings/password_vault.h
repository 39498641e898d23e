#pragma once

#include <QString>

// Saved passwords in the desktop's keyring: the Secret Service that GNOME Keyring, KWallet and
// KeePassXC offer, reached through QtKeychain. Each call runs its keyring job to the end on a
// local event loop (user input held back meanwhile), bounded in time: a keyring that never
// answers, like a machine without one (no session bus, no service), gives NoKeyring, and the
// caller keeps the password in the settings store instead. After one keyring call went
// unanswered the rest of the run does not ask again, so a silent keyring costs its wait once.
//
// An entry belongs to an account, the server text and the user name as typed, not to a profile
// slot or name: every profile of the account shares one password, a profile name can change
// without losing it, and the separate settings stores that the demo and the tests use
// (TALLOWIN_CONFIG_DIR) never overwrite the entries of the user's own profiles, as slot numbers
// of different stores would.
namespace PasswordVault {

enum class Outcome {
    Done,
    NotFound,   // the keyring answered: there is no such entry
    NoKeyring,  // no keyring answered in time, or it refused
};

// Service name of every entry.
inline constexpr char ServiceName[] = "Tallowin";

// The entry's key: "user@server".
QString AccountKey(const QString& server, const QString& userName);

// Stores the password, replacing the account's earlier one. NoKeyring also marks the notice
// below: every caller keeps the password in the settings store when the keyring cannot.
Outcome Store(const QString& server, const QString& userName, const QString& password);
// Reads the account's password; password is left alone unless the result is Done.
Outcome Read(const QString& server, const QString& userName, QString& password);
// Removes the account's entry; an absent entry counts as done.
Outcome Remove(const QString& server, const QString& userName);

// True exactly once per run: the first time it is asked after a password had to be kept in the
// settings store because no keyring answered.
bool TakeStoreFallbackNotice();

// Gives up on the keyring without asking it, for the rest of the run (or until
// ResetForTests): a store that is not the user's own (the demo's profile tool) keeps its
// passwords itself.
void UseStoreOnly();
// Forgets what the run has learnt (silence, notice), for tests that run several cases in one
// process.
void ResetForTests();

}  // namespace PasswordVault
