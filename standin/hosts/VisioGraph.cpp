// Visio's object graph: drawings and stencils with pages, shapes, masters and cells in units, the
// windows and their selection, and the application's, documents' and pages' events.
#include "GraphHelpers.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace qs::standin::detail {

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
    if (vx.active == d) {
        VisioDocument next;
        for (const VisioDocument& other : vx.open)
            if (other->window) next = other;
        ActivateVisio(vx, next, true);
    }
    // The drawing's window goes last, once another one is active.
    if (d->window) vx.h.RemoveDocumentWindow(d->window);
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
    h.AddDocumentWindow(d->window, [vx, d] { CloseVisio(*vx, d); });
    return d;
}

} // namespace

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

} // namespace qs::standin::detail
