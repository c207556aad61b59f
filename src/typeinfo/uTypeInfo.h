// The type-information model: type elements (one member of an automation interface each), the
// reflection of a live IDispatch (TDispatch), the plain invocation helpers, and the rendering of
// values and variant types as text. Everything here runs on the caller's (UI) thread; nothing locks.
#pragma once

#include "common/qsHandles.h"

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

namespace qs {

// The argument list of a call, in declaration order. The array owns its values.
using VariantsArray = std::vector<Variant>;

// ---- Value rendering ----

// The display text of any value: "null" for empty values, numbers in the user's locale, dates in the
// user's short formats, "IDispatch"/"IUnknown" for objects, one line per element for 1-D arrays,
// "<Unknown (VT = 0xNNNN)>" for types without a text. Never throws except std::bad_alloc.
std::wstring VariantToText(const VARIANT& v);
// A copy of s with every NUL character replaced by "?".
std::wstring NullsToQuestionMarks(const std::wstring& s);
// What the user typed for an argument of type vt, as a value. Quoted text is a string; "empty" and any
// text that does not convert give the missing-argument marker (VT_ERROR DISP_E_PARAMNOTFOUND);
// "nothing"/"null" give a null VT_DISPATCH. Never throws.
Variant TextToVariant(const std::wstring& text, VARTYPE vt) noexcept;
// The same reading without the silent fallback: true and `out` set when the text gives a value of
// type vt, false (`out` unchanged) when it does not. Quotes and the keywords work as above; a blank text
// gives the missing-argument marker (a string type: the text itself). Integer types are range-checked
// and kept as their own types (VT_I2 stays VT_I2); VT_BOOL takes True/False or -1/0/1 in any case;
// VT_ERROR takes a decimal or 0x-hexadecimal code; untyped and other types take True/False, a whole
// number (VT_I4, or VT_I8 beyond 32 bits), a floating-point number, a currency amount or a date;
// VT_DISPATCH/VT_UNKNOWN take only the keywords. VT_BYREF is ignored. Throws only std::bad_alloc.
bool TryTextToVariant(const std::wstring& text, VARTYPE vt, Variant& out);

// The images of values and members (the PROPERTYIMAGES strip, in its order).
enum TPropertyImage : int {
    kImageNumber = 0,
    kImageText = 1,
    kImageObject = 2,
    kImageDate = 3,
    kImageBoolean = 4,
    kImageCurrency = 5,
    kImageNone = 6,
    kImageMethod = 7,
};
// The image of a value type: number, text, object/other, date, Boolean, currency, or no value/error.
// The whole VARTYPE counts: arrays and references are "other".
int ImageIndexForVarType(VARTYPE vt);

// The display name of a variant type ("Integer", "Array of Variant", "???" for unknown types).
std::wstring VarTypeName(VARTYPE vt);
// The value type of a member: basic automation types stand for themselves, pointers and safe arrays
// are followed to their element type, everything else (user-defined types included) is VT_VARIANT.
VARTYPE ResolveElemType(const TYPEDESC& td);

class TDispatch;
class TEvents; // the event model of a reflection; built by the event sink unit

// ---- Type elements ----

// One member of an interface, built from an ITypeInfo and the member's index in it. Fields that a
// type-information call could not supply stay empty; construction never fails for that reason.
class TTypeElement {
public:
    TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex);
    virtual ~TTypeElement();
    TTypeElement(const TTypeElement&) = delete;
    TTypeElement& operator=(const TTypeElement&) = delete;

