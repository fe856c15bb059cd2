// Driving controls. Everything that may run application code which opens
// a modal loop (a click, a key, a selection notification) is posted; only
// WM_SETTEXT and queries are sent, and then with a timeout.
#include "robot.h"

#include <cstring>

namespace robot {

// The control named by caption= / id= (and index=) of `op`: visible, and
// enabled together with its ancestors unless force=1. With timeout=MS it
// waits that long for such a control to appear or become enabled.
HWND locate_control(HWND top, const Op& op, bool need_enabled) {
    ControlFilter f;
    if ((f.has_caption = op.has("caption"))) f.caption = op.str("caption");
    if ((f.has_id = op.has("id"))) f.id = op.num("id", 0);
    f.visible = 1;
    f.index = op.num("index", 0);
    if (op.name == "pick") f.index = 0; // index= is the item there
    bool force = op.flag("force");
    DWORD timeout = (DWORD)op.num("timeout", 0);
    DWORD start = GetTickCount();
    for (;;) {
        if (!IsWindow(top)) fail("window gone");
        forget_hung();
        std::vector<HWND> found = find_controls(top, f);
        bool have = (long long)found.size() > f.index;
        HWND c = have ? found[f.index] : nullptr;
        if (c && (!need_enabled || force || effectively_enabled(c, top))) return c;
        if (GetTickCount() - start >= timeout) fail(c ? "disabled" : "no control");
        Sleep(20);
    }
}

void op_click(Ctx& ctx, const Op& op) {
    HWND c = locate_control(ctx.require_window(), op, true);
    if (!post(c, BM_CLICK, 0, 0)) fail("post failed");
}

void op_type(Ctx& ctx, const Op& op) {
    HWND c = locate_control(ctx.require_window(), op, true);
    if (!op.flag("force") && ieq(class_name(c), "Edit") &&
        (GetWindowLongW(c, GWL_STYLE) & ES_READONLY))
        fail("read-only");
    std::string text = op.str("text");
    if (op.flag("append")) text = window_text(c) + text;
    std::wstring w = wide(text);
    DWORD_PTR r = 0;
    // Sent, so that EN_CHANGE has run in the owner when we return.
    SetLastError(0);
    if (!SendMessageTimeoutW(c, WM_SETTEXT, 0, (LPARAM)w.c_str(), SMTO_ABORTIFHUNG, 5000, &r))
        fail(GetLastError() == ERROR_TIMEOUT ? "timeout" : "no answer to WM_SETTEXT");
    if (!r) fail("text rejected");
}

static HWND focus_of(HWND top) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &gti) && gti.hwndFocus)
        return gti.hwndFocus;
    return top;
}

void op_chars(Ctx& ctx, const Op& op) {
    HWND top = ctx.require_window();
    HWND c = op.has("id") ? locate_control(top, op, true) : focus_of(top);
    for (wchar_t ch : wide(op.str("text")))
        if (!post(c, WM_CHAR, ch, 1)) fail("post failed");
}

static void click_at(HWND target, POINT pt, const std::string& button, bool dbl) {
    UINT down = WM_LBUTTONDOWN, up = WM_LBUTTONUP, dblclk = WM_LBUTTONDBLCLK;
    WPARAM mk = MK_LBUTTON;
    if (button == "right") {
        down = WM_RBUTTONDOWN, up = WM_RBUTTONUP, dblclk = WM_RBUTTONDBLCLK, mk = MK_RBUTTON;
    } else if (button == "middle") {
        down = WM_MBUTTONDOWN, up = WM_MBUTTONUP, dblclk = WM_MBUTTONDBLCLK, mk = MK_MBUTTON;
    }
    // Handlers that ask GetMessagePos() or GetCursorPos() see the same point.
    POINT screen = pt;
    ClientToScreen(target, &screen);
    SetCursorPos(screen.x, screen.y);
    LPARAM lp = MAKELPARAM(pt.x, pt.y);
    bool ok = post(target, WM_MOUSEMOVE, 0, lp) && post(target, down, mk, lp) && post(target, up, 0, lp);
    if (ok && dbl) {
        bool dblclks = GetClassLongW(target, GCL_STYLE) & CS_DBLCLKS;
        ok = post(target, dblclks ? dblclk : down, mk, lp) && post(target, up, 0, lp);
    }
    if (!ok) fail("post failed");
}

