#pragma once

#include <QString>
#include <QtGlobal>

// Root of the per-user store; the only root the program uses.
enum class RegistryRoot { CurrentUser };

// One open key of the per-user store. Lives on the stack of the operation that uses it; the
// destructor closes it. Status results follow the registry: 0 is success.
class RegistryKey {
public:
    RegistryKey();
    virtual ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    long Open(RegistryRoot root, const QString& path);
    void Close();
    bool IsOpen() const;
    long SetNumber(const QString& name, qint32 value);
    long SetString(const QString& name, const QString& text);
    long QueryNumber(const QString& name, qint32& out) const;
    long QueryString(const QString& name, QString& out) const;

private:
    qint64 handle = 0;  // the open key's id in the store; 0 while closed
    QString path;
};
