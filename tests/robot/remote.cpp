// Memory in, and calls into, the process that owns a window. Common
// controls take pointers the system does not marshal (LVM_*), and under
// Wine GDI handles mean nothing outside their process, so a font handle
// from WM_GETFONT has to be looked at from inside its owner.
#include "robot.h"

#include <psapi.h>

#include <cstddef>
#include <cstring>
#include <map>

namespace robot {

static HANDLE open_owner(HWND owner) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                               PROCESS_QUERY_INFORMATION | PROCESS_CREATE_THREAD | SYNCHRONIZE,
                           FALSE, pid);
    if (!p) fail("cannot open target process");
    return p;
}

Remote::Remote(HWND owner, size_t size) {
    proc_ = open_owner(owner);
    base_ = VirtualAllocEx(proc_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (!base_) {
        CloseHandle(proc_);
        fail("cannot allocate memory in target process");
    }
}

Remote::~Remote() {
    if (base_) VirtualFreeEx(proc_, base_, 0, MEM_RELEASE);
    CloseHandle(proc_);
}

void Remote::write(size_t off, const void* data, size_t n) {
    SIZE_T done = 0;
    if (!WriteProcessMemory(proc_, (char*)base_ + off, data, n, &done) || done != n)
        fail("cannot write target memory");
}

void Remote::read(size_t off, void* data, size_t n) const {
    SIZE_T done = 0;
    if (!ReadProcessMemory(proc_, (char*)base_ + off, data, n, &done) || done != n)
        fail("cannot read target memory");
}

static bool under_wine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Address of our own GetObjectW, translated into the target's address space
// by way of the base of the module that implements it there.
static void* target_get_object(HANDLE proc) {
    void* fn = (void*)GetProcAddress(GetModuleHandleW(L"gdi32.dll"), "GetObjectW");
    HMODULE mine = nullptr;
    if (!fn || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   (LPCWSTR)fn, &mine))
        return nullptr;
    wchar_t name[MAX_PATH];
    if (!GetModuleBaseNameW(GetCurrentProcess(), mine, name, MAX_PATH)) return nullptr;
    HMODULE mods[512];
    DWORD needed = 0;
    if (!EnumProcessModules(proc, mods, sizeof mods, &needed)) return nullptr;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        wchar_t other[MAX_PATH];
        if (GetModuleBaseNameW(proc, mods[i], other, MAX_PATH) && !lstrcmpiW(other, name))
            return (char*)mods[i] + ((char*)fn - (char*)mine);
    }
    return nullptr;
}

// Runs GetObjectW(font, sizeof(LOGFONTW), &block.lf) on a thread of the
// target. The stub is position independent; its parameter is the block.
static bool font_from_inside(HWND owner, HFONT font, LOGFONTW& lf) {
    static const unsigned char stub[] = {
        0x8B, 0x44, 0x24, 0x04, // mov eax, [esp+4]     ; block
        0x8D, 0x48, 0x0C,       // lea ecx, [eax+12]    ; &block.lf
        0x51,                   // push ecx
        0x6A, sizeof(LOGFONTW), // push sizeof(LOGFONTW)
        0xFF, 0x30,             // push [eax]           ; block.font
        0xFF, 0x50, 0x04,       // call [eax+4]         ; block.fn (stdcall)
        0xC2, 0x04, 0x00,       // ret 4                ; exit code = result
    };
    static_assert(sizeof(void*) == 4, "the stub is 32-bit code");
    struct Block {
        HFONT font;
        void* fn;
        DWORD pad;
        LOGFONTW lf;
    } block{};
    static_assert(offsetof(Block, lf) == 12, "stub offsets");
    Remote mem(owner, 64 + sizeof(Block));
    block.font = font;
    block.fn = target_get_object(mem.process());
    if (!block.fn) return false;
    mem.write(0, stub, sizeof stub);
    mem.write(64, &block, sizeof block);
    FlushInstructionCache(mem.process(), (void*)mem.at(0), sizeof stub);
    HANDLE t = CreateRemoteThread(mem.process(), nullptr, 0, (LPTHREAD_START_ROUTINE)mem.at(0),
                                  (void*)mem.at(64), 0, nullptr);
    if (!t) return false;
    DWORD w = WaitForSingleObject(t, 3000);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    if (w != WAIT_OBJECT_0) {
        // The stub may still run: leave the block allocated. Leak it.
        fail("font query in target process timed out");
    }
    if (code != sizeof(LOGFONTW)) return false;
    mem.read(64, &block, sizeof block);
    lf = block.lf;
    return true;
}

bool remote_font(HWND owner, HFONT font, LOGFONTW& lf) {
    if (!font) return false;
    // Stock objects have the same handles in every process.
    static const int stock[] = {OEM_FIXED_FONT,  ANSI_FIXED_FONT,   ANSI_VAR_FONT,  SYSTEM_FONT,
                                DEVICE_DEFAULT_FONT, SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT};
    for (int s : stock)
        if (GetStockObject(s) == font) return GetObjectW(font, sizeof lf, &lf) == sizeof lf;
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    static std::map<std::pair<DWORD, HFONT>, std::pair<bool, LOGFONTW>> cache;
    auto key = std::make_pair(pid, font);
    auto it = cache.find(key);
    if (it != cache.end()) {
        lf = it->second.second;
        return it->second.first;
    }
    bool ok = font_from_inside(owner, font, lf);
    // On Windows font handles are valid everywhere; under Wine a handle of
    // another process may name an unrelated object of ours.
    if (!ok && !under_wine() && GetObjectType(font) == OBJ_FONT)
        ok = GetObjectW(font, sizeof lf, &lf) == sizeof lf;
    cache[key] = std::make_pair(ok, lf);
    return ok;
}

} // namespace robot
