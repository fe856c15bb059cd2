// robot.exe: inspects and drives the windows of another process for the
// end-to-end tests. Usage: robot.exe OP [key=value ...] [-- OP ...]...
// Every wait is bounded and nothing that may enter a modal loop is sent
// synchronously, so a misbehaving installer fails a test instead of
// hanging it.
#include "robot.h"

#include <shellapi.h>
#include <shlobj.h>
#include <objidl.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace robot {

void fail(const std::string& msg) { throw Failure{3, msg}; }
void usage_error(const std::string& msg) { throw Failure{2, msg}; }

std::string utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += (char)c;
            }
        }
    }
    return out + "\"";
}

Record& Record::num(const char* key, long long v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", v);
    line_ += std::string(" ") + key + "=" + buf;
    return *this;
}

Record& Record::hex(const char* key, unsigned long long v) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llx", v);
    line_ += std::string(" ") + key + "=" + buf;
    return *this;
}

Record& Record::str(const char* key, const std::string& v) {
    line_ += std::string(" ") + key + "=" + quote(v);
    return *this;
}

Record& Record::word(const char* key, const char* v) {
    line_ += std::string(" ") + key + "=" + v;
    return *this;
}

void Record::print() const {
    fwrite(line_.data(), 1, line_.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

bool parse_number(const std::string& s, long long& out) {
    if (s.empty()) return false;
    const char* p = s.c_str();
    bool neg = false;
    if (*p == '-') { neg = true; ++p; }
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) { base = 16; p += 2; }
    if (!*p) return false;
    unsigned long long v = 0;
    for (; *p; ++p) {
        int d;
        if (*p >= '0' && *p <= '9') d = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xffffffffffffULL) return false;
    }
    out = neg ? -(long long)v : (long long)v;
    return true;
}

HWND parse_hwnd(const std::string& s) {
    long long v = 0;
    parse_number(s, v);
    return (HWND)(uintptr_t)v;
}

bool Op::has(const char* key) const {
    for (auto& a : args)
        if (a.first == key) return true;
    return false;
}

const std::string& Op::str(const char* key) const {
    static const std::string empty;
    for (auto& a : args)
        if (a.first == key) return a.second;
    return empty;
}

long long Op::num(const char* key, long long dflt) const {
    long long v;
    if (!has(key)) return dflt;
    if (!parse_number(str(key), v)) usage_error(std::string("bad number for ") + key);
    return v;
}

HWND Ctx::require_window() const {
    if (!sel) usage_error("no window selected (use wait first)");
    if (!IsWindow(sel)) fail("window gone");
    return sel;
}

namespace {

// ---------------------------------------------------------------- ops

void print_windows_wait(Ctx& ctx, const Op& op) {
    WindowFilter f = window_filter(op, ctx);
    DWORD timeout = (DWORD)op.num("timeout", 10000);
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = find_windows(f);
        if ((long long)found.size() > f.index) {
            ctx.sel = found[f.index];
            GetWindowThreadProcessId(ctx.sel, &ctx.sel_pid);
            window_record(ctx.sel).print();
            return;
        }
        if (GetTickCount() - start >= timeout) fail("timeout");
        Sleep(20);
    }
}

void op_gone(Ctx& ctx, const Op& op) {
    WindowFilter f = window_filter(op, ctx);
    DWORD timeout = (DWORD)op.num("timeout", 10000);
    DWORD start = GetTickCount();
    for (;;) {
        bool present;
        if (f.any) present = (long long)find_windows(f).size() > f.index;
        else present = IsWindow(ctx.sel) != 0;
        if (!present) return;
        if (GetTickCount() - start >= timeout) fail("timeout");
        Sleep(20);
    }
}

void op_list(Ctx& ctx, const Op& op) {
    WindowFilter f = window_filter(op, ctx);
    for (HWND h : find_windows(f)) window_record(h).print();
}

void op_dump(Ctx& ctx, const Op&) {
    HWND top = ctx.require_window();
    Record w = window_record(top);
    if (!send_timeout(top, WM_NULL, 0, 0, nullptr, 1000)) w.num("hung", 1);
    add_font(w, top);
    w.print();
    for (HWND c : descendants(top)) control_record(c, top).print();
}

