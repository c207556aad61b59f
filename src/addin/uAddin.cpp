// The add-in container, its factory and Office registration, the keyboard hook and the module's
// start-up. See uAddin.h.
#include "addin/uAddin.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "addin/uAddinGlobals.h"
#include "ui/uControls.h"
#include "common/uDebugTrace.h"
#include "ui/uOptions.h"
#include "ui/uParentedWnd.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace qs {

const CLSID CLSID_QuillsparAddin = {0x7C0BD4A5, 0x6014, 0x4E6C, {0xBA, 0x95, 0x4B, 0xBD, 0x7D, 0x4F, 0x96, 0xC0}};

namespace {

HHOOK g_keyboardHook = nullptr;

std::wstring FriendlyName() {
    wchar_t buffer[256];
    const int n = ::LoadStringW(ui::FrameworkModule(), kFriendlyNameResource, buffer, 256);
    return n > 0 ? std::wstring(buffer, static_cast<size_t>(n)) : L"Quillspar by Halvenmoor";
}

// The hosts' add-in keys lie under this key, in its Office subkey or beside it.
const wchar_t kAddinKeysRoot[] = L"Software\\Microsoft\\";

// The add-in key of a host, below kAddinKeysRoot.
std::wstring AddinKeyPath(size_t kind, const std::wstring& progId) {
    const TOfficeAppInfo& app = OfficeApps()[kind];
    const wchar_t* parent = app.addinKeyParent == TAddinKeyParent::Office ? L"Office\\" : L"";
    return parent + std::wstring(app.registryName) + L"\\Addins\\" + progId;
}

} // namespace

const std::array<const wchar_t*, kOfficeAppCount>& AppRegistryNames() {
    // One name per row of the host table, in its order.
    static const auto names = [] {
        std::array<const wchar_t*, kOfficeAppCount> n{};
        for (size_t i = 0; i < n.size(); ++i) n[i] = OfficeApps()[i].registryName;
        return n;
    }();
    return names;
}

// ---- TComAddinContainer ----

TComAddinContainer::~TComAddinContainer() {
    try {
        fAddin.reset();
    }
    QS_CATCH_TRACE(L"~TComAddinContainer")
    HostApplication.Reset();
    fApplication.Reset();
}

STDMETHODIMP TComAddinContainer::OnConnection(IDispatch* Application, ext_ConnectMode, IDispatch*, SAFEARRAY**) {
    NoteConnection();
    return SafeCall([&] {
        fApplication = Application;
        HostApplication = Application;
        if (!Application) return;
        for (const TOfficeAppInfo& app : OfficeApps()) {
            ComPtr<IUnknown> probe;
            if (FAILED(Application->QueryInterface(app.applicationIID, &probe)) || !probe) continue;
            probe.Reset();
            // The first interface answered, in table order, decides the host.
            fAppKind = app.kind;
            fAddin = app.CreateAddin(Application);
            break;
        }
    });
}

STDMETHODIMP TComAddinContainer::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnDisconnection();
    });
}

STDMETHODIMP TComAddinContainer::OnAddInsUpdate(SAFEARRAY** custom) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnAddInsUpdate(custom);
    });
}

STDMETHODIMP TComAddinContainer::OnStartupComplete(SAFEARRAY**) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnStartupComplete();
    });
}

STDMETHODIMP TComAddinContainer::OnBeginShutdown(SAFEARRAY** custom) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnBeginShutdown(custom);
    });
}

STDMETHODIMP TComAddinContainer::GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) {
    if (!RibbonXml) return E_POINTER;
    *RibbonXml = nullptr;
    return SafeCall([&] {
        const std::wstring xml = fAddin ? fAddin->GetCustomUI(BstrText(RibbonID)) : std::wstring();
        *RibbonXml = AllocBstr(xml);
    });
}

STDMETHODIMP TComAddinContainer::OnLoadRibbon(IDispatch* RibbonControl) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnLoadRibbon(RibbonControl);
    });
}

