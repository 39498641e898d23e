#include "transfer/outcome.h"

#include "engine/ftp_session.h"
#include "transfer/strings.h"

#include <cerrno>
#include <cstring>

QString FailureReason(const FtpSession& session)
{
    switch (session.GetReplyCode()) {
    case LocalStatus::ListenPortUnavailable:
    case LocalStatus::SocketCreateFailed:
    case LocalStatus::ListenFailed:
        return TransferText::ReasonListenFailed;
    case LocalStatus::DataSetupRefused:
        return TransferText::ReasonDataSetupRefused;
    case LocalStatus::DataOpenFailed:
        return TransferText::ReasonDataOpenFailed;
    case LocalStatus::SizeMismatch:
        return TransferText::ReasonSizeMismatch;
    case LocalStatus::DownloadDiffers:
        return TransferText::ReasonDownloadDiffers;
    case LocalStatus::UploadDiffers:
        return TransferText::ReasonUploadDiffers;
    case LocalStatus::DataCutShort:
        return TransferText::ReasonDataCutShort;
    default:
        break;
    }
    if (!session.IsConnected())
        return TransferText::ReasonConnectionLost;
    const QString text = session.GetReplyText();
    const QString firstLine = text.left(text.indexOf(u'\n')).trimmed();
    return firstLine.isEmpty() ? TransferText::ReasonNoReply : firstLine;
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
    return TransferText::BatchFailed.arg(QString::number(items), QString::number(failures), firstReason);
}
