#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The local-file steps of transfers that need no session: whether a download is whole, putting
// a whole one in place, and opening a file to upload.

// What the end of a download's data says about it.
enum class DownloadVerdict {
    Whole,         // the size the server gave (if any), and an end no one on the path can forge
    SizeMismatch,  // a binary download of another size than the server gave
    CutShort,      // ended without close_notify, and not at the size the server gave
};
// received: the bytes as sent, from the start of the file; expected: the server's size, 0 when
// it gave none.
DownloadVerdict JudgeDownload(bool binary, bool endedInOrder, qint64 received, qint64 expected);

// Renames the whole partial file to the target. When it replaced a file the folder is synced
// too, so that after a crash the name holds the old file or the whole new one. Empty on success,
// else why not (the system's words).
QString PutInPlace(const QByteArray& partial, const QByteArray& target, bool replacing);

// fsync of a file closed already (no link followed); false when it failed.
bool SyncFile(const QByteArray& path);

// Opens a local file to upload: no link followed at its last step, no wait at a pipe, and only
// a regular file. -1 when it cannot be (errno says why).
int OpenForUpload(const QByteArray& path);
