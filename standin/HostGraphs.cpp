// The object graphs of the hosts the stand-in plays: what each host's Application reaches, with values,
// collections, and the methods and property puts that change the graph and fire the hosts' events.
//
// Ownership: the graph holds every object it made (THostGraph::Create), so handlers refer to objects by raw
// pointer, and to the graph by reference; Application and Parent answer through handlers, never through a
// stored reference back up the tree, so that no object holds the one that holds it. Each host keeps its
// working state (which document is active, the text of a document, the cells of a sheet) in a struct that
// its handlers share; clearing the graph drops the handlers and with them that state.
#include "HostObjects.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <initializer_list>
#include <optional>

namespace qs::standin {

namespace {

using Args = const THostArgs&;

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
// A variant of type `vt` whose value `fill` writes.
template <typename Fill>
Variant Make(VARTYPE vt, Fill fill) {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = vt;
    fill(x);
    return Variant::Attach(x);
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
Variant Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0) {
    SYSTEMTIME st{year, month, 0, day, hour, minute, 0, 0};
    return Make(VT_DATE, [&st](VARIANT& x) { ::SystemTimeToVariantTime(&st, &V_DATE(&x)); });
}

std::wstring TextOf(const Variant& v) {
    if (v.Type() == VT_EMPTY || v.Type() == VT_NULL) return {};
    Variant text;
    if (FAILED(Change(text, v.Get(), VT_BSTR))) return {};
    return BstrText(V_BSTR(&text.Get()));
}
LONG LongOf(const Variant& v, LONG fallback = 0) {
    Variant n;
    if (FAILED(Change(n, v.Get(), VT_I4))) return fallback;
    return V_I4(&n.Get());
}
double DoubleOf(const Variant& v, double fallback = 0) {
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

struct Value {
    const wchar_t* name;
    Variant value;
};
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
                  const std::vector<std::wstring>& events = {}) {
    ComPtr<THostObject> o = h.Create(type, events);
    Link(h, o.Get(), parent);
    return o.Get();
}
// A new object stored in `owner`'s member; its Parent is the owner.
THostObject* Child(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                   const std::vector<std::wstring>& events = {}) {
    THostObject* o = Make(h, type, owner, events);
    owner->SetObject(member, o);
    return o;
}
// A new collection stored in `owner`'s member.
THostObject* List(THostGraph& h, THostObject* owner, const std::wstring& member, const std::wstring& type,
                  LONG itemBase = 1) {
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

double DoubleArg(Args a, size_t index, double fallback = 0) {
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
Variant InvokeOn(THostObject* o, const wchar_t* name, WORD flags, std::vector<Variant> args = {}) {
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

// One call of a "Before" event whose last parameter is Cancel.
struct TBeforeCall {
    THostObject* source;
    const wchar_t* event;
    std::vector<VARIANTARG> leading; // the parameters before Cancel
};
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
bool Cancelled(THostObject* source, const wchar_t* event, std::vector<VARIANTARG> leading = {}) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    leading.push_back(ArgRef(&cancel));
    source->Fire(event, leading);
    return cancel != VARIANT_FALSE;
}

// A put that sinks may refuse: `cancelled` fires the "Before" event; when it answers true the member goes
// back to the value it had, otherwise `after` runs.
void GuardedPut(THostObject* o, const std::wstring& name, std::function<bool(THostObject&, const Variant&)> cancelled,
                std::function<void(THostObject&, const Variant&)> after = {}) {
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

} // namespace

// ==== Word ====

namespace {

constexpr LONG wdSaveChanges = -1;
const wchar_t* const kWordEvents[] = {L"DocumentEvents2"};

struct TWordDocument {
    THostObject* doc = nullptr;
    THostObject* window = nullptr;
    THostObject* content = nullptr;
    THostObject* paragraphs = nullptr;
    THostObject* styles = nullptr;
    std::wstring text;
    bool titled = false; // the first paragraph is a heading
    LONG selStart = 0, selEnd = 0;
};
using WordDocument = std::shared_ptr<TWordDocument>;

struct TWord : std::enable_shared_from_this<TWord> {
    explicit TWord(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* documents = nullptr;
    THostObject* windows = nullptr;
    THostObject* selection = nullptr;
    THostObject* selRange = nullptr;
    std::vector<WordDocument> docs;
    WordDocument active;
    std::wstring clipboard;
    int untitled = 1;
};
using Word = std::shared_ptr<TWord>;

struct TWordStyle {
    const wchar_t* name;
    LONG type;
    const wchar_t* font;
    float size;
    LONG priority;
    const wchar_t* description;
};
const TWordStyle kWordStyles[] = {
    {L"Normal", 1, L"Calibri", 11, 1, L"Font: (Default) +Body (Calibri), 11 pt, Left, Space After: 8 pt"},
    {L"Heading 1", 1, L"Calibri Light", 16, 10, L"Font: +Headings (Calibri Light), 16 pt, Space Before: 12 pt"},
    {L"Heading 2", 1, L"Calibri Light", 13, 10, L"Font: +Headings (Calibri Light), 13 pt, Space Before: 2 pt"},
    {L"Title", 1, L"Calibri Light", 28, 11, L"Font: +Headings (Calibri Light), 28 pt, Condensed by 0.5 pt"},
    {L"Default Paragraph Font", 2, L"Calibri", 11, 2, L"The font of the paragraph style"},
    {L"Strong", 2, L"Calibri", 11, 23, L"Font: Bold"},
};

THostObject* WordFont(THostGraph& h, THostObject* parent, const std::wstring& name, float size, bool bold = false) {
    THostObject* font = Make(h, L"Font", parent);
    Values(font, {{L"Name", Str(name)},
                  {L"Size", R4(size)},
                  {L"Bold", I4(bold ? -1 : 0)},
                  {L"Italic", I4(0)},
                  {L"Underline", I4(0)},
                  {L"Color", I4(-16777216)},
                  {L"SmallCaps", I4(0)},
                  {L"Hidden", I4(0)}});
    return font;
}

THostObject* WordStyleNamed(const TWordDocument& d, const std::wstring& name) {
    for (const Variant& item : d.styles->items) {
        auto* style = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        if (SameText(TextOf(style->Get(L"NameLocal")), name)) return style;
    }
    return nullptr;
}

// Word's statistics over a stretch of text (paragraphs end with CR).
LONG WordStatistic(const std::wstring& text, LONG statistic) {
    LONG words = 0, paragraphs = 0, characters = 0, withSpaces = 0;
    bool inWord = false;
    for (wchar_t c : text) {
        if (c == L'\r') {
            ++paragraphs;
        } else {
            ++withSpaces;
            if (!std::iswspace(c)) ++characters;
        }
        const bool letter = !std::iswspace(c);
        if (letter && !inWord) ++words;
        inWord = letter;
    }
    if (!text.empty() && text.back() != L'\r') ++paragraphs;
    switch (statistic) {
    case 0:
        return words;
    case 1:
        return paragraphs; // one line per paragraph: the stand-in does not lay text out
    case 2:
        return 1;
    case 3:
        return characters;
    case 4:
        return paragraphs;
    case 5:
        return withSpaces;
    default:
        throw THostError{HostCode(5941), L"The requested member of the collection does not exist."};
    }
}

void SelectWord(TWord& w, const WordDocument& d, LONG start, LONG end, bool fire);
void ReplaceWordText(TWord& w, const WordDocument& d, LONG start, LONG end, const std::wstring& text);

// A range of a document's text; Text, Start and End are stored, and the methods edit the document.
THostObject* WordRange(const Word& w, const WordDocument& d, LONG start, LONG end, THostObject* parent = nullptr) {
    THostGraph& h = w->h;
    THostObject* r = Make(h, L"Range", parent ? parent : d->doc);
    const LONG size = static_cast<LONG>(d->text.size());
    start = std::clamp<LONG>(start, 0, size);
    end = std::clamp<LONG>(end, start, size);
    Values(r, {{L"Text", Str(d->text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)))},
               {L"Start", I4(start)},
               {L"End", I4(end)},
               {L"StoryLength", I4(size)},
               {L"StoryType", I4(1)},
               {L"LanguageID", I4(1033)}});
    if (THostObject* normal = WordStyleNamed(*d, L"Normal")) r->SetObject(L"Style", normal);
    Lazy(r, L"Font", [&h, r] { return WordFont(h, r, L"Calibri", 11); });
    auto bounds = [](THostObject& self) { return std::pair{LongOf(self.Get(L"Start")), LongOf(self.Get(L"End"))}; };
    r->OnPut(L"Text", [w, d, bounds](THostObject& self, const Variant& value) {
        const auto [s, e] = bounds(self);
        const std::wstring text = TextOf(value);
        ReplaceWordText(*w, d, s, e, text);
        self.Set(L"End", I4(s + static_cast<LONG>(text.size())));
    });
    r->SetMethod(L"Select", [w, d, bounds](THostObject& self, Args) {
        const auto [s, e] = bounds(self);
        SelectWord(*w, d, s, e, true);
        return Variant();
    });
    r->SetMethod(L"SetRange", [d](THostObject& self, Args a) {
        const LONG size = static_cast<LONG>(d->text.size());
        const LONG s = std::clamp<LONG>(a.Long(0), 0, size), e = std::clamp<LONG>(a.Long(1), s, size);
        Values(&self, {{L"Start", I4(s)},
                       {L"End", I4(e)},
                       {L"Text", Str(d->text.substr(static_cast<size_t>(s), static_cast<size_t>(e - s)))}});
        return Variant();
    });
    r->SetMethod(L"InsertAfter", [w, d, bounds](THostObject& self, Args a) {
        const auto [s, e] = bounds(self);
        const std::wstring text = a.Text(0);
        ReplaceWordText(*w, d, e, e, text);
        self.Set(L"End", I4(e + static_cast<LONG>(text.size())));
        self.Set(L"Text", Str(TextOf(self.Get(L"Text")) + text));
        return Variant();
    });
    r->SetMethod(L"InsertBefore", [w, d, bounds](THostObject& self, Args a) {
        const auto [s, e] = bounds(self);
        const std::wstring text = a.Text(0);
        ReplaceWordText(*w, d, s, s, text);
        self.Set(L"End", I4(e + static_cast<LONG>(text.size())));
        self.Set(L"Text", Str(text + TextOf(self.Get(L"Text"))));
        return Variant();
    });
    r->SetMethod(L"Delete", [w, d, bounds](THostObject& self, Args) {
        const auto [s, e] = bounds(self);
        ReplaceWordText(*w, d, s, e, L"");
        Values(&self, {{L"End", I4(s)}, {L"Text", Str(L"")}});
        return I4(e - s);
    });
    r->SetMethod(L"Collapse", [bounds](THostObject& self, Args a) {
        const auto [s, e] = bounds(self);
        const LONG at = a.Long(0, 1) == 0 ? e : s;
        Values(&self, {{L"Start", I4(at)}, {L"End", I4(at)}, {L"Text", Str(L"")}});
        return Variant();
    });
    r->SetMethod(L"Copy", [w](THostObject& self, Args) {
        w->clipboard = TextOf(self.Get(L"Text"));
        return Variant();
    });
    r->SetMethod(L"Paste", [w, d, bounds](THostObject& self, Args) {
        const auto [s, e] = bounds(self);
        ReplaceWordText(*w, d, s, e, w->clipboard);
        Values(&self, {{L"End", I4(s + static_cast<LONG>(w->clipboard.size()))}, {L"Text", Str(w->clipboard)}});
        return Variant();
    });
    r->SetMethod(L"Duplicate", [w, d, bounds](THostObject& self, Args) {
        const auto [s, e] = bounds(self);
        return Obj(WordRange(w, d, s, e));
    });
    r->SetMethod(L"ComputeStatistics",
                 [](THostObject& self, Args a) { return I4(WordStatistic(TextOf(self.Get(L"Text")), a.Long(0))); });
    return r;
}

// The paragraphs of the document's text, made again after every edit.
void BuildWordParagraphs(const Word& w, const WordDocument& d) {
    std::vector<THostObject*> paragraphs;
    LONG start = 0;
    const LONG size = static_cast<LONG>(d->text.size());
    while (start < size) {
        const size_t cr = d->text.find(L'\r', static_cast<size_t>(start));
        const LONG end = cr == std::wstring::npos ? size : static_cast<LONG>(cr) + 1;
        THostObject* p = Make(w->h, L"Paragraph", d->doc);
        const bool heading = start == 0 && d->titled;
        THostObject* style = WordStyleNamed(*d, heading ? L"Heading 1" : L"Normal");
        p->SetObject(L"Range", WordRange(w, d, start, end, p));
        p->SetObject(L"Style", style);
        Values(p, {{L"Alignment", I4(0)},
                   {L"OutlineLevel", I4(heading ? 1 : 10)},
                   {L"SpaceBefore", R4(heading ? 12.0f : 0.0f)},
                   {L"SpaceAfter", R4(8.0f)},
                   {L"LeftIndent", R4(0.0f)}});
        paragraphs.push_back(p);
        start = end;
    }
    Fill(d->paragraphs, paragraphs);
}

void ReplaceWordText(TWord& w, const WordDocument& d, LONG start, LONG end, const std::wstring& text) {
    const LONG size = static_cast<LONG>(d->text.size());
    start = std::clamp<LONG>(start, 0, size);
    end = std::clamp<LONG>(end, start, size);
    d->text.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), text);
    const LONG length = static_cast<LONG>(d->text.size());
    Values(d->content, {{L"Text", Str(d->text)}, {L"End", I4(length)}, {L"StoryLength", I4(length)}});
    d->doc->Set(L"Saved", Bool(false));
    BuildWordParagraphs(w.shared_from_this(), d);
}

// Makes [start, end) of the document the selection; fires WindowSelectionChange for the active document.
void SelectWord(TWord& w, const WordDocument& d, LONG start, LONG end, bool fire) {
    const LONG size = static_cast<LONG>(d->text.size());
    d->selStart = std::clamp<LONG>(start, 0, size);
    d->selEnd = std::clamp<LONG>(end, d->selStart, size);
    if (d != w.active) return;
    const Variant text =
        Str(d->text.substr(static_cast<size_t>(d->selStart), static_cast<size_t>(d->selEnd - d->selStart)));
    Values(w.selection, {{L"Text", text},
                         {L"Start", I4(d->selStart)},
                         {L"End", I4(d->selEnd)},
                         {L"Type", I4(d->selStart == d->selEnd ? 1 : 2)},
                         {L"StoryLength", I4(size)}});
    Values(w.selRange, {{L"Text", text}, {L"Start", I4(d->selStart)}, {L"End", I4(d->selEnd)}});
    // The style of the paragraph holding the start.
    for (const Variant& item : d->paragraphs->items) {
        auto* p = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        const Variant range = p->Get(L"Range");
        THostObject* r = Own(w.h, &range.Get());
        if ((r && d->selStart < LongOf(r->Get(L"End"))) || &item == &d->paragraphs->items.back()) {
            const Variant style = p->Get(L"Style");
            w.selection->Set(L"Style", style);
            if (auto* s = Own(w.h, &style.Get())) w.h.Name(L"Selection.Style", s);
            break;
        }
    }
    if (fire) w.app->Fire(L"WindowSelectionChange", {Arg(w.selection)});
}

void ActivateWord(TWord& w, const WordDocument& d, bool fire) {
    const WordDocument old = w.active;
    w.active = d;
    for (const WordDocument& other : w.docs) other->window->Set(L"Active", Bool(other == d));
    w.app->SetObject(L"ActiveDocument", d->doc);
    w.app->SetObject(L"ActiveWindow", d->window);
    w.h.Name(L"ActiveDocument", d->doc);
    w.h.Name(L"ActiveWindow", d->window);
    w.app->Set(L"Caption", Str(TextOf(d->doc->Get(L"Name")) + L" - Word"));
    SelectWord(w, d, d->selStart, d->selEnd, false);
    if (!fire || old == d) return;
    if (old) w.app->Fire(L"WindowDeactivate", {Arg(old->doc), Arg(old->window)});
    w.app->Fire(L"DocumentChange", {});
    w.app->Fire(L"WindowActivate", {Arg(d->doc), Arg(d->window)});
}

void SaveWord(TWord& w, const WordDocument& d) {
    VARIANT_BOOL saveAsUI = TextOf(d->doc->Get(L"Path")).empty() ? VARIANT_TRUE : VARIANT_FALSE;
    if (Cancelled(w.app, L"DocumentBeforeSave", {Arg(d->doc), ArgRef(&saveAsUI)})) return;
    d->doc->Set(L"Saved", Bool(true));
}

void CloseWord(TWord& w, const WordDocument& d, LONG saveChanges) {
    if (std::find(w.docs.begin(), w.docs.end(), d) == w.docs.end()) return; // closed by a sink meanwhile
    if (Cancelled(w.app, L"DocumentBeforeClose", {Arg(d->doc)})) throw THostError{HostCode(4198), L"Command failed"};
    if (saveChanges == wdSaveChanges && !BoolOf(d->doc->Get(L"Saved"))) SaveWord(w, d);
    d->doc->Fire(L"Close", {});
    std::erase(w.docs, d);
    Remove(w.documents, d->doc);
    Remove(w.windows, d->window);
    if (w.active != d) return;
    if (!w.docs.empty()) {
        ActivateWord(w, w.docs.back(), true);
        return;
    }
    w.active = nullptr;
    w.h.SetNothing(L"ActiveDocument");
    w.h.SetNothing(L"ActiveWindow");
    w.app->Set(L"Caption", Str(L"Word"));
    w.app->Fire(L"DocumentChange", {});
}

WordDocument AddWordDocument(const Word& w, const std::wstring& fullName, const std::wstring& text,
                             bool titled = false) {
    THostGraph& h = w->h;
    auto d = std::make_shared<TWordDocument>();
    d->text = text;
    d->titled = titled;
    const std::wstring name = FileName(fullName);
    d->doc = Make(h, L"Document", w->app, {kWordEvents[0]});
    Values(d->doc, {{L"Name", Str(name)},
                    {L"FullName", Str(fullName)},
                    {L"Path", Str(Folder(fullName))},
                    {L"Saved", Bool(true)},
                    {L"ReadOnly", Bool(false)},
                    {L"Kind", I4(0)},
                    {L"AttachedTemplate", Str(L"Normal.dotm")},
                    {L"ProtectionType", I4(-1)},
                    {L"SaveFormat", I4(12)},
                    {L"TrackRevisions", Bool(false)}});
    d->styles = List(h, d->doc, L"Styles", L"Styles");
    KeyedItems(d->styles, L"NameLocal");
    for (const TWordStyle& s : kWordStyles) {
        THostObject* style = Make(h, L"Style", d->doc);
        Values(style, {{L"NameLocal", Str(s.name)},
                       {L"Type", I4(s.type)},
                       {L"BaseStyle", Str(s.priority == 1 || s.type == 2 ? L"" : L"Normal")},
                       {L"NextParagraphStyle", Str(s.type == 1 ? L"Normal" : L"")},
                       {L"BuiltIn", Bool(true)},
                       {L"InUse", Bool(true)},
                       {L"Description", Str(s.description)},
                       {L"Priority", I4(s.priority)},
                       {L"QuickStyle", Bool(s.priority <= 11)},
                       {L"Visibility", Bool(false)},
                       {L"AutomaticallyUpdate", Bool(false)}});
        style->SetObject(L"Font", WordFont(h, style, s.font, s.size, s.priority == 23));
        Append(d->styles, style);
    }
    d->content = WordRange(w, d, 0, static_cast<LONG>(text.size()));
    d->doc->SetObject(L"Content", d->content);
    d->paragraphs = List(h, d->doc, L"Paragraphs", L"Paragraphs");
    BuildWordParagraphs(w, d);

    d->window = Make(h, L"Window", w->app);
    Values(d->window, {{L"Caption", Str(name)},
                       {L"WindowState", I4(1)},
                       {L"Left", I4(0)},
                       {L"Top", I4(0)},
                       {L"Width", I4(1024)},
                       {L"Height", I4(768)},
                       {L"Visible", Bool(true)},
                       {L"Active", Bool(false)},
                       {L"DisplayRulers", Bool(true)},
                       {L"DisplayVerticalScrollBar", Bool(true)},
                       {L"DisplayHorizontalScrollBar", Bool(true)},
                       {L"Split", Bool(false)}});
    if (w->active) d->window->Set(L"Hwnd", w->active->window->Get(L"Hwnd"));
    d->window->SetObject(L"Document", d->doc);
    d->window->SetObject(L"Selection", w->selection);
    THostObject* view = Child(h, d->window, L"View", L"View");
    Values(view, {{L"Type", I4(3)},
                  {L"FullScreen", Bool(false)},
                  {L"Draft", Bool(false)},
                  {L"ShowAll", Bool(false)},
                  {L"ShowFieldCodes", Bool(false)},
                  {L"ShowBookmarks", Bool(false)},
                  {L"ShowRevisionsAndComments", Bool(true)}});
    THostObject* window = d->window;
    window->SetMethod(
        L"Index", [w, window](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(w->windows, window)) + 1); });
    window->SetMethod(L"Activate", [w, d](THostObject&, Args) {
        ActivateWord(*w, d, true);
        return Variant();
    });
    window->SetMethod(L"Close", [w, d](THostObject&, Args a) {
        CloseWord(*w, d, a.Long(0, 0));
        return Variant();
    });
    d->doc->SetObject(L"ActiveWindow", d->window);
    THostObject* docWindows = List(h, d->doc, L"Windows", L"Windows");
    Append(docWindows, d->window);

    d->doc->SetMethod(L"Activate", [w, d](THostObject&, Args) {
        ActivateWord(*w, d, true);
        return Variant();
    });
    d->doc->SetMethod(L"Close", [w, d](THostObject&, Args a) {
        CloseWord(*w, d, a.Long(0, 0));
        return Variant();
    });
    d->doc->SetMethod(L"Save", [w, d](THostObject&, Args) {
        SaveWord(*w, d);
        return Variant();
    });
    d->doc->SetMethod(L"SaveAs2", [w, d](THostObject& self, Args a) {
        const std::wstring file = a.Text(0, TextOf(self.Get(L"FullName")));
        VARIANT_BOOL saveAsUI = VARIANT_FALSE;
        if (Cancelled(w->app, L"DocumentBeforeSave", {Arg(d->doc), ArgRef(&saveAsUI)})) return Variant();
        Values(&self, {{L"Name", Str(FileName(file))},
                       {L"FullName", Str(file)},
                       {L"Path", Str(Folder(file))},
                       {L"Saved", Bool(true)}});
        if (a.At(1)) self.Set(L"SaveFormat", I4(a.Long(1)));
        d->window->Set(L"Caption", Str(FileName(file)));
        if (w->active == d) w->app->Set(L"Caption", Str(FileName(file) + L" - Word"));
        return Variant();
    });
    d->doc->SetMethod(L"Range", [w, d](THostObject&, Args a) {
        return Obj(WordRange(w, d, a.Long(0, 0), a.Long(1, static_cast<LONG>(d->text.size()))));
    });
    d->doc->SetMethod(L"ComputeStatistics",
                      [d](THostObject&, Args a) { return I4(WordStatistic(d->text, a.Long(0))); });
    d->doc->SetMethod(L"Select", [w, d](THostObject&, Args) {
        SelectWord(*w, d, 0, static_cast<LONG>(d->text.size()), true);
        return Variant();
    });
    d->doc->SetMethod(L"PrintOut", [w, d](THostObject&, Args) {
        Cancelled(w->app, L"DocumentBeforePrint", {Arg(d->doc)});
        return Variant();
    });

    w->docs.push_back(d);
    Append(w->documents, d->doc);
    Append(w->windows, d->window);
    return d;
}

// The Selection belongs to the active document: its methods edit that document's text.
void WireWordSelection(const Word& w) {
    THostObject* sel = w->selection;
    auto active = [w]() {
        if (!w->active) throw THostError{HostCode(4248), L"This command is not available because no document is open."};
        return w->active;
    };
    auto replace = [w, active](const std::wstring& text, bool keepSelected) {
        const WordDocument d = active();
        const LONG start = d->selStart;
        ReplaceWordText(*w, d, start, d->selEnd, text);
        const LONG end = start + static_cast<LONG>(text.size());
        SelectWord(*w, d, keepSelected ? start : end, end, keepSelected);
    };
    sel->OnPut(L"Text", [replace](THostObject&, const Variant& value) { replace(TextOf(value), true); });
    // The selection's range is the selection: its text replaces the selected text too.
    w->selRange->OnPut(L"Text", [replace](THostObject&, const Variant& value) { replace(TextOf(value), true); });
    sel->SetMethod(L"TypeText", [replace](THostObject&, Args a) {
        replace(a.Text(0), false);
        return Variant();
    });
    sel->SetMethod(L"TypeParagraph", [replace](THostObject&, Args) {
        replace(L"\r", false);
        return Variant();
    });
    sel->SetMethod(L"InsertAfter", [w, active](THostObject&, Args a) {
        const WordDocument d = active();
        const std::wstring text = a.Text(0);
        const LONG start = d->selStart, end = d->selEnd;
        ReplaceWordText(*w, d, end, end, text);
        SelectWord(*w, d, start, end + static_cast<LONG>(text.size()), true);
        return Variant();
    });
    sel->SetMethod(L"InsertBefore", [w, active](THostObject&, Args a) {
        const WordDocument d = active();
        const std::wstring text = a.Text(0);
        const LONG start = d->selStart, end = d->selEnd;
        ReplaceWordText(*w, d, start, start, text);
        SelectWord(*w, d, start, end + static_cast<LONG>(text.size()), true);
        return Variant();
    });
    sel->SetMethod(L"Delete", [w, active, replace](THostObject&, Args) {
        const WordDocument d = active();
        const LONG removed = std::max<LONG>(d->selEnd - d->selStart, d->selEnd < static_cast<LONG>(d->text.size()));
        if (d->selStart == d->selEnd) SelectWord(*w, d, d->selStart, d->selStart + removed, false);
        replace(L"", false);
        return I4(removed);
    });
    sel->SetMethod(L"Copy", [w, active](THostObject& self, Args) {
        active();
        w->clipboard = TextOf(self.Get(L"Text"));
        return Variant();
    });
    sel->SetMethod(L"Cut", [w, replace](THostObject& self, Args) {
        w->clipboard = TextOf(self.Get(L"Text"));
        replace(L"", false);
        return Variant();
    });
    sel->SetMethod(L"Paste", [w, replace](THostObject&, Args) {
        replace(w->clipboard, false);
        return Variant();
    });
    // Moves by characters (other units move as far as the story allows); Extend (1) keeps the anchor.
    auto move = [w, active](LONG by, bool extend) {
        const WordDocument d = active();
        const LONG size = static_cast<LONG>(d->text.size());
        const LONG from = by < 0 ? d->selStart : d->selEnd;
        const LONG to = std::clamp<LONG>(from + by, 0, size);
        if (extend)
            SelectWord(*w, d, std::min(d->selStart, to), std::max(d->selEnd, to), true);
        else
            SelectWord(*w, d, to, to, true);
        return I4(std::abs(to - from));
    };
    sel->SetMethod(L"MoveLeft", [move](THostObject&, Args a) {
        const LONG count = a.Long(1, 1) * (a.Long(0, 1) == 6 ? 0x7FFF : 1);
        return move(-count, a.Long(2, 0) == 1);
    });
    sel->SetMethod(L"MoveRight", [move](THostObject&, Args a) {
        const LONG count = a.Long(1, 1) * (a.Long(0, 1) == 6 ? 0x7FFF : 1);
        return move(count, a.Long(2, 0) == 1);
    });
    sel->SetMethod(L"HomeKey", [move](THostObject&, Args a) { return move(-0x7FFF, a.Long(1, 0) == 1); });
    sel->SetMethod(L"EndKey", [move](THostObject&, Args a) { return move(0x7FFF, a.Long(1, 0) == 1); });
    sel->SetMethod(L"Collapse", [w, active](THostObject&, Args a) {
        const WordDocument d = active();
        const LONG at = a.Long(0, 1) == 0 ? d->selEnd : d->selStart;
        SelectWord(*w, d, at, at, true);
        return Variant();
    });
    sel->SetMethod(L"WholeStory", [w, active](THostObject&, Args) {
        const WordDocument d = active();
        SelectWord(*w, d, 0, static_cast<LONG>(d->text.size()), true);
        return Variant();
    });
    sel->SetMethod(L"Document", [w](THostObject&, Args) { return Obj(w->active ? w->active->doc : nullptr); });
    // wdActiveEndPageNumber (3), wdNumberOfPagesInDocument (4), wdFirstCharacterLineNumber (10), wdWithInTable (12).
    sel->SetMethod(L"Information", [](THostObject&, Args a) {
        switch (a.Long(0)) {
        case 3:
        case 4:
        case 10:
            return I4(1);
        case 12:
            return Bool(false);
        default:
            return I4(-1);
        }
    });
}

