// Type elements: the description of one interface member read from its type information, the reads
// of property values, and the calls of methods and parameterized properties with their reports.
#include "typeinfo/uTypeInfo.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "typeinfo/uUtils.h"

#include <cstdio>
#include <optional>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

// Reads GetDocumentation for one member; each out-parameter may be null. Returns false on failure.
bool ReadDocumentation(ITypeInfo* ti, MEMBERID id, std::wstring* name, std::wstring* doc, DWORD* helpCtx,
                       std::wstring* helpFile) {
    UniqueBstr bName, bDoc, bFile;
    DWORD ctx = 0;
    if (FAILED(ti->GetDocumentation(id, name ? bName.Put() : nullptr, doc ? bDoc.Put() : nullptr,
                                    helpCtx ? &ctx : nullptr, helpFile ? bFile.Put() : nullptr)))
        return false;
    if (name) *name = BstrText(bName.Get());
    if (doc) *doc = BstrText(bDoc.Get());
    if (helpCtx) *helpCtx = ctx;
    if (helpFile) *helpFile = BstrText(bFile.Get());
    return true;
}

// The reference handle a member's return type names: a user-defined type reached through one
// pointer, or the user-defined type itself. Other types hold no handle (the TYPEDESC's union then
// holds a pointer or nothing). A handle of 0 is valid: it names the first type of a library.
std::optional<HREFTYPE> ReturnTypeHref(const TYPEDESC& td) {
    if (td.vt == VT_PTR && td.lptdesc && td.lptdesc->vt == VT_USERDEFINED) return td.lptdesc->hreftype;
    if (td.vt == VT_USERDEFINED) return td.hreftype;
    return std::nullopt;
}

// The referenced type's info when it belongs to a library that answers for it, else null.
ComPtr<ITypeInfo> ReferencedTypeInLibrary(ITypeInfo* ti, HREFTYPE href, TYPEKIND* kind) {
    ComPtr<ITypeInfo> ref;
    if (FAILED(ti->GetRefTypeInfo(href, &ref)) || !ref) return nullptr;
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    if (ref->GetContainingTypeLib(&lib, &index) != S_OK || !lib) return nullptr;
    TYPEKIND k = TKIND_MAX;
    if (FAILED(lib->GetTypeInfoType(index, &k))) return nullptr;
    if (kind) *kind = k;
    return ref;
}

std::wstring FormatHr(HRESULT hr) { return HexDigits(static_cast<unsigned long>(hr), 8); }

// The call's arguments as DISPPARAMS: bitwise copies of the values in reverse order. The copies are
// not owned: the caller's array keeps the values.
std::vector<VARIANT> ReversedArgs(const VariantsArray& params) {
    std::vector<VARIANT> args(params.size());
    for (size_t i = 0; i < params.size(); ++i) args[params.size() - 1 - i] = params[i].Get();
    return args;
}

} // namespace

// ---- variant types ----

std::wstring VarTypeName(VARTYPE vt) {
    const wchar_t* name = L"???";
    switch (vt & 0xFFF) {
    case 0: name = L"Empty"; break;
    case 1: name = L"null"; break;
    case 2: name = L"SmallInt"; break;
    case 3: name = L"Integer"; break;
    case 4: name = L"Single"; break;
    case 5: name = L"Double"; break;
    case 6: name = L"Currency"; break;
    case 7: name = L"Date"; break;
    case 8: name = L"String"; break;
    case 9: name = L"Object"; break;
    case 10: name = L"Error"; break;
    case 11: name = L"Boolean"; break;
    case 12: name = L"Variant"; break;
    case 13: name = L"Object"; break;
    case 14: name = L"Decimal"; break;
    case 16: name = L"signed char"; break;
    case 17: name = L"Byte"; break;
    case 18: name = L"unsigned short"; break;
    case 19: name = L"unsigned 32bit"; break;
    case 20: name = L"signed 64bit"; break;
    case 21: name = L"unsigned 64bit"; break;
    case 23: name = L"unsigned int"; break;
    case 24: name = L"Void"; break;
    case 25: name = L"HResult"; break;
    case 26: name = L"Pointer"; break;
    case 27: name = L"SafeArray"; break;
    case 28: name = L"CArray"; break;
    case 29: name = L"UserDefined"; break;
    case 30: name = L"LPSTR"; break;
    case 31: name = L"LPWSTR"; break;
    case 64: name = L"FILETIME"; break;
    case 65: name = L"BLOB"; break;
    case 66: name = L"Stream"; break;
    case 67: name = L"Storage"; break;
    case 68: name = L"STREAMED_OBJECT"; break;
    case 69: name = L"STORED_OBJECT"; break;
    case 70: name = L"BLOB_OBJECT"; break;
    case 71: name = L"Clipboard"; break;
    case 72: name = L"CLSID"; break;
    case 256: name = L"String"; break;
    default: break;
    }
    std::wstring result(name);
    if (vt & VT_ARRAY) result = L"Array of " + result;
    return result;
}

