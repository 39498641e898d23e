// Tallowin: start-up, the main window's modal run, and the end of the program when it closes.
#include "app/app_text.h"
#include "app/command_line.h"
#include "app/launch_url.h"
#include "mainwindow/main_window.h"
#include "mainwindow/shortcut_table.h"
#include "platform/core_dumps.h"
#include "platform/local_time_zone.h"
#include "platform/prompter.h"
#include "resources/version_info.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// What the socket layer needs before the first connection: a peer that closes a data connection
// must not end the program with SIGPIPE, and names on the wire are converted in the locale's
// character set.
bool InitialiseSocketLayer()
{
    if (!std::setlocale(LC_ALL, ""))
        std::setlocale(LC_ALL, "C.UTF-8");
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

bool HasDisplaySetting()
{
    return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// Qt ends the process with a fatal message when no platform plugin can reach a display; say so
// plainly and leave with an error status instead of dumping core.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) {
        std::fputs(AppText::NoDisplay, stderr);
        std::_Exit(EXIT_FAILURE);
    }
}

// A link given on the command line fills the login dialog the window opens with; a link that
// cannot be used is said in a box before the window opens, and nothing is connected.
void TakeStartLink(MainWindow& window, const QString& link)
{
    if (link.isEmpty())
        return;
    const LaunchUrlResult result = ParseLaunchUrl(link);
    if (!result.url) {
        Prompter::Current().ShowMessage(LaunchUrlErrorText(link, result.error));
        return;
    }
    window.SetStartLogin(PresetForUrl(*result.url));
}

}  // namespace

int main(int argc, char** argv)
{
    // Before any password can be typed or read from the store.
    DisableCoreDumps();
    // Before any thread starts.
    PinLocalTimeZone();
    // --help and --version answer without a display. Qt's own options (-platform ...) are
    // unknown here, so other errors wait for the second reading, after Qt took its own.
    const CommandLine early = ParseCommandLine(RawArguments(argc, argv));
    if (early.action == CommandLine::Action::ShowHelp || early.action == CommandLine::Action::ShowVersion)
        return PrintCommandLineAnswer(early);
    if (!HasDisplaySetting()) {
        if (early.action == CommandLine::Action::Fail)
            return PrintCommandLineAnswer(early);
        std::fputs(AppText::NoDisplay, stderr);
        return EXIT_FAILURE;
    }
    const QtMessageHandler defaultHandler = qInstallMessageHandler(StartupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(defaultHandler);

    QApplication::setApplicationName(VersionInfo::InternalName);
    QApplication::setApplicationVersion(VersionInfo::Version);
    QApplication::setDesktopFileName(QStringLiteral("tallowin"));
    const CommandLine commandLine = ParseCommandLine(QApplication::arguments());
    if (commandLine.action != CommandLine::Action::Run)
        return PrintCommandLineAnswer(commandLine);
    ApplyConfigDir(commandLine);
    HideLinkPasswords(argc, argv);

    // Qt's own dialogs and buttons in Japanese (はい / いいえ / キャンセル).
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    if (!InitialiseSocketLayer()) {
        Prompter::Current().ShowMessage(AppText::SocketInitFailed);
        return EXIT_FAILURE;
    }

    MainWindow window;
    QApplication::setWindowIcon(window.windowIcon());
    InstallShortcutTable(window);
    TakeStartLink(window, commandLine.url);
    window.exec();
    return EXIT_SUCCESS;
}
