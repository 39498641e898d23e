#include "mainwindow/listing.h"

#include "engine/ftp_session.h"
#include "engine/local_name.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/strings.h"

#include <QListWidget>
#include <QTimeZone>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

QString FolderDisplayText(const QString& name)
{
    return u'<' + name + u'>';
}

namespace {

// The typed item of a pane row, from its roles.
PaneItem ItemAt(const QListWidgetItem* item, const QVector<ListingEntry>& entries)
{
    PaneItem typed;
    typed.kind = KindOf(item);
    const QVariant data = item ? item->data(PaneIndexRole) : QVariant();
    const int index = data.isValid() ? data.toInt() : -1;
    if (typed.kind != PaneEntryKind::Parent && index >= 0 && index < entries.size())
        typed.entry = entries[index];
    return typed;
}

}  // namespace

QList<PaneItem> SelectedItems(const QListWidget& list, const QVector<ListingEntry>& entries)
{
    QList<PaneItem> items;
    for (int row : SelectedRows(list))
        items.append(ItemAt(list.item(row), entries));
    return items;
}

std::optional<PaneItem> CaretItem(const QListWidget& list, const QVector<ListingEntry>& entries)
{
    const QListWidgetItem* item = list.currentItem();
    if (!item)
        return std::nullopt;
    return ItemAt(item, entries);
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
    for (int row = 0; row < list.count(); ++row) {
        const PaneEntry& entry = entries[keys[size_t(row)].index];
        list.item(row)->setData(PaneKindRole, static_cast<int>(entry.kind));
        list.item(row)->setData(PaneIndexRole, entry.index);
    }
    list.setUpdatesEnabled(true);
}

bool ListLocalFolder(QListWidget& list, const QString& folder, QVector<ListingEntry>& entries)
{
    const bool atRoot = folder.isEmpty() || folder == u"/";
    const QString directory = atRoot ? QStringLiteral("/") : folder;
    entries.clear();
    std::vector<PaneEntry> texts;
    if (!atRoot)
        texts.push_back({MainText::ParentEntry, PaneEntryKind::Parent});

    DIR* dir = opendir(LocalPathBytes(directory).constData());
    if (!dir) {
        FillPane(list, std::move(texts));
        return false;
    }
    const int dirFd = dirfd(dir);
    while (const dirent* found = readdir(dir)) {
        if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0)
            continue;
        ListingEntry entry;
        entry.name = LocalPathText(found->d_name);
        struct stat info;
        if (fstatat(dirFd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.size = S_ISREG(info.st_mode) ? qint64(info.st_size) : -1;
            entry.modified = QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec, QTimeZone::utc())
                                 .addMSecs(info.st_mtim.tv_nsec / 1000000);
            entry.exactTime = true;
            entry.mode = int(info.st_mode & 07777);
            entry.kind = S_ISDIR(info.st_mode) ? EntryKind::Folder
                         : S_ISLNK(info.st_mode) ? EntryKind::Link
                                                 : EntryKind::File;
        } else {
            entry.kind = found->d_type == DT_DIR ? EntryKind::Folder : EntryKind::File;
        }
        // A link to a folder can be opened like one.
        struct stat target;
        if (entry.kind == EntryKind::Link && fstatat(dirFd, found->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode))
            entry.kind = EntryKind::Folder;
        const bool isFolder = entry.kind == EntryKind::Folder;
        texts.push_back({isFolder ? FolderDisplayText(entry.name) : entry.name,
                         isFolder ? PaneEntryKind::Folder : PaneEntryKind::File, int(entries.size())});
        entries.append(std::move(entry));
    }
    closedir(dir);
    FillPane(list, std::move(texts));
    return true;
}

bool ListLocalFolder(QListWidget& list, const QString& folder)
{
    QVector<ListingEntry> entries;
    return ListLocalFolder(list, folder, entries);
}

void ShowRemoteEntries(QListWidget& list, const RemoteEntryList& entries)
{
    std::vector<PaneEntry> texts{{MainText::ParentEntry, PaneEntryKind::Parent}};
    texts.reserve(size_t(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
    {
        const bool isFolder = entries[i].kind == EntryKind::Folder;
        texts.push_back({isFolder ? FolderDisplayText(entries[i].name) : entries[i].name,
                         isFolder ? PaneEntryKind::Folder : PaneEntryKind::File, int(i)});
    }
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
