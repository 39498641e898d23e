#include "mainwindow/listing.h"

#include "engine/ftp_session.h"
#include "mainwindow/strings.h"

#include <QFile>
#include <QListWidget>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {

struct Token {
    qsizetype begin;
    qsizetype end;  // one past the last character
};

// The blank-separated fields at the front of the line; enough of them to reach the date of a
// long listing (mode, links, owner, group, size, month, day, time) with a little room.
constexpr int FieldsToScan = 10;

int SplitFields(QStringView line, Token* tokens)
{
    int count = 0;
    qsizetype pos = 0;
    const qsizetype length = line.size();
    while (count < FieldsToScan) {
        while (pos < length && line[pos] == u' ')
            ++pos;
        if (pos == length)
            break;
        qsizetype begin = pos;
        while (pos < length && line[pos] != u' ')
            ++pos;
        tokens[count++] = {begin, pos};
    }
    return count;
}

bool IsDigits(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// "Dec", "déc.", "12月": short, with a letter, not a time.
bool LooksLikeMonth(QStringView s)
{
    return s.size() <= 6 && !s.contains(u':') &&
           std::any_of(s.begin(), s.end(), [](QChar c) { return c.isLetter(); });
}

bool LooksLikeDay(QStringView s)
{
    return s.size() <= 2 && IsDigits(s);
}

// "06:00", "6:00" or a year such as "2024".
bool LooksLikeTimeOrYear(QStringView s)
{
    if (s.size() == 4 && IsDigits(s))
        return true;
    qsizetype colon = s.indexOf(u':');
    return colon >= 1 && colon <= 2 && IsDigits(s.left(colon)) && s.size() - colon == 3 &&
           IsDigits(s.mid(colon + 1));
}

bool IsSummaryLine(QStringView line, const Token* tokens, int count)
{
    if (count != 2 || !IsDigits(line.mid(tokens[1].begin, tokens[1].end - tokens[1].begin)))
        return false;
    QStringView word = line.mid(tokens[0].begin, tokens[0].end - tokens[0].begin);
    return word == u"total" || word == u"合計";
}

// The date triple of a long listing with the size in front of it: the index of the size field,
// or -1 when the line is not a long-listing line.
int FindSizeField(QStringView line, const Token* tokens, int count)
{
    auto field = [&](int i) { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); };
    auto isSizeField = [&](int i) {
        return i + 3 < count && IsDigits(field(i)) && LooksLikeMonth(field(i + 1)) &&
               LooksLikeDay(field(i + 2)) && LooksLikeTimeOrYear(field(i + 3));
    };
    // The usual places first: after mode, links, owner and group, or with no group. A named
    // owner beside a small numeric group ("ftp 50 1024 Dec ...") would look like a date earlier
    // on. Neither place can match falsely when the size stands at the other: a month has a letter.
    for (int i : {4, 3}) {
        if (isSizeField(i))
            return i;
    }
    for (int i = 1; i + 3 < count; ++i) {
        if (isSizeField(i))
            return i;
    }
    return -1;
}

// The rules for a line that is not a long-listing line: the name is the last blank-separated
// word, the date the 12 characters before it and the size the word that ends 14 characters
// before it.
void ParseByLastBlank(QStringView line, RemoteEntry& entry)
{
    const qsizetype lastBlank = line.lastIndexOf(u' ');
    entry.name = line.mid(lastBlank + 1).toString();
    entry.date = line.mid(std::max<qsizetype>(0, lastBlank - 12), 12).toString();
    if (entry.isDirectory)
        return;
    const qsizetype sizeEnd = lastBlank - 14;
    if (sizeEnd < 0)
        return;
    qsizetype sizeBegin = sizeEnd;
    while (sizeBegin >= 0 && line[sizeBegin] != u' ')
        --sizeBegin;
    entry.size = line.mid(sizeBegin + 1, sizeEnd - sizeBegin).toString();
}

}  // namespace

QString FolderDisplayText(const QString& name)
{
    return u'<' + name + u'>';
}

std::optional<RemoteEntry> ParseListingLine(QStringView line)
{
    if (line.endsWith(u'\r'))
        line.chop(1);

    Token tokens[FieldsToScan];
    const int count = SplitFields(line, tokens);
    if (IsSummaryLine(line, tokens, count))
        return std::nullopt;

    RemoteEntry entry;
    const qsizetype firstBlank = line.indexOf(u' ');
    if (firstBlank > 0)
        entry.permissions = line.left(firstBlank).toString();
    entry.isDirectory = entry.permissions.startsWith(u'd') ? 1 : 0;
    if (entry.isDirectory)
        entry.size = MainText::FolderSize;

    const int sizeField = FindSizeField(line, tokens, count);
    if (sizeField < 0) {
        ParseByLastBlank(line, entry);
    } else {
        const qsizetype dateBegin = tokens[sizeField + 1].begin;
        const qsizetype dateEnd = tokens[sizeField + 3].end;
        entry.date = line.mid(dateBegin, dateEnd - dateBegin).toString();
        if (!entry.isDirectory)
            entry.size = line.mid(tokens[sizeField].begin, tokens[sizeField].end - tokens[sizeField].begin).toString();
        // The name is everything after the one blank that follows the date, blanks included.
        QStringView name = line.mid(std::min(dateEnd + 1, line.size()));
        if (entry.permissions.startsWith(u'l')) {
            const qsizetype arrow = name.indexOf(u" -> ");
            if (arrow >= 0)
                name = name.left(arrow);
        }
        entry.name = name.toString();
    }

    if (entry.name.isEmpty() || entry.name == u"." || entry.name == u".." || entry.name.contains(u'/') ||
        entry.name.contains(QChar::Null))
        return std::nullopt;
    return entry;
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

    DIR* dir = opendir(QFile::encodeName(directory).constData());
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
        const QString name = QFile::decodeName(entry->d_name);
        texts.push_back(isFolder ? PaneEntry{FolderDisplayText(name), PaneEntryKind::Folder}
                                 : PaneEntry{name, PaneEntryKind::File});
    }
    closedir(dir);
    FillPane(list, std::move(texts));
    return true;
}

void FillRemotePane(QListWidget& list, QStringView listing, RemoteEntryList& entries)
{
    entries.clear();
    std::vector<PaneEntry> texts{{MainText::ParentEntry, PaneEntryKind::Parent}};
    qsizetype pos = 0;
    while (pos < listing.size()) {
        qsizetype end = listing.indexOf(u'\n', pos);
        if (end < 0)
            end = listing.size();
        if (std::optional<RemoteEntry> entry = ParseListingLine(listing.mid(pos, end - pos))) {
            if (entry->isDirectory)
                entry->name = FolderDisplayText(entry->name);
            texts.push_back({entry->name, entry->isDirectory ? PaneEntryKind::Folder : PaneEntryKind::File});
            entries.append(std::move(*entry));
        }
        pos = end + 1;
    }
    RemoteEntry closing;
    closing.name = RemoteEntryList::EndMarker;
    entries.append(closing);
    FillPane(list, std::move(texts));
}

bool ListRemoteFolder(QListWidget& list, const QString& folder, FtpSession& session,
                      RemoteEntryList& entries)
{
    QString listing;
    const bool listed = session.GetFileList(folder, listing);
    FillRemotePane(list, listing, entries);
    return listed;
}
