// The shared mechanics of the per-host add-ins: ribbon markup, button images, object paths, the common
// buttons, the window-handle rule and the error box of the hosts that show click errors.
#include "addin/uGenericAddin.h"

#include "addin/fAbout.h"
#include "browser/fDispatchBrowser.h"
#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "quillspar.h"
#include "addin/uAddin.h"
#include "script/fScriptForm.h"
#include "ui/uControls.h"
#include "typeinfo/uUtils.h"

#include <ocidl.h>
#include <olectl.h>

#include <new>

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2006/01/customui";
constexpr wchar_t kCrLf[] = L"\r\n";

std::wstring Indent(int level) {
    return std::wstring(static_cast<size_t>(level) * 2, L' ');
}

std::wstring Attribute(const wchar_t* name, const std::wstring& value) {
    return std::wstring(L" ") + name + L"=\"" + value + L"\"";
}

std::wstring ButtonElement(const TRibbonButton& b, int level) {
    return Indent(level) + L"<button" + Attribute(L"id", b.id) + Attribute(L"label", b.label) +
           Attribute(L"size", L"large") + Attribute(L"onAction", L"OnButtonClick") +
           Attribute(L"getImage", L"OnGetButtonImage") + Attribute(L"screentip", b.screentip) +
           Attribute(L"supertip", b.supertip) + L" />" + kCrLf;
}

// A member call by name with the arguments given (rgvarg order: last argument first), as a property get
// or method. DISP_E_EXCEPTION is thrown with the EXCEPINFO's text, code and source.
Variant InvokeByName(IDispatch* object, const std::wstring& name, const std::vector<Variant>& args) {
    if (!object) ThrowHr(E_POINTER);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    QS_THROW_IF_FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    std::vector<VARIANTARG> argv;
    for (const Variant& a : args) argv.push_back(a.Get()); // shallow: `args` keeps ownership
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(argv.size());
    params.rgvarg = argv.empty() ? nullptr : argv.data();
    TExcepInfo excep;
    Variant result;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                      &params, result.Put(), excep.Put(), nullptr);
    if (SUCCEEDED(hr)) return result;
    throw ErrorFromInvoke(hr, excep.Filled());
}

// The text shown for the error being handled. Call only inside a catch block.
std::wstring CaughtErrorText() {
    const TCaughtError e = CaughtException();
    if (!e.Message.empty()) return e.Message;
    if (!e.IsComError) return L"Unexpected error";
    const std::wstring system = SystemMessageForHr(e.Hr);
    return system.empty() ? L"Error " + HResultToName(e.Hr) : system;
}

} // namespace

// ---- ribbon markup ----

TRibbonButton ScriptEditorButton() {
    return {kScriptEditorId, L"Editor", L"Script Editor",
            L"You can run VB or Java script from this window.&#13;&#10;&#13;&#10;"
            L"Type or paste the script and click the 'Run' button.",
            L"Script"};
}

TRibbonButton AboutButton() {
    return {kAboutId, L"About", L"About Quillspar", L"Shows the version of Quillspar and what it does.", L"About"};
}

std::wstring RibbonMarkup(const std::vector<TRibbonGroup>& groups) {
    std::wstring xml =
        L"<customUI" + Attribute(L"xmlns", kCustomUiNamespace) + Attribute(L"onLoad", L"OnLoadRibbon") + L">" + kCrLf;
    xml += Indent(1) + L"<ribbon" + Attribute(L"startFromScratch", L"false") + L">" + kCrLf;
    xml += Indent(2) + L"<tabs>" + kCrLf;
    xml += Indent(3) + L"<tab" + Attribute(L"id", L"QuillsparTab") + Attribute(L"label", L"Quillspar") +
           Attribute(L"visible", L"1") + L">" + kCrLf;
    for (const TRibbonGroup& g : groups) {
        xml += Indent(4) + L"<group" + Attribute(L"id", g.id) + Attribute(L"label", g.label) +
               Attribute(L"visible", L"1") + L">" + kCrLf;
        for (const TRibbonButton& b : g.buttons) xml += ButtonElement(b, 5);
        xml += Indent(4) + L"</group>" + kCrLf;
    }
    xml += Indent(3) + L"</tab>" + kCrLf;
    xml += Indent(2) + L"</tabs>" + kCrLf;
    xml += Indent(1) + L"</ribbon>" + kCrLf;
    xml += L"</customUI>";
    return xml;
}

bool SameButtonId(const std::wstring& a, const std::wstring& b) noexcept {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

const TRibbonButton* FindRibbonButton(const std::vector<TRibbonGroup>& groups, const std::wstring& id) noexcept {
    for (const TRibbonGroup& g : groups)
        for (const TRibbonButton& b : g.buttons)
            if (SameButtonId(b.id, id)) return &b;
    return nullptr;
}

std::wstring RibbonControlId(IDispatch* RibbonControl) {
    if (!RibbonControl) ThrowHr(E_POINTER);
    ComPtr<IRibbonControl> control;
    QS_THROW_IF_FAILED(
        RibbonControl->QueryInterface(IID_IRibbonControl, reinterpret_cast<void**>(control.GetAddressOf())));
    UniqueBstr id;
    QS_THROW_IF_FAILED(control->get_Id(id.Put()));
    return BstrText(id.Get());
}

// ---- images ----

ComPtr<IDispatch> LoadButtonImage(const std::wstring& name) {
    HANDLE icon = ::LoadImageW(ui::FrameworkModule(), name.c_str(), IMAGE_ICON, 48, 48, 0);
    if (!icon) RaiseLastError(L"LoadImageA");
    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_ICON;
    desc.icon.hicon = static_cast<HICON>(icon);
    ComPtr<IPictureDisp> picture;
    // The picture owns the icon from here on and destroys it with itself.
    const HRESULT hr =
        ::OleCreatePictureIndirect(&desc, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr)) {
        ::DestroyIcon(static_cast<HICON>(icon));
        ThrowHr(hr);
    }
    ComPtr<IDispatch> result;
    QS_THROW_IF_FAILED(picture.As(&result));
    return result;
}

