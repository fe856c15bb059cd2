// Numbers of the ScriptHeader fields, by meaning. The header is a vector of
// texts; these are the positions that the runtime and the tool agree on.
#pragma once

namespace pvx::field {

constexpr int kSignature = 0;              // "Parvolex v. 5.02"
constexpr int kShowBackdrop = 1;           // flag
constexpr int kDotNetDownloadUrl = 2;      // text, "0" = none
constexpr int kBackdropGradient = 3;       // flag, else picture
constexpr int kBackdropColorStart = 4;     // COLORREF
constexpr int kBackdropColorEnd = 5;       // COLORREF
constexpr int kBackdropHorizontal = 6;     // flag: left to right
constexpr int kBackdropPictureMode = 7;    // 0 tiled, 1 stretched, 2 centred
constexpr int kBackdropTitle = 8;          // path
constexpr int kBackdropFooter = 9;         // path
constexpr int kBackdropTitleHeight = 10;
constexpr int kBackdropTitleFont = 11;
constexpr int kBackdropTitleColor = 12;
constexpr int kBackdropTitleCharset = 13;
constexpr int kBackdropTitleStyle = 14;
constexpr int kBackdropFooterStyle = 15;
constexpr int kBackdropFooterColor = 16;
constexpr int kBackdropFooterCharset = 17;
constexpr int kBackdropFooterHeight = 18;
constexpr int kBackdropFooterFont = 19;
constexpr int kComCount = 20;              // count and flag ("0" skips)
constexpr int kVolumeNameTemplate = 21;
constexpr int kOfferShortcuts = 22;        // flag
constexpr int kDiskSpaceNeeded = 23;       // 64-bit bytes
constexpr int kIniCount = 24;
constexpr int kUninstallCommandCount = 25;
constexpr int kLanguageCount = 26;
constexpr int kBottomText = 27;            // path
constexpr int kLicensePage = 30;           // flag
constexpr int kFontCount = 31;
constexpr int kFinishOffersWeb = 36;
constexpr int kWebAddress = 37;
constexpr int kWebChecked = 38;
constexpr int kFinishOffersRun = 39;
constexpr int kInstallCommandCount = 40;
constexpr int kStartupMessage = 41;        // text, "0" = none
constexpr int kRunProgram = 43;
constexpr int kRunChecked = 44;
constexpr int kUninstallExtraCount = 45;
constexpr int kReadmeChecked = 46;
constexpr int kReadmeFile = 47;
constexpr int kProgressMaximum = 48;       // units of 1024 bytes
constexpr int kHeaderPicture = 49;         // flag
constexpr int kRegistryCount = 50;
constexpr int kFinishOffersRestart = 52;
constexpr int kBrowseAppendFolder = 53;
constexpr int kShortcutCount = 54;
constexpr int kWriteUninstallRecord = 56;
constexpr int kTextsPerLanguage = 57;
constexpr int kDefaultFolder = 58;         // "/P="
constexpr int kHeaderGradientStart = 60;
constexpr int kUnsupportedSystems = 61;    // bit mask of version classes
constexpr int kSupportedSystemsText = 62;
constexpr int kSidePicture = 63;           // flag, "/NR" sets "0"
constexpr int kUninstallSetting64 = 64;
constexpr int kSetupTitle = 65;            // path
constexpr int kHeaderGradient = 66;        // flag
constexpr int kFileCount = 67;
constexpr int kUninstallSetting68 = 68;
constexpr int kTitleLeft = 69;
constexpr int kHeaderColor = 70;
constexpr int kHeaderPictureTransparent = 71;
constexpr int kTitleTop = 72;
constexpr int kSubtitleLeft = 73;
constexpr int kUninstallSetting74 = 74;
constexpr int kUninstallSetting75 = 75;
constexpr int kFolderLocked = 76;
constexpr int kSidePictureTransparent = 77;
constexpr int kSubtitleTop = 78;
constexpr int kFinishOffersReadme = 79;
constexpr int kHeaderPictureTop = 80;
constexpr int kHeaderPictureLeft = 81;
constexpr int kSidePictureTop = 82;
constexpr int kSidePictureLeft = 83;
constexpr int kInformationPage = 84;       // flag
constexpr int kDotNetAnyLater = 85;        // flag
constexpr int kMakeProgramGroup = 86;      // flag
constexpr int kOfferDesktop = 88;
constexpr int kOfferStartMenu = 89;
constexpr int kOfferQuickLaunch = 90;
constexpr int kUninstallerPath = 91;       // path
constexpr int kUninstallIniPath = 92;      // path
constexpr int kFolderCount = 93;
constexpr int kPartLength = 95;            // stored length of each part but the last
constexpr int kUninstallRegistryCount = 96;
constexpr int kUninstallSetting97 = 97;
constexpr int kRegistryVariableCount = 98;
constexpr int kNeedsAdministrator = 99;    // flag
constexpr int kDotNetVersion = 100;        // text, "0" = no check
constexpr int kCloseRunningCopy = 103;     // flag
constexpr int kRunningCopyName = 104;
constexpr int kRunningCopyMatch = 105;     // 0 title, 1 part of title, 2+ program file
constexpr int kDefaultGroup = 106;         // "/G="
constexpr int kUninstallSetting108 = 108;
constexpr int kGroupLocked = 109;
constexpr int kSilent = 110;
constexpr int kWelcomePage = 111;
constexpr int kFolderPage = 112;
constexpr int kGroupPage = 113;
constexpr int kShortcutsPage = 114;
constexpr int kReadyPage = 115;
constexpr int kFinishPage = 116;
constexpr int kLastPartNumber = 117;
constexpr int kLastPartLength = 118;

// The tool writes 121 fields; the runtime reads none above 118.
constexpr int kHeaderFieldCount = 121;

}  // namespace pvx::field
