// qsinspect: a console view of the reflection of any automation object on this machine. Given a
// ProgID or a CLSID it creates the object and prints its interface, every property with its type
// and current value, and every method and parameterized property with its return type and
// parameters, in type-info order. It shares the DLL's reflection code.
#include "browser/fDispatchBrowser.h"
#include "browser/uBrowserText.h"
#include "typeinfo/uTypeInfo.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace qs;
using Microsoft::WRL::ComPtr;

namespace {

void Write(const std::wstring& text) {
    DWORD mode = 0;
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (::GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected output is written as UTF-8.
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// One line per value: line breaks of multi-line values (arrays) are shown as " | ".
std::wstring OneLine(std::wstring s) {
    for (size_t at = 0; (at = s.find(L"\r\n", at)) != std::wstring::npos;) s.replace(at, 2, L" | ");
    for (auto& c : s)
        if (c == L'\r' || c == L'\n') c = L' ';
    return s;
}

std::wstring Pad(std::wstring s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), L' ');
    return s;
}

std::wstring PropertyType(const TTypeElement& e, const Variant* value) {
    const VARTYPE vt = value && value->Type() != VT_EMPTY ? value->Type() : e.ElemType();
    std::wstring text = VarTypeName(vt);
    if (!e.TypeName().empty()) text += L" (" + e.TypeName() + L")";
    return text;
}

std::wstring AccessOf(const TTypeElement& e) {
    switch (e.InvokeKind()) {
    case INVOKE_PROPERTYGET: return L"get";
    case INVOKE_PROPERTYPUT: return L"put";
    case INVOKE_PROPERTYPUTREF: return L"putref";
    default: return L"var";
    }
}

std::wstring Signature(const TFunctionElement& f) {
    std::wstring text = f.Name() + (f.InvokeKind() == INVOKE_FUNC ? L"(" : L"[");
    bool first = true;
    for (const auto& p : f.Params()) {
        if (!first) text += L", ";
        first = false;
        text += (p->Name().empty() ? L"<unnamed>" : p->Name()) + L": " + ParamTypeText(*p, true);
    }
    text += f.InvokeKind() == INVOKE_FUNC ? L")" : L"]";
    if (f.ReturnResult()) text += L": " + f.ReturnResult()->TypeName();
    return text;
}

// Creates the object a ProgID or {CLSID} names; reports and returns null when it cannot.
ComPtr<IDispatch> CreateObject(const std::wstring& what, CLSID& clsid) {
    HRESULT hr = what.starts_with(L"{") ? ::CLSIDFromString(what.c_str(), &clsid)
                                        : ::CLSIDFromProgID(what.c_str(), &clsid);
    if (FAILED(hr)) {
        Write(L"qsinspect: " + what + L" names no registered class (0x" + HexDigits(hr, 8) + L")\n");
        return nullptr;
    }
    ComPtr<IDispatch> object;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, &object);
    if (FAILED(hr) || !object) {
        Write(L"qsinspect: cannot create " + what + L" as an automation object (0x" + HexDigits(hr, 8) + L")\n");
        return nullptr;
    }
    return object;
}

// Saves what the screen shows of a window as a 24-bit BMP file.
bool SaveWindowImage(HWND hwnd, const std::wstring& file) {
    RECT rc;
    if (!::GetWindowRect(hwnd, &rc)) return false;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
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
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY | CAPTUREBLT);
    ::SelectObject(mem, old);
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    bool ok = false;
    if (FILE* f = _wfopen(file.c_str(), L"wb")) {
        ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             std::fwrite(bits, 1, size, f) == size;
        std::fclose(f);
    }
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// Runs the UI thread's messages for about `ms` milliseconds.
void Pump(DWORD ms) {
    const DWORD end = ::GetTickCount() + ms;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        ui::TForm::ProcessMessages();
        ::Sleep(10);
    }
}

