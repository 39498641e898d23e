// Stores one connection profile in the settings store (TALLOWIN_CONFIG_DIR chooses the folder),
// so that a script can prepare a ready-to-use configuration, as the demo does:
//   tallowin_profile_tool NAME SERVER USER PASSWORD [LOCALDIR [REMOTEDIR]]
// The password is kept and the login dialog opens at start, so the first slot's profile is
// filled in as soon as the program starts.
#include "settings/connection_profile.h"
#include "settings/password_vault.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 4 || args.size() > 6) {
        std::fprintf(stderr, "usage: tallowin_profile_tool NAME SERVER USER PASSWORD [LOCALDIR [REMOTEDIR]]\n");
        return 2;
    }
    // A longer text would be stored but read back as empty: the profile would not work, and a
    // name read as empty marks its slot as free for the next save.
    for (const QString& text : args) {
        if (text.size() > SettingsStore::MaxTextLength) {
            std::fprintf(stderr, "tallowin_profile_tool: each text may hold at most %d characters\n",
                         SettingsStore::MaxTextLength);
            return 2;
        }
    }
    ConnectionProfile profile;
    profile.server = args.at(1);
    profile.userName = args.at(2);
    profile.password = args.at(3);
    profile.localInitDir = args.value(4);
    profile.remoteInitDir = args.value(5);

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
