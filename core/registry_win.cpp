#include "format/str.h"
#include "core/registry_win.h"

#include <vector>

#include "format/decimal.h"

namespace pvx {

bool Is9xFamily() { return (GetVersion() & 0x80000000u) != 0; }

Str FontsKey() {
  return Is9xFamily() ? kWindowsKey + Str("\\Fonts") : Str("Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
}

const char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

bool RegKey::OpenForReading(HKEY root, const Str& path) {
  Close();
  return root && RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

void RegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

HKEY RootKey(int32_t code) {
  // Only the predefined keys that exist: 0x80000000 .. 0x80000006.
  if (code < 0 || code > 6) return nullptr;
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u + static_cast<uint32_t>(code)));
}

Str ReadRegistryText(int32_t rootCode, const Str& keyPath,
                             const Str& valueName) {
  RegKey key;
  if (!key.OpenForReading(RootKey(rootCode), keyPath)) return Str();
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return Str();
  Str data(size + 2, '\0');
  if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return Str();
  switch (type) {
    case REG_SZ:
      return Str(data.c_str());
    case REG_EXPAND_SZ: {
      DWORD need = ExpandEnvironmentStringsA(data.data(), nullptr, 0);
      Str expanded(need + 1, '\0');
      ExpandEnvironmentStringsA(data.data(), expanded.data(), need + 1);
      return Str(expanded.c_str());
    }
    case REG_DWORD:
      if (size < 4) return Str();
      return DecimalText(static_cast<int32_t>(*reinterpret_cast<const DWORD*>(data.data())));
    case REG_DWORD_BIG_ENDIAN:
      return "0";
    default:
      return Str();
  }
}

}  // namespace pvx
