// What the hosts' object graphs share (declared and explained in GraphHelpers.h): values, the objects and
// collections a graph keeps, calls through an object's own IDispatch, and events fired with Cancel.
#include "GraphHelpers.h"

#include <algorithm>
#include <memory>

namespace qs::standin::detail {

// ---- values ----

HRESULT Change(Variant& out, const VARIANT& in, VARTYPE vt) {
    return ::VariantChangeType(out.Put(), const_cast<VARIANT*>(&in), 0, vt);
}

Variant Str(std::wstring_view text) {
    return Variant::FromString(text);
}
Variant I4(LONG v) {
    return Variant::FromI4(v);
}
Variant Bool(bool v) {
    return Variant::FromBool(v);
}
Variant Obj(IDispatch* object) {
    return Variant::FromDispatch(object);
}
Variant Nothing() {
    return Variant::FromDispatch(nullptr);
}
Variant R8(double v) {
    return Make(VT_R8, [v](VARIANT& x) { V_R8(&x) = v; });
}
Variant R4(float v) {
    return Make(VT_R4, [v](VARIANT& x) { V_R4(&x) = v; });
}
Variant I2(SHORT v) {
    return Make(VT_I2, [v](VARIANT& x) { V_I2(&x) = v; });
}
Variant Null() {
    return Make(VT_NULL, [](VARIANT&) {});
}
// A date and time as the hosts report them (VT_DATE).
Variant Date(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME st{year, month, 0, day, hour, minute, 0, 0};
    return Make(VT_DATE, [&st](VARIANT& x) { ::SystemTimeToVariantTime(&st, &V_DATE(&x)); });
}

std::wstring TextOf(const Variant& v) {
    if (v.Type() == VT_EMPTY || v.Type() == VT_NULL) return {};
    Variant text;
    if (FAILED(Change(text, v.Get(), VT_BSTR))) return {};
    return BstrText(V_BSTR(&text.Get()));
}
LONG LongOf(const Variant& v, LONG fallback) {
    Variant n;
    if (FAILED(Change(n, v.Get(), VT_I4))) return fallback;
    return V_I4(&n.Get());
}
double DoubleOf(const Variant& v, double fallback) {
    Variant n;
    if (FAILED(Change(n, v.Get(), VT_R8))) return fallback;
    return V_R8(&n.Get());
}
bool BoolOf(const Variant& v) {
    Variant b;
    return SUCCEEDED(Change(b, v.Get(), VT_BOOL)) && V_BOOL(&b.Get()) != VARIANT_FALSE;
}
bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}
// The file name and the folder of a path ("C:\a\b.docx" gives "b.docx" and "C:\a").
std::wstring FileName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
std::wstring Folder(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// An error as the hosts raise it from a macro language's point of view: code 0x800Axxxx.
HRESULT HostCode(WORD number) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
}

// ---- objects ----

void Values(THostObject* o, std::initializer_list<Value> values) {
    for (const Value& v : values) o->Set(v.name, v.value);
}

bool Declares(THostObject* o, const wchar_t* name) {
    ComPtr<ITypeInfo> type;
    if (FAILED(o->GetTypeInfo(0, 0, &type))) return false;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    MEMBERID id = MEMBERID_NIL;
    return SUCCEEDED(type->GetIDsOfNames(names, 1, &id));
}

// Application and Parent answer through handlers: a stored reference would make the child hold its parent.
void Link(THostGraph& h, THostObject* o, THostObject* parent) {
    if (Declares(o, L"Application")) o->SetMethod(L"Application", [&h](THostObject&, Args) { return Obj(h.App()); });
    if (Declares(o, L"Parent"))
        o->SetMethod(L"Parent", [&h, parent](THostObject&, Args) { return Obj(parent ? parent : h.App()); });
}

