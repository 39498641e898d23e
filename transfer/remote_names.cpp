#include "transfer/remote_names.h"

QString JoinPath(const QString& folder, const QString& name)
{
    return folder == u"/" ? folder + name : folder + u'/' + name;
}

bool IsPlainName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

int FindEntry(const RemoteEntryList& entries, const QString& name, bool isFolder)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].name == name && (entries[i].kind == EntryKind::Folder) == isFolder)
            return i;
    }
    return -1;
}

bool IsLinkEntry(const RemoteEntryList& entries, const QString& name)
{
    const int index = FindEntry(entries, name);
    return index >= 0 && entries[index].kind == EntryKind::Link;
}
