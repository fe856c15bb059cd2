// Memory in, and calls into, the process that owns a window. Common
// controls take pointers the system does not marshal (LVM_*), and under
// Wine GDI handles mean nothing outside their process, so a font handle
// from WM_GETFONT has to be looked at from inside its owner.
#include "robot.h"

#include <psapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

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

// Wine carries out VirtualAllocEx, VirtualFreeEx and CreateRemoteThread on
// another process by handing the request to a thread of that process and
// waiting, without a bound, until it has been done there; a target that is
// busy, stuck or on its way out may never do it. Such calls therefore run
// on a thread of ours, and the robot waits for it a bounded time; a call
// left behind owns its copy of the process handle and frees itself when it
// finally returns. A process that let one call time out gets no more for
// the rest of the invocation, and one in which a thread of ours did not
// run in time gets no more threads (its loader may be busy), so a dump
// stays quick.
struct CrossCall {
    enum Kind { ALLOC, FREE, THREAD } kind;
    HANDLE proc = nullptr; // our own duplicate
    void* addr = nullptr;  // FREE: the block; THREAD: the start address
    SIZE_T size = 0;       // ALLOC
    void* param = nullptr; // THREAD
    void* result = nullptr;  // ALLOC: the block; THREAD: the thread handle
    LONG refs = 2;
};

static void release(CrossCall* c) {
    if (InterlockedDecrement(&c->refs)) return;
    if (c->kind == CrossCall::THREAD && c->result) CloseHandle((HANDLE)c->result);
    CloseHandle(c->proc);
    delete c;
}

static DWORD WINAPI cross_call_thread(void* p) {
    CrossCall* c = (CrossCall*)p;
    switch (c->kind) {
    case CrossCall::ALLOC:
        c->result = VirtualAllocEx(c->proc, nullptr, c->size, MEM_COMMIT | MEM_RESERVE,
                                   PAGE_EXECUTE_READWRITE);
        break;
    case CrossCall::FREE:
        c->result = VirtualFreeEx(c->proc, c->addr, 0, MEM_RELEASE) ? c->addr : nullptr;
        break;
    case CrossCall::THREAD:
        c->result = CreateRemoteThread(c->proc, nullptr, 0, (LPTHREAD_START_ROUTINE)c->addr,
                                       c->param, 0, nullptr);
        break;
    }
    release(c);
    return 0;
}

static std::set<DWORD> g_unreachable; // processes that let a cross call time out
static std::set<DWORD> g_no_threads;   // processes whose threads did not run in time

static bool unreachable(HANDLE proc) { return g_unreachable.count(GetProcessId(proc)) != 0; }

static void give_up_on(HANDLE proc) { g_unreachable.insert(GetProcessId(proc)); }