void BuildWord(THostGraph& h, bool unknownHost) {
    auto w = std::make_shared<TWord>(h);
    THostObject* app = w->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(unknownHost ? L"Office application (unknown to the add-in)" : L"Microsoft Word")},
                 {L"Creator", I4(0x4D535744)}, // 'MSWD'
                 {L"Version", Str(L"16.0")},
                 {L"Build", I4(17928)},
                 {L"Visible", Bool(true)},
                 {L"UserName", Str(L"Stand-in User")},
                 {L"UserInitials", Str(L"SU")},
                 {L"UserAddress", Str(L"1 Sample Street\rSampletown")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"PathSeparator", Str(L"\\")},
                 {L"StartupPath", Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Word\\STARTUP")},
                 {L"ActivePrinter", Str(L"Microsoft Print to PDF on Ne01:")},
                 {L"ScreenUpdating", Bool(true)},
                 {L"DisplayAlerts", I4(-1)},
                 {L"WindowState", I4(1)},
                 {L"Left", I4(0)},
                 {L"Top", I4(0)},
                 {L"Width", I4(1024)},
                 {L"Height", I4(768)},
                 {L"Language", I4(1033)}});
    w->documents = List(h, app, L"Documents", L"Documents");
    w->windows = List(h, app, L"Windows", L"Windows");
    h.Name(L"Documents", w->documents);
    h.Name(L"Windows", w->windows);

    THostObject* options = Child(h, app, L"Options", L"Options");
    h.Name(L"Options", options);
    Values(options, {{L"AutoFormatAsYouTypeReplaceQuotes", Bool(true)},
                     {L"DefaultSaveFormat", Str(L"")},
                     {L"CheckSpellingAsYouType", Bool(true)},
                     {L"CheckGrammarAsYouType", Bool(true)},
                     {L"AllowDragAndDrop", Bool(true)},
                     {L"ReplaceSelection", Bool(true)},
                     {L"SmartCutPaste", Bool(true)},
                     {L"MeasurementUnit", I4(1)},
                     {L"SaveInterval", I4(10)},
                     {L"BackgroundSave", Bool(true)},
                     {L"CreateBackup", Bool(false)},
                     {L"ConfirmConversions", Bool(false)},
                     {L"UpdateLinksAtOpen", Bool(true)},
                     {L"PrintBackground", Bool(true)},
                     {L"AutoFormatAsYouTypeApplyHeadings", Bool(false)},
                     {L"SaveNormalPrompt", Bool(false)}});
    options->SetMethod(L"DefaultFilePath", [](THostObject&, Args a) {
        switch (a.Long(0)) {
        case 0:
            return Str(L"C:\\Users\\Public\\Documents");
        case 1:
            return Str(L"C:\\Users\\Public\\Pictures");
        case 2:
            return Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Templates");
        case 8:
            return Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Word\\STARTUP");
        default:
            return Str(L"");
        }
    });

    w->selection = Child(h, app, L"Selection", L"Selection");
    h.Name(L"Selection", w->selection);
    THostObject* selFont = Child(h, w->selection, L"Font", L"Font");
    Values(selFont, {{L"Name", Str(L"Calibri Light")}, {L"Size", R4(16)}, {L"Bold", I4(0)}, {L"Italic", I4(0)}});

    const WordDocument report = AddWordDocument(
        w, L"C:\\Users\\Public\\Documents\\Report.docx",
        L"Quarterly report\rSales grew in every region this quarter.\rThe details follow, region by region.\r", true);
    AddWordDocument(w, L"C:\\Users\\Public\\Documents\\Letter.docx", L"Dear customer,\rThank you for your order.\r");
    // The selection's range is a range of whichever document is active.
    w->selRange = Make(h, L"Range", w->selection);
    w->selection->SetObject(L"Range", w->selRange);
    h.Name(L"Selection.Range", w->selRange);
    Values(w->selRange, {{L"StoryType", I4(1)}, {L"LanguageID", I4(1033)}});
    w->selRange->SetMethod(L"Select", [](THostObject&, Args) { return Variant(); });
    report->selEnd = 16;
    ActivateWord(*w, report, false);

    WireWordSelection(w);
    w->documents->SetMethod(L"Add", [w](THostObject&, Args a) {
        const std::wstring name = L"Document" + std::to_wstring(++w->untitled);
        const WordDocument d = AddWordDocument(w, name, L"\r");
        d->doc->Set(L"Path", Str(L""));
        if (const VARIANT* t = a.At(0)) d->doc->Set(L"AttachedTemplate", Str(FileName(TextOf(Variant(*t)))));
        d->doc->Fire(L"New", {});
        w->app->Fire(L"NewDocument", {Arg(d->doc)});
        ActivateWord(*w, d, true);
        return Obj(d->doc);
    });
    w->documents->SetMethod(L"Open", [w](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (file.empty() || file.find_first_of(L"*?<>|\"") != std::wstring::npos)
            throw THostError{HostCode(5174), L"Sorry, we couldn't find your file. Was it moved, renamed, or deleted?"};
        for (const WordDocument& d : w->docs)
            if (SameText(TextOf(d->doc->Get(L"FullName")), file)) {
                ActivateWord(*w, d, true);
                return Obj(d->doc);
            }
        const WordDocument d = AddWordDocument(w, file, L"Contents of " + FileName(file) + L"\r");
        d->doc->Set(L"ReadOnly", Bool(a.Bool(2, false)));
        d->doc->Fire(L"Open", {});
        w->app->Fire(L"DocumentOpen", {Arg(d->doc)});
        ActivateWord(*w, d, true);
        return Obj(d->doc);
    });
    w->documents->SetMethod(L"Close", [w](THostObject&, Args a) {
        for (const WordDocument& d : std::vector<WordDocument>(w->docs)) CloseWord(*w, d, a.Long(0, 0));
        return Variant();
    });
    w->documents->SetMethod(L"Save", [w](THostObject&, Args) {
        for (const WordDocument& d : std::vector<WordDocument>(w->docs)) SaveWord(*w, d);
        return Variant();
    });
    app->SetMethod(L"Run", [](THostObject&, Args a) -> Variant {
        throw THostError{DISP_E_MEMBERNOTFOUND, L"Unable to run the specified macro \"" + a.Text(0) + L"\"."};
    });
    app->SetMethod(L"CentimetersToPoints",
                   [](THostObject&, Args a) { return R4(static_cast<float>(DoubleArg(a, 0) * 72.0 / 2.54)); });
    app->SetMethod(L"InchesToPoints",
                   [](THostObject&, Args a) { return R4(static_cast<float>(DoubleArg(a, 0) * 72.0)); });
    app->SetMethod(L"CheckSpelling", [](THostObject&, Args a) {
        const std::wstring word = a.Text(0);
        return Bool(std::none_of(word.begin(), word.end(), [](wchar_t c) { return std::iswdigit(c); }));
    });
    app->SetMethod(L"Resize", [](THostObject& self, Args a) {
        Values(&self, {{L"Width", I4(a.Long(0))}, {L"Height", I4(a.Long(1))}});
        return Variant();
    });
    app->SetMethod(L"Move", [](THostObject& self, Args a) {
        Values(&self, {{L"Left", I4(a.Long(0))}, {L"Top", I4(a.Long(1))}});
        return Variant();
    });
}

} // namespace

// ==== Excel ====

namespace {

const HRESULT kExcelFailed = HostCode(1004); // Excel's "application-defined or object-defined error"

// A rectangle of cells, 1-based.
struct TArea {
    LONG row1 = 1, col1 = 1, row2 = 1, col2 = 1;
    LONG Cells() const { return (row2 - row1 + 1) * (col2 - col1 + 1); }
};

std::wstring ColumnName(LONG col) {
    std::wstring name;
    for (; col > 0; col = (col - 1) / 26) name.insert(name.begin(), static_cast<wchar_t>(L'A' + (col - 1) % 26));
    return name;
}

// "A1", "$B$2", "A1:C3"; nullopt for anything else.
std::optional<TArea> ParseArea(const std::wstring& text) {
    auto cell = [](std::wstring_view s, LONG& row, LONG& col) {
        size_t i = 0;
        if (i < s.size() && s[i] == L'$') ++i;
        col = 0;
        for (; i < s.size() && std::iswalpha(s[i]); ++i) col = col * 26 + (std::towupper(s[i]) - L'A' + 1);
        if (i < s.size() && s[i] == L'$') ++i;
        row = 0;
        const size_t digits = i;
        for (; i < s.size() && std::iswdigit(s[i]); ++i) row = row * 10 + (s[i] - L'0');
        return i == s.size() && digits < s.size() && col >= 1 && col <= 16384 && row >= 1 && row <= 1048576;
    };
    TArea a;
    const size_t colon = text.find(L':');
    const std::wstring_view all(text);
    if (!cell(all.substr(0, colon), a.row1, a.col1)) return std::nullopt;
    a.row2 = a.row1;
    a.col2 = a.col1;
    if (colon != std::wstring::npos && !cell(all.substr(colon + 1), a.row2, a.col2)) return std::nullopt;
    if (a.row2 < a.row1) std::swap(a.row1, a.row2);
    if (a.col2 < a.col1) std::swap(a.col1, a.col2);
    return a;
}

std::wstring Address(const TArea& a, bool rowAbsolute = true, bool colAbsolute = true) {
    auto cell = [&](LONG row, LONG col) {
        return (colAbsolute ? L"$" : L"") + ColumnName(col) + (rowAbsolute ? L"$" : L"") + std::to_wstring(row);
    };
    const std::wstring first = cell(a.row1, a.col1);
    return a.Cells() == 1 ? first : first + L":" + cell(a.row2, a.col2);
}

struct TExcelBook;
struct TExcelSheet {
    THostObject* sheet = nullptr;
    TExcelBook* book = nullptr;
    bool chart = false;
    std::map<std::wstring, THostObject*> ranges; // by relative address, made on first use
    THostObject* activeCell = nullptr;
    THostObject* selection = nullptr;
};
using ExcelSheet = std::shared_ptr<TExcelSheet>;

struct TExcelBook {
    THostObject* wb = nullptr;
    THostObject* window = nullptr;
    THostObject* worksheets = nullptr;
    THostObject* charts = nullptr;
    THostObject* sheets = nullptr;
    THostObject* styles = nullptr;
    THostObject* normal = nullptr;
    std::vector<ExcelSheet> order; // the tabs, left to right
    ExcelSheet active;
};
using ExcelBook = std::shared_ptr<TExcelBook>;

struct TExcel : std::enable_shared_from_this<TExcel> {
    explicit TExcel(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* workbooks = nullptr;
    THostObject* windows = nullptr;
    std::vector<ExcelBook> books;
    ExcelBook active;
    std::map<const IDispatch*, ExcelSheet> sheetOf; // every sheet made, closed ones included
    int newBooks = 0;
};
using Excel = std::shared_ptr<TExcel>;

// Events go out only while Application.EnableEvents is True, as in Excel.
bool EventsOn(const TExcel& x) {
    return BoolOf(x.app->Get(L"EnableEvents"));
}

ExcelSheet SheetOf(const TExcel& x, const IDispatch* sheet) {
    const auto it = x.sheetOf.find(sheet);
    return it == x.sheetOf.end() ? nullptr : it->second;
}

THostObject* ExcelFont(THostGraph& h, THostObject* parent, bool bold = false) {
    THostObject* font = Make(h, L"Font", parent);
    Values(font, {{L"Name", Str(L"Calibri")},
                  {L"Size", R8(11)},
                  {L"Bold", Bool(bold)},
                  {L"Italic", Bool(false)},
                  {L"Underline", I4(-4142)},
                  {L"Color", R8(0)},
                  {L"ColorIndex", I4(1)},
                  {L"Strikethrough", Bool(false)}});
    return font;
}
THostObject* ExcelInterior(THostGraph& h, THostObject* parent) {
    THostObject* interior = Make(h, L"Interior", parent);
    Values(interior, {{L"Color", R8(16777215)},
                      {L"ColorIndex", I4(-4142)},
                      {L"Pattern", I4(-4142)},
                      {L"PatternColor", I4(0)},
                      {L"TintAndShade", R8(0)}});
    return interior;
}

void SelectExcel(TExcel& x, const ExcelSheet& s, THostObject* range, bool fire);
void SetExcelValue(TExcel& x, const ExcelSheet& s, THostObject* range, const TArea& area, const Variant& value,
                   bool fire);

// The sheet's range of `area`: one object per address, so that a value put stays there.
THostObject* ExcelRange(const Excel& x, const ExcelSheet& s, const TArea& area) {
    const std::wstring key = Address(area, false, false);
    if (const auto it = s->ranges.find(key); it != s->ranges.end()) return it->second;
    THostGraph& h = x->h;
    THostObject* r = Make(h, L"Range", s->sheet);
    s->ranges[key] = r;
    Values(r, {{L"Row", I4(area.row1)},
               {L"Column", I4(area.col1)},
               {L"Count", I4(area.Cells())},
               {L"Text", Str(L"")},
               {L"Formula", Str(L"")},
               {L"FormulaR1C1", Str(L"")},
               {L"HasFormula", Bool(false)},
               {L"NumberFormat", Str(L"General")},
               {L"HorizontalAlignment", I4(1)},
               {L"ColumnWidth", R8(8.43)},
               {L"RowHeight", R8(15)},
               {L"Locked", Bool(true)}});
    r->SetObject(L"Worksheet", s->sheet);
    r->SetObject(L"Style", s->book->normal);
    Lazy(r, L"Font", [&h, r] { return ExcelFont(h, r); });
    Lazy(r, L"Interior", [&h, r] { return ExcelInterior(h, r); });
    r->SetMethod(L"Address",
                 [area](THostObject&, Args a) { return Str(Address(area, a.Bool(0, true), a.Bool(1, true))); });
    r->SetMethod(L"Offset", [x, s, area](THostObject&, Args a) {
        const LONG dr = a.Long(0, 0), dc = a.Long(1, 0);
        const TArea moved{area.row1 + dr, area.col1 + dc, area.row2 + dr, area.col2 + dc};
        if (moved.row1 < 1 || moved.col1 < 1 || moved.row2 > 1048576 || moved.col2 > 16384)
            throw THostError{kExcelFailed, L"Application-defined or object-defined error"};
        return Obj(ExcelRange(x, s, moved));
    });
    auto put = [x, s, area](THostObject& self, const Variant& value) {
        SetExcelValue(*x, s, &self, area, value, true);
    };
    r->OnPut(L"Value", put);
    r->OnPut(L"Value2", put);
    r->OnPut(L"Formula", [x, s, area, put](THostObject& self, const Variant& value) {
        const std::wstring text = TextOf(value);
        if (text.empty() || text[0] != L'=') return put(self, value);
        // A formula keeps the value it had: the stand-in does not calculate.
        Values(&self, {{L"HasFormula", Bool(true)}, {L"FormulaR1C1", Str(text)}});
        s->book->wb->Set(L"Saved", Bool(false));
        if (!EventsOn(*x)) return;
        s->sheet->Fire(L"Change", {Arg(&self)});
        s->book->wb->Fire(L"SheetChange", {Arg(s->sheet), Arg(&self)});
        x->app->Fire(L"SheetChange", {Arg(s->sheet), Arg(&self)});
    });
    r->SetMethod(L"Select", [x, s](THostObject& self, Args) {
        if (!x->active || s != x->active->active)
            throw THostError{kExcelFailed, L"Select method of Range class failed"};
        SelectExcel(*x, s, &self, true);
        return Bool(true);
    });
    r->SetMethod(L"Activate", [x, s, area](THostObject& self, Args) {
        if (!x->active || s != x->active->active)
            throw THostError{kExcelFailed, L"Activate method of Range class failed"};
        THostObject* cell = ExcelRange(x, s, TArea{area.row1, area.col1, area.row1, area.col1});
        s->activeCell = cell;
        x->app->SetObject(L"ActiveCell", cell);
        x->h.Name(L"ActiveCell", cell);
        x->h.Name(L"ActiveCell.Style", s->book->normal);
        SelectExcel(*x, s, &self, true);
        return Bool(true);
    });
    auto clear = [x, s, area](THostObject& self, Args) {
        SetExcelValue(*x, s, &self, area, Variant(), true);
        return Bool(true);
    };
    r->SetMethod(L"Clear", clear);
    r->SetMethod(L"ClearContents", clear);
    r->SetMethod(L"Delete", clear);
    r->SetMethod(L"Copy", [x](THostObject& self, Args a) {
        if (THostObject* to = Own(x->h, a.At(0))) {
            if (to->TypeName() != L"Range") throw THostError{kExcelFailed, L"Copy method of Range class failed"};
            // Through the destination's own put, so that its sheet's events fire.
            InvokeOn(to, L"Value", DISPATCH_PROPERTYPUT, {self.Get(L"Value")});
        }
        return Bool(true);
    });
    return r;
}

// The range an argument names: a Range object of the graph, or an address on `s`.
THostObject* ExcelRangeArg(const Excel& x, const ExcelSheet& s, Args a, size_t index) {
    if (THostObject* own = Own(x->h, a.At(index))) return own->TypeName() == L"Range" ? own : nullptr;
    const std::optional<TArea> area = ParseArea(a.Text(index));
    if (!area) throw THostError{kExcelFailed, L"Method 'Range' of object '_Worksheet' failed"};
    return ExcelRange(x, s, *area);
}

// Range(Cell1, [Cell2]): one range, or the smallest block holding both.
THostObject* ExcelRangeOf(const Excel& x, const ExcelSheet& s, Args a) {
    THostObject* first = ExcelRangeArg(x, s, a, 0);
    THostObject* second = a.At(1) ? ExcelRangeArg(x, s, a, 1) : nullptr;
    if (!first || !second) return first;
    const LONG r1 = LongOf(first->Get(L"Row")), c1 = LongOf(first->Get(L"Column"));
    const LONG r2 = LongOf(second->Get(L"Row")), c2 = LongOf(second->Get(L"Column"));
    return ExcelRange(x, s, TArea{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)});
}

void SetExcelValue(TExcel& x, const ExcelSheet& s, THostObject* range, const TArea& area, const Variant& value,
                   bool fire) {
    const std::wstring text = TextOf(value);
    auto store = [&](THostObject* r) {
        Values(r, {{L"Value", value},
                   {L"Value2", value},
                   {L"Text", Str(text)},
                   {L"Formula", Str(text)},
                   {L"FormulaR1C1", Str(text)},
                   {L"HasFormula", Bool(false)}});
    };
    store(range);
    // A value put on a small block fills each of its cells, as Excel does.
    if (area.Cells() > 1 && area.Cells() <= 256) {
        const Excel shared = x.shared_from_this();
        for (LONG row = area.row1; row <= area.row2; ++row)
            for (LONG col = area.col1; col <= area.col2; ++col) store(ExcelRange(shared, s, TArea{row, col, row, col}));
    }
    s->book->wb->Set(L"Saved", Bool(false));
    if (!fire || !EventsOn(x)) return;
    s->sheet->Fire(L"Change", {Arg(range)});
    s->book->wb->Fire(L"SheetChange", {Arg(s->sheet), Arg(range)});
    x.app->Fire(L"SheetChange", {Arg(s->sheet), Arg(range)});
}

// Publishes the active workbook's active sheet, cell and selection on the Application.
void PublishExcel(TExcel& x) {
    const ExcelBook b = x.active;
    if (!b) {
        for (const wchar_t* path :
             {L"ActiveWorkbook", L"ActiveWindow", L"ActiveSheet", L"ActiveChart", L"ActiveCell", L"Selection"})
            x.h.SetNothing(path);
        x.app->Set(L"Caption", Str(L"Excel"));
        return;
    }
    auto publish = [&x](const wchar_t* path, THostObject* o) {
        if (o) {
            x.app->SetObject(path, o);
            x.h.Name(path, o);
        } else {
            x.h.SetNothing(path);
        }
    };
    const ExcelSheet s = b->active;
    publish(L"ActiveWorkbook", b->wb);
    publish(L"ActiveWindow", b->window);
    publish(L"ActiveSheet", s->sheet);
    publish(L"ActiveCell", s->chart ? nullptr : s->activeCell);
    publish(L"Selection", s->chart ? s->sheet : s->selection);
    THostObject* chart = s->chart ? s->sheet : nullptr;
    for (const ExcelSheet& other : b->order)
        if (!chart && other->chart) chart = other->sheet;
    publish(L"ActiveChart", chart);
    if (s->activeCell && !s->chart) x.h.Name(L"ActiveCell.Style", b->normal);
    x.app->Set(L"Caption", Str(TextOf(b->wb->Get(L"Name")) + L" - Excel"));
}

void SelectExcel(TExcel& x, const ExcelSheet& s, THostObject* range, bool fire) {
    s->selection = range;
    if (x.active && x.active->active == s) PublishExcel(x);
    if (!fire || !EventsOn(x)) return;
    s->sheet->Fire(L"SelectionChange", {Arg(range)});
    s->book->wb->Fire(L"SheetSelectionChange", {Arg(s->sheet), Arg(range)});
    x.app->Fire(L"SheetSelectionChange", {Arg(s->sheet), Arg(range)});
}

void ActivateExcelSheet(TExcel& x, const ExcelSheet& s, bool fire) {
    TExcelBook& b = *s->book;
    const ExcelSheet old = b.active;
    b.active = s;
    b.wb->SetObject(L"ActiveSheet", s->sheet);
    if (s->chart) b.wb->SetObject(L"ActiveChart", s->sheet);
    if (x.active.get() == &b) PublishExcel(x);
    if (!fire || old == s || !EventsOn(x)) return;
    if (old) {
        old->sheet->Fire(L"Deactivate", {});
        b.wb->Fire(L"SheetDeactivate", {Arg(old->sheet)});
        x.app->Fire(L"SheetDeactivate", {Arg(old->sheet)});
    }
    s->sheet->Fire(L"Activate", {});
    b.wb->Fire(L"SheetActivate", {Arg(s->sheet)});
    x.app->Fire(L"SheetActivate", {Arg(s->sheet)});
}

void ActivateExcelBook(TExcel& x, const ExcelBook& b, bool fire) {
    const ExcelBook old = x.active;
    x.active = b;
    PublishExcel(x);
    if (!fire || old == b || !EventsOn(x)) return;
    if (old) {
        old->wb->Fire(L"Deactivate", {});
        x.app->Fire(L"WorkbookDeactivate", {Arg(old->wb)});
    }
    b->wb->Fire(L"Activate", {});
    x.app->Fire(L"WorkbookActivate", {Arg(b->wb)});
}

// The Worksheets, Charts and Sheets collections follow the tabs' order.
void FillExcelSheets(const TExcelBook& b) {
    std::vector<THostObject*> all, worksheets, charts;
    for (const ExcelSheet& s : b.order) {
        all.push_back(s->sheet);
        (s->chart ? charts : worksheets).push_back(s->sheet);
    }
    Fill(b.sheets, all);
    Fill(b.worksheets, worksheets);
    Fill(b.charts, charts);
}

void DeleteExcelSheet(TExcel& x, const ExcelSheet& s) {
    TExcelBook& b = *s->book;
    const auto at = std::find(b.order.begin(), b.order.end(), s);
    if (at == b.order.end()) return;
    const auto visible = std::count_if(b.order.begin(), b.order.end(),
                                       [](const ExcelSheet& o) { return LongOf(o->sheet->Get(L"Visible")) == -1; });
    if (visible <= 1 && LongOf(s->sheet->Get(L"Visible")) == -1)
        throw THostError{kExcelFailed, L"A workbook must contain at least one visible sheet."};
    const size_t index = static_cast<size_t>(at - b.order.begin());
    b.order.erase(at);
    FillExcelSheets(b);
    if (s->chart && b.wb->Get(L"ActiveChart").Type() == VT_DISPATCH &&
        V_DISPATCH(&b.wb->Get(L"ActiveChart").Get()) == s->sheet)
        b.wb->SetObject(L"ActiveChart", nullptr);
    if (b.active == s) {
        b.active = nullptr;
        ActivateExcelSheet(x, b.order[std::min(index, b.order.size() - 1)], true);
    }
}

ExcelSheet AddExcelSheet(const Excel& x, const ExcelBook& b, bool chart, const std::wstring& name, size_t at);

// Sheets.Add, Worksheets.Add and Charts.Add: Before or After a sheet of the workbook, else before the
// active sheet; Count sheets; fires NewSheet and WorkbookNewSheet for each, then activates the last.
Variant AddExcelSheets(const Excel& x, const ExcelBook& b, Args a, bool chartByDefault) {
    const LONG type = a.Long(3, chartByDefault ? -4109 : -4167);
    if (type != -4167 && type != -4109) throw THostError{kExcelFailed, L"Add method of Sheets class failed"};
    const bool chart = type == -4109;
    auto position = [&](size_t index) -> std::optional<size_t> {
        const VARIANT* v = a.At(index);
        if (!v) return std::nullopt;
        const ExcelSheet anchor = SheetOf(*x, Own(x->h, v));
        const auto it = anchor ? std::find(b->order.begin(), b->order.end(), anchor) : b->order.end();
        if (it == b->order.end()) throw THostError{kExcelFailed, L"Add method of Sheets class failed"};
        return static_cast<size_t>(it - b->order.begin());
    };
    size_t at = 0;
    if (const auto before = position(0)) {
        at = *before;
    } else if (const auto after = position(1)) {
        at = *after + 1;
    } else {
        const auto active = std::find(b->order.begin(), b->order.end(), b->active);
        at = active == b->order.end() ? b->order.size() : static_cast<size_t>(active - b->order.begin());
    }
    const LONG count = a.Long(2, 1);
    if (count < 1) throw THostError{kExcelFailed, L"Add method of Sheets class failed"};
    ExcelSheet last;
    for (LONG i = 0; i < count; ++i) {
        int n = 1;
        const std::wstring prefix = chart ? L"Chart" : L"Sheet";
        for (bool taken = true; taken; ++n) {
            taken = false;
            for (const ExcelSheet& s : b->order)
                taken = taken || SameText(TextOf(s->sheet->Get(L"Name")), prefix + std::to_wstring(n));
            if (!taken) break;
        }
        last = AddExcelSheet(x, b, chart, prefix + std::to_wstring(n), at++);
        if (EventsOn(*x)) {
            b->wb->Fire(L"NewSheet", {Arg(last->sheet)});
            x->app->Fire(L"WorkbookNewSheet", {Arg(b->wb), Arg(last->sheet)});
        }
    }
    ActivateExcelSheet(*x, last, true);
    return Obj(last->sheet);
}

ExcelSheet AddExcelSheet(const Excel& x, const ExcelBook& b, bool chart, const std::wstring& name, size_t at) {
    THostGraph& h = x->h;
    auto s = std::make_shared<TExcelSheet>();
    s->book = b.get();
    s->chart = chart;
    s->sheet = Make(h, chart ? L"Chart" : L"Worksheet", b->wb, {chart ? L"ChartEvents" : L"DocEvents"});
    x->sheetOf[s->sheet] = s;
    b->order.insert(b->order.begin() + static_cast<std::ptrdiff_t>(std::min(at, b->order.size())), s);
    FillExcelSheets(*b);
    THostObject* sheet = s->sheet;
    TExcelBook* book = b.get();
    sheet->SetMethod(L"Index", [book, s](THostObject&, Args) {
        return I4(static_cast<LONG>(std::find(book->order.begin(), book->order.end(), s) - book->order.begin()) + 1);
    });
    Values(sheet, {{L"Name", Str(name)}, {L"CodeName", Str(name)}, {L"Visible", I4(-1)}});
    auto activate = [x, s](THostObject&, Args) {
        if (!x->active || x->active.get() != s->book)
            throw THostError{kExcelFailed, L"Activate method of Worksheet class failed"};
        ActivateExcelSheet(*x, s, true);
        return Variant();
    };
    sheet->SetMethod(L"Activate", activate);
    sheet->SetMethod(L"Select", activate);
    sheet->SetMethod(L"Delete", [x, s](THostObject&, Args) {
        DeleteExcelSheet(*x, s);
        return Variant();
    });
    if (chart) {
        Values(sheet, {{L"ChartType", I4(51)},
                       {L"HasTitle", Bool(true)},
                       {L"HasLegend", Bool(true)},
                       {L"ChartStyle", I4(201)},
                       {L"PlotVisibleOnly", Bool(true)}});
        THostObject* title = Child(h, sheet, L"ChartTitle", L"ChartTitle");
        Values(title, {{L"Text", Str(L"Monthly spending")},
                       {L"Caption", Str(L"Monthly spending")},
                       {L"Left", R8(160)},
                       {L"Top", R8(12)}});
        title->SetObject(L"Font", ExcelFont(h, title, true));
        sheet->SetMethod(L"Export", [](THostObject&, Args a) { return Bool(!a.Text(0).empty()); });
        return s;
    }
    Values(sheet, {{L"Type", I4(-4167)},
                   {L"StandardWidth", R8(8.43)},
                   {L"ProtectContents", Bool(false)},
                   {L"EnableCalculation", Bool(true)},
                   {L"DisplayPageBreaks", Bool(false)}});
    s->activeCell = s->selection = ExcelRange(x, s, TArea{});
    sheet->SetMethod(L"Range", [x, s](THostObject&, Args a) { return Obj(ExcelRangeOf(x, s, a)); });
    const TArea whole{1, 1, 1048576, 16384};
    for (const wchar_t* member : {L"Cells", L"Rows", L"Columns"})
        Lazy(sheet, member, [x, s, whole] { return ExcelRange(x, s, whole); });
    Lazy(sheet, L"UsedRange", [x, s] {
        TArea used{1, 1, 1, 1};
        for (const auto& [key, r] : s->ranges)
            if (r->Get(L"Value").Type() != VT_EMPTY && LongOf(r->Get(L"Count")) == 1) {
                used.row2 = std::max(used.row2, LongOf(r->Get(L"Row")));
                used.col2 = std::max(used.col2, LongOf(r->Get(L"Column")));
            }
        return ExcelRange(x, s, used);
    });
    sheet->SetMethod(L"Calculate", [x, s](THostObject&, Args) {
        if (!EventsOn(*x)) return Variant();
        s->sheet->Fire(L"Calculate", {});
        s->book->wb->Fire(L"SheetCalculate", {Arg(s->sheet)});
        x->app->Fire(L"SheetCalculate", {Arg(s->sheet)});
        return Variant();
    });
    sheet->SetMethod(L"Protect", [](THostObject& self, Args) {
        self.Set(L"ProtectContents", Bool(true));
        return Variant();
    });
    sheet->SetMethod(L"Unprotect", [](THostObject& self, Args) {
        self.Set(L"ProtectContents", Bool(false));
        return Variant();
    });
    return s;
}

struct TExcelStyle {
    const wchar_t* name;
    const wchar_t* format;
};
const TExcelStyle kExcelStyles[] = {
    {L"Normal", L"General"},
    {L"Comma", L"_-* #,##0.00_-;-* #,##0.00_-;_-* \"-\"??_-;_-@_-"},
    {L"Currency", L"_-\"$\"* #,##0.00_-;-\"$\"* #,##0.00_-;_-\"$\"* \"-\"??_-;_-@_-"},
    {L"Percent", L"0%"},
    {L"Good", L"General"},
    {L"Bad", L"General"},
    {L"Neutral", L"General"},
    {L"Heading 1", L"General"},
    {L"Title", L"General"},
    {L"Total", L"General"},
};

void SaveExcelBook(TExcel& x, const ExcelBook& b, bool saveAsUI) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    if (EventsOn(x)) {
        b->wb->Fire(L"BeforeSave", {ArgBool(saveAsUI), ArgRef(&cancel)});
        x.app->Fire(L"WorkbookBeforeSave", {Arg(b->wb), ArgBool(saveAsUI), ArgRef(&cancel)});
    }
    if (cancel != VARIANT_FALSE) return;
    b->wb->Set(L"Saved", Bool(true));
    if (!EventsOn(x)) return;
    b->wb->Fire(L"AfterSave", {ArgBool(true)});
    x.app->Fire(L"WorkbookAfterSave", {Arg(b->wb), ArgBool(true)});
}

