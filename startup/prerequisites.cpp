#include "format/str.h"
#include "startup/prerequisites.h"

#include "format/decimal.h"
#include "format/text_util.h"

namespace pvx {

int WindowsVersionClass(uint32_t version) {
  unsigned major = version & 0xFF, minor = (version >> 8) & 0xFF;
  unsigned both = major * 256 + minor;
  if (version & 0x80000000u) {
    if (major < 4) return 0;
    if (both < 4 * 256 + 10) return 1;
    if (both < 4 * 256 + 90) return 2;
    return 3;
  }
  if (major < 5) return 4;
  if (both <= 5 * 256) return 5;
  if (minor == 1) return 6;
  if (major < 6) return 7;
  return 8;
}

bool VersionClassRefused(int versionClass, int32_t mask) {
  return ((static_cast<uint32_t>(mask) & 0xFFFFu) >> versionClass) & 1u;
}

double BestDotNetVersion(const std::vector<Str>& subkeyNames) {
  double best = 0;
  for (const Str& name : subkeyNames) {
    if (name.empty() || (name[0] != 'v' && name[0] != 'V') ||
        name.find('.') == Str::npos)
      continue;
    double value = DecimalValue(name.substr(1));
    if (value > best) best = value;
  }
  return best;
}

bool DotNetCheckFails(bool anyLaterVersion, double installed, double required) {
  return anyLaterVersion ? installed < required : installed != required;
}

bool TitleQualifies(const Str& title, const Str& part) {
  Str upper = AsciiUpper(title);
  return !upper.empty() && upper.find(AsciiUpper(part)) != Str::npos &&
         upper.find("PARVOLEX") == Str::npos;
}

bool ProgramNameMatches(const Str& programPath, const Str& name) {
  return AsciiUpper(FileNamePart(programPath)) == AsciiUpper(name);
}

}  // namespace pvx
