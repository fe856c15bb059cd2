#pragma once

namespace pvx {

struct Run;

// Builds the wizard window and shows its first page; in silent mode the
// window stays hidden and the installation runs at once.
void StartWizard(Run& run);

}  // namespace pvx
