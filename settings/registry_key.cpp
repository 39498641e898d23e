#include "settings/registry_key.h"

#include "platform/registry_db.h"

#include <QtEndian>

#include <cstring>

namespace {
// The read buffers the program has always used: a number is one DWORD, a string at most 99
// characters and its terminating NUL.
constexpr qsizetype NumberBufferBytes = 4;
constexpr qsizetype StringBufferBytes = 200;
}  // namespace

RegistryKey::RegistryKey() = default;

RegistryKey::~RegistryKey()
{
    Close();
}

long RegistryKey::Open(RegistryRoot /*root*/, const QString& keyPath)
{
    Close();
    path = keyPath;
    qint64 keyId = 0;
    const long status = RegistryDb::OpenKey(path, keyId);
    if (status == RegistryDb::Success)
        handle = keyId;
    return status;
}

void RegistryKey::Close()
{
    handle = 0;
}

bool RegistryKey::IsOpen() const
{
    return handle != 0;
}

long RegistryKey::SetNumber(const QString& name, qint32 value)
{
    if (!IsOpen())
        return RegistryDb::ErrorInvalidHandle;
    QByteArray data(NumberBufferBytes, '\0');
    qToLittleEndian<quint32>(quint32(value), data.data());
    return RegistryDb::SetValue(handle, name, RegistryDb::TypeNumber, data);
}

long RegistryKey::SetString(const QString& name, const QString& text)
{
    if (!IsOpen())
        return RegistryDb::ErrorInvalidHandle;
    // UTF-16LE with the terminating NUL: (length + 1) * 2 bytes.
    QByteArray data((text.size() + 1) * 2, '\0');
    qToLittleEndian<quint16>(text.utf16(), text.size(), data.data());
    return RegistryDb::SetValue(handle, name, RegistryDb::TypeString, data);
}

long RegistryKey::QueryNumber(const QString& name, qint32& out) const
{
    if (!IsOpen())
        return RegistryDb::ErrorInvalidHandle;
    QByteArray data;
    const long status = RegistryDb::QueryValue(handle, name, NumberBufferBytes, data);
    if (status != RegistryDb::Success)
        return status;
    // The type is not examined: whatever bytes are stored fill the DWORD from its low end.
    uchar bytes[NumberBufferBytes] = {};
    std::memcpy(bytes, data.constData(), size_t(data.size()));
    out = qint32(qFromLittleEndian<quint32>(bytes));
    return status;
}

long RegistryKey::QueryString(const QString& name, QString& out) const
{
    out.clear();
    if (!IsOpen())
        return RegistryDb::ErrorInvalidHandle;
    QByteArray data;
    const long status = RegistryDb::QueryValue(handle, name, StringBufferBytes, data);
    if (status != RegistryDb::Success)
        return status;
    // The type is not examined: the bytes are read as UTF-16LE up to the first NUL.
    const qsizetype units = data.size() / 2;
    QString text(units, Qt::Uninitialized);
    qFromLittleEndian<quint16>(data.constData(), units, text.data());
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    out = nul < 0 ? text : text.left(nul);
    return status;
}
