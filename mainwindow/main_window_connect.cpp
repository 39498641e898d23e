// Connect, disconnect and the options sheet.
#include "mainwindow/main_window.h"

#include "mainwindow/certificate_judge.h"
#include "mainwindow/server_address.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/strings.h"
#include "platform/dialup_service.h"
#include "platform/prompter.h"
#include "settings/login_dialog.h"
#include "settings/options_sheet.h"
#include "settings/certificate_trust.h"
#include "settings/password_vault.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QScopeGuard>

#include <functional>
#include <optional>

namespace {
// The wait text shows at most this many characters of a dial-up entry's name.
constexpr int DialNameShown = 10;
constexpr qint32 DefaultConnectTimeoutSeconds = 90;
// A connection that never reports itself down must not hold the window for good.
constexpr qint64 HangUpWaitLimitMs = 60000;
const QString LocalRoot = QStringLiteral("/");

QString DialWaitText(const QString& entryName)
{
    if (entryName.size() > DialNameShown)
        return entryName.left(DialNameShown) + ConnectText::DialingCut;
    return entryName + ConnectText::Dialing;
}

// Brings the configured dial-up entry up and waits until it reports itself connected. Returns
// the message to show when the connect must stop, nothing when it may go on. pause waits a
// moment between two looks and says false when the user cancelled.
std::optional<QString> BringUpDialUp(DialUpService& dialUp, DialHandle& handle,
                                     const std::function<void(const QString&)>& showWait,
                                     const std::function<bool()>& pause)
{
    DialParams params;
    params.entryName = SettingsStore::ReadString(SettingName::AutoDialUpName);
    if (!dialUp.GetEntryDialParams(params))
        return ConnectText::DialParamsFailed;
    showWait(DialWaitText(params.entryName));
    const int result = dialUp.Dial(params, handle);
    if (result != DialUpService::DialStarted && result != DialUpService::PortAlreadyOpen)
        return ConnectText::DialFailed;

    const qint64 start = dialUp.TickCount();
    qint64 timeoutSeconds = SettingsStore::ReadNumber(SettingName::ConnectTimeout);
    if (timeoutSeconds == 0)
        timeoutSeconds = DefaultConnectTimeoutSeconds;
    const qint64 limitMs = timeoutSeconds * 1000;
    for (;;) {
        const std::optional<DialState> state = dialUp.GetStatus(handle);
        // A status that cannot be read is no reason to give up: the login will tell.
        if (!state || *state == DialState::Connected)
            return std::nullopt;
        if (start + limitMs <= dialUp.TickCount())
            return ConnectText::DialTimedOut;
        if (!pause()) {
            // The line that was being brought up goes down again.
            dialUp.HangUp(handle);
            return MainText::Cancelled;
        }
    }
}

// The iconv name of a profile's character set; empty for the automatic choice. Shift_JIS is
// read as Windows' variant, as Japanese servers write it: ASCII stays ASCII (a backslash and "~"
// are not the yen sign and the overline) and the NEC and IBM extensions decode.
QByteArray WireCharset(const QString& choice)
{
    if (choice == QLatin1String("UTF-8"))
        return "UTF-8";
    if (choice == QLatin1String("Shift_JIS"))
        return "CP932";
    if (choice == QLatin1String("EUC-JP"))
        return "EUC-JP";
    return {};
}

// Why a connect failed, as the log says it.
QString ConnectFailure(const FtpSession& session)
{
    switch (session.GetTlsState()) {
    case FtpSession::TlsState::Refused:
        return ConnectText::TlsNotSupported;
    case FtpSession::TlsState::Failed:
        return ConnectText::TlsFailed + u'\n' + session.GetReplyText();
    case FtpSession::TlsState::CertificateRejected:
        return ConnectText::CertificateRefused;
    default:
        return ConnectText::ConnectFailed;
    }
}

// Once per run, when a saved password had to stay in the settings file: one line added below
// what the log shows.
void ShowPasswordStoreNotice(QPlainTextEdit& logBox)
{
    if (PasswordVault::TakeStoreFallbackNotice())
        logBox.appendPlainText(ConnectText::PasswordsInSettingsFile);
}
}  // namespace

