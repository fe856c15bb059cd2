// The work folder's files, which the tool names in the resource area and
// the runtime unpacks, uses and cleans up again. Each is "$inst\" + N +
// ".tmp" below the temporary folder; the payload cabinet parts being
// extracted are "temp_" + N + ".tmp" in the same folder.
//
//   file 2            the restored resource cabinet (cabinet form)
//   files 4 to 8      wizard and backdrop pictures
//   15, 16            licence and readme of the languages that name none
//   20 .. 20+L        further licence and readme texts, then 50 .. 50+L
//                     (L the number of languages)
// The clean-up deletes files 0 to 17 and, once the languages are known,
// the two language ranges; other numbers stay behind.
#pragma once

namespace pvx::work_files {

// Below the temporary folder; also how every resource member's name
// begins, so that it unpacks into the work folder.
constexpr const char* kFolder = "$inst\\";
constexpr unsigned kFolderLength = 6;
constexpr const char* kSuffix = ".tmp";
// Payload cabinet parts; kPartPattern finds the ones a failed run left.
constexpr const char* kPartPrefix = "temp_";
constexpr const char* kPartPattern = "temp_*.tmp";

enum : int {
  kResourceCabinet = 2,
  kHeaderPicture = 4,
  kSidePicture = 5,
  kBackdropPicture = 6,
  kFolderPicture = 7,
  kShortcutsPicture = 8,
  kLicence = 15,
  kReadme = 16,
  kLastFixed = 17,  // the clean-up deletes 0 .. kLastFixed
  kLanguageFiles = 20,
  kMoreLanguageFiles = 50,
};

}  // namespace pvx::work_files
