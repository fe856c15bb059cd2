// Describing and finding the controls of a window.
#include "robot.h"

#include <richedit.h>

namespace robot {

static bool starts_with_ci(const std::string& s, const char* prefix) {
    std::string p(prefix);
    return s.size() >= p.size() && ieq(s.substr(0, p.size()), p);
}

static std::string join(const std::vector<std::string>& v, const char* sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + v[i];
    return out;
}

static std::string index_list(const std::vector<int>& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? "," : "") + std::to_string(v[i]);
    return out;
}

static DWORD_PTR query(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR r = 0;
    send_timeout(h, msg, wp, lp, &r);
    return r;
}

static unsigned rgb_of(COLORREF c) {
    if (c & 0xff000000) return c; // CLR_NONE, CLR_DEFAULT: kept as they are
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

void add_font(Record& r, HWND h) {
    LOGFONTW lf;
    FontState state = window_font(h, lf);
    if (state == FONT_UNKNOWN) r.word("font", "unknown");
    if (state != FONT_READ) return;
    r.str("font", utf8(lf.lfFaceName)).num("fontheight", lf.lfHeight).num("fontweight", lf.lfWeight);
    if (lf.lfItalic) r.num("fontitalic", 1);
    if (lf.lfUnderline) r.num("fontunderline", 1);
}

// Strings of a combo box or list box; the system marshals these messages.
std::vector<std::string> combo_items(HWND c, bool listbox) {
    std::vector<std::string> out;
    LONG style = GetWindowLongW(c, GWL_STYLE);
    if (listbox ? (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) && !(style & LBS_HASSTRINGS)
                : (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) && !(style & CBS_HASSTRINGS))
        return out;
    UINT count_msg = listbox ? LB_GETCOUNT : CB_GETCOUNT;
    UINT len_msg = listbox ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    UINT text_msg = listbox ? LB_GETTEXT : CB_GETLBTEXT;
    DWORD_PTR n = 0;
    if (!send_timeout(c, count_msg, 0, 0, &n) || (LONG_PTR)n < 0) return out;
    for (DWORD_PTR i = 0; i < n && i < 100000; ++i) {
        DWORD_PTR len = 0;
        if (!send_timeout(c, len_msg, i, 0, &len) || (LONG_PTR)len < 0) len = 0;
        std::wstring buf(len + 1, L'\0');
        DWORD_PTR got = 0;
        if (len && send_timeout(c, text_msg, i, (LPARAM)&buf[0], &got) && (LONG_PTR)got >= 0)
            buf.resize(got);
        else
            buf.clear();
        out.push_back(utf8(buf.c_str()));
    }
    return out;
}

std::vector<std::string> listview_items(HWND c) {
    std::vector<std::string> out;
    DWORD_PTR n = query(c, LVM_GETITEMCOUNT);
    if (!n || (LONG_PTR)n < 0) return out;
    const int cap = 1024;
    Remote mem(c, sizeof(LVITEMW) + cap * sizeof(wchar_t));
    for (DWORD_PTR i = 0; i < n && i < 100000; ++i) {
        LVITEMW it{};
        it.iSubItem = 0;
        it.pszText = (LPWSTR)mem.at(sizeof it);
        it.cchTextMax = cap;
        mem.write(0, &it, sizeof it);
        DWORD_PTR len = 0;
        std::wstring text;
        if (send_timeout(c, LVM_GETITEMTEXTW, i, mem.at(0), &len) && len > 0) {
            if (len >= (DWORD_PTR)cap) len = cap - 1;
            text.resize(len);
            mem.read(sizeof it, &text[0], len * sizeof(wchar_t));
        }
        out.push_back(utf8(text.c_str()));
    }
    return out;
}

static std::vector<std::string> listview_columns(HWND c) {
    std::vector<std::string> out;
    HWND header = (HWND)query(c, LVM_GETHEADER);
    if (!header) return out;
    DWORD_PTR n = query(header, HDM_GETITEMCOUNT);
    if ((LONG_PTR)n <= 0) return out;
    const int cap = 512;
    Remote mem(c, sizeof(LVCOLUMNW) + cap * sizeof(wchar_t));
    for (DWORD_PTR i = 0; i < n && i < 256; ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = (LPWSTR)mem.at(sizeof col);
        col.cchTextMax = cap;
        mem.write(0, &col, sizeof col);
        wchar_t zero = 0;
        mem.write(sizeof col, &zero, sizeof zero);
        std::wstring text(cap, L'\0');
        DWORD_PTR ok = 0;
        if (send_timeout(c, LVM_GETCOLUMNW, i, mem.at(0), &ok) && ok)
            mem.read(sizeof col, &text[0], cap * sizeof(wchar_t));
        text[cap - 1] = 0;
        out.push_back(utf8(text.c_str()));
    }
    return out;
}

static void add_listview(Record& r, HWND c) {
    std::vector<std::string> items = listview_items(c);
    r.str("items", join(items, "\n"));
    std::vector<int> sel, checked;
    bool checkboxes = query(c, LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_CHECKBOXES;
    for (size_t i = 0; i < items.size(); ++i) {
        DWORD_PTR st = query(c, LVM_GETITEMSTATE, i, LVIS_SELECTED | LVIS_STATEIMAGEMASK);
        if (st & LVIS_SELECTED) sel.push_back((int)i);
        if (((st & LVIS_STATEIMAGEMASK) >> 12) == 2) checked.push_back((int)i);
    }
    r.str("selected", index_list(sel));
    if (checkboxes) r.str("checkeditems", index_list(checked));
    r.hex("textcolor", rgb_of((COLORREF)query(c, LVM_GETTEXTCOLOR)));
    r.hex("bkcolor", rgb_of((COLORREF)query(c, LVM_GETBKCOLOR)));
    std::vector<std::string> cols = listview_columns(c);
    if (!cols.empty()) r.str("columns", join(cols, "\n"));
}

Record control_record(HWND c, HWND top) {
    RECT rc = client_rect_of(c, top);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    std::string cls = class_name(c);
    Record r("control");
    r.hex("hwnd", (uintptr_t)c)
        .num("id", (LONG)GetWindowLongPtrW(c, GWLP_ID))
        .hex("parent", (uintptr_t)GetAncestor(c, GA_PARENT))
        .str("class", cls)
        .str("text", window_text(c))
        .num("x", rc.left)
        .num("y", rc.top)
        .num("w", rc.right - rc.left)
        .num("h", rc.bottom - rc.top)
        .num("visible", IsWindowVisible(c) ? 1 : 0)
        .num("enabled", IsWindowEnabled(c) ? 1 : 0)
        .hex("style", (DWORD)style)
        .hex("exstyle", (DWORD)GetWindowLongW(c, GWL_EXSTYLE));
    if (ieq(cls, "Button")) {
        switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON:
        case BS_3STATE: case BS_AUTO3STATE: case BS_AUTORADIOBUTTON:
            r.num("checked", (long long)query(c, BM_GETCHECK));
            break;
        case BS_DEFPUSHBUTTON:
            r.num("default", 1);
            break;
        }
    } else if (ieq(cls, "ComboBox")) {
        r.str("items", join(combo_items(c, false), "\n"));
        r.num("selected", (LONG)query(c, CB_GETCURSEL));
    } else if (ieq(cls, "ListBox")) {
        std::vector<std::string> items = combo_items(c, true);
        r.str("items", join(items, "\n"));
        std::vector<int> sel;
        for (size_t i = 0; i < items.size(); ++i)
            if ((LONG)query(c, LB_GETSEL, i) > 0) sel.push_back((int)i);
        r.str("selected", index_list(sel));
    } else if (ieq(cls, "SysListView32")) {
        add_listview(r, c);
    } else if (ieq(cls, "msctls_progress32")) {
        r.num("pos", (LONG)query(c, PBM_GETPOS))
            .num("min", (LONG)query(c, PBM_GETRANGE, TRUE))
            .num("max", (LONG)query(c, PBM_GETRANGE, FALSE));
    } else if (starts_with_ci(cls, "RichEdit") || (ieq(cls, "Edit") && (style & ES_MULTILINE))) {
        r.num("lines", (LONG)query(c, EM_GETLINECOUNT));
    } else if (ieq(cls, "Static")) {
        switch (style & SS_TYPEMASK) {
        case SS_ICON: r.num("image", query(c, STM_GETIMAGE, IMAGE_ICON) ? 1 : 0); break;
        case SS_BITMAP: r.num("image", query(c, STM_GETIMAGE, IMAGE_BITMAP) ? 1 : 0); break;
        case SS_ENHMETAFILE: r.num("image", query(c, STM_GETIMAGE, IMAGE_ENHMETAFILE) ? 1 : 0); break;
        }
    }
    add_font(r, c);
    return r;
}

ControlFilter control_filter(const Op& op) {
    ControlFilter f;
    for (auto& a : op.args)
        if (a.first != "timeout" && a.first != "index") f.any = true;
    if ((f.has_caption = op.has("caption"))) f.caption = op.str("caption");
    if ((f.has_id = op.has("id"))) f.id = op.num("id", 0);
    if ((f.has_cls = op.has("class"))) f.cls = op.str("class");
    if ((f.has_text = op.has("text"))) f.text = op.str("text");
    if ((f.has_text_sub = op.has("text~"))) f.text_sub = op.str("text~");
    f.visible = (int)op.num("visible", -1);
    f.enabled = (int)op.num("enabled", -1);
    f.checked = (int)op.num("checked", -1);
    f.index = op.num("index", 0);
    return f;
}

static bool id_matches(HWND c, long long want) {
    LONG id = (LONG)GetWindowLongPtrW(c, GWLP_ID);
    // Dialog templates store 16-bit ids: 0xFFFF and -1 name the same control.
    return id == want || (want >= -1 && want <= 0xFFFF && (id & 0xFFFF) == (want & 0xFFFF) &&
                          (id == -1 || id == 0xFFFF));
}

std::vector<HWND> find_controls(HWND top, const ControlFilter& f) {
    std::vector<HWND> out;
    for (HWND c : descendants(top)) {
        if (f.has_id && !id_matches(c, f.id)) continue;
        if (f.visible >= 0 && (IsWindowVisible(c) ? 1 : 0) != f.visible) continue;
        if (f.enabled >= 0 && (IsWindowEnabled(c) ? 1 : 0) != f.enabled) continue;
        std::string cls = class_name(c);
        if (f.has_cls && !ieq(cls, f.cls)) continue;
        if (f.checked >= 0 && !(ieq(cls, "Button") && (long long)query(c, BM_GETCHECK) == f.checked)) continue;
        if (f.has_caption || f.has_text || f.has_text_sub) {
            std::string text = window_text(c);
            if (f.has_caption && !(ieq(cls, "Button") && strip_mnemonic(text) == f.caption)) continue;
            if (f.has_text && text != f.text) continue;
            if (f.has_text_sub && text.find(f.text_sub) == std::string::npos) continue;
        }
        out.push_back(c);
    }
    return out;
}

bool effectively_enabled(HWND c, HWND top) {
    for (HWND h = c; h; h = GetAncestor(h, GA_PARENT)) {
        if (!IsWindowEnabled(h)) return false;
        if (h == top) break;
    }
    return true;
}

} // namespace robot
