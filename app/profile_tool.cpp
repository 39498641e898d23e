// Stores one connection profile in the settings store (TALLOWIN_CONFIG_DIR chooses the folder),
// so that a script can prepare a ready-to-use configuration, as the demo does:
//   printf '%s\n' PASSWORD | tallowin_profile_tool NAME SERVER USER [LOCALDIR [REMOTEDIR]]
// The password comes on standard input (its first line): on the command line it would be
// readable by every user of the machine (ps, /proc/PID/cmdline) and kept in shell histories.
// The password is kept and the login dialog opens at start, so the first slot's profile is
// filled in as soon as the program starts.
#include "settings/connection_profile.h"
#include "settings/password_vault.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3 || args.size() > 5) {
        std::fprintf(stderr, "usage: tallowin_profile_tool NAME SERVER USER [LOCALDIR [REMOTEDIR]] "
                             "< file holding the password\n");
        return 2;
    }
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const QString password = QString::fromLocal8Bit(line);
    if (password.isEmpty()) {
        std::fprintf(stderr, "tallowin_profile_tool: no password on standard input\n");
        return 2;
    }
    // A longer text would be stored but read back as empty: the profile would not work, and a
    // name read as empty marks its slot as free for the next save.
    for (const QString& text : args + QStringList{password}) {
        if (text.size() > SettingsStore::MaxTextLength) {
            std::fprintf(stderr, "tallowin_profile_tool: each text may hold at most %d characters\n",
                         SettingsStore::MaxTextLength);
            return 2;
        }
    }
    ConnectionProfile profile;
    profile.server = args.at(1);
    profile.userName = args.at(2);
    profile.password = password;
    profile.localInitDir = args.value(3);
    profile.remoteInitDir = args.value(4);

    // The folder the tool fills is a throwaway one (the demo's): its password stays in it
    // rather than in the user's keyring, where it would outlive the folder.
    PasswordVault::UseStoreOnly();
    // Running the tool twice replaces the profile instead of adding a second one.
    ConnectionProfile::DeleteProfile(args.at(0));
    if (profile.SaveProfile(args.at(0)) != ConnectionProfile::SaveResult::Saved) {
        std::fprintf(stderr, "tallowin_profile_tool: the profile could not be stored\n");
        return 1;
    }
    SettingsStore::WriteSavePassword(true);
    SettingsStore::WriteFlag(SettingName::ConnectDlgWithStartup, true);
    return 0;
}