// A new object of the host's library that the graph keeps; its Parent is `parent` (the Application when null).
THostObject* Make(THostGraph& h, const std::wstring& type, THostObject* parent,
                  const std::vector<std::wstring>& events) {
    ComPtr<THostObject> o = h.Create(type, events);
    Link(h, o.Get(), parent);
    return o.Get();
}
// A new object stored in `owner`'s member; its Parent is the owner.
THostObject* Child(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                   const std::vector<std::wstring>& events) {
    THostObject* o = Make(h, type, owner, events);
    owner->SetObject(member, o);
    return o;
}
// A new collection stored in `owner`'s member.
THostObject* List(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                  LONG itemBase) {
    THostObject* c = Child(h, owner, member, type);
    c->collection = true;
    c->itemBase = itemBase;
    return c;
}
// The object stored in `owner`'s member, or computed by a handler the first time and then kept.
void Lazy(THostObject* owner, const std::wstring& member, std::function<THostObject*()> make) {
    owner->SetMethod(member, [member, make](THostObject& self, Args) {
        Variant kept = self.Get(member);
        if (kept.Type() == VT_DISPATCH && V_DISPATCH(&kept.Get())) return kept;
        THostObject* made = make();
        self.SetObject(member, made);
        return Obj(made);
    });
}

void Append(THostObject* c, THostObject* item) {
    c->items.push_back(Obj(item));
}
void Insert(THostObject* c, size_t at, THostObject* item) {
    at = std::min(at, c->items.size());
    c->items.insert(c->items.begin() + static_cast<std::ptrdiff_t>(at), Obj(item));
}
// The item's position in the collection; npos when absent.
size_t IndexOf(const THostObject* c, const IDispatch* item) {
    for (size_t i = 0; i < c->items.size(); ++i)
        if (c->items[i].Type() == VT_DISPATCH && V_DISPATCH(&c->items[i].Get()) == item) return i;
    return std::wstring::npos;
}
bool Remove(THostObject* c, const IDispatch* item) {
    const size_t at = IndexOf(c, item);
    if (at == std::wstring::npos) return false;
    c->items.erase(c->items.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}
void Fill(THostObject* c, const std::vector<THostObject*>& items) {
    c->items.clear();
    for (THostObject* item : items) Append(c, item);
}
THostObject* NamedItem(const THostObject* c, const std::wstring& name) {
    for (const Variant& item : c->items) {
        auto* o = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        if (SameText(TextOf(o->Get(L"Name")), name)) return o;
    }
    return nullptr;
}

// Item answers by index or by the text of `key` (the collection's own Item matches Name only).
void KeyedItems(THostObject* c, const std::wstring& key) {
    c->SetMethod(L"Item", [key](THostObject& self, Args a) {
        const VARIANT* index = a.At(0);
        if (!index) throw THostError{DISP_E_PARAMNOTFOUND, L"Item needs an index."};
        if (V_VT(index) == VT_BSTR) {
            for (const Variant& item : self.items) {
                auto* o = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
                if (SameText(TextOf(o->Get(key)), BstrText(V_BSTR(index)))) return item;
            }
        } else {
            const LONG at = a.Long(0) - self.itemBase;
            if (at >= 0 && at < static_cast<LONG>(self.items.size())) return self.items[static_cast<size_t>(at)];
        }
        throw THostError{DISP_E_BADINDEX, L"The requested member of the collection does not exist."};
    });
}

double DoubleArg(Args a, size_t index, double fallback) {
    const VARIANT* v = a.At(index);
    return v ? DoubleOf(Variant(*v), fallback) : fallback;
}

// The graph's own object behind an argument; null for anything else (a foreign object, a name, Nothing).
THostObject* Own(THostGraph& h, const VARIANT* v) {
    if (!v || V_VT(v) != VT_DISPATCH || !V_DISPATCH(v)) return nullptr;
    for (THostObject* o : h.Objects())
        if (static_cast<IDispatch*>(o) == V_DISPATCH(v)) return o;
    return nullptr;
}

// Calls a member through the object's own IDispatch (so that its put hooks and handlers run), with
// `args` in declaration order; THostError when it raises.
Variant InvokeOn(THostObject* o, const wchar_t* name, WORD flags, std::vector<Variant> args) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    if (FAILED(o->GetIDsOfNames(IID_NULL, names, 1, 0, &id)))
        throw THostError{DISP_E_MEMBERNOTFOUND, std::wstring(L"No member ") + name + L"."};
    std::vector<VARIANTARG> rgvarg;
    for (auto it = args.rbegin(); it != args.rend(); ++it) rgvarg.push_back(it->Get());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO excep{};
    const HRESULT hr = o->Invoke(id, IID_NULL, 0, flags, &params, result.Put(), &excep, nullptr);
    const std::wstring text = BstrText(excep.bstrDescription);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrSource);
    if (FAILED(hr)) throw THostError{hr == DISP_E_EXCEPTION && excep.scode ? excep.scode : hr, text};
    return result;
}

