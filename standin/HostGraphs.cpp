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
Variant Typed(VARTYPE vt, const Variant& from) {
    Variant v;
    Change(v, from.Get(), vt);
    return v;
}
Variant R8(double v) {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = VT_R8;
    V_R8(&x) = v;
    return Variant::Attach(x);
}
Variant R4(float v) {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = VT_R4;
    V_R4(&x) = v;
    return Variant::Attach(x);
}
Variant I2(SHORT v) {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = VT_I2;
    V_I2(&x) = v;
    return Variant::Attach(x);
}
Variant Null() {
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = VT_NULL;
    return Variant::Attach(x);
}
// A date and time as the hosts report them (VT_DATE).
Variant Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0) {
    SYSTEMTIME st{year, month, 0, day, hour, minute, 0, 0};
    VARIANT x;
    ::VariantInit(&x);
    V_VT(&x) = VT_DATE;
    ::SystemTimeToVariantTime(&st, &V_DATE(&x));
    return Variant::Attach(x);
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
void GuardedPut(THostObject* o, const std::wstring& name,
                std::function<bool(THostObject&, const Variant&)> cancelled,
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
    Values(font, {{L"Name", Str(name)}, {L"Size", R4(size)}, {L"Bold", I4(bold ? -1 : 0)}, {L"Italic", I4(0)},
                  {L"Underline", I4(0)}, {L"Color", I4(-16777216)}, {L"SmallCaps", I4(0)}, {L"Hidden", I4(0)}});
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
    case 0: return words;
    case 1: return paragraphs; // one line per paragraph: the stand-in does not lay text out
    case 2: return 1;
    case 3: return characters;
    case 4: return paragraphs;
    case 5: return withSpaces;
    default: throw THostError{HostCode(5941), L"The requested member of the collection does not exist."};
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
    const Variant text = Str(d->text.substr(static_cast<size_t>(d->selStart),
                                            static_cast<size_t>(d->selEnd - d->selStart)));
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
    if (Cancelled(w.app, L"DocumentBeforeClose", {Arg(d->doc)}))
        throw THostError{HostCode(4198), L"Command failed"};
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
    window->SetMethod(L"Index", [w, window](THostObject&, Args) {
        return I4(static_cast<LONG>(IndexOf(w->windows, window)) + 1);
    });
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
    d->doc->SetMethod(L"ComputeStatistics", [d](THostObject&, Args a) { return I4(WordStatistic(d->text, a.Long(0))); });
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
        case 10: return I4(1);
        case 12: return Bool(false);
        default: return I4(-1);
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
        case 0: return Str(L"C:\\Users\\Public\\Documents");
        case 1: return Str(L"C:\\Users\\Public\\Pictures");
        case 2: return Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Templates");
        case 8: return Str(L"C:\\Users\\Public\\AppData\\Roaming\\Microsoft\\Word\\STARTUP");
        default: return Str(L"");
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
    app->SetMethod(L"CentimetersToPoints", [](THostObject&, Args a) {
        return R4(static_cast<float>(DoubleArg(a, 0) * 72.0 / 2.54));
    });
    app->SetMethod(L"InchesToPoints", [](THostObject&, Args a) {
        return R4(static_cast<float>(DoubleArg(a, 0) * 72.0));
    });
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
    r->SetMethod(L"Address", [area](THostObject&, Args a) {
        return Str(Address(area, a.Bool(0, true), a.Bool(1, true)));
    });
    r->SetMethod(L"Offset", [x, s, area](THostObject&, Args a) {
        const LONG dr = a.Long(0, 0), dc = a.Long(1, 0);
        const TArea moved{area.row1 + dr, area.col1 + dc, area.row2 + dr, area.col2 + dc};
        if (moved.row1 < 1 || moved.col1 < 1 || moved.row2 > 1048576 || moved.col2 > 16384)
            throw THostError{kExcelFailed, L"Application-defined or object-defined error"};
        return Obj(ExcelRange(x, s, moved));
    });
    auto put = [x, s, area](THostObject& self, const Variant& value) { SetExcelValue(*x, s, &self, area, value, true); };
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
            // A put through the destination's own dispatch, so that its sheet's events fire.
            DISPID id = DISPID_UNKNOWN;
            LPOLESTR names[1] = {const_cast<LPOLESTR>(L"Value")};
            to->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
            const Variant kept = self.Get(L"Value");
            VARIANTARG value = kept.Get();
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS params{&value, &named, 1, 1};
            to->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
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
    const auto visible = std::count_if(b.order.begin(), b.order.end(), [](const ExcelSheet& o) {
        return LongOf(o->sheet->Get(L"Visible")) == -1;
    });
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
    if (EventsOn(x) && Cancelled({{b->wb, L"BeforeClose", {}}, {x.app, L"WorkbookBeforeClose", {Arg(b->wb)}}}))
        return;
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
    window->SetMethod(L"Index", [x, window](THostObject&, Args) {
        return I4(static_cast<LONG>(IndexOf(x->windows, window)) + 1);
    });
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

    const ExcelBook budget =
        AddExcelBook(x, L"C:\\Users\\Public\\Documents\\Budget.xlsx", {L"Summary", L"Data"}, true);
    const ExcelSheet summary = budget->order[0], data = budget->order[1];
    const struct {
        const wchar_t* cell;
        Variant value;
    } cells[] = {{L"A1", Str(L"Month")},      {L"B1", Str(L"Rent")},    {L"C1", Str(L"Travel")},
                 {L"A2", Str(L"January")},    {L"B2", R8(1200)},        {L"C2", R8(310)},
                 {L"A3", Str(L"February")},   {L"B3", R8(1200)},        {L"C3", R8(275)},
                 {L"A4", Str(L"March")},      {L"B4", R8(1200)},        {L"C4", R8(420)},
                 {L"A1", Str(L"Total spending")}, {L"B1", R8(4605)}};
    for (size_t i = 0; i < std::size(cells); ++i) {
        const ExcelSheet& s = i < 12 ? data : summary;
        const TArea area = *ParseArea(cells[i].cell);
        SetExcelValue(*x, s, ExcelRange(x, s, area), area, cells[i].value, false);
    }
    Values(ExcelRange(x, summary, *ParseArea(L"B1")),
           {{L"Formula", Str(L"=SUM(Data!B2:C4)")}, {L"FormulaR1C1", Str(L"=SUM(Data!R2C2:R4C3)")},
            {L"HasFormula", Bool(true)}, {L"NumberFormat", Str(L"#,##0")}, {L"Text", Str(L"4,605")}});
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
    app->SetMethod(L"CentimetersToPoints", [](THostObject&, Args a) {
        return R8(DoubleArg(a, 0) * 72.0 / 2.54);
    });
    app->SetMethod(L"InputBox", [](THostObject&, Args) { return Bool(false); }); // as if the user cancelled
    app->SetMethod(L"Wait", [](THostObject&, Args) { return Bool(true); });
}

} // namespace

