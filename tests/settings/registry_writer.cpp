// Writes into the store for the transaction tests, which start two of these at once.
//   registry_writer PREFIX COUNT: a run of values. Each round opens the key afresh, as the
//     program does, and the exit status is 1 as soon as one write is refused.
//   registry_writer --profiles PREFIX ROUNDS GOFILE: once GOFILE exists (so that both copies
//     start together), each round saves the profiles PREFIX0 to PREFIX4 and deletes them again
//     (the last round keeps them). The exit status is 1 as soon as a save fails or a profile is
//     not found whole in its slot (another copy's save took the slot).
#include "settings/connection_profile.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"

#include <QFileInfo>
#include <QString>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int ProfilesPerRound = 5;

int SaveProfilesInRounds(const QString& prefix, int rounds, const QString& goFile)
{
    while (!QFileInfo::exists(goFile))
        QThread::usleep(200);
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < ProfilesPerRound; ++i) {
            const QString name = prefix + QString::number(i);
            ConnectionProfile profile;
            profile.server = name + QStringLiteral(".example");
            profile.userName = name;
            if (profile.SaveProfile(name) != ConnectionProfile::SaveResult::Saved) {
                std::fprintf(stderr, "registry_writer: round %d: %s not saved\n", round, qPrintable(name));
                return 1;
            }
        }
        for (int i = 0; i < ProfilesPerRound; ++i) {
            const QString name = prefix + QString::number(i);
            ConnectionProfile loaded;
            if (!loaded.LoadProfile(name) || loaded.server != name + QStringLiteral(".example")
                || loaded.userName != name) {
                std::fprintf(stderr, "registry_writer: round %d: %s lost or mixed\n", round, qPrintable(name));
                return 1;
            }
        }
        if (round + 1 == rounds)
            break;
        for (int i = 0; i < ProfilesPerRound; ++i) {
            if (!ConnectionProfile::DeleteProfile(prefix + QString::number(i))) {
                std::fprintf(stderr, "registry_writer: round %d: %s%d gone before its delete\n", round,
                             qPrintable(prefix), i);
                return 1;
            }
        }
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QLatin1String(argv[1]) == QLatin1String("--profiles"))
        return SaveProfilesInRounds(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]),
                                    QString::fromLocal8Bit(argv[4]));
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_writer PREFIX COUNT\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        RegistryKey key;
        // Both spellings of the key path, as the program uses them.
        const char* path = i % 2 ? SettingKey::Settings : SettingKey::SettingsUpper;
        if (key.Open(RegistryRoot::CurrentUser, QLatin1String(path)) != 0
            || key.SetNumber(prefix + QString::number(i), i) != 0
            || key.SetNumber(prefix + QStringLiteral("Last"), i) != 0
            || key.SetString(prefix + QStringLiteral("Text"), QString::number(i)) != 0) {
            std::fprintf(stderr, "registry_writer: write %d refused\n", i);
            return 1;
        }
    }
    return 0;
}
