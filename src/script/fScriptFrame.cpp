// The script globals object and the script objects' class factories. See fScriptFrame.h.
#include "script/fScriptFrame.h"

#include "com/ComServEx.h"
#include "common/qsError.h"
#include "script/uScriptStop.h"
#include "ui/uParentedWnd.h"

#include <typeindex>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

TBrowseValueHandler& BrowseValueHandler() {
    static TBrowseValueHandler handler;
    return handler;
}

void CreateScriptGlobalsFactory() {
    if (ComClassManager().GetFactoryFromClass(std::type_index(typeid(TScriptGlobals)))) return;
    new TScriptObjectFactory(
        ComServer(), ComClassOf<TScriptGlobals>({InterfaceEntryOf<TScriptGlobals, IScriptGlobals>(IID_IScriptGlobals)}),
        CLSID_ScriptGlobals, ciInternal, tmApartment);
}

} // namespace

void InitializeScriptObjects(TBrowseValueHandler browseValue) noexcept {
    try {
        BrowseValueHandler() = std::move(browseValue);
        CreateScriptGlobalsFactory();
        CreateScriptDebugFactory();
    }
    QS_CATCH_TRACE(L"InitializeScriptObjects")
}

TBrowseValueHandler SetBrowseValueHandler(TBrowseValueHandler handler) {
    return std::exchange(BrowseValueHandler(), std::move(handler));
}

void TScriptGlobals::Initialize() {
    TPMAutoObject::Initialize();
    FParent = {};
}

STDMETHODIMP TScriptGlobals::BrowseObject(VARIANT Value) {
    try {
        ThrowIfScriptStopped();
        ui::TControl* parent = FParent.Get();
        ui::TForm* ownerForm = parent ? parent->Form() : nullptr;
        HWND owner = nullptr;
        if (auto* parented = dynamic_cast<ui::TParentedForm*>(ownerForm)) owner = parented->WndParent();
        // A script variable arrives as a reference to it.
        const VARIANT* value = &Value;
        while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
        // A copy of the handler: the window it opens may run code that installs another.
        if (const TBrowseValueHandler handler = BrowseValueHandler()) handler(ownerForm, *value, owner);
        return S_OK;
    } catch (...) {
        return SafeCallException();
    }
}

STDMETHODIMP TScriptGlobals::get_Debug(IScriptDebug** Value) {
    try {
        if (!Value) return E_POINTER;
        *Value = nullptr;
        *Value = NewScriptDebug(FStrings).Detach();
        return S_OK;
    } catch (...) {
        return SafeCallException();
    }
}

ComPtr<IScriptGlobals> NewScriptGlobals(ui::TControl* parent, std::weak_ptr<PaneLines> strings) {
    CreateScriptGlobalsFactory();
    CreateScriptDebugFactory();
    TPMComObject* object =
        FactoryForClass(std::type_index(typeid(TScriptGlobals)), L"ScriptGlobals").CreateComObject(nullptr);
    ComPtr<IScriptGlobals> globals;
    if (FAILED(object->ObjQueryInterface(IID_IScriptGlobals, reinterpret_cast<void**>(globals.GetAddressOf()))) ||
        !globals) {
        delete object;
        ThrowHr(E_NOINTERFACE);
    }
    auto* self = static_cast<TScriptGlobals*>(globals.Get());
    self->SetParent(parent);
    self->SetStrings(std::move(strings));
    return globals;
}

} // namespace qs
