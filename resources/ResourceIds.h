#pragma once

// Ids of the four dialog templates, their controls and the program icon. The
// forms beside this file carry the template id in the dialog's "templateId"
// property and each control's id in its "controlId" property and at the end of
// its object name, so FindControl(dialog, id) reaches any control by its id.
namespace resid {

constexpr int kProgramIcon = 128;

// Buttons that end a dialog.
constexpr int kOk = 1;
constexpr int kCancel = 2;

// The main dialog.
namespace main {
constexpr int kTemplate = 102;
constexpr int kTerminalControl = 1005;
constexpr int kDeviceLabel = 1014;
constexpr int kDeviceCombo = 1060;
constexpr int kFromLabel = 1023;
constexpr int kFromPicker = 1003;
constexpr int kToLabel = 1025;
constexpr int kToPicker = 1009;
constexpr int kConnectButton = 1007;
constexpr int kPullButton = 1028;
constexpr int kSettingsButton = 1046;
constexpr int kCommandButton = 1062;
constexpr int kNetGroup = 1039;
} // namespace main

// The settings dialog.
namespace config {
constexpr int kTemplate = 1048;
constexpr int kServerLabel = 1042;
constexpr int kServerEdit = 1045;
constexpr int kUserLabel = 1043;
constexpr int kUserEdit = 1050;
constexpr int kPassLabel = 1044;
constexpr int kPassEdit = 1051;
constexpr int kDbLabel = 1049;
constexpr int kDbEdit = 1052;
constexpr int kPathLabel = 1046;
constexpr int kPathEdit = 1008;
constexpr int kBrowseLabel = 1060;
constexpr int kDbCombo = 1065;
constexpr int kDeleteFileCheck = 1068;
constexpr int kTestButton = 1059;
constexpr int kDeviceList = 1067;
} // namespace config

// The start-up password dialog.
namespace password {
constexpr int kTemplate = 1069;
constexpr int kLabel = 1044;
constexpr int kEdit = 1051;
} // namespace password

// The command-line dialog.
namespace command {
constexpr int kTemplate = 1070;
constexpr int kEdit = 1071;
} // namespace command

} // namespace resid
