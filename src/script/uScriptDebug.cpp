// The debug object and the text it prints for each kind of value. See uScriptDebug.h.
#include "script/uScriptDebug.h"

#include "com/ComServEx.h"
#include "common/qsError.h"
#include "script/uScriptStop.h"
#include "typeinfo/uTypeInfo.h"

#include <typeindex>

using Microsoft::WRL::ComPtr;

namespace qs {

std::wstring DebugPrintText(const VARIANT& Value) {
    // Scripts pass their variables by reference.
    const VARIANT* v = &Value;
    while (V_VT(v) == (VT_BYREF | VT_VARIANT)) {
        if (!V_VARIANTREF(v)) return L"<Unknown>";
        v = V_VARIANTREF(v);
    }
    switch (V_VT(v)) {
    case VT_EMPTY:
        return L"<Empty>";
    case VT_NULL:
        return L"<NULL>";
    case VT_I2:
        return std::to_wstring(static_cast<long long>(V_I2(v)));
    case VT_I4:
        return std::to_wstring(static_cast<long long>(V_I4(v)));
    case VT_UI1:
        return std::to_wstring(static_cast<long long>(V_UI1(v)));
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        // The general format with 15 significant digits, and the user's short date and time formats.
        return VariantToText(*v);
    case VT_BSTR:
        return BstrText(V_BSTR(v));
    case VT_DISPATCH:
        return L"<Object>";
    case VT_ERROR:
        return L"<Error: 0x" + HexDigits(static_cast<unsigned long>(V_ERROR(v)), 8) + L">";
    case VT_BOOL:
        return V_BOOL(v) ? L"True" : L"False";
    case VT_VARIANT:
        return L"<Variant>";
    case VT_UNKNOWN:
        return L"<IUnknown>";
    default:
        return L"<Unknown>";
    }
}

void AddTextLines(PaneLines& Strings, const std::wstring& Text) {
    size_t start = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != L'\r' && Text[i] != L'\n') continue;
        Strings.AddLine(Text.substr(start, i - start));
        if (Text[i] == L'\r' && i + 1 < Text.size() && Text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    Strings.AddLine(Text.substr(start));
}

STDMETHODIMP TScriptDebug::Print(VARIANT Value) {
    try {
        ThrowIfScriptStopped();
        const std::wstring text = DebugPrintText(Value);
        if (const std::shared_ptr<PaneLines> strings = FStrings.lock()) AddTextLines(*strings, text);
        return S_OK;
    } catch (...) {
        return SafeCallException();
    }
}

void CreateScriptDebugFactory() {
    if (ComClassManager().GetFactoryFromClass(std::type_index(typeid(TScriptDebug)))) return;
    new TScriptObjectFactory(ComServer(),
                             ComClassOf<TScriptDebug>({InterfaceEntryOf<TScriptDebug, IScriptDebug>(IID_IScriptDebug)}),
                             CLSID_ScriptDebug, ciMultiInstance, tmApartment);
}

ComPtr<IScriptDebug> NewScriptDebug(std::weak_ptr<PaneLines> strings) {
    CreateScriptDebugFactory();
    TPMComObject* object =
        FactoryForClass(std::type_index(typeid(TScriptDebug)), L"ScriptDebug").CreateComObject(nullptr);
    ComPtr<IScriptDebug> debug;
    if (FAILED(object->ObjQueryInterface(IID_IScriptDebug, reinterpret_cast<void**>(debug.GetAddressOf()))) || !debug) {
        delete object;
        ThrowHr(E_NOINTERFACE);
    }
    static_cast<TScriptDebug*>(debug.Get())->SetStrings(std::move(strings));
    return debug;
}

} // namespace qs
