// Every system library the stubs load at run time, named once. The names
// sit in one string, so that each is stored once for its load and for the
// preloading of RestrictLibrarySearch; the hardening test reads this file
// for the libraries it plants decoys of.
//
// The string holds two runs, each ended by an empty name: first the
// libraries that RestrictLibrarySearch loads by full path at the start
// where the search cannot be restricted (the first two always: the
// system's window code loads them by name), then those that are only ever
// loaded by full path and need no preloading.
#pragma once

namespace pvx {
namespace library {

inline constexpr char kNames[] =
    "uxtheme.dll\0msimg32.dll\0cabinet.dll\0psapi.dll\0winmm.dll\0riched20.dll\0msftedit.dll\0comctl32.dll\0"
    "\0"
    "wintrust.dll\0";

// Where `name` begins in kNames; past the end where it is not there,
// which the checks below turn into a compile error.
constexpr unsigned OffsetOf(const char* name) {
  for (unsigned at = 0; at + 1 < sizeof kNames; ++at) {
    if (at && kNames[at - 1]) continue;  // not the start of a name
    unsigned i = 0;
    while (name[i] && kNames[at + i] == name[i]) ++i;
    if (!name[i] && !kNames[at + i]) return at;
  }
  return sizeof kNames;
}

constexpr const char* kCabinet = kNames + OffsetOf("cabinet.dll");
constexpr const char* kPsapi = kNames + OffsetOf("psapi.dll");
constexpr const char* kWinmm = kNames + OffsetOf("winmm.dll");
constexpr const char* kRichEdit20 = kNames + OffsetOf("riched20.dll");
constexpr const char* kComctl32 = kNames + OffsetOf("comctl32.dll");
constexpr const char* kWintrust = kNames + OffsetOf("wintrust.dll");

static_assert(OffsetOf("cabinet.dll") < sizeof kNames && OffsetOf("psapi.dll") < sizeof kNames &&
                  OffsetOf("winmm.dll") < sizeof kNames && OffsetOf("riched20.dll") < sizeof kNames &&
                  OffsetOf("comctl32.dll") < sizeof kNames && OffsetOf("wintrust.dll") < sizeof kNames,
              "every name used is in kNames");

}  // namespace library
}  // namespace pvx
