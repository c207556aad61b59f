// Word's object graph: two documents with their windows, text as ranges and paragraphs, styles, the
// selection, and Documents.Add, Open and Close firing the application's and the documents' events.
#include "GraphHelpers.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <memory>

namespace qs::standin::detail {

namespace {

constexpr LONG wdSaveChanges = -1;
constexpr LONG wdDoNotSaveChanges = 0; // also what a window's close box does: the stand-in asks nobody
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
    if (w.active == d && !w.docs.empty()) {
        ActivateWord(w, w.docs.back(), true);
    } else if (w.active == d) {
        w.active = nullptr;
        w.h.SetNothing(L"ActiveDocument");
        w.h.SetNothing(L"ActiveWindow");
        w.app->Set(L"Caption", Str(L"Word"));
        w.app->Fire(L"DocumentChange", {});
    }
    // The document's window goes last, once another one is active.
    w.h.RemoveDocumentWindow(d->window);
}

WordDocument AddWordDocument(const Word& w, const std::wstring& fullName, const std::wstring& text,
                             bool titled = false) {
    THostGraph& h = w->h;
    auto d = std::make_shared<TWordDocument>();
    d->text = text;
    d->titled = titled;
    const std::wstring name = FileName(fullName);
    d->doc = Make(h, L"_Document", w->app, {kWordEvents[0]});
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
    h.AddDocumentWindow(d->window, [w, d] { CloseWord(*w, d, wdDoNotSaveChanges); });
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

} // namespace

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

} // namespace qs::standin::detail
