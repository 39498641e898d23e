#pragma once

#include <QString>
#include <QtGlobal>

class StreamDigest;

// Why a download that took data did not end whole; its sink decides what the data is worth.
enum class DownloadStop {
    Cancelled,    // a cancel stopped the data (the descriptor is still open)
    Failed,       // the network, the server or its final reply failed, or a cancel came at the end
    LocalFailed,  // the local side could not take the bytes (a write, sync or close failed)
    NotWhole,     // the final reply came, but not the size the server gives (see LastReceivedSize)
    Differs,      // the server's digest is not the one of the bytes that came
};

// Where a download's bytes go. The session moves bytes only: it asks for a descriptor once the
// server took the command, and tells the sink how the data ended; naming, opening, syncing and
// renaming are the sink's. The sink owns the descriptor it hands out.
class DownloadSink {
public:
    virtual ~DownloadSink() = default;
    // The server took the command. The descriptor to write to, positioned at start: 0, or the
    // offset the server accepted to go on from (REST). With a digest, the file's first start
    // bytes (what an earlier download kept) go into it. -1 when there is none: the download then
    // fails with LocalStatus::DataOpenFailed.
    virtual int Open(qint64 start, StreamDigest* digest) = 0;
    // The data ended (before the final reply is read), not by a cancel: whole says whether it is
    // the server's whole file as far as the data can tell. The descriptor is done with; false when
    // what it took cannot be relied on (a sync or close failed).
    virtual bool Close(bool whole) = 0;
    // After the final reply, the server's size now vouched for data that alone did not: false
    // when the bytes cannot be made as safe as a download whole from the start (the download
    // then fails with LocalStatus::DataOpenFailed, nothing dropped).
    virtual bool Confirm() = 0;
    // The whole file came and was found right: empty when it took its place, else why not (the
    // download then fails with LocalStatus::TargetNotReplaced and that text).
    virtual QString Complete() = 0;
    // The download took data and ends without it.
    virtual void Stopped(DownloadStop why) = 0;
};

// A descriptor the caller opened and keeps, written from where it stands: for bytes that go
// anywhere but a file of their own (a pipe, a socket, memory). It cannot go on from an offset.
class DescriptorSink final : public DownloadSink {
public:
    explicit DescriptorSink(int fd) : fd(fd) {}
    int Open(qint64 start, StreamDigest*) override { return start == 0 ? fd : -1; }
    bool Close(bool) override { return true; }
    bool Confirm() override { return true; }
    QString Complete() override { return {}; }
    void Stopped(DownloadStop) override {}

private:
    int fd;
};