VARTYPE ResolveElemType(const TYPEDESC& td) {
    const TYPEDESC* d = &td;
    // Pointers and safe arrays are followed to what they hold, at any depth.
    while ((d->vt == VT_PTR || d->vt == VT_SAFEARRAY) && d->lptdesc) d = d->lptdesc;
    switch (d->vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_DISPATCH:
    case VT_BOOL: case VT_VARIANT: case VT_UI1: case VT_INT: case VT_VOID:
        return d->vt;
    default:
        return VT_VARIANT;
    }
}

// ---- TTypeElement ----

TTypeElement::TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, NoFuncDesc) noexcept
    : FIndex(aIndex), FTypeInfo(aTypeInfo), FParent(aParent) {}

namespace {

// A member's FUNCDESC, read for the length of one constructor call (null when it cannot be read).
class TFuncDescRead {
public:
    TFuncDescRead(ITypeInfo* typeInfo, int index) {
        if (typeInfo && FAILED(typeInfo->GetFuncDesc(static_cast<UINT>(index), m_fd.Put(typeInfo)))) m_fd.Reset();
    }
    const FUNCDESC* Get() const noexcept { return m_fd.Get(); }

private:
    FuncDescGuard m_fd;
};

} // namespace

TTypeElement::TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex)
    : TTypeElement(aParent, aTypeInfo, aIndex, TFuncDescRead(aTypeInfo, aIndex).Get()) {}

TTypeElement::TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* fd)
    : TTypeElement(aParent, aTypeInfo, aIndex, NoFuncDesc{}) {
    if (!aTypeInfo || !fd) return;
    FInvokeKind = fd->invkind;
    FMemID = fd->memid;
    // One call usually gives name, doc string and help at once; when it fails, each is asked for
    // alone so that whatever can be read still is.
    DWORD ctx = 0;
    const bool allAtOnce = ReadDocumentation(aTypeInfo, FMemID, &FName, &FDocString, &ctx, &FHelpFile);
    if (allAtOnce) FHelpCtx = static_cast<int>(ctx);
    else ReadDocumentation(aTypeInfo, FMemID, &FName, nullptr, nullptr, nullptr);
    FElemType = ResolveElemType(fd->elemdescFunc.tdesc);
    if (const auto href = ReturnTypeHref(fd->elemdescFunc.tdesc)) {
        if (ComPtr<ITypeInfo> ref = ReferencedTypeInLibrary(aTypeInfo, *href, nullptr))
            ReadDocumentation(ref.Get(), MEMBERID_NIL, &fTypeName, nullptr, nullptr, nullptr);
    }
    if (allAtOnce) return;
    if (ReadDocumentation(aTypeInfo, FMemID, nullptr, nullptr, &ctx, &FHelpFile)) FHelpCtx = static_cast<int>(ctx);
    ReadDocumentation(aTypeInfo, FMemID, nullptr, &FDocString, nullptr, nullptr);
}

TTypeElement::~TTypeElement() = default;

IDispatch* TTypeElement::ParentDisp() const noexcept { return FParent ? FParent->Disp() : nullptr; }

