#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

struct Run;

// Asks for the folder that holds volume `volume`; OK checks that the file
// is there before the dialog closes. The volume path (in/out) takes the
// folder typed, even when the check fails.
void ShowNewDiskDialog(Run& run, HWND owner, int volume, Str& volumePath);

}  // namespace pvx
