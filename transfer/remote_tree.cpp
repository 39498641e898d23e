#include "transfer/remote_tree.h"

#include "engine/ftp_session.h"
#include "transfer/byte_sums.h"
#include "transfer/outcome.h"
#include "transfer/remote_names.h"

#include <QSet>
#include <QStringView>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

// Deeper than any tree a person keeps, shallow enough that a loop no listing reveals ends soon.
constexpr int MaxDepth = 64;
// How long returning to the window's folder may wait after a cancel.
constexpr std::chrono::seconds ReturnWait{5};

// Machine listings give a folder's identity only when asked: the facts the session asked for,
// with "unique" added when the server offers it.
void AskForIdentities(FtpSession& session)
{
    for (const QString& feature : session.Features()) {
        if (feature.section(u' ', 0, 0).compare(u"MLST", Qt::CaseInsensitive) != 0)
            continue;
        static const QStringList Wanted = {QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modify"),
                                           QStringLiteral("UNIX.mode"), QStringLiteral("perm"),
                                           QStringLiteral("unique")};
        QStringList facts;
        bool offersUnique = false;
        for (QString offered : feature.section(u' ', 1).split(u';', Qt::SkipEmptyParts)) {
            if (offered.endsWith(u'*'))
                offered.chop(1);
            if (!Wanted.contains(offered, Qt::CaseInsensitive))
                continue;
            facts << offered;
            offersUnique = offersUnique || offered.compare(u"unique", Qt::CaseInsensitive) == 0;
        }
        if (offersUnique && session.SendCommand(QStringLiteral("OPTS MLST ") + facts.join(u';') + u';'))
            session.GetResponce();
    }
}

// The names STAT lists as links in the folder: its reply is a long listing, read with lstat by
// servers whose machine listing shows a link as what it leads to. Empty when refused.
QSet<QString> LinksByStatus(FtpSession& session, const QString& folder)
{
    QSet<QString> links;
    if (!session.SendCommand(QStringLiteral("STAT ") + folder))
        return links;
    const QString reply = session.GetResponce();
    const int code = session.GetReplyCode();
    if (code < 211 || code > 213)
        return links;
    for (QStringView line : QStringView(reply).split(u'\n')) {
        const std::optional<ListingEntry> entry = ParseListingEntry(line, ListingFormat::Long);
        if (entry && entry->kind == EntryKind::Link)
            links.insert(entry->name);
    }
    return links;
}

// What a machine listing called a folder but STAT calls a link becomes a link entry.
void MarkLinks(FtpSession& session, const QString& folder, RemoteEntryList& entries)
{
    bool anyFolder = false;
    for (const ListingEntry& entry : std::as_const(entries))
        anyFolder = anyFolder || entry.kind == EntryKind::Folder;
    if (!anyFolder)
        return;
    const QSet<QString> links = LinksByStatus(session, folder);
    for (ListingEntry& entry : entries) {
        if (entry.kind == EntryKind::Folder && links.contains(entry.name))
            entry.kind = EntryKind::Link;
    }
}

bool ListHere(FtpSession& session, const QString& path, RemoteEntryList& entries,
              qsizetype maxEntries = MaxListingEntries)
{
    QString listing;
    if (!session.ChangeDir(path) || !session.GetFileList(path, listing))
        return false;
    ReadSessionListing(session, listing, entries, maxEntries);
    if (session.LastListingIsMachine())
        MarkLinks(session, path, entries);
    return true;
}

// Whether the folder at the path is a link, as its parent's STAT says; only asked where machine
// listings hide links.
bool IsLinkByStatus(FtpSession& session, const QString& path)
{
    if (!session.HasFeature(QStringLiteral("MLST")))
        return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    return LinksByStatus(session, parent).contains(path.mid(slash + 1));
}

}  // namespace

bool IsWalkableFolder(const ListingEntry& entry)
{
    return entry.kind == EntryKind::Folder && IsPlainName(entry.name);
}

