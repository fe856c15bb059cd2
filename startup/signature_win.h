// The Authenticode check of a signed setup's own file.
#pragma once
#include <windows.h>

#include "format/str.h"

namespace pvx {

// Whether the file's bytes changed after it was signed: its digest no
// longer matches the one in its signature. Every other result (a root the
// system does not trust, an expired certificate, no signature, no
// wintrust.dll) is no: judging the publisher is the system's and the
// user's business. The result is logged. The check pumps messages for
// `owner`'s thread; unless `quiet`, a notice shows when it takes long.
bool SignedDigestChanged(const Str& path, HWND owner, bool quiet);

}  // namespace pvx