// The window a real click at `pt` (client coordinates of `parent`) lands
// on: the topmost visible, enabled child under the point, recursively.
// Group boxes are transparent to the mouse.
static HWND child_at(HWND parent, POINT& pt) {
    for (;;) {
        HWND hit = nullptr;
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            LONG style = GetWindowLongW(c, GWL_STYLE);
            if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
            if (GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_TRANSPARENT) continue;
            if (ieq(class_name(c), "Button") && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            RECT r = client_rect_of(c, parent);
            if (PtInRect(&r, pt)) {
                hit = c;
                break;
            }
        }
        if (!hit) return parent;
        MapWindowPoints(parent, hit, &pt, 1);
        parent = hit;
    }
}

void op_mouse(Ctx& ctx, const Op& op) {
    HWND top = ctx.require_window();
    POINT pt{(LONG)op.num("x", 0), (LONG)op.num("y", 0)};
    HWND target = op.has("id") ? locate_control(top, op, true) : child_at(top, pt);
    std::string button = op.has("button") ? op.str("button") : "left";
    click_at(target, pt, button, op.flag("double"));
}

// Client rectangle of an item part (LVIR_*) of a list view.
static RECT item_rect(HWND c, Remote& mem, long long index, int part) {
    RECT r{};
    r.left = part;
    mem.write(0, &r, sizeof r);
    if (!send_or_fail(c, LVM_GETITEMRECT, (WPARAM)index, mem.at(0), "LVM_GETITEMRECT"))
        fail("no item rectangle");
    mem.read(0, &r, sizeof r);
    return r;
}

static void pick_listview(HWND c, long long index, bool check_box) {
    long long n = (LONG)send_or_fail(c, LVM_GETITEMCOUNT, 0, 0, "LVM_GETITEMCOUNT");
    if (index >= n || index < -1) fail("no item");
    Remote mem(c, 64);
    POINT pt{};
    RECT r{};
    if (index >= 0) {
        LVITEMW it{};
        it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        mem.write(0, &it, sizeof it);
        send_or_fail(c, LVM_SETITEMSTATE, (WPARAM)-1, mem.at(0), "LVM_SETITEMSTATE");
        it.state = LVIS_SELECTED | LVIS_FOCUSED;
        mem.write(0, &it, sizeof it);
        send_or_fail(c, LVM_SETITEMSTATE, (WPARAM)index, mem.at(0), "LVM_SETITEMSTATE");
        send_or_fail(c, LVM_ENSUREVISIBLE, (WPARAM)index, FALSE, "LVM_ENSUREVISIBLE");
        r = item_rect(c, mem, index, LVIR_LABEL);
        pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        if (check_box) {
            // The state image sits between the item's left edge and its icon.
            RECT bounds = item_rect(c, mem, index, LVIR_BOUNDS);
            RECT icon = item_rect(c, mem, index, LVIR_ICON);
            if (!(send_or_fail(c, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0, "LVM_GETEXTENDEDLISTVIEWSTYLE") &
                  LVS_EX_CHECKBOXES) || icon.left - bounds.left < 4)
                fail("no check boxes");
            pt.x = (bounds.left + icon.left) / 2;
        }
    } else {
        LONG below = 0;
        if (n > 0) {
            below = item_rect(c, mem, n - 1, LVIR_BOUNDS).bottom;
        } else {
            HWND header = (HWND)send_or_fail(c, LVM_GETHEADER, 0, 0, "LVM_GETHEADER");
            if (header && IsWindowVisible(header)) below = client_rect_of(header, c).bottom;
        }
        pt = {4, below + 4};
        RECT client;
        GetClientRect(c, &client);
        if (!PtInRect(&client, pt)) fail("no empty space below the items");
    }
    click_at(c, pt, "left", false);
}