// ---- TPropertyElement ----

TPropertyElement::TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, NoFuncDesc) noexcept
    : TTypeElement(aParent, aTypeInfo, aIndex, NoFuncDesc{}) {}

TPropertyElement::TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex)
    : TPropertyElement(aParent, aTypeInfo, aIndex, TFuncDescRead(aTypeInfo, aIndex).Get()) {}

TPropertyElement::TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* fd)
    : TTypeElement(aParent, aTypeInfo, aIndex, fd) {
    if (!aTypeInfo || !fd) return;
    const TYPEDESC& td = fd->elemdescFunc.tdesc;
    if (td.vt != VT_USERDEFINED) return;
    TYPEKIND kind = TKIND_MAX;
    ComPtr<ITypeInfo> enumInfo = ReferencedTypeInLibrary(aTypeInfo, td.hreftype, &kind);
    if (!enumInfo || kind != TKIND_ENUM) return;
    TypeAttrGuard attr;
    if (FAILED(enumInfo->GetTypeAttr(attr.Put(enumInfo.Get()))) || !attr) return;
    for (UINT i = 0; i < attr->cVars; ++i) {
        VarDescGuard vd;
        if (FAILED(enumInfo->GetVarDesc(i, vd.Put(enumInfo.Get()))) || !vd) continue;
        std::wstring name;
        if (!ReadDocumentation(enumInfo.Get(), vd->memid, &name, nullptr, nullptr, nullptr)) continue;
        if (vd->varkind != VAR_CONST || !vd->lpvarValue) continue;
        Variant value;
        if (FAILED(::VariantChangeType(value.Put(), vd->lpvarValue, 0, VT_I4))) continue;
        fEnumValues.push_back(TEnumValue{std::move(name), V_I4(&value.Get())});
    }
}

Variant TPropertyElement::ReadProperty(DISPID id) const {
    Variant result;
    const ComPtr<IDispatch> disp = ParentDisp(); // held across the call
    if (!disp) return result;
    try {
        DISPPARAMS none{};
        const HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                        result.Put(), nullptr, nullptr);
        if (FAILED(hr)) result.Clear();
    } catch (...) {
        TraceCaughtException(L"TTypeElement: reading a value");
        result.Clear();
    }
    return result;
}

Variant TPropertyElement::GetValue() const {
    if (FInvokeKind != INVOKE_PROPERTYGET) return Variant();
    return ReadProperty(FMemID);
}

Variant TPropertyElement::Value() const { return GetValue(); }

Variant TPropertyElement::DefaultValue() const {
    if (FInvokeKind != INVOKE_PROPERTYGET) return Variant();
    return ReadProperty(DISPID_VALUE);
}

Variant TPropertyElement::SymbolicValue() const {
    Variant v = GetValue();
    if (!fEnumValues.empty()) {
        switch (v.Type()) {
        case VT_I2: case VT_I4: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: {
            Variant asInt;
            if (SUCCEEDED(::VariantChangeType(asInt.Put(), &v.Get(), 0, VT_I4))) {
                const LONG n = V_I4(&asInt.Get());
                for (const auto& c : fEnumValues) {
                    if (c.Value != n) continue;
                    v = Variant::FromString(std::to_wstring(n) + L" (" + TypeName() + L"." + c.Name + L")");
                    break;
                }
            }
            break;
        }
        default:
            break;
        }
    }
    if (v.Type() != VT_BSTR) v = Variant::FromString(NullsToQuestionMarks(VariantToText(v.Get())));
    return v;
}

// ---- TVarElement ----

TVarElement::TVarElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex)
    : TPropertyElement(aParent, aTypeInfo, aIndex, NoFuncDesc{}) {
    if (!aTypeInfo) return;
    VarDescGuard vd;
    if (FAILED(aTypeInfo->GetVarDesc(aIndex, vd.Put(aTypeInfo))) || !vd) return;
    FMemID = vd->memid;
    FInvokeKind = 0;
    FVarKind = vd->varkind;
    FElemType = ResolveElemType(vd->elemdescVar.tdesc);
    ReadDocumentation(aTypeInfo, FMemID, &FName, nullptr, nullptr, nullptr);
    DWORD ctx = 0;
    if (ReadDocumentation(aTypeInfo, FMemID, nullptr, nullptr, &ctx, &FHelpFile)) FHelpCtx = static_cast<int>(ctx);
}

