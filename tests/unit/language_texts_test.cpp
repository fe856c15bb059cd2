// The built-in language sets against the roles their numbers have: the
// runtime fills "%s" only in three texts, appends a name to the status
// prefixes, a list to the summary headings and the system list to the
// unsupported-system message, and shows buttons with an accelerator. A set
// whose texts sit one place off breaks these rules at once.
#include "format/language_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tool/default_texts.h"

namespace pvx::tool {
namespace {

int Count(const std::string& s, const std::string& part) {
  int n = 0;
  for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) ++n;
  return n;
}

TEST(LanguageTextsTest, BuiltinSetsKeepEachRule) {
  const std::map<int, int> placeholders = {
      {text::kDiskSpaceTooLittle, 1}, {text::kNextDiskBody, 1}, {text::kNextDiskFileNotFound, 2}};
  const int prefixes[] = {text::kCopyingStatus, text::kRegisteringStatus, text::kRemovingFileStatus,
                          text::kRemovingFolderStatus, text::kUnregisteringStatus,
                          text::kCannotWriteFile, text::kUnsupportedSystem};
  const int headings[] = {text::kSummaryFolder, text::kSummaryGroup, text::kSummaryShortcuts};
  const int buttons[] = {text::kAcceptButton, text::kNextButton, text::kBackButton,
                         text::kInstallButton, text::kBrowseButton, text::kFinishButton,
                         text::kRemoveButton, text::kReplaceButton, text::kReplaceAllButton,
                         text::kSkipButton, text::kSkipAllButton};
  for (const char* key : {"english", "german"}) {
    const BuiltinLanguage* language = FindBuiltinLanguage(key);
    ASSERT_NE(language, nullptr) << key;
    LanguageStrings strings = BuiltinStrings(*language);
    auto at = [&](int k) { return strings[k - 1]; };
    for (int k = 1; k <= text::kCount; ++k) {
      auto p = placeholders.find(k);
      EXPECT_EQ(Count(at(k), "%s"), p == placeholders.end() ? 0 : p->second) << key << " text " << k;
      EXPECT_EQ(at(k).find('%') != std::string::npos, p != placeholders.end()) << key << " text " << k;
    }
    for (int k : prefixes) EXPECT_EQ(at(k).back(), ' ') << key << " text " << k << " is a prefix";
    for (int k : headings) EXPECT_EQ(at(k).substr(at(k).size() - 2), "\r\n") << key << " text " << k;
    for (int k : buttons) EXPECT_EQ(Count(at(k), "&"), 1) << key << " text " << k << " is a button";
    EXPECT_EQ(Count(at(text::kCancelButton), "&"), 0) << key;
  }
}

}  // namespace
}  // namespace pvx::tool
