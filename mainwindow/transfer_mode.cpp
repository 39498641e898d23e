#include "mainwindow/transfer_mode.h"

#include "settings/settings_store.h"

#include <QList>

bool IsTextModeFile(const QString& name)
{
    return IsTextModeFile(name, SettingsStore::ReadString(SettingName::AutoTransferModeList));
}

bool IsTextModeFile(const QString& name, const QString& modeList)
{
    const QStringView names(name);
    for (QStringView item : QStringView(modeList).split(u' ')) {
        // An item longer than the name is compared with the whole name, so it cannot match.
        if (!item.isEmpty() && names.endsWith(item, Qt::CaseSensitive))
            return true;
    }
    return false;
}