// ==== the other hosts (minimal for now) ====

namespace {

void BuildMinimal(THostGraph& h) {
    const std::wstring name = h.Host().name;
    if (name == L"powerpoint") {
        h.Add(L"ActiveWindow", L"DocumentWindow");
        h.Add(L"ActivePresentation", L"Presentation");
        h.Add(L"ActiveWindow.View", L"View");
        h.Add(L"ActiveWindow.View.Slide", L"Slide");
        h.Add(L"ActiveWindow.Selection", L"Selection");
    } else if (name == L"onenote") {
        THostObject* windows = h.AddCollection(L"Windows", L"Windows", 1);
        h.AddItem(windows, L"Window")->Set(L"Active", Variant::FromBool(false));
        h.AddItem(windows, L"Window", L"ActiveWindow")->Set(L"Active", Variant::FromBool(true));
    } else if (name == L"publisher") {
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveDocument", L"Document");
        h.Add(L"ActiveDocument.ActiveView", L"View");
        h.Add(L"ActiveDocument.ActiveView.ActivePage", L"Page");
        h.Add(L"Selection", L"Selection");
    } else if (name == L"access") {
        h.Add(L"CurrentProject", L"CurrentProject");
        h.Add(L"CurrentProject.Connection", L"Connection");
        h.Add(L"DoCmd", L"DoCmd");
        h.Add(L"Screen", L"Screen");
        h.Add(L"Screen.ActiveControl", L"Control");
        h.Add(L"DBEngine", L"_DBEngine");
        THostObject* workspaces = h.AddCollection(L"DBEngine.Workspaces", L"Workspaces", 0);
        h.AddItem(workspaces, L"Workspace", L"Workspace");
        THostObject* databases = h.AddCollection(L"Workspace.Databases", L"Databases", 0);
        h.AddItem(databases, L"Database", L"Database");
        THostObject* tables = h.AddCollection(L"Database.TableDefs", L"TableDefs", 0);
        for (int i = 0; i < 3; ++i) h.AddItem(tables, L"TableDef");
    } else if (name == L"visio") {
        h.Add(L"Settings", L"IVApplicationSettings");
        h.Add(L"ActiveWindow", L"IVWindow");
        h.Add(L"ActivePage", L"IVPage");
        h.Add(L"ActiveDocument", L"IVDocument");
        THostObject* selection = h.AddCollection(L"ActiveWindow.Selection", L"IVSelection", 1);
        h.AddItem(selection, L"IVShape");
    } else if (name == L"project") {
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveProject", L"Project");
        h.Add(L"ActiveSelection", L"Selection");
        h.Add(L"ActiveCell", L"Cell");
        h.Add(L"ActiveCell.Task", L"Task");
    }
}

} // namespace

void BuildHostGraph(THostGraph& h) {
    const std::wstring name = h.Host().name;
    if (name == L"word" || name == L"unknown")
        BuildWord(h, name == L"unknown");
    else if (name == L"excel")
        BuildExcel(h);
    else
        BuildMinimal(h);
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
