#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

// What is known of a download that stopped with its data in a partial file. A partial file is
// the program's own only while a record names it: a "NAME.part" without one belongs to the user.
// A resume goes on only when the server's file is still the one the data began (same server,
// path, size and modification time).
struct PartialRecord {
    QString target;           // the local file the download goes to
    QString partial;          // where its data waits
    QString server;           // "host:port"
    QString remotePath;
    qint64 remoteSize = -1;   // -1: the server gave none
    QDateTime remoteTime;     // invalid: the server gave none
    // The partial file's identity once it holds data (0 until then): a file put at that name
    // later by someone else is not ours.
    quint64 device = 0;
    quint64 inode = 0;

    // Whether the server's file, as it is now, is the one this record began.
    bool SameRemoteFile(const QString& server, const QString& remotePath, qint64 remoteSize,
                        const QDateTime& remoteTime) const;
};

// The records, kept in the settings store under SettingKey::PartialDownloads, one per target.
namespace PartialRecords {
std::optional<PartialRecord> Find(const QString& target);
bool Store(const PartialRecord& record);
void Forget(const QString& target);
}  // namespace PartialRecords
