// Drives the real window's DownloadSelection and UploadSelection (progress box on, offscreen)
// for one large file against a loopback FTP server, and curl against the same server in the
// same run; prints the median throughputs and the ratios window/curl.
//
//   window_transfer HOST PORT USER PASSWORD SERVER_ROOT WORK_FOLDER [SIZE_MIB] [RUNS]
//
// SERVER_ROOT is the folder on this machine that the server shows as "/"; the file is made there
// and downloaded into WORK_FOLDER, then uploaded from WORK_FOLDER back to the server.
#include "bench/window_bench.h"
#include "mainwindow/wait_dialog.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using bench::Median;
using bench::Select;
using bench::YesPrompter;

bool MakeFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(4 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131 + i / 4096) & 0xff);
    for (qint64 left = size; left > 0; left -= block.size())
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    return true;
}

double Seconds(const std::function<bool()>& run)
{
    QElapsedTimer timer;
    timer.start();
    if (!run()) {
        std::fprintf(stderr, "window_transfer: a transfer failed\n");
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e9;
}

bool Curl(const QStringList& arguments)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-sS"), QStringLiteral("--fail")} + arguments);
    curl.waitForFinished(-1);
    if (curl.exitCode() != 0)
        std::fprintf(stderr, "%s", curl.readAllStandardError().constData());
    return curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 7) {
        std::fprintf(stderr, "usage: window_transfer HOST PORT USER PASSWORD SERVER_ROOT WORK_FOLDER [SIZE_MIB] [RUNS]\n");
        return 2;
    }
    const QString host = args[1];
    const quint16 port = quint16(args[2].toUInt());
    const QString user = args[3], password = args[4], serverRoot = args[5], work = args[6];
    const qint64 size = (args.size() > 7 ? args[7].toLongLong() : 1024) << 20;
    const int runs = args.size() > 8 ? args[8].toInt() : 3;

    QTemporaryDir config;
    qputenv("TALLOWIN_CONFIG_DIR", QFile::encodeName(config.path()));
    YesPrompter yes;
    Prompter::Install(&yes);

    const QString name = QStringLiteral("bench.bin");
    const QString uploadName = QStringLiteral("bench-up.bin");
    const QString url = QStringLiteral("ftp://%1:%2/").arg(host).arg(port);
    const QString credentials = user + QLatin1Char(':') + password;
    QDir(work).mkpath(QStringLiteral("."));
    if (!MakeFile(QDir(serverRoot).filePath(name), size)) {
        std::fprintf(stderr, "window_transfer: cannot make the file in %s\n", qPrintable(serverRoot));
        return 1;
    }
    // A server that runs as its own user must be able to replace the file with the upload.
    QFile::setPermissions(QDir(serverRoot).filePath(name), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadGroup | QFile::WriteGroup |
                                                              QFile::ReadOther | QFile::WriteOther);

    MainWindow window;
    TransferSession& session = MainWindowTestAccess::Session(window);
    session.SetPassiveMode(true);
    if (!session.ConnectToServer(host, port) || !session.UserLogin(user, password)) {
        std::fprintf(stderr, "window_transfer: cannot log in: %s\n", qPrintable(session.GetReplyText()));
        return 1;
    }
    // As the window's own connect does: FEAT decides the listing and the timestamps.
    session.QueryFeatures();
    window.SelectBinaryMode();
    MainWindowTestAccess::Show(window, work, session.GetRemoteDir(), false);

    std::vector<double> windowDown, curlDown, windowUp, curlUp;
    const QString local = QDir(work).filePath(name);
    for (int run = 0; run < runs; ++run) {
        curlDown.push_back(Seconds([&] {
            return Curl({QStringLiteral("-u"), credentials, QStringLiteral("-o"), local, url + name});
        }));
        QFile::remove(local);
        windowDown.push_back(Seconds([&] {
            if (!Select(*window.RemoteList(), name))
                return false;
            window.DownloadSelection();
            return QFileInfo(local).size() == size;
        }));
        curlUp.push_back(Seconds([&] {
            return Curl({QStringLiteral("-u"), credentials, QStringLiteral("-T"), local, url + uploadName});
        }));
        QFile::remove(QDir(serverRoot).filePath(uploadName));
        // The window sends the file under its own name; the copy on the server is replaced.
        windowUp.push_back(Seconds([&] {
            if (!Select(*window.LocalList(), name))
                return false;
            window.UploadSelection();
            return session.GetReplyText().startsWith(QStringLiteral("226"));
        }));
    }
    // 中止 a quarter of the way into a download: the time from the press until the handler has
    // closed its box and returned.
    QFile::remove(local);
    QElapsedTimer sincePress;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (sincePress.isValid())
            return;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<WaitDialog*>(widget);
            if (!box || !box->isVisible() || !box->CancelButton()->isVisible())
                continue;
            const QStringList lines = box->ShownText().split(u'\n');
            if (lines.size() >= 2 && lines[1].section(u'/', 0, 0).toLongLong() >= size / 4) {
                sincePress.start();
                box->CancelButton()->click();
            }
        }
    });
    look.start(1);
    double cancelSeconds = -1;
    if (Select(*window.RemoteList(), name)) {
        window.DownloadSelection();
        if (sincePress.isValid())
            cancelSeconds = double(sincePress.nsecsElapsed()) / 1e9;
    }
    look.stop();
    const bool leftNothing = !QFile::exists(local);
    QFile::remove(local);
    QFile::remove(QDir(serverRoot).filePath(uploadName));
    QFile::remove(QDir(serverRoot).filePath(name));
    session.DisconnectFromServer();

    const double mib = double(size) / (1 << 20);
    const auto line = [&](const char* what, double windowSeconds, double curlSeconds) {
        std::printf("%-9s window %8.1f MiB/s   curl %8.1f MiB/s   window/curl %.2f\n", what,
                    mib / windowSeconds, mib / curlSeconds, curlSeconds / windowSeconds);
    };
    std::printf("%d MiB, median of %d runs, passive mode, progress box on\n", int(mib), runs);
    line("download", Median(windowDown), Median(curlDown));
    line("upload", Median(windowUp), Median(curlUp));
    if (cancelSeconds >= 0)
        std::printf("cancel    中止 to the box closed %.3f s during a download (local file %s)\n", cancelSeconds,
                    leftNothing ? "not left" : "LEFT BEHIND");
    else
        std::printf("cancel    not measured: the download ended before a quarter was on screen\n");
    Prompter::Install(nullptr);
    return 0;
}
