#include "mainwindow/shortcut_table.h"

#include "mainwindow/main_window.h"
#include "resources/resource_ids.h"

#include <QShortcut>

namespace {
constexpr ShortcutEntry Shortcuts[] = {
    {Qt::CTRL | Qt::Key_D, MainControlId::Download},
    {Qt::CTRL | Qt::Key_L, MainControlId::FocusLocalList},
    {Qt::CTRL | Qt::Key_O, MainControlId::Connect},
    {Qt::CTRL | Qt::Key_P, MainControlId::Attributes},
    {Qt::CTRL | Qt::Key_R, MainControlId::FocusRemoteList},
    {Qt::CTRL | Qt::Key_U, MainControlId::Upload},
    // The keys a file manager on the desktop has taught. A path edit keeps Delete and
    // Backspace for its text (it claims them before a shortcut sees them).
    {QKeyCombination(Qt::Key_F5), MainControlId::RefreshPanes},
    {QKeyCombination(Qt::Key_Delete), MainControlId::DeleteFocused},
    {QKeyCombination(Qt::Key_F2), MainControlId::RenameFocused},
    {QKeyCombination(Qt::Key_Backspace), MainControlId::ParentFolder},
    {Qt::ALT | Qt::Key_Up, MainControlId::ParentFolder},
    {QKeyCombination(Qt::Key_F7), MainControlId::NewFolderFocused},
    {QKeyCombination(Qt::Key_F6), MainControlId::FocusPathEdit},
    {Qt::ALT | Qt::Key_D, MainControlId::FocusPathEdit},
    {QKeyCombination(Qt::Key_Tab), MainControlId::FocusOtherPane},
};
}  // namespace

std::span<const ShortcutEntry> ShortcutTable()
{
    return Shortcuts;
}

void InstallShortcutTable(MainWindow& window)
{
    for (const ShortcutEntry& entry : Shortcuts) {
        auto* shortcut = new QShortcut(QKeySequence(entry.keys), &window);
        shortcut->setContext(Qt::WindowShortcut);
        const int command = entry.command;
        QObject::connect(shortcut, &QShortcut::activated, &window,
                         [&window, command] { window.RunCommand(command); });
    }
}
