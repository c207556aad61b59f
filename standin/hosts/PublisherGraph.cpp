// Publisher's object graph: publications of pages with shapes, the window and its view, and the
// application's and documents' events.
#include "GraphHelpers.h"

#include <algorithm>
#include <memory>

namespace qs::standin::detail {

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
    d->doc = Make(h, L"_Document", pb->app, {L"DocumentEvents"});
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

} // namespace

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

} // namespace qs::standin::detail