// Runs the call within kCrossCallMs; false when it failed or did not end in
// time. For THREAD, *result receives a thread handle of the caller's own.
const DWORD kCrossCallMs = 3000;
static bool cross_call(HANDLE proc, CrossCall::Kind kind, void* addr, SIZE_T size, void* param,
                       void** result) {
    if (unreachable(proc)) return false;
    CrossCall* c = new CrossCall;
    c->kind = kind;
    c->addr = addr;
    c->size = size;
    c->param = param;
    if (!DuplicateHandle(GetCurrentProcess(), proc, GetCurrentProcess(), &c->proc, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        delete c;
        return false;
    }
    HANDLE t = CreateThread(nullptr, 0, cross_call_thread, c, 0, nullptr);
    if (!t) {
        CloseHandle(c->proc);
        delete c;
        return false;
    }
    DWORD w = WaitForSingleObject(t, kCrossCallMs);
    CloseHandle(t);
    bool done = w == WAIT_OBJECT_0;
    if (done && result) {
        *result = c->result;
        if (kind == CrossCall::THREAD && c->result &&
            !DuplicateHandle(GetCurrentProcess(), (HANDLE)c->result, GetCurrentProcess(),
                             (HANDLE*)result, 0, FALSE, DUPLICATE_SAME_ACCESS))
            *result = nullptr;
    }
    if (!done) give_up_on(proc);
    bool ok = done && c->result;
    release(c);
    return ok;
}

Remote::Remote(HWND owner, size_t size) {
    proc_ = open_owner(owner);
    if (!cross_call(proc_, CrossCall::ALLOC, nullptr, size, nullptr, &base_)) {
        base_ = nullptr;
        CloseHandle(proc_);
        fail("cannot allocate memory in target process");
    }
}

Remote::~Remote() {
    if (base_) cross_call(proc_, CrossCall::FREE, base_, 0, nullptr, nullptr);
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

// Address of one of our own imports, translated into the target's address
// space by way of the base of the module that implements it there.
static void* target_function(HANDLE proc, const wchar_t* dll, const char* func) {
    void* fn = (void*)GetProcAddress(GetModuleHandleW(dll), func);
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

// Block of a call made by a thread of the target: fn(args[0..nargs-1]),
// the system's calling convention, result stored after the arguments.
// Data follows at kData.
struct CallBlock {
    void* fn;
    DWORD nargs;
    DWORD_PTR args[8];
    DWORD_PTR result;
};
#ifdef _WIN64
static_assert(offsetof(CallBlock, args) == 16 && offsetof(CallBlock, result) == 80, "stub offsets");
const size_t kStub = 0, kBlock = 128, kData = 256;

// Position-independent x86-64; its thread parameter (rcx) is the block.
// Every call passes eight arguments: a callee takes what it declares.
static const unsigned char kCallStub[] = {
    0x53,                         // push rbx
    0x48, 0x83, 0xEC, 0x50,       // sub rsp, 0x50         ; shadow space, args 5-8
    0x48, 0x89, 0xCB,             // mov rbx, rcx          ; block
    0x48, 0x8B, 0x43, 0x30,       // mov rax, [rbx+0x30]   ; args[4]
    0x48, 0x89, 0x44, 0x24, 0x20, // mov [rsp+0x20], rax
    0x48, 0x8B, 0x43, 0x38,       // mov rax, [rbx+0x38]   ; args[5]
    0x48, 0x89, 0x44, 0x24, 0x28, // mov [rsp+0x28], rax
    0x48, 0x8B, 0x43, 0x40,       // mov rax, [rbx+0x40]   ; args[6]
    0x48, 0x89, 0x44, 0x24, 0x30, // mov [rsp+0x30], rax
    0x48, 0x8B, 0x43, 0x48,       // mov rax, [rbx+0x48]   ; args[7]
    0x48, 0x89, 0x44, 0x24, 0x38, // mov [rsp+0x38], rax
    0x48, 0x8B, 0x4B, 0x10,       // mov rcx, [rbx+0x10]   ; args[0]
    0x48, 0x8B, 0x53, 0x18,       // mov rdx, [rbx+0x18]   ; args[1]
    0x4C, 0x8B, 0x43, 0x20,       // mov r8, [rbx+0x20]    ; args[2]
    0x4C, 0x8B, 0x4B, 0x28,       // mov r9, [rbx+0x28]    ; args[3]
    0xFF, 0x13,                   // call [rbx]
    0x48, 0x89, 0x43, 0x50,       // mov [rbx+0x50], rax   ; result
    0x48, 0x83, 0xC4, 0x50,       // add rsp, 0x50
    0x5B,                         // pop rbx
    0xC3,                         // ret
};
#else
static_assert(offsetof(CallBlock, args) == 8 && offsetof(CallBlock, result) == 40, "stub offsets");
const size_t kStub = 0, kBlock = 64, kData = 128;

// Position-independent x86; its thread parameter is the block.
static const unsigned char kCallStub[] = {
    0x53,                   //       push ebx
    0x8B, 0x5C, 0x24, 0x08, //       mov ebx, [esp+8]      ; block
    0x8B, 0x4B, 0x04,       //       mov ecx, [ebx+4]      ; nargs
    0x85, 0xC9,             // next: test ecx, ecx
    0x74, 0x07,             //       jz call
    0xFF, 0x74, 0x8B, 0x04, //       push [ebx+ecx*4+4]    ; args[ecx-1]
    0x49,                   //       dec ecx
    0xEB, 0xF5,             //       jmp next
    0xFF, 0x13,             // call: call [ebx]
    0x89, 0x43, 0x28,       //       mov [ebx+40], eax     ; result
    0x5B,                   //       pop ebx
    0xC2, 0x04, 0x00,       //       ret 4
};
#endif

static bool run_in_target(Remote& mem, CallBlock& b) {
    DWORD pid = GetProcessId(mem.process());
    if (g_no_threads.count(pid)) return false;
    mem.write(kBlock, &b, sizeof b);
    HANDLE t = nullptr;
    if (!cross_call(mem.process(), CrossCall::THREAD, (void*)mem.at(kStub), 0, (void*)mem.at(kBlock),
                    (void**)&t))
        return false;
    DWORD w = WaitForSingleObject(t, 3000);
    CloseHandle(t);
    if (w != WAIT_OBJECT_0) {
        // The thread may still use the block; and a target whose threads
        // cannot start in time (its loader busy, the process stuck) would
        // cost the same wait for every control.
        mem.leak();
        g_no_threads.insert(pid);
        return false;
    }
    mem.read(kBlock, &b, sizeof b);
    return true;
}

// WM_GETFONT and GetObjectW, both done by a thread of the window's own
// process: Wine answers WM_GETFONT from another process with 0, and its
// GDI handles mean nothing outside their process.
static bool font_from_inside(HWND h, LOGFONTW& lf, bool& none) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (g_no_threads.count(pid) || g_unreachable.count(pid)) return false;
    Remote mem(h, kData + sizeof(LOGFONTW) + 16);
    void* send = target_function(mem.process(), L"user32.dll", "SendMessageTimeoutW");
    void* get = target_function(mem.process(), L"gdi32.dll", "GetObjectW");
    if (!send || !get) return false;
    mem.write(kStub, kCallStub, sizeof kCallStub);
    FlushInstructionCache(mem.process(), (void*)mem.at(kStub), sizeof kCallStub);
    DWORD_PTR zero = 0;
    mem.write(kData, &zero, sizeof zero);
    CallBlock b{};
    b.fn = send;
    b.nargs = 7;
    DWORD_PTR args[] = {(DWORD_PTR)h, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 2000, (DWORD_PTR)mem.at(kData)};
    memcpy(b.args, args, sizeof args);
    if (!run_in_target(mem, b) || !b.result) return false;
    DWORD_PTR font = 0;
    mem.read(kData, &font, sizeof font);
    if (getenv("ROBOT_DEBUG")) fprintf(stderr, "font of %p: %p\n", (void*)h, (void*)font);
    if (!font) {
        none = true;
        return false;
    }
    // Most controls of a dialog share one font: ask about each handle once.
    static std::map<std::pair<DWORD, DWORD_PTR>, LOGFONTW> known;
    auto it = known.find({pid, font});
    if (it != known.end()) {
        lf = it->second;
        return true;
    }
    b = CallBlock{};
    b.fn = get;
    b.nargs = 3;
    DWORD_PTR args2[] = {font, sizeof(LOGFONTW), (DWORD_PTR)mem.at(kData + 16)};
    memcpy(b.args, args2, sizeof args2);
    if (!run_in_target(mem, b) || b.result != sizeof(LOGFONTW)) return false;
    mem.read(kData + 16, &lf, sizeof lf);
    known[{pid, font}] = lf;
    return true;
}

FontState window_font(HWND h, LOGFONTW& lf) {
    if (thread_hung(h)) return FONT_UNKNOWN;
    bool none = false;
    try {
        if (font_from_inside(h, lf, none)) return FONT_READ;
    } catch (const Failure&) {
        // The font is a detail: a process we may not enter still gets dumped.
    }
    if (none) return FONT_NONE;
    if (!under_wine()) {
        // On Windows the handle from WM_GETFONT is valid in every process.
        DWORD_PTR font = 0;
        if (!send_timeout(h, WM_GETFONT, 0, 0, &font)) return FONT_UNKNOWN;
        if (!font) return FONT_NONE;
        if (GetObjectW((HFONT)font, sizeof lf, &lf) == sizeof lf) return FONT_READ;
    }
    return FONT_UNKNOWN;
}

} // namespace robot
