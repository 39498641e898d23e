#include "transfer/transfer_progress.h"

namespace {
int Share(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return -1;
    // Sizes come from listings, which may claim anything: a part beyond the whole is all of it.
    part = qBound<qint64>(0, part, whole);
    // Near the top of the range a double rounds up: 100 is said only when it is all there.
    const int share = int(double(part) * 100.0 / double(whole));
    return part < whole ? qMin(share, 99) : 100;
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
