// Control ids, named once: the controls of the parameter pages that the tables,
// the codec and the poll thread address, then every window's, by window. Every
// control carries its id (see SetCtrlId); the pages, the value codec and the
// tests find controls by it. Ids are unique within one window only: the same
// number names different controls in different windows.
#pragma once

namespace ids {

// The controls a parameter table row shows its value in, on the simple and
// the full demodulator page alike, and the main window's lamps.
namespace unit_page {
// A demodulator column's controls are its base plus an offset below:
// lists at base + 0.., edits at base + 100...
inline constexpr int kNarrowbandColumn = 1100;
inline constexpr int kDvbtColumn = 1150;
namespace column {
inline constexpr int kLoSide = 0;
inline constexpr int kBandwidth = 1;
inline constexpr int kGuardInterval = 2;
inline constexpr int kPolarity = 3;
inline constexpr int kInputFrequency = 100;
inline constexpr int kLoFrequency = 101;
inline constexpr int kOfdmMode = 102;
inline constexpr int kFecRate = 103;
inline constexpr int kSnrA = 104;
inline constexpr int kSnrB = 105;
inline constexpr int kSnrC = 106;
inline constexpr int kSnrD = 107;
inline constexpr int kBerPreErrors = 108;
inline constexpr int kBerPostErrors = 109;
inline constexpr int kPacketErrors = 110;
inline constexpr int kLevelA = 111;
inline constexpr int kLevelB = 112;
inline constexpr int kLevelC = 113;
inline constexpr int kLevelD = 114;
inline constexpr int kDemodLock = 115;
inline constexpr int kServiceName = 116;
}  // namespace column
// The captions hidden with inputs C and D when the unit has none.
inline constexpr int kSnrCCaption = 1009;
inline constexpr int kSnrDCaption = 1010;
inline constexpr int kLevelCCaption = 1011;
inline constexpr int kLevelDCaption = 1012;
// The status lamps (on the main window) the lamp rule drives.
inline constexpr int kDemodLockLamp = 1013;
inline constexpr int kReceptionLamp = 1014;
inline constexpr int kDecoderLockLamp = 1015;
// The demodulator mode radios and the input selection radios.
inline constexpr int kNarrowband = 1005;
inline constexpr int kDvbt = 1006;
inline constexpr int kRfInput = 1048;
inline constexpr int kChainingInput = 1049;
// The decoder table's controls.
inline constexpr int kData = 1104;
inline constexpr int kPowerUpLineStandard = 1105;
inline constexpr int kNtscMode = 1106;
inline constexpr int kBlueScreenOnFail = 1107;
inline constexpr int kDeblocking = 1108;
inline constexpr int kDescrambling = 1109;
inline constexpr int kLnbPower = 1110;
inline constexpr int kOnScreenDisplay = 1111;
inline constexpr int kChainingSource = 1112;
inline constexpr int kChainingScrambling = 1113;
inline constexpr int kOsdPage = 1114;
inline constexpr int kDownconverter = 1115;
inline constexpr int kDataBaudRate = 1217;
inline constexpr int kDataParity = 1218;
inline constexpr int kInputLineStandard = 1219;
inline constexpr int kService = 1220;
inline constexpr int kDecoderLock = 1221;
inline constexpr int kSoftwareVersion = 1222;
inline constexpr int kFpgaVersion = 1223;
inline constexpr int kSerialNumber = 1224;
inline constexpr int kCurrentConfig = 1225;
inline constexpr int kDataMode = 1226;
inline constexpr int kDataWidth = 1227;
inline constexpr int kOsdTimeout = 1228;
inline constexpr int kScanRangeMax = 1229;
inline constexpr int kScanRangeMin = 1230;
inline constexpr int kScanResolution = 1231;
}  // namespace unit_page

// The downconverter choices of the restore-defaults dialog, CBarrelDialog.
namespace restore_defaults {
inline constexpr int kUhf = 1005;
inline constexpr int kSquareQf01 = 1006;
inline constexpr int kSquareQf02 = 1048;
inline constexpr int kSquareQf03 = 1049;
inline constexpr int kBarrelQf04 = 1050;
inline constexpr int kBarrelQf05 = 1051;
inline constexpr int kBarrelQf06 = 1052;
inline constexpr int kBarrelQf07 = 1053;
inline constexpr int kBarrelQf08 = 1054;
inline constexpr int kBarrelQf09 = 1055;
inline constexpr int kBarrelQf10 = 1056;
inline constexpr int kQf20 = 1057;
}  // namespace restore_defaults

// Every dialog's OK and Cancel buttons.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// The main window (dialog 102).
namespace main_window {
inline constexpr int kSlotTabs = 1000;
inline constexpr int kConnect = 1002;
inline constexpr int kRs232 = 1005;
inline constexpr int kEthernet = 1006;
inline constexpr int kDemodLockLamp = unit_page::kDemodLockLamp;
inline constexpr int kReceptionLamp = unit_page::kReceptionLamp;
inline constexpr int kDecoderLockLamp = unit_page::kDecoderLockLamp;
inline constexpr int kPollingLabel = 1016;
inline constexpr int kLogo = 1038;
inline constexpr int kSaveConfigSet = 1041;
inline constexpr int kLoadConfigSet = 1042;
inline constexpr int kConnectedLabel = 1045;
inline constexpr int kConnectionLamp = 1058;
inline constexpr int kIpAddress = 1059;
inline constexpr int kPortList = 1100;
}  // namespace main_window

// The simple demodulator page under the slot tabs, CSimpleDemodDialog (dialog 103).
namespace simple_page {
inline constexpr int kAdvanced = 1002;
inline constexpr int kSaveConfig = 1003;
inline constexpr int kLoadConfig = 1004;
inline constexpr int kNarrowband = unit_page::kNarrowband;
inline constexpr int kDvbt = unit_page::kDvbt;
inline constexpr int kKey = 1043;
inline constexpr int kApply = 1044;
inline constexpr int kRefresh = 1046;
inline constexpr int kDescrambling = unit_page::kDescrambling;
inline constexpr int kDownconverter = unit_page::kDownconverter;
inline constexpr int kFrequencyNarrowband = unit_page::kNarrowbandColumn + unit_page::column::kInputFrequency;
inline constexpr int kServiceNarrowband = unit_page::kNarrowbandColumn + unit_page::column::kServiceName;
inline constexpr int kFrequencyDvbt = unit_page::kDvbtColumn + unit_page::column::kInputFrequency;
inline constexpr int kServiceDvbt = unit_page::kDvbtColumn + unit_page::column::kServiceName;
}  // namespace simple_page

// The full demodulator page, CDemodDialog (dialog 104).
namespace full_page {
inline constexpr int kRefresh = 1002;
inline constexpr int kApply = 1003;
inline constexpr int kNarrowband = unit_page::kNarrowband;
inline constexpr int kDvbt = unit_page::kDvbt;
inline constexpr int kRfInput = unit_page::kRfInput;
inline constexpr int kChainingInput = unit_page::kChainingInput;
}  // namespace full_page

// CPleaseWaitDialog (dialog 105).
namespace please_wait {
inline constexpr int kText = 1007;
inline constexpr int kProgress = 1047;
}  // namespace please_wait

// CConnectDialog (dialog 106).
namespace connecting {
inline constexpr int kText = 1008;
}  // namespace connecting

// The About box, CAboutDlg (dialog 100).
namespace about {
inline constexpr int kText = 1034;
inline constexpr int kPicture = 1035;
}  // namespace about

// The General page of the advanced options, CAdvTemplateDialog (dialog 118).
namespace general_page {
inline constexpr int kUnitAddress = 1200;
inline constexpr int kFirstEdit = 1200;   // edits 1200..1201
inline constexpr int kLastEdit = 1201;
inline constexpr int kFirstList = 1100;   // lists 1100..1108
inline constexpr int kLastList = 1108;
}  // namespace general_page

// The engineering window, CEngineeringDialog (dialog 108).
namespace engineering {
inline constexpr int kTabs = 1031;
}  // namespace engineering

// The logo size dialog, CLogoSizeDialog (dialog 117).
namespace logo_size {
inline constexpr int kHeight = 1200;
inline constexpr int kWidth = 1201;
inline constexpr int kHeightUpDown = 1039;
inline constexpr int kWidthUpDown = 1040;
}  // namespace logo_size

// The Diagnostic page of the engineering window, CDiagnosticDialog (dialog 109).
namespace diagnostic {
inline constexpr int kAddress = 1018;
inline constexpr int kCommand = 1019;
inline constexpr int kOutput = 1029;
inline constexpr int kSend = 1030;
}  // namespace diagnostic

// The polling interval page, CPollMiscDialog (dialog 115).
namespace poll_misc {
inline constexpr int kInterval = 1200;
}  // namespace poll_misc

// The list of polled items, CPollingListDialog (dialog 113).
namespace polling_list {
inline constexpr int kFirstCheck = 1800;   // items 0..3 at 1800, 1810, 1820, 1830
}  // namespace polling_list

// The polling options, CPollingOptions (dialog 114).
namespace polling_options {
inline constexpr int kTabs = 1000;
inline constexpr int kApply = 1002;
}  // namespace polling_options

// The Advanced options tab of the engineering window, CAdvancedDialog (dialog 110).
namespace advanced {
inline constexpr int kTabs = 1000;
inline constexpr int kApply = 1002;
}  // namespace advanced

// The value prompt, CEnterValueDialog (dialog 116).
namespace enter_value {
inline constexpr int kPrompt = 1037;
inline constexpr int kEdit = 1036;
}  // namespace enter_value

// The Serial control page, CSerialCtrlDialog (dialog 111).
namespace serial_control {
inline constexpr int kBaud = 1100;
inline constexpr int kFirstTimeout = 1200;   // time-outs 0..4 at 1200..1204
}  // namespace serial_control

// The key dialog, CWriteKeyDialog (dialog 112).
namespace write_key {
inline constexpr int kKeyType = 1101;
inline constexpr int kLowerLabel = 1032;
inline constexpr int kUpperLabel = 1033;
inline constexpr int kLowerKey = 1200;
inline constexpr int kUpperKey = 1201;
}  // namespace write_key

// The signal history window, CSignalHistoryDlg.
namespace signal_history {
inline constexpr int kBestSnr = 1300;       // the alignment readout's live value
inline constexpr int kPeakSnr = 1301;
inline constexpr int kResetPeak = 1302;
inline constexpr int kSpan = 1303;
inline constexpr int kFollow = 1304;
inline constexpr int kFirstSeries = 1310;   // series 0..7 (SNR A..D, level A..D) at 1310..1317
inline constexpr int kRecord = 1320;
inline constexpr int kSavePng = 1321;
inline constexpr int kCursorValues = 1322;
inline constexpr int kRecordingState = 1323;
inline constexpr int kEvents = 1324;
inline constexpr int kChart = 1325;
}  // namespace signal_history

}  // namespace ids
