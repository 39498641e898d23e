#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

// The per-user registry: one SQLite database per user holding keys and their typed values as
// raw bytes. Key paths and value names compare without regard to letter case. Every call is
// one transaction on a connection of its own (or part of the one RunTransaction holds open), so
// several running copies of the program never lose each other's writes. Status results follow
// the registry's: 0 is success.
namespace RegistryDb {

inline constexpr long Success = 0;
inline constexpr long ErrorFileNotFound = 2;   // no such value
inline constexpr long ErrorInvalidHandle = 6;  // the key is not open
inline constexpr long ErrorMoreData = 234;     // the value does not fit the caller's buffer
inline constexpr long ErrorCantOpen = 1011;    // the store or the key cannot be opened
inline constexpr long ErrorCantRead = 1012;
inline constexpr long ErrorCantWrite = 1013;
inline constexpr long ErrorKeyDeleted = 1018;  // the key id no longer names a key

// Value types, numbered as in the registry.
inline constexpr quint32 TypeString = 1;
inline constexpr quint32 TypeNumber = 4;

// The database file: $TALLOWIN_CONFIG_DIR/registry.sqlite3 when that variable is set, else
// $XDG_CONFIG_HOME/tallowin/registry.sqlite3, else ~/.config/tallowin/registry.sqlite3.
QString DatabasePath();

// Creates the key on first use and gives its id in either case.
long OpenKey(const QString& path, qint64& keyId);

// Stores the value's type and bytes, replacing any earlier value of that name.
long SetValue(qint64 keyId, const QString& name, quint32 type, const QByteArray& data);

// Removes the value; Success also when there was none.
long DeleteValue(qint64 keyId, const QString& name);

// Reads the value's bytes. Data longer than bufferSize fails with ErrorMoreData and leaves
// data untouched; the stored type is not examined.
long QueryValue(qint64 keyId, const QString& name, qsizetype bufferSize, QByteArray& data);

// Runs the body's OpenKey, SetValue and QueryValue calls as one transaction: other copies of
// the program see all of its writes or none, and nothing they write lands between its reads and
// its writes. It commits when the body returns Success and every call in it reached the store;
// otherwise nothing of it is kept and the result is the body's status, or ErrorCantWrite when
// the store failed. A damaged store is moved aside and the body runs once more on a fresh one.
// A call made while one is already open on the thread joins it.
long RunTransaction(const std::function<long()>& body);

}  // namespace RegistryDb
