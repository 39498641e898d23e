#pragma once

#include "engine/download_sink.h"
#include "engine/ftp_session.h"

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

// The engine's tests move bytes to and from plain files of their own; partial files, resuming
// and replacing are transfer/'s and tested there.

// A file made only once the server took the download (so a download refused early leaves no
// file), from its start; it remembers why a download stopped.
class PathSink final : public DownloadSink {
public:
    explicit PathSink(const QString& path) : path(QFile::encodeName(path)) {}
    ~PathSink() override { CloseFile(); }
    int Open(qint64 start, StreamDigest*) override
    {
        if (start != 0)
            return -1;
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        return fd;
    }
    bool Close(bool) override { return CloseFile(); }
    bool Confirm() override { return true; }
    QString Complete() override { return {}; }
    void Stopped(DownloadStop why) override
    {
        CloseFile();
        stopped = why;
    }
    std::optional<DownloadStop> stopped;

private:
    bool CloseFile()
    {
        const bool closed = fd < 0 || ::close(fd) == 0;
        fd = -1;
        return closed;
    }
    QByteArray path;
    int fd = -1;
};

inline bool Download(FtpSession& session, const QString& remote, const QString& path)
{
    PathSink sink(path);
    return session.RetrieveInto(remote, sink);
}

inline bool Upload(FtpSession& session, const QString& path, const QString& remote)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0)
        ::fstat(fd, &info);
    const bool stored = session.StoreFrom(fd, info.st_size, remote);
    if (fd >= 0)
        ::close(fd);
    return stored;
}
