// Member texts shared by the browser's pages and the console inspector.
#include "browser/uBrowserText.h"

#include "typeinfo/uUtils.h"

namespace qs {

std::wstring DispIdText(int memId) {
    return std::to_wstring(memId) + L"   (0x" +
           StripLeadingZeros(HexDigits(static_cast<unsigned long>(static_cast<unsigned int>(memId)), 8)) + L")";
}

std::wstring InvokeKindText(int invokeKind) {
    switch (invokeKind) {
    case INVOKE_FUNC: return L"INVOKE_FUNC";
    case INVOKE_PROPERTYGET: return L"INVOKE_PROPERTYGET";
    case INVOKE_PROPERTYPUT: return L"INVOKE_PROPERTYPUT";
    case INVOKE_PROPERTYPUTREF: return L"INVOKE_PROPERTYPUTREF";
    default: return L"0x" + HexDigits(static_cast<unsigned long>(static_cast<unsigned int>(invokeKind)), 8);
    }
}

std::wstring ParamFlagsText(const TParamElement& param, bool withDefault) {
    static const std::vector<DWORD> bits = {1, 2, 4, 8, 16, 32, 64};
    static const std::vector<std::wstring> names = {L"in", L"out", L"LCID", L"retval", L"opt", L"default", L"custdata"};
    std::wstring text = BitsToStrings(param.InOut(), bits, names, L",");
    if (withDefault && (param.InOut() & PARAMFLAG_FHASDEFAULT))
        text += L" \"" + VariantToText(param.DefaultValue().Get()) + L"\"";
    return text;
}

std::wstring ParamTypeText(const TParamElement& param, bool withDefault) {
    const std::wstring flags = ParamFlagsText(param, withDefault);
    return flags.empty() ? param.TypeName() : param.TypeName() + L" (" + flags + L")";
}

std::wstring AccessText(const TTypeElement& element) {
    std::wstring text;
    const TDispatch* owner = element.Parent();
    if (!owner) return text;
    for (const auto& e : owner->Properties()) {
        if (e->MemID() != element.MemID()) continue;
        const wchar_t* word = nullptr;
        switch (e->InvokeKind()) {
        case INVOKE_PROPERTYGET: word = L"Get"; break;
        case INVOKE_PROPERTYPUT: word = L"Put"; break;
        case INVOKE_PROPERTYPUTREF: word = L"PutByRef"; break;
        default: break;
        }
        if (!word) continue;
        if (!text.empty()) text += L"/";
        text += word;
    }
    return text;
}

bool IsHiddenMemberName(const std::wstring& name) {
    static const wchar_t* const hidden[] = {L"QueryInterface", L"AddRef",        L"Release", L"GetTypeInfoCount",
                                            L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};
    for (const wchar_t* h : hidden)
        if (::CompareStringOrdinal(name.c_str(), -1, h, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

} // namespace qs
