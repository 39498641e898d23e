// Renders every window and dialog of the program to PNG files, without a person at the screen:
//   tallowin_screens [output folder]
// Runs on any Qt platform (offscreen, Xvfb, a desktop). The settings are read from a fresh,
// temporary folder so that the pictures show the defaults and the user's store is not touched.
#include "mainwindow/attribute_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/small_dialogs.h"
#include "mainwindow/wait_dialog.h"
#include "settings/login_dialog.h"
#include "settings/options_sheet.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
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
        RemoteEntry entry;
        entry.permissions = QStringLiteral("-rw-r--r--");
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
        OptionsSheet sheet;
        for (int page = 0; page < sheet.Tabs()->count(); ++page) {
            sheet.Tabs()->setCurrentIndex(page);
            ok &= Save(sheet, folder, QStringLiteral("options_page%1").arg(page + 1));
        }
    }
    return ok ? 0 : 1;
}
