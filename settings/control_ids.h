#pragma once

#include <QVariant>
#include <QWidget>

// Ids of the controls of the login dialog and the option pages. The dialog templates attach each
// id to its widget as the dynamic property "controlId", so that code and tests reach a control
// by its number.
namespace LoginControlId {
inline constexpr int Server = 1007;
inline constexpr int UserName = 1008;
inline constexpr int Password = 1009;
inline constexpr int LocalInitDir = 1010;
inline constexpr int RemoteInitDir = 1011;
inline constexpr int ProfileList = 1015;
inline constexpr int Save = 1016;
inline constexpr int Delete = 1017;
inline constexpr int SavePassword = 1018;
inline constexpr int Encryption = 1019;
inline constexpr int Charset = 1020;
}  // namespace LoginControlId

namespace SettingPage1ControlId {
inline constexpr int ExtensionList = 1014;
inline constexpr int ConnectDlgWithStartup = 1024;
inline constexpr int AutoTransferMode = 1025;
inline constexpr int CheckOverwrite = 1027;
inline constexpr int KeepTimestamps = 1028;
inline constexpr int VerifyTransfers = 1029;
inline constexpr int MaxConnections = 1030;
}  // namespace SettingPage1ControlId

namespace SettingPage2ControlId {
inline constexpr int ConnectTimeout = 1014;
inline constexpr int UseAutoDialUp = 1025;
inline constexpr int EntryList = 1026;
}  // namespace SettingPage2ControlId

namespace SettingPage3ControlId {
inline constexpr int UsePASV = 1024;
inline constexpr int UseLIST = 1025;
}  // namespace SettingPage3ControlId

inline constexpr char ControlIdProperty[] = "controlId";

// The control with that id among the widget's descendants, or nullptr (also when it is of
// another type).
template <typename Control>
Control* FindControl(const QWidget& parent, int id)
{
    for (Control* child : parent.findChildren<Control*>()) {
        if (child->property(ControlIdProperty).toInt() == id)
            return child;
    }
    return nullptr;
}