STDMETHODIMP TComAddinContainer::OnGetButtonImage(IDispatch* RibbonControl, IDispatch** retVal) {
    if (!retVal) return E_POINTER;
    *retVal = nullptr;
    return SafeCall([&] {
        if (fAddin) *retVal = fAddin->OnGetButtonImage(RibbonControl).Detach();
        NoteButtonImage();
    });
}

STDMETHODIMP TComAddinContainer::OnButtonClick(IDispatch* RibbonControl) {
    return SafeCall([&] {
        if (fAddin) fAddin->OnButtonClick(RibbonControl);
    });
}

// ---- TComAddinContainerFactory ----

TComAddinContainerFactory::TComAddinContainerFactory(TPMComServer& server)
    : TPMAutoObjectFactory(server,
                           ComClassOf<TComAddinContainer>({
                               InterfaceEntryOf<TComAddinContainer, IAddin>(IID_IAddin),
                               InterfaceEntryOf<TComAddinContainer, IDTExtensibility2>(IID_IDTExtensibility2),
                               InterfaceEntryOf<TComAddinContainer, IRibbonExtensibility>(IID_IRibbonExtensibility),
                           }),
                           CLSID_QuillsparAddin, ciMultiInstance, tmApartment) {}

void TComAddinContainerFactory::UpdateRegistry(bool Register) {
    DebugTrace(L"enter TComAddinContainerFactory.UpdateRegistry");
    {
        TDebugScope scope;
        TPMAutoObjectFactory::UpdateRegistry(Register);
    }
    const std::wstring progId = ProgID();
    if (FComServer->RegScope() == TRegScope::User) {
        UpdateAddinKeys(HKEY_CURRENT_USER, Register, progId);
        if (Register) ClearDisabledItems();
    } else if (Register) {
        TDebugScope scope;
        DebugTrace(L"TComAddinContainerFactory.UpdateRegistry: attempting to update HKEY_LOCAL_MACHINE");
        try {
            UpdateAddinKeys(HKEY_LOCAL_MACHINE, true, progId);
        } catch (...) {
            DebugTrace(L"TComAddinContainerFactory.UpdateRegistry: HKEY_LOCAL_MACHINE failed, will install in "
                       L"HKEY_CURRENT_USER");
            UpdateAddinKeys(HKEY_CURRENT_USER, true, progId);
        }
        ClearDisabledItems();
    } else {
        {
            TDebugScope scope;
            try {
                UpdateAddinKeys(HKEY_LOCAL_MACHINE, false, progId);
            } catch (...) {
                DebugTrace(L"TComAddinContainerFactory.UpdateRegistry: HKEY_LOCAL_MACHINE failed");
            }
        }
        UpdateAddinKeys(HKEY_CURRENT_USER, false, progId);
    }
    DebugTrace(L"exit TComAddinContainerFactory.UpdateRegistry");
}

void UpdateAddinKeys(HKEY root, bool Register, const std::wstring& progId) {
    std::vector<std::wstring> keys;
    for (size_t kind = 0; kind < AppRegistryNames().size(); ++kind) keys.push_back(AddinKeyPath(kind, progId));
    const TRegTarget target{root, kAddinKeysRoot};
    if (!Register) {
        for (const std::wstring& key : keys) {
            DebugTrace(L"TComAddinContainerFactory.UpdateRegistry: deleting key " + target.prefix + key);
            // The user's Office keys that the registration created go with it when nothing else is in them.
            if (root == HKEY_CURRENT_USER)
                DeleteRegKeysAndEmptyParents(target, {key});
            else
                DeleteRegKeys(target, {key});
        }
        return;
    }
    const std::wstring friendly = FriendlyName();
    std::vector<TRegValue> values;
    for (const std::wstring& key : keys) {
        values.push_back({key, L"FriendlyName", friendly});
        values.push_back({key, L"LoadBehavior", {}, 3});
    }
    WriteRegValues(target, values, [](const std::wstring& key) {
        DebugTrace(L"TComAddinContainerFactory.UpdateRegistry: creating key " + key);
    });
}

