#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// Local file names as bytes and back. The desktop's file names are UTF-8 (as Qt takes them);
// a byte that is not part of UTF-8 stands in a name as a lone surrogate U+DC80..U+DCFF, the
// way the wire codec keeps undecodable server bytes. So a server name that UTF-8 cannot hold
// becomes its own raw bytes on the disk, two such names never meet in one local file, and a
// local name read back gives the text it was made from.
//
// Every local path that goes to the file system as bytes goes through LocalPathBytes, and every
// name read from it through LocalPathText; QFile::encodeName would make each escape a '?'.

// Empty when the text stands for no file name: a lone surrogate that is not an escape, a NUL,
// or escapes that would read back as other characters (the name would not be its own).
QByteArray LocalPathBytes(const QString& path);
QString LocalPathText(QByteArrayView bytes);

// What QFileInfo tells of a local path, read through LocalPathBytes: the target of a link
// counts, as there.
class LocalFileInfo {
public:
    explicit LocalFileInfo(const QString& path);
    bool exists() const { return found; }
    bool isSymLink() const { return link; }
    bool isFile() const { return file; }
    bool isDir() const { return folder; }
    qint64 size() const { return bytes; }
    QDateTime lastModified() const { return modified; }

private:
    bool found = false;
    bool link = false;
    bool file = false;
    bool folder = false;
    qint64 bytes = 0;
    QDateTime modified;
};

// mkdir with the usual mode (the umask applies); false when it could not be made.
bool MakeLocalFolder(const QString& path);
