#include "core/workdir.h"

#include <gtest/gtest.h>

#include <set>

namespace pvx {
namespace {

TEST(WorkDirTest, FileNames) {
  EXPECT_EQ(WorkDirFileName("C:\\Temp\\", 4, false), "C:\\Temp\\$inst\\4.tmp");
  EXPECT_EQ(WorkDirFileName("C:\\Temp", 0, true), "C:\\Temp\\$inst\\temp_0.tmp");
  EXPECT_EQ(WorkDirFileName("C:\\Temp\\", 12, true), "C:\\Temp\\$inst\\temp_12.tmp");
}

std::set<int> Range(int from, int to) {
  std::set<int> s;
  for (int i = from; i <= to; ++i) s.insert(i);
  return s;
}

TEST(WorkDirTest, CleanupNumbers) {
  auto asSet = [](const std::vector<int>& v) { return std::set<int>(v.begin(), v.end()); };
  std::set<int> three = Range(0, 17);
  for (int n : Range(20, 23)) three.insert(n);
  for (int n : Range(50, 53)) three.insert(n);
  EXPECT_EQ(asSet(CleanupFileNumbers(true, 3)), three);
  EXPECT_EQ(asSet(CleanupFileNumbers(false, 3)), Range(0, 17));
  EXPECT_EQ(asSet(CleanupFileNumbers(true, -5)), Range(0, 17));
  std::set<int> zero = Range(0, 17);
  zero.insert(20);
  zero.insert(50);
  EXPECT_EQ(asSet(CleanupFileNumbers(true, 0)), zero);
  // A damaged language count is bounded by the most a package can hold.
  EXPECT_EQ(CleanupFileNumbers(true, 2000000000).size(), 18u + 2 * 256);
}

}  // namespace
}  // namespace pvx
