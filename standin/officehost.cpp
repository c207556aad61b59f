// officehost.exe: a stand-in Office application for testing and demonstrating the add-in. It plays one
// host (--app), loads the add-ins registered for it as Office does, draws their "Quillspar" tab and
// calls the ribbon callbacks by name; --click, --fire, --page, --page-script and --page-run (a browser
// window's Script page), --call (its Functions page), --browse (its Properties page), --close-document (the
// active document window's close box), --script (typed into the Script Editor and run with F5), --type
// (typed into it key by key, so that completion opens), --screenshot
// and --exit-after automate it, --storm fires an event many times from a timer (as a host does while a
// macro changes cells), --ctrl-break-after presses Ctrl+Break as a person would, --nil, --empty and
// --fail shape the host's objects for the paths that open nothing or fail, and --refuse-close makes its
// windows refuse to close.
#include "HostObjects.h"
#include "RibbonMarkup.h"

#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>
#include <shellapi.h>
#include <wincodec.h>
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace qs;
using namespace qs::standin;

namespace {

constexpr UINT kRunAutomation = WM_APP + 1;
constexpr UINT kLayoutDocuments = WM_APP + 2;
constexpr UINT_PTR kExitTimer = 1;
constexpr UINT_PTR kScreenshotTimer = 2;
constexpr UINT_PTR kDialogTimer = 3;
constexpr UINT_PTR kParametersTimer = 4;
constexpr UINT_PTR kStormTimer = 5;
constexpr int kStripHeight = 112;
constexpr int kButtonWidth = 76;
constexpr int kImageSize = 32;
constexpr int kGroupGap = 10;

void Log(const std::wstring& text) {
    const std::wstring line = text + L"\n";
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), n, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

std::wstring Hex(HRESULT hr) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

// A text value of the current user's class registrations (HKEY_CURRENT_USER\\Software\\Classes), empty
// when there is none.
std::wstring UserClassesText(const std::wstring& key) {
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                       value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// Creates an in-process class registered for the current user only. Windows' COM reads these keys
// through HKEY_CLASSES_ROOT; Wine's does not, so the host looks there itself, as Office on Windows
// would find the add-in. The server stays loaded for the rest of the process.
HRESULT CreateUserClass(const std::wstring& progId, REFIID riid, void** ppv) {
    const std::wstring clsid = UserClassesText(progId + L"\\Clsid");
    const std::wstring server =
        clsid.empty() ? std::wstring() : UserClassesText(L"CLSID\\" + clsid + L"\\InprocServer32");
    CLSID id{};
    if (server.empty() || FAILED(::CLSIDFromString(clsid.c_str(), &id))) return REGDB_E_CLASSNOTREG;
    const HMODULE module = ::LoadLibraryW(server.c_str());
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return CO_E_ERRORINDLL;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = getClassObject(id, IID_PPV_ARGS(&factory));
    return FAILED(hr) ? hr : factory->CreateInstance(nullptr, riid, ppv);
}

// One automated step, in command-line order: a click on a button, an event fired, a page shown in the
// add-in's windows, a script typed into the Script page of the newest one, F5 pressed there, a
// function called from the Functions page of the newest one, a property of it browsed, or the active
// document closed from its window's close box.
struct Action {
    enum class Kind { Click, Fire, Page, PageScript, PageRun, Call, Browse, CloseDocument };
    Kind kind = Kind::Click;
    std::wstring target;
};

// "\n" in a script given on the command line ends a line.
std::wstring ScriptLines(std::wstring text) {
    for (size_t at; (at = text.find(L"\\n")) != std::wstring::npos;) text.replace(at, 2, L"\r\n");
    return text;
}

struct Options {
    std::wstring app = L"word";
    std::wstring registerPath;
    std::vector<Action> actions;
    std::vector<std::wstring> nothing; // paths whose object is Nothing
    std::vector<std::wstring> empty;   // collections without items
    std::vector<std::wstring> failing; // paths whose read raises an error
    std::wstring screenshot;
    DWORD exitAfter = 0;
    bool frameHwnd = false;
    bool application2 = true;
    bool eventLog = false; // log the add-in's event logs before exiting
    bool refuseClose = false; // the frame and document windows refuse WM_CLOSE
    std::wstring script;   // typed into the newest Script Editor after the steps, then run with F5
    std::wstring type;     // typed key by key into the newest Script Editor after the steps, not run
    std::wstring storm;    // [PATH.]EVENT fired stormCount times, one every 10 ms, after the steps
    unsigned stormCount = 0;
    DWORD ctrlBreakAfter = 0; // Ctrl+Break pressed this long after the steps (0: never)
    bool usage = false;
};

Options ParseOptions() {
    Options o;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == L"--app" && hasValue)
            o.app = args[++i];
        else if (a == L"--register" && hasValue)
            o.registerPath = args[++i];
        else if (a == L"--click" && hasValue)
            o.actions.push_back({Action::Kind::Click, args[++i]});
        else if (a == L"--fire" && hasValue)
            o.actions.push_back({Action::Kind::Fire, args[++i]});
        else if (a == L"--nil" && hasValue)
            o.nothing.push_back(args[++i]);
        else if (a == L"--empty" && hasValue)
            o.empty.push_back(args[++i]);
        else if (a == L"--fail" && hasValue)
            o.failing.push_back(args[++i]);
        else if (a == L"--no-application2")
            o.application2 = false;
        else if (a == L"--screenshot" && hasValue)
            o.screenshot = args[++i];
        else if (a == L"--exit-after" && hasValue)
            o.exitAfter = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 10));
        else if (a == L"--frame-hwnd")
            o.frameHwnd = true;
        else if (a == L"--page" && hasValue)
            o.actions.push_back({Action::Kind::Page, args[++i]});
        else if (a == L"--page-script" && hasValue)
            o.actions.push_back({Action::Kind::PageScript, ScriptLines(args[++i])});
        else if (a == L"--page-run")
            o.actions.push_back({Action::Kind::PageRun, {}});
        else if (a == L"--call" && hasValue)
            o.actions.push_back({Action::Kind::Call, args[++i]});
        else if (a == L"--browse" && hasValue)
            o.actions.push_back({Action::Kind::Browse, args[++i]});
        else if (a == L"--close-document")
            o.actions.push_back({Action::Kind::CloseDocument, {}});
        else if (a == L"--event-log")
            o.eventLog = true;
        else if (a == L"--refuse-close")
            o.refuseClose = true;
        else if (a == L"--script" && hasValue)
            o.script = ScriptLines(args[++i]);
        else if (a == L"--type" && hasValue)
            o.type = ScriptLines(args[++i]);
        else if (a == L"--storm" && hasValue) {
            const std::wstring value = args[++i];
            const size_t colon = value.rfind(L':');
            o.storm = value.substr(0, colon);
            o.stormCount = colon == std::wstring::npos
                               ? 100
                               : static_cast<unsigned>(std::wcstoul(value.c_str() + colon + 1, nullptr, 10));
        } else if (a == L"--ctrl-break-after" && hasValue)
            o.ctrlBreakAfter = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 10));
        else
            o.usage = true;
    }
    return o;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           ::CompareStringOrdinal(text.c_str() + text.size() - end.size(), static_cast<int>(end.size()), end.c_str(),
                                  static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

// Writes a bitmap as a PNG file through the Windows Imaging Component.
bool SavePng(HBITMAP bitmap, const std::wstring& file) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    UINT w = 0, h = 0;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(
               ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
           SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &source)) &&
           SUCCEEDED(source->GetSize(&w, &h)) && SUCCEEDED(factory->CreateStream(&stream)) &&
           SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(w, h)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           SUCCEEDED(frame->WriteSource(source.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
           SUCCEEDED(encoder->Commit());
}

// Saves the whole virtual screen as a PNG file (a name ending in .png) or a 24-bit BMP file.
bool SaveScreen(const std::wstring& file) {
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN), y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = ::GetSystemMetrics(SM_CXVIRTUALSCREEN), h = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        HGDIOBJ old = ::SelectObject(mem, dib);
        ::BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT);
        // Without a window manager the X server may keep an owned pop-up below its owner, where Windows
        // always shows it above: the add-in's completion list and parameter tip are drawn over the
        // capture as Windows shows them.
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
                wchar_t cls[64] = {};
                ::GetClassNameW(hwnd, cls, 64);
                if ((std::wcscmp(cls, L"QsCompletionList") != 0 && std::wcscmp(cls, L"QsParameterTip") != 0) ||
                    !::IsWindowVisible(hwnd))
                    return TRUE;
                HDC dc = reinterpret_cast<HDC>(param);
                RECT rc;
                ::GetWindowRect(hwnd, &rc);
                const int pw = rc.right - rc.left, ph = rc.bottom - rc.top;
                HDC pop = ::CreateCompatibleDC(dc);
                HBITMAP bitmap = ::CreateCompatibleBitmap(dc, pw, ph);
                if (pop && bitmap) {
                    HGDIOBJ was = ::SelectObject(pop, bitmap);
                    if (::PrintWindow(hwnd, pop, 0))
                        ::BitBlt(dc, rc.left - ::GetSystemMetrics(SM_XVIRTUALSCREEN),
                                 rc.top - ::GetSystemMetrics(SM_YVIRTUALSCREEN), pw, ph, pop, 0, 0, SRCCOPY);
                    ::SelectObject(pop, was);
                }
                if (bitmap) ::DeleteObject(bitmap);
                if (pop) ::DeleteDC(pop);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(mem));
        ::SelectObject(mem, old);
        if (EndsWith(file, L".png")) {
            ok = SavePng(dib, file);
            ::DeleteObject(dib);
            ::DeleteDC(mem);
            ::ReleaseDC(nullptr, screen);
            return ok;
        }
        const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
        const DWORD size = stride * static_cast<DWORD>(h);
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + size;
        if (FILE* f = _wfopen(file.c_str(), L"wb")) {
            ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
                 std::fwrite(bits, 1, size, f) == size;
            ok = std::fclose(f) == 0 && ok;
        }
    }
    if (dib) ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// Logs the process's top-level windows: title, visibility and place.