Variant TVarElement::GetValue() const {
    if (FVarKind != VAR_DISPATCH) return Variant();
    return ReadProperty(FMemID);
}

// ---- TParamElement ----

void TParamElement::ResolveUserType(ITypeInfo* typeInfo, HREFTYPE href) {
    ComPtr<ITypeInfo> ref;
    if (FAILED(typeInfo->GetRefTypeInfo(href, &ref)) || !ref) return;
    ReadDocumentation(ref.Get(), MEMBERID_NIL, &FTypeName, nullptr, nullptr, nullptr);
    TypeAttrGuard attr;
    if (SUCCEEDED(ref->GetTypeAttr(attr.Put(ref.Get()))) && attr) FGUID = attr->guid;
}

void TParamElement::Fill(ITypeInfo* typeInfo, const ELEMDESC& desc) {
    FTypeName.clear();
    FGUID = GUID_NULL;
    const TYPEDESC& td = desc.tdesc;
    FVarType = td.vt;
    if (td.vt == VT_PTR && td.lptdesc) {
        FVarType = td.lptdesc->vt;
        if (FVarType == VT_USERDEFINED) ResolveUserType(typeInfo, td.lptdesc->hreftype);
    } else if (td.vt == VT_CARRAY && td.lpadesc) {
        FVarType = td.lpadesc->tdescElem.vt;
        if (FVarType == VT_USERDEFINED) ResolveUserType(typeInfo, td.lpadesc->tdescElem.hreftype);
    }
    if (td.vt == VT_USERDEFINED) ResolveUserType(typeInfo, td.hreftype);
    FInOut = desc.paramdesc.wParamFlags;
    FDefaultValue.Clear();
    if ((FInOut & PARAMFLAG_FHASDEFAULT) && desc.paramdesc.pparamdescex)
        FDefaultValue = Variant(desc.paramdesc.pparamdescex->varDefaultValue);
}

std::wstring TParamElement::TypeName() const { return FTypeName.empty() ? VarTypeName(FVarType) : FTypeName; }

// ---- TFunctionElement ----

TFunctionElement::TFunctionElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex)
    : TFunctionElement(aParent, aTypeInfo, aIndex, TFuncDescRead(aTypeInfo, aIndex).Get()) {}

TFunctionElement::TFunctionElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* fd)
    : TTypeElement(aParent, aTypeInfo, aIndex, fd) {
    if (!aTypeInfo || !fd) return;
    const UINT slots = static_cast<UINT>(fd->cParams) + 1;
    TBstrArray names(slots);
    UINT got = 0;
    if (SUCCEEDED(aTypeInfo->GetNames(fd->memid, names.Data(), slots, &got))) {
        for (SHORT i = 0; i < fd->cParams; ++i) {
            auto param = std::make_unique<TParamElement>();
            if (static_cast<UINT>(i) + 1 < got) param->SetName(BstrText(names[i + 1]));
            param->Fill(aTypeInfo, fd->lprgelemdescParam[i]);
            FParams.push_back(std::move(param));
        }
    }
    FReturnResult = std::make_unique<TParamElement>();
    FReturnResult->Fill(aTypeInfo, fd->elemdescFunc);
}

