#pragma once

#include "settings/partial_records.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

// Which partial file a download uses, and what is remembered of it when it stops. A partial file
// is the program's own only while a record names it and it is still the file the record saw; a
// "NAME.part" that is not is the user's, never touched: the download takes a free name beside it.
class PartialFile {
public:
    // Looks up the record of the download to target (dropping one whose file is gone or is
    // another file now) and chooses the partial file.
    explicit PartialFile(const QString& target);

    const QString& Path() const { return path; }
    // Whether the recorded data may be resumed: it is ours, holds data, and the server's file is
    // still the one it began. remoteSize -1 and an invalid time stand for unknown.
    bool Resumable(const QString& server, const QString& remotePath, qint64 remoteSize,
                   const QDateTime& remoteTime) const;
    // After the download: a partial file left behind is recorded with what the server's file
    // was, so a later resume can tell; otherwise the record goes.
    void Settle(const QString& server, const QString& remotePath, qint64 remoteSize, const QDateTime& remoteTime);

private:
    QString target;
    QString path;
    std::optional<PartialRecord> record;
};