void LogTopLevelWindows() {
    ::EnumWindows(
        [](HWND hwnd, LPARAM) noexcept CALLBACK -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid != ::GetCurrentProcessId()) return TRUE;
            wchar_t title[256] = L"";
            ::GetWindowTextW(hwnd, title, 256);
            wchar_t cls[128] = L"";
            ::GetClassNameW(hwnd, cls, 128);
            RECT rc{};
            ::GetWindowRect(hwnd, &rc);
            if (!::IsWindowVisible(hwnd)) return TRUE;
            try {
                Log(L"window \"" + std::wstring(title) + L"\" (" + cls + L") at " + std::to_wstring(rc.left) + L"," +
                    std::to_wstring(rc.top) + L" " + std::to_wstring(rc.right - rc.left) + L"x" +
                    std::to_wstring(rc.bottom - rc.top));
            } catch (...) {
            }
            return TRUE;
        },
        0);
}

// The visible top-level windows of this process.
std::vector<HWND> VisibleTopLevelWindows() {
    std::vector<HWND> found;
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) noexcept CALLBACK -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd)) try {
                    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
                } catch (...) {
                }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

// A window as the log shows it: its caption and, when it has tabs, the page shown.
std::wstring DescribeWindow(HWND hwnd) {
    std::wstring text = L"\"" + WindowText(hwnd) + L"\"";
    HWND tabs = nullptr;
    ::EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM lp) noexcept CALLBACK -> BOOL {
            wchar_t cls[32] = L"";
            ::GetClassNameW(child, cls, 32);
            if (::lstrcmpiW(cls, WC_TABCONTROLW) != 0) return TRUE;
            *reinterpret_cast<HWND*>(lp) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tabs));
    const int page = tabs ? TabCtrl_GetCurSel(tabs) : -1;
    if (page >= 0) {
        wchar_t label[64] = L"";
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = label;
        item.cchTextMax = 64;
        if (TabCtrl_GetItem(tabs, page, &item)) text += L" page \"" + std::wstring(label) + L"\"";
    }
    return text;
}

// The visible "Script Editor" windows of this process, newest first.
std::vector<HWND> ScriptEditors();
// A child window whose class name contains `part` (no case), or null.
HWND FindChildByClass(HWND parent, const std::wstring& part);

std::vector<HWND> ChildWindows(HWND hwnd);

