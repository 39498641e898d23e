#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// What a running transfer has done, as figures: the window decides how to show them (texts,
// bars, the title's percentage), the transfer code only counts.

// One file on one connection.
struct FileProgress {
    enum class Stage {
        Preparing,  // the data connection is being set up
        Moving,     // bytes are moving
        Updating,   // the transfer ended well; the panes are being listed again
    };
    Stage stage = Stage::Preparing;
    QString name;          // the remote path or name of the file
    qint64 bytes = 0;      // of this file so far, a resumed transfer's earlier part included
    qint64 total = -1;     // the file's size; -1 when unknown
    qint64 offset = 0;     // where a resumed transfer began: speed counts only what moved since
    qint64 elapsedMs = 0;  // since this file's data began to move
};

// A whole batch: the files done of all, bytes of all, and what each connection moves now
// (connections[0] is the window's own). A single transfer is a batch of one file.
struct BatchProgress {
    qint64 filesDone = 0;
    qint64 files = 0;
    qint64 bytesDone = 0;  // whole files done plus what the running ones have moved
    qint64 bytes = 0;      // all files' sizes as listed; 0 when unknown
    qint64 elapsedMs = 0;  // since the batch began
    QList<FileProgress> connections;
    bool isBatch = false;  // several files or folder trees, not a single file

    // 0 to 100: the batch's bytes, else its files, else the single file's bytes; -1 when
    // nothing says how far it is.
    int Percent() const;
};
