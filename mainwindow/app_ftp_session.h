#pragma once

#include "engine/ftp_session.h"
#include "mainwindow/remote_entry.h"

#include <QString>
#include <QtGlobal>

// The session the main window holds: reloads the passive-mode setting at every connect, shows a
// progress box during transfers, and carries out the per-file steps of uploads and downloads.
class AppFtpSession : public FtpSession {
public:
    bool ConnectToServer(const QString& host, quint16 port) override;
    bool RetrieveFile(const QString& remote, const QString& local) override;
    bool StoreFile(const QString& local, const QString& remote) override;

    bool UploadFile(const QString& localFolder, const QString& remoteFolder, const QString& name,
                    const RemoteEntryList& entries);
    bool DownloadFile(const QString& localFolder, const QString& remoteFolder, const QString& name,
                      const RemoteEntryList& entries);

    // Why the latest UploadFile or DownloadFile failed (the server's reply or a local reason);
    // empty after a success and after the user declined to overwrite.
    const QString& TransferFailure() const { return transferFailure; }

private:
    QString transferFailure;
};

// The progress box's text for a transfer: "..." and the last 15 characters of the remote path
// or name, then the bytes so far and the total.
QString TransferProgressText(const QString& name, qint64 bytesSoFar, qint64 total);