// The Debug.Print pane of the script frame in a window, its lines joined by "|": the multi-line edit
// box beside the panel that holds the "Debug.Print" label.
std::wstring DebugPaneText(HWND top) {
    for (HWND label : ChildWindows(top)) {
        if (WindowText(label) != L"Debug.Print") continue;
        HWND pane = ::GetParent(::GetParent(label));
        for (HWND child = ::GetWindow(pane, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[16] = L"";
            ::GetClassNameW(child, cls, 16);
            if (::lstrcmpiW(cls, L"Edit") != 0) continue;
            std::wstring text = WindowText(child);
            while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
            for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.replace(at, 2, L"|");
            return text;
        }
    }
    return {};
}

// The child windows of a window, in creation order at every level.
std::vector<HWND> ChildWindows(HWND hwnd) {
    std::vector<HWND> found;
    ::EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM lp) noexcept CALLBACK -> BOOL {
            try {
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(child);
            } catch (...) {
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> ScriptEditors() {
    std::vector<HWND> found;
    for (HWND hwnd : VisibleTopLevelWindows())
        if (WindowText(hwnd) == L"Script Editor") found.push_back(hwnd);
    return found;
}

HWND FindChildByClass(HWND parent, const std::wstring& part) {
    for (HWND child : ChildWindows(parent)) {
        wchar_t cls[128] = L"";
        ::GetClassNameW(child, cls, 128);
        std::wstring name(cls), wanted(part);
        for (auto* t : {&name, &wanted})
            for (wchar_t& c : *t) c = static_cast<wchar_t>(std::towlower(c));
        if (name.find(wanted) != std::wstring::npos) return child;
    }
    return nullptr;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t cls[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    return cls;
}

// Shows the tab labelled `caption` in the window `top`, as a click on the tab would: the tab control
// selects it and tells its parent (which builds the page's controls the first time).
void ShowPageOf(HWND top, const std::wstring& caption) {
    for (HWND tabs : ChildWindows(top)) {
        if (::lstrcmpiW(ClassOf(tabs).c_str(), WC_TABCONTROLW) != 0) continue;
        for (int i = 0; i < TabCtrl_GetItemCount(tabs); ++i) {
            wchar_t label[64] = L"";
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = label;
            item.cchTextMax = 64;
            if (!TabCtrl_GetItem(tabs, i, &item) || caption != label) continue;
            TabCtrl_SetCurSel(tabs, i);
            NMHDR nm{tabs, static_cast<UINT_PTR>(::GetDlgCtrlID(tabs)), TCN_SELCHANGE};
            ::SendMessageW(::GetParent(tabs), WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
        }
    }
}

// Shows the tab labelled `caption` in every window of this process that has one.
void ShowPage(const std::wstring& caption) {
    for (HWND top : VisibleTopLevelWindows()) ShowPageOf(top, caption);
}

// Logs the event log of every window of this process that shows one (the multi-line edit box
// after the label "Events Log (checked only):"), one line per event.
void LogEventLogs() {
    for (HWND top : VisibleTopLevelWindows()) {
        bool afterLabel = false;
        for (HWND child : ChildWindows(top)) {
            if (WindowText(child) == L"Events Log (checked only):") {
                afterLabel = true;
                continue;
            }
            if (!afterLabel || ::lstrcmpiW(ClassOf(child).c_str(), L"Edit") != 0) continue;
            afterLabel = false;
            const std::wstring text = WindowText(child);
            for (size_t start = 0; start < text.size();) {
                size_t end = text.find(L"\r\n", start);
                if (end == std::wstring::npos) end = text.size();
                Log(L"event log \"" + WindowText(top) + L"\": " + text.substr(start, end - start));
                start = end + 2;
            }
        }
    }
}

// Logs and closes the visible dialog boxes (message boxes) of this thread: caption and text.
void CloseThreadDialogs() {
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) noexcept CALLBACK -> BOOL {
            wchar_t cls[16] = L"";
            ::GetClassNameW(hwnd, cls, 16);
            if (::IsWindowVisible(hwnd) && std::wcscmp(cls, L"#32770") == 0) {
                try {
                    // A message box's text is its static control 0xFFFF.
                    HWND text = ::GetDlgItem(hwnd, 0xFFFF);
                    Log(L"dialog \"" + WindowText(hwnd) + L"\": " + (text ? WindowText(text) : std::wstring()));
                } catch (...) {
                }
                ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            }
            return TRUE;
        },
        0);
}

// One loaded add-in: its IDTExtensibility2 and the dispatch interface its ribbon callbacks answer on.
struct TLoadedAddin {
    std::wstring progId;
    ComPtr<IDTExtensibility2> extensibility;
    ComPtr<IDispatch> callbacks; // the IRibbonExtensibility object, null when the add-in has no ribbon
    ComPtr<THostObject> comAddin;
};

struct TTabButton {
    TMarkupButton markup;
    TLoadedAddin* addin = nullptr;
    ComPtr<IPicture> picture;
    RECT bounds{};
};

struct TTabGroup {
    std::wstring label;
    size_t firstButton = 0;
    size_t buttonCount = 0;
    RECT bounds{};
};

class TOfficeHost {
public:
    TOfficeHost(const THostInfo& host, Options options)
        : m_host(host), m_options(std::move(options)), m_graph(host, m_options.application2) {
        BuildHostGraph(m_graph);
    }
    ~TOfficeHost() {
        if (m_window) ::DestroyWindow(m_window);
        if (m_font) ::DeleteObject(m_font);
    }
    TOfficeHost(const TOfficeHost&) = delete;
    TOfficeHost& operator=(const TOfficeHost&) = delete;

    bool CreateWindows();
    bool ShapeObjects();
    void LoadAddins();
    void BuildTab();
    int Run();
    void Shutdown();
    int ExitCode() const { return m_exitCode; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
    static LRESULT CALLBACK DocumentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC dc);
    void Layout();
    HWND CreateDocumentWindow(THostObject* window);
    HWND ActiveDocumentWindow() const;
    void DocumentWindowOpened(THostObject* window);
    void DocumentWindowClosed(THostObject* window);
    void CloseBoxClicked(HWND hwnd);
    void CloseActiveDocument();
    HRESULT Click(TTabButton& button);
    void RunAutomation();
    void TypeScript();
    void TypeKeys();
    void TypePageScript(const std::wstring& text, bool run);
    HRESULT CallFunction(const std::wstring& call, bool browse);
    void AnswerParameters();
    void LogScriptEditors();
    void StormTick();
    void PressCtrlBreakLater();
    // Closes the document windows, then the frame, as Office does on exit: the add-in's windows owned by
    // any of them close with it, before the add-ins are disconnected.
    void Close() {
        for (const TDocumentWindow& d : std::exchange(m_documents, {})) ::DestroyWindow(d.hwnd);
        if (m_window) ::DestroyWindow(m_window);
    }
    void Fail(int code) {
        if (m_exitCode == 0) m_exitCode = code;
    }
    std::vector<std::wstring> RegisteredProgIds() const;

    const THostInfo& m_host;
    Options m_options;
    THostGraph m_graph;
    HWND m_window = nullptr;
    // A document window of the frame and the host's window object it shows (null when the host has none).
    struct TDocumentWindow {
        THostObject* window;
        HWND hwnd;
    };
    std::vector<TDocumentWindow> m_documents; // in the order they opened
    HWND m_tooltip = nullptr;
    HFONT m_font = nullptr;
    std::vector<std::unique_ptr<TLoadedAddin>> m_addins;
    std::vector<TTabButton> m_buttons;
    std::vector<TTabGroup> m_groups;
    int m_callDepth = 0; // ribbon callbacks running (a modal loop inside one dispatches our messages)
    std::vector<std::wstring> m_parameterValues; // typed into the parameters dialog of a --call
    bool m_shutDown = false;
    int m_exitCode = 0;
    unsigned m_stormFired = 0;
    unsigned m_stormFailed = 0;
};

bool TOfficeHost::CreateWindows() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = &TOfficeHost::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QuillsparStandinHost";
    ::RegisterClassExW(&wc);
    wc.lpfnWndProc = &TOfficeHost::DocumentProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QuillsparStandinDocument";
    ::RegisterClassExW(&wc);

    NONCLIENTMETRICSW metrics{sizeof metrics};
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    m_font = ::CreateFontIndirectW(&metrics.lfMessageFont);

    // The frame's title is the Application's Caption ("Report.docx - Word"), as Office's is.
    const Variant caption = m_graph.App()->Get(L"Caption");
    const std::wstring title =
        (caption.Type() == VT_BSTR ? BstrText(V_BSTR(&caption.Get())) : std::wstring(m_host.title)) +
        L" (Quillspar stand-in host)";
    m_window = ::CreateWindowExW(0, L"QuillsparStandinHost", title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                 1000, 560, nullptr, nullptr, instance, this);
    if (!m_window) return false;
    THostObject* active = m_graph.At(L"ActiveWindow");
    HWND first = CreateDocumentWindow(active);
    m_tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr, instance, nullptr);
    if (m_tooltip) ::SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, 320);
    Layout();
    // The window-handle properties report the document window (a child of the frame); --frame-hwnd makes
    // them report the frame window, as current Office versions do.
    SetHostHwnd(m_graph, m_options.frameHwnd ? m_window : first);
    // Every other document window of the host (Word's second document's, Excel's other workbook's) gets a
    // window of its own behind the active one, as do those the host opens later; a document that closes
    // takes its window with it.
    if (!m_options.frameHwnd)
        for (THostObject* window : m_graph.DocumentWindows())
            if (window != active) DocumentWindowOpened(window);
    m_graph.ListenToDocumentWindows({[this](THostObject* window) { DocumentWindowOpened(window); },
                                     [this](THostObject* window) { DocumentWindowClosed(window); }});
    Layout();
    Log(L"host " + std::wstring(m_host.name) + L": window " +
        Hex(static_cast<HRESULT>(reinterpret_cast<LONG_PTR>(m_window))));
    return first != nullptr;
}

