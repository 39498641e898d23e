#pragma once

// What the tests of the file handlers share: a main window over a fresh settings store, the
// scripted prompter, a scratch local folder, and a way to reach the window's panes and paths.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "tests/support/main_window_test_access.h"
#include "mainwindow/small_dialogs.h"
#include "resources/resource_ids.h"
#include "settings/settings_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"
#include "tests/support/test_servers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>


// Selects exactly the entries with these texts; false when one is missing.
inline bool SelectTexts(PaneView& pane, const QStringList& texts)
{
    pane.Tree().clearSelection();
    for (const QString& text : texts) {
        const int row = FindRow(pane, text);
        if (row < 0)
            return false;
        SelectRow(pane, row);
    }
    return true;
}

// Puts the caret (focus mark) on the entry without selecting it; false when it is missing.
inline bool PutCaret(PaneView& pane, const QString& text)
{
    const int row = FindRow(pane, text);
    if (row < 0)
        return false;
    PutCaretOn(pane, row);
    return true;
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A text as the log box shows it (its line ends are the box's own).
inline QString AsLogShows(const QString& text)
{
    QPlainTextEdit box;
    box.setPlainText(text);
    return box.toPlainText();
}

// Every text the log box showed while a handler ran, in order.
class LogWatch {
public:
    explicit LogWatch(MainWindow& window)
    {
        QObject::connect(window.findChild<QPlainTextEdit*>(), &QPlainTextEdit::textChanged, &context,
                         [this, &window] {
                             if (lines.isEmpty() || lines.last() != window.LogText())
                                 lines << window.LogText();
                         });
    }
    QStringList lines;

private:
    QObject context;
};

// The permission bits of a file or folder, -1 when it is missing.
inline int ModeOnDisk(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// A dialog script that types the text into a new-folder or rename dialog and confirms it.
inline ScriptedPrompter::DialogScript TypeAndConfirm(const QString& text)
{
    return [text](QDialog& dialog) {
        QLineEdit* edit = nullptr;
        if (auto* folder = qobject_cast<NewFolderDialog*>(&dialog))
            edit = folder->NameEdit();
        else if (auto* rename = qobject_cast<RenameDialog*>(&dialog))
            edit = rename->NameEdit();
        if (!edit)
            return false;
        dialog.show();
        edit->setText(text);
        dialog.accept();
        return true;
    };
}

inline ScriptedPrompter::DialogScript Cancel()
{
    return [](QDialog& dialog) {
        dialog.reject();
        return false;
    };
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.IsValid());
        ASSERT_TRUE(scratch.isValid());
        // The scripts here speak active mode with the type the buttons chose, as a user who
        // turned the first start's automatic and passive modes off.
        SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
        SettingsStore::WriteFlag(SettingName::UsePASV, false);
        window = std::make_unique<MainWindow>();
    }

    QLineEdit& LocalPathEdit() { return *static_cast<QLineEdit*>(window->Control(MainControlId::LocalPath)); }
    QLineEdit& RemotePathEdit() { return *static_cast<QLineEdit*>(window->Control(MainControlId::RemotePath)); }
    PaneView& LocalList() { return *window->LocalList(); }
    PaneView& RemoteList() { return *window->RemoteList(); }
    QString Scratch(const QString& name = {}) const
    {
        return name.isEmpty() ? scratch.path() : QDir(scratch.path()).filePath(name);
    }

    TempConfigDir config;
    ScriptedPrompter prompter;
    QTemporaryDir scratch;
    std::unique_ptr<MainWindow> window;
};

// The same window logged in to one of the real servers (named by the test parameter), in a
// folder of its own under the server's root, with both panes listed.
class RemoteFilesTest : public FilesTest, public ::testing::WithParamInterface<QString> {
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        servers = TestServers();
        server = FindTestServer(servers, GetParam());
        // The root must be absolute: every folder the test removes lies inside it.
        if (!server || !QDir::isAbsolutePath(server->root)) {
            server = nullptr;
            GTEST_SKIP() << "no " << GetParam().toStdString() << " server (run scripts/test.sh)";
        }
        static int serial = 0;
        folder = QStringLiteral("files-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
        PutRemoteFolder(folder);
        // Both data connection modes get their turn. pyftpdlib 1.5.7 loses one of two active
        // data connections it opens at the same moment (two test programs at once), so it
        // serves in passive mode.
        SettingsStore::WriteFlag(SettingName::UsePASV, server->name == QStringLiteral("pyftpdlib"));
        TransferSession& session = MainWindowTestAccess::Session(*window);
        session.SetIdleLimit(std::chrono::seconds(20));
        ASSERT_TRUE(session.ConnectToServer(server->host, server->port)) << Reply();
        ASSERT_TRUE(session.UserLogin(server->user, server->password)) << Reply();
        ASSERT_TRUE(session.ChangeDir(RemoteFolder())) << Reply();
        MainWindowTestAccess::ShowLocal(*window, Scratch());
        MainWindowTestAccess::ShowRemote(*window, RemoteFolder());
    }

    void TearDown() override
    {
        // Only the test's own folder, never the server's root or anything above it.
        if (server && folder.startsWith(QStringLiteral("files-")))
            QDir(OnServer(folder)).removeRecursively();
    }

    // The test's folder as the client sees it, and a path inside it.
    QString RemoteFolder(const QString& name = {}) const
    {
        return QLatin1Char('/') + folder + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    // Where a path under the server's root lies on this machine.
    QString OnServer(const QString& path) const { return QDir(server->root).filePath(path); }
    QString InFolder(const QString& name) const { return OnServer(folder + QLatin1Char('/') + name); }

    // Files and folders made on the server's disk belong to the server's user, so that a server
    // that runs as that user may change them.
    void PutRemoteFolder(const QString& path) const;
    void PutRemoteFile(const QString& name, const QByteArray& bytes, int mode = 0644) const;
    void Relist() { MainWindowTestAccess::ShowRemote(*window, RemoteFolder()); }
    std::string Reply() { return MainWindowTestAccess::Session(*window).GetReplyText().toStdString(); }

    std::vector<TestServer> servers;
    const TestServer* server = nullptr;
    QString folder;
};

inline QStringList AllServers()
{
    return {QStringLiteral("pyftpdlib"), QStringLiteral("vsftpd")};
}

namespace files_fixture_detail {
inline void GiveToServerUser(const TestServer& server, const QString& path, int mode)
{
    const QByteArray native = QFile::encodeName(path);
    if (const passwd* user = getpwnam(server.user.toLocal8Bit().constData()))
        (void)chown(native.constData(), user->pw_uid, user->pw_gid);
    ::chmod(native.constData(), static_cast<mode_t>(mode));
}
}  // namespace files_fixture_detail

inline void RemoteFilesTest::PutRemoteFolder(const QString& path) const
{
    ASSERT_TRUE(QDir(server->root).mkpath(path));
    files_fixture_detail::GiveToServerUser(*server, OnServer(path), 0777);
}

inline void RemoteFilesTest::PutRemoteFile(const QString& name, const QByteArray& bytes, int mode) const
{
    WriteFile(InFolder(name), bytes);
    files_fixture_detail::GiveToServerUser(*server, InFolder(name), mode);
}
