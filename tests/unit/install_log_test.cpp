#include "core/install_log.h"

#include <gtest/gtest.h>

#include <string>

namespace pvx {
namespace {

TEST(InstallLogTest, NthText) {
  const char list[] = "zero\0one\0\0three";
  EXPECT_STREQ(NthText(list, 0), "zero");
  EXPECT_STREQ(NthText(list, 1), "one");
  EXPECT_STREQ(NthText(list, 2), "");
  EXPECT_STREQ(NthText(list, 3), "three");
}

TEST(InstallLogTest, Names) {
  struct Case {
    const char* (*name)(int32_t);
    int32_t value;
    const char* expected;
  } cases[] = {
      {RegistryRootName, 0, "HKCR"},        {RegistryRootName, 1, "HKCU"},
      {RegistryRootName, 2, "HKLM"},        {RegistryRootName, 3, "HKU"},
      {RegistryRootName, 4, "HKPD"},        {RegistryRootName, 5, "HKCC"},
      {RegistryRootName, 6, "HKDD"},        {RegistryRootName, 7, "no root"},
      {RegistryRootName, -1, "no root"},    {RegistryRootName, 0x7FFFFFFF, "no root"},
      {OverwriteModeName, 0, "ask"},        {OverwriteModeName, 1, "ask-if-newer"},
      {OverwriteModeName, 2, "always"},     {OverwriteModeName, 3, "if-newer"},
      {OverwriteModeName, 4, "never"},      {OverwriteModeName, 5, "other"},
      {OverwriteModeName, -2, "other"},     {ReplaceAnswerName, 1000, "replace"},
      {ReplaceAnswerName, 2000, "replace all"}, {ReplaceAnswerName, 3000, "skip"},
      {ReplaceAnswerName, 4000, "skip all"}, {ReplaceAnswerName, 5000, "replace"},
      {ReplaceAnswerName, 0, "replace"},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.name(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace pvx
