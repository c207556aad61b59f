// The browser's window-free decisions: property tree membership and order, node values and images,
// and the enumerator page's item values and captions. See uBrowserModel.h.
#include "browser/uBrowserModel.h"

#include "browser/uBrowserText.h"

#include <algorithm>
#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

bool IsPutAccessor(const TTypeElement& e) noexcept {
    return e.InvokeKind() == INVOKE_PROPERTYPUT || e.InvokeKind() == INVOKE_PROPERTYPUTREF;
}

// The element types an automation array holds whose values are at most eight bytes: a BSTR or an
// interface pointer, a number, a date, a currency, an error code or a Boolean. They all live in the
// value field of a VARIANT, whose members start at one address.
bool FitsValueField(VARTYPE vt) noexcept {
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_ERROR:
    case VT_BOOL: case VT_DISPATCH: case VT_UNKNOWN:
        return true;
    default:
        return false;
    }
}

// Reads the element of `array` at `indices` into `element`, as a value of the element type `vt`;
// false when it cannot be read. SafeArrayGetElement hands out copies (a new BSTR, a referenced
// interface, a copied VARIANT or record), which `element` then owns.
bool ReadElement(SAFEARRAY* array, VARTYPE vt, LONG* indices, Variant& element) {
    if (vt == VT_VARIANT) return SUCCEEDED(::SafeArrayGetElement(array, indices, element.Put()));
    if (vt == VT_DECIMAL) {
        DECIMAL value{};
        if (FAILED(::SafeArrayGetElement(array, indices, &value))) return false;
        // A DECIMAL covers the VARIANT's type field: the type is written after it.
        element.Clear();
        V_DECIMAL(&element.Get()) = value;
        V_VT(&element.Get()) = VT_DECIMAL;
        return true;
    }
    if (vt == VT_RECORD) {
        ComPtr<IRecordInfo> info;
        if (FAILED(::SafeArrayGetRecordInfo(array, &info)) || !info) return false;
        // The element is copied into a record made by the array's own record info; the value gets the
        // platform's copy of that record, so that VariantClear frees it the way VariantCopy allocated it.
        void* record = info->RecordCreate();
        if (!record) return false;
        bool read = false;
        if (SUCCEEDED(::SafeArrayGetElement(array, indices, record))) {
            VARIANT borrowed;
            ::VariantInit(&borrowed);
            V_VT(&borrowed) = VT_RECORD;
            V_RECORD(&borrowed) = record;
            V_RECORDINFO(&borrowed) = info.Get();
            read = SUCCEEDED(::VariantCopy(element.Put(), &borrowed));
        }
        info->RecordDestroy(record);
        return read;
    }
    if (!FitsValueField(vt) || ::SafeArrayGetElemsize(array) > sizeof(LONGLONG)) return false;
    VARIANT value{};
    ::VariantInit(&value);
    if (FAILED(::SafeArrayGetElement(array, indices, &V_I8(&value)))) return false;
    V_VT(&value) = vt;
    element = Variant::Attach(value);
    return true;
}

} // namespace

std::vector<TTypeElement*> PropertyTreeMembers(const TDispatch& object) {
    const TTypeElementList& props = object.Properties();
    std::vector<TTypeElement*> members;
    std::vector<int> shown;
    for (size_t i = 0; i < props.size(); ++i) {
        TTypeElement* e = props[i].get();
        if (std::find(shown.begin(), shown.end(), e->MemID()) != shown.end()) continue;
        if (auto* f = dynamic_cast<TFunctionElement*>(e); f && !f->Params().empty()) continue;
        if (IsPutAccessor(*e)) {
            // The getter, when one follows, stands for the member.
            const auto getter =
                std::find_if(props.begin() + static_cast<std::ptrdiff_t>(i) + 1, props.end(), [e](const auto& later) {
                    return later->InvokeKind() == INVOKE_PROPERTYGET && later->MemID() == e->MemID();
                });
            if (getter != props.end()) continue;
        }
        members.push_back(e);
        shown.push_back(e->MemID());
    }
    // The order the tree control sorts captions in.
    std::stable_sort(members.begin(), members.end(), [](const TTypeElement* a, const TTypeElement* b) {
        return ::lstrcmpiW(a->Name().c_str(), b->Name().c_str()) < 0;
    });
    return members;
}

int MemberImageIndex(const TTypeElement& element) {
    const auto* p = dynamic_cast<const TPropertyElement*>(&element);
    return p && !p->EnumValues().empty() ? ImageIndexForVarType(VT_I4) : ImageIndexForVarType(element.ElemType());
}

bool MemberOffersExpansion(const TTypeElement& element) {
    const auto* p = dynamic_cast<const TPropertyElement*>(&element);
    return p && (p->ElemType() == VT_DISPATCH || p->ElemType() == VT_VARIANT) && p->EnumValues().empty();
}

bool ValueOffersExpansion(const VARIANT& value) noexcept {
    const VARTYPE t = V_VT(&value) & VT_TYPEMASK;
    return t == VT_VARIANT || (t == VT_DISPATCH && V_DISPATCH(&value));
}

