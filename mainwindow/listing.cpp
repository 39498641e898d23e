#include "mainwindow/listing.h"

#include "engine/ftp_session.h"
#include "engine/local_name.h"
#include "mainwindow/strings.h"

#include <QListWidget>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

QString FolderDisplayText(const QString& name)
{
    return u'<' + name + u'>';
}

RemoteEntry ToRemoteEntry(ListingEntry listed)
{
    RemoteEntry entry;
    entry.permissions = listed.ModeText();
    entry.name = listed.name;
    entry.isDirectory = listed.kind == EntryKind::Folder ? 1 : 0;
    entry.size = entry.isDirectory ? MainText::FolderSize : listed.SizeText();
    entry.date = listed.DateText();
    entry.listed = std::move(listed);
    return entry;
}

std::optional<RemoteEntry> ParseListingLine(QStringView line, ListingFormat format)
{
    std::optional<ListingEntry> listed = ParseListingEntry(line, format);
    if (!listed)
        return std::nullopt;
    return ToRemoteEntry(std::move(*listed));
}

PaneEntryKind KindOf(const QListWidgetItem* item)
{
    return item ? static_cast<PaneEntryKind>(item->data(PaneKindRole).toInt()) : PaneEntryKind::File;
}

void FillPane(QListWidget& list, std::vector<PaneEntry> entries)
{
    struct Key {
        PaneEntryKind kind;
        QString folded;
        size_t index;
    };
    // ".." first, then folders, then files.
    auto group = [](PaneEntryKind kind) {
        return kind == PaneEntryKind::Parent ? 0 : kind == PaneEntryKind::Folder ? 1 : 2;
    };
    std::vector<Key> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys.push_back({entries[i].kind, entries[i].text.toCaseFolded(), i});
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.kind != b.kind)
            return group(a.kind) < group(b.kind);
        if (int c = a.folded.compare(b.folded); c != 0)
            return c < 0;
        return entries[a.index].text < entries[b.index].text;
    });
    QStringList sorted;
    sorted.reserve(qsizetype(entries.size()));
    for (const Key& key : keys)
        sorted.append(std::move(entries[key.index].text));

    list.setUpdatesEnabled(false);
    list.clear();
    list.addItems(sorted);
    for (int row = 0; row < list.count(); ++row)
        list.item(row)->setData(PaneKindRole, static_cast<int>(keys[size_t(row)].kind));
    list.setUpdatesEnabled(true);
}

bool ListLocalFolder(QListWidget& list, const QString& folder)
{
    const bool atRoot = folder.isEmpty() || folder == u"/";
    const QString directory = atRoot ? QStringLiteral("/") : folder;
    std::vector<PaneEntry> texts;
    if (!atRoot)
        texts.push_back({MainText::ParentEntry, PaneEntryKind::Parent});

    DIR* dir = opendir(LocalPathBytes(directory).constData());
    if (!dir) {
        FillPane(list, std::move(texts));
        return false;
    }
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // A link to a folder can be opened like one.
            struct stat info;
            isFolder = fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        const QString name = LocalPathText(entry->d_name);
        texts.push_back(isFolder ? PaneEntry{FolderDisplayText(name), PaneEntryKind::Folder}
                                 : PaneEntry{name, PaneEntryKind::File});
    }
    closedir(dir);
    FillPane(list, std::move(texts));
    return true;
}

void ReadRemoteListing(QStringView listing, RemoteEntryList& entries, ListingFormat format, qsizetype maxEntries)
{
    entries.clear();
    entries.cut = ReadListingEntries(listing, format, maxEntries, [&](ListingEntry&& listed) {
        RemoteEntry entry = ToRemoteEntry(std::move(listed));
        if (entry.isDirectory)
            entry.name = FolderDisplayText(entry.name);
        entries.append(std::move(entry));
    });
}

void ReadSessionListing(const FtpSession& session, QStringView listing, RemoteEntryList& entries,
                        qsizetype maxEntries)
{
    ReadRemoteListing(listing, entries, LastListingFormat(session), maxEntries);
    entries.cut = entries.cut || session.LastListingCut();
}

void ShowRemoteEntries(QListWidget& list, const RemoteEntryList& entries)
{
    std::vector<PaneEntry> texts{{MainText::ParentEntry, PaneEntryKind::Parent}};
    texts.reserve(size_t(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        texts.push_back({entries[i].name, entries[i].isDirectory ? PaneEntryKind::Folder : PaneEntryKind::File});
    FillPane(list, std::move(texts));
}

void FillRemotePane(QListWidget& list, QStringView listing, RemoteEntryList& entries, ListingFormat format)
{
    ReadRemoteListing(listing, entries, format);
    ShowRemoteEntries(list, entries);
}

bool ListRemoteFolder(QListWidget& list, const QString& folder, FtpSession& session,
                      RemoteEntryList& entries)
{
    QString listing;
    const bool listed = session.GetFileList(folder, listing);
    ReadSessionListing(session, listing, entries);
    ShowRemoteEntries(list, entries);
    return listed;
}

ListingFormat LastListingFormat(const FtpSession& session)
{
    return session.LastListingIsMachine() ? ListingFormat::Machine : ListingFormat::Long;
}