void ClearDisabledItems() noexcept {
    try {
        wchar_t file[MAX_PATH + 1] = L"";
        const DWORD n = ::GetModuleFileNameW(ui::FrameworkModule(), file, MAX_PATH);
        if (n == 0) return;
        // The module path's UTF-16LE bytes, upper-cased as ASCII byte by byte.
        auto upper = [](unsigned char b) { return static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 32 : b); };
        std::vector<unsigned char> pattern;
        for (DWORD i = 0; i < n; ++i) {
            pattern.push_back(upper(static_cast<unsigned char>(file[i] & 0xFF)));
            pattern.push_back(upper(static_cast<unsigned char>(file[i] >> 8)));
        }
        for (const wchar_t* app : AppRegistryNames()) {
            for (int version = 12; version <= 17; ++version) {
                wchar_t path[256];
                std::swprintf(path, 256, L"Software\\Microsoft\\Office\\%d.0\\%ls\\Resiliency\\DisabledItems", version,
                              app);
                UniqueHkey key;
                if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) continue;
                std::vector<std::wstring> doomed;
                for (DWORD i = 0;; ++i) {
                    try {
                        wchar_t name[16384];
                        DWORD nameLen = 16384, size = 0, type = 0;
                        const LONG r = ::RegEnumValueW(key.Get(), i, name, &nameLen, nullptr, &type, nullptr, &size);
                        if (r == ERROR_NO_MORE_ITEMS) break;
                        if (r != ERROR_SUCCESS || size == 0) continue;
                        std::vector<unsigned char> data(size);
                        DWORD read = size;
                        if (::RegQueryValueExW(key.Get(), name, nullptr, nullptr, data.data(), &read) != ERROR_SUCCESS ||
                            read == 0)
                            continue;
                        data.resize(read);
                        std::transform(data.begin(), data.end(), data.begin(), upper);
                        if (std::search(data.begin(), data.end(), pattern.begin(), pattern.end()) != data.end())
                            doomed.emplace_back(name, nameLen);
                    }
                    QS_CATCH_TRACE(L"ClearDisabledItems: one value")
                }
                // Deleted after the walk, so the enumeration's indexes stay valid.
                for (const auto& name : doomed) ::RegDeleteValueW(key.Get(), name.c_str());
            }
        }
    }
    QS_CATCH_TRACE(L"ClearDisabledItems")
}

// ---- the keyboard hook ----

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && msg && (wParam & PM_REMOVE) &&
            (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || (msg->message == WM_CHAR && ForwardAllKeys))) {
            const WPARAM vk = msg->wParam;
            const bool listedKey =
                vk == VK_BACK || vk == VK_DELETE || vk == VK_TAB || vk == VK_SPACE || vk == VK_UP || vk == VK_DOWN;
            if (listedKey || ForwardAllKeys || ::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0 ||
                (msg->lParam & 0x01000000)) {
                if (ui::FindOwnControl(msg->hwnd)) {
                    if (!ui::PreTranslateFrameworkMessage(*msg)) {
                        ::TranslateMessage(msg);
                        ::DispatchMessageW(msg);
                    }
                    // The host's own loop gets nothing to do with it.
                    msg->message = WM_NULL;
                }
            }
        }
    }
    QS_CATCH_TRACE(L"GetMessageHook")
    return ::CallNextHookEx(g_keyboardHook, code, wParam, lParam);
}

bool KeyboardHookInstalled() noexcept { return g_keyboardHook != nullptr; }

void InstallKeyboardHook() noexcept {
    if (!g_keyboardHook) g_keyboardHook = ::SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, ::GetCurrentThreadId());
}

void RemoveKeyboardHook() noexcept {
    if (g_keyboardHook) ::UnhookWindowsHookEx(g_keyboardHook);
    g_keyboardHook = nullptr;
}

} // namespace qs