void op_waitctl(Ctx& ctx, const Op& op) {
    HWND top = ctx.require_window();
    ControlFilter f = control_filter(op);
    DWORD timeout = (DWORD)op.num("timeout", 10000);
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(top)) fail("window gone");
        forget_hung();
        std::vector<HWND> found = find_controls(top, f);
        if ((long long)found.size() > f.index) {
            control_record(found[f.index], top).print();
            return;
        }
        if (GetTickCount() - start >= timeout) fail("timeout");
        Sleep(20);
    }
}

void op_focus(Ctx& ctx, const Op&) {
    HWND top = ctx.require_window();
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    HWND f = nullptr;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &gti)) f = gti.hwndFocus;
    Record r("focus");
    r.hex("hwnd", (uintptr_t)f)
        .num("id", f ? (long long)(LONG)GetWindowLongPtrW(f, GWLP_ID) : 0)
        .str("class", f ? class_name(f) : "")
        .str("text", f ? window_text(f) : "")
        .hex("active", (uintptr_t)gti.hwndActive);
    r.print();
}

void op_close(Ctx& ctx, const Op&) {
    if (!post(ctx.require_window(), WM_SYSCOMMAND, SC_CLOSE, 0)) fail("post failed");
}

void op_closemsg(Ctx& ctx, const Op&) {
    if (!post(ctx.require_window(), WM_CLOSE, 0, 0)) fail("post failed");
}

void op_sys(Ctx& ctx, const Op& op) {
    const std::string& c = op.str("cmd");
    WPARAM cmd = c == "minimize" ? SC_MINIMIZE : c == "maximize" ? SC_MAXIMIZE : SC_RESTORE;
    if (!post(ctx.require_window(), WM_SYSCOMMAND, cmd, 0)) fail("post failed");
}

void op_foreground(Ctx&, const Op&) {
    HWND f = GetForegroundWindow();
    Record r("foreground");
    r.hex("hwnd", (uintptr_t)f).str("title", f ? window_title(f) : "");
    r.print();
}

void op_pixel(Ctx& ctx, const Op& op) {
    HWND top = ctx.require_window();
    POINT pt{(LONG)op.num("x", 0), (LONG)op.num("y", 0)};
    ClientToScreen(top, &pt);
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, pt.x, pt.y);
    ReleaseDC(nullptr, dc);
    if (c == CLR_INVALID) fail("pixel unreadable");
    Record r("pixel");
    r.num("x", op.num("x", 0)).num("y", op.num("y", 0))
        .hex("rgb", (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    r.print();
}

bool read_prefix(const std::wstring& path, unsigned char* buf, DWORD n) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    bool ok = ReadFile(f, buf, n, &got, nullptr) && got == n;
    CloseHandle(f);
    return ok;
}

void op_lnk(Ctx&, const Op& op) {
    std::wstring path = wide(op.str("path"));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) fail("no such file");
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool uninit = SUCCEEDED(hr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    std::string err;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                (void**)&link))) {
        err = "no shell link object";
    } else if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        err = "no IPersistFile";
    } else if (FAILED(file->Load(path.c_str(), STGM_READ))) {
        err = "cannot load link";
    } else {
        wchar_t buf[4096];
        auto get = [&](HRESULT r) { return SUCCEEDED(r) ? utf8(buf) : std::string(); };
        Record rec("lnk");
        buf[0] = 0;
        rec.str("target", get(link->GetPath(buf, 4096, nullptr, SLGP_RAWPATH)));
        buf[0] = 0;
        rec.str("args", get(link->GetArguments(buf, 4096)));
        buf[0] = 0;
        rec.str("description", get(link->GetDescription(buf, 4096)));
        buf[0] = 0;
        rec.str("workdir", get(link->GetWorkingDirectory(buf, 4096)));
        int icon = 0;
        buf[0] = 0;
        rec.str("icon", get(link->GetIconLocation(buf, 4096, &icon)));
        int show = 0;
        WORD hotkey = 0;
        link->GetShowCmd(&show);
        link->GetHotkey(&hotkey);
        // Wine's reader turns some show commands into SW_SHOWNORMAL; the
        // fixed header says what the file really holds.
        unsigned char hdr[0x4c];
        if (read_prefix(path, hdr, sizeof hdr) && hdr[0] == 0x4c && !hdr[1] && !hdr[2] && !hdr[3]) {
            icon = (int)(hdr[0x38] | hdr[0x39] << 8 | hdr[0x3a] << 16 | (unsigned)hdr[0x3b] << 24);
            show = (int)(hdr[0x3c] | hdr[0x3d] << 8 | hdr[0x3e] << 16 | (unsigned)hdr[0x3f] << 24);
            hotkey = (WORD)(hdr[0x40] | hdr[0x41] << 8);
        }
        rec.num("iconindex", icon).num("showcmd", show).num("hotkey", hotkey);
        rec.print();
    }
    if (file) file->Release();
    if (link) link->Release();
    if (uninit) CoUninitialize();
    if (!err.empty()) fail(err);
}

