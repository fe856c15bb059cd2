// The libmspack-backed reader over untrusted cabinets, as parvolex inspect
// and extract meet them inside packages: with and without the signature,
// as one cabinet and cut into a two-part set. Damaged input must be
// refused or read partially, never crash or hang, and extraction must
// write only where the callback says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_util.h"
#include "tool/cab_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = pvx::fuzz::WriteScratch("input.cab", data, size);
  std::string out = pvx::fuzz::ScratchFolder() + "/out";
  for (int mode = 0; mode < 3; ++mode) {
    std::vector<pvx::CabPartSource> parts(1);
    parts[0].path = path;
    if (mode == 1) {
      // As a package keeps it: the signature is not stored.
      parts[0].offset = 4;
      parts[0].storedLength = size >= 4 ? size - 4 : 0;
      parts[0].signatureMissing = true;
    } else if (mode == 2) {
      // The same bytes as a two-part set, cut in the middle.
      parts[0].storedLength = size / 2;
      parts.push_back(pvx::CabPartSource{path, size / 2, size - size / 2, true});
    }
    std::vector<pvx::CabMemberInfo> members;
    if (!pvx::ListCabinetSet(parts, members).empty()) continue;
    for (const pvx::CabMemberInfo& m : members) {
      std::string relative;
      (void)pvx::SafeRelativeMemberPath(m.name, relative);
      (void)pvx::MemberNameUtf8(m);
    }
    unsigned n = 0;
    (void)pvx::ExtractCabinetSet(parts, [&](const pvx::CabMemberInfo&) {
      return ++n % 3 ? out : std::string();
    });
  }
  return 0;
}
