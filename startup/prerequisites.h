// The decisions behind the prerequisite checks, apart from the system
// calls that feed them.
#pragma once
#include <cstdint>
#include "format/str.h"
#include <vector>

namespace pvx {

// The Windows version as a class 0..8, from GetVersion's result:
// 0 Win32s, 1 95, 2 98, 3 Me, 4 NT 4 and earlier, 5 2000, 6 XP (every
// NT version above 5.0 with minor version 1), 7 Server 2003, 8 Vista and
// later.
int WindowsVersionClass(uint32_t version);

// Whether the class's bit is set in the low 16 bits of the mask.
bool VersionClassRefused(int versionClass, int32_t mask);

// The highest version among the subkey names of the .NET policy key that
// begin with "v" or "V" and contain a ".", read without their first
// character; 0 when none qualifies.
double BestDotNetVersion(const std::vector<Str>& subkeyNames);

bool DotNetCheckFails(bool anyLaterVersion, double installed, double required);

// A window qualifies for "part of a title" when its title is not empty,
// contains the part and does not contain "PARVOLEX" (ASCII case ignored).
bool TitleQualifies(const Str& title, const Str& part);

// Whether the file-name part of a process's program path equals the name
// (ASCII case ignored).
bool ProgramNameMatches(const Str& programPath, const Str& name);

// The rights a running copy is opened with to end it: terminate, query
// (its exit code) and synchronize, no more. PROCESS_ALL_ACCESS as today's
// headers define it holds bits that Windows before Vista does not know,
// and those systems refuse the whole request.
constexpr uint32_t kEndProcessAccess = 0x0001 | 0x0400 | 0x00100000;

}  // namespace pvx