void op_sleep(Ctx&, const Op& op) { Sleep((DWORD)op.num("ms", 0)); }

void op_wait_exit(Ctx& ctx, const Op& op) {
    DWORD pid = 0;
    if (op.has("pid")) pid = (DWORD)op.num("pid", 0);
    else pid = ctx.sel_pid; // the window itself may be gone by now
    DWORD timeout = (DWORD)op.num("timeout", 10000);
    HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    Record r("exit");
    r.num("pid", pid);
    if (!p) { // already gone and reaped: nothing more to learn
        r.print();
        return;
    }
    DWORD w = WaitForSingleObject(p, timeout);
    DWORD code = 0;
    bool have = w == WAIT_OBJECT_0 && GetExitCodeProcess(p, &code);
    CloseHandle(p);
    if (w == WAIT_TIMEOUT) fail("timeout");
    if (have) r.num("code", (long long)code);
    r.print();
}

// ---------------------------------------------------------------- table

enum NeedWindow { NO_WINDOW, WINDOW, WINDOW_UNLESS_FILTER, WINDOW_UNLESS_PID };

struct OpDef {
    const char* name;
    const char* keys;     // "name:type ..." types: s i b h o k e(a|b)
    const char* required; // groups separated by spaces, alternatives by '|'
    NeedWindow need;
    void (*run)(Ctx&, const Op&);
};

#define WINDOW_KEYS "title:s title~:s class:s exe:s visible:b enabled:b owner:o hwnd:h index:i"
#define CONTROL_KEYS "caption:s id:i class:s text:s text~:s visible:b enabled:b checked:i index:i"

const OpDef kOps[] = {
    {"wait", WINDOW_KEYS " timeout:i", "", NO_WINDOW, print_windows_wait},
    {"gone", WINDOW_KEYS " timeout:i", "", WINDOW_UNLESS_FILTER, op_gone},
    {"list", WINDOW_KEYS, "", NO_WINDOW, op_list},
    {"dump", "", "", WINDOW, op_dump},
    {"waitctl", CONTROL_KEYS " timeout:i", "", WINDOW, op_waitctl},
    {"msgbox", "timeout:i", "", WINDOW, op_msgbox},
    {"click", "caption:s id:i index:i force:b timeout:i", "caption|id", WINDOW, op_click},
    {"type", "id:i text:s append:b force:b timeout:i", "id text", WINDOW, op_type},
    {"chars", "id:i text:s force:b timeout:i", "text", WINDOW, op_chars},
    {"pick", "id:i index:i text:s part:e(label|check) force:b timeout:i", "id index|text", WINDOW,
     op_pick},
    {"key", "vk:k id:i alt:b", "vk", WINDOW, op_key},
    {"mouse", "x:i y:i id:i button:e(left|right|middle) double:b", "x y", WINDOW, op_mouse},
    {"focus", "", "", WINDOW, op_focus},
    {"close", "", "", WINDOW, op_close},
    {"closemsg", "", "", WINDOW, op_closemsg},
    {"sys", "cmd:e(minimize|restore|maximize)", "cmd", WINDOW, op_sys},
    {"foreground", "", "", NO_WINDOW, op_foreground},
    {"pixel", "x:i y:i", "x y", WINDOW, op_pixel},
    {"lnk", "path:s", "path", NO_WINDOW, op_lnk},
    {"sleep", "ms:i", "ms", NO_WINDOW, op_sleep},
    {"wait-exit", "pid:i timeout:i", "", WINDOW_UNLESS_PID, op_wait_exit},
};

