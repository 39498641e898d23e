// Placeholder until the transfer steps land: plain engine behaviour.
#include "mainwindow/app_ftp_session.h"

#include "settings/settings_store.h"

bool AppFtpSession::ConnectToServer(const QString& host, quint16 port)
{
    SetPassiveMode(SettingsStore::ReadFlag(SettingName::UsePASV));
    return FtpSession::ConnectToServer(host, port);
}

bool AppFtpSession::RetrieveFile(const QString& remote, const QString& local)
{
    return FtpSession::RetrieveFile(remote, local);
}

bool AppFtpSession::StoreFile(const QString& local, const QString& remote)
{
    return FtpSession::StoreFile(local, remote);
}

bool AppFtpSession::UploadFile(const QString&, const QString&, const QString&, const RemoteEntryList&)
{
    return false;
}

bool AppFtpSession::DownloadFile(const QString&, const QString&, const QString&, const RemoteEntryList&)
{
    return false;
}
