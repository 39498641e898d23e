#include "transfer/transfer_progress.h"

namespace {
int Share(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return -1;
    // Sizes come from listings, which may claim anything: a part beyond the whole is all of it.
    return int(double(qBound<qint64>(0, part, whole)) * 100.0 / double(whole));
}
}  // namespace

int BatchProgress::Percent() const
{
    if (isBatch) {
        const int byBytes = Share(bytesDone, bytes);
        return byBytes >= 0 ? byBytes : Share(filesDone, files);
    }
    return connections.isEmpty() ? -1 : Share(connections.first().bytes, connections.first().total);
}
