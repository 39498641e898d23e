#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Whole local folders, walked and removed through folder descriptors (openat, unlinkat), so that
// nothing outside the folder is ever reached: links are entries of their own and never followed
// (also not a link swapped in while the walk runs), "." and ".." are never walked, a folder on
// another file system is not entered, and a folder met twice (a bind mount of an ancestor) ends
// the walk there instead of looping.

// Removes everything inside the folder, deepest first, and then the folder. False when anything
// stayed; failure then names the first path that could not go and why.
bool RemoveLocalTree(const QString& folder, QString& failure);

// What an upload of the folder sends: its folders and regular files, paths relative to the
// folder ("a", "a/b.txt"), each folder before what it holds. Links and special files are left
// out (a link is never followed, so a loop of links is never met).
struct LocalTreeFile {
    QString path;
    qint64 size = 0;
};
struct LocalTreeListing {
    QStringList folders;
    QList<LocalTreeFile> files;
    qint64 bytes = 0;
    qint64 others = 0;     // links and special files: not sent, but removed with the folder
    bool complete = true;  // false when a folder could not be read or was not entered
    // Everything a removal of the folder takes with it.
    qint64 Items() const { return folders.size() + files.size() + others; }
};
LocalTreeListing ListLocalTree(const QString& folder);
