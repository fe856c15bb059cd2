// Project -> setup executable (and continuation volumes).
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/script.h"
#include "format/trailer.h"
#include "tool/project.h"
#include "tool/signing.h"

namespace pvx::tool {

struct BuildOptions {
  std::string output;   // the setup executable
  std::string runtime;  // runtime image that the package is appended to
  bool showProgress = false;
  SigningOptions signing;                // signs the setup executable when enabled
  std::optional<int64_t> signingTime;    // SOURCE_DATE_EPOCH
  // A file that appears together with the setup (the winget manifest):
  // `companion` makes its content from the finished, signed setup file.
  std::string companionPath;
  std::function<std::string(const std::string& setupFile)> companion;
};

struct VolumeFile {
  std::string path;
  uint64_t streamOffset = 0;  // where its data begins in the package data stream
  uint64_t dataLength = 0;    // bytes of package data it holds
};

struct BuildResult {
  PackageTrailer trailer;
  SetupScript script;
  std::vector<VolumeFile> volumes;
  unsigned payloadParts = 0;
  uint64_t payloadLength = 0;
  std::vector<std::string> warnings;
};

// A resource file of the package: WorkDir file `number`.
struct Resource {
  int number;
  std::string content;
};

// The resource files (pictures, licences, readmes) and, per language, the
// numbers of its licence and readme files (-1 when it has none).
struct ResourcePlan {
  std::vector<Resource> files;  // ascending numbers
  std::vector<std::pair<int, int>> languageDocuments;
  std::vector<std::string> warnings;
};
ResourcePlan PlanResources(const Project& project);

// Payload facts the script needs.
struct PayloadFacts {
  unsigned parts = 0;          // cabinet parts (0 = no payload)
  uint64_t partLength = 0;     // stored length of each part but the last
  uint64_t lastPartLength = 0;
};

// The SetupScript of a project, with every derived field filled in unless
// the project set it by number.
SetupScript ComposeScript(const Project& project, const ResourcePlan& resources, const PayloadFacts& payload);

// Field 48: (file sizes + 10,240 per other unit of work) / 1024, rounded to
// nearest, halves to even.
int64_t ProgressMaximum(const SetupScript& script, uint64_t fileBytes);
// The disk space an installation needs, as the built-in folder page text
// ends with it: whole KB (rounded up) below 1 MB, then MB and GB.
std::string DiskSpaceText(uint64_t bytes);

// Builds the package. Throws std::runtime_error (or ProjectError); leaves
// nothing at the output paths on failure.
BuildResult BuildPackage(const Project& project, const BuildOptions& options);

}  // namespace pvx::tool
