#pragma once

namespace pvx {

struct Run;
class InstallUi;

// The whole installation in its fixed order: commands before, files,
// folders, registry, fonts, shortcuts, the uninstall record, INI entries,
// COM registration, commands after; then the clean-up. In silent mode the
// run ends here; otherwise the caller shows the next page.
void RunInstallSequence(Run& run, InstallUi& ui);

}  // namespace pvx