void CloseExcelBook(TExcel& x, const ExcelBook& b, bool save) {
    if (std::find(x.books.begin(), x.books.end(), b) == x.books.end()) return;
    if (EventsOn(x) && Cancelled({{b->wb, L"BeforeClose", {}}, {x.app, L"WorkbookBeforeClose", {Arg(b->wb)}}})) return;
    if (save && !BoolOf(b->wb->Get(L"Saved"))) SaveExcelBook(x, b, false);
    std::erase(x.books, b);
    Remove(x.workbooks, b->wb);
    Remove(x.windows, b->window);
    if (x.active != b) return;
    x.active = nullptr;
    if (x.books.empty())
        PublishExcel(x);
    else
        ActivateExcelBook(x, x.books.back(), true);
}

ExcelBook AddExcelBook(const Excel& x, const std::wstring& fullName, std::initializer_list<const wchar_t*> worksheets,
                       bool chart = false) {
    THostGraph& h = x->h;
    auto b = std::make_shared<TExcelBook>();
    const std::wstring name = FileName(fullName);
    b->wb = Make(h, L"Workbook", x->app, {L"WorkbookEvents"});
    Values(b->wb, {{L"Name", Str(name)},
                   {L"FullName", Str(fullName)},
                   {L"Path", Str(Folder(fullName))},
                   {L"Saved", Bool(true)},
                   {L"ReadOnly", Bool(false)},
                   {L"FileFormat", I4(51)},
                   {L"Author", Str(L"Stand-in User")},
                   {L"HasPassword", Bool(false)},
                   {L"CodeName", Str(L"ThisWorkbook")},
                   {L"ProtectStructure", Bool(false)}});
    b->styles = List(h, b->wb, L"Styles", L"Styles");
    for (const TExcelStyle& st : kExcelStyles) {
        THostObject* style = Make(h, L"Style", b->wb);
        Values(style, {{L"Name", Str(st.name)},
                       {L"NameLocal", Str(st.name)},
                       {L"BuiltIn", Bool(true)},
                       {L"NumberFormat", Str(st.format)},
                       {L"HorizontalAlignment", I4(1)},
                       {L"Locked", Bool(true)}});
        for (const wchar_t* include : {L"IncludeNumber", L"IncludeFont", L"IncludeAlignment", L"IncludeBorder",
                                       L"IncludePatterns", L"IncludeProtection"})
            style->Set(include, Bool(true));
        style->SetObject(L"Font", ExcelFont(h, style, SameText(st.name, L"Total")));
        style->SetObject(L"Interior", ExcelInterior(h, style));
        Append(b->styles, style);
        if (!b->normal) b->normal = style;
    }
    b->sheets = List(h, b->wb, L"Sheets", L"Sheets");
    b->worksheets = List(h, b->wb, L"Worksheets", L"Sheets");
    b->charts = List(h, b->wb, L"Charts", L"Sheets");
    for (const wchar_t* sheet : worksheets) AddExcelSheet(x, b, false, sheet, b->order.size());
    if (chart) AddExcelSheet(x, b, true, L"Chart1", b->order.size());
    b->active = b->order.front();
    b->wb->SetObject(L"ActiveSheet", b->active->sheet);
    for (const ExcelSheet& s : b->order)
        if (s->chart && b->wb->Get(L"ActiveChart").Type() == VT_EMPTY) b->wb->SetObject(L"ActiveChart", s->sheet);
    auto add = [x, b](bool chartByDefault) {
        return [x, b, chartByDefault](THostObject&, Args a) { return AddExcelSheets(x, b, a, chartByDefault); };
    };
    b->sheets->SetMethod(L"Add", add(false));
    b->worksheets->SetMethod(L"Add", add(false));
    b->charts->SetMethod(L"Add", add(true));

    b->window = Make(h, L"Window", x->app);
    Values(b->window, {{L"Caption", Str(name)},
                       {L"WindowState", I4(-4137)},
                       {L"Left", R8(0)},
                       {L"Top", R8(0)},
                       {L"Width", R8(1024)},
                       {L"Height", R8(600)},
                       {L"Visible", Bool(true)},
                       {L"Zoom", I4(100)},
                       {L"DisplayGridlines", Bool(true)},
                       {L"DisplayHeadings", Bool(true)},
                       {L"DisplayFormulas", Bool(false)},
                       {L"FreezePanes", Bool(false)},
                       {L"ScrollRow", I4(1)},
                       {L"ScrollColumn", I4(1)}});
    if (x->active) b->window->Set(L"Hwnd", x->active->window->Get(L"Hwnd"));
    THostObject* window = b->window;
    TExcelBook* book = b.get();
    window->SetMethod(
        L"Index", [x, window](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(x->windows, window)) + 1); });
    window->SetMethod(L"ActiveSheet", [book](THostObject&, Args) { return Obj(book->active->sheet); });
    window->SetMethod(L"ActiveCell", [book](THostObject&, Args) {
        return Obj(book->active->chart ? nullptr : book->active->activeCell);
    });
    window->SetMethod(L"Selection", [book](THostObject&, Args) {
        return Obj(book->active->chart ? book->active->sheet : book->active->selection);
    });
    THostObject* bookWindows = List(h, b->wb, L"Windows", L"Windows");
    Append(bookWindows, b->window);

    auto activate = [x, b](THostObject&, Args) {
        ActivateExcelBook(*x, b, true);
        return Variant();
    };
    b->wb->SetMethod(L"Activate", activate);
    window->SetMethod(L"Activate", activate);
    b->wb->SetMethod(L"Close", [x, b](THostObject&, Args a) {
        CloseExcelBook(*x, b, a.Bool(0, false));
        return Variant();
    });
    window->SetMethod(L"Close", [x, b](THostObject&, Args a) {
        CloseExcelBook(*x, b, a.Bool(0, false));
        return Bool(true);
    });
    b->wb->SetMethod(L"Save", [x, b](THostObject&, Args) {
        SaveExcelBook(*x, b, false);
        return Variant();
    });
    b->wb->SetMethod(L"SaveAs", [x, b](THostObject& self, Args a) {
        const std::wstring file = a.Text(0, TextOf(self.Get(L"FullName")));
        Values(&self, {{L"Name", Str(FileName(file))}, {L"FullName", Str(file)}, {L"Path", Str(Folder(file))}});
        if (a.At(1)) self.Set(L"FileFormat", I4(a.Long(1)));
        b->window->Set(L"Caption", Str(FileName(file)));
        SaveExcelBook(*x, b, false);
        if (x->active == b) PublishExcel(*x);
        return Variant();
    });
    b->wb->SetMethod(L"PrintOut", [x, b](THostObject&, Args) {
        if (EventsOn(*x)) Cancelled({{b->wb, L"BeforePrint", {}}, {x->app, L"WorkbookBeforePrint", {Arg(b->wb)}}});
        return Variant();
    });
    b->wb->SetMethod(L"Protect", [](THostObject& self, Args a) {
        self.Set(L"ProtectStructure", Bool(a.Bool(1, true)));
        return Variant();
    });
    b->wb->SetMethod(L"Unprotect", [](THostObject& self, Args) {
        self.Set(L"ProtectStructure", Bool(false));
        return Variant();
    });
    x->books.push_back(b);
    Append(x->workbooks, b->wb);
    Append(x->windows, b->window);
    return b;
}

void BuildExcel(THostGraph& h) {
    auto x = std::make_shared<TExcel>(h);
    THostObject* app = x->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(L"Microsoft Excel")},
                 {L"Creator", I4(0x5843454C)}, // 'XCEL'
                 {L"Version", Str(L"16.0")},
                 {L"Build", I4(17928)},
                 {L"Visible", Bool(true)},
                 {L"UserName", Str(L"Stand-in User")},
                 {L"OrganizationName", Str(L"Stand-in Organisation")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"PathSeparator", Str(L"\\")},
                 {L"DefaultFilePath", Str(L"C:\\Users\\Public\\Documents")},
                 {L"StartupPath", Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Excel\\XLSTART")},
                 {L"OperatingSystem", Str(L"Windows (64-bit) NT 10.00")},
                 {L"Calculation", I4(-4105)},
                 {L"ScreenUpdating", Bool(true)},
                 {L"DisplayAlerts", Bool(true)},
                 {L"EnableEvents", Bool(true)},
                 {L"StatusBar", Bool(false)},
                 {L"WindowState", I4(-4137)},
                 {L"Interactive", Bool(true)},
                 {L"ReferenceStyle", I4(1)},
                 {L"SheetsInNewWorkbook", I4(1)}});
    x->workbooks = List(h, app, L"Workbooks", L"Workbooks");
    x->windows = List(h, app, L"Windows", L"Windows");
    h.Name(L"Workbooks", x->workbooks);
    h.Name(L"Windows", x->windows);

    const ExcelBook budget = AddExcelBook(x, L"C:\\Users\\Public\\Documents\\Budget.xlsx", {L"Summary", L"Data"}, true);
    const ExcelSheet summary = budget->order[0], data = budget->order[1];
    const struct {
        const wchar_t* cell;
        Variant value;
    } cells[] = {{L"A1", Str(L"Month")},          {L"B1", Str(L"Rent")}, {L"C1", Str(L"Travel")},
                 {L"A2", Str(L"January")},        {L"B2", R8(1200)},     {L"C2", R8(310)},
                 {L"A3", Str(L"February")},       {L"B3", R8(1200)},     {L"C3", R8(275)},
                 {L"A4", Str(L"March")},          {L"B4", R8(1200)},     {L"C4", R8(420)},
                 {L"A1", Str(L"Total spending")}, {L"B1", R8(4605)}};
    for (size_t i = 0; i < std::size(cells); ++i) {
        const ExcelSheet& s = i < 12 ? data : summary;
        const TArea area = *ParseArea(cells[i].cell);
        SetExcelValue(*x, s, ExcelRange(x, s, area), area, cells[i].value, false);
    }
    Values(ExcelRange(x, summary, *ParseArea(L"B1")), {{L"Formula", Str(L"=SUM(Data!B2:C4)")},
                                                       {L"FormulaR1C1", Str(L"=SUM(Data!R2C2:R4C3)")},
                                                       {L"HasFormula", Bool(true)},
                                                       {L"NumberFormat", Str(L"#,##0")},
                                                       {L"Text", Str(L"4,605")}});
    summary->selection = ExcelRange(x, summary, *ParseArea(L"A1:B1"));
    AddExcelBook(x, L"C:\\Users\\Public\\Documents\\Forecast.xlsx", {L"Sheet1"});
    for (const ExcelBook& b : x->books) b->wb->Set(L"Saved", Bool(true));
    ActivateExcelBook(*x, budget, false);

    x->workbooks->SetMethod(L"Add", [x](THostObject&, Args a) {
        const VARIANT* t = a.At(0);
        const bool chart = t && V_VT(t) != VT_BSTR && a.Long(0) == -4109;
        std::wstring name = L"Book" + std::to_wstring(++x->newBooks);
        if (t && V_VT(t) == VT_BSTR) {
            name = FileName(a.Text(0));
            name = name.substr(0, name.rfind(L'.')) + std::to_wstring(x->newBooks);
        }
        const ExcelBook b = chart ? AddExcelBook(x, name, {}, true) : AddExcelBook(x, name, {L"Sheet1"});
        for (LONG n = 2; !chart && n <= LongOf(x->app->Get(L"SheetsInNewWorkbook"), 1); ++n)
            AddExcelSheet(x, b, false, L"Sheet" + std::to_wstring(n), b->order.size());
        b->wb->Set(L"Path", Str(L""));
        if (EventsOn(*x)) x->app->Fire(L"NewWorkbook", {Arg(b->wb)});
        ActivateExcelBook(*x, b, true);
        return Obj(b->wb);
    });
    x->workbooks->SetMethod(L"Open", [x](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (file.empty() || FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{kExcelFailed, L"Sorry, we couldn't find " + file +
                                               L". Is it possible it was moved, renamed or deleted?"};
        for (const ExcelBook& b : x->books)
            if (SameText(TextOf(b->wb->Get(L"FullName")), file)) {
                ActivateExcelBook(*x, b, true);
                return Obj(b->wb);
            }
        const ExcelBook b = AddExcelBook(x, file, {L"Sheet1"});
        b->wb->Set(L"ReadOnly", Bool(a.Bool(2, false)));
        if (EventsOn(*x)) {
            b->wb->Fire(L"Open", {});
            x->app->Fire(L"WorkbookOpen", {Arg(b->wb)});
        }
        ActivateExcelBook(*x, b, true);
        return Obj(b->wb);
    });
    x->workbooks->SetMethod(L"Close", [x](THostObject&, Args) {
        for (const ExcelBook& b : std::vector<ExcelBook>(x->books)) CloseExcelBook(*x, b, false);
        return Variant();
    });
    // The Application's Worksheets, Sheets and Charts are the active workbook's.
    for (const wchar_t* member : {L"Worksheets", L"Sheets", L"Charts"}) {
        const std::wstring name = member;
        app->SetMethod(name, [x, name](THostObject&, Args) {
            if (!x->active) return Nothing();
            return x->active->wb->Get(name);
        });
    }
    auto activeSheet = [x]() {
        if (!x->active || x->active->active->chart)
            throw THostError{kExcelFailed, L"Method 'Range' of object '_Global' failed"};
        return x->active->active;
    };
    app->SetMethod(L"Range", [x, activeSheet](THostObject&, Args a) { return Obj(ExcelRangeOf(x, activeSheet(), a)); });
    app->SetMethod(L"Calculate", [x](THostObject&, Args) {
        if (!EventsOn(*x)) return Variant();
        for (const ExcelBook& b : std::vector<ExcelBook>(x->books))
            for (const ExcelSheet& s : b->order)
                if (!s->chart) {
                    s->sheet->Fire(L"Calculate", {});
                    b->wb->Fire(L"SheetCalculate", {Arg(s->sheet)});
                    x->app->Fire(L"SheetCalculate", {Arg(s->sheet)});
                }
        x->app->Fire(L"AfterCalculate", {});
        return Variant();
    });
    // A number, a cell of the active sheet, or #NAME? (Excel's error value 2029).
    app->SetMethod(L"Evaluate", [x](THostObject&, Args a) {
        const std::wstring text = a.Text(0);
        Variant number;
        const Variant asText = Str(text);
        if (SUCCEEDED(Change(number, asText.Get(), VT_R8))) return number;
        if (x->active && !x->active->active->chart)
            if (const std::optional<TArea> area = ParseArea(text))
                return ExcelRange(x, x->active->active, *area)->Get(L"Value");
        return Variant::FromError(HostCode(2029));
    });
    app->SetMethod(L"Goto", [x](THostObject&, Args a) {
        THostObject* target = Own(x->h, a.At(0));
        for (const auto& [sheet, s] : x->sheetOf)
            for (const auto& [address, r] : s->ranges)
                if (r == target && x->active && s->book == x->active.get()) {
                    ActivateExcelSheet(*x, s, true);
                    SelectExcel(*x, s, r, true);
                    return Variant();
                }
        throw THostError{kExcelFailed, L"Reference is not valid."};
    });
    app->SetMethod(L"Run", [](THostObject&, Args a) -> Variant {
        throw THostError{kExcelFailed, L"Cannot run the macro '" + a.Text(0) +
                                           L"'. The macro may not be available in this workbook or all macros may "
                                           L"be disabled."};
    });
    app->SetMethod(L"CentimetersToPoints", [](THostObject&, Args a) { return R8(DoubleArg(a, 0) * 72.0 / 2.54); });
    app->SetMethod(L"InputBox", [](THostObject&, Args) { return Bool(false); }); // as if the user cancelled
    app->SetMethod(L"Wait", [](THostObject&, Args) { return Bool(true); });
}

} // namespace

// ==== PowerPoint ====

namespace {

constexpr LONG msoTrue = -1, msoFalse = 0;

struct TPptPresentation {
    THostObject* pres = nullptr;
    THostObject* slides = nullptr;
    THostObject* window = nullptr; // null for a presentation opened without a window
    THostObject* view = nullptr;
    THostObject* selection = nullptr;
    LONG nextSlideId = 256;
};
using PptPresentation = std::shared_ptr<TPptPresentation>;

struct TPpt {
    explicit TPpt(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* presentations = nullptr;
    THostObject* windows = nullptr;
    std::vector<PptPresentation> open;
    PptPresentation active;
    int untitled = 0;
};
using Ppt = std::shared_ptr<TPpt>;

THostObject* PptShape(const Ppt& pp, const PptPresentation& p, THostObject* slide, LONG type, LONG autoShape,
                      const std::wstring& kind, float left, float top, float width, float height,
                      const std::wstring& text) {
    THostGraph& h = pp->h;
    THostObject* shapes = Own(h, &slide->Get(L"Shapes").Get());
    const LONG id = static_cast<LONG>(shapes->items.size()) + 2;
    THostObject* shape = Make(h, L"Shape", slide);
    Values(shape, {{L"Name", Str(kind + L" " + std::to_wstring(id))},
                   {L"Id", I4(id)},
                   {L"Type", I4(type)},
                   {L"AutoShapeType", I4(autoShape)},
                   {L"Left", R4(left)},
                   {L"Top", R4(top)},
                   {L"Width", R4(width)},
                   {L"Height", R4(height)},
                   {L"Rotation", R4(0)},
                   {L"Visible", I4(msoTrue)},
                   {L"HasTextFrame", I4(type == 13 ? msoFalse : msoTrue)},
                   {L"AlternativeText", Str(L"")}});
    shape->SetMethod(L"ZOrderPosition",
                     [shapes, shape](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(shapes, shape)) + 1); });
    if (type != 13) {
        THostObject* frame = Child(h, shape, L"TextFrame", L"TextFrame");
        THostObject* range = Child(h, frame, L"TextRange", L"TextRange");
        Values(frame, {{L"HasText", I4(text.empty() ? msoFalse : msoTrue)},
                       {L"WordWrap", I4(msoTrue)},
                       {L"AutoSize", I4(0)},
                       {L"MarginLeft", R4(7.2f)},
                       {L"MarginTop", R4(3.6f)}});
        Values(range, {{L"Text", Str(text)},
                       {L"Length", I4(static_cast<LONG>(text.size()))},
                       {L"Start", I4(1)},
                       {L"IndentLevel", I4(1)}});
        auto setText = [frame](THostObject& self, const std::wstring& t) {
            Values(&self, {{L"Text", Str(t)}, {L"Length", I4(static_cast<LONG>(t.size()))}});
            frame->Set(L"HasText", I4(t.empty() ? msoFalse : msoTrue));
        };
        range->OnPut(L"Text", [setText](THostObject& self, const Variant& v) { setText(self, TextOf(v)); });
        range->SetMethod(L"InsertAfter", [setText](THostObject& self, Args a) {
            setText(self, TextOf(self.Get(L"Text")) + a.Text(0));
            return Obj(&self);
        });
        range->SetMethod(L"InsertBefore", [setText](THostObject& self, Args a) {
            setText(self, a.Text(0) + TextOf(self.Get(L"Text")));
            return Obj(&self);
        });
        range->SetMethod(L"Delete", [setText](THostObject& self, Args) {
            setText(self, L"");
            return Variant();
        });
        frame->SetMethod(L"DeleteText", [setText, range](THostObject&, Args) {
            setText(*range, L"");
            return Variant();
        });
    }
    auto resized = [pp](THostObject& self, const Variant&) { pp->app->Fire(L"AfterShapeSizeChange", {Arg(&self)}); };
    shape->OnPut(L"Width", resized);
    shape->OnPut(L"Height", resized);
    shape->SetMethod(L"IncrementLeft", [](THostObject& self, Args a) {
        self.Set(L"Left", R4(static_cast<float>(DoubleOf(self.Get(L"Left")) + DoubleArg(a, 0))));
        return Variant();
    });
    shape->SetMethod(L"IncrementTop", [](THostObject& self, Args a) {
        self.Set(L"Top", R4(static_cast<float>(DoubleOf(self.Get(L"Top")) + DoubleArg(a, 0))));
        return Variant();
    });
    shape->SetMethod(L"Delete", [shapes](THostObject& self, Args) {
        Remove(shapes, &self);
        return Variant();
    });
    shape->SetMethod(L"Select", [pp, p](THostObject& self, Args) {
        if (pp->active != p)
            throw THostError{E_FAIL, L"Shape.Select : Invalid request. This view does not support selection."};
        p->selection->Set(L"Type", I4(2));
        p->selection->SetObject(L"ShapeRange", &self);
        pp->app->Fire(L"WindowSelectionChange", {Arg(p->selection)});
        return Variant();
    });
    Append(shapes, shape);
    return shape;
}

void RenumberSlides(const TPptPresentation& p) {
    LONG n = 1;
    for (const Variant& item : p.slides->items) {
        auto* slide = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        Values(slide, {{L"SlideIndex", I4(n)}, {L"SlideNumber", I4(n)}});
        ++n;
    }
}

// The slide shown and selected in the presentation's window.
void SelectPptSlide(TPpt& pp, const TPptPresentation& p, THostObject* slide, bool fire) {
    if (!p.window) return;
    p.view->SetObject(L"Slide", slide);
    p.selection->SetObject(L"SlideRange", slide);
    p.selection->SetObject(L"ShapeRange", nullptr);
    p.selection->Set(L"Type", I4(slide ? 1 : 0));
    if (pp.active.get() == &p) {
        if (slide)
            pp.h.Name(L"ActiveWindow.View.Slide", slide);
        else
            pp.h.SetNothing(L"ActiveWindow.View.Slide");
    }
    if (!fire) return;
    pp.app->Fire(L"SlideSelectionChanged", {Arg(slide)});
    pp.app->Fire(L"WindowSelectionChange", {Arg(p.selection)});
}

THostObject* AddPptSlide(const Ppt& pp, const PptPresentation& p, LONG index, LONG layout,
                         const std::wstring& title = {}, const std::wstring& body = {}) {
    THostGraph& h = pp->h;
    const LONG count = static_cast<LONG>(p->slides->items.size());
    if (index < 1 || index > count + 1) throw THostError{E_INVALIDARG, L"Slides.Add : Index out of bounds."};
    THostObject* slide = Make(h, L"Slide", p->pres);
    const LONG id = p->nextSlideId++;
    Values(slide, {{L"Name", Str(L"Slide" + std::to_wstring(id - 255))},
                   {L"SlideID", I4(id)},
                   {L"Layout", I4(layout)},
                   {L"FollowMasterBackground", I4(msoTrue)},
                   {L"DisplayMasterShapes", I4(msoTrue)},
                   {L"NotesText", Str(L"")}});
    THostObject* shapes = List(h, slide, L"Shapes", L"Shapes");
    Insert(p->slides, static_cast<size_t>(index - 1), slide);
    RenumberSlides(*p);
    if (layout != 12) {
        THostObject* t = PptShape(pp, p, slide, 14, 1, L"Title", 66, 28.7f, 828, 104.4f, title);
        shapes->SetObject(L"Title", t);
        shapes->Set(L"HasTitle", I4(msoTrue));
        if (layout == 1)
            PptShape(pp, p, slide, 14, 1, L"Subtitle", 120, 301.9f, 720, 157.5f, body);
        else if (layout != 11)
            PptShape(pp, p, slide, 14, 1, L"Content Placeholder", 66, 143.7f, 828, 342.6f, body);
    } else {
        shapes->Set(L"HasTitle", I4(msoFalse));
    }
    shapes->SetMethod(L"AddShape", [pp, p, slide](THostObject&, Args a) {
        static const std::map<LONG, std::wstring> kinds = {
            {1, L"Rectangle"}, {5, L"Rounded Rectangle"}, {9, L"Oval"}, {33, L"Right Arrow"}, {92, L"Star: 5 Points"}};
        const auto kind = kinds.find(a.Long(0, 1));
        return Obj(PptShape(pp, p, slide, 1, a.Long(0, 1), kind == kinds.end() ? L"Freeform" : kind->second,
                            static_cast<float>(DoubleArg(a, 1)), static_cast<float>(DoubleArg(a, 2)),
                            static_cast<float>(DoubleArg(a, 3)), static_cast<float>(DoubleArg(a, 4)), L""));
    });
    shapes->SetMethod(L"AddTextbox", [pp, p, slide](THostObject&, Args a) {
        return Obj(PptShape(pp, p, slide, 17, 1, L"TextBox", static_cast<float>(DoubleArg(a, 1)),
                            static_cast<float>(DoubleArg(a, 2)), static_cast<float>(DoubleArg(a, 3)),
                            static_cast<float>(DoubleArg(a, 4)), L""));
    });
    shapes->SetMethod(L"AddPicture", [pp, p, slide](THostObject&, Args a) {
        if (a.Text(0).empty()) throw THostError{E_INVALIDARG, L"Shapes.AddPicture : The specified file wasn't found."};
        return Obj(PptShape(pp, p, slide, 13, 1, L"Picture", static_cast<float>(DoubleArg(a, 3)),
                            static_cast<float>(DoubleArg(a, 4)), static_cast<float>(DoubleArg(a, 5, 320)),
                            static_cast<float>(DoubleArg(a, 6, 240)), L""));
    });
    slide->SetMethod(L"Select", [pp, p, slide](THostObject&, Args) {
        SelectPptSlide(*pp, *p, slide, true);
        return Variant();
    });
    slide->SetMethod(L"Delete", [pp, p, slide](THostObject&, Args) {
        const size_t at = IndexOf(p->slides, slide);
        if (!Remove(p->slides, slide)) return Variant();
        RenumberSlides(*p);
        const Variant shown = p->view ? p->view->Get(L"Slide") : Variant();
        if (shown.Type() == VT_DISPATCH && V_DISPATCH(&shown.Get()) == slide) {
            const auto& items = p->slides->items;
            SelectPptSlide(*pp, *p,
                           items.empty()
                               ? nullptr
                               : static_cast<THostObject*>(V_DISPATCH(&items[std::min(at, items.size() - 1)].Get())),
                           true);
        }
        return Variant();
    });
    slide->SetMethod(L"MoveTo", [p, slide](THostObject&, Args a) {
        const LONG to = a.Long(0);
        if (to < 1 || to > static_cast<LONG>(p->slides->items.size()))
            throw THostError{E_INVALIDARG, L"Slide.MoveTo : Integer out of range."};
        Remove(p->slides, slide);
        Insert(p->slides, static_cast<size_t>(to - 1), slide);
        RenumberSlides(*p);
        return Variant();
    });
    slide->SetMethod(L"Duplicate", [pp, p, slide](THostObject&, Args) {
        return Obj(AddPptSlide(pp, p, LongOf(slide->Get(L"SlideIndex")) + 1, LongOf(slide->Get(L"Layout"))));
    });
    return slide;
}

void PublishPpt(TPpt& pp) {
    if (!pp.active) {
        for (const wchar_t* path : {L"ActivePresentation", L"ActiveWindow"}) pp.h.SetNothing(path);
        pp.app->Set(L"Caption", Str(L"PowerPoint"));
        return;
    }
    const TPptPresentation& p = *pp.active;
    pp.app->SetObject(L"ActivePresentation", p.pres);
    pp.app->SetObject(L"ActiveWindow", p.window);
    pp.h.Name(L"ActivePresentation", p.pres);
    pp.h.Name(L"ActiveWindow", p.window);
    pp.h.Name(L"ActiveWindow.View", p.view);
    pp.h.Name(L"ActiveWindow.Selection", p.selection);
    const Variant slide = p.view->Get(L"Slide");
    if (THostObject* s = Own(pp.h, &slide.Get()))
        pp.h.Name(L"ActiveWindow.View.Slide", s);
    else
        pp.h.SetNothing(L"ActiveWindow.View.Slide");
    for (const PptPresentation& other : pp.open)
        if (other->window) other->window->Set(L"Active", I4(other == pp.active ? msoTrue : msoFalse));
    pp.app->Set(L"Caption", Str(TextOf(p.pres->Get(L"Name")) + L" - PowerPoint"));
}

void ActivatePpt(TPpt& pp, const PptPresentation& p, bool fire) {
    if (!p->window) return;
    const PptPresentation old = pp.active;
    pp.active = p;
    PublishPpt(pp);
    if (!fire || old == p) return;
    if (old) pp.app->Fire(L"WindowDeactivate", {Arg(old->pres), Arg(old->window)});
    pp.app->Fire(L"WindowActivate", {Arg(p->pres), Arg(p->window)});
}

void SavePpt(TPpt& pp, const PptPresentation& p) {
    if (Cancelled(pp.app, L"PresentationBeforeSave", {Arg(p->pres)})) return;
    p->pres->Set(L"Saved", I4(msoTrue));
    pp.app->Fire(L"PresentationSave", {Arg(p->pres)});
}