void MainWindow::Connect()
{
    const ServerTask task(*this);
    if (!task)
        return;
    QString server, userName, password, localInitDir, remoteInitDir;
    int encryption = ConnectionProfile::DefaultEncryption;
    QString charset;
    {
        LoginDialog login;
        if (startLogin) {
            login.ShowPreset(*startLogin);
            // The link's password lives on in the dialog only for this one attempt.
            startLogin.reset();
        }
        if (!Prompter::Current().RunDialog(login)) {
            ShowPasswordStoreNotice(*logBox);
            return;
        }
        server = login.fields.server;
        userName = login.fields.userName;
        password = login.fields.password;
        localInitDir = login.fields.localInitDir;
        remoteInitDir = login.fields.remoteInitDir;
        encryption = login.fields.encryption;
        charset = login.fields.charset;
    }
    // Whatever the connect writes to the log, the notice goes below it, on every way out.
    const auto notice = qScopeGuard([this] { ShowPasswordStoreNotice(*logBox); });
    if (server.isEmpty() || userName.isEmpty() || password.isEmpty()) {
        Prompter::Current().ShowMessage(ConnectText::MissingField);
        return;
    }

    std::unique_ptr<WaitDialog> wait;
    if (SettingsStore::ReadFlag(SettingName::UseAutoDialUp)) {
        DialUpService& dialUp = DialUpService::Current();
        const std::optional<QString> failure = BringUpDialUp(
            dialUp, dialHandle, [&](const QString& text) { wait = ShowWaitText(text); },
            [&] { return PauseLive(dialUp); });
        if (failure) {
            wait.reset();
            if (*failure == MainText::Cancelled)
                WriteLog(*failure);
            else
                Prompter::Current().ShowMessage(*failure);
            return;
        }
    }

    wait = ShowWaitText(ConnectText::LoggingIn);
    // A cancel at any step ends the attempt: the window stays disconnected, and so does the
    // session, whatever step it was in.
    const auto onWorker = [this](const std::function<void(TransferSession&)>& work) {
        if (RunServerWork(work))
            return true;
        worker.Run([](TransferSession& session) { session.ReleaseControlSocket(); });
        return false;
    };
    const std::optional<ServerAddress> address = ParseServerText(server);
    worker.Prepare([encryption, wireCharset = WireCharset(charset)](TransferSession& session) {
        session.SetEncryption(FtpSession::Encryption(qBound(0, encryption, 2)));
        session.SetCharset(wireCharset);
        // Asked on the worker, before USER is sent; the question itself goes to the window's thread.
        session.SetCertificateCheck(&JudgeCertificate);
        session.SetClearTextCheck(&JudgeClearText);
    });
    bool connected = false;
    FtpSession::TlsState tlsState = FtpSession::TlsState::Off;
    QString failure, encryptionLine;
    if (address && !onWorker([&](TransferSession& session) {
            connected = session.ConnectToServer(address->host, address->port);
            failure = ConnectFailure(session);
            tlsState = session.GetTlsState();
            encryptionLine = EncryptionLine(session.GetTlsState(), session.TlsProtocol(), session.DataProtected());
        }))
        return;
    if (!connected) {
        WriteLog(address ? failure : ConnectText::ConnectFailed);
        return;
    }
    if (tlsState == FtpSession::TlsState::Protected)
        TlsMemory::RememberTlsWorked(address->host, address->port);
    if (encryptionLine.isEmpty()) {
        WriteLog(worker.State().replyText);
    } else {
        WriteLog(worker.State().replyText + encryptionLine);
        wait = ShowWaitText(encryptionLine + u'\n' + ConnectText::LoggingIn);
    }
    bool loggedIn = false;
    if (!onWorker([&](TransferSession& session) { loggedIn = session.UserLogin(userName, password); }))
        return;
    if (!loggedIn) {
        WriteLog(ConnectText::LoginFailed);
        return;
    }
    WriteLog(worker.State().replyText);
    remoteLogin = {address->host, address->port, userName};
    // A batch's extra connections log in the same way; the password stays in memory only.
    batchLogin = {};
    batchLogin.host = address->host;
    batchLogin.port = address->port;
    batchLogin.user = userName;
    batchLogin.password = password;
    // The password is known good now: a plain copy of it in the store moves to the keyring.
    ConnectionProfile::MovePasswordToKeyring(server, userName, password);
    // What the server offers decides the listing command, whether times can be kept and, unless
    // the profile names one, the character set.
    if (!onWorker([&](TransferSession& session) { session.QueryFeatures(); }))
        return;

    QString firstFolder;
    if (!onWorker([&](TransferSession& session) { firstFolder = session.GetRemoteDir(); }))
        return;
    WriteLog(worker.State().replyText);
    if (!remoteInitDir.isEmpty()) {
        remotePath = remoteInitDir;
        if (!onWorker([&](TransferSession& session) { session.ChangeDir(remoteInitDir); }))
            return remotePath.clear();
        WriteLog(worker.State().replyText);
    } else {
        remotePath = firstFolder;
    }
    // Whatever CWD did, the pane shows the folder the server says it is in.
    QString reported;
    bool passive = false;
    if (!onWorker([&](TransferSession& session) { reported = session.GetRemoteDir(); passive = session.IsPassiveMode(); }))
        return remotePath.clear();
    if (reported != remotePath)
        remotePath = reported;
    if (!ListRemoteFolder(remotePath) && cancelRequested) {
        worker.Run([](TransferSession& session) { session.ReleaseControlSocket(); });
        remotePath.clear();
        remoteList->SetRows({});
        remoteEntries.clear();
        listingFailure.clear();
        return;
    }
    if (passive)
        WriteOutcome(encryptionLine.isEmpty() ? ConnectText::PassiveMode
                                              : ConnectText::PassiveMode + u'\n' + encryptionLine);
    else if (!encryptionLine.isEmpty())
        WriteOutcome(encryptionLine);

    if (!localInitDir.isEmpty()) {
        // A relative folder ("Downloads") is the home folder's: the pane's path is always whole,
        // or every typed path would be joined onto it again.
        localPath = localInitDir.startsWith(QLatin1Char('/')) ? localInitDir
                                                               : QDir::homePath() + QLatin1Char('/') + localInitDir;
        if (localPath != LocalRoot && localPath.endsWith(QLatin1Char('/')))
            localPath.chop(1);
        if (!ListLocalFolder(localPath)) {
            localPath = LocalRoot;
            ListLocalFolder(localPath);
        }
    }
    SetConnectedState(true);
    ShowPaths();
}

