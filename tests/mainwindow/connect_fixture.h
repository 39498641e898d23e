#pragma once

// What the connect tests share: a main window over a fresh settings store, the scripted prompter
// and dial-up service, a scratch local folder, a login dialog filled from the test, and a
// scripted server for the usual connect.
#include "mainwindow/main_window.h"
#include "tests/support/main_window_test_access.h"
#include "mainwindow/strings.h"
#include "mainwindow/wait_dialog.h"
#include "resources/resource_ids.h"
#include "settings/login_dialog.h"
#include "settings/settings_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/scripted_dialup.h"
#include "tests/support/scripted_ftp_peer.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>


// How the log box shows a message: its CR LF line ends as plain line feeds.
inline QString AsLogged(QString message)
{
    return message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A loopback port that nothing listens on: bound by the system, then released.
inline quint16 ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The text of the wait box on screen, empty when there is none.
inline QString ShownWaitText()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<WaitDialog*>(widget); box && box->isVisible())
            return box->ShownText();
    return {};
}

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.IsValid());
        ASSERT_TRUE(local.isValid());
        // The scripts here speak active mode with the type the buttons chose, as a user who
        // turned the first start's automatic and passive modes off.
        SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
        SettingsStore::WriteFlag(SettingName::UsePASV, false);
        window = std::make_unique<MainWindow>();
    }

    // The next login dialog gets these texts typed in and is confirmed with OK. The scripts
    // speak plain FTP unless the encryption choice says otherwise; the character set is the
    // combo's line of that name, automatic when empty.
    void QueueLogin(const QString& server, const QString& userName = QStringLiteral("user"),
                    const QString& password = QStringLiteral("secret"), const QString& localInitDir = {},
                    const QString& remoteInitDir = {}, int encryption = 0, const QString& charset = {})
    {
        prompter.QueueDialog([=](QDialog& dialog) {
            EXPECT_NE(qobject_cast<LoginDialog*>(&dialog), nullptr);
            const auto type = [&](const char* name, const QString& text) {
                auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
                EXPECT_NE(edit, nullptr) << name;
                if (edit)
                    edit->setText(text);
            };
            type("serverEdit", server);
            type("userNameEdit", userName);
            type("passwordEdit", password);
            type("localInitDirEdit", localInitDir);
            type("remoteInitDirEdit", remoteInitDir);
            auto* encryptionCombo = dialog.findChild<QComboBox*>(QStringLiteral("encryptionCombo"));
            EXPECT_NE(encryptionCombo, nullptr);
            if (encryptionCombo)
                encryptionCombo->setCurrentIndex(encryption);
            if (!charset.isEmpty()) {
                auto* charsetCombo = dialog.findChild<QComboBox*>(QStringLiteral("charsetCombo"));
                EXPECT_NE(charsetCombo, nullptr);
                if (charsetCombo)
                    charsetCombo->setCurrentText(charset);
            }
            dialog.accept();
            return true;
        });
    }

    // Greeting, login, FEAT listing nothing, PWD answering "/home", an optional CWD, PWD, and an
    // active-mode listing of one folder and one file. With authReply, AUTH TLS is answered with
    // it before the login.
    static void ScriptConnect(ScriptedFtpPeer& peer, const QByteArray& cwdReply = {},
                              const QByteArray& folderAfterCwd = "/home", const QByteArray& authReply = {})
    {
        if (authReply.isEmpty())
            peer.Login();
        else
            peer.Greet().Answer(authReply).Answer("331 Password please").Answer("230 in");
        peer.Answer("211 End").Answer("257 \"/home\" is the current directory");
        if (!cwdReply.isEmpty())
            peer.Answer(cwdReply);
        peer.Answer("257 \"" + folderAfterCwd + "\" is the current directory")
            .Answer("200 Type set to A")
            .Answer("200 PORT command successful")
            .Answer("150 Here comes the listing")
            .ConnectData()
            .SendData("drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 sub\r\n"
                      "-rw-r--r-- 1 ftp ftp    5 Jan 01  2024 a.txt\r\n")
            .CloseData()
            .Send("226 Transfer complete\r\n");
    }

    static QString PeerServer(const ScriptedFtpPeer& peer)
    {
        return QStringLiteral("127.0.0.1:%1").arg(peer.Port());
    }

    bool LooksConnected() const
    {
        return !window->Control(MainControlId::Connect)->isEnabled() &&
               window->Control(MainControlId::Disconnect)->isEnabled();
    }
    bool LooksDisconnected() const
    {
        return window->Control(MainControlId::Connect)->isEnabled() &&
               !window->Control(MainControlId::Disconnect)->isEnabled();
    }
    QString PathEditText(int controlId) const
    {
        return static_cast<QLineEdit*>(window->Control(controlId))->text();
    }

    TempConfigDir config;
    ScriptedPrompter prompter;
    ScriptedDialUp dialUp;
    QTemporaryDir local;
    std::unique_ptr<MainWindow> window;
};