void ClosePpt(TPpt& pp, const PptPresentation& p) {
    if (std::find(pp.open.begin(), pp.open.end(), p) == pp.open.end()) return;
    if (Cancelled(pp.app, L"PresentationBeforeClose", {Arg(p->pres)})) return;
    pp.app->Fire(L"PresentationClose", {Arg(p->pres)});
    std::erase(pp.open, p);
    Remove(pp.presentations, p->pres);
    if (p->window) Remove(pp.windows, p->window);
    if (pp.active != p) return;
    pp.active = nullptr;
    for (auto it = pp.open.rbegin(); it != pp.open.rend(); ++it)
        if ((*it)->window) {
            ActivatePpt(pp, *it, true);
            return;
        }
    PublishPpt(pp);
}

PptPresentation AddPpt(const Ppt& pp, const std::wstring& fullName, bool withWindow) {
    THostGraph& h = pp->h;
    auto p = std::make_shared<TPptPresentation>();
    const std::wstring name = FileName(fullName);
    p->pres = Make(h, L"Presentation", pp->app);
    Values(p->pres, {{L"Name", Str(name)},
                     {L"FullName", Str(fullName)},
                     {L"Path", Str(Folder(fullName))},
                     {L"Saved", I4(msoTrue)},
                     {L"ReadOnly", I4(msoFalse)},
                     {L"Final", Bool(false)},
                     {L"SlideWidth", R4(960)},
                     {L"SlideHeight", R4(540)},
                     {L"TemplateName", Str(L"Office Theme")}});
    p->slides = List(h, p->pres, L"Slides", L"Slides");
    THostObject* presWindows = List(h, p->pres, L"Windows", L"DocumentWindows");
    if (withWindow) {
        p->window = Make(h, L"DocumentWindow", pp->app);
        Values(p->window, {{L"Caption", Str(name)},
                           {L"WindowState", I4(3)},
                           {L"Left", R4(0)},
                           {L"Top", R4(0)},
                           {L"Width", R4(960)},
                           {L"Height", R4(600)},
                           {L"Active", I4(msoFalse)},
                           {L"ViewType", I4(9)},
                           {L"BlackAndWhite", I4(msoFalse)}});
        p->window->SetObject(L"Presentation", p->pres);
        p->view = Child(h, p->window, L"View", L"View");
        Values(p->view, {{L"Type", I4(9)},
                         {L"Zoom", I4(68)},
                         {L"DisplaySlideMiniature", I4(msoFalse)},
                         {L"ZoomToFit", I4(msoTrue)}});
        p->selection = Child(h, p->window, L"Selection", L"Selection");
        Values(p->selection, {{L"Type", I4(0)}, {L"HasChildShapeRange", Bool(false)}});
        Append(presWindows, p->window);
        Append(pp->windows, p->window);
        THostObject* window = p->window;
        window->SetMethod(L"Activate", [pp, p](THostObject&, Args) {
            ActivatePpt(*pp, p, true);
            return Variant();
        });
        window->SetMethod(L"Close", [pp, p](THostObject&, Args) {
            ClosePpt(*pp, p);
            return Variant();
        });
        window->SetMethod(L"PointsToScreenPixelsX", [](THostObject&, Args a) {
            return I4(static_cast<LONG>(std::lround(DoubleArg(a, 0) * 96 / 72)));
        });
        window->SetMethod(L"PointsToScreenPixelsY", [](THostObject&, Args a) {
            return I4(static_cast<LONG>(std::lround(DoubleArg(a, 0) * 96 / 72)) + 120);
        });
        p->view->SetMethod(L"GotoSlide", [pp, p](THostObject&, Args a) {
            const LONG index = a.Long(0);
            if (index < 1 || index > static_cast<LONG>(p->slides->items.size()))
                throw THostError{E_INVALIDARG, L"View.GotoSlide : Index out of bounds."};
            SelectPptSlide(*pp, *p, static_cast<THostObject*>(V_DISPATCH(&p->slides->items[index - 1].Get())), true);
            return Variant();
        });
        p->view->OnPut(L"Slide", [pp, p](THostObject&, const Variant& v) {
            THostObject* slide = Own(pp->h, &v.Get());
            if (!slide || IndexOf(p->slides, slide) == std::wstring::npos)
                throw THostError{E_INVALIDARG, L"View.Slide : Invalid request. The slide is not in this presentation."};
            SelectPptSlide(*pp, *p, slide, true);
        });
        p->selection->SetMethod(L"Unselect", [pp, p](THostObject& self, Args) {
            Values(&self, {{L"Type", I4(0)}, {L"SlideRange", Nothing()}, {L"ShapeRange", Nothing()}});
            pp->app->Fire(L"WindowSelectionChange", {Arg(&self)});
            return Variant();
        });
    }
    p->slides->SetMethod(L"Add", [pp, p](THostObject&, Args a) {
        THostObject* slide = AddPptSlide(pp, p, a.Long(0), a.Long(1, 2));
        p->pres->Set(L"Saved", I4(msoFalse));
        pp->app->Fire(L"PresentationNewSlide", {Arg(slide)});
        return Obj(slide);
    });
    p->slides->SetMethod(L"FindBySlideID", [p](THostObject&, Args a) {
        for (const Variant& item : p->slides->items)
            if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"SlideID")) == a.Long(0)) return item;
        throw THostError{E_INVALIDARG, L"Slides.FindBySlideID : Item " + std::to_wstring(a.Long(0)) + L" not found."};
    });
    p->pres->SetMethod(L"Save", [pp, p](THostObject&, Args) {
        SavePpt(*pp, p);
        return Variant();
    });
    p->pres->SetMethod(L"SaveAs", [pp, p](THostObject& self, Args a) {
        const std::wstring file = a.Text(0);
        if (file.empty()) throw THostError{E_INVALIDARG, L"Presentation.SaveAs : Invalid file name."};
        Values(&self, {{L"Name", Str(FileName(file))}, {L"FullName", Str(file)}, {L"Path", Str(Folder(file))}});
        if (p->window) p->window->Set(L"Caption", Str(FileName(file)));
        SavePpt(*pp, p);
        if (pp->active == p) PublishPpt(*pp);
        return Variant();
    });
    p->pres->SetMethod(L"Close", [pp, p](THostObject&, Args) {
        ClosePpt(*pp, p);
        return Variant();
    });
    p->pres->SetMethod(L"PrintOut", [pp, p](THostObject&, Args) {
        pp->app->Fire(L"PresentationPrint", {Arg(p->pres)});
        return Variant();
    });
    pp->open.push_back(p);
    Append(pp->presentations, p->pres);
    return p;
}

void BuildPowerPoint(THostGraph& h) {
    auto pp = std::make_shared<TPpt>(h);
    THostObject* app = pp->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(L"Microsoft PowerPoint")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"17928")},
                 {L"Visible", I4(msoTrue)},
                 {L"WindowState", I4(3)},
                 {L"Left", R4(0)},
                 {L"Top", R4(0)},
                 {L"Width", R4(960)},
                 {L"Height", R4(600)},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"OperatingSystem", Str(L"Windows (64-bit) NT 10.00")},
                 {L"ActivePrinter", Str(L"Microsoft Print to PDF")},
                 {L"DisplayAlerts", I4(2)},
                 {L"Active", I4(msoTrue)},
                 {L"Creator", I4(0x50505433)}, // 'PPT3'
                 {L"ProductCode", Str(L"{90160000-000F-0000-1000-0000000FF1CE}")}});
    pp->presentations = List(h, app, L"Presentations", L"Presentations");
    pp->windows = List(h, app, L"Windows", L"DocumentWindows");
    h.Name(L"Presentations", pp->presentations);

    const PptPresentation review = AddPpt(pp, L"C:\\Users\\Public\\Documents\\Quarterly Review.pptx", true);
    AddPptSlide(pp, review, 1, 1, L"Quarterly Review", L"Third quarter");
    AddPptSlide(pp, review, 2, 2, L"Results", L"Sales grew in every region\rCosts stayed flat");
    THostObject* outlook = AddPptSlide(pp, review, 3, 11, L"Outlook");
    PptShape(pp, review, outlook, 1, 1, L"Rectangle", 120, 200, 300, 150, L"Next quarter");
    SelectPptSlide(*pp, *review, static_cast<THostObject*>(V_DISPATCH(&review->slides->items[0].Get())), false);
    ActivatePpt(*pp, review, false);

    pp->presentations->SetMethod(L"Add", [pp](THostObject&, Args a) {
        const bool withWindow = a.Long(0, msoTrue) != msoFalse;
        const PptPresentation p = AddPpt(pp, L"Presentation" + std::to_wstring(++pp->untitled), withWindow);
        p->pres->Set(L"Path", Str(L""));
        pp->app->Fire(L"NewPresentation", {Arg(p->pres)});
        pp->app->Fire(L"AfterNewPresentation", {Arg(p->pres)});
        ActivatePpt(*pp, p, true);
        return Obj(p->pres);
    });
    pp->presentations->SetMethod(L"Open", [pp](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (file.empty() || FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{E_FAIL, L"Presentations.Open : PowerPoint can't open this type of file (" + file + L")."};
        for (const PptPresentation& p : pp->open)
            if (SameText(TextOf(p->pres->Get(L"FullName")), file)) return Obj(p->pres);
        const PptPresentation p = AddPpt(pp, file, a.Long(3, msoTrue) != msoFalse);
        p->pres->Set(L"ReadOnly", I4(a.Long(1, msoFalse) != msoFalse ? msoTrue : msoFalse));
        AddPptSlide(pp, p, 1, 1, FileName(file).substr(0, FileName(file).rfind(L'.')));
        p->pres->Set(L"Saved", I4(msoTrue));
        SelectPptSlide(*pp, *p, static_cast<THostObject*>(V_DISPATCH(&p->slides->items[0].Get())), false);
        pp->app->Fire(L"PresentationOpen", {Arg(p->pres)});
        pp->app->Fire(L"AfterPresentationOpen", {Arg(p->pres)});
        ActivatePpt(*pp, p, true);
        return Obj(p->pres);
    });
    app->SetMethod(L"Run", [](THostObject&, Args a) -> Variant {
        throw THostError{E_FAIL,
                         L"Application.Run : Invalid request.  Sub or Function not defined (" + a.Text(0) + L")."};
    });
}

} // namespace

// ==== OneNote ====

namespace {

const HRESULT kOneNoteNoObject = static_cast<HRESULT>(0x80042014); // "The object does not exist."
const HRESULT kOneNoteBadXml = static_cast<HRESULT>(0x80042001);   // "The XML is not well-formed."

// A notebook (level 1), section (2) or page (3) of the hierarchy the XML methods describe.
struct TNoteNode {
    std::wstring id, name, path, modified;
    int level = 1;
    int parent = -1;
    bool gone = false;
};

struct TOneNote {
    explicit TOneNote(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* windows = nullptr;
    std::vector<TNoteNode> nodes;
    int nextId = 1;
};
using OneNote = std::shared_ptr<TOneNote>;

std::wstring XmlEscape(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        case L'"':
            out += L"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

int AddNoteNode(TOneNote& on, int parent, int level, const std::wstring& name) {
    wchar_t id[64];
    std::swprintf(id, 64, L"{2B7C6A1E-0D4F-4C8B-9E3A-5F1D2C3B4A%02X}{1}{%ls}", on.nextId++,
                  level == 3 ? L"E1955886273140458714841251928101364064111" : L"B0");
    TNoteNode node{id, name, {}, L"2026-11-30T09:15:00.000Z", level, parent};
    if (level == 1) node.path = L"C:\\Users\\Public\\Documents\\OneNote Notebooks\\" + name;
    if (level == 2) node.path = on.nodes[static_cast<size_t>(parent)].path + L"\\" + name + L".one";
    on.nodes.push_back(node);
    return static_cast<int>(on.nodes.size()) - 1;
}

int FindNoteNode(const TOneNote& on, const std::wstring& id) {
    for (size_t i = 0; i < on.nodes.size(); ++i)
        if (!on.nodes[i].gone && SameText(on.nodes[i].id, id)) return static_cast<int>(i);
    throw THostError{kOneNoteNoObject, L"The object does not exist."};
}

// The XML of `node` and its descendants down to `maxLevel` that `keep` accepts.
void NoteXml(const TOneNote& on, int node, int maxLevel, const std::function<bool(int)>& keep, std::wstring& out,
             bool root) {
    static const wchar_t* const kElements[] = {L"", L"Notebook", L"Section", L"Page"};
    const TNoteNode& n = on.nodes[static_cast<size_t>(node)];
    out += L"<one:" + std::wstring(kElements[n.level]);
    if (root) out += L" xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/onenote\"";
    out += L" ID=\"" + n.id + L"\" name=\"" + XmlEscape(n.name) + L"\"";
    if (n.level == 1) out += L" nickname=\"" + XmlEscape(n.name) + L"\"";
    if (!n.path.empty()) out += L" path=\"" + XmlEscape(n.path) + L"\"";
    out += L" lastModifiedTime=\"" + n.modified + L"\"";
    if (n.level == 3) out += L" dateTime=\"" + n.modified + L"\" pageLevel=\"1\"";
    std::wstring children;
    for (size_t i = 0; i < on.nodes.size(); ++i)
        if (on.nodes[i].parent == node && !on.nodes[i].gone && on.nodes[i].level <= maxLevel &&
            keep(static_cast<int>(i)))
            NoteXml(on, static_cast<int>(i), maxLevel, keep, children, false);
    out += children.empty() ? L"/>" : L">" + children + L"</one:" + kElements[n.level] + L">";
}

std::wstring HierarchyXml(
    const TOneNote& on, const std::wstring& start, LONG scope,
    const std::function<bool(int)>& keep = [](int) { return true; }) {
    std::wstring xml = L"<?xml version=\"1.0\"?>";
    if (start.empty()) {
        const int maxLevel = scope == 0 ? 0 : scope == 1 ? 1 : static_cast<int>(scope) - 1;
        std::wstring children;
        for (size_t i = 0; i < on.nodes.size(); ++i)
            if (on.nodes[i].level == 1 && !on.nodes[i].gone && maxLevel >= 1 && keep(static_cast<int>(i)))
                NoteXml(on, static_cast<int>(i), maxLevel, keep, children, false);
        return xml + L"<one:Notebooks xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/onenote\">" +
               children + L"</one:Notebooks>";
    }
    const int node = FindNoteNode(on, start);
    const int level = on.nodes[static_cast<size_t>(node)].level;
    const int maxLevel = scope == 0 ? level : scope == 1 ? level + 1 : std::max(level, static_cast<int>(scope) - 1);
    NoteXml(on, node, maxLevel, keep, xml, true);
    return xml;
}

// Shows `node` in `window`: a notebook or section shows its first page.
void NavigateOneNote(TOneNote& on, THostObject* window, int node) {
    auto firstChild = [&on](int parent) {
        for (size_t i = 0; i < on.nodes.size(); ++i)
            if (on.nodes[i].parent == parent && !on.nodes[i].gone) return static_cast<int>(i);
        return -1;
    };
    int page = node, section = -1, notebook = -1;
    while (page >= 0 && on.nodes[static_cast<size_t>(page)].level < 3) page = firstChild(page);
    for (int at = page >= 0 ? page : node; at >= 0; at = on.nodes[static_cast<size_t>(at)].parent) {
        if (on.nodes[static_cast<size_t>(at)].level == 2) section = at;
        if (on.nodes[static_cast<size_t>(at)].level == 1) notebook = at;
    }
    auto idOf = [&on](int i) { return Str(i >= 0 ? on.nodes[static_cast<size_t>(i)].id : std::wstring()); };
    Values(window, {{L"CurrentPageId", idOf(page)},
                    {L"CurrentSectionId", idOf(section)},
                    {L"CurrentSectionGroupId", Str(L"")},
                    {L"CurrentNotebookId", idOf(notebook)}});
    on.app->Fire(L"OnNavigate", {});
}

THostObject* ActiveOneNoteWindow(const TOneNote& on) {
    for (const Variant& item : on.windows->items) {
        auto* w = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        if (BoolOf(w->Get(L"Active"))) return w;
    }
    return nullptr;
}

void HierarchyChanged(TOneNote& on) {
    THostObject* window = ActiveOneNoteWindow(on);
    const Variant page = window ? window->Get(L"CurrentPageId") : Str(L"");
    on.app->Fire(L"OnHierarchyChange", {ArgOf(page)});
}

void BuildOneNote(THostGraph& h) {
    auto on = std::make_shared<TOneNote>(h);
    TOneNote& o = *on;
    THostObject* app = o.app = h.App();
    const int work = AddNoteNode(o, -1, 1, L"Work Notes");
    const int meetings = AddNoteNode(o, work, 2, L"Meetings");
    const int kickoff = AddNoteNode(o, meetings, 3, L"Kick-off");
    AddNoteNode(o, meetings, 3, L"Weekly sync");
    const int projects = AddNoteNode(o, work, 2, L"Projects");
    const int move = AddNoteNode(o, projects, 3, L"Office move");
    AddNoteNode(o, projects, 3, L"Budget review");
    const int personal = AddNoteNode(o, -1, 1, L"Personal");
    const int quick = AddNoteNode(o, personal, 2, L"Quick Notes");
    const int shopping = AddNoteNode(o, quick, 3, L"Shopping list");

    o.windows = Child(h, app, L"Windows", L"Windows");
    o.windows->collection = true;
    h.Name(L"Windows", o.windows);
    const int shown[] = {kickoff, move, shopping};
    for (int i = 0; i < 3; ++i) {
        THostObject* window = Make(h, L"Window", app);
        Values(window, {{L"Active", Bool(i == 1)},
                        {L"FullPageView", Bool(false)},
                        {L"DockedLocation", I4(i == 2 ? 2 : -1)},
                        {L"SideNote", Bool(i == 2)}});
        Append(o.windows, window);
        NavigateOneNote(o, window, shown[i]);
        window->OnPut(L"Active", [on, window](THostObject&, const Variant& v) {
            if (!BoolOf(v)) return;
            for (const Variant& item : on->windows->items)
                if (V_DISPATCH(&item.Get()) != window)
                    static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"Active", Bool(false));
            on->h.Name(L"ActiveWindow", window);
        });
        window->SetMethod(L"NavigateTo", [on, window](THostObject&, Args a) {
            NavigateOneNote(*on, window, FindNoteNode(*on, a.Text(0)));
            return Variant();
        });
        window->SetMethod(L"NavigateToUrl", [on](THostObject&, Args a) {
            if (a.Text(0).rfind(L"onenote:", 0) == 0) on->app->Fire(L"OnNavigate", {});
            return Variant();
        });
        window->SetMethod(L"SetDockedLocation", [](THostObject& self, Args a) {
            self.Set(L"DockedLocation", I4(a.Long(0)));
            return Variant();
        });
        if (i == 1) h.Name(L"ActiveWindow", window);
    }
    o.windows->SetMethod(L"CurrentWindow", [on](THostObject&, Args) { return Obj(ActiveOneNoteWindow(*on)); });

    app->SetMethod(L"GetHierarchy", [on](THostObject&, Args a) {
        SetOut(a, 2, Str(HierarchyXml(*on, a.Text(0), a.Long(1, 2))));
        return Variant();
    });
    app->SetMethod(L"FindPages", [on](THostObject&, Args a) {
        std::wstring wanted = a.Text(1);
        std::transform(wanted.begin(), wanted.end(), wanted.begin(), ::towlower);
        // A node is kept when it is a matching page or holds one.
        std::function<bool(int)> keep = [on, wanted, &keep](int i) {
            const TNoteNode& n = on->nodes[static_cast<size_t>(i)];
            if (n.level == 3) {
                std::wstring name = n.name;
                std::transform(name.begin(), name.end(), name.begin(), ::towlower);
                return name.find(wanted) != std::wstring::npos;
            }
            for (size_t c = 0; c < on->nodes.size(); ++c)
                if (on->nodes[c].parent == i && !on->nodes[c].gone && keep(static_cast<int>(c))) return true;
            return false;
        };
        SetOut(a, 2, Str(HierarchyXml(*on, a.Text(0), 4, keep)));
        return Variant();
    });
    app->SetMethod(L"GetPageContent", [on](THostObject&, Args a) {
        const TNoteNode& page = on->nodes[static_cast<size_t>(FindNoteNode(*on, a.Text(0)))];
        if (page.level != 3) throw THostError{kOneNoteNoObject, L"The object does not exist."};
        SetOut(a, 1,
               Str(L"<?xml version=\"1.0\"?><one:Page xmlns:one=\"http://schemas.microsoft.com/office/onenote/2013/"
                   L"onenote\" ID=\"" +
                   page.id + L"\" name=\"" + XmlEscape(page.name) + L"\" lastModifiedTime=\"" + page.modified +
                   L"\"><one:Title><one:OE><one:T><![CDATA[" + page.name +
                   L"]]></one:T></one:OE></one:Title><one:Outline><one:OEChildren><one:OE><one:T><![CDATA[Notes on " +
                   page.name + L".]]></one:T></one:OE></one:OEChildren></one:Outline></one:Page>"));
        return Variant();
    });
    app->SetMethod(L"GetHierarchyParent", [on](THostObject&, Args a) {
        const int parent = on->nodes[static_cast<size_t>(FindNoteNode(*on, a.Text(0)))].parent;
        SetOut(a, 1, Str(parent < 0 ? std::wstring() : on->nodes[static_cast<size_t>(parent)].id));
        return Variant();
    });
    app->SetMethod(L"CreateNewPage", [on](THostObject&, Args a) {
        const int section = FindNoteNode(*on, a.Text(0));
        if (on->nodes[static_cast<size_t>(section)].level != 2)
            throw THostError{kOneNoteNoObject, L"The object does not exist."};
        const int page = AddNoteNode(*on, section, 3, L"");
        SetOut(a, 1, Str(on->nodes[static_cast<size_t>(page)].id));
        HierarchyChanged(*on);
        return Variant();
    });
    auto remove = [on](THostObject&, Args a) {
        const int node = FindNoteNode(*on, a.Text(0));
        for (size_t i = 0; i < on->nodes.size(); ++i)
            for (int at = static_cast<int>(i); at >= 0; at = on->nodes[static_cast<size_t>(at)].parent)
                if (at == node) on->nodes[i].gone = true;
        HierarchyChanged(*on);
        return Variant();
    };
    app->SetMethod(L"DeleteHierarchy", remove);
    app->SetMethod(L"CloseNotebook", remove);
    app->SetMethod(L"OpenHierarchy", [on](THostObject&, Args a) {
        const std::wstring path = a.Text(0);
        for (const TNoteNode& n : on->nodes)
            if (!n.gone && SameText(n.path, path)) {
                SetOut(a, 2, Str(n.id));
                return Variant();
            }
        if (a.Long(3, 0) != 1 || path.empty()) throw THostError{kOneNoteNoObject, L"The object does not exist."};
        const int notebook = AddNoteNode(*on, -1, 1, FileName(path));
        on->nodes[static_cast<size_t>(notebook)].path = path;
        SetOut(a, 2, Str(on->nodes[static_cast<size_t>(notebook)].id));
        HierarchyChanged(*on);
        return Variant();
    });
    app->SetMethod(L"UpdateHierarchy", [on](THostObject&, Args a) {
        if (a.Text(0).find(L'<') == std::wstring::npos)
            throw THostError{kOneNoteBadXml, L"The XML is not well-formed."};
        HierarchyChanged(*on);
        return Variant();
    });
    app->SetMethod(L"NavigateTo", [on](THostObject&, Args a) {
        THostObject* window = ActiveOneNoteWindow(*on);
        if (window) NavigateOneNote(*on, window, FindNoteNode(*on, a.Text(0)));
        return Variant();
    });
    app->SetMethod(L"NavigateToUrl", [on](THostObject&, Args a) {
        if (a.Text(0).rfind(L"onenote:", 0) == 0) on->app->Fire(L"OnNavigate", {});
        return Variant();
    });
    app->SetMethod(L"GetHyperlinkToObject", [on](THostObject&, Args a) {
        const int node = FindNoteNode(*on, a.Text(0));
        const TNoteNode& n = on->nodes[static_cast<size_t>(node)];
        std::wstring file = n.path;
        if (n.level == 3) file = on->nodes[static_cast<size_t>(n.parent)].path;
        std::replace(file.begin(), file.end(), L'\\', L'/');
        std::wstring link = L"onenote:///" + file;
        if (n.level == 3) link += L"#" + n.name + L"&page-id=" + n.id + L"&end";
        SetOut(a, 2, Str(link));
        return Variant();
    });
    app->SetMethod(L"GetSpecialLocation", [](THostObject&, Args a) {
        static const wchar_t* const kPaths[] = {
            L"C:\\Users\\Public\\AppData\\Local\\Microsoft\\OneNote\\16.0\\Backup",
            L"C:\\Users\\Public\\Documents\\OneNote Notebooks\\Personal\\Quick Notes.one",
            L"C:\\Users\\Public\\Documents\\OneNote Notebooks"};
        const LONG which = a.Long(0);
        if (which < 0 || which > 2) throw THostError{E_INVALIDARG, L"The parameter is incorrect."};
        SetOut(a, 1, Str(kPaths[which]));
        return Variant();
    });
}

} // namespace

// ==== Publisher ====

namespace {

struct TPubDocument {
    THostObject* doc = nullptr;
    THostObject* pages = nullptr;
    THostObject* view = nullptr;
    THostObject* selection = nullptr;
    LONG nextPageId = 0x100;
};
using PubDocument = std::shared_ptr<TPubDocument>;

struct TPub {
    explicit TPub(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* documents = nullptr;
    THostObject* window = nullptr;
    std::vector<PubDocument> open;
    PubDocument active;
    int untitled = 0;
};
using Pub = std::shared_ptr<TPub>;

THostObject* PubShape(const Pub& pb, const PubDocument& d, THostObject* shapes, LONG type, const std::wstring& name,
                      double left, double top, double width, double height) {
    THostObject* shape = Make(pb->h, L"Shape", shapes);
    const LONG id = static_cast<LONG>(shapes->items.size()) + 1;
    Values(shape, {{L"Name", Str(name.empty() ? L"Shape " + std::to_wstring(id) : name)},
                   {L"ID", I4(id)},
                   {L"Type", I4(type)},
                   {L"Left", R8(left)},
                   {L"Top", R8(top)},
                   {L"Width", R8(width)},
                   {L"Height", R8(height)},
                   {L"Rotation", R4(0)},
                   {L"HasTextFrame", Bool(type == 17 || type == 1)},
                   {L"AlternativeText", Str(L"")}});
    shape->SetMethod(L"Select", [d](THostObject& self, Args) {
        d->selection->Set(L"Type", I4(1));
        d->selection->SetObject(L"ShapeRange", &self);
        return Variant();
    });
    shape->SetMethod(L"Delete", [d, shapes](THostObject& self, Args) {
        if (!Remove(shapes, &self)) return Variant();
        d->doc->Set(L"Saved", Bool(false));
        d->doc->Fire(L"ShapesRemoved", {});
        return Variant();
    });
    Append(shapes, shape);
    return shape;
}

void RenumberPubPages(const TPubDocument& d) {
    LONG n = 1;
    for (const Variant& item : d.pages->items) {
        auto* page = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        Values(page, {{L"PageIndex", I4(n)}, {L"PageNumber", Str(std::to_wstring(n))}});
        ++n;
    }
}

void ShowPubPage(TPub& pb, const TPubDocument& d, THostObject* page, bool fire) {
    d.view->SetObject(L"ActivePage", page);
    if (pb.active.get() == &d) pb.h.Name(L"ActiveDocument.ActiveView.ActivePage", page);
    if (fire) pb.app->Fire(L"WindowPageChange", {Arg(d.view)});
}

THostObject* AddPubPage(const Pub& pb, const PubDocument& d, size_t at) {
    THostObject* page = Make(pb->h, L"Page", d->pages);
    Values(page, {{L"Name", Str(L"")},
                  {L"PageID", I4(d->nextPageId++)},
                  {L"Width", R4(612)},
                  {L"Height", R4(792)},
                  {L"IsTwoPageMaster", Bool(false)}});
    THostObject* shapes = List(pb->h, page, L"Shapes", L"Shapes");
    shapes->SetMethod(L"AddShape", [pb, d, shapes](THostObject&, Args a) {
        THostObject* shape =
            PubShape(pb, d, shapes, 1, {}, DoubleArg(a, 1), DoubleArg(a, 2), DoubleArg(a, 3), DoubleArg(a, 4));
        d->doc->Set(L"Saved", Bool(false));
        d->doc->Fire(L"ShapesAdded", {});
        return Obj(shape);
    });
    shapes->SetMethod(L"AddTextbox", [pb, d, shapes](THostObject&, Args a) {
        THostObject* shape = PubShape(pb, d, shapes, 17, L"Text Box " + std::to_wstring(shapes->items.size() + 1),
                                      DoubleArg(a, 1), DoubleArg(a, 2), DoubleArg(a, 3), DoubleArg(a, 4));
        d->doc->Set(L"Saved", Bool(false));
        d->doc->Fire(L"ShapesAdded", {});
        return Obj(shape);
    });
    page->SetMethod(L"Delete", [pb, d, page](THostObject&, Args) {
        const size_t at = IndexOf(d->pages, page);
        if (d->pages->items.size() <= 1) throw THostError{E_FAIL, L"A publication must have at least one page."};
        if (!Remove(d->pages, page)) return Variant();
        RenumberPubPages(*d);
        const Variant shown = d->view->Get(L"ActivePage");
        if (shown.Type() == VT_DISPATCH && V_DISPATCH(&shown.Get()) == page)
            ShowPubPage(
                *pb, *d,
                static_cast<THostObject*>(V_DISPATCH(&d->pages->items[std::min(at, d->pages->items.size() - 1)].Get())),
                true);
        return Variant();
    });
    page->SetMethod(L"Move", [d, page](THostObject&, Args a) {
        const LONG to = a.Long(0);
        if (to < 1 || to > static_cast<LONG>(d->pages->items.size()))
            throw THostError{E_INVALIDARG, L"The value is out of range."};
        Remove(d->pages, page);
        Insert(d->pages, static_cast<size_t>(to - (a.Bool(1, true) ? 0 : 1)), page);
        RenumberPubPages(*d);
        return Variant();
    });
    Insert(d->pages, at, page);
    RenumberPubPages(*d);
    return page;
}

void PublishPub(TPub& pb) {
    if (!pb.active) {
        pb.h.SetNothing(L"ActiveDocument");
        pb.h.SetNothing(L"Selection");
        pb.app->Set(L"Caption", Str(L"Publisher"));
        return;
    }
    const TPubDocument& d = *pb.active;
    pb.app->SetObject(L"ActiveDocument", d.doc);
    pb.app->SetObject(L"Selection", d.selection);
    pb.h.Name(L"ActiveDocument", d.doc);
    pb.h.Name(L"ActiveDocument.ActiveView", d.view);
    pb.h.Name(L"Selection", d.selection);
    const Variant page = d.view->Get(L"ActivePage");
    if (THostObject* shown = Own(pb.h, &page.Get())) pb.h.Name(L"ActiveDocument.ActiveView.ActivePage", shown);
    const std::wstring caption = TextOf(d.doc->Get(L"Name")) + L" - Publisher";
    pb.app->Set(L"Caption", Str(caption));
    pb.window->Set(L"Caption", Str(caption));
}

void ClosePub(TPub& pb, const PubDocument& d) {
    if (std::find(pb.open.begin(), pb.open.end(), d) == pb.open.end()) return;
    if (Cancelled({{d->doc, L"BeforeClose", {}}, {pb.app, L"DocumentBeforeClose", {Arg(d->doc)}}})) return;
    std::erase(pb.open, d);
    Remove(pb.documents, d->doc);
    if (pb.active != d) return;
    pb.active = pb.open.empty() ? nullptr : pb.open.back();
    PublishPub(pb);
}

PubDocument AddPub(const Pub& pb, const std::wstring& fullName, int pageCount) {
    THostGraph& h = pb->h;
    auto d = std::make_shared<TPubDocument>();
    d->doc = Make(h, L"Document", pb->app, {L"DocumentEvents"});
    Values(d->doc, {{L"Name", Str(FileName(fullName))},
                    {L"FullName", Str(fullName)},
                    {L"Path", Str(Folder(fullName))},
                    {L"Saved", Bool(true)},
                    {L"ReadOnly", Bool(false)},
                    {L"PublicationType", I4(1)},
                    {L"ViewTwoPageSpread", Bool(false)},
                    {L"MeasurementUnit", I4(1)},
                    {L"UndoActionsAvailable", I4(0)},
                    {L"RedoActionsAvailable", I4(0)}});
    d->doc->SetObject(L"ActiveWindow", pb->window);
    d->pages = List(h, d->doc, L"Pages", L"Pages");
    THostObject* masters = List(h, d->doc, L"MasterPages", L"Pages");
    THostObject* master = Make(h, L"Page", masters);
    Values(master, {{L"Name", Str(L"Master Page A")},
                    {L"PageID", I4(0xFF)},
                    {L"PageIndex", I4(1)},
                    {L"PageNumber", Str(L"A")},
                    {L"Width", R4(612)},
                    {L"Height", R4(792)},
                    {L"IsTwoPageMaster", Bool(false)}});
    List(h, master, L"Shapes", L"Shapes");
    Append(masters, master);
    for (int i = 0; i < pageCount; ++i) AddPubPage(pb, d, d->pages->items.size());
    d->view = Child(h, d->doc, L"ActiveView", L"View");
    d->view->Set(L"Zoom", I4(75));
    d->selection = Child(h, d->doc, L"Selection", L"Selection");
    d->selection->Set(L"Type", I4(0));
    ShowPubPage(*pb, *d, static_cast<THostObject*>(V_DISPATCH(&d->pages->items[0].Get())), false);

    auto shown = std::make_shared<Variant>(d->view->Get(L"ActivePage"));
    d->view->OnPut(L"ActivePage", [pb, d, shown](THostObject& self, const Variant& v) {
        THostObject* page = Own(pb->h, &v.Get());
        if (!page || IndexOf(d->pages, page) == std::wstring::npos) {
            self.Set(L"ActivePage", *shown);
            throw THostError{E_INVALIDARG, L"The page is not a page of this publication."};
        }
        *shown = v;
        ShowPubPage(*pb, *d, page, true);
    });
    d->view->SetMethod(L"ZoomIn", [](THostObject& self, Args) {
        self.Set(L"Zoom", I4(std::min<LONG>(LongOf(self.Get(L"Zoom")) + 25, 400)));
        return Variant();
    });
    d->view->SetMethod(L"ZoomOut", [](THostObject& self, Args) {
        self.Set(L"Zoom", I4(std::max<LONG>(LongOf(self.Get(L"Zoom")) - 25, 10)));
        return Variant();
    });
    d->selection->SetMethod(L"Unselect", [](THostObject& self, Args) {
        Values(&self, {{L"Type", I4(0)}, {L"ShapeRange", Nothing()}});
        return Variant();
    });
    d->pages->SetMethod(L"Add", [pb, d](THostObject&, Args a) {
        const LONG count = a.Long(0, 1), after = a.Long(1, static_cast<LONG>(d->pages->items.size()));
        if (count < 1 || after < 0 || after > static_cast<LONG>(d->pages->items.size()))
            throw THostError{E_INVALIDARG, L"The value is out of range."};
        THostObject* first = nullptr;
        for (LONG i = 0; i < count; ++i) {
            THostObject* page = AddPubPage(pb, d, static_cast<size_t>(after + i));
            if (!first) first = page;
        }
        d->doc->Set(L"Saved", Bool(false));
        return Obj(first);
    });
    d->pages->SetMethod(L"FindByPageID", [d](THostObject&, Args a) {
        for (const Variant& item : d->pages->items)
            if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"PageID")) == a.Long(0)) return item;
        throw THostError{E_INVALIDARG, L"The page was not found."};
    });
    d->doc->SetMethod(L"Close", [pb, d](THostObject&, Args) {
        ClosePub(*pb, d);
        return Variant();
    });
    d->doc->SetMethod(L"Save", [](THostObject& self, Args) {
        self.Set(L"Saved", Bool(true));
        return Variant();
    });
    d->doc->SetMethod(L"SaveAs", [pb, d](THostObject& self, Args a) {
        const std::wstring file = a.Text(0, TextOf(self.Get(L"FullName")));
        Values(&self, {{L"Name", Str(FileName(file))},
                       {L"FullName", Str(file)},
                       {L"Path", Str(Folder(file))},
                       {L"Saved", Bool(true)}});
        if (pb->active == d) PublishPub(*pb);
        return Variant();
    });
    d->doc->SetMethod(L"PrintOut", [pb, d](THostObject&, Args) {
        if (!Cancelled(pb->app, L"BeforePrint", {Arg(d->doc)})) pb->app->Fire(L"AfterPrint", {Arg(d->doc)});
        return Variant();
    });
    d->doc->SetMethod(L"Undo", [d](THostObject&, Args a) {
        for (LONG i = 0; i < a.Long(0, 1); ++i) d->doc->Fire(L"Undo", {});
        return Variant();
    });
    d->doc->SetMethod(L"Redo", [d](THostObject&, Args a) {
        for (LONG i = 0; i < a.Long(0, 1); ++i) d->doc->Fire(L"Redo", {});
        return Variant();
    });
    pb->open.push_back(d);
    Append(pb->documents, d->doc);
    return d;
}