// Writes text to an [out] argument: a BSTR by reference, or the variable a VARIANT reference points at.
void SetOut(Args a, size_t index, const Variant& value) {
    auto* out = const_cast<VARIANT*>(a.At(index));
    if (!out) return;
    if (V_VT(out) == (VT_BSTR | VT_BYREF) && V_BSTRREF(out)) {
        ::SysFreeString(*V_BSTRREF(out));
        *V_BSTRREF(out) = AllocBstr(TextOf(value));
    } else if (V_VT(out) == (VT_I4 | VT_BYREF) && V_I4REF(out)) {
        *V_I4REF(out) = LongOf(value);
    } else if (!(V_VT(out) & VT_BYREF)) {
        ::VariantClear(out);
        ::VariantCopy(out, const_cast<VARIANT*>(&value.Get()));
    }
}

// ---- events ----

VARIANTARG Arg(IDispatch* object) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_DISPATCH;
    V_DISPATCH(&a) = object;
    return a;
}
VARIANTARG ArgI4(LONG v) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_I4;
    V_I4(&a) = v;
    return a;
}
VARIANTARG ArgBool(bool v) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_BOOL;
    V_BOOL(&a) = v ? VARIANT_TRUE : VARIANT_FALSE;
    return a;
}
// A value the caller keeps alive for the call (not copied).
VARIANTARG ArgOf(const Variant& v) {
    return v.Get();
}
VARIANTARG ArgRef(VARIANT_BOOL* flag) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&a) = flag;
    return a;
}
VARIANTARG ArgRef(LONG* number) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_I4 | VT_BYREF;
    V_I4REF(&a) = number;
    return a;
}
VARIANTARG ArgRef(BSTR* text) {
    VARIANTARG a;
    ::VariantInit(&a);
    V_VT(&a) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&a) = text;
    return a;
}

// Fires the calls in turn with one Cancel flag, so that a later sink sees what an earlier one decided;
// true when a sink cancelled.
bool Cancelled(std::initializer_list<TBeforeCall> calls) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    for (const TBeforeCall& call : calls) {
        std::vector<VARIANTARG> args = call.leading;
        args.push_back(ArgRef(&cancel));
        call.source->Fire(call.event, args);
    }
    return cancel != VARIANT_FALSE;
}
bool Cancelled(THostObject* source, const wchar_t* event, std::vector<VARIANTARG> leading) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    leading.push_back(ArgRef(&cancel));
    source->Fire(event, leading);
    return cancel != VARIANT_FALSE;
}

// A put that sinks may refuse: `cancelled` fires the "Before" event; when it answers true the member goes
// back to the value it had, otherwise `after` runs.
void GuardedPut(THostObject* o, const std::wstring& name, std::function<bool(THostObject&, const Variant&)> cancelled,
                std::function<void(THostObject&, const Variant&)> after) {
    auto last = std::make_shared<Variant>(o->Get(name));
    o->OnPut(name, [name, last, cancelled, after](THostObject& self, const Variant& value) {
        if (cancelled(self, value)) {
            self.Set(name, *last);
            return;
        }
        *last = value;
        if (after) after(self, value);
    });
}

} // namespace qs::standin::detail
