// Reads Microsoft Cabinet files and sets through libmspack, from real files
// or from byte ranges inside another file (a package keeps its cabinets back
// to back without their "MSCF" signatures).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pvx {

// storedLength value: the part runs as far as its header's cbCabinet says,
// bounded by the end of the file.
constexpr uint64_t kCabPartToEnd = ~0ull;

struct CabPartSource {
  std::string path;
  uint64_t offset = 0;
  uint64_t storedLength = kCabPartToEnd;  // bytes of the part in the file
  bool signatureMissing = false;          // read as "MSCF" + those bytes
};

struct CabMemberInfo {
  std::string name;  // as stored: backslash separators, ISO-8859-1 unless attributes & 0x80
  uint32_t size = 0;
  uint16_t dosDate = 0, dosTime = 0;
  uint16_t attributes = 0;
  std::string compression;  // "none", "MSZIP", "Quantum:<window>", "LZX:<window>"
  unsigned folder = 0;      // folder index within the set
  uint32_t folderOffset = 0;
};

// Lists the members of a cabinet or of a whole set given part by part in
// order. Returns an empty string on success, else why the set was refused.
std::string ListCabinetSet(const std::vector<CabPartSource>& parts, std::vector<CabMemberInfo>& out);

// Extracts members in folder order. destinationFor returns the output path
// or an empty string to skip the member; nothing else is ever opened for
// writing. A member that fails is removed again and reported, the others are
// still extracted; the result lists every failure.
std::string ExtractCabinetSet(const std::vector<CabPartSource>& parts,
                              const std::function<std::string(const CabMemberInfo&)>& destinationFor);

// Follows szCabinetNext from firstPath through files in the same folder
// (names compared case-insensitively when no exact match exists). Names
// holding path separators are refused.
std::string CabinetChainFromFile(const std::string& firstPath, std::vector<CabPartSource>& parts);

// Member name -> relative path with '/' separators. False for empty names,
// absolute paths, drive letters or other ':' uses, ".." components, and
// names that end in a separator. "." and empty components are dropped.
bool SafeRelativeMemberPath(const std::string& name, std::string& out);

// The member name in UTF-8 (names without the 0x80 attribute are ISO-8859-1).
std::string MemberNameUtf8(const CabMemberInfo& member);

}  // namespace pvx