void BuildPublisher(THostGraph& h) {
    auto pb = std::make_shared<TPub>(h);
    THostObject* app = pb->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(L"Microsoft Publisher")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"17928")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"PathSeparator", Str(L"\\")},
                 {L"ScreenUpdating", Bool(true)},
                 {L"ActivePrinter", Str(L"Microsoft Print to PDF")},
                 {L"LanguageID", I4(1033)},
                 {L"ProductCode", Str(L"{90160000-0019-0000-1000-0000000FF1CE}")}});
    pb->window = Child(h, app, L"ActiveWindow", L"Window");
    h.Name(L"ActiveWindow", pb->window);
    Values(pb->window, {{L"WindowState", I4(2)},
                        {L"Left", I4(0)},
                        {L"Top", I4(0)},
                        {L"Width", I4(1024)},
                        {L"Height", I4(768)},
                        {L"Visible", Bool(true)}});
    pb->window->SetMethod(L"Activate", [pb](THostObject& self, Args) {
        pb->app->Fire(L"WindowActivate", {Arg(&self)});
        return Variant();
    });
    THostObject* options = Child(h, app, L"Options", L"Options");
    Values(options, {{L"AllowBackgroundSave", Bool(true)},
                     {L"AutoKeyboardSwitching", Bool(false)},
                     {L"DragAndDropText", Bool(true)},
                     {L"MeasurementUnit", I4(1)},
                     {L"UseCatalogAtStartup", Bool(true)},
                     {L"SaveAutoRecoverInfo", Bool(true)},
                     {L"AutoRecoverInterval", I4(10)},
                     {L"ShowBasicColors", Bool(false)}});
    pb->documents = List(h, app, L"Documents", L"Documents");
    h.Name(L"Documents", pb->documents);

    const PubDocument newsletter = AddPub(pb, L"C:\\Users\\Public\\Documents\\Newsletter.pub", 4);
    THostObject* front = static_cast<THostObject*>(V_DISPATCH(&newsletter->pages->items[0].Get()));
    THostObject* frontShapes = Own(h, &front->Get(L"Shapes").Get());
    PubShape(pb, newsletter, frontShapes, 17, L"Masthead", 36, 36, 540, 90);
    PubShape(pb, newsletter, frontShapes, 13, L"Picture 2", 36, 144, 260, 200);
    PubShape(pb, newsletter, frontShapes, 17, L"Lead Story", 316, 144, 260, 420);
    pb->active = newsletter;
    PublishPub(*pb);

    auto create = [pb](THostObject&, Args) {
        const PubDocument d = AddPub(pb, L"Publication" + std::to_wstring(++pb->untitled), 1);
        d->doc->Set(L"Path", Str(L""));
        pb->app->Fire(L"NewDocument", {Arg(d->doc)});
        pb->active = d;
        PublishPub(*pb);
        return Obj(d->doc);
    };
    pb->documents->SetMethod(L"Add", create);
    app->SetMethod(L"NewDocument", create);
    app->SetMethod(L"Open", [pb](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{E_FAIL, L"Publisher cannot open the file " + file + L"."};
        for (const PubDocument& d : pb->open)
            if (SameText(TextOf(d->doc->Get(L"FullName")), file)) return Obj(d->doc);
        const PubDocument d = AddPub(pb, file, 1);
        d->doc->Set(L"ReadOnly", Bool(a.Bool(1, false)));
        d->doc->Fire(L"Open", {});
        pb->app->Fire(L"DocumentOpen", {Arg(d->doc)});
        pb->active = d;
        PublishPub(*pb);
        return Obj(d->doc);
    });
    app->SetMethod(L"CentimetersToPoints",
                   [](THostObject&, Args a) { return R4(static_cast<float>(DoubleArg(a, 0) * 72 / 2.54)); });
    app->SetMethod(L"InchesToPoints",
                   [](THostObject&, Args a) { return R4(static_cast<float>(DoubleArg(a, 0) * 72)); });
    app->SetMethod(L"PointsToCentimeters",
                   [](THostObject&, Args a) { return R4(static_cast<float>(DoubleArg(a, 0) * 2.54 / 72)); });
}

} // namespace

// ==== Access ====

namespace {

constexpr LONG adStatusOK = 1, adStatusCancel = 4;
constexpr LONG dbSystemObject = static_cast<LONG>(0x80000002);

// Access's events take Cancel as an Integer: true when a sink set it.
bool CancelledShort(THostObject* source, const wchar_t* event, std::vector<VARIANTARG> leading = {}) {
    SHORT cancel = 0;
    VARIANTARG flag;
    ::VariantInit(&flag);
    V_VT(&flag) = VT_I2 | VT_BYREF;
    V_I2REF(&flag) = &cancel;
    leading.push_back(flag);
    source->Fire(event, leading);
    return cancel != 0;
}

struct TAccess {
    explicit TAccess(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* forms = nullptr;
    THostObject* screen = nullptr;
    THostObject* allForms = nullptr;
    THostObject* allReports = nullptr;
    THostObject* allMacros = nullptr;
    THostObject* connection = nullptr;
    THostObject* workspace = nullptr;
    THostObject* db = nullptr;
    LONG transactions = 0;
    std::map<std::wstring, Variant> options;
};
using Access = std::shared_ptr<TAccess>;

THostObject* NamedItem(const THostObject* c, const std::wstring& name) {
    for (const Variant& item : c->items) {
        auto* o = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        if (SameText(TextOf(o->Get(L"Name")), name)) return o;
    }
    return nullptr;
}

[[noreturn]] void AccessError(WORD number, const std::wstring& text) {
    throw THostError{HostCode(number), text};
}

// Moves the focus to `control`: Exit (which may refuse) and LostFocus on the one that had it, Enter and
// GotFocus on the new one.
void FocusAccessControl(TAccess& ac, THostObject* form, THostObject* control) {
    const Variant had = ac.screen->Get(L"ActiveControl");
    THostObject* previous = Own(ac.h, &had.Get());
    if (previous == control) return;
    if (previous) {
        if (CancelledShort(previous, L"Exit")) return;
        previous->Fire(L"LostFocus", {});
        ac.screen->SetObject(L"PreviousControl", previous);
    }
    ac.screen->SetObject(L"ActiveControl", control);
    ac.h.Name(L"Screen.ActiveControl", control);
    form->SetObject(L"ActiveControl", control);
    control->Fire(L"Enter", {});
    control->Fire(L"GotFocus", {});
}

struct TControlData {
    const wchar_t* name;
    const wchar_t* value;
};

THostObject* AccessForm(const Access& ac, const std::wstring& name, std::initializer_list<TControlData> controls) {
    THostGraph& h = ac->h;
    THostObject* form = Make(h, L"Form", ac->forms, {L"_FormEvents"});
    Values(form, {{L"Name", Str(name)},
                  {L"Caption", Str(name)},
                  {L"RecordSource", Str(name)},
                  {L"Visible", Bool(true)},
                  {L"Dirty", Bool(false)},
                  {L"NewRecord", Bool(false)},
                  {L"CurrentRecord", I4(1)},
                  {L"AllowEdits", Bool(true)},
                  {L"AllowAdditions", Bool(true)},
                  {L"AllowDeletions", Bool(true)},
                  {L"DefaultView", I4(0)},
                  {L"Filter", Str(L"")},
                  {L"FilterOn", Bool(false)},
                  {L"RecordSelectors", Bool(true)},
                  {L"Modal", Bool(false)},
                  {L"PopUp", Bool(false)}});
    THostObject* list = List(h, form, L"Controls", L"Controls", 0);
    short top = 300;
    for (const TControlData& c : controls) {
        THostObject* control = Make(h, L"Control", form, {L"_TextBoxEvents"});
        Values(control, {{L"Value", Str(c.value)},
                         {L"OldValue", Str(c.value)},
                         {L"Text", Str(c.value)},
                         {L"Name", Str(c.name)},
                         {L"ControlType", I4(109)},
                         {L"ControlSource", Str(c.name)},
                         {L"Enabled", Bool(true)},
                         {L"Locked", Bool(false)},
                         {L"Visible", Bool(true)},
                         {L"Left", I2(1800)},
                         {L"Top", I2(top)},
                         {L"Width", I2(3600)},
                         {L"Height", I2(315)},
                         {L"TabIndex", I2(static_cast<SHORT>(list->items.size()))},
                         {L"Tag", Str(L"")},
                         {L"StatusBarText", Str(L"")},
                         {L"DefaultValue", Str(L"")},
                         {L"ValidationRule", Str(L"")},
                         {L"BackColor", I4(16777215)},
                         {L"ForeColor", I4(4210752)},
                         {L"FontName", Str(L"Calibri")},
                         {L"FontSize", I2(11)}});
        top = static_cast<short>(top + 420);
        // A value put asks BeforeUpdate (a Cancel restores the value), then AfterUpdate; the form is dirty.
        GuardedPut(
            control, L"Value",
            [](THostObject& self, const Variant&) {
                self.Fire(L"Change", {});
                return CancelledShort(&self, L"BeforeUpdate");
            },
            [form](THostObject& self, const Variant& value) {
                self.Set(L"Text", Str(TextOf(value)));
                form->Set(L"Dirty", Bool(true));
                self.Fire(L"AfterUpdate", {});
            });
        control->SetMethod(L"SetFocus", [ac, form, control](THostObject&, Args) {
            FocusAccessControl(*ac, form, control);
            return Variant();
        });
        control->SetMethod(L"Undo", [](THostObject& self, Args) {
            if (CancelledShort(&self, L"Undo")) return Variant();
            const Variant old = self.Get(L"OldValue");
            Values(&self, {{L"Value", old}, {L"Text", Str(TextOf(old))}});
            return Variant();
        });
        control->SetMethod(L"Move", [](THostObject& self, Args a) {
            const wchar_t* const names[] = {L"Left", L"Top", L"Width", L"Height"};
            for (size_t i = 0; i < 4; ++i)
                if (a.At(i)) self.Set(names[i], I2(static_cast<SHORT>(a.Long(i))));
            return Variant();
        });
        Append(list, control);
    }
    form->SetMethod(L"Requery", [](THostObject& self, Args) {
        self.Set(L"CurrentRecord", I4(1));
        self.Fire(L"Current", {});
        return Variant();
    });
    form->SetMethod(L"SetFocus", [ac](THostObject& self, Args) {
        ac->screen->SetObject(L"ActiveForm", &self);
        ac->h.Name(L"Screen.ActiveForm", &self);
        self.Fire(L"Activate", {});
        self.Fire(L"GotFocus", {});
        return Variant();
    });
    form->SetMethod(L"Undo", [](THostObject& self, Args) {
        self.Set(L"Dirty", Bool(false));
        return Variant();
    });
    return form;
}

THostObject* OpenAccessForm(const Access& ac, const std::wstring& name, const Variant& openArgs) {
    THostObject* entry = NamedItem(ac->allForms, name);
    if (!entry)
        AccessError(2102, L"The form name '" + name + L"' is misspelled or refers to a form that doesn't exist.");
    if (THostObject* open = NamedItem(ac->forms, name)) return open;
    THostObject* form = AccessForm(ac, name, {{L"ID", L"1"}, {L"Description", L""}});
    form->Set(L"OpenArgs", openArgs);
    if (CancelledShort(form, L"Open")) AccessError(2501, L"The OpenForm action was canceled.");
    Append(ac->forms, form);
    Values(entry, {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(1)}});
    ac->screen->SetObject(L"ActiveForm", form);
    ac->h.Name(L"Screen.ActiveForm", form);
    Values(ac->app, {{L"CurrentObjectName", Str(name)}, {L"CurrentObjectType", I4(2)}});
    for (const wchar_t* event : {L"Load", L"Resize", L"Activate", L"Current"}) form->Fire(event, {});
    return form;
}

void CloseAccessForm(TAccess& ac, THostObject* form) {
    if (CancelledShort(form, L"Unload")) AccessError(2501, L"The Close action was canceled.");
    form->Fire(L"Deactivate", {});
    form->Fire(L"Close", {});
    Remove(ac.forms, form);
    if (THostObject* entry = NamedItem(ac.allForms, TextOf(form->Get(L"Name"))))
        Values(entry, {{L"IsLoaded", Bool(false)}, {L"CurrentView", I4(0)}});
    const Variant active = ac.screen->Get(L"ActiveForm");
    if (active.Type() == VT_DISPATCH && V_DISPATCH(&active.Get()) == form) {
        if (ac.forms->items.empty()) {
            ac.h.SetNothing(L"Screen.ActiveForm");
        } else {
            THostObject* next = Own(ac.h, &ac.forms->items.back().Get());
            ac.screen->SetObject(L"ActiveForm", next);
            ac.h.Name(L"Screen.ActiveForm", next);
        }
    }
}

void WireAccessDoCmd(const Access& ac, THostObject* doCmd) {
    doCmd->SetMethod(L"OpenForm", [ac](THostObject&, Args a) {
        const VARIANT* openArgs = a.At(6);
        OpenAccessForm(ac, a.Text(0), openArgs ? Variant(*openArgs) : Null());
        return Variant();
    });
    doCmd->SetMethod(L"Close", [ac](THostObject&, Args a) {
        const LONG type = a.Long(0, -1);
        if (type != -1 && type != 2) return Variant(); // the stand-in opens forms only
        THostObject* form = nullptr;
        if (a.At(1)) {
            form = NamedItem(ac->forms, a.Text(1));
        } else {
            const Variant active = ac->screen->Get(L"ActiveForm");
            form = Own(ac->h, &active.Get());
        }
        if (form) CloseAccessForm(*ac, form);
        return Variant();
    });
    doCmd->SetMethod(L"OpenReport", [ac](THostObject&, Args a) {
        THostObject* entry = NamedItem(ac->allReports, a.Text(0));
        if (!entry)
            AccessError(2103, L"The report name '" + a.Text(0) +
                                  L"' you entered in either the property "
                                  L"sheet or macro is misspelled or refers to a report that doesn't exist.");
        Values(entry, {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(a.Long(1, 0) == 0 ? 5 : 6)}});
        return Variant();
    });
    auto findIn = [ac](const wchar_t* member, const std::wstring& name) {
        const Variant c = ac->db->Get(member);
        if (THostObject* list = Own(ac->h, &c.Get()))
            if (NamedItem(list, name)) return;
        AccessError(7874, L"Microsoft Access can't find the object '" + name + L"'.");
    };
    doCmd->SetMethod(L"OpenQuery", [findIn](THostObject&, Args a) {
        findIn(L"QueryDefs", a.Text(0));
        return Variant();
    });
    doCmd->SetMethod(L"OpenTable", [findIn](THostObject&, Args a) {
        findIn(L"TableDefs", a.Text(0));
        return Variant();
    });
    doCmd->SetMethod(L"RunSQL", [](THostObject&, Args a) {
        std::wstring sql = a.Text(0);
        std::transform(sql.begin(), sql.end(), sql.begin(), ::towupper);
        if (sql.rfind(L"SELECT", 0) == 0 || sql.empty())
            AccessError(2342, L"A RunSQL action requires an argument consisting of an SQL statement.");
        return Variant();
    });
    doCmd->SetMethod(L"RunMacro", [ac](THostObject&, Args a) {
        if (!NamedItem(ac->allMacros, a.Text(0)))
            AccessError(2485, L"Microsoft Access can't find the object '" + a.Text(0) + L"'.");
        return Variant();
    });
    doCmd->SetMethod(L"GoToRecord", [ac](THostObject&, Args a) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        THostObject* form = a.At(1) ? NamedItem(ac->forms, a.Text(1)) : Own(ac->h, &active.Get());
        if (!form) AccessError(2489, L"The object '" + a.Text(1) + L"' isn't open.");
        const LONG at = LongOf(form->Get(L"CurrentRecord"));
        LONG to = at;
        switch (a.Long(2, 1)) {
        case 0:
            to = at - 1;
            break;
        case 1:
            to = at + 1;
            break;
        case 2:
            to = 1;
            break;
        case 3:
            to = 91;
            break;
        case 4:
            to = a.Long(3, 1);
            break;
        case 5:
            to = 92;
            break;
        }
        if (to < 1) AccessError(2105, L"You can't go to the specified record.");
        Values(form, {{L"CurrentRecord", I4(to)}, {L"NewRecord", Bool(to == 92)}});
        form->Fire(L"Current", {});
        return Variant();
    });
    doCmd->SetMethod(L"Requery", [ac](THostObject&, Args) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        if (THostObject* form = Own(ac->h, &active.Get())) form->Fire(L"Current", {});
        return Variant();
    });
    doCmd->SetMethod(L"GoToControl", [ac](THostObject&, Args a) {
        const Variant active = ac->screen->Get(L"ActiveForm");
        THostObject* form = Own(ac->h, &active.Get());
        const Variant controls = form ? form->Get(L"Controls") : Variant();
        THostObject* list = Own(ac->h, &controls.Get());
        THostObject* control = list ? NamedItem(list, a.Text(0)) : nullptr;
        if (!control) AccessError(2109, L"There is no field named '" + a.Text(0) + L"' in the current record.");
        FocusAccessControl(*ac, form, control);
        return Variant();
    });
}

// The project's ADO connection: transactions and commands fire ConnectionEvents.
void WireAccessConnection(const Access& ac) {
    THostObject* conn = ac->connection;
    conn->SetMethod(L"BeginTrans", [ac, conn](THostObject&, Args) {
        LONG status = adStatusOK;
        const LONG level = ++ac->transactions;
        conn->Fire(L"BeginTransComplete", {ArgI4(level), Arg(nullptr), ArgRef(&status), Arg(conn)});
        return I4(level);
    });
    auto finish = [ac, conn](const wchar_t* event) {
        if (ac->transactions == 0) throw THostError{HostCode(3219), L"Operation is not allowed in this context."};
        --ac->transactions;
        LONG status = adStatusOK;
        conn->Fire(event, {Arg(nullptr), ArgRef(&status), Arg(conn)});
        return Variant();
    };
    conn->SetMethod(L"CommitTrans", [finish](THostObject&, Args) { return finish(L"CommitTransComplete"); });
    conn->SetMethod(L"RollbackTrans", [finish](THostObject&, Args) { return finish(L"RollbackTransComplete"); });
    auto requireOpen = [conn](bool open) {
        if ((LongOf(conn->Get(L"State")) == 1) != open)
            throw THostError{HostCode(open ? 3704 : 3705), open ? L"Operation is not allowed when the object is closed."
                                                                : L"Operation is not allowed when the object is open."};
    };
    conn->SetMethod(L"Execute", [conn, requireOpen](THostObject&, Args a) {
        requireOpen(true);
        UniqueBstr source(AllocBstr(a.Text(0)));
        LONG cursor = -1, lock = -1, options = a.Long(2, -1), status = adStatusOK;
        BSTR text = source.Get();
        conn->Fire(L"WillExecute", {ArgRef(&text), ArgRef(&cursor), ArgRef(&lock), ArgRef(&options), ArgRef(&status),
                                    Arg(nullptr), Arg(nullptr), Arg(conn)});
        if (text != source.Get()) source.Reset(text); // a sink replaced the command text
        if (status == adStatusCancel) throw THostError{HostCode(3712), L"Operation has been cancelled by the user."};
        status = adStatusOK;
        conn->Fire(L"ExecuteComplete",
                   {ArgI4(0), Arg(nullptr), ArgRef(&status), Arg(nullptr), Arg(nullptr), Arg(conn)});
        SetOut(a, 1, I4(0));
        return Nothing();
    });
    conn->SetMethod(L"Close", [conn, requireOpen](THostObject& self, Args) {
        requireOpen(true);
        LONG status = adStatusOK;
        conn->Fire(L"Disconnect", {ArgRef(&status), Arg(conn)});
        self.Set(L"State", I4(0));
        return Variant();
    });
    conn->SetMethod(L"Open", [conn, requireOpen](THostObject& self, Args a) {
        requireOpen(false);
        BSTR texts[3] = {AllocBstr(a.Text(0, TextOf(self.Get(L"ConnectionString")))), AllocBstr(a.Text(1)),
                         AllocBstr(a.Text(2))};
        LONG options = a.Long(3, -1), status = adStatusOK;
        conn->Fire(L"WillConnect", {ArgRef(&texts[0]), ArgRef(&texts[1]), ArgRef(&texts[2]), ArgRef(&options),
                                    ArgRef(&status), Arg(conn)});
        const std::wstring connectionString = BstrText(texts[0]);
        for (BSTR t : texts) ::SysFreeString(t);
        if (status == adStatusCancel) throw THostError{HostCode(3712), L"Operation has been cancelled by the user."};
        Values(&self, {{L"State", I4(1)}, {L"ConnectionString", Str(connectionString)}});
        status = adStatusOK;
        conn->Fire(L"ConnectComplete", {Arg(nullptr), ArgRef(&status), Arg(conn)});
        return Variant();
    });
}

struct TFieldData {
    const wchar_t* name;
    LONG type;
    LONG size;
};
struct TTableData {
    const wchar_t* name;
    LONG records;
    LONG attributes;
    std::initializer_list<TFieldData> fields;
};

THostObject* AccessField(THostGraph& h, THostObject* parent, const std::wstring& name, LONG type, LONG size,
                         SHORT position, const std::wstring& table) {
    THostObject* field = Make(h, L"Field", parent);
    Values(field, {{L"Name", Str(name)},
                   {L"Type", I4(type)},
                   {L"Size", I4(size)},
                   {L"Required", Bool(position == 0)},
                   {L"AllowZeroLength", Bool(type == 10 || type == 12)},
                   {L"DefaultValue", Str(L"")},
                   {L"OrdinalPosition", I2(position)},
                   {L"SourceTable", Str(table)}});
    return field;
}

// A collection of named DAO objects: Append takes one of the graph's objects of `type` with a new name,
// Delete removes one by name.
void WireDaoCollection(const Access& ac, THostObject* c, const std::wstring& type, WORD duplicate,
                       const std::wstring& duplicateText) {
    c->SetMethod(L"Append", [ac, c, type, duplicate, duplicateText](THostObject&, Args a) {
        THostObject* o = Own(ac->h, a.At(0));
        if (!o || o->TypeName() != type) AccessError(3001, L"Invalid argument.");
        const std::wstring name = TextOf(o->Get(L"Name"));
        if (name.empty()) AccessError(3264, L"No field defined--cannot append TableDef or Index.");
        if (NamedItem(c, name)) AccessError(duplicate, L"'" + name + L"' " + duplicateText);
        if (type == L"TableDef") {
            const Variant fields = o->Get(L"Fields");
            THostObject* list = Own(ac->h, &fields.Get());
            if (!list || list->items.empty()) AccessError(3264, L"No field defined--cannot append TableDef or Index.");
        }
        if (type == L"Field") o->Set(L"OrdinalPosition", I2(static_cast<SHORT>(c->items.size())));
        Append(c, o);
        return Variant();
    });
    c->SetMethod(L"Delete", [c](THostObject&, Args a) {
        THostObject* o = NamedItem(c, a.Text(0));
        if (!o) AccessError(3265, L"Item not found in this collection.");
        Remove(c, o);
        return Variant();
    });
}