// A document window of the frame, titled with the window object's Caption (when there is one).
HWND TOfficeHost::CreateDocumentWindow(THostObject* window) {
    std::wstring caption = L"Document";
    if (window) {
        const Variant text = window->Get(L"Caption");
        if (text.Type() == VT_BSTR) caption = BstrText(V_BSTR(&text.Get()));
    }
    HWND hwnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"QuillsparStandinDocument", caption.c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS, 0, kStripHeight,
                                  100, 100, m_window, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!hwnd) return nullptr;
    m_documents.push_back({window, hwnd});
    Log(L"document window \"" + caption + L"\"");
    return hwnd;
}

// The document window of the host's active window; when none shows it, the first document window.
HWND TOfficeHost::ActiveDocumentWindow() const {
    const THostObject* active = m_graph.At(L"ActiveWindow");
    for (const TDocumentWindow& d : m_documents)
        if (active && d.window == active) return d.hwnd;
    return m_documents.empty() ? nullptr : m_documents.front().hwnd;
}

// A document window the host opened: a window of its own that its handle properties report. The host
// makes it active after announcing it, so the windows are laid out again once the call has returned.
void TOfficeHost::DocumentWindowOpened(THostObject* window) {
    if (m_options.frameHwnd || !m_window) return;
    HWND hwnd = CreateDocumentWindow(window);
    if (!hwnd) return;
    SetWindowHwnd(window, hwnd);
    Layout();
    ::PostMessageW(m_window, kLayoutDocuments, 0, 0);
}

// A document window the host closed with its document: its window goes, and with it every window of the
// add-in that it owns. A handle property that reported it (the Application's, in hosts whose windows
// report none) reports the active document's window from now on, or the frame when none is left.
void TOfficeHost::DocumentWindowClosed(THostObject* window) {
    const auto it = std::find_if(m_documents.begin(), m_documents.end(),
                                 [window](const TDocumentWindow& d) { return d.window == window; });
    if (it == m_documents.end()) return;
    const HWND gone = it->hwnd;
    m_documents.erase(it);
    const std::wstring caption = WindowText(gone);
    ::DestroyWindow(gone);
    Log(L"document window closed \"" + caption + L"\"");
    const HWND next = ActiveDocumentWindow();
    const LONG goneHandle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(gone));
    const LONG nextHandle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(next ? next : m_window));
    for (THostObject* owner : {m_graph.App(), m_graph.At(m_host.hwndOwner)})
        for (const wchar_t* property : {m_host.hwndProperty, L"Hwnd"}) {
            const Variant reported = owner ? owner->Get(property) : Variant();
            if (reported.Type() == VT_I4 && V_I4(&reported.Get()) == goneHandle)
                owner->Set(property, Variant::FromI4(nextHandle));
        }
    Layout();
}

// A document window's close box (or WM_CLOSE sent to it): closes its document as the host's Close does,
// so that a sink may cancel; the window goes when the document has closed. A window that shows none of the
// host's document windows (Publisher's one window, OneNote's, Access's) ignores it. With --refuse-close the
// window refuses, as Office's do when the user answers Cancel to "Save changes?".
void TOfficeHost::CloseBoxClicked(HWND hwnd) {
    const std::wstring title = WindowText(hwnd);
    if (m_options.refuseClose) {
        Log(L"close refused: \"" + title + L"\"");
        return;
    }
    const auto shownIn = [this, hwnd] {
        return std::find_if(m_documents.begin(), m_documents.end(),
                            [hwnd](const TDocumentWindow& d) { return d.hwnd == hwnd; });
    };
    const auto shown = shownIn();
    THostObject* window = shown == m_documents.end() ? nullptr : shown->window;
    std::wstring error;
    try {
        if (!window || !m_graph.CloseDocumentWindow(window)) {
            Log(L"close ignored: \"" + title + L"\"");
            return;
        }
    } catch (const THostError& e) {
        error = e.text;
    }
    if (shownIn() != m_documents.end())
        Log(L"close cancelled: \"" + title + L"\"" + (error.empty() ? L"" : L" (" + error + L")"));
}

// Applies --nil, --empty and --fail; false when a path names nothing.
bool TOfficeHost::ShapeObjects() {
    bool ok = true;
    for (const std::wstring& path : m_options.nothing) {
        const bool done = m_graph.SetNothing(path);
        Log(done ? path + L" is Nothing" : L"--nil " + path + L": no such object");
        ok = ok && done;
    }
    for (const std::wstring& path : m_options.empty) {
        THostObject* c = m_graph.At(path);
        if (c && c->collection) {
            c->items.clear();
            Log(path + L" is empty");
        } else {
            Log(L"--empty " + path + L": no such collection");
            ok = false;
        }
    }
    for (const std::wstring& path : m_options.failing) {
        const bool done = m_graph.SetFailing(path, L"The stand-in host cannot read " + path + L".");
        Log(done ? L"reading " + path + L" fails" : L"--fail " + path + L": no such object");
        ok = ok && done;
    }
    return ok;
}