void MainWindow::Disconnect()
{
    const ServerTask task(*this);
    if (!task)
        return;
    // QUIT is sent whatever happens; a cancelled one leaves the session disconnected all the same.
    if (!RunServerWork([](TransferSession& session) { session.DisconnectFromServer(); }))
        worker.Run([](TransferSession& session) { session.ReleaseControlSocket(); });
    else
        WriteLog(worker.State().replyText);
    SetConnectedState(false);
    batchLogin = {};
    remotePath.clear();
    remoteList->SetRows({});
    // Nothing of the old listing may answer for a server that is gone (an overwrite question
    // asked from it, say).
    remoteEntries.clear();
    listingFailure.clear();

    if (SettingsStore::ReadFlag(SettingName::UseAutoDialUp)) {
        const std::unique_ptr<WaitDialog> wait = ShowWaitText(ConnectText::HangingUp);
        DialUpService& dialUp = DialUpService::Current();
        dialUp.HangUp(dialHandle);
        const qint64 start = dialUp.TickCount();
        for (;;) {
            const std::optional<DialState> state = dialUp.GetStatus(dialHandle);
            if (!state || *state == DialState::Disconnected || start + HangUpWaitLimitMs <= dialUp.TickCount())
                break;
            // 中止 only stops the waiting: the hang-up has been asked for.
            if (!PauseLive(dialUp)) {
                WriteLog(MainText::Cancelled);
                break;
            }
        }
    }
    ShowPaths();
}

void MainWindow::OpenOptions()
{
    if (IsServerWorkRunning())
        return;
    // The pages have written the store by the time the sheet ends with OK.
    if (!OptionsSheet(this).Run())
        return;
    if (SettingsStore::ReadFlag(SettingName::AutoTransferMode)) {
        ShowModePressed(TransferModeButton::Auto);
    } else {
        ShowModePressed(TransferModeButton::Ascii);
        worker.Prepare([](TransferSession& session) { session.SetTypeAscii(); });
    }
}