void op_pick(Ctx& ctx, const Op& op) {
    HWND c = locate_control(ctx.require_window(), op, true);
    std::string cls = class_name(c);
    bool combo = ieq(cls, "ComboBox"), listbox = ieq(cls, "ListBox");
    bool listview = ieq(cls, "SysListView32");
    if (!combo && !listbox && !listview) fail("not a list: " + cls);
    long long index = op.num("index", -2);
    if (op.has("text")) {
        std::vector<std::string> items = listview ? listview_items(c) : combo_items(c, listbox);
        index = -2;
        for (size_t i = 0; i < items.size() && index < 0; ++i)
            if (items[i] == op.str("text")) index = (long long)i;
        if (index < 0) fail("no item");
    }
    bool check_box = op.str("part") == "check";
    if (check_box && !listview) fail("part=check needs a list view");
    if (listview) return pick_listview(c, index, check_box);
    long long n = (LONG)send_or_fail(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, "GETCOUNT");
    if (index < 0 || index >= n) fail("no item");
    WORD id = (WORD)GetDlgCtrlID(c);
    HWND parent = GetParent(c);
    if (combo) {
        send_or_fail(c, CB_SETCURSEL, (WPARAM)index, 0, "CB_SETCURSEL");
        if (!post(parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)c)) fail("post failed");
        return;
    }
    LONG style = GetWindowLongW(c, GWL_STYLE);
    if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
        send_or_fail(c, LB_SETSEL, FALSE, -1, "LB_SETSEL");
        send_or_fail(c, LB_SETSEL, TRUE, (LPARAM)index, "LB_SETSEL");
    } else {
        send_or_fail(c, LB_SETCURSEL, (WPARAM)index, 0, "LB_SETCURSEL");
    }
    if ((style & LBS_NOTIFY) && !post(parent, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), (LPARAM)c))
        fail("post failed");
}

bool parse_vk(const std::string& s, UINT& vk) {
    static const struct {
        const char* name;
        UINT vk;
    } names[] = {
        {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"TAB", VK_TAB},
        {"SPACE", VK_SPACE},   {"BACK", VK_BACK},    {"DELETE", VK_DELETE}, {"INSERT", VK_INSERT},
        {"UP", VK_UP},         {"DOWN", VK_DOWN},    {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
        {"HOME", VK_HOME},     {"END", VK_END},      {"PRIOR", VK_PRIOR},   {"NEXT", VK_NEXT},
        {"F1", VK_F1},         {"F2", VK_F2},        {"F3", VK_F3},         {"F4", VK_F4},
        {"F5", VK_F5},         {"F6", VK_F6},        {"F7", VK_F7},         {"F8", VK_F8},
        {"F9", VK_F9},         {"F10", VK_F10},      {"F11", VK_F11},       {"F12", VK_F12},
    };
    for (auto& n : names)
        if (ieq(s, n.name)) {
            vk = n.vk;
            return true;
        }
    if (s.size() == 1 && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= '0' && s[0] <= '9'))) {
        vk = (UINT)s[0];
        return true;
    }
    long long v;
    if (parse_number(s, v) && v > 0 && v < 255) {
        vk = (UINT)v;
        return true;
    }
    return false;
}

void op_key(Ctx& ctx, const Op& op) {
    HWND top = ctx.require_window();
    UINT vk = 0;
    parse_vk(op.str("vk"), vk);
    HWND c = op.has("id") ? locate_control(top, op, false) : focus_of(top);
    bool alt = op.flag("alt");
    LPARAM lp = 1 | (MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16);
    switch (vk) {
    case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
        lp |= 1 << 24;
    }
    if (alt) lp |= 1 << 29;
    LPARAM up = lp | (1u << 30) | (1u << 31);
    if (!post(c, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp) || !post(c, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up))
        fail("post failed");
}

} // namespace robot
