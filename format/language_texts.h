// The numbers of a language's texts: every language of a package holds the
// same 99 texts in this order (text 1 first), and the runtime, the
// uninstaller and the tool name them here. The texts come from the package
// (the tool's built-in sets or the publisher's own); only the role of each
// number is fixed. "%s" stands in three of them, where the runtime fills
// something in: the drive letter (kDiskSpaceTooLittle), the disk's number
// (kNextDiskBody), and the file's name then its folder
// (kNextDiskFileNotFound).
//
// Texts 53 to 56 are kept for their place and used by no program; 30, 36 and
// 83 are written by the tool but read by no program either.
#pragma once

namespace pvx::text {

enum : int {
  // Wizard pages: headings, bodies, titles and subtitles.
  kWelcomeHeading = 1,
  kWelcomeBody = 2,
  kFolderBody = 3,  // ends with the label of the space needed
  kReadyBody = 4,
  kInstallingBody = 5,
  kFinishHeading = 6,
  kFinishBody = 7,
  kDiskSpaceTooLittle = 8,  // "%s": the drive letter
  kLicenseTitle = 9,
  kLicenseSubtitle = 10,
  kFolderTitle = 11,
  kFolderSubtitle = 12,
  kGroupSubtitle = 13,
  kGroupTitle = 14,  // the program-group and the shortcuts pages
  kShortcutsSubtitle = 15,
  kReadyTitle = 16,
  kInstallingSubtitle = 17,
  kLicenseBody = 18,
  kGroupBody = 19,
  kRunProgramBox = 20,
  kShowReadmeBox = 21,
  // Buttons and check boxes.
  kAcceptButton = 22,
  kNextButton = 23,
  kBackButton = 24,
  kCancelButton = 25,
  kInstallButton = 26,
  kBrowseButton = 27,
  kNoGroupBox = 28,
  kFolderGroupBox = 29,
  kGroupCaption = 30,
  kDesktopShortcutBox = 31,  // then the Start menu and Quick Launch boxes
  kStartMenuShortcutBox = 32,
  kQuickLaunchShortcutBox = 33,
  kInformationTitle = 34,
  // Status lines of the installation (prefixes end with their separator).
  kCopyingStatus = 35,
  kCannotCreateFile = 36,
  kRegistryStatus = 37,
  kShortcutsStatus = 38,
  kUninstallRecordStatus = 39,
  kFinishingStatus = 40,
  kFinishButton = 41,
  kDiskSpaceCaption = 42,
  kSummaryFolder = 43,  // then the program group and the shortcuts
  kSummaryGroup = 44,
  kSummaryShortcuts = 45,
  kCancelQuestion = 46,
  kNextDiskTitle = 47,
  kNextDiskBody = 48,  // "%s": the disk's number
  kBrowseTitle = 49,
  kShortcutsBody = 50,
  kExtractingStatus = 51,
  kUnsupportedSystem = 52,  // followed by the systems the program runs on
  kCommandsStatus = 57,
  kRegisteringStatus = 58,
  kInstallationAborted = 59,
  kIniStatus = 60,
  kInstallingTitle = 61,
  kReadySubtitle = 62,
  // Texts the installation passes on to the uninstaller, in its record.
  kRemoveWelcomeBody = 63,
  kRemoveButton = 64,
  kRemovingFrom = 65,
  kRestartNowBox = 66,
  kRestartLaterBox = 67,
  kRemoveTitle = 68,
  kRemoveSubtitle = 69,
  kRemovedTitle = 70,
  kRemovedHeading = 71,
  kRemovedBody = 72,
  kRemovingFileStatus = 73,
  kRemovingBody = 74,
  kRemovingFolderStatus = 75,
  kRemovedFinishHint = 76,
  kRemoveCancelQuestion = 77,
  kUnregisteringStatus = 78,
  kFinishRestartBody = 79,
  kFoldersStatus = 80,
  kRemoveWebSite = 81,
  kInformationBody = 82,  // the information page's subtitle and label
  kFinishHeadingVariant = 83,
  kWebSiteBox = 84,
  // Prerequisite messages.
  kAdministratorNeeded = 85,
  kDotNetNeeded = 86,
  kDotNetDownloadQuestion = 87,
  // The replace-file prompt.
  kReplaceQuestion = 88,
  kReplaceExisting = 89,
  kReplaceNew = 90,
  kReplaceButton = 91,
  kReplaceAllButton = 92,
  kSkipButton = 93,
  kSkipAllButton = 94,
  // A file that cannot be written, and the next-disk prompt's folder choice.
  kCannotWriteFile = 95,
  kCannotWriteAdvice = 96,
  kNextDiskBrowseTitle = 97,
  kNextDiskFolderLabel = 98,
  kNextDiskFileNotFound = 99,  // "%s" twice: the file's name, its folder

  kCount = 99,
};

}  // namespace pvx::text