Variant PropertyNodeValue(const TPropertyNode& node, IDispatch* rootObject) {
    switch (node.Kind) {
    case TPropertyNodeKind::Root:
        return Variant::FromDispatch(rootObject);
    case TPropertyNodeKind::Member:
        if (auto* p = dynamic_cast<TPropertyElement*>(node.Element)) return p->Value();
        return Variant();
    case TPropertyNodeKind::Placeholder:
        break;
    }
    return Variant();
}

Variant EnumeratedItemValue(const Variant& item) {
    const VARTYPE vt = item.Type();
    if (!(vt & VT_ARRAY)) return item;
    SAFEARRAY* array = nullptr;
    if (vt & VT_BYREF) array = V_ARRAYREF(&item.Get()) ? *V_ARRAYREF(&item.Get()) : nullptr;
    else array = V_ARRAY(&item.Get());
    const UINT dims = array ? ::SafeArrayGetDim(array) : 0;
    if (dims == 0) return item;
    // Index k of SafeArrayGetElement is dimension k + 1 as SafeArrayGetLBound counts them.
    std::vector<LONG> indices(dims);
    for (UINT d = 1; d <= dims; ++d) {
        LONG lower = 0, upper = 0;
        if (FAILED(::SafeArrayGetLBound(array, d, &lower)) || FAILED(::SafeArrayGetUBound(array, d, &upper)) ||
            upper < lower)
            return item;
        indices[d - 1] = lower;
    }
    VARTYPE elementType = VT_EMPTY;
    if (FAILED(::SafeArrayGetVartype(array, &elementType))) elementType = vt & VT_TYPEMASK;
    Variant element;
    if (!ReadElement(array, elementType, indices.data(), element)) return item;
    return element;
}

std::wstring EnumItemCaption(const VARIANT& value) {
    Variant shown(value);
    if (shown.Type() == VT_DISPATCH && V_DISPATCH(&shown.Get())) {
        IDispatch* object = V_DISPATCH(&shown.Get());
        Variant named = DispatchInvokeByName(object, L"Name", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByName(object, L"Caption", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByName(object, L"Subject", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByID(object, DISPID_VALUE, false);
        shown = std::move(named);
    }
    Variant text;
    if (FAILED(::VariantChangeTypeEx(text.Put(), &shown.Get(), LOCALE_USER_DEFAULT, 0, VT_BSTR)))
        return L"<" + VariantTypeCaption(shown.Type()) + L">";
    std::wstring caption = BstrText(V_BSTR(&text.Get()));
    return caption.empty() ? L"\"\"" : caption;
}

// ---- Filtering ----

std::wstring UpperName(std::wstring name) {
    if (!name.empty()) ::CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

std::vector<size_t> FilterNames(const std::vector<std::wstring>& upperNames, const std::wstring& filter) {
    std::vector<size_t> shown;
    shown.reserve(upperNames.size());
    const std::wstring wanted = UpperName(filter);
    for (size_t i = 0; i < upperNames.size(); ++i)
        if (wanted.empty() || upperNames[i].find(wanted) != std::wstring::npos) shown.push_back(i);
    return shown;
}

// ---- Paths as code ----

const std::vector<TCodeLanguageName>& CodeLanguages() {
    static const std::vector<TCodeLanguageName> languages = {
        {TCodeLanguage::VBScript, L"VBScript"}, {TCodeLanguage::JScript, L"JScript"},
        {TCodeLanguage::VBA, L"VBA"},           {TCodeLanguage::PowerShell, L"PowerShell"},
        {TCodeLanguage::CSharp, L"C#"},         {TCodeLanguage::Python, L"Python"}};
    return languages;
}

std::wstring PathAsCode(const std::wstring& root, const std::vector<TPathStep>& steps, TCodeLanguage language) {
    std::wstring text;
    switch (language) {
    case TCodeLanguage::VBScript:
    case TCodeLanguage::JScript:
    case TCodeLanguage::VBA:
        text = root;
        break;
    case TCodeLanguage::PowerShell:
    case TCodeLanguage::CSharp:
    case TCodeLanguage::Python: {
        std::wstring variable = ::CompareStringOrdinal(root.c_str(), -1, L"Application", -1, TRUE) == CSTR_EQUAL
                                    ? std::wstring(L"app")
                                    : root;
        if (!variable.empty()) variable[0] = static_cast<wchar_t>(std::towlower(variable[0]));
        text = (language == TCodeLanguage::PowerShell ? L"$" : L"") + variable;
        break;
    }
    }
    for (const TPathStep& step : steps) {
        if (!step.Name.empty())
            text += L"." + step.Name;
        else if (language == TCodeLanguage::CSharp)
            text += L"[" + std::to_wstring(step.Index) + L"]";
        else
            text += L".Item(" + std::to_wstring(step.Index) + L")";
    }
    return text;
}

} // namespace qs
