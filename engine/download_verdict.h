#pragma once

#include <QtGlobal>

// Whether a download's data is the server's whole file, from how it ended and its size.

// What the end of a download's data says about it.
enum class DownloadVerdict {
    Whole,         // the size the server gave (if any), and an end no one on the path can forge
    SizeMismatch,  // a binary download of another size than the server gave
    CutShort,      // ended without close_notify, and not at the size the server gave
};
// received: the bytes as sent, from the start of the file; expected: the server's size, 0 when
// it gave none.
DownloadVerdict JudgeDownload(bool binary, bool endedInOrder, qint64 received, qint64 expected);
