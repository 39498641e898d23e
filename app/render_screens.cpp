// Renders every window and dialog of the program to PNG files, without a person at the screen:
//   tallowin_screens [output folder]
// Runs on any Qt platform (offscreen, Xvfb, a desktop). The settings are read from a fresh,
// temporary folder so that the pictures show the defaults and the user's store is not touched.
#include "mainwindow/attribute_dialog.h"
#include "mainwindow/certificate_judge.h"
#include "mainwindow/main_window.h"
#include "mainwindow/small_dialogs.h"
#include "mainwindow/wait_dialog.h"
#include "settings/login_dialog.h"
#include "settings/options_sheet.h"
#include "platform/prompter.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimeZone>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>

#include <cstdio>

namespace {

bool Save(QWidget& widget, const QDir& folder, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    std::fflush(stdout);
    widget.hide();
    return saved;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config;
    if (!qEnvironmentVariableIsSet("TALLOWIN_CONFIG_DIR"))
        qputenv("TALLOWIN_CONFIG_DIR", config.path().toLocal8Bit());

    QApplication app(argc, argv);
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens"));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder.path()));
        return 1;
    }

    bool ok = true;
    {
        MainWindow window;
        // Wide enough for the panes to show every column (the offscreen screen is small).
        window.resize(1280, 640);
        ok &= Save(window, folder, QStringLiteral("main_window"));
    }
    {
        WaitDialog box;
        box.message = QStringLiteral("...ftp/pub/readme.txt\n5120/20480");
        box.OpenBox();
        ok &= Save(box, folder, QStringLiteral("wait_box"));
    }
    {
        NewFolderDialog dialog;
        dialog.folderName = QStringLiteral("新しいフォルダ");
        ok &= Save(dialog, folder, QStringLiteral("new_folder_dialog"));
    }
    {
        RenameDialog dialog;
        dialog.newName = QStringLiteral("readme.txt");
        ok &= Save(dialog, folder, QStringLiteral("rename_dialog"));
    }
    {
        RemoteEntryList entries;
        ListingEntry entry;
        entry.mode = 0644;
        entry.name = QStringLiteral("readme.txt");
        entries << entry;
        AttributeDialog dialog;
        dialog.LoadFromEntry(entries, 0);
        ok &= Save(dialog, folder, QStringLiteral("attribute_dialog"));
    }
    {
        LoginDialog dialog;
        ok &= Save(dialog, folder, QStringLiteral("login_dialog"));
    }
    {
        // The certificate question for a self-signed certificate reached by address, and the
        // louder one for a server whose remembered certificate changed.
        CertificateInfo certificate;
        certificate.subject = certificate.issuer = QStringLiteral("CN=localhost");
        certificate.notBefore = QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
        certificate.notAfter = QDateTime(QDate(2027, 1, 6), QTime(12, 0), QTimeZone::utc());
        certificate.sha256 = QStringLiteral(
            "3F:9A:12:C4:5B:E0:77:81:AA:02:6D:F3:19:B8:4E:C1:5D:90:2A:7B:E4:06:C9:11:F8:33:A5:6E:0B:D2:47:9C");
        certificate.problem = CertificateInfo::Problem::SelfSigned;
        certificate.nameMatches = false;
        const QString host = QStringLiteral("127.0.0.1");
        const QString remembered = QStringLiteral(
            "11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00");
        for (bool changed : {false, true}) {
            const std::unique_ptr<QMessageBox> box = QtPrompter::CertificateBox(
                {CertificateQuestionText(certificate, host, 21, changed ? remembered : QString()), changed});
            ok &= Save(*box, folder, changed ? QStringLiteral("certificate_changed") : QStringLiteral("certificate_question"));
        }
    }
    // The question before a login in clear text, and the louder one where TLS worked before.
    for (bool workedBefore : {false, true}) {
        const std::unique_ptr<QMessageBox> box = QtPrompter::CheckedBox(ClearTextQuestion(workedBefore));
        ok &= Save(*box, folder, workedBefore ? QStringLiteral("clear_text_warning") : QStringLiteral("clear_text_question"));
    }
    {
        OptionsSheet sheet;
        for (int page = 0; page < sheet.Tabs()->count(); ++page) {
            sheet.Tabs()->setCurrentIndex(page);
            ok &= Save(sheet, folder, QStringLiteral("options_page%1").arg(page + 1));
        }
    }
    return ok ? 0 : 1;
}
