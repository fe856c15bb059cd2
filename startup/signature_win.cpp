#include "startup/signature_win.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include "core/app_window_win.h"
#include "core/dialog_win.h"
#include "core/install_log_win.h"
#include "core/system_dll_win.h"
#include "core/system_libraries.h"

namespace pvx {
namespace {

// Hashing a large package takes seconds: a notice appears when the check
// has run this long, and not at all for the quick check of a small one.
const DWORD kNoticeDelayMs = 500;

struct TrustCheck {
  WCHAR path[MAX_PATH + 1];
  uint32_t result;
};

DWORD WINAPI CheckTrust(void* argument) {
  auto& check = *static_cast<TrustCheck*>(argument);
  // Loaded when needed, by full path: an unsigned setup never loads it.
  typedef LONG(WINAPI * VerifyFn)(HWND, GUID*, void*);
  HMODULE wintrust = LoadSystemLibrary(library::kWintrust);
  auto verify = wintrust ? LookUp<VerifyFn>(wintrust, "WinVerifyTrust")
                         : nullptr;
  if (!verify) return 0;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = check.path;
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
  check.result = static_cast<uint32_t>(verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  return 0;
}

HWND ShowNotice(HWND owner) {
  HWND notice = CreateFrameWindow(kStaticClass, "Verifying the setup files...",
                                  WS_POPUP | WS_BORDER | SS_CENTER | SS_CENTERIMAGE, 0, 280, 56,
                                  owner, nullptr, nullptr);
  SendMessageA(notice, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(kUiFace, -13)), FALSE);
  ShowWindow(notice, SW_SHOWNORMAL);
  UpdateWindow(notice);
  return notice;
}

}  // namespace

bool SignedDigestChanged(const Str& path, HWND owner, bool quiet) {
  TrustCheck check;
  check.result = kFailedWithoutCode;
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, check.path, MAX_PATH + 1)) {
    // The hash runs on its own thread so that this one keeps answering
    // the system and can show that the setup is working.
    DWORD id;
    HANDLE worker = CreateThread(nullptr, 0, CheckTrust, &check, 0, &id);
    if (!worker) {
      CheckTrust(&check);
    } else {
      DWORD started = GetTickCount();
      HWND notice = nullptr;
      while (WaitForSingleObject(worker, 50) == WAIT_TIMEOUT) {
        if (!notice && !quiet && GetTickCount() - started >= kNoticeDelayMs) notice = ShowNotice(owner);
        ProcessPendingMessages();
      }
      CloseHandle(worker);
      if (notice) DestroyWindow(notice);
    }
  }
  uint32_t result = check.result;
  LogResult(result, "Signature of the setup checked");
  // TRUST_E_BAD_DIGEST: the file's hash differs from the signed one;
  // CRYPT_E_HASH_VALUE: the same found inside the signature's message.
  return result == 0x80096010u || result == 0x80091007u;
}

}  // namespace pvx
