#include "mainwindow/listing.h"

#include "engine/ftp_session.h"
#include "engine/local_name.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/strings.h"

#include <QTimeZone>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

PaneRow ParentRow()
{
    PaneRow row;
    row.entry.name = MainText::ParentEntry;
    row.kind = PaneRowKind::Parent;
    return row;
}

}  // namespace

bool ReadLocalFolder(const QString& folder, std::vector<PaneRow>& rows)
{
    const bool atRoot = folder.isEmpty() || folder == u"/";
    const QString directory = atRoot ? QStringLiteral("/") : folder;
    rows.clear();
    if (!atRoot)
        rows.push_back(ParentRow());

    DIR* dir = opendir(LocalPathBytes(directory).constData());
    if (!dir)
        return false;
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
        const PaneRowKind kind = entry.kind == EntryKind::Folder ? PaneRowKind::Folder : PaneRowKind::File;
        rows.push_back({std::move(entry), kind});
    }
    closedir(dir);
    return true;
}

bool ListLocalFolder(PaneView& pane, const QString& folder)
{
    std::vector<PaneRow> rows;
    const bool read = ReadLocalFolder(folder, rows);
    pane.SetRows(std::move(rows), folder.isEmpty() ? QStringLiteral("/") : folder);
    return read;
}

std::vector<PaneRow> RemoteRows(const RemoteEntryList& entries)
{
    std::vector<PaneRow> rows{ParentRow()};
    rows.reserve(size_t(entries.size()) + 1);
    for (const ListingEntry& entry : entries)
        rows.push_back({entry, entry.kind == EntryKind::Folder ? PaneRowKind::Folder : PaneRowKind::File});
    return rows;
}

void ShowRemoteEntries(PaneView& pane, const RemoteEntryList& entries)
{
    pane.SetRows(RemoteRows(entries));
}

void FillRemotePane(PaneView& pane, QStringView listing, RemoteEntryList& entries, ListingFormat format)
{
    ReadRemoteListing(listing, entries, format);
    ShowRemoteEntries(pane, entries);
}

bool ListRemoteFolder(PaneView& pane, const QString& folder, FtpSession& session, RemoteEntryList& entries)
{
    QString listing;
    const bool listed = session.GetFileList(folder, listing);
    ReadSessionListing(session, listing, entries);
    ShowRemoteEntries(pane, entries);
    return listed;
}
