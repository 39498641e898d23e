#include "mainwindow/outcome.h"

#include "engine/ftp_session.h"
#include "mainwindow/strings.h"

#include <cerrno>
#include <cstring>

QString FailureReason(const FtpSession& session)
{
    switch (session.GetReplyCode()) {
    case LocalStatus::ListenPortUnavailable:
    case LocalStatus::SocketCreateFailed:
    case LocalStatus::ListenFailed:
        return FilesText::ReasonListenFailed;
    case LocalStatus::DataSetupRefused:
        return FilesText::ReasonDataSetupRefused;
    case LocalStatus::DataOpenFailed:
        return FilesText::ReasonDataOpenFailed;
    case LocalStatus::SizeMismatch:
        return FilesText::ReasonSizeMismatch;
    case LocalStatus::DownloadDiffers:
        return FilesText::ReasonDownloadDiffers;
    case LocalStatus::UploadDiffers:
        return FilesText::ReasonUploadDiffers;
    case LocalStatus::DataCutShort:
        return FilesText::ReasonDataCutShort;
    default:
        break;
    }
    if (!session.IsConnected())
        return FilesText::ReasonConnectionLost;
    const QString text = session.GetReplyText();
    const QString firstLine = text.left(text.indexOf(u'\n')).trimmed();
    return firstLine.isEmpty() ? FilesText::ReasonNoReply : firstLine;
}

QString LocalFailureReason(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

void BatchTally::Count(bool succeeded, const QString& reason)
{
    ++items;
    if (succeeded)
        return;
    if (failures++ == 0)
        firstReason = reason;
}

QString BatchTally::Summary(const QString& success) const
{
    if (failures == 0)
        return success;
    return FilesText::BatchFailed.arg(QString::number(items), QString::number(failures), firstReason);
}