void ReturnToRemoteFolder(FtpSession& session, const QString& folder)
{
    if (!session.IsCancelled()) {
        session.ChangeDir(folder);
        return;
    }
    // After 中止 the way back waits for the settling, which the window runs once the work has
    // returned: the box does not stay up for a server that does not answer ABOR.
    if (session.SettlePending()) {
        session.ChangeDirAfterSettling(folder);
        return;
    }
    const auto limit = session.IdleLimit();
    session.ResetCancel();
    session.SetIdleLimit(std::min<std::chrono::milliseconds>(limit, ReturnWait));
    session.ChangeDir(folder);
    session.SetIdleLimit(limit);
    session.Cancel();
}

bool ListRemoteFolderAt(FtpSession& session, const QString& path, const QString& returnTo,
                        RemoteEntryList& entries)
{
    const bool listed = ListHere(session, path, entries);
    ReturnToRemoteFolder(session, returnTo);
    return listed && !entries.cut;
}

bool WalkRemoteTree(FtpSession& session, const QString& path, const QString& unique,
                    const QString& returnTo, RemoteTree& tree, qint64 maxEntries)
{
    AskForIdentities(session);
    // A link selected as a folder is not entered: what it leads to lies outside.
    if (IsLinkByStatus(session, path)) {
        ReturnToRemoteFolder(session, returnTo);
        return !session.IsCancelled();
    }
    QSet<QString> seen;
    if (!unique.isEmpty())
        seen.insert(unique);
    struct Pending {
        QString relative;
        QString path;
        int depth;
    };
    QList<Pending> pending{{QString(), path, 0}};
    bool ok = true;
    qint64 collected = 0;
    while (!pending.isEmpty() && ok) {
        const Pending folder = pending.takeLast();
        RemoteTreeFolder walked{folder.relative, folder.path, {}};
        // One entry more than the walk may still take tells that the tree is too large, without
        // reading a listing of millions into memory first.
        const qsizetype room = qsizetype(std::min<qint64>(MaxListingEntries, maxEntries - collected + 1));
        if (session.IsCancelled() || !ListHere(session, folder.path, walked.entries, room)) {
            ok = false;
            break;
        }
        collected += walked.entries.size();
        if (walked.entries.cut || collected > maxEntries) {
            tree.tooLarge = true;
            ok = false;
            break;
        }
        // Children are taken from the end, so they go on in reverse to be walked in listing order.
        QList<Pending> children;
        for (const ListingEntry& entry : std::as_const(walked.entries)) {
            const QString& name = entry.name;
            const QString relative = folder.relative.isEmpty() ? name : folder.relative + u'/' + name;
            if (entry.kind == EntryKind::Link) {
                tree.notEntered << relative;
                continue;
            }
            if (entry.kind != EntryKind::Folder) {
                ++tree.files;
                tree.bytes = AddBytes(tree.bytes, entry.size);
                continue;
            }
            const bool again = !entry.unique.isEmpty() && seen.contains(entry.unique);
            if (!IsWalkableFolder(entry) || again || folder.depth + 1 >= MaxDepth) {
                tree.notEntered << relative;
                continue;
            }
            if (!entry.unique.isEmpty())
                seen.insert(entry.unique);
            children.prepend({relative, JoinPath(folder.path, name), folder.depth + 1});
        }
        pending += children;
        tree.folders.append(std::move(walked));
    }
    ReturnToRemoteFolder(session, returnTo);
    return ok;
}

bool RemoveRemoteTree(FtpSession& session, const RemoteTree& tree, QString& failure)
{
    failure.clear();
    if (tree.folders.isEmpty())
        return false;
    bool ok = true;
    const auto remove = [&](const QString& path, bool folder) {
        if (session.IsCancelled())
            return false;
        if (folder ? session.RemoveDir(path) : session.DeleteRemoteFile(path))
            return true;
        if (failure.isEmpty())
            failure = path + QStringLiteral(": ") + FailureReason(session);
        ok = false;
        return !session.IsCancelled();
    };
    const QString& top = tree.folders.first().path;
    for (const QString& relative : tree.notEntered)
        if (!remove(top + u'/' + relative, false))
            return false;
    for (auto folder = tree.folders.crbegin(); folder != tree.folders.crend(); ++folder) {
        for (const ListingEntry& entry : folder->entries) {
            if (entry.kind == EntryKind::File &&
                !remove(JoinPath(folder->path, entry.name), false))
                return false;
        }
        if (!remove(folder->path, true))
            return false;
    }
    return ok;
}
