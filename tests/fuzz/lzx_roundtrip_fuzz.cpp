// LZX encoder and libmspack's decoder in a round trip: members made from the
// input (stretched by repetition so that matches reach across frames and far
// back) are written as an LZX cabinet with any window, solid or not, with
// call translation forced on, off or left to the encoder, with one parse
// or two per frame, and every member
// must come back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_util.h"
#include "tool/cab_reader.h"
#include "tool/cab_writer.h"

using pvx::fuzz::Check;
using pvx::fuzz::ReadFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pvx::fuzz::Input in(data, size);
  const uint8_t options = in.Byte();
  std::vector<pvx::CabMember> members;
  while (!in.empty() && members.size() < 6) {
    pvx::CabMember m;
    m.name = std::to_string(members.size());
    // Up to 255 copies of the text, each copy with one byte changed, so
    // that the repeats are long but not exact.
    const unsigned copies = in.Byte();
    const std::string text = in.Text();
    std::string content;
    for (unsigned k = 0; k < copies && !text.empty(); ++k) {
      content += text;
      content[content.size() - 1 - (k * 7) % text.size()] ^= char(k);
    }
    if (content.empty()) content = text;
    m.content = content;
    members.push_back(m);
  }
  if (members.empty()) return 0;

  pvx::CabWriteOptions write;
  write.compression = pvx::CabCompression::Lzx;
  write.lzxWindowBits = 15 + (options & 7) % 7;
  write.lzxCallTranslation = static_cast<pvx::LzxCallTranslation>((options >> 3) % 3);
  write.solid = !(options & 0x20);
  write.lzxPasses = options & 0x40 ? 2 : 1;
  write.threads = 1;
  std::string cab;
  Check(pvx::WriteSingleCabinetToMemory(members, write, cab).empty());

  std::vector<pvx::CabPartSource> parts(1);
  parts[0].path = pvx::fuzz::WriteScratch("lzx.cab", cab.data(), cab.size());
  std::vector<pvx::CabMemberInfo> listed;
  Check(pvx::ListCabinetSet(parts, listed).empty());
  Check(listed.size() == members.size());
  std::string out = pvx::fuzz::ScratchFolder() + "/member";
  size_t extracted = 0;
  Check(pvx::ExtractCabinetSet(parts, [&](const pvx::CabMemberInfo&) {
          return out + std::to_string(++extracted);
        }).empty());
  for (size_t i = 0; i < members.size(); ++i) Check(ReadFile(out + std::to_string(i + 1)) == *members[i].content);
  return 0;
}
