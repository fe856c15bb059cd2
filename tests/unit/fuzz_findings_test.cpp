// Inputs the fuzz targets (tests/fuzz) found faults with, kept as plain
// unit tests so that the fault stays mended in every build.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace pvx::tool