THostObject* AccessTableDef(const Access& ac, THostObject* parent, const std::wstring& name, LONG records,
                            LONG attributes, std::initializer_list<TFieldData> fields) {
    THostGraph& h = ac->h;
    THostObject* table = Make(h, L"TableDef", parent);
    Values(table, {{L"Name", Str(name)},
                   {L"Attributes", I4(attributes)},
                   {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                   {L"LastUpdated", Date(2026, 11, 28, 16, 40)},
                   {L"RecordCount", I4(records)},
                   {L"SourceTableName", Str(L"")},
                   {L"Connect", Str(L"")},
                   {L"ValidationRule", Str(L"")},
                   {L"ValidationText", Str(L"")},
                   {L"Updatable", Bool(attributes == 0)}});
    THostObject* list = List(h, table, L"Fields", L"Fields", 0);
    SHORT position = 0;
    for (const TFieldData& f : fields) Append(list, AccessField(h, table, f.name, f.type, f.size, position++, name));
    WireDaoCollection(ac, list, L"Field", 3191, L"is already a field of this table.");
    table->SetMethod(L"CreateField", [ac, table, name](THostObject&, Args a) {
        const LONG type = a.Long(1, 10);
        return Obj(AccessField(ac->h, table, a.Text(0), type, a.Long(2, type == 10 ? 255 : 4), 0, name));
    });
    return table;
}

THostObject* AccessDatabase(const Access& ac, THostObject* workspace, const std::wstring& name,
                            std::initializer_list<TTableData> tables) {
    THostGraph& h = ac->h;
    THostObject* db = Make(h, L"Database", workspace);
    Values(db, {{L"Name", Str(name)},
                {L"Connect", Str(L"")},
                {L"Transactions", Bool(true)},
                {L"Updatable", Bool(true)},
                {L"Version", Str(L"12.0")},
                {L"CollatingOrder", I4(1033)},
                {L"QueryTimeout", I2(60)},
                {L"RecordsAffected", I4(0)}});
    THostObject* tableDefs = List(h, db, L"TableDefs", L"TableDefs", 0);
    for (const TTableData& t : tables)
        Append(tableDefs, AccessTableDef(ac, db, t.name, t.records, t.attributes, t.fields));
    WireDaoCollection(ac, tableDefs, L"TableDef", 3010, L"already exists.");
    THostObject* queryDefs = List(h, db, L"QueryDefs", L"QueryDefs", 0);
    WireDaoCollection(ac, queryDefs, L"QueryDef", 3012, L"already exists.");
    db->SetMethod(L"CreateTableDef", [ac, db](THostObject&, Args a) {
        THostObject* table = AccessTableDef(ac, db, a.Text(0), 0, a.Long(1, 0), {});
        table->Set(L"SourceTableName", Str(a.Text(2)));
        table->Set(L"Connect", Str(a.Text(3)));
        return Obj(table);
    });
    db->SetMethod(L"CreateQueryDef", [ac, db, queryDefs](THostObject&, Args a) {
        const std::wstring name = a.Text(0);
        if (!name.empty() && NamedItem(queryDefs, name)) AccessError(3012, L"Object '" + name + L"' already exists.");
        THostObject* query = Make(ac->h, L"QueryDef", db);
        Values(query, {{L"Name", Str(name)},
                       {L"SQL", Str(a.Text(1))},
                       {L"Type", I2(0)},
                       {L"Updatable", Bool(true)},
                       {L"DateCreated", Date(2026, 12, 8, 12, 0)},
                       {L"LastUpdated", Date(2026, 12, 8, 12, 0)},
                       {L"ReturnsRecords", Bool(true)},
                       {L"RecordsAffected", I4(0)}});
        if (!name.empty()) Append(queryDefs, query); // DAO appends a named query at once
        return Obj(query);
    });
    db->SetMethod(L"Execute", [](THostObject& self, Args a) {
        std::wstring sql = a.Text(0);
        std::transform(sql.begin(), sql.end(), sql.begin(), ::towupper);
        if (sql.rfind(L"SELECT", 0) == 0) AccessError(3065, L"Cannot execute a select query.");
        if (sql.rfind(L"DELETE", 0) != 0 && sql.rfind(L"INSERT", 0) != 0 && sql.rfind(L"UPDATE", 0) != 0)
            AccessError(3129, L"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
                              L"'UPDATE'.");
        self.Set(L"RecordsAffected", I4(0));
        return Variant();
    });
    return db;
}

// Opens a database file in a workspace: a new database holding the system tables only.
THostObject* OpenAccessDatabase(const Access& ac, THostObject* workspace, THostObject* databases,
                                const std::wstring& file) {
    if (FileName(file).find(L'.') == std::wstring::npos) AccessError(3024, L"Could not find file '" + file + L"'.");
    THostObject* db = AccessDatabase(
        ac, workspace, file, {{L"MSysObjects", 24, dbSystemObject, {}}, {L"MSysQueries", 0, dbSystemObject, {}}});
    Append(databases, db);
    return db;
}

THostObject* AccessWorkspace(const Access& ac, THostObject* engine, const std::wstring& name,
                             const std::wstring& user) {
    THostGraph& h = ac->h;
    THostObject* workspace = Make(h, L"Workspace", engine);
    Values(workspace, {{L"Name", Str(name)},
                       {L"UserName", Str(user)},
                       {L"IsolateODBCTrans", Bool(false)},
                       {L"LoginTimeout", I4(20)},
                       {L"Type", I4(2)}});
    THostObject* databases = List(h, workspace, L"Databases", L"Databases", 0);
    auto open = [ac, workspace, databases](THostObject&, Args a) {
        return Obj(OpenAccessDatabase(ac, workspace, databases, a.Text(0)));
    };
    workspace->SetMethod(L"OpenDatabase", open);
    workspace->SetMethod(L"CreateDatabase", open);
    return workspace;
}

void BuildAccess(THostGraph& h) {
    auto ac = std::make_shared<TAccess>(h);
    THostObject* app = ac->app = h.App();
    Link(h, app, nullptr);
    const std::wstring file = L"C:\\Users\\Public\\Documents\\Northwind.accdb";
    Values(app, {{L"Name", Str(L"Microsoft Access")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"17928")},
                 {L"Visible", Bool(true)},
                 {L"UserControl", Bool(true)},
                 {L"CurrentObjectName", Str(L"Customers")},
                 {L"CurrentObjectType", I4(2)},
                 {L"IsCompiled", Bool(true)},
                 {L"ProductCode", Str(L"{90160000-0015-0000-1000-0000000FF1CE}")},
                 {L"MenuBar", Str(L"")}});

    THostObject* project = Child(h, app, L"CurrentProject", L"CurrentProject");
    h.Name(L"CurrentProject", project);
    const std::wstring provider = L"Microsoft.ACE.OLEDB.12.0";
    const std::wstring connectionString =
        L"Provider=" + provider + L";User ID=Admin;Data Source=" + file +
        L";Mode=Share Deny None;Jet OLEDB:Engine Type=6;Jet OLEDB:Database Locking Mode=1";
    Values(project, {{L"Name", Str(FileName(file))},
                     {L"FullName", Str(file)},
                     {L"Path", Str(Folder(file))},
                     {L"ProjectType", I4(2)},
                     {L"IsConnected", Bool(true)},
                     {L"BaseConnectionString", Str(L"PROVIDER=" + provider + L";DATA SOURCE=" + file)},
                     {L"FileFormat", I4(12)},
                     {L"IsTrusted", Bool(true)}});
    ac->connection = Child(h, project, L"Connection", L"Connection", {L"ConnectionEvents"});
    h.Name(L"CurrentProject.Connection", ac->connection);
    Values(ac->connection, {{L"ConnectionString", Str(connectionString)},
                            {L"Provider", Str(provider)},
                            {L"State", I4(1)},
                            {L"Version", Str(L"6.1")},
                            {L"CommandTimeout", I4(30)},
                            {L"ConnectionTimeout", I4(15)},
                            {L"DefaultDatabase", Str(L"")},
                            {L"Mode", I4(16)},
                            {L"CursorLocation", I4(2)},
                            {L"Attributes", I4(0)},
                            {L"IsolationLevel", I4(4096)}});
    WireAccessConnection(ac);
    auto objects = [&](const wchar_t* member, LONG type, std::initializer_list<const wchar_t*> names) {
        THostObject* c = List(h, project, member, L"AllObjects", 0);
        for (const wchar_t* name : names) {
            THostObject* o = Make(h, L"AccessObject", c);
            Values(o, {{L"Name", Str(name)},
                       {L"FullName", Str(L"")},
                       {L"IsLoaded", Bool(false)},
                       {L"Type", I4(type)},
                       {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                       {L"DateModified", Date(2026, 11, 28, 16, 40)},
                       {L"CurrentView", I4(0)}});
            Append(c, o);
        }
        return c;
    };
    ac->allForms = objects(L"AllForms", 2, {L"Customers", L"Orders", L"Products", L"Main Menu"});
    ac->allReports = objects(L"AllReports", 3, {L"Invoice", L"Sales by Month"});
    ac->allMacros = objects(L"AllMacros", 4, {L"AutoExec"});
    objects(L"AllModules", 5, {L"Utilities"});

    ac->forms = List(h, app, L"Forms", L"Forms", 0);
    h.Name(L"Forms", ac->forms);
    List(h, app, L"Reports", L"Forms", 0);
    ac->screen = Child(h, app, L"Screen", L"Screen");
    h.Name(L"Screen", ac->screen);
    ac->screen->Set(L"MousePointer", I2(0));
    ac->screen->Fail(L"ActiveReport", HostCode(2476),
                     L"You entered an expression that requires a report to be the active window.");
    ac->screen->Fail(L"ActiveDatasheet", HostCode(2484), L"There is no active datasheet.");
    THostObject* customers = AccessForm(ac, L"Customers",
                                        {{L"CustomerID", L"HARBT"},
                                         {L"CompanyName", L"Harbour Trading Co."},
                                         {L"ContactName", L"Robin Sample"},
                                         {L"City", L"Sampletown"},
                                         {L"Country", L"Samplia"}});
    Append(ac->forms, customers);
    Values(NamedItem(ac->allForms, L"Customers"), {{L"IsLoaded", Bool(true)}, {L"CurrentView", I4(1)}});
    ac->screen->SetObject(L"ActiveForm", customers);
    h.Name(L"Screen.ActiveForm", customers);
    const Variant controls = customers->Get(L"Controls");
    THostObject* list = Own(h, &controls.Get());
    THostObject* contact = NamedItem(list, L"ContactName");
    ac->screen->SetObject(L"ActiveControl", contact);
    ac->screen->SetObject(L"PreviousControl", NamedItem(list, L"CompanyName"));
    customers->SetObject(L"ActiveControl", contact);
    h.Name(L"Screen.ActiveControl", contact);

    THostObject* doCmd = Child(h, app, L"DoCmd", L"DoCmd");
    h.Name(L"DoCmd", doCmd);
    WireAccessDoCmd(ac, doCmd);

    THostObject* engine = Child(h, app, L"DBEngine", L"_DBEngine");
    h.Name(L"DBEngine", engine);
    Values(engine,
           {{L"Version", Str(L"14.0")},
            {L"IniPath", Str(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\16.0\\Access Connectivity Engine")},
            {L"DefaultUser", Str(L"admin")},
            {L"LoginTimeout", I2(20)},
            {L"SystemDB", Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Access\\System.mdw")},
            {L"DefaultType", I4(2)}});
    List(h, engine, L"Errors", L"Errors", 0);
    THostObject* workspaces = List(h, engine, L"Workspaces", L"Workspaces", 0);
    h.Name(L"DBEngine.Workspaces", workspaces);
    WireDaoCollection(ac, workspaces, L"Workspace", 3367, L"is already in the collection.");
    ac->workspace = AccessWorkspace(ac, engine, L"#Default Workspace#", L"admin");
    Append(workspaces, ac->workspace);
    h.Name(L"Workspace", ac->workspace);
    const Variant databases = ac->workspace->Get(L"Databases");
    THostObject* dbList = Own(h, &databases.Get());
    h.Name(L"Workspace.Databases", dbList);
    ac->db = AccessDatabase(
        ac, ac->workspace, file,
        {{L"Customers",
          91,
          0,
          {{L"CustomerID", 10, 5},
           {L"CompanyName", 10, 40},
           {L"ContactName", 10, 30},
           {L"City", 10, 15},
           {L"Country", 10, 15}}},
         {L"Employees",
          9,
          0,
          {{L"EmployeeID", 4, 4}, {L"LastName", 10, 20}, {L"FirstName", 10, 10}, {L"HireDate", 8, 8}}},
         {L"MSysObjects", 62, dbSystemObject, {{L"Id", 4, 4}, {L"Name", 10, 255}, {L"Type", 3, 2}}},
         {L"MSysQueries", 48, dbSystemObject, {{L"ObjectId", 4, 4}, {L"Attribute", 2, 1}}},
         {L"Order Details",
          2155,
          0,
          {{L"OrderID", 4, 4}, {L"ProductID", 4, 4}, {L"UnitPrice", 5, 8}, {L"Quantity", 3, 2}, {L"Discount", 6, 4}}},
         {L"Orders", 830, 0, {{L"OrderID", 4, 4}, {L"CustomerID", 10, 5}, {L"OrderDate", 8, 8}, {L"Freight", 5, 8}}},
         {L"Products",
          77,
          0,
          {{L"ProductID", 4, 4},
           {L"ProductName", 10, 40},
           {L"UnitPrice", 5, 8},
           {L"UnitsInStock", 3, 2},
           {L"Discontinued", 1, 1}}},
         {L"Suppliers", 29, 0, {{L"SupplierID", 4, 4}, {L"CompanyName", 10, 40}, {L"Country", 10, 15}}}});
    Append(dbList, ac->db);
    h.Name(L"Database", ac->db);
    const Variant tableDefs = ac->db->Get(L"TableDefs");
    h.Name(L"Database.TableDefs", Own(h, &tableDefs.Get()));
    const Variant queryDefs = ac->db->Get(L"QueryDefs");
    for (const auto& [name, sql] : std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"Order Details Extended",
              L"SELECT [Order Details].OrderID, Products.ProductName, [Order Details].UnitPrice, [Order "
              L"Details].Quantity "
              L"FROM Products INNER JOIN [Order Details] ON Products.ProductID = [Order Details].ProductID;"},
             {L"Sales by Category",
              L"SELECT Products.ProductName, Sum([Order Details].UnitPrice*[Order Details].Quantity) "
              L"AS Sales FROM Products INNER JOIN [Order Details] ON Products.ProductID = "
              L"[Order Details].ProductID GROUP BY Products.ProductName;"}}) {
        THostObject* query = Make(h, L"QueryDef", ac->db);
        Values(query, {{L"Name", Str(name)},
                       {L"SQL", Str(sql)},
                       {L"Type", I2(0)},
                       {L"Updatable", Bool(false)},
                       {L"DateCreated", Date(2026, 3, 2, 10, 12)},
                       {L"LastUpdated", Date(2026, 9, 14, 9, 30)},
                       {L"ReturnsRecords", Bool(true)},
                       {L"RecordsAffected", I4(0)}});
        Append(Own(h, &queryDefs.Get()), query);
    }
    engine->SetMethod(L"OpenDatabase", [ac, dbList](THostObject&, Args a) {
        return Obj(OpenAccessDatabase(ac, ac->workspace, dbList, a.Text(0)));
    });
    engine->SetMethod(L"CreateWorkspace", [ac, engine](THostObject&, Args a) {
        if (a.Text(0).empty()) AccessError(3001, L"Invalid argument.");
        return Obj(AccessWorkspace(ac, engine, a.Text(0), a.Text(1)));
    });

    app->SetMethod(L"CurrentDb", [ac](THostObject&, Args) { return Obj(ac->db); });
    auto domain = [ac](const std::wstring& name) {
        for (const wchar_t* member : {L"TableDefs", L"QueryDefs"}) {
            const Variant c = ac->db->Get(member);
            if (THostObject* o = NamedItem(Own(ac->h, &c.Get()), name)) return o;
        }
        AccessError(3078, L"The Microsoft Access database engine cannot find the input table or query '" + name +
                              L"'. Make sure it exists and that its name is spelled correctly.");
    };
    // Criteria are not evaluated: DCount answers the domain's record count, DLookup Null.
    app->SetMethod(L"DCount",
                   [domain](THostObject&, Args a) { return I4(LongOf(domain(a.Text(1))->Get(L"RecordCount"))); });
    app->SetMethod(L"DLookup", [domain](THostObject&, Args a) {
        domain(a.Text(1));
        return Null();
    });
    app->SetMethod(L"Eval", [](THostObject&, Args a) {
        const std::wstring text = a.Text(0);
        Variant number;
        const Variant asText = Str(text);
        if (SUCCEEDED(Change(number, asText.Get(), VT_R8))) return number;
        AccessError(2482, L"Microsoft Access cannot find the name '" + text + L"' you entered in the expression.");
    });
    ac->options = {{L"Default Database Directory", Str(L"C:\\Users\\Public\\Documents")},
                   {L"Confirm Record Changes", Bool(true)},
                   {L"Confirm Action Queries", Bool(true)},
                   {L"Show Status Bar", Bool(true)},
                   {L"Default Font Size", I4(11)}};
    app->SetMethod(L"GetOption", [ac](THostObject&, Args a) {
        for (const auto& [name, value] : ac->options)
            if (SameText(name, a.Text(0))) return value;
        AccessError(2091, L"'" + a.Text(0) + L"' is an invalid name.");
    });
    app->SetMethod(L"SetOption", [ac](THostObject&, Args a) {
        for (auto& [name, value] : ac->options)
            if (SameText(name, a.Text(0))) {
                value = a.At(1) ? Variant(*a.At(1)) : Variant();
                return Variant();
            }
        AccessError(2091, L"'" + a.Text(0) + L"' is an invalid name.");
    });
    // acSysCmdRuntime (6), acSysCmdAccessVer (7), acSysCmdAccessDir (9), acSysCmdGetObjectState (10).
    app->SetMethod(L"SysCmd", [ac](THostObject&, Args a) {
        switch (a.Long(0)) {
        case 6:
            return Bool(false);
        case 7:
            return Str(L"16.0");
        case 9:
            return Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16\\");
        case 10: {
            THostObject* form = a.Long(1, 0) == 2 ? NamedItem(ac->forms, a.Text(2)) : nullptr;
            return I4(form ? 1 : 0);
        }
        default:
            return Null();
        }
    });
    app->SetMethod(L"Run", [](THostObject&, Args a) -> Variant {
        AccessError(2517, L"Microsoft Access cannot find the procedure '" + a.Text(0) + L".'");
    });
    app->SetMethod(L"Nz", [](THostObject&, Args a) {
        const VARIANT* v = a.At(0);
        if (v && V_VT(v) != VT_NULL && V_VT(v) != VT_EMPTY) return Variant(*v);
        return a.At(1) ? Variant(*a.At(1)) : Str(L"");
    });
}

} // namespace

// ==== InfoPath ====

namespace {

struct TInfoPathForm {
    THostObject* doc = nullptr;
    THostObject* window = nullptr;
};
using InfoPathForm = std::shared_ptr<TInfoPathForm>;

struct TInfoPath {
    explicit TInfoPath(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* docs = nullptr;
    THostObject* windows = nullptr;
    std::vector<InfoPathForm> open;
    InfoPathForm active;
};
using InfoPath = std::shared_ptr<TInfoPath>;

void ActivateInfoPath(TInfoPath& ip, const InfoPathForm& f, bool fire) {
    const InfoPathForm old = ip.active;
    ip.active = f;
    for (const InfoPathForm& other : ip.open) other->window->Set(L"Active", Bool(other == f));
    if (!f) {
        ip.h.SetNothing(L"ActiveWindow");
    } else {
        ip.app->SetObject(L"ActiveWindow", f->window);
        ip.h.Name(L"ActiveWindow", f->window);
    }
    if (!fire || old == f) return;
    if (old) ip.app->Fire(L"WindowDeactivate", {Arg(old->doc), Arg(old->window)});
    ip.app->Fire(L"XDocumentChange", {});
    if (f) ip.app->Fire(L"WindowActivate", {Arg(f->doc), Arg(f->window)});
}

// Closes the form unless a sink cancels (a forced close asks nobody); true when it closed.
bool CloseInfoPath(TInfoPath& ip, const InfoPathForm& f, bool force) {
    if (std::find(ip.open.begin(), ip.open.end(), f) == ip.open.end()) return false;
    if (Cancelled(ip.app, L"XDocumentBeforeClose", {Arg(f->doc)}) && !force) return false;
    std::erase(ip.open, f);
    Remove(ip.docs, f->doc);
    Remove(ip.windows, f->window);
    if (ip.active == f) ActivateInfoPath(ip, ip.open.empty() ? nullptr : ip.open.back(), true);
    return true;
}

InfoPathForm AddInfoPath(const InfoPath& ip, const std::wstring& uri, const std::wstring& solution) {
    THostGraph& h = ip->h;
    auto f = std::make_shared<TInfoPathForm>();
    f->doc = Make(h, L"XDocument", ip->app);
    Values(f->doc, {{L"URI", Str(uri)},
                    {L"IsDirty", Bool(false)},
                    {L"IsReadOnly", Bool(false)},
                    {L"IsNew", Bool(uri.empty())},
                    {L"IsSigned", Bool(false)},
                    {L"IsDOMReadOnly", Bool(false)},
                    {L"Language", Str(L"en-us")},
                    {L"Role", I4(0)}});
    THostObject* sol = Child(h, f->doc, L"Solution", L"Solution");
    Values(sol, {{L"URI", Str(solution)},
                 {L"Version", Str(L"1.0.0.12")},
                 {L"PackageURL", Str(L"C:\\Users\\Public\\AppData\\Local\\Microsoft\\InfoPath\\FormCache4\\" +
                                     FileName(solution) + L"\\")}});
    f->window = Make(h, L"Window", ip->app);
    const std::wstring title = uri.empty() ? L"(Form1)" : FileName(uri);
    Values(f->window, {{L"Caption", Str(title + L" - Microsoft InfoPath")},
                       {L"Active", Bool(false)},
                       {L"WindowType", I4(0)},
                       {L"Height", I4(768)},
                       {L"Width", I4(1024)},
                       {L"Left", I4(0)},
                       {L"Top", I4(0)},
                       {L"WindowState", I4(1)}});
    f->window->SetObject(L"XDocument", f->doc);
    THostObject* view = Child(h, f->doc, L"View", L"View");
    view->Set(L"Name", Str(L"Default"));
    view->SetObject(L"Window", f->window);
    view->SetMethod(L"SwitchView", [](THostObject& self, Args a) {
        const std::wstring name = a.Text(0);
        if (!SameText(name, L"Default") && !SameText(name, L"Summary"))
            throw THostError{E_INVALIDARG, L"The view '" + name + L"' does not exist in this form template."};
        self.Set(L"Name", Str(name));
        return Variant();
    });
    f->window->SetMethod(L"Activate", [ip, f](THostObject&, Args) {
        ActivateInfoPath(*ip, f, true);
        return Variant();
    });
    f->window->SetMethod(L"Close", [ip, f](THostObject&, Args a) {
        CloseInfoPath(*ip, f, a.Bool(0, false));
        return Variant();
    });
    auto save = [ip, f](THostObject& self, const std::wstring& uri) {
        if (Cancelled(ip->app, L"XDocumentBeforeSave", {Arg(&self)})) return;
        Values(&self, {{L"URI", Str(uri)}, {L"IsDirty", Bool(false)}, {L"IsNew", Bool(false)}});
        f->window->Set(L"Caption", Str(FileName(uri) + L" - Microsoft InfoPath"));
    };
    f->doc->SetMethod(L"Save", [save](THostObject& self, Args) {
        const std::wstring uri = TextOf(self.Get(L"URI"));
        if (uri.empty())
            throw THostError{E_FAIL, L"The form cannot be saved because it has not been saved before. "
                                     L"Use SaveAs."};
        save(self, uri);
        return Variant();
    });
    f->doc->SetMethod(L"SaveAs", [save](THostObject& self, Args a) {
        if (a.Text(0).empty()) throw THostError{E_INVALIDARG, L"The file name is not valid."};
        save(self, a.Text(0));
        return Variant();
    });
    f->doc->SetMethod(L"PrintOut", [ip](THostObject& self, Args) {
        Cancelled(ip->app, L"XDocumentBeforePrint", {Arg(&self)});
        return Variant();
    });
    f->doc->SetMethod(L"SetDirty", [](THostObject& self, Args a) {
        self.Set(L"IsDirty", Bool(a.Bool(0)));
        return Variant();
    });
    f->doc->SetMethod(L"ImportFile", [](THostObject& self, Args) {
        self.Set(L"IsDirty", Bool(true));
        return Variant();
    });
    f->doc->SetMethod(L"GetNamedNodeProperty",
                      [](THostObject&, Args a) { return Str(a.At(2) ? TextOf(Variant(*a.At(2))) : std::wstring()); });
    ip->open.push_back(f);
    Append(ip->docs, f->doc);
    Append(ip->windows, f->window);
    return f;
}

void BuildInfoPath(THostGraph& h) {
    auto ip = std::make_shared<TInfoPath>(h);
    THostObject* app = ip->app = h.App();
    Values(app, {{L"Name", Str(L"Microsoft InfoPath")},
                 {L"Version", Str(L"16.0.0.17928")},
                 {L"UsableHeight", I4(1000)},
                 {L"UsableWidth", I4(1600)},
                 {L"MachineOnlineState", I4(0)},
                 {L"CacheSize", I4(0)}});
    THostObject* user = Child(h, app, L"User", L"User");
    Values(user, {{L"UserName", Str(L"Stand-in User")}, {L"LoginName", Str(L"STANDIN\\user")}});
    user->SetMethod(L"IsUserMemberOf", [](THostObject&, Args) { return Bool(false); });
    user->SetMethod(L"IsCurrentUser", [](THostObject& self, Args a) {
        const std::wstring name = a.Text(0);
        return Bool(SameText(name, TextOf(self.Get(L"UserName"))) || SameText(name, TextOf(self.Get(L"LoginName"))));
    });
    ip->docs = List(h, app, L"XDocuments", L"XDocuments", 0);
    ip->windows = List(h, app, L"Windows", L"Windows", 0);
    h.Name(L"XDocuments", ip->docs);
    h.Name(L"Windows", ip->windows);
    const std::wstring templates = L"C:\\Users\\Public\\Documents\\Templates\\";
    const InfoPathForm expense =
        AddInfoPath(ip, L"C:\\Users\\Public\\Documents\\Expense Report.xml", templates + L"ExpenseReport.xsn");
    AddInfoPath(ip, L"C:\\Users\\Public\\Documents\\Status Report.xml", templates + L"StatusReport.xsn");
    ActivateInfoPath(*ip, expense, false);

    auto create = [ip](THostObject&, Args a) {
        const std::wstring uri = a.Text(0);
        if (uri.empty()) throw THostError{E_INVALIDARG, L"InfoPath cannot create a new, blank form."};
        const InfoPathForm f = AddInfoPath(ip, L"", uri);
        ip->app->Fire(L"NewXDocument", {Arg(f->doc)});
        ActivateInfoPath(*ip, f, true);
        return Obj(f->doc);
    };
    ip->docs->SetMethod(L"New", create);
    ip->docs->SetMethod(L"NewFromSolution", create);
    ip->docs->SetMethod(L"Open", [ip](THostObject&, Args a) {
        const std::wstring uri = a.Text(0);
        if (FileName(uri).find(L'.') == std::wstring::npos)
            throw THostError{E_FAIL, L"InfoPath cannot open the following file: " + uri};
        for (const InfoPathForm& f : ip->open)
            if (SameText(TextOf(f->doc->Get(L"URI")), uri)) return Obj(f->doc);
        const InfoPathForm f = AddInfoPath(ip, uri, L"C:\\Users\\Public\\Documents\\Templates\\Form.xsn");
        ip->app->Fire(L"XDocumentOpen", {Arg(f->doc)});
        ActivateInfoPath(*ip, f, true);
        return Obj(f->doc);
    });
    ip->docs->SetMethod(L"Close", [ip](THostObject&, Args a) {
        const VARIANT* which = a.At(0);
        for (size_t i = 0; i < ip->open.size(); ++i) {
            const InfoPathForm& f = ip->open[i];
            const bool byUri = which && V_VT(which) == VT_BSTR;
            if (byUri ? SameText(TextOf(f->doc->Get(L"URI")), a.Text(0)) : a.Long(0, -1) == static_cast<LONG>(i))
                return Bool(CloseInfoPath(*ip, f, false));
        }
        throw THostError{DISP_E_BADINDEX, L"The requested member of the collection does not exist."};
    });
    app->SetMethod(L"IsDestinationReachable", [](THostObject&, Args a) { return Bool(!a.Text(0).empty()); });
}

} // namespace

// ==== Visio ====

namespace {

const HRESULT kVisioBadTarget = static_cast<HRESULT>(0x86DB0BBC); // "Inappropriate target object for this action."
constexpr double kPi = 3.14159265358979323846;

// A unit by code or by its abbreviation, and how many of it make one internal unit (inches, radians).
struct TVisioUnit {
    LONG code;
    const wchar_t* name;
    double perInternal;
};
const TVisioUnit kVisioUnits[] = {
    {65, L"in", 1},  {66, L"ft", 1.0 / 12}, {69, L"cm", 2.54},       {70, L"mm", 25.4}, {71, L"m", 0.0254},
    {50, L"pt", 72}, {51, L"p", 6},         {81, L"deg", 180 / kPi}, {83, L"rad", 1},   {32, L"", 1},
    {64, L"du", 1},  {63, L"pu", 1},        {252, L"", 1},           {33, L"%", 100},
};

const TVisioUnit& VisioUnit(const VARIANT* v, LONG fallback) {
    LONG code = fallback;
    if (v && V_VT(v) == VT_BSTR) {
        const std::wstring name = BstrText(V_BSTR(v));
        for (const TVisioUnit& u : kVisioUnits)
            if (SameText(name, u.name) || (SameText(name, L"inches") && u.code == 65)) return u;
        throw THostError{E_INVALIDARG, L"Invalid units: " + name + L"."};
    }
    if (v) code = LongOf(Variant(*v), fallback);
    for (const TVisioUnit& u : kVisioUnits)
        if (u.code == code) return u;
    throw THostError{E_INVALIDARG, L"Invalid unit code " + std::to_wstring(code) + L"."};
}

std::wstring FormatNumber(double v) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.4g", v);
    return text;
}

struct TVisioDocument;
struct TVisioPage {
    THostObject* page = nullptr;
    THostObject* shapes = nullptr;
    TVisioDocument* doc = nullptr;
    LONG nextShapeId = 1;
};
using VisioPage = std::shared_ptr<TVisioPage>;

struct TVisioDocument {
    THostObject* doc = nullptr;
    THostObject* pages = nullptr;
    THostObject* masters = nullptr;
    THostObject* window = nullptr; // null for a stencil
    THostObject* selection = nullptr;
    std::vector<VisioPage> pageList;
    VisioPage shown;
};
using VisioDocument = std::shared_ptr<TVisioDocument>;

struct TVisio {
    explicit TVisio(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* documents = nullptr;
    THostObject* windows = nullptr;
    std::vector<VisioDocument> open;
    VisioDocument active;
    LONG markers = 0, undoScopes = 0;
    int untitled = 0;
};
using Visio = std::shared_ptr<TVisio>;

// The graph's object behind an argument declared IUnknown or IDispatch.
THostObject* OwnUnknown(THostGraph& h, const VARIANT* v) {
    if (!v || (V_VT(v) != VT_UNKNOWN && V_VT(v) != VT_DISPATCH) || !V_UNKNOWN(v)) return nullptr;
    ComPtr<IDispatch> d;
    if (FAILED(V_UNKNOWN(v)->QueryInterface(IID_PPV_ARGS(&d)))) return nullptr;
    VARIANT asDispatch;
    V_VT(&asDispatch) = VT_DISPATCH;
    V_DISPATCH(&asDispatch) = d.Get();
    return Own(h, &asDispatch);
}

// Fires an event on the page, its document and the Application, as each declares it.
void FireVisio(TVisio& vx, const TVisioPage* page, const TVisioDocument* doc, const wchar_t* event, IDispatch* arg) {
    if (page) page->page->Fire(event, {Arg(arg)});
    if (doc) doc->doc->Fire(event, {Arg(arg)});
    vx.app->Fire(event, {Arg(arg)});
}

void SelectionChanged(TVisio& vx, const TVisioDocument& d) {
    vx.app->Fire(L"SelectionChanged", {Arg(d.window)});
}

THostObject* VisioShape(const Visio& vx, const VisioPage& pg, const std::wstring& name, THostObject* master,
                        double pinX, double pinY, double width, double height, const std::wstring& text, bool oneD) {
    THostGraph& h = vx->h;
    THostObject* shape = Make(h, L"IVShape", pg->page);
    const LONG id = pg->nextShapeId++;
    std::wstring unique = name;
    for (const Variant& item : pg->shapes->items)
        if (SameText(TextOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"Name")), name))
            unique = name + L"." + std::to_wstring(id);
    Values(shape, {{L"Name", Str(unique)},
                   {L"NameU", Str(unique)},
                   {L"ID", I4(id)},
                   {L"Text", Str(text)},
                   {L"Type", I4(3)},
                   {L"OneD", I2(oneD ? -1 : 0)},
                   {L"Style", Str(oneD ? L"Connector" : L"Normal")},
                   {L"LineStyle", Str(oneD ? L"Connector" : L"Normal")},
                   {L"FillStyle", Str(L"Normal")},
                   {L"Data1", Str(L"")},
                   {L"Data2", Str(L"")},
                   {L"Data3", Str(L"")}});
    shape->SetObject(L"Master", master);
    shape->SetObject(L"ContainingPage", pg->page);
    List(h, shape, L"Shapes", L"IVShapes");
    // The shape's cells in internal units, made as objects on first use.
    struct TCell {
        double value;
        LONG units;
        THostObject* object = nullptr;
    };
    auto cells =
        std::make_shared<std::map<std::wstring, TCell>>(std::map<std::wstring, TCell>{{L"PinX", {pinX, 65}},
                                                                                      {L"PinY", {pinY, 65}},
                                                                                      {L"Width", {width, 65}},
                                                                                      {L"Height", {height, 65}},
                                                                                      {L"Angle", {0, 81}},
                                                                                      {L"LocPinX", {width / 2, 65}},
                                                                                      {L"LocPinY", {height / 2, 65}},
                                                                                      {L"LineWeight", {0.01, 50}}});
    auto cell = [vx, pg, shape, cells](THostObject&, Args a) {
        const std::wstring name = a.Text(0);
        auto it = std::find_if(cells->begin(), cells->end(), [&](const auto& c) { return SameText(c.first, name); });
        if (it == cells->end()) throw THostError{static_cast<HRESULT>(0x86DB0C4A), L"Unexpected end of file."};
        TCell& c = it->second;
        if (c.object) return Obj(c.object);
        const std::wstring key = it->first;
        THostObject* o = c.object = Make(vx->h, L"IVCell", shape);
        const TVisioUnit* unit = &VisioUnit(nullptr, c.units);
        // The handlers hold the shape's cell map and look their cell up by name.
        auto publish = [o, unit, cells, key]() {
            const double value = cells->at(key).value;
            const std::wstring formula = FormatNumber(value * unit->perInternal) + L" " + unit->name;
            Values(o, {{L"Formula", Str(formula)}, {L"FormulaU", Str(formula)}, {L"ResultIU", R8(value)}});
        };
        Values(o, {{L"Name", Str(key)}, {L"Units", I2(static_cast<SHORT>(c.units))}});
        o->SetObject(L"Shape", shape);
        publish();
        auto changed = [vx, pg, o, publish, cells, key](double value) {
            cells->at(key).value = value;
            publish();
            pg->page->Fire(L"CellChanged", {Arg(o)});
            vx->app->Fire(L"CellChanged", {Arg(o)});
        };
        o->OnPut(L"ResultIU", [changed](THostObject&, const Variant& v) { changed(DoubleOf(v)); });
        auto formula = [changed, unit](THostObject&, const Variant& v) {
            const std::wstring text = TextOf(v);
            wchar_t* end = nullptr;
            const double number = std::wcstod(text.c_str(), &end);
            if (end == text.c_str()) throw THostError{static_cast<HRESULT>(0x86DB0C4A), L"#NAME?"};
            std::wstring rest(end);
            rest.erase(0, std::min(rest.size(), rest.find_first_not_of(L' ')));
            const Variant named = Str(rest.empty() ? unit->name : rest);
            changed(number / VisioUnit(&named.Get(), unit->code).perInternal);
        };
        o->OnPut(L"Formula", formula);
        o->OnPut(L"FormulaU", formula);
        o->SetMethod(L"Result", [cells, key](THostObject&, Args a) {
            const auto& c = cells->at(key);
            return R8(c.value * VisioUnit(a.At(0), c.units).perInternal);
        });
        o->SetMethod(L"ResultStr", [cells, key](THostObject&, Args a) {
            const auto& c = cells->at(key);
            const TVisioUnit& u = VisioUnit(a.At(0), c.units);
            return Str(FormatNumber(c.value * u.perInternal) + (*u.name ? L" " : L"") + u.name);
        });
        return Obj(o);
    };
    shape->SetMethod(L"CellsU", cell);
    shape->SetMethod(L"Cells", cell);
    shape->OnPut(L"Text", [vx, pg](THostObject& self, const Variant&) {
        FireVisio(*vx, pg.get(), pg->doc, L"TextChanged", &self);
    });
    shape->SetMethod(L"Delete", [vx, pg](THostObject& self, Args) {
        if (IndexOf(pg->shapes, &self) == std::wstring::npos) return Variant();
        FireVisio(*vx, pg.get(), pg->doc, L"BeforeShapeDelete", &self);
        Remove(pg->shapes, &self);
        if (pg->doc->selection && Remove(pg->doc->selection, &self)) SelectionChanged(*vx, *pg->doc);
        return Variant();
    });
    shape->SetMethod(L"Duplicate", [vx, pg, name, master, cells](THostObject& self, Args) {
        THostObject* copy =
            VisioShape(vx, pg, name, master, cells->at(L"PinX").value + 0.25, cells->at(L"PinY").value - 0.25,
                       cells->at(L"Width").value, cells->at(L"Height").value, TextOf(self.Get(L"Text")),
                       LongOf(self.Get(L"OneD")) != 0);
        return Obj(copy);
    });
    shape->SetMethod(L"SetCenter", [cells](THostObject&, Args a) {
        cells->at(L"PinX").value = DoubleArg(a, 0);
        cells->at(L"PinY").value = DoubleArg(a, 1);
        return Variant();
    });
    shape->SetMethod(L"Rotate90", [cells](THostObject&, Args) {
        cells->at(L"Angle").value = std::fmod(cells->at(L"Angle").value + kPi / 2, 2 * kPi);
        return Variant();
    });
    shape->SetMethod(L"BringToFront", [pg](THostObject& self, Args) {
        Remove(pg->shapes, &self);
        Append(pg->shapes, &self);
        return Variant();
    });
    shape->SetMethod(L"SendToBack", [pg](THostObject& self, Args) {
        Remove(pg->shapes, &self);
        Insert(pg->shapes, 0, &self);
        return Variant();
    });
    Append(pg->shapes, shape);
    FireVisio(*vx, pg.get(), pg->doc, L"ShapeAdded", shape);
    return shape;
}

void PublishVisio(TVisio& vx) {
    if (!vx.active) {
        for (const wchar_t* path : {L"ActiveDocument", L"ActivePage", L"ActiveWindow"}) vx.h.SetNothing(path);
        return;
    }
    const TVisioDocument& d = *vx.active;
    vx.app->SetObject(L"ActiveDocument", d.doc);
    vx.app->SetObject(L"ActiveWindow", d.window);
    vx.app->SetObject(L"ActivePage", d.shown->page);
    vx.h.Name(L"ActiveDocument", d.doc);
    vx.h.Name(L"ActiveWindow", d.window);
    vx.h.Name(L"ActivePage", d.shown->page);
    vx.h.Name(L"ActiveWindow.Selection", d.selection);
}

void ShowVisioPage(TVisio& vx, TVisioDocument& d, const VisioPage& pg, bool fire) {
    d.shown = pg;
    d.window->Set(L"Page", Obj(pg->page));
    d.selection->items.clear();
    d.selection->SetObject(L"ContainingPage", pg->page);
    if (vx.active.get() == &d) PublishVisio(vx);
    if (fire) vx.app->Fire(L"WindowTurnedToPage", {Arg(d.window)});
}

// Select(SheetObject, SelectAction) of a window or its selection.
void SelectVisio(TVisio& vx, TVisioDocument& d, Args a) {
    THostObject* shape = Own(vx.h, a.At(0));
    if (!shape || IndexOf(d.shown->shapes, shape) == std::wstring::npos)
        throw THostError{kVisioBadTarget, L"Inappropriate target object for this action."};
    const LONG action = a.Long(1, 2);
    if (action & 256) d.selection->items.clear();
    if ((action & 0xFF) == 1)
        Remove(d.selection, shape);
    else if ((action & 0xFF) != 0 && IndexOf(d.selection, shape) == std::wstring::npos)
        Append(d.selection, shape);
    SelectionChanged(vx, d);
}

VisioPage AddVisioPage(const Visio& vx, const VisioDocument& d) {
    auto pg = std::make_shared<TVisioPage>();
    pg->doc = d.get();
    const std::wstring name = L"Page-" + std::to_wstring(d->pageList.size() + 1);
    pg->page = Make(vx->h, L"IVPage", d->doc, {L"EPage"});
    Values(pg->page, {{L"Name", Str(name)},
                      {L"NameU", Str(name)},
                      {L"ID", I4(static_cast<LONG>(d->pageList.size()))},
                      {L"Background", I2(0)},
                      {L"OriginalWidth", R8(8.5)},
                      {L"OriginalHeight", R8(11)}});
    pg->page->SetObject(L"Document", d->doc);
    pg->shapes = List(vx->h, pg->page, L"Shapes", L"IVShapes");
    THostObject* page = pg->page;
    page->SetMethod(L"Index",
                    [d, page](THostObject&, Args) { return I2(static_cast<SHORT>(IndexOf(d->pages, page) + 1)); });
    page->SetMethod(L"Drop", [vx, pg](THostObject&, Args a) {
        THostObject* what = OwnUnknown(vx->h, a.At(0));
        if (!what || (what->TypeName() != L"IVMaster" && what->TypeName() != L"IVShape"))
            throw THostError{kVisioBadTarget, L"Inappropriate target object for this action."};
        const bool master = what->TypeName() == L"IVMaster";
        const std::wstring name = TextOf(what->Get(master ? L"NameU" : L"Name"));
        const bool connector = name.find(L"connector") != std::wstring::npos;
        return Obj(VisioShape(vx, pg, name, master ? what : nullptr, DoubleArg(a, 1), DoubleArg(a, 2),
                              connector ? 1 : 1.5, connector ? 0 : 1, L"", connector));
    });
    auto draw = [vx, pg](bool line) {
        return [vx, pg, line](THostObject&, Args a) {
            const double x1 = DoubleArg(a, 0), y1 = DoubleArg(a, 1), x2 = DoubleArg(a, 2), y2 = DoubleArg(a, 3);
            return Obj(VisioShape(vx, pg, L"Sheet." + std::to_wstring(pg->nextShapeId), nullptr, (x1 + x2) / 2,
                                  (y1 + y2) / 2, std::abs(x2 - x1), line ? 0 : std::abs(y2 - y1), L"", line));
        };
    };
    page->SetMethod(L"DrawRectangle", draw(false));
    page->SetMethod(L"DrawOval", draw(false));
    page->SetMethod(L"DrawLine", draw(true));
    page->SetMethod(L"Delete", [vx, d, pg](THostObject& self, Args) {
        if (d->pageList.size() <= 1) throw THostError{E_FAIL, L"A drawing must have at least one page."};
        FireVisio(*vx, pg.get(), d.get(), L"BeforePageDelete", &self);
        std::erase(d->pageList, pg);
        Remove(d->pages, &self);
        if (d->shown == pg && d->window) ShowVisioPage(*vx, *d, d->pageList.front(), true);
        return Variant();
    });
    d->pageList.push_back(pg);
    Append(d->pages, pg->page);
    return pg;
}

void ActivateVisio(TVisio& vx, const VisioDocument& d, bool fire) {
    vx.active = d;
    PublishVisio(vx);
    if (fire && d) vx.app->Fire(L"WindowActivated", {Arg(d->window)});
}

void CloseVisio(TVisio& vx, const VisioDocument& d) {
    if (std::find(vx.open.begin(), vx.open.end(), d) == vx.open.end()) return;
    d->doc->Fire(L"BeforeDocumentClose", {Arg(d->doc)});
    vx.app->Fire(L"BeforeDocumentClose", {Arg(d->doc)});
    if (d->window) {
        vx.app->Fire(L"BeforeWindowClosed", {Arg(d->window)});
        Remove(vx.windows, d->window);
    }
    std::erase(vx.open, d);
    Remove(vx.documents, d->doc);
    if (vx.active != d) return;
    VisioDocument next;
    for (const VisioDocument& other : vx.open)
        if (other->window) next = other;
    ActivateVisio(vx, next, true);
}

VisioDocument AddVisio(const Visio& vx, const std::wstring& fullName, bool stencil) {
    THostGraph& h = vx->h;
    auto d = std::make_shared<TVisioDocument>();
    d->doc = Make(h, L"IVDocument", vx->app, {L"EDocument"});
    Values(d->doc, {{L"Name", Str(FileName(fullName))},
                    {L"FullName", Str(fullName)},
                    {L"Path", Str(Folder(fullName).empty() ? L"" : Folder(fullName) + L"\\")},
                    {L"Title", Str(L"")},
                    {L"Subject", Str(L"")},
                    {L"Creator", Str(L"Stand-in User")},
                    {L"Company", Str(L"Stand-in Organisation")},
                    {L"Keywords", Str(L"")},
                    {L"Description", Str(L"")},
                    {L"Saved", Bool(true)},
                    {L"ReadOnly", I2(stencil ? -1 : 0)},
                    {L"Type", I4(stencil ? 2 : 1)},
                    {L"ID", I4(static_cast<LONG>(vx->open.size()) + 1)},
                    {L"Template", Str(stencil ? L"" : L"BASICD_U.VSTX")}});
    THostObject* doc = d->doc;
    doc->SetMethod(L"Index",
                   [vx, doc](THostObject&, Args) { return I2(static_cast<SHORT>(IndexOf(vx->documents, doc) + 1)); });
    d->masters = List(h, d->doc, L"Masters", L"IVMasters");
    d->masters->SetObject(L"Document", d->doc);
    const std::vector<const wchar_t*> masters =
        stencil ? std::vector<const wchar_t*>{L"Rectangle", L"Square", L"Circle", L"Ellipse", L"Triangle"}
                : std::vector<const wchar_t*>{L"Rectangle", L"Circle", L"Dynamic connector"};
    for (const wchar_t* name : masters) {
        THostObject* master = Make(h, L"IVMaster", d->doc);
        Values(master, {{L"Name", Str(name)},
                        {L"NameU", Str(name)},
                        {L"ID", I4(static_cast<LONG>(d->masters->items.size()) + 2)},
                        {L"Index", I2(static_cast<SHORT>(d->masters->items.size()) + 1)},
                        {L"Prompt", Str(std::wstring(L"Drag onto the page to add a ") + name + L".")},
                        {L"Hidden", I2(0)}});
        master->SetObject(L"Document", d->doc);
        Append(d->masters, master);
    }
    d->pages = List(h, d->doc, L"Pages", L"IVPages");
    d->pages->SetObject(L"Document", d->doc);
    doc->SetMethod(L"Save", [vx, d](THostObject& self, Args) {
        self.Set(L"Saved", Bool(true));
        d->doc->Fire(L"DocumentSaved", {Arg(d->doc)});
        vx->app->Fire(L"DocumentSaved", {Arg(d->doc)});
        return I2(0);
    });
    doc->SetMethod(L"SaveAs", [vx, d](THostObject& self, Args a) {
        const std::wstring file = a.Text(0);
        if (FileName(file).find(L'.') == std::wstring::npos) throw THostError{E_INVALIDARG, L"Invalid file name."};
        Values(&self, {{L"Name", Str(FileName(file))},
                       {L"FullName", Str(file)},
                       {L"Path", Str(Folder(file) + L"\\")},
                       {L"Saved", Bool(true)}});
        if (d->window) d->window->Set(L"Caption", Str(FileName(file)));
        d->doc->Fire(L"DocumentSavedAs", {Arg(d->doc)});
        vx->app->Fire(L"DocumentSavedAs", {Arg(d->doc)});
        return I2(0);
    });
    doc->SetMethod(L"Close", [vx, d](THostObject&, Args) {
        CloseVisio(*vx, d);
        return Variant();
    });
    vx->open.push_back(d);
    Append(vx->documents, d->doc);
    if (stencil) return d;

    d->pages->SetMethod(L"Add", [vx, d](THostObject&, Args) {
        const VisioPage pg = AddVisioPage(vx, d);
        d->doc->Set(L"Saved", Bool(false));
        d->doc->Fire(L"PageAdded", {Arg(pg->page)});
        vx->app->Fire(L"PageAdded", {Arg(pg->page)});
        return Obj(pg->page);
    });
    const VisioPage first = AddVisioPage(vx, d);
    d->window = Make(h, L"IVWindow", vx->app);
    Values(d->window, {{L"Caption", Str(FileName(fullName))},
                       {L"Type", I4(1)},
                       {L"Zoom", R8(1)},
                       {L"WindowState", I4(1 | 16)},
                       {L"ShowRulers", I2(-1)},
                       {L"ShowGrid", I2(-1)},
                       {L"ShowPageBreaks", I2(0)},
                       {L"ShowConnectPoints", I2(-1)},
                       {L"ScrollLock", Bool(false)},
                       {L"SubType", I2(128)},
                       {L"ViewFit", I4(0)},
                       {L"ID", I4(static_cast<LONG>(vx->windows->items.size()) + 1)}});
    if (vx->active) d->window->Set(L"WindowHandle32", vx->active->window->Get(L"WindowHandle32"));
    d->window->SetObject(L"Document", d->doc);
    THostObject* window = d->window;
    window->SetMethod(L"Index", [vx, window](THostObject&, Args) {
        return I2(static_cast<SHORT>(IndexOf(vx->windows, window) + 1));
    });
    d->selection = List(h, d->window, L"Selection", L"IVSelection");
    d->selection->Set(L"Style", Str(L"Normal"));
    THostObject* selection = d->selection;
    selection->SetMethod(L"PrimaryItem", [selection](THostObject&, Args) {
        return selection->items.empty() ? Nothing() : selection->items.front();
    });
    auto select = [vx, d](THostObject&, Args a) {
        SelectVisio(*vx, *d, a);
        return Variant();
    };
    auto all = [vx, d](bool on) {
        return [vx, d, on](THostObject&, Args) {
            d->selection->items = on ? d->shown->shapes->items : std::vector<Variant>{};
            SelectionChanged(*vx, *d);
            return Variant();
        };
    };
    for (THostObject* o : {window, selection}) {
        o->SetMethod(L"Select", select);
        o->SetMethod(L"SelectAll", all(true));
        o->SetMethod(L"DeselectAll", all(false));
    }
    selection->SetMethod(L"Delete", [vx, d](THostObject&, Args) {
        vx->app->Fire(L"BeforeSelectionDelete", {Arg(d->selection)});
        for (const Variant& item : std::vector<Variant>(d->selection->items)) {
            auto* shape = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
            FireVisio(*vx, d->shown.get(), d.get(), L"BeforeShapeDelete", shape);
            Remove(d->shown->shapes, shape);
        }
        d->selection->items.clear();
        SelectionChanged(*vx, *d);
        return Variant();
    });
    window->OnPut(L"Page", [vx, d](THostObject& self, const Variant& v) {
        VisioPage target;
        THostObject* page = Own(vx->h, &v.Get());
        for (const VisioPage& pg : d->pageList)
            if (pg->page == page || (v.Type() == VT_BSTR && SameText(TextOf(pg->page->Get(L"Name")), TextOf(v))))
                target = pg;
        if (!target) {
            self.Set(L"Page", Obj(d->shown->page));
            throw THostError{kVisioBadTarget, L"Inappropriate target object for this action."};
        }
        ShowVisioPage(*vx, *d, target, true);
    });
    window->SetMethod(L"Activate", [vx, d](THostObject&, Args) {
        ActivateVisio(*vx, d, true);
        return Variant();
    });
    window->SetMethod(L"Close", [vx, d](THostObject&, Args) {
        CloseVisio(*vx, d);
        return Variant();
    });
    Append(vx->windows, d->window);
    ShowVisioPage(*vx, *d, first, false);
    return d;
}

void BuildVisio(THostGraph& h) {
    auto vx = std::make_shared<TVisio>(h);
    THostObject* app = vx->app = h.App();
    Values(app, {{L"Name", Str(L"Microsoft Visio")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", I4(17928)},
                 {L"ProductName", Str(L"Microsoft Visio Professional")},
                 {L"Language", I4(1033)},
                 {L"Visible", Bool(true)},
                 {L"ScreenUpdating", I2(-1)},
                 {L"AlertResponse", I2(0)},
                 {L"EventsEnabled", I2(-1)},
                 {L"ShowChanges", I2(-1)},
                 {L"ProcessID", I4(4242)},
                 {L"UserName", Str(L"Stand-in User")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16\\")},
                 {L"DefaultSavePath", Str(L"C:\\Users\\Public\\Documents")},
                 {L"TypelibMajorVersion", I2(4)},
                 {L"TypelibMinorVersion", I2(16)}});
    THostObject* settings = Child(h, app, L"Settings", L"IVApplicationSettings");
    h.Name(L"Settings", settings);
    settings->SetMethod(L"Application", [&h](THostObject&, Args) { return Obj(h.App()); });
    Values(settings, {{L"DeveloperMode", Bool(false)},
                      {L"ShowFileOpenWarnings", Bool(true)},
                      {L"ShowFileSaveWarnings", Bool(true)},
                      {L"UndoLevels", I4(20)},
                      {L"RecentFilesListSize", I4(25)},
                      {L"ShowSmartTags", Bool(true)},
                      {L"HigherQualityShapeDisplay", Bool(true)},
                      {L"EnableAutoConnect", Bool(true)},
                      {L"ShowShapeSearchPane", Bool(true)},
                      {L"ZoomOnRoll", Bool(false)},
                      {L"TransitionsEnabled", Bool(true)},
                      {L"DrawingAids", Bool(true)},
                      {L"DefaultTextUnits", I4(50)},
                      {L"DefaultAngleUnits", I4(81)},
                      {L"DefaultDurationUnits", I4(32)},
                      {L"DefaultPageUnits", I4(65)},
                      {L"StencilBackgroundColor", I4(0xF0F0F0)}});
    vx->documents = List(h, app, L"Documents", L"IVDocuments");
    vx->windows = List(h, app, L"Windows", L"IVWindows");
    h.Name(L"Documents", vx->documents);
    h.Name(L"Windows", vx->windows);
    for (THostObject* c : {vx->documents, vx->windows})
        c->SetMethod(L"Application", [&h](THostObject&, Args) { return Obj(h.App()); });

    const VisioDocument network = AddVisio(vx, L"C:\\Users\\Public\\Documents\\Network Diagram.vsdx", false);
    Values(network->doc, {{L"Title", Str(L"Office network")},
                          {L"Subject", Str(L"Network layout")},
                          {L"Keywords", Str(L"network; servers")}});
    AddVisio(vx, L"C:\\Program Files\\Microsoft Office\\root\\Office16\\Visio Content\\1033\\BASIC_U.VSSX", true);
    const VisioPage page1 = network->pageList.front();
    auto masterNamed = [&](const wchar_t* name) { return NamedItem(network->masters, name); };
    THostObject* server = VisioShape(vx, page1, L"Server", masterNamed(L"Rectangle"), 2.5, 7, 1.5, 1, L"Server", false);
    VisioShape(vx, page1, L"Workstation", masterNamed(L"Rectangle"), 6, 7, 1.5, 1, L"Workstation", false);
    VisioShape(vx, page1, L"Dynamic connector", masterNamed(L"Dynamic connector"), 4.25, 7, 2, 0, L"", true);
    AddVisioPage(vx, network);
    Append(network->selection, server);
    network->doc->Set(L"Saved", Bool(true));
    ActivateVisio(*vx, network, false);

    vx->documents->SetMethod(L"Add", [vx](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        const bool stencil =
            SameText(file.substr(file.find_last_of(L'.') == std::wstring::npos ? file.size() : file.find_last_of(L'.')),
                     L".vssx");
        const VisioDocument d = AddVisio(vx, L"Drawing" + std::to_wstring(++vx->untitled), stencil);
        d->doc->Set(L"Path", Str(L""));
        d->doc->Fire(L"DocumentCreated", {Arg(d->doc)});
        vx->app->Fire(L"DocumentCreated", {Arg(d->doc)});
        if (!stencil) ActivateVisio(*vx, d, true);
        return Obj(d->doc);
    });
    auto open = [vx](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{static_cast<HRESULT>(0x86DB03EC), L"File not found."};
        for (const VisioDocument& d : vx->open)
            if (SameText(TextOf(d->doc->Get(L"FullName")), file)) return Obj(d->doc);
        const std::wstring ext = file.substr(file.find_last_of(L'.'));
        const VisioDocument d = AddVisio(vx, file, SameText(ext, L".vssx") || SameText(ext, L".vss"));
        d->doc->Fire(L"DocumentOpened", {Arg(d->doc)});
        vx->app->Fire(L"DocumentOpened", {Arg(d->doc)});
        if (d->window) ActivateVisio(*vx, d, true);
        return Obj(d->doc);
    };
    vx->documents->SetMethod(L"Open", open);
    vx->documents->SetMethod(L"OpenEx", open);
    app->SetMethod(L"QueueMarkerEvent", [vx](THostObject& self, Args a) {
        const LONG sequence = ++vx->markers;
        const Variant context = Str(a.Text(0));
        self.Fire(L"MarkerEvent", {Arg(&self), ArgI4(sequence), ArgOf(context)});
        return I4(sequence);
    });
    app->SetMethod(L"BeginUndoScope", [vx](THostObject&, Args) { return I4(++vx->undoScopes); });
    // A number, or text with its own unit ("2 in"), from UnitsIn to UnitsOut.
    auto convert = [](Args a) {
        const VARIANT* value = a.At(0);
        double number = 0;
        const TVisioUnit* in = &VisioUnit(a.At(1), 65);
        if (value && V_VT(value) == VT_BSTR) {
            const std::wstring text = BstrText(V_BSTR(value));
            wchar_t* end = nullptr;
            number = std::wcstod(text.c_str(), &end);
            std::wstring rest(end);
            rest.erase(0, std::min(rest.size(), rest.find_first_not_of(L' ')));
            if (!rest.empty()) {
                const Variant named = Str(rest);
                in = &VisioUnit(&named.Get(), 65);
            }
        } else {
            number = DoubleArg(a, 0);
        }
        const TVisioUnit& out = VisioUnit(a.At(2), 65);
        return std::pair{number / in->perInternal * out.perInternal, &out};
    };
    app->SetMethod(L"ConvertResult", [convert](THostObject&, Args a) { return R8(convert(a).first); });
    app->SetMethod(L"FormatResult", [convert](THostObject&, Args a) {
        const auto [value, unit] = convert(a);
        return Str(FormatNumber(value) + (*unit->name ? L" " : L"") + unit->name);
    });
}

} // namespace

// ==== Project ====

namespace {

const HRESULT kProjectBadArgument = HostCode(1101); // "The argument value is not valid."

// The task fields the stand-in knows: column name, member, field ID.
struct TTaskField {
    const wchar_t* column;
    const wchar_t* member;
    LONG id;
};
const TTaskField kTaskFields[] = {
    {L"Name", L"Name", 188743694},
    {L"Duration", L"Duration", 188743683},
    {L"Start", L"Start", 188743715},
    {L"Finish", L"Finish", 188743705},
    {L"% Complete", L"PercentComplete", 188743712},
    {L"Resource Names", L"ResourceNames", 188743732},
    {L"Predecessors", L"Predecessors", 188743714},
    {L"Notes", L"Notes", 188743695},
};

const TTaskField& TaskField(const std::wstring& nameOrId) {
    for (const TTaskField& f : kTaskFields)
        if (SameText(nameOrId, f.column) || SameText(nameOrId, f.member) || nameOrId == std::to_wstring(f.id) ||
            (SameText(nameOrId, L"Task Name") && f.id == 188743694))
            return f;
    throw THostError{kProjectBadArgument, L"The argument value is not valid."};
}

// A working day later (Saturdays and Sundays skipped), at `hour`.
double AddWorkDays(double date, double days, int hour) {
    double day = std::floor(date);
    for (double left = days; left > 0;) {
        day += 1;
        SYSTEMTIME st{};
        ::VariantTimeToSystemTime(day, &st);
        if (st.wDayOfWeek != 0 && st.wDayOfWeek != 6) left -= 1;
    }
    return day + hour / 24.0;
}

Variant DateOf(double date) {
    return Make(VT_DATE, [date](VARIANT& x) { V_DATE(&x) = date; });
}

// A field as Project shows it in a cell: "10 days", "Mon 1/18/27", "40%".
std::wstring TaskFieldText(THostObject* task, const TTaskField& f) {
    const Variant v = task->Get(f.member);
    if (f.id == 188743683) {
        const LONG days = LongOf(v) / 480;
        return std::to_wstring(days) + (days == 1 ? L" day" : L" days");
    }
    if (f.id == 188743715 || f.id == 188743705) {
        SYSTEMTIME st{};
        if (v.Type() != VT_DATE || !::VariantTimeToSystemTime(V_DATE(&v.Get()), &st)) return L"NA";
        static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
        return std::wstring(kDays[st.wDayOfWeek]) + L" " + std::to_wstring(st.wMonth) + L"/" +
               std::to_wstring(st.wDay) + L"/" + std::to_wstring(st.wYear % 100);
    }
    if (f.id == 188743712) return std::to_wstring(LongOf(v)) + L"%";
    return TextOf(v);
}

struct TProjectFile {
    THostObject* pj = nullptr;
    THostObject* tasks = nullptr;
    THostObject* resources = nullptr;
    THostObject* window = nullptr;
    LONG nextTaskUid = 1, nextResourceUid = 1;
};
using ProjectFile = std::shared_ptr<TProjectFile>;

struct TProj {
    explicit TProj(THostGraph& graph) : h(graph) {}
    THostGraph& h;
    THostObject* app = nullptr;
    THostObject* projects = nullptr;
    THostObject* windows = nullptr;
    THostObject* selection = nullptr;
    THostObject* selected = nullptr; // the selection's Tasks
    THostObject* cell = nullptr;
    std::vector<ProjectFile> open;
    ProjectFile active;
    int untitled = 0;
};
using Proj = std::shared_ptr<TProj>;

void RenumberTasks(const TProjectFile& p) {
    LONG id = 1;
    for (const Variant& item : p.tasks->items) static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"ID", I4(id++));
}
void RenumberResources(const TProjectFile& p) {
    LONG id = 1;
    for (const Variant& item : p.resources->items)
        static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Set(L"ID", I4(id++));
}

// Selects the task's cell in `column`; fires WindowSelectionChange.
void SelectProjectCell(TProj& px, THostObject* task, const TTaskField& f, bool fire) {
    if (!task) {
        px.h.SetNothing(L"ActiveCell.Task");
        px.cell->SetObject(L"Task", nullptr);
        px.selected->items.clear();
        return;
    }
    Values(px.cell, {{L"Text", Str(TaskFieldText(task, f))}, {L"FieldID", I4(f.id)}, {L"FieldName", Str(f.column)}});
    px.cell->SetObject(L"Task", task);
    px.h.Name(L"ActiveCell.Task", task);
    Fill(px.selected, {task});
    Values(px.selection, {{L"FieldIDList", I4(f.id)}, {L"FieldNameList", Str(f.column)}});
    if (fire && px.active)
        px.app->Fire(L"WindowSelectionChange", {Arg(px.active->window), Arg(px.selection), ArgI4(0)});
}

THostObject* SelectedTask(const TProj& px) {
    return px.selected->items.empty() ? nullptr : static_cast<THostObject*>(V_DISPATCH(&px.selected->items[0].Get()));
}

void PublishProject(TProj& px) {
    if (!px.active) {
        for (const wchar_t* path : {L"ActiveProject", L"ActiveWindow", L"ActiveSelection", L"ActiveCell"})
            px.h.SetNothing(path);
        px.app->Set(L"Caption", Str(L"Project"));
        return;
    }
    const TProjectFile& p = *px.active;
    px.app->SetObject(L"ActiveProject", p.pj);
    px.app->SetObject(L"ActiveWindow", p.window);
    px.app->SetObject(L"ActiveSelection", px.selection);
    px.app->SetObject(L"ActiveCell", px.cell);
    px.h.Name(L"ActiveProject", p.pj);
    px.h.Name(L"ActiveWindow", p.window);
    px.h.Name(L"ActiveSelection", px.selection);
    px.h.Name(L"ActiveCell", px.cell);
    px.app->Set(L"Caption", Str(TextOf(p.pj->Get(L"Name")) + L" - Project"));
    SelectProjectCell(
        px, p.tasks->items.empty() ? nullptr : static_cast<THostObject*>(V_DISPATCH(&p.tasks->items[0].Get())),
        kTaskFields[0], false);
}

void ActivateProject(TProj& px, const ProjectFile& p, bool fire) {
    const ProjectFile old = px.active;
    px.active = p;
    PublishProject(px);
    if (!fire || old == p) return;
    if (old) {
        px.app->Fire(L"WindowDeactivate", {Arg(old->window)});
        old->pj->Fire(L"Deactivate", {Arg(old->pj)});
    }
    if (!p) return;
    px.app->Fire(L"WindowActivate", {Arg(p->window)});
    p->pj->Fire(L"Activate", {Arg(p->pj)});
}

THostObject* AddProjectTask(const Proj& px, const ProjectFile& p, size_t at, const std::wstring& name, LONG days,
                            double start, LONG percent, const std::wstring& resources,
                            const std::wstring& predecessors) {
    THostObject* task = Make(px->h, L"Task", p->pj);
    const double finish = days == 0 ? start : AddWorkDays(start, days - 1, 17);
    Values(task, {{L"Name", Str(name)},
                  {L"UniqueID", I4(p->nextTaskUid++)},
                  {L"Duration", I4(days * 480)},
                  {L"Start", DateOf(start)},
                  {L"Finish", DateOf(finish)},
                  {L"PercentComplete", I4(percent)},
                  {L"Priority", I4(500)},
                  {L"ResourceNames", Str(resources)},
                  {L"Predecessors", Str(predecessors)},
                  {L"Successors", Str(L"")},
                  {L"Summary", Bool(false)},
                  {L"Milestone", Bool(days == 0)},
                  {L"OutlineLevel", I2(1)},
                  {L"Notes", Str(L"")},
                  {L"Critical", Bool(percent < 100)},
                  {L"Work", I4(days * 480)},
                  {L"Cost", R8(days * 8 * 50.0)},
                  {L"ConstraintType", I4(0)},
                  {L"Project", p->pj->Get(L"Name")}});
    // A put asks ProjectBeforeTaskChange (a Cancel restores the field), then the project changes.
    for (const TTaskField& f : kTaskFields) {
        const LONG id = f.id;
        GuardedPut(
            task, f.member,
            [px, id](THostObject& self, const Variant& value) {
                return Cancelled(px->app, L"ProjectBeforeTaskChange", {Arg(&self), ArgI4(id), ArgOf(value)});
            },
            [p](THostObject&, const Variant&) {
                p->pj->Set(L"Saved", Bool(false));
                p->pj->Fire(L"Change", {Arg(p->pj)});
            });
    }
    task->SetMethod(L"Delete", [px, p](THostObject& self, Args) {
        if (IndexOf(p->tasks, &self) == std::wstring::npos) return Variant();
        if (Cancelled(px->app, L"ProjectBeforeTaskDelete", {Arg(&self)})) return Variant();
        const size_t at = IndexOf(p->tasks, &self);
        Remove(p->tasks, &self);
        RenumberTasks(*p);
        if (SelectedTask(*px) == &self) {
            const auto& items = p->tasks->items;
            SelectProjectCell(*px,
                              items.empty()
                                  ? nullptr
                                  : static_cast<THostObject*>(V_DISPATCH(&items[std::min(at, items.size() - 1)].Get())),
                              kTaskFields[0], true);
        }
        p->pj->Fire(L"Change", {Arg(p->pj)});
        return Variant();
    });
    task->SetMethod(L"GetField",
                    [](THostObject& self, Args a) { return Str(TaskFieldText(&self, TaskField(a.Text(0)))); });
    task->SetMethod(L"SetField", [](THostObject& self, Args a) {
        // Through the property's own put, so that ProjectBeforeTaskChange is asked.
        InvokeOn(&self, TaskField(a.Text(0)).member, DISPATCH_PROPERTYPUT, {Str(a.Text(1))});
        return Variant();
    });
    auto outline = [](LONG by) {
        return [by](THostObject& self, Args) {
            self.Set(L"OutlineLevel",
                     I2(static_cast<SHORT>(std::max<LONG>(1, LongOf(self.Get(L"OutlineLevel")) + by))));
            return Variant();
        };
    };
    task->SetMethod(L"OutlineIndent", outline(1));
    task->SetMethod(L"OutlineOutdent", outline(-1));
    Insert(p->tasks, at, task);
    RenumberTasks(*p);
    return task;
}

THostObject* AddProjectResource(const Proj& px, const ProjectFile& p, const std::wstring& name, LONG type,
                                const Variant& maxUnits, const std::wstring& rate, const std::wstring& group) {
    THostObject* resource = Make(px->h, L"Resource", p->pj);
    Values(resource, {{L"Name", Str(name)},
                      {L"UniqueID", I4(p->nextResourceUid++)},
                      {L"Initials", Str(name.substr(0, 1))},
                      {L"Type", I4(type)},
                      {L"MaxUnits", maxUnits},
                      {L"StandardRate", Str(rate)},
                      {L"Group", Str(group)},
                      {L"EMailAddress", Str(L"")},
                      {L"Cost", R8(0)},
                      {L"Work", I4(0)}});
    for (const auto& [member, id] : {std::pair{L"Name", 205520996L}, std::pair{L"Initials", 205520974L}})
        GuardedPut(resource, member, [px, id = id](THostObject& self, const Variant& value) {
            return Cancelled(px->app, L"ProjectBeforeResourceChange", {Arg(&self), ArgI4(id), ArgOf(value)});
        });
    resource->SetMethod(L"Delete", [px, p](THostObject& self, Args) {
        if (Cancelled(px->app, L"ProjectBeforeResourceDelete", {Arg(&self)})) return Variant();
        Remove(p->resources, &self);
        RenumberResources(*p);
        return Variant();
    });
    Append(p->resources, resource);
    RenumberResources(*p);
    return resource;
}

ProjectFile AddProjectFile(const Proj& px, const std::wstring& fullName) {
    THostGraph& h = px->h;
    auto p = std::make_shared<TProjectFile>();
    const std::wstring name = FileName(fullName);
    const double start = V_DATE(&Date(2027, 1, 4, 8).Get());
    p->pj = Make(h, L"Project", px->app, {L"_EProjectDoc"});
    Values(p->pj, {{L"Name", Str(name)},
                   {L"FullName", Str(fullName)},
                   {L"Path", Str(Folder(fullName))},
                   {L"Title", Str(name.substr(0, name.rfind(L'.')))},
                   {L"Author", Str(L"Stand-in User")},
                   {L"Company", Str(L"Stand-in Organisation")},
                   {L"Manager", Str(L"")},
                   {L"Subject", Str(L"")},
                   {L"ProjectStart", DateOf(start)},
                   {L"ProjectFinish", DateOf(start + 9.0 / 24)},
                   {L"Saved", Bool(true)},
                   {L"ReadOnly", Bool(false)},
                   {L"CurrentDate", Date(2027, 1, 18, 8)},
                   {L"StatusDate", Str(L"NA")},
                   {L"DefaultTaskType", I4(0)},
                   {L"HoursPerDay", I4(8)},
                   {L"CurrentView", Str(L"Gantt Chart")},
                   {L"CurrentTable", Str(L"Entry")},
                   {L"CurrentFilter", Str(L"All Tasks")}});
    THostObject* pj = p->pj;
    pj->SetMethod(L"Index",
                  [px, pj](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(px->projects, pj)) + 1); });
    THostObject* summary = Child(h, pj, L"ProjectSummaryTask", L"Task");
    Values(summary, {{L"Name", Str(name.substr(0, name.rfind(L'.')))},
                     {L"ID", I4(0)},
                     {L"UniqueID", I4(0)},
                     {L"Summary", Bool(true)},
                     {L"OutlineLevel", I2(0)},
                     {L"Start", DateOf(start)},
                     {L"Project", Str(name)}});
    p->tasks = List(h, pj, L"Tasks", L"Tasks");
    p->resources = List(h, pj, L"Resources", L"Resources");
    p->window = Make(h, L"Window", px->app);
    Values(p->window, {{L"Caption", Str(name)},
                       {L"WindowState", I4(2)},
                       {L"Left", I4(0)},
                       {L"Top", I4(0)},
                       {L"Width", I4(1024)},
                       {L"Height", I4(600)},
                       {L"Visible", Bool(true)},
                       {L"ActivePaneView", Str(L"Gantt Chart")}});
    THostObject* window = p->window;
    window->SetMethod(
        L"Index", [px, window](THostObject&, Args) { return I4(static_cast<LONG>(IndexOf(px->windows, window)) + 1); });
    window->SetMethod(L"Activate", [px, p](THostObject&, Args) {
        ActivateProject(*px, p, true);
        return Variant();
    });
    pj->SetMethod(L"Activate", [px, p](THostObject&, Args) {
        ActivateProject(*px, p, true);
        return Variant();
    });
    p->tasks->SetMethod(L"Add", [px, p](THostObject&, Args a) {
        if (Cancelled(px->app, L"ProjectBeforeTaskNew", {Arg(p->pj)})) return Nothing();
        const LONG before = a.Long(1, static_cast<LONG>(p->tasks->items.size()) + 1);
        if (before < 1 || before > static_cast<LONG>(p->tasks->items.size()) + 1)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const Variant start = p->pj->Get(L"ProjectStart");
        THostObject* task =
            AddProjectTask(px, p, static_cast<size_t>(before - 1), a.Text(0), 1, V_DATE(&start.Get()), 0, L"", L"");
        p->pj->Set(L"Saved", Bool(false));
        px->app->Fire(L"ProjectTaskNew", {Arg(p->pj), ArgI4(LongOf(task->Get(L"ID")))});
        p->pj->Fire(L"Change", {Arg(p->pj)});
        return Obj(task);
    });
    p->tasks->SetMethod(L"UniqueID", [p](THostObject&, Args a) {
        for (const Variant& item : p->tasks->items)
            if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"UniqueID")) == a.Long(0)) return item;
        throw THostError{kProjectBadArgument, L"The argument value is not valid."};
    });
    p->resources->SetMethod(L"Add", [px, p](THostObject&, Args a) {
        if (Cancelled(px->app, L"ProjectBeforeResourceNew", {Arg(p->pj)})) return Nothing();
        const std::wstring name = a.Text(0, L"Resource " + std::to_wstring(p->resources->items.size() + 1));
        THostObject* resource = AddProjectResource(px, p, name, 0, I4(1), L"$0.00/hr", L"");
        px->app->Fire(L"ProjectResourceNew", {Arg(p->pj), ArgI4(LongOf(resource->Get(L"ID")))});
        return Obj(resource);
    });
    px->open.push_back(p);
    Append(px->projects, p->pj);
    Append(px->windows, p->window);
    return p;
}

