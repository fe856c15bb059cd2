// The Ready page's summary of the user's choices.
#pragma once
#include "format/str.h"

namespace pvx {

// headings: the folder, group and shortcuts headings (language texts 43,
// 44, 45), which carry their own line breaks. group is null when the
// summary has no group section; shortcuts[i] (desktop, Start menu, Quick
// Launch) is null for a kind that is not chosen.
Str ReadySummary(const Str* const headings[3], const Str& folder, const Str* group,
                 const Str* const shortcuts[3]);

}  // namespace pvx
