// Writes a run of values into the store for the transaction tests, which start two of these at
// once: registry_writer PREFIX COUNT. Each round opens the key afresh, as the program does, and
// the exit status is 1 as soon as one write is refused.
#include "settings/registry_key.h"
#include "settings/settings_store.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
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
