#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tool/builder.h"
#include "tool/commands.h"
#include "tool/progress.h"
#include "tool/winget_manifest.h"

namespace pvx::tool {

int RunBuild(const BuildCommand& command) {
  try {
    LoadOptions lo;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
      char* end = nullptr;
      long long v = std::strtoll(epoch, &end, 10);
      if (!*epoch || *end || v < 0) {
        std::fprintf(stderr, "parvolex: SOURCE_DATE_EPOCH \"%s\" is not a number of seconds\n", epoch);
        return 1;
      }
      lo.sourceDateEpoch = v;
    }
    // The uninstaller lies beside the runtime, like both beside the tool.
    lo.uninstaller = (std::filesystem::path(command.runtime).parent_path() / "uninstall.exe").string();
    if (!command.wingetUrl.empty() && command.wingetDir.empty()) {
      std::fprintf(stderr, "parvolex build: --winget-url needs --winget DIR\n");
      return 2;
    }
    Project project = LoadProject(command.project, lo);
    for (auto& w : project.warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
    // Everything the manifest needs is checked before anything is built.
    if (!command.wingetDir.empty()) {
      std::string problem = !project.product ? "--winget needs a [product] table in the project"
                            : project.volumeSize ? "--winget: winget downloads one file, and package.volume_size "
                                                   "splits the package into several"
                                                 : WingetProblem(*project.product, command.wingetUrl);
      if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", command.project.c_str(), problem.c_str());
        return 1;
      }
    }
    BuildOptions bo;
    bo.runtime = command.runtime;
    bo.output = command.output;
    if (bo.output.empty())
      bo.output = (std::filesystem::path(project.baseDir) /
                   (project.defaultOutput.empty() ? std::string("setup.exe") : project.defaultOutput))
                      .lexically_normal()
                      .string();
    bo.showProgress = ProgressBar::StderrIsTerminal();
    bo.signing = project.signing;
    MergeSigning(bo.signing, command.signing);
    if (command.noSign) bo.signing = SigningOptions();
    if (bo.signing.Enabled()) CheckSigning(bo.signing);
    bo.signingTime = lo.sourceDateEpoch;
    if (!command.wingetDir.empty()) {
      bo.companionPath = (std::filesystem::path(command.wingetDir) / WingetManifestFileName(*project.product)).string();
      bo.companion = [&](const std::string& setup) {
        return WingetInstallerManifest(*project.product, project.codepage, command.wingetUrl, FileSha256(setup));
      };
    }
    BuildResult r = BuildPackage(project, bo);
    for (auto& w : r.warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
    uint64_t total = 0;
    for (auto& v : r.volumes) total += v.dataLength;
    std::printf("wrote %s: %zu files, %zu language(s), %s form, %zu volume(s)%s\n", bo.output.c_str(),
                project.files.size(), project.languages.size(), r.trailer.IsCabinetForm() ? "cabinet" : "stored",
                r.volumes.size(), bo.signing.Enabled() ? ", signed" : "");
    for (size_t i = 1; i < r.volumes.size(); ++i) std::printf("  volume %zu: %s\n", i + 1, r.volumes[i].path.c_str());
    if (!bo.companionPath.empty()) std::printf("wrote %s\n", bo.companionPath.c_str());
    return 0;
  } catch (const ProjectError& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "parvolex build: %s\n", e.what());
  }
  return 1;
}

}  // namespace pvx::tool
