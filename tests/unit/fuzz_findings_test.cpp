// Inputs the fuzz targets (tests/fuzz) found faults with, kept as plain
// unit tests so that the fault stays mended in every build.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tool/package_file.h"
#include "tool/project.h"

namespace pvx::tool {
namespace {

TEST(FuzzFindings, SizeWithMoreDigitsThan64BitsIsAProjectError) {
  for (const char* size : {"68888888888888888888888888888888888884K", "18446744073709551616",
                           "99999999999999999999"}) {
    std::string text = std::string("[setup]\ntitle = \"T\"\n[package]\nform = \"stored\"\nvolume_size = \"") +
                       size + "\"\n";
    try {
      LoadProjectText(text, "fuzz.toml", ".");
      ADD_FAILURE() << size << " was accepted";
    } catch (const ProjectError& e) {
      EXPECT_NE(std::string(e.what()).find("size too large"), std::string::npos) << e.what();
    }
  }
}

int OpenFiles() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST(FuzzFindings, AFileThatIsNoPackageIsClosedAgain) {
  char path[] = "/tmp/pvxfinding-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "no package at all", 17), 17);
  close(fd);
  int before = OpenFiles();
  for (int i = 0; i < 50; ++i)
    EXPECT_THROW(PackageFile package(path), PackageError);
  EXPECT_EQ(OpenFiles(), before);
  unlink(path);
}

}  // namespace
}  // namespace pvx::tool