    ITypeInfo* TypeInfo() const noexcept { return FTypeInfo.Get(); }
    const std::wstring& Name() const noexcept { return FName; }
    const std::wstring& DocString() const noexcept { return FDocString; }
    const std::wstring& HelpFile() const noexcept { return FHelpFile; }
    int HelpCtx() const noexcept { return FHelpCtx; }
    int Index() const noexcept { return FIndex; }
    int InvokeKind() const noexcept { return FInvokeKind; }
    int MemID() const noexcept { return FMemID; }
    TDispatch* Parent() const noexcept { return FParent; }
    VARTYPE ElemType() const noexcept { return FElemType; }
    const std::wstring& TypeName() const noexcept { return fTypeName; }

protected:
    struct NoFuncDesc {}; // for elements described by a VARDESC
    TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, NoFuncDesc) noexcept;
    // From the member's FUNCDESC read already (null: it could not be read).
    TTypeElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* aFuncDesc);
    // The parent's object, or null for elements without a parent.
    IDispatch* ParentDisp() const noexcept;

    std::wstring FName;
    int FIndex = 0;
    Microsoft::WRL::ComPtr<ITypeInfo> FTypeInfo;
    int FInvokeKind = 0;
    int FMemID = 0;
    TDispatch* FParent = nullptr;
    std::wstring FDocString;
    std::wstring FHelpFile;
    int FHelpCtx = 0;
    VARTYPE FElemType = VT_EMPTY;
    std::wstring fTypeName;
};

// One enumeration constant: its name and value.
struct TEnumValue {
    std::wstring Name;
    LONG Value;
};

// A property get or put accessor without parameters. Value reads the live object on every call.
class TPropertyElement : public TTypeElement {
public:
    TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex);
    // From the member's FUNCDESC read already (null: it could not be read), so that a reflection
    // reads each member's description once.
    TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* aFuncDesc);

    // The enumeration constants of the property's type, in type-info order (empty unless an enum).
    const std::vector<TEnumValue>& EnumValues() const noexcept { return fEnumValues; }
    // The current value; VT_EMPTY when the member is not a getter or the read fails. Never shows a message.
    Variant Value() const;
    // The value as display text: the string itself, "n (Type.Constant)" for a known enumeration
    // value, otherwise VariantToText with NULs shown as "?".
    Variant SymbolicValue() const;
    // The parent object's default value (DISPID_VALUE), read only for getters.
    Variant DefaultValue() const;

protected:
    TPropertyElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, NoFuncDesc) noexcept;
    virtual Variant GetValue() const;
    // Invokes `id` on the parent object as a property get with no arguments; VT_EMPTY on any failure.
    Variant ReadProperty(DISPID id) const;

    std::vector<TEnumValue> fEnumValues;
};

// A variable of a dispinterface (or of any type info), described by its VARDESC.
class TVarElement : public TPropertyElement {
public:
    TVarElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex);
    int VarKind() const noexcept { return FVarKind; }

protected:
    Variant GetValue() const override;

private:
    int FVarKind = 0;
};

// A parameter or return value of a method.
class TParamElement {
public:
    TParamElement() = default;
    TParamElement(const TParamElement&) = delete;
    TParamElement& operator=(const TParamElement&) = delete;

    // Fills the parameter from an ELEMDESC of `typeInfo`'s FUNCDESC.
    void Fill(ITypeInfo* typeInfo, const ELEMDESC& desc);

    const GUID& Guid() const noexcept { return FGUID; }
    VARTYPE VarType() const noexcept { return FVarType; }
    USHORT InOut() const noexcept { return FInOut; }
    // The referenced user type's name, or VarTypeName(VarType) when there is none.
    std::wstring TypeName() const;
    const std::wstring& Name() const noexcept { return FName; }
    const Variant& DefaultValue() const noexcept { return FDefaultValue; }

    void SetName(std::wstring name) { FName = std::move(name); }

private:
    void ResolveUserType(ITypeInfo* typeInfo, HREFTYPE href);

    std::wstring FName;
    GUID FGUID = GUID_NULL;
    VARTYPE FVarType = VT_EMPTY;
    USHORT FInOut = 0;
    std::wstring FTypeName;
    Variant FDefaultValue;
};