// ---- object model access ----

bool DispatchHasMember(IDispatch* object, const std::wstring& name) noexcept {
    if (!object) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, ::GetThreadLocale(), &id));
}

bool IsNilValue(const VARIANT& v) noexcept {
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_DISPATCH: return V_DISPATCH(&v) == nullptr;
    case VT_UNKNOWN: return V_UNKNOWN(&v) == nullptr;
    default: return false;
    }
}

ComPtr<IDispatch> ValueObject(const VARIANT& v) {
    ComPtr<IDispatch> object;
    if (V_VT(&v) == VT_DISPATCH)
        object = V_DISPATCH(&v);
    else if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v))
        V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.GetAddressOf()));
    return object;
}

Variant ReadProperty(IDispatch* object, const std::wstring& name) {
    return InvokeByName(object, name, {});
}

Variant ReadItem(IDispatch* collection, const Variant& index) {
    return InvokeByName(collection, L"Item", {index});
}

LONG ReadCount(IDispatch* collection) {
    Variant count = ReadProperty(collection, L"Count");
    Variant asInteger;
    QS_THROW_IF_FAILED(::VariantChangeType(asInteger.Put(), &count.Get(), 0, VT_I4));
    return V_I4(&asInteger.Get());
}

Variant ReadPath(IDispatch* root, const std::vector<std::wstring>& path) {
    Variant value = Variant::FromDispatch(root);
    for (const std::wstring& name : path) {
        if (IsNilValue(value.Get())) return Variant();
        ComPtr<IDispatch> object = ValueObject(value.Get());
        if (!object) return Variant();
        value = ReadProperty(object.Get(), name);
    }
    if (IsNilValue(value.Get())) return Variant();
    return value;
}

HWND ActiveHwndOf(IDispatch* object, const std::wstring& property) noexcept {
    ULONGLONG handle = 0;
    try {
        if (object && DispatchHasMember(object, property)) {
            Variant value = ReadProperty(object, property);
            Variant asHandle;
            if (SUCCEEDED(::VariantChangeType(asHandle.Put(), &value.Get(), 0, VT_UI8)))
                handle = V_UI8(&asHandle.Get());
        }
    }
    QS_CATCH_TRACE(L"ActiveHwndOf")
    if (handle == 0) return ::GetForegroundWindow();
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
}

// ---- TGenericAddin ----

TGenericAddin::TGenericAddin(IDispatch*) {}
TGenericAddin::~TGenericAddin() = default;

void TGenericAddin::OnStartupComplete() {}
void TGenericAddin::OnDisconnection() {}
std::wstring TGenericAddin::GetCustomUI(const std::wstring&) {
    return {};
}
void TGenericAddin::OnAddInsUpdate(SAFEARRAY**) {}
void TGenericAddin::OnBeginShutdown(SAFEARRAY**) {}
void TGenericAddin::OnLoadRibbon(IDispatch*) {}
ComPtr<IDispatch> TGenericAddin::OnGetButtonImage(IDispatch*) {
    return nullptr;
}
void TGenericAddin::OnButtonClick(IDispatch*) {}
HWND TGenericAddin::GetActiveHwnd() {
    return ::GetForegroundWindow();
}

ComPtr<IDispatch> TGenericAddin::QueryHostApplication(IDispatch* Application, const IID& iid) {
    // The hosts' Application interfaces are dual; the members are read through the dispatch part of the
    // object that answered the host's interface, asked for explicitly rather than assumed from the
    // layout of an interface that no header of ours declares.
    ComPtr<IUnknown> typed;
    HRESULT hr =
        Application ? Application->QueryInterface(iid, reinterpret_cast<void**>(typed.GetAddressOf())) : E_NOINTERFACE;
    if (SUCCEEDED(hr) && !typed) hr = E_NOINTERFACE;
    if (FAILED(hr)) ThrowHr(hr);
    ComPtr<IDispatch> dispatch;
    QS_THROW_IF_FAILED(typed.As(&dispatch));
    return dispatch;
}

bool TGenericAddin::ClickCommonButton(const std::wstring& id) {
    if (SameButtonId(id, kScriptEditorId)) {
        // One new stand-alone script editor per click, owned by the host's active window; it frees
        // itself when closed.
        auto* form = new TScriptForm(nullptr, GetActiveHwnd(), HostApplication.Get());
        form->Show();
        return true;
    }
    if (SameButtonId(id, kAboutId)) {
        ShowAboutWindow(GetActiveHwnd(), RegistryName());
        return true;
    }
    return false;
}

TValueBrowser* TGenericAddin::OpenBrowser(const Variant& value, std::optional<TDispatchBrowserTab> page) {
    if (IsNilValue(value.Get())) return nullptr;
    TValueBrowser* window = BrowseValue(nullptr, value.Get(), GetActiveHwnd());
    if (window && page)
        if (auto* browser = dynamic_cast<TDispatchBrowser*>(window)) browser->ShowTab(*page);
    return window;
}

void TGenericAddin::ShowingErrors(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        try {
            const std::wstring text = CaughtErrorText();
            ShowMessageBox(GetActiveHwnd(), text, L"Error", MB_ICONERROR);
        }
        // Nothing more can be reported; the host must not see the failure.
        QS_CATCH_TRACE(L"TGenericAddin.ShowingErrors")
    }
}

} // namespace qs