Variant TFunctionElement::Call(VariantsArray& Params) {
    Variant result;
    if (FInvokeKind != INVOKE_FUNC) return result;
    // The call may free this element with the window that owns it (a method that closes the document
    // and its window): what is needed after Invoke is taken first, and `this` is not touched after.
    const ComPtr<IDispatch> disp = ParentDisp();
    if (!disp) return result;
    const std::wstring name = FName;
    const MEMBERID memId = FMemID;
    std::vector<VARIANT> args = ReversedArgs(Params);
    DISPPARAMS dp{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    TExcepInfo excep;
    // Error information left from an earlier call must not be reported as this call's.
    ::SetErrorInfo(0, nullptr);
    HRESULT hr;
    try {
        hr = disp->Invoke(memId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, result.Put(), excep.Put(),
                          nullptr);
    } catch (...) {
        hr = CaughtException().Hr;
    }
    excep.Filled();
    if (FAILED(hr)) {
        result.Clear();
        std::wstring text = L"Error calling " + name + L"()\r\nReturn code 0x" + FormatHr(hr) + L"\r\n";
        const std::wstring description = BstrText(excep.Get().bstrDescription);
        if (!description.empty()) text += description + L"\r\n";
        ComPtr<IErrorInfo> info;
        if (::GetErrorInfo(0, &info) == S_OK && info) {
            UniqueBstr errorText;
            if (SUCCEEDED(info->GetDescription(errorText.Put()))) {
                const std::wstring s = BstrText(errorText.Get());
                if (s != description) text += s + L"\r\n";
            }
        }
        ShowMessageBox(::GetForegroundWindow(), text, L"IDispatch::Invoke Error", MB_OK | MB_ICONERROR);
        return result;
    }
    std::wstring text = L"Successfully called " + name + L"()\r\nReturn value: " + VariantToText(result.Get()) +
                        L"\r\nReturn value type: " + VarTypeName(result.Type()) + L"\r\n";
    if (hr != S_OK) text += L"Noncritical error calling IDispatch::Invoke(): 0x" + FormatHr(hr);
    ShowMessageBox(::GetForegroundWindow(), text, L"Calling " + name + L"()", MB_OK | MB_ICONINFORMATION);
    return result;
}

// ---- TPropertyPutElement ----

TPropertyPutElement::TPropertyPutElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex)
    : TPropertyPutElement(aParent, aTypeInfo, aIndex, TFuncDescRead(aTypeInfo, aIndex).Get()) {}

TPropertyPutElement::TPropertyPutElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* fd)
    : TFunctionElement(aParent, aTypeInfo, aIndex, fd) {
    if (FParams.empty()) return;
    FElemType = FParams.back()->VarType();
    FParams.pop_back();
}

// ---- TPropertyWithParamsElement ----

Variant TPropertyWithParamsElement::Call(VariantsArray& Params) {
    Variant result;
    // As TFunctionElement::Call: nothing of the element after Invoke.
    const ComPtr<IDispatch> disp = ParentDisp();
    if (!disp) return result;
    const std::wstring name = FName;
    const MEMBERID memId = FMemID;
    std::vector<VARIANT> args = ReversedArgs(Params);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS dp{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    WORD flags = DISPATCH_PROPERTYGET;
    if (FInvokeKind == INVOKE_PROPERTYPUT || FInvokeKind == INVOKE_PROPERTYPUTREF) {
        flags = DISPATCH_PROPERTYPUT;
        // The value to assign (the last entry, rgvarg[0]) is the named DISPID_PROPERTYPUT argument; a
        // call without arguments names nothing, since DISPPARAMS may not name more than it holds.
        if (!args.empty()) {
            dp.rgdispidNamedArgs = &putId;
            dp.cNamedArgs = 1;
        }
    }
    HRESULT hr;
    try {
        hr = disp->Invoke(memId, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result.Put(), nullptr, nullptr);
    } catch (...) {
        hr = CaughtException().Hr;
    }
    if (FAILED(hr)) {
        result.Clear();
        ShowMessageBox(::GetForegroundWindow(), L"Error calling " + name + L"()\r\nReturn code 0x" + FormatHr(hr),
                       L"Error", MB_OK | MB_ICONERROR);
        return result;
    }
    ShowMessageBox(::GetForegroundWindow(),
                   L"Successfully called " + name + L"()\r\nReturn value: " + VariantToText(result.Get()) +
                       L"\r\nReturn value type: " + VarTypeName(result.Type()),
                   L"Calling " + name + L"()", MB_OK | MB_ICONINFORMATION);
    return result;
}

} // namespace qs
