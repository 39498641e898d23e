// Drives the real window's DownloadSelection and UploadSelection on two trees (many small files;
// a few large ones) against a loopback FTP server, and lftp's mirror --parallel=N and
// mirror -R --parallel=N at N = 1, 2 and 4 in the same run; once through a front that answers
// every command late (bench/delay_front.py) and once on plain loopback. Prints the medians and
// the ratios lftp/window per N (above 1: the window is faster).
//
//   window_parallel HOST PLAIN_PORT DELAYED_PORT DELAY_MS USER PASSWORD SERVER_ROOT WORK_FOLDER [ROUNDS]
//
// SERVER_ROOT is the folder on this machine that the server shows as "/". DELAYED_PORT is the
// front before the same server; DELAY_MS only labels its lines (0 for DELAYED_PORT skips them).
#include "bench/window_bench.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using bench::MakeOpenFolder;
using bench::Median;
using bench::Select;
using bench::YesPrompter;

// The connections lftp is given, and the window at the same N.
constexpr int Parallels[] = {1, 2, 4};

// The connections the window's batch may use at N, the option set to it before each window run.
int WindowConnections(int n)
{
    return std::min(n, SettingsStore::MaxConnectionLimit);
}

struct Tree {
    QString name;
    int files;
    qint64 bytes;  // of each file
};

// The file i of a tree: bytes that differ from file to file and from block to block, so that a
// copy put together from the wrong places does not pass for a whole one.
bool WriteFile(const QString& path, int i, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(int(std::min<qint64>(size, 1 << 20)), Qt::Uninitialized);
    for (qint64 at = 0, b = 0; at < size; at += block.size(), ++b) {
        for (int j = 0; j < block.size(); ++j)
            block[j] = char((i * 31 + b * 7 + j) & 0xff);
        const qint64 part = std::min<qint64>(block.size(), size - at);
        if (file.write(block.constData(), part) != part)
            return false;
    }
    return true;
}

bool MakeTree(const QString& folder, const Tree& tree)
{
    if (!MakeOpenFolder(folder))
        return false;
    for (int i = 0; i < tree.files; ++i)
        if (!WriteFile(QDir(folder).filePath(QStringLiteral("f%1.bin").arg(i, 4, 10, QLatin1Char('0'))), i,
                       tree.bytes))
            return false;
    return true;
}

// Whole: as many files as the tree has, each of its size (their bytes are checked once, below).
bool Complete(const QString& folder, const Tree& tree)
{
    const QFileInfoList found = QDir(folder).entryInfoList(QDir::Files);
    if (found.size() != tree.files)
        return false;
    return std::all_of(found.begin(), found.end(), [&](const QFileInfo& f) { return f.size() == tree.bytes; });
}

bool SameBytes(const QString& a, const QString& b)
{
    QFile one(a), two(b);
    if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly) || one.size() != two.size())
        return false;
    while (!one.atEnd())
        if (one.read(1 << 20) != two.read(1 << 20))
            return false;
    return true;
}

bool SameTree(const QString& a, const QString& b)
{
    const QStringList names = QDir(a).entryList(QDir::Files);
    return names == QDir(b).entryList(QDir::Files) &&
           std::all_of(names.begin(), names.end(),
                       [&](const QString& n) { return SameBytes(QDir(a).filePath(n), QDir(b).filePath(n)); });
}