bool SaveProject(TProj& px, const ProjectFile& p) {
    if (Cancelled(px.app, L"ProjectBeforeSave", {Arg(p->pj), ArgBool(false)})) return false;
    p->pj->Fire(L"BeforeSave", {Arg(p->pj)});
    p->pj->Set(L"Saved", Bool(true));
    px.app->Fire(L"ProjectAfterSave", {});
    return true;
}

void BuildProject(THostGraph& h) {
    auto px = std::make_shared<TProj>(h);
    THostObject* app = px->app = h.App();
    Link(h, app, nullptr);
    Values(app, {{L"Name", Str(L"Microsoft Project")},
                 {L"Version", Str(L"16.0")},
                 {L"Build", Str(L"16.0.17928")},
                 {L"Visible", Bool(true)},
                 {L"UserName", Str(L"Stand-in User")},
                 {L"Path", Str(L"C:\\Program Files\\Microsoft Office\\root\\Office16")},
                 {L"PathSeparator", Str(L"\\")},
                 {L"OperatingSystem", Str(L"Windows (64-bit) NT 10.00")},
                 {L"ScreenUpdating", Bool(true)},
                 {L"DisplayAlerts", Bool(true)},
                 {L"Calculation", I4(-1)},
                 {L"WindowState", I4(2)},
                 {L"NewTasksEstimated", Bool(true)}});
    px->projects = List(h, app, L"Projects", L"Projects");
    px->windows = List(h, app, L"Windows", L"Windows");
    h.Name(L"Projects", px->projects);
    px->selection = Make(h, L"Selection", app);
    px->selected = List(h, px->selection, L"Tasks", L"Tasks");
    px->cell = Make(h, L"Cell", app);
    Values(px->cell, {{L"CellColor", I4(16)}, {L"FontColor", I4(16)}});

    const ProjectFile move = AddProjectFile(px, L"C:\\Users\\Public\\Documents\\Office Move.mpp");
    move->pj->Set(L"Manager", Str(L"Facilities"));
    move->pj->Set(L"Subject", Str(L"Relocation"));
    AddProjectResource(px, move, L"Facilities team", 0, I4(1), L"$50.00/hr", L"Operations");
    AddProjectResource(px, move, L"Movers", 0, I4(2), L"$80.00/hr", L"Contractors");
    AddProjectResource(px, move, L"Boxes", 1, Variant(), L"$2.00", L"Supplies");
    const struct {
        const wchar_t* name;
        LONG days;
        LONG percent;
        const wchar_t* resources;
        std::initializer_list<int> after; // 1-based predecessors
    } plan[] = {{L"Choose the new office", 5, 100, L"Facilities team", {}},
                {L"Sign the lease", 1, 100, L"Facilities team", {1}},
                {L"Order furniture", 10, 40, L"Facilities team", {2}},
                {L"Pack", 3, 0, L"Movers", {2}},
                {L"Move day", 1, 0, L"Movers", {3, 4}},
                {L"Unpack and set up", 2, 0, L"Facilities team;Movers", {5}},
                {L"Move complete", 0, 0, L"", {6}}};
    std::vector<double> finishes;
    const Variant projectStart = move->pj->Get(L"ProjectStart");
    for (const auto& t : plan) {
        double start = V_DATE(&projectStart.Get());
        std::wstring predecessors;
        for (int before : t.after) {
            start = std::max(start, AddWorkDays(finishes[static_cast<size_t>(before - 1)], 1, 8));
            predecessors += (predecessors.empty() ? L"" : L",") + std::to_wstring(before);
        }
        AddProjectTask(px, move, move->tasks->items.size(), t.name, t.days, start, t.percent, t.resources,
                       predecessors);
        finishes.push_back(t.days == 0 ? start : AddWorkDays(start, t.days - 1, 17));
    }
    move->pj->Set(L"ProjectFinish", DateOf(finishes.back()));
    const Variant summary = move->pj->Get(L"ProjectSummaryTask");
    Values(Own(h, &summary.Get()),
           {{L"Finish", DateOf(finishes.back())}, {L"Duration", I4(22 * 480)}, {L"PercentComplete", I4(35)}});
    move->pj->Set(L"Saved", Bool(true));
    ActivateProject(*px, move, false);
    SelectProjectCell(*px, static_cast<THostObject*>(V_DISPATCH(&move->tasks->items[2].Get())), kTaskFields[0], false);

    auto selectRow = [px](LONG row, bool relative, const TTaskField& f) {
        if (!px->active) throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        THostObject* current = SelectedTask(*px);
        const LONG id = (relative && current ? LongOf(current->Get(L"ID")) : 0) + row;
        const auto& items = px->active->tasks->items;
        if (id < 1 || id > static_cast<LONG>(items.size()))
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        SelectProjectCell(*px, static_cast<THostObject*>(V_DISPATCH(&items[static_cast<size_t>(id - 1)].Get())), f,
                          true);
        return Bool(true);
    };
    app->SetMethod(L"SelectTaskField", [selectRow](THostObject&, Args a) {
        return selectRow(a.Long(0), a.Bool(2, true), TaskField(a.Text(1)));
    });
    app->SetMethod(L"SelectRow", [selectRow](THostObject&, Args a) {
        return selectRow(a.Long(0, 0), a.Bool(1, true), kTaskFields[0]);
    });
    app->SetMethod(L"EditGoTo",
                   [selectRow](THostObject&, Args a) { return selectRow(a.Long(0, 1), false, kTaskFields[0]); });
    app->SetMethod(L"SetTaskField", [px](THostObject&, Args a) {
        THostObject* task = SelectedTask(*px);
        if (a.At(4) && px->active) {
            task = nullptr;
            for (const Variant& item : px->active->tasks->items)
                if (LongOf(static_cast<THostObject*>(V_DISPATCH(&item.Get()))->Get(L"ID")) == a.Long(4))
                    task = static_cast<THostObject*>(V_DISPATCH(&item.Get()));
        }
        if (!task) throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const Variant before = task->Get(TaskField(a.Text(0)).member);
        InvokeOn(task, L"SetField", DISPATCH_METHOD, {Str(a.Text(0)), Str(a.Text(1))});
        // False when a sink refused the change.
        return Bool(TextOf(task->Get(TaskField(a.Text(0)).member)) == a.Text(1) || TextOf(before) == a.Text(1));
    });
    app->SetMethod(L"FileSave", [px](THostObject&, Args) { return Bool(px->active && SaveProject(*px, px->active)); });
    app->SetMethod(L"FileSaveAs", [px](THostObject&, Args a) {
        if (!px->active || FileName(a.Text(0)).find(L'.') == std::wstring::npos)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        const std::wstring file = a.Text(0);
        Values(px->active->pj,
               {{L"Name", Str(FileName(file))}, {L"FullName", Str(file)}, {L"Path", Str(Folder(file))}});
        px->active->window->Set(L"Caption", Str(FileName(file)));
        const bool saved = SaveProject(*px, px->active);
        PublishProject(*px);
        return Bool(saved);
    });
    app->SetMethod(L"FileClose", [px](THostObject&, Args a) {
        const ProjectFile p = px->active;
        if (!p) return Bool(false);
        if (Cancelled(px->app, L"ProjectBeforeClose", {Arg(p->pj)})) return Bool(false);
        if (a.Long(0, 2) == 1 && !BoolOf(p->pj->Get(L"Saved")) && !SaveProject(*px, p)) return Bool(false);
        p->pj->Fire(L"BeforeClose", {Arg(p->pj)});
        std::erase(px->open, p);
        Remove(px->projects, p->pj);
        Remove(px->windows, p->window);
        px->active = nullptr;
        ActivateProject(*px, px->open.empty() ? nullptr : px->open.back(), true);
        return Bool(true);
    });
    auto create = [px](THostObject&, Args) {
        const ProjectFile p = AddProjectFile(px, L"Project" + std::to_wstring(++px->untitled));
        p->pj->Set(L"Path", Str(L""));
        px->app->Fire(L"NewProject", {Arg(p->pj)});
        ActivateProject(*px, p, true);
        return p;
    };
    px->projects->SetMethod(L"Add", [create](THostObject& self, Args a) { return Obj(create(self, a)->pj); });
    app->SetMethod(L"FileNew", [create](THostObject& self, Args a) {
        create(self, a);
        return Bool(true);
    });
    app->SetMethod(L"FileOpen", [px](THostObject&, Args a) {
        const std::wstring file = a.Text(0);
        if (FileName(file).find(L'.') == std::wstring::npos)
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        for (const ProjectFile& p : px->open)
            if (SameText(TextOf(p->pj->Get(L"FullName")), file)) {
                ActivateProject(*px, p, true);
                return Bool(true);
            }
        const ProjectFile p = AddProjectFile(px, file);
        p->pj->Set(L"ReadOnly", Bool(a.Bool(1, false)));
        const Variant start = p->pj->Get(L"ProjectStart");
        AddProjectTask(px, p, 0, L"Kick-off", 1, V_DATE(&start.Get()), 0, L"", L"");
        p->pj->Set(L"Saved", Bool(true));
        p->pj->Fire(L"Open", {Arg(p->pj)});
        ActivateProject(*px, p, true);
        return Bool(true);
    });
    app->SetMethod(L"CalculateProject", [px](THostObject&, Args) {
        if (!px->active) return Bool(false);
        px->app->Fire(L"ProjectCalculate", {Arg(px->active->pj)});
        px->active->pj->Fire(L"Calculate", {Arg(px->active->pj)});
        return Bool(true);
    });
    app->SetMethod(L"ViewApply", [px](THostObject&, Args a) {
        static const wchar_t* const kViews[] = {L"Gantt Chart",    L"Tracking Gantt",  L"Task Usage",
                                                L"Resource Sheet", L"Network Diagram", L"Calendar",
                                                L"Team Planner"};
        const std::wstring view = a.Text(0);
        if (!px->active ||
            std::none_of(std::begin(kViews), std::end(kViews), [&](const wchar_t* v) { return SameText(v, view); }))
            throw THostError{kProjectBadArgument, L"The argument value is not valid."};
        THostObject* window = px->active->window;
        px->app->Fire(L"WindowBeforeViewChange",
                      {Arg(window), Arg(nullptr), Arg(nullptr), ArgBool(true), Arg(nullptr)});
        px->active->pj->Set(L"CurrentView", Str(view));
        window->Set(L"ActivePaneView", Str(view));
        px->app->Fire(L"WindowViewChange", {Arg(window), Arg(nullptr), Arg(nullptr), ArgBool(true)});
        return Bool(true);
    });
    app->SetMethod(L"FilterApply", [px](THostObject&, Args a) {
        if (px->active) px->active->pj->Set(L"CurrentFilter", Str(a.Text(0, L"All Tasks")));
        return Bool(px->active != nullptr);
    });
    auto outline = [px](const wchar_t* method) {
        return [px, method](THostObject&, Args) {
            THostObject* task = SelectedTask(*px);
            if (!task) return Bool(false);
            InvokeOn(task, method, DISPATCH_METHOD);
            return Bool(true);
        };
    };
    app->SetMethod(L"OutlineIndent", outline(L"OutlineIndent"));
    app->SetMethod(L"OutlineOutdent", outline(L"OutlineOutdent"));
    app->SetMethod(L"Macro", [](THostObject&, Args a) -> Variant {
        throw THostError{HostCode(1100), L"The macro \"" + a.Text(0) + L"\" cannot be found."};
    });
}

} // namespace

