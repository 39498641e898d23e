#pragma once

// Numbers of the program's windows, texts and tables, and the ids of the controls in them.

namespace ResourceId {
inline constexpr int MainWindow = 102;
inline constexpr int SocketInitFailedText = 103;
inline constexpr int Icon = 128;
inline constexpr int LoginDialog = 129;
inline constexpr int NewFolderDialog = 131;
inline constexpr int AttributeDialog = 132;
inline constexpr int WaitBox = 133;
inline constexpr int ShortcutTable = 134;
inline constexpr int OptionPage1 = 135;
inline constexpr int OptionPage2 = 136;
inline constexpr int OptionPage3 = 137;
inline constexpr int RenameDialog = 138;
}  // namespace ResourceId

// Controls of the main window, and the commands its shortcuts send.
namespace MainControlId {
inline constexpr int LocalPath = 1000;
inline constexpr int LocalList = 1001;
inline constexpr int RemotePath = 1002;
inline constexpr int RemoteList = 1003;
inline constexpr int Upload = 1004;
inline constexpr int Download = 1005;
inline constexpr int LocalNew = 1006;
inline constexpr int LocalOpen = 1007;
inline constexpr int RemoteNew = 1008;
inline constexpr int RemoteOpen = 1009;
inline constexpr int Connect = 1010;
inline constexpr int Disconnect = 1011;
inline constexpr int LogBox = 1012;
inline constexpr int AsciiMode = 1013;
inline constexpr int BinaryMode = 1014;
inline constexpr int LocalDelete = 1015;
inline constexpr int RemoteDelete = 1016;
inline constexpr int Attributes = 1017;
inline constexpr int Options = 1018;
inline constexpr int AutoMode = 1019;
inline constexpr int Rename = 1020;
// Commands with no control of their own.
inline constexpr int FocusRemoteList = 32771;
inline constexpr int FocusLocalList = 32772;
// The desktop keys: each acts on the focused pane (MainWindow::FocusedPane).
inline constexpr int RefreshPanes = 32773;      // F5
inline constexpr int DeleteFocused = 32774;     // Delete
inline constexpr int RenameFocused = 32775;     // F2
inline constexpr int ParentFolder = 32776;      // Backspace, Alt+Up
inline constexpr int NewFolderFocused = 32777;  // F7
inline constexpr int FocusPathEdit = 32778;     // F6, Alt+D
inline constexpr int FocusOtherPane = 32779;    // Tab
}  // namespace MainControlId

namespace WaitControlId {
inline constexpr int Message = 1023;
}

namespace NewFolderControlId {
inline constexpr int FolderName = 1014;
}

namespace RenameControlId {
inline constexpr int NewName = 1014;
}

// The permission boxes: columns Owner, Group, All; rows read, write, execute.
namespace AttributeControlId {
inline constexpr int CurrentLabel = 1022;
inline constexpr int OwnerRead = 1019;
inline constexpr int OwnerWrite = 1020;
inline constexpr int OwnerExecute = 1021;
inline constexpr int GroupRead = 1023;
inline constexpr int GroupWrite = 1024;
inline constexpr int GroupExecute = 1025;
inline constexpr int AllRead = 1026;
inline constexpr int AllWrite = 1027;
inline constexpr int AllExecute = 1028;
}  // namespace AttributeControlId