// Opens the browser window on the object and runs until every window is closed. With a screenshot
// file it selects the named member (after expanding it), saves the window's picture, and closes.
int Browse(const std::wstring& what, const std::wstring& select, const std::wstring& screenshot) {
    CLSID clsid{};
    ComPtr<IDispatch> object = CreateObject(what, clsid);
    if (!object) return 2;
    const Variant value = Variant::FromDispatch(object.Get());
    object.Reset();
    auto* window = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, value.Get(), nullptr));
    if (!window) {
        Write(L"qsinspect: " + what + L" cannot be browsed\n");
        return 2;
    }
    if (!select.empty()) {
        ui::TTreeView& tree = *window->PropertiesTreeView;
        for (HTREEITEM child : tree.ChildrenOf(window->MainPropertyNode()))
            if (tree.ItemText(child) == select) {
                tree.Expand(child);
                tree.Select(child);
            }
    }
    if (!screenshot.empty()) {
        ::SetWindowPos(window->Handle(), HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE);
        Pump(1500);
        const bool saved = SaveWindowImage(window->Handle(), screenshot);
        window->Close();
        Pump(200);
        if (!saved) Write(L"qsinspect: cannot save " + screenshot + L"\n");
        return saved ? 0 : 2;
    }
    MSG msg;
    while (!ui::TForm::AllForms().empty() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!ui::PreTranslateFrameworkMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}

int Inspect(const std::wstring& what) {
    CLSID clsid{};
    ComPtr<IDispatch> object = CreateObject(what, clsid);
    if (!object) return 2;

    TDispatch d(object.Get());
    Write(L"Object:    " + what + L" " + GuidToString(clsid) + L"\n");
    Write(L"Interface: " + (d.Name().empty() ? L"(no type information)" : d.Name()) + L" " + GuidToString(d.Guid()) +
          L"\n");
    if (!d.HelpFile().empty()) Write(L"Help:      " + d.HelpFile() + L", context " + std::to_wstring(d.HelpCtx()) + L"\n");

    Write(L"\nProperties (" + std::to_wstring(d.Properties().size()) + L"):\n");
    for (const auto& e : d.Properties()) {
        std::wstring line = L"  " + Pad(e->Name(), 24) + L" " + Pad(AccessOf(*e), 6) + L" ";
        if (auto* p = dynamic_cast<const TPropertyElement*>(e.get()); p && e->InvokeKind() != INVOKE_PROPERTYPUT &&
                                                                      e->InvokeKind() != INVOKE_PROPERTYPUTREF) {
            const Variant value = p->Value();
            const Variant shown = p->SymbolicValue();
            line += Pad(PropertyType(*e, &value), 28) + L" = " +
                    OneLine(NullsToQuestionMarks(BstrText(V_BSTR(&shown.Get()))));
        } else {
            line += Pad(PropertyType(*e, nullptr), 28);
        }
        Write(line + L"   [dispid " + DispIdText(e->MemID()) + L"]\n");
    }

    size_t hidden = 0;
    std::vector<const TFunctionElement*> shown;
    for (const auto& f : d.Functions()) {
        if (IsHiddenMemberName(f->Name())) ++hidden;
        else shown.push_back(f.get());
    }
    Write(L"\nMethods and parameterized properties (" + std::to_wstring(shown.size()) + L"):\n");
    for (const TFunctionElement* f : shown)
        Write(L"  " + Signature(*f) + L"   [" + InvokeKindText(f->InvokeKind()) + L", dispid " +
              DispIdText(f->MemID()) + L"]\n");
    if (hidden) Write(L"  (" + std::to_wstring(hidden) + L" IUnknown/IDispatch methods not shown)\n");
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);
    const bool browse = !args.empty() && args[0] == L"--browse";
    std::wstring target, select, screenshot;
    bool usage = args.empty() || args[0] == L"--help" || args[0] == L"-h";
    if (browse) {
        usage = args.size() < 2;
        for (size_t i = 2; !usage && i < args.size(); ++i) {
            if (args[i] == L"--select" && i + 1 < args.size()) select = args[++i];
            else if (args[i] == L"--screenshot" && i + 1 < args.size()) screenshot = args[++i];
            else usage = true;
        }
        if (!usage) target = args[1];
    } else if (!usage) {
        usage = args.size() != 1;
        if (!usage) target = args[0];
    }
    if (usage) {
        Write(L"usage: qsinspect PROGID|{CLSID}\n"
              L"       qsinspect --browse PROGID|{CLSID} [--select MEMBER] [--screenshot FILE.bmp]\n"
              L"The first form prints the object's reflection: interface, properties with their current values,\n"
              L"methods and parameterized properties with their parameters. The second opens the browser window\n"
              L"on the object and runs until it is closed (or, with --screenshot, saves its picture and closes).\n");
        return !args.empty() && (args[0] == L"--help" || args[0] == L"-h") ? 0 : 1;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    int rc = 3;
    try {
        rc = browse ? Browse(target, select, screenshot) : Inspect(target);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qsinspect: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "qsinspect: unexpected failure\n");
    }
    ::CoUninitialize();
    return rc;
}
