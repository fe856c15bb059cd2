// Finding and describing top-level windows.
#include "robot.h"

#include <psapi.h>

#include <map>

namespace robot {

// Threads that let a message time out recently: sending them more only
// adds up timeouts (a dump of a hung window would take minutes), so for a
// while they are given up on at once.
static std::map<DWORD, DWORD> g_hung;

void forget_hung() { g_hung.clear(); }

bool thread_hung(HWND h) {
    auto it = g_hung.find(GetWindowThreadProcessId(h, nullptr));
    return it != g_hung.end() && GetTickCount() - it->second < 2000;
}

bool send_timeout(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* result, UINT ms) {
    DWORD_PTR r = 0;
    if (result) *result = 0;
    if (thread_hung(h)) return false;
    SetLastError(0);
    LRESULT ok = SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, ms, &r);
    if (!ok && GetLastError() == ERROR_TIMEOUT)
        g_hung[GetWindowThreadProcessId(h, nullptr)] = GetTickCount();
    if (result) *result = r;
    return ok != 0;
}

DWORD_PTR send_or_fail(HWND h, UINT msg, WPARAM wp, LPARAM lp, const char* what) {
    DWORD_PTR r = 0;
    if (!send_timeout(h, msg, wp, lp, &r)) fail(std::string("no answer to ") + what);
    return r;
}

bool post(HWND h, UINT msg, WPARAM wp, LPARAM lp) { return PostMessageW(h, msg, wp, lp) != 0; }

std::string window_text(HWND h) {
    DWORD_PTR len = 0;
    if (!send_timeout(h, WM_GETTEXTLENGTH, 0, 0, &len)) return std::string();
    std::wstring buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!send_timeout(h, WM_GETTEXT, buf.size(), (LPARAM)&buf[0], &got)) return std::string();
    buf.resize(got < buf.size() ? got : 0);
    return utf8(buf.c_str());
}

std::string window_title(HWND h) {
    wchar_t buf[1024];
    buf[0] = 0;
    InternalGetWindowText(h, buf, 1024);
    return utf8(buf);
}

std::string class_name(HWND h) {
    wchar_t buf[256];
    buf[0] = 0;
    GetClassNameW(h, buf, 256);
    return utf8(buf);
}

std::string exe_name(DWORD pid) {
    static std::map<DWORD, std::string> cache;
    auto it = cache.find(pid);
    if (it != cache.end()) return it->second;
    std::string name;
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (p) {
        wchar_t buf[MAX_PATH * 2];
        DWORD n = MAX_PATH * 2;
        if (!QueryFullProcessImageNameW(p, 0, buf, &n)) {
            n = GetModuleFileNameExW(p, nullptr, buf, MAX_PATH * 2);
            buf[n] = 0;
        }
        if (n) {
            std::wstring full(buf);
            size_t slash = full.find_last_of(L"\\/");
            name = utf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
        }
        CloseHandle(p);
    }
    cache[pid] = name;
    return name;
}

bool ieq(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

std::string strip_mnemonic(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            if (i + 1 < s.size() && s[i + 1] == '&') out += '&';
            ++i;
            if (i < s.size() && s[i] != '&') out += s[i];
            continue;
        }
        out += s[i];
    }
    return out;
}

Record window_record(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    Record r("window");
    r.hex("hwnd", (uintptr_t)h)
        .str("title", window_title(h))
        .str("class", class_name(h))
        .str("exe", exe_name(pid))
        .num("pid", pid)
        .num("visible", IsWindowVisible(h) ? 1 : 0)
        .num("enabled", IsWindowEnabled(h) ? 1 : 0)
        .num("x", wr.left)
        .num("y", wr.top)
        .num("w", wr.right - wr.left)
        .num("h", wr.bottom - wr.top)
        .num("cw", cr.right)
        .num("ch", cr.bottom)
        .hex("owner", (uintptr_t)GetWindow(h, GW_OWNER))
        .hex("style", (DWORD)GetWindowLongW(h, GWL_STYLE))
        .hex("exstyle", (DWORD)GetWindowLongW(h, GWL_EXSTYLE));
    return r;
}

RECT client_rect_of(HWND child, HWND top) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, top, (POINT*)&r, 2);
    return r;
}

static BOOL CALLBACK collect(HWND h, LPARAM lp) {
    ((std::vector<HWND>*)lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> descendants(HWND top) {
    std::vector<HWND> out;
    EnumChildWindows(top, collect, (LPARAM)&out);
    return out;
}

WindowFilter window_filter(const Op& op, const Ctx& ctx) {
    WindowFilter f;
    for (auto& a : op.args)
        if (a.first != "timeout" && a.first != "index") f.any = true;
    if ((f.has_title = op.has("title"))) f.title = op.str("title");
    if ((f.has_title_sub = op.has("title~"))) f.title_sub = op.str("title~");
    if ((f.has_cls = op.has("class"))) f.cls = op.str("class");
    if ((f.has_exe = op.has("exe"))) f.exe = op.str("exe");
    f.visible = (int)op.num("visible", -1);
    f.enabled = (int)op.num("enabled", -1);
    f.index = op.num("index", 0);
    if (op.has("hwnd")) f.hwnd = parse_hwnd(op.str("hwnd"));
    const std::string& o = op.str("owner");
    if (o == "none") f.owner = WindowFilter::OWNER_NONE;
    else if (o == "any") f.owner = WindowFilter::OWNER_SOME;
    else if (o == "selected") {
        f.owner = WindowFilter::OWNER_THIS;
        f.owner_hwnd = ctx.sel;
    } else if (!o.empty()) {
        f.owner = WindowFilter::OWNER_THIS;
        f.owner_hwnd = parse_hwnd(o);
    }
    return f;
}

static bool matches(HWND h, const WindowFilter& f) {
    if (f.hwnd && h != f.hwnd) return false;
    if (f.visible >= 0 && (IsWindowVisible(h) ? 1 : 0) != f.visible) return false;
    if (f.enabled >= 0 && (IsWindowEnabled(h) ? 1 : 0) != f.enabled) return false;
    HWND owner = GetWindow(h, GW_OWNER);
    switch (f.owner) {
    case WindowFilter::OWNER_ANY: break;
    case WindowFilter::OWNER_NONE: if (owner) return false; break;
    case WindowFilter::OWNER_SOME: if (!owner) return false; break;
    case WindowFilter::OWNER_THIS: if (owner != f.owner_hwnd) return false; break;
    }
    if (f.has_cls && class_name(h) != f.cls) return false;
    if (f.has_title || f.has_title_sub) {
        std::string t = window_title(h);
        if (f.has_title && t != f.title) return false;
        if (f.has_title_sub && t.find(f.title_sub) == std::string::npos) return false;
    }
    if (f.has_exe) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (!ieq(exe_name(pid), f.exe)) return false;
    }
    return true;
}

std::vector<HWND> find_windows(const WindowFilter& f) {
    std::vector<HWND> all, out;
    EnumWindows(collect, (LPARAM)&all);
    DWORD self = GetCurrentProcessId();
    for (HWND h : all) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == self) continue; // COM and IME helpers of our own
        if (matches(h, f)) out.push_back(h);
    }
    return out;
}

} // namespace robot
