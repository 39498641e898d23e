#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class FtpSession;

// Transfers between the server and local files: the session moves the bytes, this names, opens,
// syncs and puts the files in place.
//
// A download goes into a partial file beside the target ("NAME.part", see PartialPath) and
// replaces the target only when the whole file arrived (its size, and its digest where the
// server offers one). One that stops (cancel, a broken connection, a failing final reply) keeps
// what arrived there for a later resume, the target untouched. Partial data is kept only where
// it can be resumed: not in text mode, not after the local disk failed, not when nothing
// arrived, not when it is not the beginning of the server's file (a digest that differs, a
// resumed one that came out longer than the server's size). When the whole file cannot take
// the target's place (a folder of that name), LocalStatus::TargetNotReplaced, the reason in the
// reply text, and the partial file keeps the data. A file that is replaced passes on its
// permission bits (never set-id bits) and is on the disk before it is replaced.
//
// With resume, a download whose partial file holds data goes on from its end when the session
// CanResume(). partial: the partial file to use instead of PartialPath (which is truncated unless
// resumed): one the caller knows to be its own, or a free name. Fails with
// LocalStatus::DataOpenFailed when the file cannot be written, the session's reply code
// otherwise (see FtpSession::RetrieveInto).
bool DownloadToFile(FtpSession& session, const QString& remote, const QString& local, bool resume = false,
                    const QString& partial = {});

// Uploads the local file (a regular file, never read through a link at its last step nor from
// a pipe; else LocalStatus::DataOpenFailed before the server is asked anything); resumeAt as
// FtpSession::StoreFrom.
bool UploadFromFile(FtpSession& session, const QString& local, const QString& remote, qint64 resumeAt = 0);

// Where a download to local keeps its data until it is whole: "NAME.part" beside it. Where that
// would be longer than a file name may be, the name is cut (at a character boundary) and a
// digest of the whole name added, so that two long names alike at the start never share one.
// Empty without a name.
QString PartialPath(const QString& local);

// Renames the whole partial file to the target. When it replaced a file the folder is synced
// too, so that after a crash the name holds the old file or the whole new one. Empty on success,
// else why not (the system's words).
QString PutInPlace(const QByteArray& partial, const QByteArray& target, bool replacing);

// fsync of a file closed already (no link followed); false when it failed.
bool SyncFile(const QByteArray& path);

// Opens a local file to upload: no link followed at its last step, no wait at a pipe, and only
// a regular file. -1 when it cannot be (errno says why).
int OpenForUpload(const QByteArray& path);
