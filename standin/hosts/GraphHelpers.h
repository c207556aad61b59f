// What the hosts' object graphs share: values, objects and collections the graph keeps, calls through an
// object's own IDispatch, and events fired with a Cancel flag; and each host's builder. Private to the
// stand-in's graphs (HostGraphs.cpp and hosts/*Graph.cpp); single-threaded like the objects they make.
#pragma once

#include "HostObjects.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qs::standin::detail {

using Args = const THostArgs&;

// ---- values ----

// VariantChangeType of `in` into `out`.
HRESULT Change(Variant& out, const VARIANT& in, VARTYPE vt);

Variant Str(std::wstring_view text);
Variant I4(LONG v);
Variant Bool(bool v);
Variant Obj(IDispatch* object);
Variant Nothing();
// A variant of type `vt` whose value `fill` writes.
template <typename Fill>
Variant Make(VARTYPE vt, Fill fill) {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = vt;
    fill(x);
    return Variant::Attach(x);
}
Variant R8(double v);
Variant R4(float v);
Variant I2(SHORT v);
Variant Null();
// A date and time as the hosts report them (VT_DATE).
Variant Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0);

// A value as text, a number or a Boolean; empty, `fallback` or false when it does not convert.
std::wstring TextOf(const Variant& v);
LONG LongOf(const Variant& v, LONG fallback = 0);
double DoubleOf(const Variant& v, double fallback = 0);
bool BoolOf(const Variant& v);
// Case-insensitive comparison, as the hosts match names.
bool SameText(const std::wstring& a, const std::wstring& b);
// The file name and the folder of a path ("C:\a\b.docx" gives "b.docx" and "C:\a").
std::wstring FileName(const std::wstring& path);
std::wstring Folder(const std::wstring& path);

// An error as the hosts raise it from a macro language's point of view: code 0x800Axxxx.
HRESULT HostCode(WORD number);

// ---- objects ----

struct Value {
    const wchar_t* name;
    Variant value;
};
// Stores each value in the object's member of that name.
void Values(THostObject* o, std::initializer_list<Value> values);

// True when the object's type information declares a member `name`.
bool Declares(THostObject* o, const wchar_t* name);
// Answers the object's Application and Parent (the Application when `parent` is null) through handlers.
void Link(THostGraph& h, THostObject* o, THostObject* parent);

// A new object of the host's library that the graph keeps; its Parent is `parent` (the Application when null).
THostObject* Make(THostGraph& h, const std::wstring& type, THostObject* parent,
                  const std::vector<std::wstring>& events = {});
// A new object stored in `owner`'s member; its Parent is the owner.
THostObject* Child(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                   const std::vector<std::wstring>& events = {});
// A new collection stored in `owner`'s member.
THostObject* List(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                  LONG itemBase = 1);
// The object stored in `owner`'s member, or computed by a handler the first time and then kept.
void Lazy(THostObject* owner, const std::wstring& member, std::function<THostObject*()> make);

// A collection's items: append, insert at a position (clamped to the end), position (npos when absent),
// remove (false when absent), replace them all.
void Append(THostObject* c, THostObject* item);
void Insert(THostObject* c, size_t at, THostObject* item);
size_t IndexOf(const THostObject* c, const IDispatch* item);
bool Remove(THostObject* c, const IDispatch* item);
void Fill(THostObject* c, const std::vector<THostObject*>& items);
// The collection's item whose Name is `name` (compared as the hosts compare names); null when none.
THostObject* NamedItem(const THostObject* c, const std::wstring& name);
// Item answers by index or by the text of `key` (the collection's own Item matches Name only).
void KeyedItems(THostObject* c, const std::wstring& key);

// The argument as a number; `fallback` when missing or not a number.
double DoubleArg(Args a, size_t index, double fallback = 0);
// The graph's own object behind an argument; null for anything else (a foreign object, a name, Nothing).
THostObject* Own(THostGraph& h, const VARIANT* v);
// Calls a member through the object's own IDispatch (so that its put hooks and handlers run), with
// `args` in declaration order; THostError when it raises.
Variant InvokeOn(THostObject* o, const wchar_t* name, WORD flags, std::vector<Variant> args = {});
// Writes text to an [out] argument: a BSTR by reference, or the variable a VARIANT reference points at.
void SetOut(Args a, size_t index, const Variant& value);

// ---- events ----

// Event arguments: the caller keeps what they point at alive for the call (nothing is copied or freed).
VARIANTARG Arg(IDispatch* object);
VARIANTARG ArgI4(LONG v);
VARIANTARG ArgBool(bool v);
VARIANTARG ArgOf(const Variant& v);
VARIANTARG ArgRef(VARIANT_BOOL* flag);
VARIANTARG ArgRef(LONG* number);
VARIANTARG ArgRef(BSTR* text);

// One call of a "Before" event whose last parameter is Cancel.
struct TBeforeCall {
    THostObject* source;
    const wchar_t* event;
    std::vector<VARIANTARG> leading; // the parameters before Cancel
};
// Fires the calls in turn with one Cancel flag, so that a later sink sees what an earlier one decided;
// true when a sink cancelled.
bool Cancelled(std::initializer_list<TBeforeCall> calls);
bool Cancelled(THostObject* source, const wchar_t* event, std::vector<VARIANTARG> leading = {});

// A put that sinks may refuse: `cancelled` fires the "Before" event; when it answers true the member goes
// back to the value it had, otherwise `after` runs.
void GuardedPut(THostObject* o, const std::wstring& name, std::function<bool(THostObject&, const Variant&)> cancelled,
                std::function<void(THostObject&, const Variant&)> after = {});

// ---- the hosts ----

// Each builds its host's graph on `h`'s Application (hosts/<Host>Graph.cpp). The unknown host has Word's
// graph under another Application name.
void BuildWord(THostGraph& h, bool unknownHost);
void BuildExcel(THostGraph& h);
void BuildPowerPoint(THostGraph& h);
void BuildOneNote(THostGraph& h);
void BuildPublisher(THostGraph& h);
void BuildAccess(THostGraph& h);
void BuildInfoPath(THostGraph& h);
void BuildVisio(THostGraph& h);
void BuildProject(THostGraph& h);

} // namespace qs::standin::detail
