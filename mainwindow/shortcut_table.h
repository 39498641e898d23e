#pragma once

class MainWindow;

// Shortcut table 134: Ctrl+D, L, O, P, R and U send their commands to the main window, whether
// or not the matching button is enabled.
void InstallShortcutTable(MainWindow& window);
