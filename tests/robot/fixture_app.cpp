// robot_fixture.exe: a small GUI application for testing the robot.
//   robot_fixture.exe [main [TAG]]   the "Robot Fixture" dialog
//                                (fixture_app.rc); every reaction to input
//                                is shown in the status line (id 190);
//                                closing asks first and exits with code 7.
//   robot_fixture.exe msgbox K [TAG] a "Fixture Message" box with icon K
//                                (error, warning, information, question,
//                                none); the exit code is the button pressed.
//   robot_fixture.exe lnk PATH   writes a shell link with known fields.
// TAG is appended to the window titles, so that a test finds its own
// windows and not those of an instance some other test left behind.
#define _WIN32_WINNT 0x0601
#define _WIN32_IE 0x0600
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

namespace {

std::wstring g_tag;
HFONT g_title_font;
HBRUSH g_swatch;

void status(HWND dlg, const std::wstring& s) { SetDlgItemTextW(dlg, 190, s.c_str()); }

// The "Loader" button: a second thread holds the loader lock until the
// button is pressed again (at most a minute), as a process that is loading
// a library does; no new thread of the process can start meanwhile, while
// the UI thread keeps answering.
HANDLE g_loader_release;
HANDLE g_loader_holder;

DWORD WINAPI hold_loader(void* dlg) {
    typedef LONG(NTAPI * LockFn)(ULONG, ULONG*, ULONG_PTR*);
    typedef LONG(NTAPI * UnlockFn)(ULONG, ULONG_PTR);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    LockFn lock = (LockFn)(void*)GetProcAddress(ntdll, "LdrLockLoaderLock");
    UnlockFn unlock = (UnlockFn)(void*)GetProcAddress(ntdll, "LdrUnlockLoaderLock");
    ULONG_PTR cookie = 0;
    if (!lock || !unlock || lock(0, nullptr, &cookie) != 0) {
        status((HWND)dlg, L"loader not held");
        return 0;
    }
    status((HWND)dlg, L"loader held");
    WaitForSingleObject(g_loader_release, 60000);
    unlock(0, cookie);
    status((HWND)dlg, L"loader free");
    return 0;
}

void toggle_loader(HWND dlg) {
    if (!g_loader_release) g_loader_release = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_loader_holder && WaitForSingleObject(g_loader_holder, 0) == WAIT_TIMEOUT) {
        SetEvent(g_loader_release);
        return;
    }
    if (g_loader_holder) CloseHandle(g_loader_holder);
    ResetEvent(g_loader_release);
    g_loader_holder = CreateThread(nullptr, 0, hold_loader, dlg, 0, nullptr);
}

