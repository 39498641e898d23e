#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// Points the settings store at a fresh, empty folder for the lifetime of the object, so that a
// test never reads or writes the real per-user store and never sees another test's values.
// With a subfolder name the store's folder is that (not yet existing) folder inside the
// temporary one, for tests that watch the store create its folder.
class TempConfigDir {
public:
    explicit TempConfigDir(const QString& subfolder = {})
        : hadPrevious(qEnvironmentVariableIsSet(VariableName)),
          previous(qgetenv(VariableName))
    {
        folder = subfolder.isEmpty() ? dir.path() : QDir(dir.path()).filePath(subfolder);
        qputenv(VariableName, QFile::encodeName(folder));
    }

    ~TempConfigDir()
    {
        if (hadPrevious)
            qputenv(VariableName, previous);
        else
            qunsetenv(VariableName);
    }

    TempConfigDir(const TempConfigDir&) = delete;
    TempConfigDir& operator=(const TempConfigDir&) = delete;

    bool IsValid() const { return dir.isValid(); }
    // The folder the store uses.
    QString Path() const { return folder; }
    // The store's database file inside that folder.
    QString DatabasePath() const { return QDir(folder).filePath(QStringLiteral("registry.sqlite3")); }

    static constexpr char VariableName[] = "TALLOWIN_CONFIG_DIR";

private:
    QTemporaryDir dir;
    QString folder;
    bool hadPrevious;
    QByteArray previous;
};
