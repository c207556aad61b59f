// PowerPoint's object graph: presentations of slides with shapes and their text, document windows and
// views, and the application's events as slides and presentations change.
#include "GraphHelpers.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace qs::standin::detail {

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
    THostObject* slide = Make(h, L"_Slide", p->pres);
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
    if (pp.active == p) {
        pp.active = nullptr;
        const auto next = std::find_if(pp.open.rbegin(), pp.open.rend(),
                                       [](const PptPresentation& o) { return o->window != nullptr; });
        if (next != pp.open.rend())
            ActivatePpt(pp, *next, true);
        else
            PublishPpt(pp);
    }
    // The presentation's window goes last, once another one is active.
    if (p->window) pp.h.RemoveDocumentWindow(p->window);
}

PptPresentation AddPpt(const Ppt& pp, const std::wstring& fullName, bool withWindow) {
    THostGraph& h = pp->h;
    auto p = std::make_shared<TPptPresentation>();
    const std::wstring name = FileName(fullName);
    p->pres = Make(h, L"_Presentation", pp->app);
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
    if (p->window) h.AddDocumentWindow(p->window, [pp, p] { ClosePpt(*pp, p); });
    return p;
}

} // namespace

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

} // namespace qs::standin::detail
