// The three commands of parvolex, callable from tests.
#pragma once
#include <string>

#include "tool/signing.h"

namespace pvx::tool {

struct BuildCommand {
  std::string project;
  std::string output;   // default: the project's package.output, else setup.exe beside the project
  std::string runtime;
  SigningOptions signing;  // over the project's [signing]
  bool noSign = false;
  std::string wingetDir;  // --winget: writes the installer manifest there
  std::string wingetUrl;  // --winget-url: where the setup will be downloaded from
};

// Each returns the process exit code and reports on stdout/stderr.
int RunBuild(const BuildCommand& command);
int RunInspect(const std::string& setup, bool json);
int RunExtract(const std::string& setup, const std::string& dir);
int RunVerify(const std::string& setup, const std::string& caFile);

}  // namespace pvx::tool
