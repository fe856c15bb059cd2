#include "core/outcome.h"
#include "install/fdi_error.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pvx {
namespace {

// Scripts and deployment tools read the exit codes: each kind keeps its
// number, and only an unusable system ends like a failed prerequisite.
TEST(ExtractOutcomeTest, EveryKindEndsWithItsExitCodeAndItsOwnReason) {
  struct Case {
    OutcomeKind kind;
    unsigned code;
  } cases[] = {
      {OutcomeKind::Done, 0},      {OutcomeKind::Cancelled, 5},      {OutcomeKind::Damaged, 1},
      {OutcomeKind::IoFailure, 4}, {OutcomeKind::UnusableSystem, 3},
  };
  std::set<std::string> reasons;
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<unsigned>(OutcomeExitCode(c.kind)), c.code) << static_cast<int>(c.kind);
    ASSERT_NE(OutcomeReason(c.kind), nullptr);
    EXPECT_STRNE(OutcomeReason(c.kind), "") << static_cast<int>(c.kind);
    reasons.insert(OutcomeReason(c.kind));
  }
  EXPECT_EQ(reasons.size(), sizeof cases / sizeof cases[0]);
  // The log names what is missing, and a damaged package as it always has.
  EXPECT_NE(std::string(OutcomeReason(OutcomeKind::UnusableSystem)).find("cabinet.dll"), std::string::npos);
  EXPECT_STREQ(OutcomeReason(OutcomeKind::Damaged), "package data damaged");
  EXPECT_STREQ(OutcomeReason(OutcomeKind::Cancelled), "installation aborted");
}

// The decompressor's error numbers (FDIERROR_*): only a failed write is an
// I/O failure; everything else, its out-of-memory and its "user abort"
// (which the extractor's own refusals cause) included, is damaged data,
// exit code 1 as before.
TEST(ExtractOutcomeTest, DecompressorErrors) {
  struct Case {
    uint32_t error;
    OutcomeKind kind;
  } cases[] = {
      {0, OutcomeKind::Damaged},   // none, yet the copy failed
      {1, OutcomeKind::Damaged},   // cabinet not found: a missing part
      {2, OutcomeKind::Damaged},   // not a cabinet
      {3, OutcomeKind::Damaged},   // unknown cabinet version
      {4, OutcomeKind::Damaged},   // corrupt cabinet
      {5, OutcomeKind::Damaged},   // out of memory
      {6, OutcomeKind::Damaged},   // bad compression type
      {7, OutcomeKind::Damaged},   // decompression failed
      {8, OutcomeKind::IoFailure}, // target file could not be written
      {9, OutcomeKind::Damaged},   // reserve sizes do not match
      {10, OutcomeKind::Damaged},  // wrong cabinet of the set
      {11, OutcomeKind::Damaged},  // user abort
      {12, OutcomeKind::Damaged},  // unexpected end of data
      {0xFFFFFFFF, OutcomeKind::Damaged},
  };
  for (const Case& c : cases)
    EXPECT_EQ(KindOfFdiError(c.error), c.kind) << c.error;
}

}  // namespace
}  // namespace pvx
