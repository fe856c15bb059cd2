// Cabinet writer and libmspack reader in a round trip: members made from
// the input are written as one cabinet or as a set of parts, read back part
// by part through the reader (signatures kept or stripped, as the package
// keeps them), and every member must come back with its name, attributes,
// time and bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
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
  uint8_t options = in.Byte();
  uint8_t partKiB = in.Byte();
  std::vector<pvx::CabMember> members;
  std::map<std::string, std::string> expected;
  while (!in.empty() && members.size() < 12) {
    pvx::CabMember m;
    // Names as the runtime uses them: file-list indexes and work-folder
    // members, made unique.
    m.name = std::to_string(members.size()) + in.Text().substr(0, 40);
    for (char& c : m.name)
      if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) c = '_';
    size_t length = in.Byte() * 64 + in.Byte();
    std::string content = in.Text();
    while (content.size() < length && !content.empty()) content += content;
    content.resize(content.empty() ? 0 : length);
    m.content = content;
    m.attributes = in.Byte() & 0x27;
    m.dosDate = static_cast<uint16_t>((in.Byte() % 100) << 9 | 1 << 5 | 1);
    m.dosTime = static_cast<uint16_t>(in.Byte() % 24 << 11);
    expected[m.name] = content;
    members.push_back(m);
  }
  if (members.empty()) return 0;

  pvx::CabWriteOptions write;
  write.compression = options & 1 ? pvx::CabCompression::MSZip : pvx::CabCompression::None;
  write.mszipLevel = 1 + (options >> 1) % 9;
  write.threads = 1;
  write.omitSignature = options & 0x80;
  if (options & 0x40) {
    write.partStoredLength = pvx::kCabMinPartStoredLength + 256u * (partKiB % 16);
    write.partName = [](unsigned k) { return "part" + std::to_string(k) + ".cab"; };
  }
  pvx::MemoryCabSink sink;
  pvx::CabWriteSummary summary;
  std::string error = pvx::WriteCabinets(members, write, sink, &summary);
  if (!error.empty()) return 0;  // refused (a part too small for the entries)
  Check(summary.parts == sink.parts.size() && summary.parts >= 1);

  std::vector<pvx::CabPartSource> parts;
  for (unsigned k = 0; k < sink.parts.size(); ++k) {
    const std::string& bytes = sink.parts[k];
    if (write.partStoredLength && k + 1 < sink.parts.size())
      Check(bytes.size() == write.partStoredLength + (write.omitSignature ? 0 : 4));
    pvx::CabPartSource part;
    part.path = pvx::fuzz::WriteScratch("part" + std::to_string(k) + ".cab", bytes.data(), bytes.size());
    part.signatureMissing = write.omitSignature;
    part.storedLength = bytes.size();
    parts.push_back(part);
  }
  std::vector<pvx::CabMemberInfo> listed;
  Check(pvx::ListCabinetSet(parts, listed).empty());
  Check(listed.size() == members.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    Check(listed[i].name == members[i].name);
    Check(listed[i].size == members[i].content->size());
    Check(listed[i].attributes == members[i].attributes);
    Check(listed[i].dosDate == members[i].dosDate && listed[i].dosTime == members[i].dosTime);
  }
  std::map<std::string, std::string> got;
  std::string out = pvx::fuzz::ScratchFolder() + "/member";
  error = pvx::ExtractCabinetSet(parts, [&](const pvx::CabMemberInfo& m) {
    got[m.name] = "";
    return out + std::to_string(got.size());
  });
  Check(error.empty());
  size_t n = 0;
  for (const auto& m : members) {
    (void)m;
    ++n;
  }
  // Members come out in folder order, which is the order written.
  for (size_t i = 0; i < members.size(); ++i)
    Check(ReadFile(out + std::to_string(i + 1)) == *members[i].content);
  Check(n == got.size());
  return 0;
}
