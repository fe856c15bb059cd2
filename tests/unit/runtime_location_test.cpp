#include "tool/runtime_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/unit/tool_test_util.h"

namespace pvx::tool {
namespace {

using test::ScratchDir;

// The tool sits at PREFIX/bin/parvolex; `present` names the files that
// exist under PREFIX, `want` the one it must take ("" when none).
TEST(RuntimeLocation, TakesTheFirstPlaceThatHoldsTheRuntime) {
  struct Case {
    const char* what;
    std::vector<std::string> present;
    std::string want;
  } cases[] = {
      {"beside the tool (a build tree)", {"bin/runtime.exe"}, "bin/runtime.exe"},
      {"the installed share folder", {"share/parvolex/runtime.exe"}, "share/parvolex/runtime.exe"},
      {"beside the tool wins over share", {"bin/runtime.exe", "share/parvolex/runtime.exe"}, "bin/runtime.exe"},
      {"a folder of that name is not a runtime", {"bin/runtime.exe/x", "share/parvolex/runtime.exe"},
       "share/parvolex/runtime.exe"},
      {"an uninstaller alone is not a runtime", {"share/parvolex/uninstall.exe"}, ""},
      {"a runtime under another share name", {"share/runtime.exe", "lib/parvolex/runtime.exe"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir prefix;
    prefix.Write("bin/parvolex", "tool");
    for (const std::string& f : c.present) prefix.Write(f, "MZ");
    const std::string tool = prefix / "bin/parvolex";
    if (c.want.empty()) {
      EXPECT_THROW(FindRuntime(tool), std::runtime_error);
    } else {
      EXPECT_EQ(FindRuntime(tool), prefix / c.want);
    }
  }
}

TEST(RuntimeLocation, ErrorNamesEveryPlaceLookedAt) {
  ScratchDir prefix;
  prefix.Write("bin/parvolex", "tool");
  try {
    FindRuntime(prefix / "bin/parvolex");
    FAIL() << "no runtime, yet one was found";
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(prefix / "bin/runtime.exe"), std::string::npos) << message;
    EXPECT_NE(message.find(prefix / "share/parvolex/runtime.exe"), std::string::npos) << message;
    EXPECT_NE(message.find("--runtime"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace pvx::tool
