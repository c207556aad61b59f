// The About window.
#include "addin/fAbout.h"

#include "addin/uAddinGlobals.h"
#include "com/ComServEx.h"
#include "common/qsHandles.h"
#include "common/uBitness.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace qs {

namespace {

constexpr wchar_t kDescription[] =
    L"Quillspar is an object browser for developers that lives inside the Office applications. Starting "
    L"from the host's Application and its active objects, it lists every property, method and event that "
    L"an object's type information declares, shows current values, calls methods, follows objects into "
    L"further windows, walks collections, logs events, and runs VBScript or JScript against the live "
    L"objects.";

// Case-insensitive search of a UTF-16 text in registry data (which need not be aligned or terminated).
bool DataHoldsText(const std::vector<BYTE>& data, const std::wstring& text) {
    if (text.empty() || data.size() < text.size() * sizeof(wchar_t)) return false;
    for (size_t offset = 0; offset < sizeof(wchar_t); ++offset) {
        std::wstring haystack((data.size() - offset) / sizeof(wchar_t), L'\0');
        std::copy_n(data.data() + offset, haystack.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(haystack.data()));
        for (size_t i = 0; i + text.size() <= haystack.size(); ++i)
            if (::CompareStringOrdinal(haystack.c_str() + i, static_cast<int>(text.size()), text.c_str(),
                                       static_cast<int>(text.size()), TRUE) == CSTR_EQUAL)
                return true;
    }
    return false;
}

} // namespace

std::wstring ModuleVersion(HMODULE module) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)); // RT_VERSION
    HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const BYTE* block = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    const DWORD size = info ? ::SizeofResource(module, info) : 0;
    // The fixed part follows the block's key "VS_VERSION_INFO"; it starts with its signature.
    for (DWORD at = 0; block && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO fixed;
        std::copy_n(block + at, sizeof fixed, reinterpret_cast<BYTE*>(&fixed));
        if (fixed.dwSignature != 0xFEEF04BD) continue;
        wchar_t text[64];
        std::swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
                      HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
        return text;
    }
    return {};
}

bool HostDisabledTheAddin(const std::wstring& host, const std::wstring& dllPath) {
    if (host.empty() || dllPath.empty()) return false;
    UniqueHkey office;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office", 0, KEY_READ, office.Put()) != ERROR_SUCCESS)
        return false;
    // Every version's key ("16.0", ...): the host keeps its list under the version it runs as.
    for (DWORD v = 0;; ++v) {
        wchar_t version[256];
        DWORD versionLength = 256;
        const LONG r = ::RegEnumKeyExW(office.Get(), v, version, &versionLength, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue;
        UniqueHkey items;
        const std::wstring path = std::wstring(version) + L"\\" + host + L"\\Resiliency\\DisabledItems";
        if (::RegOpenKeyExW(office.Get(), path.c_str(), 0, KEY_READ, items.Put()) != ERROR_SUCCESS) continue;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, bytes = 0;
            LONG q = ::RegEnumValueW(items.Get(), i, name, &nameLength, nullptr, &type, nullptr, &bytes);
            if (q == ERROR_NO_MORE_ITEMS) break;
            if (q != ERROR_SUCCESS || type != REG_BINARY || bytes == 0 || bytes > (1u << 20)) continue;
            std::vector<BYTE> data(bytes);
            nameLength = 256;
            q = ::RegEnumValueW(items.Get(), i, name, &nameLength, nullptr, &type, data.data(), &bytes);
            if (q == ERROR_SUCCESS && DataHoldsText(data, dllPath)) return true;
        }
    }
    return false;
}

TAboutForm::TAboutForm(HWND AWndParent, const std::wstring& host) : TParentedForm(AWndParent) {
    // A fixed dialog frame: no resizing, no minimise or maximise box.
    LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    ::SetWindowLongPtrW(Handle(), GWL_STYLE, style);
    ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetCaptionW(L"About Quillspar");
    Position = ui::TPosition::ScreenCenter;
    SetClientSize(360, 268);

    ProductLabel = new ui::TLabel(this, L"Quillspar");
    ProductLabel->Name = L"ProductLabel";
    ProductLabel->SetBounds(16, 16, 328, 16);
    const HMODULE module = ui::FrameworkModule();
    const std::wstring version = ModuleVersion(module);
    // The bitness too: a machine may have both DLLs registered, one for each Office.
    VersionLabel = new ui::TLabel(this, L"Version " + (version.empty() ? std::wstring(L"1.0") : version) + L" (" +
                                            kBitnessName + L")");
    VersionLabel->Name = L"VersionLabel";
    VersionLabel->SetBounds(16, 36, 328, 16);
    DescriptionLabel = new ui::TLabel(this, kDescription);
    DescriptionLabel->Name = L"DescriptionLabel";
    DescriptionLabel->SetBounds(16, 62, 328, 84);
    const std::wstring dll = ComServer().ServerFileName(); // as registered, which the host keeps
    PathLabel = new ui::TLabel(this, L"Location: " + dll);
    PathLabel->Name = L"PathLabel";
    PathLabel->SetBounds(16, 152, 328, 16);
    const double started = StartupMilliseconds();
    wchar_t startup[96];
    if (started >= 0)
        std::swprintf(startup, 96, L"Started in this host in %.0f ms", started);
    else
        std::swprintf(startup, 96, L"The start in this host was not measured");
    StartupLabel = new ui::TLabel(this, startup);
    StartupLabel->Name = L"StartupLabel";
    StartupLabel->SetBounds(16, 172, 328, 16);
    DisabledLabel = new ui::TLabel(this, host.empty()                      ? L""
                                         : HostDisabledTheAddin(host, dll) ? L"Listed among " + host + L"'s disabled items"
                                                                           : L"Not among " + host + L"'s disabled items");
    DisabledLabel->Name = L"DisabledLabel";
    DisabledLabel->SetBounds(16, 192, 328, 16);
    btnOK = new ui::TButton(this, L"OK");
    btnOK->Name = L"btnOK";
    btnOK->ModalResult = IDOK;
    btnOK->Default = true;
    btnOK->SetBounds(272, 232, 72, 24);
}

void ShowAboutWindow(HWND AWndParent, const std::wstring& host) {
    // Closing the host window while the About window is up closes it for good; the holder frees it.
    const ui::TFormHolder<TAboutForm> form(AWndParent, host);
    form->ShowModal();
}

} // namespace qs
