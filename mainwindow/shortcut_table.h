#pragma once

#include <QKeyCombination>

#include <span>

class MainWindow;

struct ShortcutEntry {
    QKeyCombination keys;
    int command;  // MainControlId
};

// The window's shortcuts: Ctrl+D, L, O, P, R and U, and the desktop keys (F5, Delete, F2,
// Backspace, Alt+Up, F7, F6, Alt+D, Tab). Each key does one thing.
std::span<const ShortcutEntry> ShortcutTable();

// Sends each shortcut's command to the main window, whether or not the matching button is
// enabled.
void InstallShortcutTable(MainWindow& window);
