#pragma once

#include "transfer/transfer_progress.h"

#include <QString>
#include <QtGlobal>

// The texts the window shows for a transfer's progress figures.

// The progress box's text for a transfer: "..." and the last 15 characters of the remote path
// or name, then the bytes so far and the total.
QString TransferProgressText(const QString& name, qint64 bytesSoFar, qint64 total);

// The speed and the time left ("12.3 MB/s 残り 0:42"), from the bytes moved in the time so far;
// without the time left when the total is unknown or already passed; empty before any time or
// byte has passed.
QString TransferRateText(qint64 bytesSoFar, qint64 total, qint64 elapsedMs);

// A byte count for people: "512 B", "4.0 KB", "240 MB", "1.2 GB" (powers of 1000; one decimal
// below ten, or always with tenths: "12.3 MB", as the progress box shows sizes that change).
QString ByteSizeText(qint64 bytes, bool tenths = false);

// The batch line of the progress box: "12/120 ファイル, 240 MB/1.2 GB".
QString BatchProgressText(qint64 file, qint64 files, qint64 bytesDone, qint64 bytes);

// The progress box's whole text for the figures: "preparing" before the data moves, the file's
// bytes with the speed and time left while it does, "updating" after a completed transfer, and
// for a batch the batch line below (the number of the running file, not of those done).
QString ProgressBoxText(const BatchProgress& progress);
