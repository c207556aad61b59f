// The reflection of a live automation object (TDispatch) and the two plain invocation helpers.
#include "typeinfo/uTypeInfo.h"

#include "common/qsError.h"
#include "typeinfo/uEvents.h"

using Microsoft::WRL::ComPtr;

namespace qs {

TDispatch::TDispatch(IDispatch* aDispatch) : FDispatch(aDispatch) {
    ComPtr<IDispatch> disp;
    ComPtr<ITypeInfo> ti;
    TypeAttrGuard attr;
    if (aDispatch && SUCCEEDED(aDispatch->QueryInterface(IID_IDispatch, &disp)) && disp &&
        SUCCEEDED(disp->GetTypeInfo(0, LOCALE_SYSTEM_DEFAULT, &ti)) && ti) {
        ReadHelp(ti.Get(), true);
        if (SUCCEEDED(ti->GetTypeAttr(attr.Put(ti.Get()))) && attr) {
            switch (attr->typekind) {
            case TKIND_COCLASS: ReadCoclass(ti.Get(), *attr.Get()); break;
            case TKIND_INTERFACE:
            case TKIND_DISPATCH: ReadInterface(ti.Get(), *attr.Get()); break;
            default: break; // enumerations, records, aliases, modules, unions: nothing to list
            }
        }
    }
    BuildEvents();
}

TDispatch::~TDispatch() {
    // The event sink disconnects while the object is still held; then the object goes, then the lists.
    FEvents.reset();
    FDispatch.Reset();
    FFunctions.clear();
    FProperties.clear();
}

void TDispatch::ReadHelp(ITypeInfo* ti, bool withName) {
    if (withName) {
        UniqueBstr name;
        if (SUCCEEDED(ti->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr)))
            FName = BstrText(name.Get());
    }
    UniqueBstr file;
    DWORD ctx = 0;
    if (SUCCEEDED(ti->GetDocumentation(MEMBERID_NIL, nullptr, nullptr, &ctx, file.Put()))) {
        FHelpCtx = static_cast<int>(ctx);
        FHelpFile = BstrText(file.Get());
    }
}

void TDispatch::ReadCoclass(ITypeInfo* ti, const TYPEATTR& attr) {
    for (UINT i = 0; i < attr.cImplTypes; ++i) {
        HREFTYPE href = 0;
        ComPtr<ITypeInfo> impl;
        TypeAttrGuard implAttr;
        if (FAILED(ti->GetRefTypeOfImplType(i, &href)) || FAILED(ti->GetRefTypeInfo(href, &impl)) || !impl ||
            FAILED(impl->GetTypeAttr(implAttr.Put(impl.Get()))) || !implAttr)
            continue;
        // The first implemented type whose attributes can be read is the one described.
        if (IsEqualGUID(implAttr->guid, attr.guid)) return;
        UniqueBstr name;
        if (SUCCEEDED(impl->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr))) {
            FName = BstrText(name.Get());
            ReadHelp(impl.Get(), false);
        }
        FGUID = implAttr->guid;
        for (UINT j = 0; j < implAttr->cFuncs; ++j) {
            FuncDescGuard fd;
            if (FAILED(impl->GetFuncDesc(j, fd.Put(impl.Get()))) || !fd) continue;
            const INVOKEKIND kind = fd->invkind;
            const int index = static_cast<int>(j);
            // Each element is built from the description read here, not reading it again.
            if (kind == INVOKE_FUNC)
                FFunctions.push_back(std::make_unique<TFunctionElement>(this, impl.Get(), index, fd.Get()));
            else if (kind == INVOKE_PROPERTYGET || kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF)
                FProperties.push_back(std::make_unique<TPropertyElement>(this, impl.Get(), index, fd.Get()));
            else
                FFunctions.push_back(std::make_unique<TPropertyWithParamsElement>(this, impl.Get(), index, fd.Get()));
        }
        return;
    }
}

void TDispatch::ReadInterface(ITypeInfo* ti, const TYPEATTR& attr) {
    FGUID = attr.guid;
    for (UINT i = 0; i < attr.cFuncs; ++i) {
        FuncDescGuard fd;
        if (FAILED(ti->GetFuncDesc(i, fd.Put(ti))) || !fd) continue;
        const INVOKEKIND kind = fd->invkind;
        const SHORT params = fd->cParams;
        const int index = static_cast<int>(i);
        // Each element is built from the description read here, not reading it again.
        const FUNCDESC* desc = fd.Get();
        if (kind == INVOKE_FUNC)
            FFunctions.push_back(std::make_unique<TFunctionElement>(this, ti, index, desc));
        else if (kind == INVOKE_PROPERTYGET && params == 0)
            FProperties.push_back(std::make_unique<TPropertyElement>(this, ti, index, desc));
        else if ((kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF) && params == 1)
            FProperties.push_back(std::make_unique<TPropertyPutElement>(this, ti, index, desc));
        else if (params > 0)
            FFunctions.push_back(std::make_unique<TPropertyWithParamsElement>(this, ti, index, desc));
        else
            FFunctions.push_back(std::make_unique<TFunctionElement>(this, ti, index, desc));
    }
    for (UINT i = 0; i < attr.cVars; ++i) {
        VarDescGuard vd;
        if (FAILED(ti->GetVarDesc(i, vd.Put(ti))) || !vd) continue;
        vd.Reset();
        FProperties.push_back(std::make_unique<TVarElement>(this, ti, static_cast<int>(i)));
    }
}

void TDispatch::BuildEvents() noexcept {
    // The event model is built last, once the lists are complete; whatever fails while building it
    // (out of memory included) leaves the reflection without events rather than failing it.
    FEvents.reset();
    if (!FDispatch) return;
    try {
        FEvents = std::make_unique<TEvents>(this);
    } catch (...) {
        FEvents.reset();
    }
}

Variant DispatchInvokeByID(IDispatch* aDispatch, DISPID aDispID, bool aRaiseOnError) {
    Variant result;
    if (!aDispatch) {
        if (aRaiseOnError) ThrowHr(E_POINTER);
        return result;
    }
    DISPPARAMS none{};
    TExcepInfo excep;
    HRESULT hr;
    try {
        hr = aDispatch->Invoke(aDispID, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, result.Put(),
                               excep.Put(), nullptr);
    } catch (...) {
        hr = CaughtException().Hr;
    }
    excep.Filled();
    if (SUCCEEDED(hr)) return result;
    result.Clear();
    if (!aRaiseOnError) return result;
    throw ErrorFromInvoke(hr, excep.Get());
}

Variant DispatchInvokeByName(IDispatch* aDispatch, const std::wstring& aName, bool aRaiseOnError) {
    if (!aDispatch) {
        if (aRaiseOnError) ThrowHr(E_POINTER);
        return Variant();
    }
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(aName.c_str())};
    HRESULT hr;
    try {
        hr = aDispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    } catch (...) {
        hr = CaughtException().Hr;
    }
    if (FAILED(hr)) {
        if (aRaiseOnError) ThrowHr(hr);
        return Variant();
    }
    return DispatchInvokeByID(aDispatch, id, aRaiseOnError);
}

} // namespace qs
