// The wizard's controls by number (their window ids; 0 is the wizard
// window itself). Next and Cancel are IDOK and IDCANCEL so that Enter and
// Esc reach them through IsDialogMessage. The end-to-end tests read the
// numbers from this file, so they cannot drift from the runtime's.
#pragma once
#include <cstdint>

namespace pvx {

enum Control : uint8_t {
  kWindow = 0,
  kNext = 1,
  kCancel = 2,
  kBack = 3,
  kBand = 4,
  kWhitePanel = 5,
  kLicensePanel = 6,  // one panel per inner page kind, in kind order
  kInformationPanel = 7,
  kFolderPanel = 8,
  kGroupPanel = 9,
  kShortcutsPanel = 10,
  kReadyPanel = 11,
  kInstallingPanel = 12,
  kTitle = 13,
  kSubtitle = 14,
  kBottomText = 15,
  kSeparator = 16,
  kSidePicture = 17,
  kWelcomeTitle = 18,
  kWelcomeBody = 19,
  kRunBox = 20,
  kReadmeBox = 21,
  kWebBox = 22,
  kRestartNow = 23,
  kRestartLater = 24,
  kLicenseLabel = 25,
  kLicenseText = 26,
  kInformationLabel = 27,
  kInformationText = 28,
  kFolderLabel = 29,
  kFolderPicture = 30,
  kFolderEdit = 31,
  kBrowse = 32,
  kFolderFrame = 33,
  kGroupLabel = 34,
  kGroupEdit = 35,
  kGroupList = 36,
  kNoShortcuts = 37,
  kShortcutsLabel = 38,
  kShortcutsPicture = 39,
  kDesktopBox = 40,
  kStartMenuBox = 41,
  kQuickLaunchBox = 42,
  kReadyLabel = 43,
  kSummary = 44,
  kInstallingLabel = 45,
  kStatus = 46,
  kProgress = 47,
  kControlCount = 48,
};

}  // namespace pvx