std::vector<std::wstring> TOfficeHost::RegisteredProgIds() const {
    std::vector<std::wstring> progIds;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        UniqueHkey key;
        if (::RegOpenKeyExW(root, m_host.addinsKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (::RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DWORD behavior = 0, size = sizeof behavior;
            if (::RegGetValueW(key.Get(), name, L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behavior, &size) !=
                    ERROR_SUCCESS ||
                behavior != 3)
                continue;
            bool seen = false;
            for (const std::wstring& p : progIds)
                seen = seen || ::CompareStringOrdinal(p.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
            if (!seen) progIds.push_back(name);
        }
    }
    return progIds;
}

void TOfficeHost::LoadAddins() {
    const std::vector<std::wstring> progIds = RegisteredProgIds();
    if (progIds.empty()) Log(L"no add-in with LoadBehavior 3 under " + std::wstring(m_host.addinsKey));
    for (const std::wstring& progId : progIds) {
        CLSID clsid{};
        HRESULT hr = ::CLSIDFromProgID(progId.c_str(), &clsid);
        auto addin = std::make_unique<TLoadedAddin>();
        addin->progId = progId;
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDTExtensibility2,
                                    reinterpret_cast<void**>(addin->extensibility.GetAddressOf()));
        if (FAILED(hr)) {
            const HRESULT userHr = CreateUserClass(progId, IID_IDTExtensibility2,
                                                   reinterpret_cast<void**>(addin->extensibility.GetAddressOf()));
            if (userHr != REGDB_E_CLASSNOTREG) hr = userHr;
            if (SUCCEEDED(hr)) Log(L"created " + progId + L" from the user's class registration");
        }
        if (FAILED(hr)) {
            Log(L"cannot create " + progId + L": " + Hex(hr));
            continue;
        }
        addin->comAddin = THostObject::Create(L"COMAddIn");
        addin->comAddin->Set(L"ProgId", Variant::FromString(progId));
        addin->comAddin->Set(L"Connect", Variant::FromBool(true));
        SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
        hr = addin->extensibility->OnConnection(m_graph.Application(), ext_cm_Startup, addin->comAddin.Get(), &custom);
        Log(L"OnConnection " + progId + L": " + Hex(hr));
        if (FAILED(hr)) {
            ::SafeArrayDestroy(custom);
            continue;
        }
        Log(L"OnAddInsUpdate: " + Hex(addin->extensibility->OnAddInsUpdate(&custom)));
        Log(L"OnStartupComplete: " + Hex(addin->extensibility->OnStartupComplete(&custom)));
        ::SafeArrayDestroy(custom);
        Log(L"loaded " + progId);
        m_addins.push_back(std::move(addin));
    }
    if (m_addins.empty()) Fail(1);
}

void TOfficeHost::BuildTab() {
    for (const auto& addin : m_addins) {
        ComPtr<IRibbonExtensibility> ribbon;
        if (FAILED(addin->extensibility.As(&ribbon))) {
            Log(addin->progId + L" has no ribbon");
            continue;
        }
        UniqueBstr xml;
        const HRESULT hr = ribbon->GetCustomUI(UniqueBstr(::SysAllocString(m_host.ribbonId)).Get(), xml.Put());
        Log(L"GetCustomUI(" + std::wstring(m_host.ribbonId) + L"): " + Hex(hr));
        if (FAILED(hr)) {
            Fail(1);
            continue;
        }
        if (::SysStringLen(xml.Get()) == 0) {
            Log(addin->progId + L" adds nothing to the ribbon");
            continue;
        }
        TRibbonMarkup markup;
        try {
            markup = ParseRibbonMarkup(BstrText(xml.Get()));
        } catch (const std::exception& e) {
            Log(L"cannot read the markup: " + std::wstring(e.what(), e.what() + std::strlen(e.what())));
            Fail(1);
            continue;
        }
        ribbon.As(&addin->callbacks);
        if (!markup.onLoad.empty()) {
            ComPtr<THostObject> ribbonUi = THostObject::Create(L"IRibbonUI");
            VARIANTARG arg;
            V_VT(&arg) = VT_DISPATCH;
            V_DISPATCH(&arg) = ribbonUi.Get();
            Log(markup.onLoad + L": " +
                Hex(CallByName(addin->callbacks.Get(), markup.onLoad, {arg}, nullptr, nullptr)));
        }
        for (const TMarkupGroup& g : markup.groups) {
            m_groups.push_back({g.label, m_buttons.size(), g.buttons.size(), {}});
            for (const TMarkupButton& b : g.buttons) {
                TTabButton button;
                button.markup = b;
                button.addin = addin.get();
                if (!b.getImage.empty()) {
                    ComPtr<TRibbonControlStub> control = TRibbonControlStub::Create(b.id, m_graph.At(L"ActiveWindow"));
                    VARIANTARG arg;
                    V_VT(&arg) = VT_DISPATCH;
                    V_DISPATCH(&arg) = control.Get();
                    Variant image;
                    const HRESULT imageHr = CallByName(addin->callbacks.Get(), b.getImage, {arg}, image.Put(), nullptr);
                    if (FAILED(imageHr)) Log(b.getImage + L"(" + b.id + L"): " + Hex(imageHr));
                    if (SUCCEEDED(imageHr) && (image.Type() == VT_DISPATCH || image.Type() == VT_UNKNOWN) &&
                        V_UNKNOWN(&image.Get()))
                        V_UNKNOWN(&image.Get())
                            ->QueryInterface(IID_IPicture, reinterpret_cast<void**>(button.picture.GetAddressOf()));
                }
                Log(L"button " + b.id + L" \"" + b.label + L"\" in \"" + g.label + L"\"" +
                    (button.picture ? L" with image" : L" without image"));
                m_buttons.push_back(std::move(button));
            }
        }
        size_t images = 0;
        for (const TTabButton& b : m_buttons) images += b.picture ? 1 : 0;
        Log(L"tab: " + std::to_wstring(markup.ButtonCount()) + L" buttons in " + std::to_wstring(markup.groups.size()) +
            L" groups, " + std::to_wstring(images) + L" images");
    }
    Layout();
    ::InvalidateRect(m_window, nullptr, TRUE);
}

// Places the groups left to right, each as wide as its buttons, and the document below the strip.
void TOfficeHost::Layout() {
    if (!m_window) return;
    RECT client;
    ::GetClientRect(m_window, &client);
    // The document windows cascade like MDI children, the active one in front.
    const HWND active = ActiveDocumentWindow();
    std::vector<HWND> documents;
    for (const TDocumentWindow& d : m_documents)
        if (d.hwnd != active) documents.push_back(d.hwnd);
    if (active) documents.push_back(active);
    const int cascade = 24, n = static_cast<int>(documents.size());
    for (int i = 0; i < n; ++i)
        ::SetWindowPos(documents[static_cast<size_t>(i)], HWND_TOP, i * cascade, kStripHeight + i * cascade,
                       std::max<LONG>(0, client.right - (n - 1) * cascade),
                       std::max<LONG>(0, client.bottom - kStripHeight - (n - 1) * cascade), SWP_NOACTIVATE);
    int x = kGroupGap;
    for (TTabGroup& g : m_groups) {
        const int left = x;
        for (size_t i = g.firstButton; i < g.firstButton + g.buttonCount && i < m_buttons.size(); ++i) {
            m_buttons[i].bounds = {x, 26, x + kButtonWidth, 26 + 64};
            x += kButtonWidth;
        }
        g.bounds = {left - 4, 22, std::max(x, left + 60) + 4, kStripHeight - 4};
        x = g.bounds.right + kGroupGap;
    }
    if (m_tooltip) {
        while (::SendMessageW(m_tooltip, TTM_GETTOOLCOUNT, 0, 0) > 0) {
            TTTOOLINFOW info{sizeof info};
            if (!::SendMessageW(m_tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info))) break;
            ::SendMessageW(m_tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        }
        for (size_t i = 0; i < m_buttons.size(); ++i) {
            TTTOOLINFOW info{sizeof info};
            info.uFlags = TTF_SUBCLASS;
            info.hwnd = m_window;
            info.uId = i + 1;
            info.rect = m_buttons[i].bounds;
            info.lpszText = const_cast<LPWSTR>(m_buttons[i].markup.screentip.c_str());
            ::SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        }
    }
}

void TOfficeHost::Paint(HDC dc) {
    HGDIOBJ oldFont = ::SelectObject(dc, m_font);
    ::SetBkMode(dc, TRANSPARENT);
    RECT tab = {6, 2, 90, 22};
    ::FillRect(dc, &tab, ::GetSysColorBrush(COLOR_WINDOW));
    ::DrawTextW(dc, L"Quillspar", -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    for (const TTabGroup& g : m_groups) {
        RECT frame = g.bounds;
        ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        RECT label = {frame.left, frame.bottom - 20, frame.right, frame.bottom - 2};
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        ::DrawTextW(dc, g.label.c_str(), -1, &label, DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    for (const TTabButton& b : m_buttons) {
        const int imageX = (b.bounds.left + b.bounds.right - kImageSize) / 2;
        const int imageY = b.bounds.top + 2;
        if (b.picture) {
            SHORT type = PICTYPE_UNINITIALIZED;
            b.picture->get_Type(&type);
            OLE_HANDLE handle = 0;
            b.picture->get_Handle(&handle);
            if (type == PICTYPE_ICON && handle) {
                ::DrawIconEx(dc, imageX, imageY, reinterpret_cast<HICON>(static_cast<UINT_PTR>(handle)), kImageSize,
                             kImageSize, 0, nullptr, DI_NORMAL);
            } else {
                OLE_XSIZE_HIMETRIC w = 0;
                OLE_YSIZE_HIMETRIC h = 0;
                b.picture->get_Width(&w);
                b.picture->get_Height(&h);
                b.picture->Render(dc, imageX, imageY, kImageSize, kImageSize, 0, h, w, -h, nullptr);
            }
        }
        RECT label = {b.bounds.left + 2, imageY + kImageSize + 2, b.bounds.right - 2, b.bounds.bottom + 14};
        ::DrawTextW(dc, b.markup.label.c_str(), -1, &label, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
    ::SelectObject(dc, oldFont);
}

// A browser window of the add-in: a window with pages that is not the Script Editor.
bool IsBrowserWindow(HWND top) { return WindowText(top) != L"Script Editor" && FindChildByClass(top, WC_TABCONTROLW); }

// The newest browser window, or null.
HWND NewestBrowserWindow() {
    for (HWND top : VisibleTopLevelWindows())
        if (IsBrowserWindow(top)) return top;
    return nullptr;
}

// The command id of the toolbar button with that text in a window, and its toolbar; 0 when none.
int ToolbarButton(HWND top, const std::wstring& caption, HWND& toolbar) {
    for (HWND bar : ChildWindows(top)) {
        if (::lstrcmpiW(ClassOf(bar).c_str(), TOOLBARCLASSNAMEW) != 0) continue;
        for (int b = 0; b < static_cast<int>(::SendMessageW(bar, TB_BUTTONCOUNT, 0, 0)); ++b) {
            TBBUTTON button{};
            ::SendMessageW(bar, TB_GETBUTTON, b, reinterpret_cast<LPARAM>(&button));
            wchar_t text[64] = L"";
            ::SendMessageW(bar, TB_GETBUTTONTEXTW, button.idCommand, reinterpret_cast<LPARAM>(text));
            if (caption != text) continue;
            toolbar = bar;
            return button.idCommand;
        }
    }
    return 0;
}

// The visible top-level windows that are not in `before`, as the log describes them; "nothing" for none.
std::wstring OpenedSince(const std::vector<HWND>& before) {
    std::wstring opened;
    for (HWND hwnd : VisibleTopLevelWindows())
        if (std::find(before.begin(), before.end(), hwnd) == before.end())
            opened += (opened.empty() ? L"" : L", ") + DescribeWindow(hwnd);
    return opened.empty() ? L"nothing" : opened;
}

HRESULT TOfficeHost::Click(TTabButton& button) {
    if (!button.addin || !button.addin->callbacks || button.markup.onAction.empty()) return E_UNEXPECTED;
    ComPtr<TRibbonControlStub> control = TRibbonControlStub::Create(button.markup.id, m_graph.At(L"ActiveWindow"));
    VARIANTARG arg;
    V_VT(&arg) = VT_DISPATCH;
    V_DISPATCH(&arg) = control.Get();
    std::wstring error;
    const std::vector<HWND> before = VisibleTopLevelWindows();
    // A message box the click shows runs a modal loop that dispatches this timer: it logs the box and
    // closes it, so that automation goes on.
    if (!m_options.actions.empty()) ::SetTimer(m_window, kDialogTimer, 400, nullptr);
    ++m_callDepth;
    HRESULT hr = E_UNEXPECTED;
    try {
        hr = CallByName(button.addin->callbacks.Get(), button.markup.onAction, {arg}, nullptr, &error);
    } catch (...) {
        --m_callDepth;
        throw;
    }
    --m_callDepth;
    if (m_window) ::KillTimer(m_window, kDialogTimer);
    Log(L"click " + button.markup.id + L": " + Hex(hr) + (error.empty() ? L"" : L" " + error) + L"; opened " +
        OpenedSince(before));
    return hr;
}

void TOfficeHost::RunAutomation() {
    for (const Action& action : m_options.actions) {
        if (action.kind == Action::Kind::Page) {
            ShowPage(action.target);
            continue;
        }
        if (action.kind == Action::Kind::Call || action.kind == Action::Kind::Browse) {
            if (FAILED(CallFunction(action.target, action.kind == Action::Kind::Browse))) Fail(2);
            continue;
        }
        if (action.kind == Action::Kind::PageScript || action.kind == Action::Kind::PageRun) {
            TypePageScript(action.target, action.kind == Action::Kind::PageRun);
            continue;
        }
        if (action.kind == Action::Kind::CloseDocument) {
            CloseActiveDocument();
            continue;
        }
        if (action.kind == Action::Kind::Fire) {
            try {
                std::wstring report;
                m_graph.FireEvent(action.target, report);
                Log(L"fire " + action.target + L": " + report);
            } catch (const THostError& e) {
                Log(L"fire " + action.target + L": " + e.text);
                Fail(4);
            } catch (...) {
                Log(L"fire " + action.target + L": the event's type information cannot be read");
                Fail(4);
            }
            continue;
        }
        TTabButton* found = nullptr;
        for (TTabButton& b : m_buttons)
            if (b.markup.id == action.target) found = &b;
        if (!found) {
            Log(L"click " + action.target + L": no such button");
            Fail(2);
            continue;
        }
        if (FAILED(Click(*found))) Fail(2);
    }
    if (!m_options.type.empty()) TypeKeys();
    if (!m_options.script.empty()) TypeScript();
    if (!m_options.storm.empty()) ::SetTimer(m_window, kStormTimer, 10, nullptr);
    if (m_options.ctrlBreakAfter > 0) PressCtrlBreakLater();
    if (m_options.exitAfter > 0)
        ::SetTimer(m_window, kExitTimer, m_options.exitAfter, nullptr);
    else if (!m_options.screenshot.empty())
        ::SetTimer(m_window, kScreenshotTimer, 2000, nullptr);
}

// Closes the active document as a click on its window's close box does: WM_CLOSE sent to that window,
// whose procedure closes the document (the host's events fire, and a sink may cancel).
void TOfficeHost::CloseActiveDocument() {
    HWND hwnd = ActiveDocumentWindow();
    if (!hwnd) {
        Log(L"close-document: no document window is open");
        Fail(2);
        return;
    }
    Log(L"close-document \"" + WindowText(hwnd) + L"\"");
    // Event procedures may show a message box: its modal loop dispatches this timer, which closes it.
    ::SetTimer(m_window, kDialogTimer, 400, nullptr);
    ++m_callDepth;
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    --m_callDepth;
    if (m_window) ::KillTimer(m_window, kDialogTimer);
}

// Types the script into the newest Script Editor's code editor and presses F5 there: the key goes
// through this program's message loop, as a user's would.
void TOfficeHost::TypeScript() {
    const std::vector<HWND> editors = ScriptEditors();
    HWND editor = editors.empty() ? nullptr : FindChildByClass(editors.front(), L"QsCodeEditor");
    if (!editor) {
        Log(L"script: no Script Editor is open");
        Fail(2);
        return;
    }
    ::SetWindowTextW(editor, m_options.script.c_str());
    ::SetFocus(editor);
    ::PostMessageW(editor, WM_KEYDOWN, VK_F5, 1);
    ::PostMessageW(editor, WM_KEYUP, VK_F5, 0xC0000001);
}

// Types text into the newest Script Editor's code editor character by character, as a keyboard does
// (WM_CHAR through this program's message loop), so that what reacts to typing (completion) runs.
void TOfficeHost::TypeKeys() {
    const std::vector<HWND> editors = ScriptEditors();
    HWND editor = editors.empty() ? nullptr : FindChildByClass(editors.front(), L"QsCodeEditor");
    if (!editor) {
        Log(L"type: no Script Editor is open");
        Fail(2);
        return;
    }
    ::SetFocus(editor);
    for (wchar_t c : m_options.type) {
        if (c == L'\n') continue; // a line ends with the CR
        ::PostMessageW(editor, WM_CHAR, c, 1);
    }
    Log(L"typed " + std::to_wstring(m_options.type.size()) + L" characters into the Script Editor");
}

// The completion list of the add-in's code editor, when one is shown: its names through the list-box
// messages it answers.
void LogCompletionList() {
    struct Found {
        HWND list = nullptr;
    } found;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            wchar_t cls[64] = {};
            ::GetClassNameW(hwnd, cls, 64);
            if (std::wcscmp(cls, L"QsCompletionList") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
            reinterpret_cast<Found*>(param)->list = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!found.list) return;
    const LRESULT count = ::SendMessageW(found.list, LB_GETCOUNT, 0, 0);
    std::wstring names;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(found.list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length > 4096) continue;
        std::wstring name(static_cast<size_t>(length) + 1, L'\0');
        ::SendMessageW(found.list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name.data()));
        name.resize(std::wcslen(name.c_str()));
        names += (i ? L", " : L"") + name;
    }
    Log(L"completion list: " + std::to_wstring(count) + L" names: " + names);
}

// One event of the storm. The timer goes on while a modal box of the add-in is up (its message loop
// dispatches this window's timers), as a host's own events do; when the last one has fired, the boxes
// still open are logged and closed.
void TOfficeHost::StormTick() {
    if (m_stormFired >= m_options.stormCount) {
        ::KillTimer(m_window, kStormTimer);
        return;
    }
    // The ticks nest (a box opened by one event dispatches the next ones): the tick that fired the last
    // event reports the storm.
    const unsigned number = ++m_stormFired;
    try {
        std::wstring report;
        m_graph.FireEvent(m_options.storm, report);
    } catch (...) {
        ++m_stormFailed;
    }
    if (number < m_options.stormCount) return;
    ::KillTimer(m_window, kStormTimer);
    Log(L"storm " + m_options.storm + L": " + std::to_wstring(m_stormFired) + L" fired, " +
        std::to_wstring(m_stormFailed) + L" failed");
    CloseThreadDialogs();
}

// Ctrl+Break from another thread, through the system's input as a keyboard gives it: the host's thread
// may be busy (a script that never returns). The add-in's boxes that follow are logged and closed.
void TOfficeHost::PressCtrlBreakLater() {
    const DWORD delay = m_options.ctrlBreakAfter;
    const HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](void* param) WINAPI -> DWORD {
            ::Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(param)));
            INPUT keys[4] = {};
            const WORD codes[4] = {VK_CONTROL, VK_CANCEL, VK_CANCEL, VK_CONTROL};
            for (int i = 0; i < 4; ++i) {
                keys[i].type = INPUT_KEYBOARD;
                keys[i].ki.wVk = codes[i];
                keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
            }
            ::SendInput(2, keys, sizeof(INPUT));
            ::Sleep(200);
            ::SendInput(2, keys + 2, sizeof(INPUT));
            Log(L"ctrl+break pressed");
            return 0;
        },
        reinterpret_cast<void*>(static_cast<UINT_PTR>(delay)), 0, nullptr);
    if (thread) ::CloseHandle(thread);
    ::SetTimer(m_window, kDialogTimer, 400, nullptr);
}

