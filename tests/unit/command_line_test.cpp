#include "core/command_line.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(CommandLineTest, Splitting) {
  struct Case {
    const char* line;
    std::vector<std::string> expected;
  } cases[] = {
      {"setup.exe", {}},
      {"\"C:\\My Files\\setup.exe\" /S", {"/S"}},
      {"setup.exe  /S\t/NC ", {"/S", "/NC"}},
      {"setup.exe \"/P=C:\\Program Files\\Tool\" /L=en", {"/P=C:\\Program Files\\Tool", "/L=en"}},
      {"setup.exe /P=\"C:\\Program Files\"\\Tool", {"/P=C:\\Program Files\\Tool"}},
      {"setup.exe /S \"\" /NC", {"/S"}},  // arguments end at the first empty one
      {"\"unterminated /S", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.line), c.expected) << c.line;
}

TEST(CommandLineTest, Switches) {
  struct Case {
    std::vector<std::string> args;
    bool silent, noCancel, noSide, runTool;
  } cases[] = {
      {{"/S"}, true, false, false, false},
      {{"/s"}, true, false, false, false},
      {{"/Silent"}, false, false, false, false},
      {{"/nc", "/Nr"}, false, true, true, false},
      {{"test"}, false, false, false, true},
      {{"TEST"}, false, false, false, false},
      {{"/S", "test"}, true, false, false, false},
      {{"test", "/S"}, true, false, false, true},
  };
  for (const Case& c : cases) {
    CommandLine line = ParseArguments(c.args);
    EXPECT_EQ(line.silent, c.silent) << c.args[0];
    EXPECT_EQ(line.noCancel, c.noCancel) << c.args[0];
    EXPECT_EQ(line.noSidePicture, c.noSide) << c.args[0];
    EXPECT_EQ(line.runTool, c.runTool) << c.args[0];
  }
}

TEST(CommandLineTest, Values) {
  CommandLine line = ParseArguments({"/p=C:\\Program Files\\Tool", "/g=My Group", "/l=eng"});
  EXPECT_TRUE(line.hasFolder);
  EXPECT_EQ(line.folder, "C:\\Program Files\\Tool");
  EXPECT_TRUE(line.hasGroup);
  EXPECT_EQ(line.group, "My Group");
  EXPECT_EQ(line.language, "eng");

  line = ParseArguments({"/P="});
  EXPECT_TRUE(line.hasFolder);
  EXPECT_EQ(line.folder, "");

  line = ParseArguments({"/L=first", "/L=second", "/P=A", "/P=B"});
  EXPECT_EQ(line.language, "second");
  EXPECT_EQ(line.folder, "B");

  line = ParseArguments({"/Px", "/G"});
  EXPECT_FALSE(line.hasFolder);
  EXPECT_FALSE(line.hasGroup);
}

TEST(CommandLineTest, Log) {
  struct Case {
    std::vector<std::string> args;
    bool log;
    std::string path;
  } cases[] = {
      {{}, false, ""},
      {{"/LOG"}, true, ""},
      {{"/log"}, true, ""},
      {{"/Log=C:\\Logs\\Setup.txt"}, true, "C:\\Logs\\Setup.txt"},  // the value keeps its case
      {{"/LOG="}, true, ""},                                           // the temporary folder, as /LOG
      {{"/LOG=a", "/LOG"}, true, ""},                                  // the last one wins
      {{"/LOG", "/LOG=b"}, true, "b"},
      {{"/LOGFILE"}, false, ""},
      {{"/LO"}, false, ""},
      {{"/LOG:x"}, false, ""},
      {{"LOG"}, false, ""},
      {{"/L=English", "/S"}, false, ""},
  };
  for (const Case& c : cases) {
    CommandLine line = ParseArguments(c.args);
    std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(line.log, c.log) << shown;
    EXPECT_EQ(line.logPath, c.path) << shown;
  }
  // /LOG= does not take /L='s value and the other way round.
  CommandLine line = ParseArguments({"/LOG=x", "/L=German"});
  EXPECT_EQ(line.language, "German");
  EXPECT_EQ(line.logPath, "x");
}

}  // namespace
}  // namespace pvx
