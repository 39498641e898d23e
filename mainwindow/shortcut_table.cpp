#include "mainwindow/shortcut_table.h"

#include "mainwindow/main_window.h"
#include "resources/resource_ids.h"

#include <QShortcut>

namespace {
struct ShortcutEntry {
    QKeyCombination keys;
    int command;
};

constexpr ShortcutEntry ShortcutTable[] = {
    {Qt::CTRL | Qt::Key_D, MainControlId::Download},
    {Qt::CTRL | Qt::Key_L, MainControlId::FocusLocalList},
    {Qt::CTRL | Qt::Key_O, MainControlId::Connect},
    {Qt::CTRL | Qt::Key_P, MainControlId::Attributes},
    {Qt::CTRL | Qt::Key_R, MainControlId::FocusRemoteList},
    {Qt::CTRL | Qt::Key_U, MainControlId::Upload},
};
}  // namespace

void InstallShortcutTable(MainWindow& window)
{
    for (const ShortcutEntry& entry : ShortcutTable) {
        auto* shortcut = new QShortcut(QKeySequence(entry.keys), &window);
        shortcut->setContext(Qt::WindowShortcut);
        const int command = entry.command;
        QObject::connect(shortcut, &QShortcut::activated, &window,
                         [&window, command] { window.RunCommand(command); });
    }
}
