#include "startup/signature_win.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include "startup/install_log_win.h"
#include "startup/system_dll_win.h"

namespace pvx {

bool SignedDigestChanged(const Str& path) {
  // Loaded when needed, by full path: an unsigned setup never loads it.
  typedef LONG(WINAPI * VerifyFn)(HWND, GUID*, void*);
  HMODULE wintrust = LoadSystemLibrary("wintrust.dll");
  auto verify = wintrust ? reinterpret_cast<VerifyFn>(reinterpret_cast<void*>(
                               GetProcAddress(wintrust, "WinVerifyTrust")))
                         : nullptr;
  WCHAR wide[MAX_PATH + 1];
  uint32_t result = kFailedWithoutCode;
  if (verify && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH + 1)) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    // Nothing is fetched from the network: a setup started offline must
    // not wait for a certificate server.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    result = static_cast<uint32_t>(verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  }
  LogResult(result, "Signature of the setup checked");
  // TRUST_E_BAD_DIGEST: the file's hash differs from the signed one;
  // CRYPT_E_HASH_VALUE: the same found inside the signature's message.
  return result == 0x80096010u || result == 0x80091007u;
}

}  // namespace pvx
