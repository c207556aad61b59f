// Texts that the browser shows for members: member ids, invoke kinds, access, and parameter types
// with their flags; and the names of value types on the enumerator page. Window-free, so the console
// inspector and the tests share them with the windows.
#pragma once

#include "typeinfo/uTypeInfo.h"

#include <string>

namespace qs {

// The pages of a browser window.
enum class TDispatchBrowserTab { bsProperties, bsFunctions, bsEvents, bsIEnumVariant, bsScript };

// "n   (0xHEX)": the id in signed decimal, three blanks, and its 32-bit two's complement in upper-case
// hexadecimal without leading zeros ("0   (0x0)", "-4   (0xFFFFFFFC)").
std::wstring DispIdText(int memId);

// "INVOKE_FUNC", "INVOKE_PROPERTYGET", "INVOKE_PROPERTYPUT", "INVOKE_PROPERTYPUTREF", else "0x" + 8 hex digits.
std::wstring InvokeKindText(int invokeKind);

// The parameter flag names joined by "," ("in,opt,default"); with `withDefault`, a parameter with a
// declared default is followed by a blank and its value in double quotes.
std::wstring ParamFlagsText(const TParamElement& param, bool withDefault);

// The parameter's display type, followed by " (flags)" when it has flags.
std::wstring ParamTypeText(const TParamElement& param, bool withDefault);

// The Get/Put/PutByRef accessors that the owning reflection lists for the element's member id, joined by "/".
std::wstring AccessText(const TTypeElement& element);

// The name of a value type on the enumerator page ("Dispatch", "Array OleStr", "ByRef Variant"): the
// base type's name, "Array " and then "ByRef " put in front for the flags; "$" + four hex digits for a
// type without a name.
std::wstring VariantTypeCaption(VARTYPE vt);

// The name under which a window's scripts see the object it shows: the reflection's name with every
// character that is not an ASCII letter removed ("_Document" gives "Document").
std::wstring ScriptObjectName(const std::wstring& typeName);

// The script procedure that handles an event: the object's script name (ScriptObjectName), "_", the
// event's name ("_Document" and "Open" give "Document_Open", "Range2" and "Change" "Range_Change");
// empty when the type name has no letters, since such an object has no name in scripts either.
std::wstring EventProcedureName(const std::wstring& typeName, const std::wstring& eventName);

// A text of several lines as one: its non-blank lines joined with "; ".
std::wstring OneLineText(const std::wstring& text);

// The seven IUnknown and IDispatch methods that member lists hide (compared without regard to case).
bool IsHiddenMemberName(const std::wstring& name);

} // namespace qs
