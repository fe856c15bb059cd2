// Reading a message box: caption, text, buttons and which standard icon it
// shows. The icon handle of another process cannot be inspected reliably
// under Wine, so the icon is recognised by what is on the screen: the
// pixels of the icon control are compared with the standard icons drawn
// here on the same background.
#include "robot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace robot {

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<DWORD> px; // 0x00RRGGBB, top-down
};

// Pixels of a screen rectangle.
bool grab_screen(const RECT& r, Image& img) {
    img.w = r.right - r.left;
    img.h = r.bottom - r.top;
    if (img.w <= 0 || img.h <= 0 || img.w > 512 || img.h > 512) return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = img.w;
    bi.bmiHeader.biHeight = -img.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bmp && mem) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(mem, 0, 0, img.w, img.h, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        if (ok) {
            const DWORD* p = (const DWORD*)bits;
            img.px.assign(p, p + img.w * img.h);
            for (DWORD& v : img.px) v &= 0xffffff;
        }
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

// `icon` drawn at (x, y) on a w*h field of colour `bg`.
Image render(HICON icon, int w, int h, int x, int y, DWORD bg) {
    Image img;
    img.w = w;
    img.h = h;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && mem) {
        HGDIOBJ old = SelectObject(mem, bmp);
        DWORD* p = (DWORD*)bits;
        std::fill(p, p + w * h, bg);
        DrawIconEx(mem, x, y, icon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0,
                   nullptr, DI_NORMAL);
        GdiFlush();
        img.px.assign(p, p + w * h);
        for (DWORD& v : img.px) v &= 0xffffff;
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return img;
}

// Mean absolute difference per colour channel, 0..255.
double distance(const Image& a, const Image& b) {
    if (a.px.size() != b.px.size() || a.px.empty()) return 255;
    double sum = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        for (int s = 0; s < 24; s += 8)
            sum += std::abs((int)((a.px[i] >> s) & 0xff) - (int)((b.px[i] >> s) & 0xff));
    return sum / (a.px.size() * 3.0);
}

bool flat(const Image& a) {
    for (DWORD v : a.px)
        if (v != a.px[0]) return false;
    return true;
}

HWND icon_control(HWND box) {
    for (HWND c : descendants(box))
        if (ieq(class_name(c), "Static") && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return c;
    return nullptr;
}

const char* detect_icon(HWND box, DWORD timeout) {
    HWND ctl = icon_control(box);
    if (!ctl || !IsWindowVisible(ctl)) return "none";
    DWORD_PTR handle = 0;
    if (!send_timeout(ctl, STM_GETICON, 0, 0, &handle) || !handle) return "none";
    static const struct {
        const char* name;
        LPCWSTR id;
    } kinds[] = {{"error", IDI_HAND}, {"warning", IDI_EXCLAMATION},
                 {"information", IDI_ASTERISK}, {"question", IDI_QUESTION}};
    const int iw = GetSystemMetrics(SM_CXICON), ih = GetSystemMetrics(SM_CYICON);
    const bool debug = getenv("ROBOT_DEBUG") != nullptr;
    DWORD start = GetTickCount();
    for (;;) {
        RECT r;
        GetWindowRect(ctl, &r);
        Image shown;
        if (grab_screen(r, shown) && !flat(shown)) {
            // Standard icons leave their top-left corner transparent.
            DWORD bg = shown.px[0];
            const char* best = nullptr;
            double best_d = 1e9, second_d = 1e9;
            for (auto& k : kinds) {
                HICON icon = LoadIconW(nullptr, k.id);
                // Drawn at the control's origin, or centred (SS_CENTERIMAGE).
                int xs[] = {0, (shown.w - iw) / 2}, ys[] = {0, (shown.h - ih) / 2};
                double d = 1e9;
                for (int j = 0; j < 2; ++j)
                    d = std::min(d, distance(shown, render(icon, shown.w, shown.h, xs[j], ys[j], bg)));
                if (debug) fprintf(stderr, "icon %s: %.2f\n", k.name, d);
                if (d < best_d) {
                    second_d = best_d;
                    best_d = d, best = k.name;
                } else if (d < second_d) {
                    second_d = d;
                }
            }
            // The same drawing gives 0. Under Wine the information and
            // question icons are 5 apart, so demand a clear winner.
            if (best && best_d < 4.0 && second_d - best_d > 2.0) return best;
        }
        if (GetTickCount() - start >= timeout) return "unknown";
        Sleep(50); // maybe not painted yet
    }
}

} // namespace

void op_msgbox(Ctx& ctx, const Op& op) {
    HWND box = ctx.require_window();
    if (class_name(box) != "#32770") fail("not a message box (class " + class_name(box) + ")");
    std::string text;
    bool have_text = false;
    std::vector<std::pair<std::pair<LONG, LONG>, std::string>> buttons;
    for (HWND c : descendants(box)) {
        std::string cls = class_name(c);
        LONG id = (LONG)GetWindowLongPtrW(c, GWLP_ID);
        if (ieq(cls, "Static") && (id == 0xFFFF || id == -1) && !have_text) {
            text = window_text(c);
            have_text = true;
        } else if (ieq(cls, "Button") && IsWindowVisible(c)) {
            RECT r;
            GetWindowRect(c, &r);
            buttons.push_back({{r.left, r.top}, strip_mnemonic(window_text(c))});
        }
    }
    if (!have_text) fail("message box without a text control");
    std::sort(buttons.begin(), buttons.end());
    std::string names;
    for (size_t i = 0; i < buttons.size(); ++i) names += (i ? "," : "") + buttons[i].second;
    Record r("msgbox");
    r.str("caption", window_title(box))
        .str("text", text)
        .word("icon", detect_icon(box, (DWORD)op.num("timeout", 2000)))
        .str("buttons", names);
    r.print();
}

} // namespace robot