// Types the text into the code editor of the Script page of the newest window that has one (a browser
// window of the add-in), without running it: its procedures run when their events fire. With `run`, it
// presses F5 there instead, through this program's message loop.
void TOfficeHost::TypePageScript(const std::wstring& text, bool run) {
    HWND top = NewestBrowserWindow();
    if (top) ShowPageOf(top, L"Script"); // as a person would, who sees the editor only there
    HWND editor = top ? FindChildByClass(top, L"QsCodeEditor") : nullptr;
    if (!editor) {
        Log(L"page script: no window with a Script page is open");
        Fail(2);
        return;
    }
    if (run) {
        ::SetFocus(editor);
        ::PostMessageW(editor, WM_KEYDOWN, VK_F5, 1);
        ::PostMessageW(editor, WM_KEYUP, VK_F5, 0xC0000001);
        Log(L"page script run in " + DescribeWindow(top));
        return;
    }
    ::SetWindowTextW(editor, text.c_str());
    Log(L"page script typed into " + DescribeWindow(top));
}

// Calls a function from the Functions page of the newest browser window as a user would: selects it in
// the list and presses "Call..."; the parameters dialog, when it opens, gets the values given in
// "Name(value, value)" typed into its value cells in order, and OK. With `browse`, selects the property
// of that name under the tree's root on the Properties page and presses "Browse..." instead. Logs what
// the step opened.
HRESULT TOfficeHost::CallFunction(const std::wstring& call, bool browse) {
    const size_t open = call.find(L'(');
    const std::wstring name = call.substr(0, open);
    const std::wstring step = browse ? L"browse " : L"call ";
    m_parameterValues.clear();
    if (open != std::wstring::npos) {
        const std::wstring inner = call.substr(open + 1, call.rfind(L')') - open - 1);
        for (size_t start = 0; start <= inner.size() && !inner.empty();) {
            const size_t comma = std::min(inner.find(L',', start), inner.size());
            std::wstring value = inner.substr(start, comma - start);
            while (!value.empty() && value.front() == L' ') value.erase(0, 1);
            m_parameterValues.push_back(value);
            start = comma + 1;
        }
    }
    HWND top = NewestBrowserWindow();
    if (!top) {
        Log(step + name + L": no browser window is open");
        return E_UNEXPECTED;
    }
    bool found = false;
    ShowPageOf(top, browse ? L"Properties" : L"Functions");
    if (browse) {
        HWND tree = FindChildByClass(top, WC_TREEVIEWW);
        const HTREEITEM root = tree ? TreeView_GetRoot(tree) : nullptr;
        for (HTREEITEM item = root ? TreeView_GetChild(tree, root) : nullptr; item && !found;
             item = TreeView_GetNextSibling(tree, item)) {
            wchar_t text[256] = L"";
            TVITEMW tv{};
            tv.mask = TVIF_TEXT;
            tv.hItem = item;
            tv.pszText = text;
            tv.cchTextMax = 256;
            TreeView_GetItem(tree, &tv);
            if (name == text) found = TreeView_SelectItem(tree, item) != FALSE;
        }
    } else {
        // The Functions page's list: the list view that holds the name (the Events page has one too).
        for (HWND list : ChildWindows(top)) {
            if (found || ::lstrcmpiW(ClassOf(list).c_str(), WC_LISTVIEWW) != 0) continue;
            for (int i = 0; i < ListView_GetItemCount(list) && !found; ++i) {
                wchar_t text[256] = L"";
                ListView_GetItemText(list, i, 0, text, 256);
                if (name != text) continue;
                ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
                ListView_SetItemState(list, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
                found = true;
            }
        }
    }
    if (!found) {
        Log(step + name + L": no such " + (browse ? L"property in " : L"function in ") + DescribeWindow(top));
        return E_INVALIDARG;
    }
    HWND bar = nullptr;
    const int command = ToolbarButton(top, browse ? L"Browse..." : L"Call...", bar);
    if (!command) {
        Log(step + name + L": no button in " + DescribeWindow(top));
        return E_UNEXPECTED;
    }
    const std::vector<HWND> before = VisibleTopLevelWindows();
    ::SetTimer(m_window, kDialogTimer, 400, nullptr);
    ::SetTimer(m_window, kParametersTimer, 200, nullptr);
    ++m_callDepth;
    ::SendMessageW(::GetParent(bar), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(bar));
    --m_callDepth;
    if (m_window) {
        ::KillTimer(m_window, kDialogTimer);
        ::KillTimer(m_window, kParametersTimer);
    }
    Log(step + name + L": opened " + OpenedSince(before));
    return S_OK;
}

// Types the values into the parameters dialog's cells, from the focused one on (Tab moves to the next),
// and presses Enter, which is OK.
void TOfficeHost::AnswerParameters() {
    for (HWND top : VisibleTopLevelWindows()) {
        const std::wstring caption = WindowText(top);
        if (caption.rfind(L"Function Parameters - ", 0) != 0) continue;
        ::KillTimer(m_window, kParametersTimer);
        Log(L"dialog \"" + caption + L"\"");
        for (const std::wstring& value : m_parameterValues) {
            HWND cell = ::GetFocus();
            ::SetWindowTextW(cell, value.c_str());
            ::SendMessageW(cell, WM_KEYDOWN, VK_TAB, 0);
        }
        ::SendMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
        return;
    }
}

// Logs each Script Editor's owner and the text of its Debug.Print pane.
void TOfficeHost::LogScriptEditors() {
    for (HWND hwnd : ScriptEditors())
        Log(std::wstring(L"script editor owned by ") +
            (::GetWindow(hwnd, GW_OWNER) == m_window ? L"the host window" : L"another window") + L"; debug: \"" +
            DebugPaneText(hwnd) + L"\"");
    // The Script pages of browser windows that have output.
    for (HWND hwnd : VisibleTopLevelWindows()) {
        if (!IsBrowserWindow(hwnd)) continue;
        const std::wstring text = DebugPaneText(hwnd);
        if (!text.empty()) Log(L"script page \"" + WindowText(hwnd) + L"\" debug: \"" + text + L"\"");
    }
}

void TOfficeHost::Shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    for (const auto& addin : m_addins) {
        SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
        Log(L"OnBeginShutdown: " + Hex(addin->extensibility->OnBeginShutdown(&custom)));
        Log(L"OnDisconnection: " + Hex(addin->extensibility->OnDisconnection(ext_dm_HostShutdown, &custom)));
        ::SafeArrayDestroy(custom);
    }
    m_buttons.clear();
    m_addins.clear();
    // The host holds one reference to its Application; more means an add-in kept one.
    if (m_graph.App()) Log(L"Application references after shutdown: " + std::to_wstring(m_graph.App()->RefCount()));
    m_graph.Clear();
}