void BuildHostGraph(THostGraph& h) {
    const std::wstring name = h.Host().name;
    if (name == L"word" || name == L"unknown")
        BuildWord(h, name == L"unknown");
    else if (name == L"excel")
        BuildExcel(h);
    else if (name == L"powerpoint")
        BuildPowerPoint(h);
    else if (name == L"onenote")
        BuildOneNote(h);
    else if (name == L"publisher")
        BuildPublisher(h);
    else if (name == L"access")
        BuildAccess(h);
    else if (name == L"infopath")
        BuildInfoPath(h);
    else if (name == L"visio")
        BuildVisio(h);
    else if (name == L"project")
        BuildProject(h);
}

void SetHostHwnd(THostGraph& graph, HWND hwnd) {
    const THostInfo& host = graph.Host();
    const LONG handle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd));
    if (THostObject* owner = graph.At(host.hwndOwner)) owner->Set(host.hwndProperty, I4(handle));
    if (Declares(graph.App(), L"Hwnd")) graph.App()->Set(L"Hwnd", I4(handle));
    // Every window of the active window's type: they all live in the stand-in's one frame.
    const THostObject* active = graph.At(L"ActiveWindow");
    if (!active) return;
    for (THostObject* o : graph.Objects()) {
        if (o->TypeName() != active->TypeName()) continue;
        if (Declares(o, L"Hwnd")) o->Set(L"Hwnd", I4(handle));
        if (Declares(o, L"WindowHandle32")) o->Set(L"WindowHandle32", I4(handle));
        if (Declares(o, L"WindowHandle")) {
            VARIANT v;
            ::VariantInit(&v);
            V_VT(&v) = VT_UI8;
            V_UI8(&v) = static_cast<ULONGLONG>(reinterpret_cast<UINT_PTR>(hwnd));
            o->Set(L"WindowHandle", Variant::Attach(v));
        }
    }
}

} // namespace qs::standin