void init(HWND dlg) {
    SetWindowTextW(dlg, (L"Robot Fixture" + g_tag).c_str());
    static const wchar_t* langs[] = {L"English", L"Deutsch", L"Fran\u00e7ais", L"\u65e5\u672c\u8a9e"};
    for (const wchar_t* l : langs) SendDlgItemMessageW(dlg, 140, CB_ADDSTRING, 0, (LPARAM)l);
    SendDlgItemMessageW(dlg, 140, CB_SETCURSEL, 0, 0);
    static const wchar_t* colours[] = {L"Red", L"Green", L"Blue"};
    for (const wchar_t* c : colours) SendDlgItemMessageW(dlg, 145, LB_ADDSTRING, 0, (LPARAM)c);

    HWND lv = GetDlgItem(dlg, 150);
    ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 120;
    col.pszText = (LPWSTR)L"Name";
    SendMessageW(lv, LVM_INSERTCOLUMNW, 0, (LPARAM)&col);
    col.cx = 80;
    col.pszText = (LPWSTR)L"Size";
    SendMessageW(lv, LVM_INSERTCOLUMNW, 1, (LPARAM)&col);
    static const wchar_t* names[] = {L"Alpha", L"Beta", L"Gamma"};
    static const wchar_t* sizes[] = {L"1 KB", L"2 KB", L"3 KB"};
    for (int i = 0; i < 3; ++i) {
        LVITEMW it{};
        it.mask = LVIF_TEXT;
        it.iItem = i;
        it.pszText = (LPWSTR)names[i];
        SendMessageW(lv, LVM_INSERTITEMW, 0, (LPARAM)&it);
        it.iSubItem = 1;
        it.pszText = (LPWSTR)sizes[i];
        SendMessageW(lv, LVM_SETITEMTEXTW, i, (LPARAM)&it);
    }
    ListView_SetCheckState(lv, 1, TRUE);
    ListView_SetTextColor(lv, RGB(0x11, 0x22, 0x33));

    SendDlgItemMessageW(dlg, 160, PBM_SETRANGE32, 0, 200);
    SendDlgItemMessageW(dlg, 160, PBM_SETPOS, 50, 0);
    SetDlgItemTextW(dlg, 170, L"First line\r\nSecond line\r\nThird line");
    SendDlgItemMessageW(dlg, 180, STM_SETICON, (WPARAM)LoadIconW(nullptr, IDI_WARNING), 0);
    g_title_font = CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    SendDlgItemMessageW(dlg, 191, WM_SETFONT, (WPARAM)g_title_font, FALSE);
    g_swatch = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
    SendDlgItemMessageW(dlg, 111, BM_SETCHECK, BST_INDETERMINATE, 0);
    CheckRadioButton(dlg, 120, 121, 121);
}

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        init(dlg);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if ((HWND)lp == GetDlgItem(dlg, 192)) {
            SetBkColor((HDC)wp, RGB(0x12, 0x34, 0x56));
            return (INT_PTR)g_swatch;
        }
        return FALSE;
    case WM_NOTIFY: {
        NMHDR* n = (NMHDR*)lp;
        if (n->idFrom == 150 && (n->code == NM_CLICK || n->code == NM_DBLCLK)) {
            int item = ((NMITEMACTIVATE*)lp)->iItem;
            status(dlg, std::wstring(n->code == NM_CLICK ? L"list click " : L"list dblclick ") +
                            std::to_wstring(item));
        }
        return FALSE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wp), code = HIWORD(wp);
        switch (id) {
        case IDOK:
            status(dlg, L"ok clicked");
            break;
        case IDCANCEL:
            // A modal prompt, as the setup wizard asks before it quits.
            if (MessageBoxW(dlg, L"Really quit?", L"Robot Fixture", MB_YESNO | MB_ICONQUESTION) == IDYES) {
                DestroyWindow(dlg);
                PostQuitMessage(7);
            } else {
                status(dlg, L"quit declined");
            }
            break;
        case 104: {
            int r = MessageBoxW(dlg, L"Prompt text", L"Fixture Prompt", MB_OKCANCEL | MB_ICONINFORMATION);
            status(dlg, L"prompt " + std::to_wstring(r));
            break;
        }
        case 106:
            // Work on the UI thread, as an installer copying files may do.
            Sleep(6000);
            status(dlg, L"busy done");
            break;
        case 107:
            toggle_loader(dlg);
            break;
        case 110:
        case 111:
            if (code == BN_CLICKED)
                status(dlg, L"check " + std::to_wstring(id) + L" " +
                                std::to_wstring(SendDlgItemMessageW(dlg, id, BM_GETCHECK, 0, 0)));
            break;
        case 120:
        case 121:
            if (code == BN_CLICKED) status(dlg, L"radio " + std::to_wstring(id));
            break;
        case 130:
            if (code == EN_CHANGE) {
                wchar_t buf[256];
                GetDlgItemTextW(dlg, 130, buf, 256);
                SetDlgItemTextW(dlg, 131, (std::wstring(L"echo: ") + buf).c_str());
            }
            break;
        case 140:
            if (code == CBN_SELCHANGE) {
                int sel = (int)SendDlgItemMessageW(dlg, 140, CB_GETCURSEL, 0, 0);
                wchar_t buf[64] = L"";
                SendDlgItemMessageW(dlg, 140, CB_GETLBTEXT, sel, (LPARAM)buf);
                status(dlg, L"combo " + std::to_wstring(sel) + L" " + buf);
            }
            break;
        case 145:
            if (code == LBN_SELCHANGE)
                status(dlg, L"listbox " + std::to_wstring(SendDlgItemMessageW(dlg, 145, LB_GETCURSEL, 0, 0)));
            break;
        }
        return TRUE;
    }
    }
    return FALSE;
}

int message_box(const std::wstring& kind) {
    UINT flags = MB_OKCANCEL;
    if (kind == L"error") flags |= MB_ICONERROR;
    else if (kind == L"warning") flags |= MB_ICONWARNING;
    else if (kind == L"information") flags |= MB_ICONINFORMATION;
    else if (kind == L"question") flags = MB_YESNOCANCEL | MB_ICONQUESTION;
    return MessageBoxW(nullptr, L"Something happened.\nSecond line \"quoted\".",
                       (L"Fixture Message" + g_tag).c_str(), flags);
}

int write_link(const wchar_t* path) {
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link);
    if (SUCCEEDED(hr)) {
        link->SetPath(L"C:\\windows\\notepad.exe");
        link->SetArguments(L"/x \"a b\"");
        link->SetDescription(L"Fixture shortcut");
        link->SetWorkingDirectory(L"C:\\windows");
        link->SetIconLocation(L"C:\\windows\\system32\\shell32.dll", 3);
        link->SetShowCmd(SW_SHOWMINNOACTIVE);
        link->SetHotkey(MAKEWORD('F', HOTKEYF_CONTROL | HOTKEYF_ALT));
        hr = link->QueryInterface(IID_IPersistFile, (void**)&file);
    }
    if (SUCCEEDED(hr)) hr = file->Save(path, TRUE);
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if ((mode == L"main" && argc > 2) || (mode == L"msgbox" && argc > 3))
        g_tag = argv[argc - 1];
    if (mode == L"msgbox") return message_box(argc > 2 ? argv[2] : L"none");
    if (mode == L"lnk" && argc > 2) return write_link(argv[2]);

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryW(L"riched20.dll");
    // A hidden top-level window, for the visible= filters.
    CreateWindowExW(0, L"Static", (L"Robot Fixture Hidden" + g_tag).c_str(), WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr, inst, nullptr);
    HWND dlg = CreateDialogParamW(inst, MAKEINTRESOURCEW(100), nullptr, dialog_proc, 0);
    if (!dlg) return 1;
    ShowWindow(dlg, SW_SHOW);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (IsWindow(dlg) && IsDialogMessageW(dlg, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return (int)m.wParam;
}
