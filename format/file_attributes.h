// The attribute bits a package gives a file: read-only (0x01), hidden
// (0x02), system (0x04) and archive (0x20). A cabinet member carries them
// in its attributes, of which the other bits mean something else to the
// cabinet format (0x40 a UTF-8 name, 0x80 run after extraction) and are
// never passed on to the file.
#pragma once
#include <cstdint>

namespace pvx {

constexpr uint32_t kPackageFileAttributes = 0x27;

}  // namespace pvx