LRESULT CALLBACK TOfficeHost::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TOfficeHost*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_window = hwnd;
    }
    auto* self = reinterpret_cast<TOfficeHost*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self) self->m_window = nullptr;
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        try {
            Log(L"error in the host window's message " + std::to_wstring(msg));
        } catch (...) {
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK TOfficeHost::DocumentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_NCCREATE)
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<TOfficeHost*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY && self) {
        // Destroyed without its document closing (with the frame, on exit): it leaves the list too.
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        std::erase_if(self->m_documents, [hwnd](const TDocumentWindow& d) { return d.hwnd == hwnd; });
    }
    if (msg == WM_CLOSE && self) {
        try {
            self->CloseBoxClicked(hwnd);
        } catch (...) {
            try {
                Log(L"error in a document window's close");
            } catch (...) {
            }
        }
        return 0;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        ::InflateRect(&rc, -24, -16);
        ::SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
        ::DrawTextW(dc, L"The document window of the stand-in host: the window-handle properties report it.", -1, &rc,
                    DT_LEFT | DT_WORDBREAK);
        ::SelectObject(dc, old);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT TOfficeHost::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        Layout();
        ::InvalidateRect(m_window, nullptr, TRUE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_window, &ps);
        Paint(dc);
        ::EndPaint(m_window, &ps);
        return 0;
    }
    case WM_LBUTTONUP: {
        const POINT pt = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        for (TTabButton& b : m_buttons)
            if (::PtInRect(&b.bounds, pt)) {
                Click(b);
                break;
            }
        return 0;
    }
    case kRunAutomation:
        RunAutomation();
        return 0;
    case kLayoutDocuments:
        Layout();
        return 0;
    case WM_TIMER:
        if (wp == kDialogTimer) {
            CloseThreadDialogs();
            return 0;
        }
        if (wp == kParametersTimer) {
            AnswerParameters();
            return 0;
        }
        if (wp == kStormTimer) {
            StormTick();
            return 0;
        }
        ::KillTimer(m_window, wp);
        LogTopLevelWindows();
        LogScriptEditors();
        LogCompletionList();
        if (m_options.eventLog) LogEventLogs();
        if (!m_options.screenshot.empty()) {
            const bool saved = SaveScreen(m_options.screenshot);
            Log((saved ? L"screenshot " : L"cannot save the screenshot ") + m_options.screenshot);
            if (!saved) Fail(3);
        }
        if (wp == kExitTimer && m_callDepth > 0) {
            // A click is still running (a modal message box, say): close its dialogs and try again, so
            // that the add-in is never released under its own feet.
            CloseThreadDialogs();
            m_options.screenshot.clear();
            ::SetTimer(m_window, kExitTimer, 200, nullptr);
        } else if (wp == kExitTimer) {
            Close();
        }
        return 0;
    case WM_CLOSE:
        if (m_options.refuseClose)
            Log(L"close refused: \"" + WindowText(m_window) + L"\"");
        else
            Close();
        return 0;
    case WM_DESTROY:
        Shutdown();
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(m_window, msg, wp, lp);
    }
}