double Seconds(const QString& what, const std::function<bool()>& run)
{
    QElapsedTimer timer;
    timer.start();
    if (!run()) {
        std::fprintf(stderr, "window_parallel: %s failed\n", qPrintable(what));
        std::exit(1);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "  %s %.2f s\n", qPrintable(what), seconds);  // to follow a long run
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 9) {
        std::fprintf(stderr, "usage: window_parallel HOST PLAIN_PORT DELAYED_PORT DELAY_MS USER PASSWORD SERVER_ROOT "
                             "WORK_FOLDER [ROUNDS]\n");
        return 2;
    }
    const QString host = args[1];
    const quint16 plainPort = quint16(args[2].toUInt()), delayedPort = quint16(args[3].toUInt());
    const QString delayMs = args[4];
    const QString user = args[5], password = args[6], serverRoot = args[7], work = args[8];
    const int rounds = args.size() > 9 ? std::max(1, args[9].toInt()) : 3;

    QTemporaryDir config;
    qputenv("TALLOWIN_CONFIG_DIR", QFile::encodeName(config.path()));
    YesPrompter yes;
    Prompter::Install(&yes);

    // Each tree twice: on the server under /, and in WORK/source for the uploads.
    const QList<Tree> trees = {{QStringLiteral("small"), 300, 4 * 1024}, {QStringLiteral("big"), 4, 64 << 20}};
    const QString source = QDir(work).filePath(QStringLiteral("source"));
    for (const Tree& tree : trees)
        if (!MakeTree(QDir(serverRoot).filePath(tree.name), tree) || !MakeTree(QDir(source).filePath(tree.name), tree)) {
            std::fprintf(stderr, "window_parallel: cannot write the trees\n");
            return 1;
        }

    quint16 port = 0;
    const auto lftp = [&](const QString& command) { return bench::RunLftp(host, port, user, password, command); };

    MainWindow window;
    TransferSession& session = MainWindowTestAccess::Session(window);
    session.SetPassiveMode(true);

    // Times per link, tree, direction and N; "window" is keyed by the connections it used.
    using Times = QMap<int, QList<double>>;
    struct Results {
        Times windowDown, windowUp, lftpDown, lftpUp;
    };
    struct Link {
        QString label;
        quint16 port;
    };
    QList<Link> links;
    if (delayMs.toDouble() > 0)
        links.append({QStringLiteral("loopback, every reply %1 ms late").arg(delayMs), delayedPort});
    links.append({QStringLiteral("plain loopback"), plainPort});
    QMap<QString, Results> results;  // by link label + tree name
    int scratch = 0;
    // The window's first copy of each tree each way is compared byte for byte with the source
    // (outside the timing); the other runs are checked by count and size.
    QSet<QString> checked;
    const auto checkOnce = [&](const QString& direction, const QString& copy, const Tree& tree) {
        if (checked.contains(direction + tree.name))
            return;
        checked.insert(direction + tree.name);
        if (!SameTree(copy, QDir(source).filePath(tree.name))) {
            std::fprintf(stderr, "window_parallel: the window's %s of %s differs from the source\n",
                         qPrintable(direction), qPrintable(tree.name));
            std::exit(1);
        }
    };

    for (const Link& link : links) {
        port = link.port;
        if (!session.ConnectToServer(host, port) || !session.UserLogin(user, password)) {
            std::fprintf(stderr, "window_parallel: cannot log in: %s\n", qPrintable(session.GetReplyText()));
            return 1;
        }
        // As the window's own connect does: FEAT decides the listing and the timestamps.
        session.QueryFeatures();
        // The batch's extra connections log in as the window's own connect would have.
        MainWindowTestAccess::SetLogin(window, host, port, user, password);
        window.SelectBinaryMode();
        for (const Tree& tree : trees) {
            std::fprintf(stderr, "%s, %s:\n", qPrintable(link.label), qPrintable(tree.name));
            Results& r = results[link.label + tree.name];
            const QString item = u'<' + tree.name + u'>';
            // Every run into folders of its own, removed after it (the large tree would fill the
            // disk otherwise); the order of window and lftp alternates from round to round.
            for (int round = 0; round < rounds; ++round) {
                const auto useConnections = [](int n) {
                    SettingsStore::WriteNumber(QLatin1String(SettingName::MaxConnections), n);
                };
                const auto windowDown = [&](int n) {
                    useConnections(n);
                    const QString into = QDir(work).filePath(QStringLiteral("down%1").arg(++scratch));
                    QDir().mkpath(into);
                    MainWindowTestAccess::Show(window, into, QStringLiteral("/"));
                    r.windowDown[n].append(Seconds(QStringLiteral("the window's download"), [&] {
                        if (!Select(*window.RemoteList(), item))
                            return false;
                        window.DownloadSelection();
                        return Complete(into + u'/' + tree.name, tree);
                    }));
                    checkOnce(QStringLiteral("download"), into + u'/' + tree.name, tree);
                    QDir(into).removeRecursively();
                };
                const auto windowUp = [&](int n) {
                    useConnections(n);
                    const QString up = QStringLiteral("up%1").arg(++scratch);
                    const QString into = QDir(serverRoot).filePath(up);
                    MakeOpenFolder(into);
                    MainWindowTestAccess::Show(window, source, u'/' + up);
                    r.windowUp[n].append(Seconds(QStringLiteral("the window's upload"), [&] {
                        if (!Select(*window.LocalList(), item))
                            return false;
                        window.UploadSelection();
                        return Complete(into + u'/' + tree.name, tree);
                    }));
                    checkOnce(QStringLiteral("upload"), into + u'/' + tree.name, tree);
                    QDir(into).removeRecursively();
                };
                const auto lftpDown = [&](int n) {
                    const QString into = QDir(work).filePath(QStringLiteral("down%1").arg(++scratch));
                    QDir().mkpath(into);
                    r.lftpDown[n].append(Seconds(QStringLiteral("lftp mirror --parallel=%1").arg(n), [&] {
                        return lftp(QStringLiteral("mirror --parallel=%1 /%2 %3/%2").arg(n).arg(tree.name, into)) &&
                               Complete(into + u'/' + tree.name, tree);
                    }));
                    QDir(into).removeRecursively();
                };
                const auto lftpUp = [&](int n) {
                    const QString up = QStringLiteral("up%1").arg(++scratch);
                    const QString into = QDir(serverRoot).filePath(up);
                    MakeOpenFolder(into);
                    r.lftpUp[n].append(Seconds(QStringLiteral("lftp mirror -R --parallel=%1").arg(n), [&] {
                        return lftp(QStringLiteral("mirror -R --parallel=%1 %2/%3 /%4/%3")
                                        .arg(n)
                                        .arg(source, tree.name, up)) &&
                               Complete(into + u'/' + tree.name, tree);
                    }));
                    QDir(into).removeRecursively();
                };
                // The window once per distinct number of connections it can use.
                QList<int> windowNs;
                for (int n : Parallels)
                    if (!windowNs.contains(WindowConnections(n)))
                        windowNs.append(WindowConnections(n));
                // The order of N turns round from round to round too: the server's file system
                // creates files more slowly right after many were deleted (ext4 looks at recently
                // freed inodes), so a fixed order would charge the later N for the earlier runs.
                const auto inTurn = [round](QList<int> ns, const std::function<void(int)>& run) {
                    if (round % 2 == 1)
                        std::reverse(ns.begin(), ns.end());
                    for (int n : ns)
                        run(n);
                };
                const auto windows = [&](const std::function<void(int)>& run) { inTurn(windowNs, run); };
                const auto lftps = [&](const std::function<void(int)>& run) {
                    inTurn(QList<int>(std::begin(Parallels), std::end(Parallels)), run);
                };
                if (round % 2 == 0) {
                    windows(windowDown);
                    lftps(lftpDown);
                    windows(windowUp);
                    lftps(lftpUp);
                } else {
                    lftps(lftpDown);
                    windows(windowDown);
                    lftps(lftpUp);
                    windows(windowUp);
                }
            }
        }
        session.DisconnectFromServer();
    }
    Prompter::Install(nullptr);

    std::printf("passive mode, progress box on, medians of %d round%s; ratio lftp/window (above 1: the window is "
                "faster)\n",
                rounds, rounds == 1 ? "" : "s");
    for (const Link& link : links) {
        for (const Tree& tree : trees) {
            const Results& r = results[link.label + tree.name];
            std::printf("\n%s, %d files of %s:\n", qPrintable(link.label), tree.files,
                        qPrintable(tree.bytes >= (1 << 20) ? QStringLiteral("%1 MiB").arg(tree.bytes >> 20)
                                                           : QStringLiteral("%1 KiB").arg(tree.bytes >> 10)));
            const auto lines = [&](const char* direction, const Times& mine, const Times& theirs, const char* command) {
                for (int n : Parallels) {
                    const int used = WindowConnections(n);
                    const double w = Median(mine[used]), l = Median(theirs[n]);
                    const QString who = QStringLiteral("window N=%1").arg(used);
                    std::printf("  %-8s N=%d  %-48s %7.2f s   %s --parallel=%d %7.2f s   lftp/window %.2f\n",
                                direction, n, qPrintable(who), w, command, n, l, l / w);
                }
                const double one = Median(mine[WindowConnections(1)]), four = Median(mine[WindowConnections(4)]);
                std::printf("  %-8s window N=1 / window N=4: %.2f\n", direction, one / four);
            };
            lines("download", r.windowDown, r.lftpDown, "lftp mirror   ");
            lines("upload", r.windowUp, r.lftpUp, "lftp mirror -R");
        }
    }
    return 0;
}
