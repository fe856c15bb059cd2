// Shared declarations of the test robot (see README.md for the commands).
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef _WIN32_IE
#define _WIN32_IE 0x0600
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace robot {

// Thrown to end the run; main() prints "error: msg" and exits with code.
struct Failure {
    int code;
    std::string msg;
};
[[noreturn]] void fail(const std::string& msg);        // exit code 3
[[noreturn]] void usage_error(const std::string& msg); // exit code 2

std::string utf8(const std::wstring& w);
std::wstring wide(const std::string& s);
std::string quote(const std::string& s);

// One output line: "kind key=value ...".
class Record {
public:
    explicit Record(const char* kind) : line_(kind) {}
    Record& num(const char* key, long long v);
    Record& hex(const char* key, unsigned long long v);
    Record& str(const char* key, const std::string& v); // always quoted
    Record& word(const char* key, const char* v);       // bare enum word
    void print() const;

private:
    std::string line_;
};

// One operation of the command line with its key=value arguments.
struct Op {
    std::string name;
    std::vector<std::pair<std::string, std::string>> args;

    bool has(const char* key) const;
    const std::string& str(const char* key) const; // "" when absent
    long long num(const char* key, long long dflt) const;
    bool flag(const char* key) const { return num(key, 0) != 0; }
};
bool parse_number(const std::string& s, long long& out);
HWND parse_hwnd(const std::string& s);

// State shared by the operations of one invocation.
struct Ctx {
    HWND sel = nullptr;
    DWORD sel_pid = 0;           // its process, still known once it is gone
    HWND require_window() const; // the selected window, or fail if it died
};

// Window helpers (windows.cpp).
std::string window_text(HWND h);    // WM_GETTEXT with a timeout (controls)
std::string window_title(HWND h);   // caption without sending messages
std::string class_name(HWND h);
std::string exe_name(DWORD pid);    // image file name, "" if unknown
bool ieq(const std::string& a, const std::string& b); // ASCII case-insensitive
std::string strip_mnemonic(const std::string& s);    // "&Next" -> "Next"
Record window_record(HWND h);
RECT client_rect_of(HWND child, HWND top); // child's window rect in top's client coords
std::vector<HWND> descendants(HWND top);
bool thread_hung(HWND h); // it let a message time out just now
void forget_hung();       // each pass of a polling loop tries again
bool send_timeout(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* result,
                  UINT ms = 3000);
DWORD_PTR send_or_fail(HWND h, UINT msg, WPARAM wp, LPARAM lp, const char* what);
bool post(HWND h, UINT msg, WPARAM wp, LPARAM lp);

struct WindowFilter {
    bool any = false; // at least one filter key was given
    std::string title, title_sub, cls, exe;
    bool has_title = false, has_title_sub = false, has_cls = false, has_exe = false;
    int visible = -1, enabled = -1;
    enum { OWNER_ANY, OWNER_NONE, OWNER_SOME, OWNER_THIS } owner = OWNER_ANY;
    HWND owner_hwnd = nullptr;
    HWND hwnd = nullptr;
    long long index = 0;
};
WindowFilter window_filter(const Op& op, const Ctx& ctx);
std::vector<HWND> find_windows(const WindowFilter& f);

// Cross-process memory block in the process owning a window (remote.cpp).
class Remote {
public:
    Remote(HWND owner, size_t size);
    ~Remote();
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    LPARAM at(size_t off = 0) const { return (LPARAM)((char*)base_ + off); }
    void write(size_t off, const void* data, size_t n);
    void read(size_t off, void* data, size_t n) const;
    HANDLE process() const { return proc_; }
    void leak() { base_ = nullptr; } // a thread of the target may still use it

private:
    HANDLE proc_ = nullptr;
    void* base_ = nullptr;
};
// The font a window draws with (WM_GETFONT): read, none of its own (the
// system font), or unknown (its process did not answer in time).
enum FontState { FONT_READ, FONT_NONE, FONT_UNKNOWN };
FontState window_font(HWND h, LOGFONTW& lf);

// Controls (controls.cpp).
Record control_record(HWND c, HWND top);
std::vector<std::string> combo_items(HWND c, bool listbox);
std::vector<std::string> listview_items(HWND c);
void add_font(Record& r, HWND h);
struct ControlFilter {
    bool any = false;
    bool has_caption = false, has_id = false, has_cls = false, has_text = false,
         has_text_sub = false;
    std::string caption, cls, text, text_sub;
    long long id = 0;
    int visible = -1, enabled = -1, checked = -1;
    long long index = 0;
};
ControlFilter control_filter(const Op& op);
std::vector<HWND> find_controls(HWND top, const ControlFilter& f);
bool effectively_enabled(HWND c, HWND top);

// Message boxes (msgbox.cpp).
void op_msgbox(Ctx& ctx, const Op& op);

// Input (input.cpp).
void op_click(Ctx& ctx, const Op& op);
void op_type(Ctx& ctx, const Op& op);
void op_chars(Ctx& ctx, const Op& op);
void op_pick(Ctx& ctx, const Op& op);
void op_key(Ctx& ctx, const Op& op);
void op_mouse(Ctx& ctx, const Op& op);
bool parse_vk(const std::string& s, UINT& vk);
HWND locate_control(HWND top, const Op& op, bool need_enabled);

} // namespace robot
