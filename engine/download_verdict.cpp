#include "engine/download_verdict.h"

DownloadVerdict JudgeDownload(bool binary, bool endedInOrder, qint64 received, qint64 expected)
{
    if (binary && expected > 0 && received != expected)
        return DownloadVerdict::SizeMismatch;
    if (!endedInOrder && received != qMax<qint64>(expected, 0))
        return DownloadVerdict::CutShort;
    return DownloadVerdict::Whole;
}
