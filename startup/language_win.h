#pragma once
#include "core/run_win.h"

namespace pvx {

// Picks the run's language from "/L=", the language dialog or the
// default, applies its texts and file numbers, and ends the run when the
// dialog is cancelled. The dialog appears in silent mode too: the run
// cannot guess a language the package offers several of.
void ChooseLanguage(Run& run);

}  // namespace pvx
