// Registry access shared by the script's RegistryVariables, the folder
// macros and the system actions.
#pragma once
#include <windows.h>

#include <cstdint>
#include "format/str.h"

namespace pvx {

// "Software\Microsoft\Windows\CurrentVersion", which several lookups
// begin with (key names ignore case).
extern const char kWindowsKey[];

// Windows 95, 98 and Me, whose version word has the top bit set.
bool Is9xFamily();

// The key that lists the installed fonts (under HKLM): Windows 9x keeps it
// beside the shell's keys, NT under "Windows NT". The installation writes
// there and the uninstaller removes what it wrote.
Str FontsKey();

// A registry key that closes itself.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  bool OpenForReading(HKEY root, const Str& path);
  void Close();
  HKEY Get() const { return key_; }
  HKEY* Receive() {
    Close();
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

// The predefined key whose handle value is 0x80000000 + code (0 classes
// root, 1 current user, 2 local machine, 3 users, 5 current config); a
// negative or absurd code gives no key.
HKEY RootKey(int32_t code);

// A value as text: REG_SZ as stored, REG_EXPAND_SZ with environment
// variables expanded, REG_DWORD in signed decimal, REG_DWORD_BIG_ENDIAN
// "0", everything else (and a missing key or value) empty.
Str ReadRegistryText(int32_t rootCode, const Str& keyPath,
                             const Str& valueName);

}  // namespace pvx
