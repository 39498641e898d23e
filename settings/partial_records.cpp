#include "settings/partial_records.h"

#include "platform/registry_db.h"
#include "settings/settings_store.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

namespace {

constexpr quint32 TypeBinary = 3;
constexpr quint8 FormatVersion = 1;
// Far more than any record needs (two paths and a little more).
constexpr qsizetype MaxRecordBytes = 64 * 1024;

QString ValueName(const QString& target)
{
    return QString::fromLatin1(QCryptographicHash::hash(target.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool OpenKey(qint64& keyId)
{
    return RegistryDb::OpenKey(QLatin1String(SettingKey::PartialDownloads), keyId) == RegistryDb::Success;
}

}  // namespace

bool PartialRecord::SameRemoteFile(const QString& otherServer, const QString& otherPath, qint64 otherSize,
                                   const QDateTime& otherTime) const
{
    // Something must tell the file: a size or a time that both sides know.
    const bool sizeKnown = remoteSize >= 0 && otherSize >= 0;
    const bool timeKnown = remoteTime.isValid() && otherTime.isValid();
    return server == otherServer && remotePath == otherPath && (sizeKnown || timeKnown) &&
           remoteSize == otherSize && remoteTime == otherTime;
}

namespace PartialRecords {

std::optional<PartialRecord> Find(const QString& target)
{
    qint64 keyId = 0;
    QByteArray data;
    if (!OpenKey(keyId) ||
        RegistryDb::QueryValue(keyId, ValueName(target), MaxRecordBytes, data) != RegistryDb::Success)
        return std::nullopt;
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    quint8 version = 0;
    PartialRecord record;
    in >> version;
    if (version != FormatVersion)
        return std::nullopt;
    in >> record.target >> record.partial >> record.server >> record.remotePath >> record.remoteSize >>
        record.remoteTime >> record.device >> record.inode;
    if (in.status() != QDataStream::Ok || record.target != target || record.partial.isEmpty())
        return std::nullopt;
    return record;
}

bool Store(const PartialRecord& record)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << FormatVersion << record.target << record.partial << record.server << record.remotePath
        << record.remoteSize << record.remoteTime << record.device << record.inode;
    qint64 keyId = 0;
    return OpenKey(keyId) &&
           RegistryDb::SetValue(keyId, ValueName(record.target), TypeBinary, data) == RegistryDb::Success;
}

void Forget(const QString& target)
{
    qint64 keyId = 0;
    if (OpenKey(keyId))
        RegistryDb::DeleteValue(keyId, ValueName(target));
}

}  // namespace PartialRecords