// A method (or any member that the reflection lists with the functions).
class TFunctionElement : public TTypeElement {
public:
    TFunctionElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex);
    TFunctionElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* aFuncDesc);

    const std::vector<std::unique_ptr<TParamElement>>& Params() const noexcept { return FParams; }
    // The return value's description; null when the member's FUNCDESC could not be read.
    const TParamElement* ReturnResult() const noexcept { return FReturnResult.get(); }

    // Calls the method on the live object with Params in declaration order (the array keeps ownership),
    // shows the outcome in a message box, and returns the result (VT_EMPTY on failure). Only members
    // with INVOKE_FUNC are called.
    virtual Variant Call(VariantsArray& Params);

protected:
    std::vector<std::unique_ptr<TParamElement>> FParams;
    std::unique_ptr<TParamElement> FReturnResult;
};

// A put or put-by-reference accessor: the value parameter is removed and its type becomes ElemType.
class TPropertyPutElement : public TFunctionElement {
public:
    TPropertyPutElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex);
    TPropertyPutElement(TDispatch* aParent, ITypeInfo* aTypeInfo, int aIndex, const FUNCDESC* aFuncDesc);
};

// A property accessor with parameters (an indexed getter, or a setter with more than the value).
class TPropertyWithParamsElement : public TFunctionElement {
public:
    using TFunctionElement::TFunctionElement;
    Variant Call(VariantsArray& Params) override;
};

using TTypeElementList = std::vector<std::unique_ptr<TTypeElement>>;
using TFunctionElementList = std::vector<std::unique_ptr<TFunctionElement>>;

// ---- Reflection ----

// The reflected view of one live automation object, read once from its type information.
class TDispatch {
public:
    // Builds the reflection. Never throws for anything the object or its type information does; an
    // object without type information gives empty lists. (std::bad_alloc may still escape.)
    explicit TDispatch(IDispatch* aDispatch);
    // Frees the event model first (disconnecting its sink while the object is held), then releases the
    // object, then the element lists.
    ~TDispatch();
    TDispatch(const TDispatch&) = delete;
    TDispatch& operator=(const TDispatch&) = delete;

    const std::wstring& HelpFile() const noexcept { return FHelpFile; }
    int HelpCtx() const noexcept { return FHelpCtx; }
    IDispatch* Disp() const noexcept { return FDispatch.Get(); }
    const std::wstring& Name() const noexcept { return FName; }
    const GUID& Guid() const noexcept { return FGUID; }
    const TTypeElementList& Properties() const noexcept { return FProperties; }
    TEvents* Events() const noexcept { return FEvents.get(); }
    const TFunctionElementList& Functions() const noexcept { return FFunctions; }

private:
    void ReadInterface(ITypeInfo* ti, const TYPEATTR& attr);
    void ReadCoclass(ITypeInfo* ti, const TYPEATTR& attr);
    void ReadHelp(ITypeInfo* ti, bool withName);
    void BuildEvents() noexcept;

    Microsoft::WRL::ComPtr<IDispatch> FDispatch;
    std::wstring FName;
    TTypeElementList FProperties;
    std::unique_ptr<TEvents> FEvents;
    GUID FGUID = GUID_NULL;
    TFunctionElementList FFunctions;
    int FHelpCtx = 0;
    std::wstring FHelpFile;
};

// Reads a member that takes no arguments (method or property get), locale 0. On failure: with
// aRaiseOnError, throws a ComError (for DISP_E_EXCEPTION carrying the EXCEPINFO's text, code, source
// and help); otherwise returns VT_EMPTY.
Variant DispatchInvokeByID(IDispatch* aDispatch, DISPID aDispID, bool aRaiseOnError);
// The same for a member given by name (resolved with GetIDsOfNames, locale 0).
Variant DispatchInvokeByName(IDispatch* aDispatch, const std::wstring& aName, bool aRaiseOnError);

} // namespace qs
