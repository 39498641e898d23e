#include "mainwindow/progress_texts.h"

#include "mainwindow/strings.h"

#include <algorithm>

namespace {
constexpr int ShownNameLength = 15;
}  // namespace

QString TransferProgressText(const QString& name, qint64 bytesSoFar, qint64 total)
{
    // One pass over the pattern, so a "%2" in a file name stays as it is.
    return FilesText::TransferProgress.arg(name.right(ShownNameLength), QString::number(bytesSoFar),
                                           QString::number(total));
}

QString TransferRateText(qint64 bytesSoFar, qint64 total, qint64 elapsedMs)
{
    if (elapsedMs <= 0 || bytesSoFar <= 0)
        return {};
    const double bytesPerMs = double(bytesSoFar) / double(elapsedMs);
    QString text = FilesText::TransferRate.arg(bytesPerMs / 1000.0, 0, 'f', 1);
    if (total > bytesSoFar) {
        // A huge size (a listing can claim any) at a slow rate is more seconds than a qint64
        // holds, and converting such a double is undefined: it is held below that first.
        const double left = double(total - bytesSoFar) / bytesPerMs / 1000.0 + 0.5;
        const qint64 seconds = qint64(std::min(left, 9.0e18));
        const QString clock = seconds >= 3600
            ? QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'))
            : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
        text += FilesText::TransferTimeLeft.arg(clock);
    }
    return text;
}

QString ByteSizeText(qint64 bytes, bool tenths)
{
    static const char* const Units[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1000)
        return QStringLiteral("%1 B").arg(qMax<qint64>(bytes, 0));
    double value = double(bytes);
    int unit = -1;
    while (value >= 999.95 && unit < 4) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', tenths || value < 9.95 ? 1 : 0).arg(QLatin1String(Units[unit]));
}

QString BatchProgressText(qint64 file, qint64 files, qint64 bytesDone, qint64 bytes)
{
    return FilesText::BatchProgress.arg(QString::number(file), QString::number(files), ByteSizeText(bytesDone),
                                        ByteSizeText(bytes));
}

QString ProgressBoxText(const BatchProgress& progress)
{
    QString text;
    if (!progress.connections.isEmpty()) {
        const FileProgress& file = progress.connections.first();
        switch (file.stage) {
        case FileProgress::Stage::Preparing:
            text = FilesText::TransferPreparing;
            break;
        case FileProgress::Stage::Updating:
            text = FilesText::TransferUpdating;
            break;
        case FileProgress::Stage::Moving: {
            const qint64 total = qMax<qint64>(file.total, 0);
            text = TransferProgressText(file.name, file.bytes, total);
            // The speed and the time left count what moved in this run, not what a resumed
            // transfer had before.
            const QString rate = TransferRateText(file.bytes - file.offset, total - file.offset, file.elapsedMs);
            if (!rate.isEmpty())
                text += u'\n' + rate;
            break;
        }
        }
    }
    if (progress.isBatch)
        text += u'\n' + BatchProgressText(qMin(progress.filesDone + 1, progress.files), progress.files,
                                           progress.bytesDone, progress.bytes);
    return text;
}
