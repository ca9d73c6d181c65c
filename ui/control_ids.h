// Control ids of the windows, by window. Every control carries its id (see
// SetCtrlId); the pages, the value codec and the tests find controls by it.
// Ids are unique within one window only: the same number names different
// controls in different windows.
#pragma once

namespace ids {

// Every dialog's OK and Cancel buttons.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// The main window (dialog 102).
namespace main_window {
inline constexpr int kSlotTabs = 1000;
inline constexpr int kConnect = 1002;
inline constexpr int kRs232 = 1005;
inline constexpr int kEthernet = 1006;
inline constexpr int kDemodLockLamp = 1013;     // also kLampDemodLock of the codec
inline constexpr int kReceptionLamp = 1014;     // also kLampReception
inline constexpr int kDecoderLockLamp = 1015;   // also kLampDecoderLock
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
inline constexpr int kNarrowband = 1005;        // also kIdRadioNarrowband of the session
inline constexpr int kDvbt = 1006;              // also kIdRadioDvbt
inline constexpr int kKey = 1043;
inline constexpr int kApply = 1044;
inline constexpr int kRefresh = 1046;
inline constexpr int kDescrambling = 1109;
inline constexpr int kDownconverter = 1115;     // also kDownconverterControlId
inline constexpr int kFrequencyNarrowband = 1200;
inline constexpr int kServiceNarrowband = 1216;
inline constexpr int kFrequencyDvbt = 1250;
inline constexpr int kServiceDvbt = 1266;
}  // namespace simple_page

// The full demodulator page, CDemodDialog (dialog 104).
namespace full_page {
inline constexpr int kRefresh = 1002;
inline constexpr int kApply = 1003;
inline constexpr int kNarrowband = 1005;
inline constexpr int kDvbt = 1006;
inline constexpr int kRfInput = 1048;
inline constexpr int kChainingInput = 1049;
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
inline constexpr int kIcon = 1035;
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