const OpDef* find_op(const std::string& name) {
    for (auto& d : kOps)
        if (name == d.name) return &d;
    return nullptr;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Looks up the type letter (and enum values) of `key` in a key list.
bool key_type(const char* keys, const std::string& key, std::string& type) {
    for (const std::string& k : split(keys, ' ')) {
        size_t colon = k.find(':');
        if (k.substr(0, colon) == key) {
            type = k.substr(colon + 1);
            return true;
        }
    }
    return false;
}

void check_value(const std::string& op, const std::string& key, const std::string& type,
                 const std::string& v) {
    long long n;
    bool ok = true;
    switch (type[0]) {
    case 's': break;
    case 'i': ok = parse_number(v, n); break;
    case 'b': ok = v == "0" || v == "1"; break;
    case 'h': ok = parse_number(v, n); break;
    case 'o': ok = v == "none" || v == "any" || v == "selected" || parse_number(v, n); break;
    case 'k': {
        UINT vk;
        ok = parse_vk(v, vk);
        break;
    }
    case 'e': {
        ok = false;
        for (const std::string& e : split(type.substr(2, type.size() - 3), '|'))
            if (e == v) ok = true;
        break;
    }
    }
    if (!ok) usage_error(op + ": bad value for " + key + ": " + v);
}

// Parses and checks the whole command line before anything runs, so that
// a typo in the fifth operation does not leave the target half-driven.
std::vector<std::pair<const OpDef*, Op>> parse_command_line(const std::vector<std::string>& argv) {
    std::vector<std::pair<const OpDef*, Op>> ops;
    bool have_window = false;
    size_t i = 0;
    while (i < argv.size()) {
        Op op;
        op.name = argv[i++];
        const OpDef* def = find_op(op.name);
        if (!def) usage_error("unknown operation: " + op.name);
        for (; i < argv.size() && argv[i] != "--"; ++i) {
            const std::string& a = argv[i];
            size_t eq = a.find('=');
            if (eq == std::string::npos || eq == 0) usage_error(op.name + ": expected key=value: " + a);
            std::string key = a.substr(0, eq), type;
            if (!key_type(def->keys, key, type)) usage_error(op.name + ": unknown key: " + key);
            if (op.has(key.c_str())) usage_error(op.name + ": repeated key: " + key);
            check_value(op.name, key, type, a.substr(eq + 1));
            op.args.emplace_back(key, a.substr(eq + 1));
        }
        if (i < argv.size()) ++i; // the "--"
        for (const std::string& group : split(def->required, ' ')) {
            bool found = false;
            for (const std::string& alt : split(group, '|'))
                if (op.has(alt.c_str())) found = true;
            if (!found) usage_error(op.name + ": missing " + group);
        }
        bool filtered = false;
        for (auto& a : op.args)
            if (a.first != "timeout" && a.first != "index") filtered = true;
        bool needs = def->need == WINDOW || (def->need == WINDOW_UNLESS_FILTER && !filtered) ||
                     (def->need == WINDOW_UNLESS_PID && !op.has("pid")) ||
                     op.str("owner") == "selected";
        if (needs && !have_window) usage_error(op.name + ": no window selected (use wait first)");
        if (def->run == print_windows_wait) have_window = true;
        ops.emplace_back(def, op);
    }
    if (ops.empty()) usage_error("no operation (see tests/robot/README.md)");
    return ops;
}

} // namespace
} // namespace robot

int main() {
    using namespace robot;
    _setmode(_fileno(stdout), _O_BINARY);
    // Unicode arguments: titles and texts may be non-ASCII.
    int argc = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> argv;
    for (int i = 1; i < argc; ++i) argv.push_back(utf8(wargv[i]));
    LocalFree(wargv);
    try {
        auto ops = parse_command_line(argv);
        Ctx ctx;
        for (auto& op : ops) op.first->run(ctx, op.second);
    } catch (const Failure& f) {
        printf("error: %s\n", f.msg.c_str());
        fflush(stdout);
        return f.code;
    }
    fflush(stdout);
    return 0;
}
