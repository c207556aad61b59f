// qsinspect: a console view of the reflection of any automation object on this machine. Given a
// ProgID or a CLSID it creates the object and prints its interface, every property with its type
// and current value, and every method and parameterized property with its return type and
// parameters, in type-info order. With --script it runs a script file against such objects through
// the DLL's script host, as the script editor does. It shares the DLL's reflection and script code.
#include "browser/fDispatchBrowser.h"
#include "browser/uBrowserText.h"
#include "com/ComServEx.h"
#include "script/fScriptFrame.h"
#include "script/uScriptHost.h"
#include "typeinfo/uEvents.h"
#include "typeinfo/uTypeInfo.h"
#include "typeinfo/uUtils.h"

#include "JsonWriter.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace qs;
using Microsoft::WRL::ComPtr;

namespace {

// Writes to standard output, or with toError to standard error.
void Write(const std::wstring& text, bool toError = false) {
    DWORD mode = 0;
    HANDLE out = ::GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
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
    FILE* stream = toError ? stderr : stdout;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void WriteError(const std::wstring& text) { Write(text, true); }

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

// "0x800401F3 CO_E_CLASSSTRING": the code in hexadecimal and, when it has one, its name.
std::wstring HResultText(HRESULT hr) {
    const std::wstring hex = L"0x" + HexDigits(static_cast<unsigned long>(hr), 8);
    const std::wstring name = HResultToName(hr);
    return name == hex ? hex : hex + L" " + name;
}

// Why an object could not be created: the code and one line saying so.
struct CreateFailure {
    HRESULT hr = S_OK;
    std::wstring message;
};

// Creates the object a ProgID or {CLSID} names; null, with `failure` filled in, when it cannot.
ComPtr<IDispatch> TryCreateObject(const std::wstring& what, CLSID& clsid, CreateFailure& failure) {
    HRESULT hr = what.starts_with(L"{") ? ::CLSIDFromString(what.c_str(), &clsid)
                                        : ::CLSIDFromProgID(what.c_str(), &clsid);
    if (FAILED(hr)) {
        failure = {hr, what + L" names no registered class (" + HResultText(hr) + L")"};
        return nullptr;
    }
    ComPtr<IDispatch> object;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, &object);
    if (FAILED(hr) || !object) {
        if (SUCCEEDED(hr)) hr = E_NOINTERFACE;
        failure = {hr, L"cannot create " + what + L" as an automation object (" + HResultText(hr) + L")"};
        return nullptr;
    }
    return object;
}

// Creates the object a ProgID or {CLSID} names; reports and returns null when it cannot.
ComPtr<IDispatch> CreateObject(const std::wstring& what, CLSID& clsid) {
    CreateFailure failure;
    ComPtr<IDispatch> object = TryCreateObject(what, clsid, failure);
    if (!object) WriteError(L"qsinspect: " + failure.message + L"\n");
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

// Runs the UI thread's message loop while any window of ours is open.
void RunUntilWindowsClosed() {
    MSG msg;
    while (!ui::TForm::AllForms().empty() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!ui::PreTranslateFrameworkMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
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
        WriteError(L"qsinspect: " + what + L" cannot be browsed\n");
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
        if (!saved) WriteError(L"qsinspect: cannot save " + screenshot + L"\n");
        return saved ? 0 : 2;
    }
    RunUntilWindowsClosed();
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

// ---- --json ----

// {"hresult": "0x800A01A8", "name": "...", "message": "..."}: the name as HResultToName gives it,
// the hexadecimal code again when the table has none.
void WriteJsonError(JsonWriter& json, HRESULT hr, const std::wstring& message) {
    json.BeginObject();
    json.Key(L"hresult").String(L"0x" + HexDigits(static_cast<unsigned long>(hr), 8));
    json.Key(L"name").String(HResultToName(hr));
    json.Key(L"message").String(message);
    json.EndObject();
}

// Whether the text form shows a value for the element: a property get, or a dispinterface's property.
bool IsReadable(const TTypeElement& e) {
    if (auto* v = dynamic_cast<const TVarElement*>(&e)) return v->VarKind() == VAR_DISPATCH;
    return e.InvokeKind() == INVOKE_PROPERTYGET;
}

// Reads the element's value as the text form does (a property get in the user's locale), keeping what
// a failed read reports. True with `value` set, or false with the error's code and text set.
bool ReadValue(const TTypeElement& e, Variant& value, HRESULT& errorHr, std::wstring& errorMessage) {
    IDispatch* disp = e.Parent() ? e.Parent()->Disp() : nullptr;
    if (!disp) {
        errorHr = E_POINTER;
        errorMessage = SystemMessageForHr(errorHr);
        return false;
    }
    DISPPARAMS none{};
    TExcepInfo excep;
    HRESULT hr;
    try {
        hr = disp->Invoke(e.MemID(), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.Put(),
                          excep.Put(), nullptr);
    } catch (...) {
        hr = CaughtException().Hr;
    }
    if (SUCCEEDED(hr)) return true;
    value.Clear();
    const ComError error = ErrorFromInvoke(hr, excep.Filled());
    errorHr = error.Hr();
    errorMessage = error.Message();
    return false;
}

void WriteJsonParams(JsonWriter& json, const TFunctionElement& f) {
    json.Key(L"parameters").BeginArray();
    for (const auto& p : f.Params()) {
        const USHORT flags = p->InOut();
        json.BeginObject();
        json.Key(L"name").String(p->Name());
        json.Key(L"type").String(p->TypeName());
        json.Key(L"in").Bool(flags & PARAMFLAG_FIN);
        json.Key(L"out").Bool(flags & PARAMFLAG_FOUT);
        json.Key(L"optional").Bool(flags & PARAMFLAG_FOPT);
        if (flags & PARAMFLAG_FHASDEFAULT) json.Key(L"default").String(VariantToText(p->DefaultValue().Get()));
        std::vector<std::wstring> names;
        const std::wstring text = ParamFlagsText(*p, false);
        for (size_t at = 0; at < text.size();) {
            const size_t comma = std::min(text.find(L',', at), text.size());
            names.push_back(text.substr(at, comma - at));
            at = comma + 1;
        }
        json.Key(L"flags").Strings(names);
        json.EndObject();
    }
    json.EndArray();
}

// The reflection as one JSON object, with the text form's members in the text form's order (the
// properties, then the methods and parameterized properties without the hidden ones), then the events.
// Nothing in it depends on addresses or time, so the same object gives the same bytes.
int InspectJson(const std::wstring& what) {
    JsonWriter json;
    CLSID clsid{};
    CreateFailure failure;
    ComPtr<IDispatch> object = TryCreateObject(what, clsid, failure);
    json.BeginObject();
    json.Key(L"object").String(what);
    if (!object) {
        json.Key(L"error");
        WriteJsonError(json, failure.hr, failure.message);
        json.EndObject();
        Write(json.Text());
        return 2;
    }

    TDispatch d(object.Get());
    json.Key(L"clsid").String(GuidToString(clsid));
    json.Key(L"interface").BeginObject();
    json.Key(L"name").String(d.Name());
    json.Key(L"guid").String(GuidToString(d.Guid()));
    json.EndObject();
    if (!d.HelpFile().empty()) {
        json.Key(L"help").BeginObject();
        json.Key(L"file").String(d.HelpFile());
        json.Key(L"context").Number(d.HelpCtx());
        json.EndObject();
    }

    json.Key(L"members").BeginArray();
    for (const auto& e : d.Properties()) {
        json.BeginObject();
        json.Key(L"name").String(e->Name());
        json.Key(L"kind").String(L"property");
        json.Key(L"access").String(AccessOf(*e));
        auto* p = dynamic_cast<const TPropertyElement*>(e.get());
        const bool showsValue =
            p && e->InvokeKind() != INVOKE_PROPERTYPUT && e->InvokeKind() != INVOKE_PROPERTYPUTREF;
        Variant value;
        HRESULT errorHr = S_OK;
        std::wstring errorMessage;
        const bool read = showsValue && (!IsReadable(*e) || ReadValue(*e, value, errorHr, errorMessage));
        json.Key(L"type").String(PropertyType(*e, read ? &value : nullptr));
        json.Key(L"dispid").Number(e->MemID());
        if (read) {
            const Variant shown = p->SymbolicValue();
            json.Key(L"value").String(NullsToQuestionMarks(BstrText(V_BSTR(&shown.Get()))));
        } else if (showsValue) {
            json.Key(L"error");
            WriteJsonError(json, errorHr, errorMessage);
        }
        json.EndObject();
    }

    size_t hidden = 0;
    for (const auto& f : d.Functions()) {
        if (IsHiddenMemberName(f->Name())) {
            ++hidden;
            continue;
        }
        json.BeginObject();
        json.Key(L"name").String(f->Name());
        json.Key(L"kind").String(f->InvokeKind() == INVOKE_FUNC ? L"method" : L"property");
        if (f->InvokeKind() != INVOKE_FUNC) json.Key(L"access").String(AccessOf(*f));
        json.Key(L"invokeKind").String(InvokeKindText(f->InvokeKind()));
        json.Key(L"type").String(f->ReturnResult() ? f->ReturnResult()->TypeName() : std::wstring());
        json.Key(L"dispid").Number(f->MemID());
        WriteJsonParams(json, *f);
        json.EndObject();
    }
    if (const TEvents* events = d.Events()) {
        for (const auto& f : events->Functions()) {
            json.BeginObject();
            json.Key(L"name").String(f->Name());
            json.Key(L"kind").String(L"event");
            json.Key(L"dispid").Number(f->MemID());
            WriteJsonParams(json, *f);
            json.EndObject();
        }
    }
    json.EndArray();
    json.Key(L"hiddenMethods").Number(static_cast<long long>(hidden));
    json.EndObject();
    Write(json.Text());
    return 0;
}

// ---- --script ----

// Debug.Print lines go to standard output.
class ConsoleLines : public PaneLines {
public:
    void AddLine(const std::wstring& line) override { Write(line + L"\n"); }
};

// The text of a script file: UTF-16 (either byte order) or UTF-8 by its byte-order mark; without one,
// UTF-8 when the bytes are valid UTF-8, else the ANSI code page. False when the file cannot be read.
bool ReadScriptFile(const std::wstring& file, std::wstring& text) {
    FILE* f = _wfopen(file.c_str(), L"rb");
    if (!f) return false;
    std::string bytes;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return false;
    text.clear();
    auto decode = [&](UINT codePage, size_t skip, DWORD flags) {
        const char* data = bytes.data() + skip;
        const int size = static_cast<int>(bytes.size() - skip);
        if (size == 0) return true;
        const int length = ::MultiByteToWideChar(codePage, flags, data, size, nullptr, 0);
        if (length <= 0) return false;
        text.resize(static_cast<size_t>(length));
        return ::MultiByteToWideChar(codePage, flags, data, size, text.data(), length) == length;
    };
    if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
        const bool bigEndian = bytes[0] == '\xFE';
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
            const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
            text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
        }
        return true;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return decode(CP_UTF8, 3, 0);
    return decode(CP_UTF8, 0, MB_ERR_INVALID_CHARS) || decode(CP_ACP, 0, 0);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           ::CompareStringOrdinal(text.c_str() + text.size() - tail.size(), static_cast<int>(tail.size()), tail.c_str(),
                                  static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

// The script objects (of --script, and of every browser window's Script page) are described by the
// DLL's type library; qsinspect sits beside the DLL.
void UseDllTypeLibrary() {
    wchar_t exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dll(exe, n);
    dll.resize(dll.find_last_of(L"\\/") + 1);
    ComServer().SetTypeLibFile(dll + L"quillspar.dll");
}

// Runs a script file through the script host, as the script editor does: "Globals" (global members)
// and "Debug" first, then each object under its name with its type library exposed. Debug.Print goes
// to standard output; a failed run prints the error to standard error and answers 1.
int RunScript(const std::wstring& file, std::wstring language, const std::vector<std::wstring>& objects) {
    std::wstring text;
    if (!ReadScriptFile(file, text)) {
        WriteError(L"qsinspect: cannot read the script file " + file + L"\n");
        return 2;
    }
    if (text.empty()) {
        WriteError(L"qsinspect: the script file " + file + L" is empty\n");
        return 2;
    }
    if (language.empty()) language = EndsWithNoCase(file, L".js") ? L"JavaScript" : L"VBScript";

    const auto lines = std::make_shared<ConsoleLines>();
    ComPtr<IScriptGlobals> globals;
    ComPtr<IScriptDebug> debug;
    try {
        globals = NewScriptGlobals(nullptr, lines);
        QS_THROW_IF_FAILED(globals->get_Debug(&debug));
    } catch (...) {
        WriteError(L"qsinspect: cannot create the script objects (is quillspar.dll beside qsinspect.exe?): " +
                   CaughtException().Message + L"\n");
        return 2;
    }
    TScriptHost host;
    host.NamedObjects().Add(L"Globals", globals.Get(), true);
    host.NamedObjects().Add(L"Debug", debug.Get(), false);
    for (const std::wstring& argument : objects) {
        const size_t equals = argument.find(L'=');
        std::wstring name = equals == std::wstring::npos ? std::wstring() : argument.substr(0, equals);
        const std::wstring what = equals == std::wstring::npos ? argument : argument.substr(equals + 1);
        CLSID clsid{};
        ComPtr<IDispatch> object = CreateObject(what, clsid);
        if (!object) return 2;
        if (name.empty()) {
            const TDispatch reflection(object.Get());
            for (wchar_t c : reflection.Name())
                if (::IsCharAlphaW(c)) name += c;
            if (name.empty()) {
                WriteError(L"qsinspect: " + what + L" has no type information to take its name from; name it: NAME=" +
                           what + L"\n");
                return 2;
            }
        }
        host.NamedObjects().Add(name, object.Get(), false);
        host.ExposedTypeLibs().AddContainingTypeLib(object.Get());
    }

    const TBrowseValueHandler previous =
        SetBrowseValueHandler([](ui::TForm* form, const VARIANT& value, HWND owner) {
            BrowseValue(dynamic_cast<TValueBrowser*>(form), value, owner);
        });
    host.SetCode(text);
    host.SetLanguage(language);
    const HRESULT hr = host.Execute();
    int rc = 0;
    if (FAILED(hr)) {
        WriteError(L"Error executing script: " + HResultToName(hr) + L"\r\n" + host.Error() + L"\n");
        rc = 1;
    }
    // Windows the script opened with BrowseObject stay until the user closes them.
    RunUntilWindowsClosed();
    SetBrowseValueHandler(previous);
    return rc;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ::LocalFree(argv);
    const bool browse = !args.empty() && args[0] == L"--browse";
    const bool script = !args.empty() && args[0] == L"--script";
    const bool json = !args.empty() && args[0] == L"--json";
    UseDllTypeLibrary(); // the script frame of a browser window needs it as much as --script does
    std::wstring target, select, screenshot, language;
    std::vector<std::wstring> objects;
    bool usage = args.empty() || args[0] == L"--help" || args[0] == L"-h";
    if (script) {
        usage = args.size() < 2;
        for (size_t i = 2; !usage && i < args.size(); ++i) {
            if (args[i] == L"--language" && i + 1 < args.size()) language = args[++i];
            else if (args[i].starts_with(L"--")) usage = true;
            else objects.push_back(args[i]);
        }
        if (!usage) target = args[1];
    } else if (browse) {
        usage = args.size() < 2;
        for (size_t i = 2; !usage && i < args.size(); ++i) {
            if (args[i] == L"--select" && i + 1 < args.size()) select = args[++i];
            else if (args[i] == L"--screenshot" && i + 1 < args.size()) screenshot = args[++i];
            else usage = true;
        }
        if (!usage) target = args[1];
    } else if (json) {
        usage = args.size() != 2;
        if (!usage) target = args[1];
    } else if (!usage) {
        usage = args.size() != 1;
        if (!usage) target = args[0];
    }
    if (usage) {
        Write(L"usage: qsinspect [--json] PROGID|{CLSID}\n"
              L"       qsinspect --browse PROGID|{CLSID} [--select MEMBER] [--screenshot FILE.bmp]\n"
              L"       qsinspect --script FILE [--language VBScript|JavaScript] [PROGID | NAME=PROGID]...\n"
              L"The first form prints the object's reflection: interface, properties with their current values,\n"
              L"methods and parameterized properties with their parameters; with --json, the same and the events\n"
              L"as one JSON object (a failure as {\"object\", \"error\": {\"hresult\", \"name\", \"message\"}}).\n"
              L"The second opens the browser window on the object and runs until it is closed (or, with\n"
              L"--screenshot, saves its picture and closes).\n"
              L"The third runs a script against the objects, each named NAME or after its interface (letters\n"
              L"only); Debug.Print writes to standard output. The language follows the extension (.js is\n"
              L"JavaScript) unless given.\n");
        return !args.empty() && (args[0] == L"--help" || args[0] == L"-h") ? 0 : 1;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    int rc = 3;
    try {
        if (script) rc = RunScript(target, language, objects);
        else if (json) rc = InspectJson(target);
        else rc = browse ? Browse(target, select, screenshot) : Inspect(target);
    } catch (...) {
        const TCaughtError error = CaughtException();
        if (json) {
            JsonWriter out;
            out.BeginObject().Key(L"object").String(target).Key(L"error");
            WriteJsonError(out, error.Hr, error.Message);
            Write(out.EndObject().Text());
        } else {
            WriteError(L"qsinspect: " + (error.Message.empty() ? std::wstring(L"unexpected failure") : error.Message) +
                       L"\n");
        }
    }
    ::CoUninitialize();
    return rc;
}
