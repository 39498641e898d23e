#include "transfer/transfer_mode.h"

#include <QList>

bool IsTextModeFile(const QString& name, const QString& modeList)
{
    const QStringView names(name);
    for (QStringView item : QStringView(modeList).split(u' ')) {
        // An item longer than the name is compared with the whole name, so it cannot match.
        if (item.isEmpty() || !names.endsWith(item, Qt::CaseSensitive))
            continue;
        // The ending must be a whole part of the name: "c" is meant for "main.c", and a bare
        // suffix match would send "song.flac", "photo.heic" or "module.pyc" as text and
        // corrupt them. An item that brings its own dot or slash needs no such border.
        const qsizetype before = names.size() - item.size() - 1;
        if (before < 0 || item.front() == u'.' || item.front() == u'/' || names[before] == u'.' ||
            names[before] == u'/')
            return true;
    }
    return false;
}
