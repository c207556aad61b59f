// Member and value-type texts shared by the browser's pages and the console inspector.
#include "browser/uBrowserText.h"

#include "typeinfo/uUtils.h"

#include <algorithm>
#include <iterator>

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

std::wstring VariantTypeCaption(VARTYPE vt) {
    static const wchar_t* const names[] = {L"Empty",   L"Null",     L"Smallint", L"Integer", L"Single",  L"Double",
                                           L"Currency", L"Date",    L"OleStr",   L"Dispatch", L"Error",  L"Boolean",
                                           L"Variant", L"Unknown",  L"Decimal",  L"0x0F",    L"ShortInt", L"Byte",
                                           L"Word",    L"LongWord", L"Int64",    L"UInt64"};
    const VARTYPE base = vt & 0xFFF;
    std::wstring name;
    if (base < std::size(names)) name = names[base];
    else if (base == 256) name = L"String";
    else if (base == 257) name = L"Any";
    else if (base == 258) name = L"UnicodeString";
    else name = L"$" + HexDigits(base, 4); // no custom variant types are registered here
    if (vt & VT_ARRAY) name = L"Array " + name;
    if (vt & VT_BYREF) name = L"ByRef " + name;
    return name;
}

bool IsHiddenMemberName(const std::wstring& name) {
    static const wchar_t* const hidden[] = {L"QueryInterface", L"AddRef",        L"Release", L"GetTypeInfoCount",
                                            L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};
    for (const wchar_t* h : hidden)
        if (::CompareStringOrdinal(name.c_str(), -1, h, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

std::wstring ScriptObjectName(const std::wstring& typeName) {
    std::wstring name;
    for (wchar_t c : typeName)
        if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) name += c;
    return name;
}

std::wstring EventProcedureName(const std::wstring& typeName, const std::wstring& eventName) {
    const std::wstring object = ScriptObjectName(typeName);
    return object.empty() ? std::wstring() : object + L"_" + eventName;
}

std::wstring OneLineText(const std::wstring& text) {
    std::wstring line;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const size_t first = text.find_first_not_of(L" \t", start);
        if (first < end) {
            if (!line.empty()) line += L"; ";
            line.append(text, first, end - first);
        }
        start = end + 1;
    }
    return line;
}

} // namespace qs
