// The browser's decisions that need no window: which members the property tree shows under an object
// and in what order, what a tree node stands for, the images of values and members, and what the
// enumerator page shows for an item. The windows call these; the tests call them without windows.
#pragma once

#include "typeinfo/uTypeInfo.h"

#include <string>
#include <vector>

namespace qs {

// What a node of the property tree stands for.
enum class TPropertyNodeKind {
    Root,        // the browsed object itself
    Member,      // one member of an object: Element
    Placeholder, // a child whose only purpose is to give its parent an expand button
};

// The record behind one node of the property tree. The window owns the records; the pointers in them
// do not own.
struct TPropertyNode {
    TPropertyNodeKind Kind = TPropertyNodeKind::Placeholder;
    // Member: the element, owned by the reflection that lists the node's parent. Null otherwise.
    TTypeElement* Element = nullptr;
    // The reflection whose members are the node's children: the browsed object's for the root, the
    // nested reflection of an expanded object-valued member (owned by the window), null otherwise.
    TDispatch* Object = nullptr;
};

// The members the property tree shows under an object node, in the order shown. Each member id
// appears once; a member whose accessor takes parameters is left out (the function list has it); a
// put or put-by-reference accessor is left out when a getter of the same id follows it in the list,
// so the getter stands for the member. The order is by name without regard to case (as lstrcmpiW
// compares), members of equal name in the reflection's order. The elements stay owned by `object`.
std::vector<TTypeElement*> PropertyTreeMembers(const TDispatch& object);

// The image of a member's node before its value is read: a number for an enumeration-typed property,
// otherwise the image of the member's declared type.
int MemberImageIndex(const TTypeElement& element);

// Whether a member's node offers to expand before its value is read: a property declared as an
// object or a variant, without enumeration constants.
bool MemberOffersExpansion(const TTypeElement& element);

// Whether a node whose current value is `value` keeps offering to expand: a non-null object, or a
// variant (flag bits ignored). Any other value has no children to show.
bool ValueOffersExpansion(const VARIANT& value) noexcept;

// The value a node stands for: the browsed object for the root, the current value of a property
// element (variables included), empty for every other node. A write-only property is never read.
Variant PropertyNodeValue(const TPropertyNode& node, IDispatch* rootObject);

// The value that stands for an item fetched from an enumerator: an array (also by reference) gives
// its element at the lower bound of every dimension (the first element; for a vector, the one at the
// lower bound of dimension 1), as a value of the array's element type. An empty array, one whose
// bounds, element type or element cannot be read, and every value that is not an array are returned
// unchanged. Never throws except std::bad_alloc.
Variant EnumeratedItemValue(const Variant& item);

// The caption of an enumerated item. An object shows its "Name", else its "Caption", else its
// "Subject" (the first that reads as a string), else its default member, read without raising. The
// value then shows as text in the user's locale; an empty text shows as two double quotes, a value
// with no text as "<" + VariantTypeCaption + ">". Reads the object; never throws except std::bad_alloc.
std::wstring EnumItemCaption(const VARIANT& value);

// ---- Filtering ----

// The positions of the names that contain `filter` without regard to case, in order; every position
// for an empty filter. `upperNames` are the names in upper case (made once, when the list is filled).
std::vector<size_t> FilterNames(const std::vector<std::wstring>& upperNames, const std::wstring& filter);
// A name in upper case, as FilterNames compares.
std::wstring UpperName(std::wstring name);

// ---- Paths as code ----

// The languages a path is copied in, in menu order.
enum class TCodeLanguage { VBScript, JScript, VBA, PowerShell, CSharp, Python };
struct TCodeLanguageName {
    TCodeLanguage Language;
    const wchar_t* Name; // "VBScript", "C#", ...
};
const std::vector<TCodeLanguageName>& CodeLanguages();

// One step from an object: a member read by name, or (Name empty) the item its enumerator gave at the
// one-based position Index.
struct TPathStep {
    std::wstring Name;
    long Index = 0;
};

// The path from a root object to a value as an expression of the language. `root` is the name scripts
// know the root by ("Application", "Document"); languages that hold objects in variables use `app` for
// the Application and the root's name with a small first letter otherwise ($app in PowerShell). An
// enumerator's item reads as Item(i), in C# as [i].
std::wstring PathAsCode(const std::wstring& root, const std::vector<TPathStep>& steps, TCodeLanguage language);

} // namespace qs
