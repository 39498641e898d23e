// Drives the real window's DownloadSelection and UploadSelection on a folder of many small files
// against a loopback FTP server, and lftp's mirror and mirror -R against the same server in the
// same run; prints the times and the ratios lftp/window (above 1: the window is faster).
//
//   window_folders HOST PORT USER PASSWORD SERVER_ROOT WORK_FOLDER [FILES] [KIB]
//
// SERVER_ROOT is the folder on this machine that the server shows as "/".
#include "bench/window_bench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using bench::MakeOpenFolder;
using bench::Select;
using bench::YesPrompter;

double Seconds(const char* what, const std::function<bool()>& run)
{
    QElapsedTimer timer;
    timer.start();
    if (!run()) {
        std::fprintf(stderr, "window_folders: %s failed\n", what);
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e9;
}

int CountFiles(const QString& folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 7) {
        std::fprintf(stderr, "usage: window_folders HOST PORT USER PASSWORD SERVER_ROOT WORK_FOLDER [FILES] [KIB]\n");
        return 2;
    }
    const QString host = args[1];
    const quint16 port = quint16(args[2].toUInt());
    const QString user = args[3], password = args[4], serverRoot = args[5], work = args[6];
    const int files = args.size() > 7 ? args[7].toInt() : 1000;
    const int kib = args.size() > 8 ? args[8].toInt() : 4;

    QTemporaryDir config;
    qputenv("TALLOWIN_CONFIG_DIR", QFile::encodeName(config.path()));
    YesPrompter yes;
    Prompter::Install(&yes);

    // The tree on the server: /small with the files; /up and /up-lftp take the uploads.
    const QString source = QDir(serverRoot).filePath(QStringLiteral("small"));
    if (!MakeOpenFolder(source) || !QDir().mkpath(work)) {
        std::fprintf(stderr, "window_folders: cannot make the folders\n");
        return 1;
    }
    QByteArray block(kib * 1024, Qt::Uninitialized);
    for (int i = 0; i < files; ++i) {
        for (int j = 0; j < block.size(); ++j)
            block[j] = char((i * 31 + j) & 0xff);
        QFile file(QDir(source).filePath(QStringLiteral("f%1.bin").arg(i, 5, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size())
            return 1;
    }

    const auto lftp = [&](const QString& command) { return bench::RunLftp(host, port, user, password, command); };

    MainWindow window;
    TransferSession& session = MainWindowTestAccess::Session(window);
    session.SetPassiveMode(true);
    if (!session.ConnectToServer(host, port) || !session.UserLogin(user, password)) {
        std::fprintf(stderr, "window_folders: cannot log in: %s\n", qPrintable(session.GetReplyText()));
        return 1;
    }
    // As the window's own connect does: FEAT decides the listing and the timestamps.
    session.QueryFeatures();
    window.SelectBinaryMode();
    // Three rounds, each into folders of its own; the order of window and lftp alternates, and
    // the medians are compared.
    constexpr int Rounds = 3;
    QList<double> windowDowns, lftpDowns, windowUps, lftpUps;
    for (int round = 0; round < Rounds; ++round) {
        const QString suffix = QString::number(round);
        const QString mine = QDir(work).filePath(QStringLiteral("window") + suffix);
        const QString theirs = QDir(work).filePath(QStringLiteral("lftp") + suffix);
        const QString up = QStringLiteral("up") + suffix;
        const QString upLftp = QStringLiteral("up-lftp") + suffix;
        if (!QDir().mkpath(mine) || !QDir().mkpath(theirs) || !MakeOpenFolder(QDir(serverRoot).filePath(up)) ||
            !MakeOpenFolder(QDir(serverRoot).filePath(upLftp))) {
            std::fprintf(stderr, "window_folders: cannot make the folders\n");
            return 1;
        }
        const auto windowDown = [&] {
            MainWindowTestAccess::Show(window, mine, QStringLiteral("/"));
            windowDowns.append(Seconds("the window's download", [&] {
                if (!Select(*window.RemoteList(), QStringLiteral("<small>")))
                    return false;
                window.DownloadSelection();
                return CountFiles(mine + QStringLiteral("/small")) == files;
            }));
        };
        const auto lftpDown = [&] {
            lftpDowns.append(Seconds("lftp mirror", [&] {
                return lftp(QStringLiteral("mirror /small %1/small").arg(theirs)) &&
                       CountFiles(theirs + QStringLiteral("/small")) == files;
            }));
        };
        const auto windowUp = [&] {
            MainWindowTestAccess::Show(window, mine, u'/' + up);
            windowUps.append(Seconds("the window's upload", [&] {
                if (!Select(*window.LocalList(), QStringLiteral("<small>")))
                    return false;
                window.UploadSelection();
                return CountFiles(QDir(serverRoot).filePath(up + QStringLiteral("/small"))) == files;
            }));
        };
        const auto lftpUp = [&] {
            lftpUps.append(Seconds("lftp mirror -R", [&] {
                return lftp(QStringLiteral("mirror -R %1/small /%2/small").arg(theirs, upLftp)) &&
                       CountFiles(QDir(serverRoot).filePath(upLftp + QStringLiteral("/small"))) == files;
            }));
        };
        if (round % 2 == 0) {
            windowDown();
            lftpDown();
            windowUp();
            lftpUp();
        } else {
            lftpDown();
            windowDown();
            lftpUp();
            windowUp();
        }
    }
    session.DisconnectFromServer();
    Prompter::Install(nullptr);

    const double windowDown = bench::Median(windowDowns), lftpDown = bench::Median(lftpDowns);
    const double windowUp = bench::Median(windowUps), lftpUp = bench::Median(lftpUps);
    std::printf("%d files of %d KiB, passive mode, progress box on, medians of %d rounds\n", files, kib, Rounds);
    std::printf("download  window %6.2f s   lftp mirror    %6.2f s   lftp/window %.2f\n", windowDown, lftpDown,
                lftpDown / windowDown);
    std::printf("upload    window %6.2f s   lftp mirror -R %6.2f s   lftp/window %.2f\n", windowUp, lftpUp,
                lftpUp / windowUp);
    return 0;
}
