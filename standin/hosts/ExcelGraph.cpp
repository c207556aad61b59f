// Excel's object graph: workbooks of worksheets and chart sheets, ranges over a sheet's cells by
// address, styles, windows, and the application's, workbooks' and sheets' events.
#include "GraphHelpers.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>
#include <optional>

namespace qs::standin::detail {

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
    s->sheet = Make(h, chart ? L"_Chart" : L"_Worksheet", b->wb, {chart ? L"ChartEvents" : L"DocEvents"});
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
    if (x.active == b) {
        x.active = nullptr;
        if (x.books.empty())
            PublishExcel(x);
        else
            ActivateExcelBook(x, x.books.back(), true);
    }
    // The workbook's window goes last, once another one is active.
    x.h.RemoveDocumentWindow(b->window);
}

ExcelBook AddExcelBook(const Excel& x, const std::wstring& fullName, std::initializer_list<const wchar_t*> worksheets,
                       bool chart = false) {
    THostGraph& h = x->h;
    auto b = std::make_shared<TExcelBook>();
    const std::wstring name = FileName(fullName);
    b->wb = Make(h, L"_Workbook", x->app, {L"WorkbookEvents"});
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
    h.AddDocumentWindow(b->window, [x, b] { CloseExcelBook(*x, b, false); });
    return b;
}

} // namespace

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

} // namespace qs::standin::detail