int TOfficeHost::Run() {
    ::ShowWindow(m_window, SW_SHOWNORMAL);
    ::UpdateWindow(m_window);
    ::PostMessageW(m_window, kRunAutomation, 0, 0);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return m_exitCode;
}

// Calls DllRegisterServer of the DLL at `path` (forward slashes allowed).
HRESULT RegisterServer(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    UniqueHmodule module(::LoadLibraryW(path.c_str()));
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto fn =
        reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllRegisterServer")));
    if (!fn) return HRESULT_FROM_WIN32(::GetLastError());
    return fn();
}

} // namespace

int main() {
    const Options options = ParseOptions();
    const THostInfo* host = HostNamed(options.app);
    if (options.usage || !host) {
        Log(L"usage: officehost [--app word|excel|powerpoint|onenote|publisher|access|infopath|visio|project|unknown]\n"
            L"                  [--register DLL] [--click ID | --fire [PATH.]EVENT | --page CAPTION | --page-script TEXT |\n"
            L"                   --page-run | --call NAME[(VALUE, ...)] | --browse NAME | --close-document]...\n"
            L"                  [--screenshot FILE.png|.bmp] [--exit-after MS] [--frame-hwnd] [--no-application2] [--event-log]\n"
            L"                  [--refuse-close] [--storm [PATH.]EVENT:N] [--ctrl-break-after MS]\n"
            L"                  [--nil PATH]... [--empty PATH]... [--fail PATH]... [--script TEXT (\\n ends a line)]\n"
            L"                  [--type TEXT (typed key by key into the Script Editor, not run)]\n"
            L"exit codes: 0 all went well, 1 the add-in did not load, 2 a click failed or found no button,\n"
            L"            3 the screenshot was not saved, 4 an event was not found, 64 bad arguments");
        return 64;
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    if (FAILED(::OleInitialize(nullptr))) {
        Log(L"cannot initialise COM");
        return 1;
    }
    int code = 0;
    try {
        if (!options.registerPath.empty()) {
            const HRESULT hr = RegisterServer(options.registerPath);
            Log(L"DllRegisterServer " + options.registerPath + L": " + Hex(hr));
            if (FAILED(hr)) code = 1;
        }
        TOfficeHost office(*host, options);
        if (code == 0 && !office.CreateWindows()) {
            Log(L"cannot create the host's windows");
            code = 1;
        }
        if (code == 0 && !office.ShapeObjects()) code = 64;
        if (code == 0) {
            office.LoadAddins();
            office.BuildTab();
            code = office.Run();
        }
        office.Shutdown();
    } catch (const THostError& e) {
        Log(L"the stand-in host cannot play " + options.app + L": " + e.text);
        code = 1;
    } catch (...) {
        Log(L"the stand-in host failed");
        code = 1;
    }
    ::OleUninitialize();
    Log(L"exit " + std::to_wstring(code));
    return code;
}
