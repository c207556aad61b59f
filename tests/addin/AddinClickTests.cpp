// The per-host add-ins driven as the ribbon drives them: the host table, clicks on every button with
// the windows they open, nils and errors on the paths, the window-handle rules, images and the About
// window. Every test checks that the fake hosts' references all came back.
#include "AddinHosts.h"

#include "Fixtures.h"
#include "RegistrySandbox.h"
#include "addin/fAbout.h"
#include "addin/uModule.h"
#include "com/ComServEx.h"
#include "browser/fDispatchBrowser.h"
#include "common/qsError.h"
#include "common/uBitness.h"
#include "addin/uAddinGlobals.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

std::wstring Id(const std::wstring& role) {
    return L"Quillspar_" + role;
}

// Every button id of a markup text, in order.
std::vector<std::wstring> MarkupIds(const std::wstring& xml) {
    std::vector<std::wstring> ids;
    const std::wstring key = L"<button id=\"";
    for (size_t at = xml.find(key); at != std::wstring::npos; at = xml.find(key, at + 1)) {
        const size_t start = at + key.size();
        ids.push_back(xml.substr(start, xml.find(L'"', start) - start));
    }
    return ids;
}

class AddinTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Browser windows hold script frames, described by the module's type library; tests before
        // may have freed the server that knew where it is.
        UseTheBuiltModulesTypeLibrary();
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QsAddinTestHost";
        ::RegisterClassW(&wc);
        // Never shown, so it is never the foreground window: a window parented to it was parented by
        // the host's handle, not by the fallback.
        hostWindow = ::CreateWindowExW(0, L"QsAddinTestHost", L"Host", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, nullptr,
                                       nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(hostWindow);
    }
    void TearDown() override {
        CloseAll();
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
        ::DestroyWindow(hostWindow);
        SetModalInterceptor(nullptr);
    }

    static void CloseAll() {
        const std::vector<TParentedForm*> open = TParentedForm::ParentedForms();
        for (TParentedForm* f : open) f->Free();
        TForm::ProcessMessages();
    }

    // Clicks the button `id` and returns the browser windows that the click opened.
    static std::vector<TDispatchBrowser*> Click(TGenericAddin& addin, const std::wstring& id) {
        const std::vector<TParentedForm*> before = TParentedForm::ParentedForms();
        auto control = TRibbonControlStub::Create(id);
        addin.OnButtonClick(control.Get());
        TForm::ProcessMessages();
        std::vector<TDispatchBrowser*> opened;
        for (TParentedForm* f : TParentedForm::ParentedForms())
            if (std::find(before.begin(), before.end(), f) == before.end())
                if (auto* b = dynamic_cast<TDispatchBrowser*>(f)) opened.push_back(b);
        EXPECT_EQ(control->RefCount(), 1u);
        return opened;
    }

    // A host with its objects, reporting the test's host window as its window handle.
    THostGraph Host(const std::string& name) {
        THostGraph fake = MakeHost(name);
        SetHostHwnd(fake, name, hostWindow);
        return fake;
    }

    HWND hostWindow = nullptr;
};

// ---- the host table ----

TEST(HostTable, ListsTheNineHostsInRecognitionOrder) {
    const struct {
        TOfficeAppKind kind;
        const wchar_t* iid;
    } expected[] = {
        {TOfficeAppKind::oaExcel, L"{000208D5-0000-0000-C000-000000000046}"},
        {TOfficeAppKind::oaOneNote, L"{452AC71A-B655-4967-A208-A4CC39DD7949}"},
        {TOfficeAppKind::oaPowerPoint, L"{91493442-5A91-11CF-8700-00AA0060263B}"},
        {TOfficeAppKind::oaWord, L"{00020970-0000-0000-C000-000000000046}"},
        {TOfficeAppKind::oaPublisher, L"{0002123E-0000-0000-C000-000000000046}"},
        {TOfficeAppKind::oaAccess, L"{68CCE6C0-6129-101B-AF4E-00AA003F0F07}"},
        {TOfficeAppKind::oaInfoPath, L"{096CD58A-0786-11D1-95FA-0080C78EE3BB}"},
        {TOfficeAppKind::oaVisio, L"{000D0700-0000-0000-C000-000000000046}"},
        {TOfficeAppKind::caProject, L"{00020AFF-0000-0000-C000-000000000046}"},
    };
    ASSERT_EQ(OfficeApps().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(OfficeApps()[i].kind, expected[i].kind);
        EXPECT_EQ(static_cast<size_t>(OfficeApps()[i].kind), i);
        EXPECT_EQ(GuidToString(OfficeApps()[i].applicationIID), expected[i].iid);
    }
    EXPECT_EQ(GuidToString(kInfoPathApplication2IID), L"{096CD6BB-0786-11D1-95FA-0080C78EE3BB}");
}

TEST(HostTable, AnAddinRefusesAnApplicationWithoutItsInterface) {
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        auto stranger = MakeObject(L"_Application");
        try {
            CreateHostAddin(hc.name, stranger.Get());
            ADD_FAILURE() << "created on an application without the host's interface";
        } catch (const ComError& e) {
            EXPECT_EQ(e.Hr(), E_NOINTERFACE);
        }
        EXPECT_EQ(stranger->RefCount(), 1u);
    }
}

TEST(HostTable, InfoPathHoldsApplication2NotTheInterfaceItWasRecognisedBy) {
    auto recognisedOnly = MakeObject(L"_Application", {kInfoPathApplicationIID});
    EXPECT_THROW(CreateHostAddin("InfoPath", recognisedOnly.Get()), ComError);
    auto both = MakeObject(L"_Application", {kInfoPathApplicationIID, kInfoPathApplication2IID});
    {
        auto addin = CreateHostAddin("InfoPath", both.Get());
        EXPECT_TRUE(addin);
        EXPECT_EQ(both->RefCount(), 2u); // the add-in holds the host's interface
    }
    EXPECT_EQ(both->RefCount(), 1u);
    EXPECT_EQ(recognisedOnly->RefCount(), 1u);
}

TEST(HostTable, OnlyTheExcelAddinForwardsAllKeys) {
    ForwardAllKeys = false;
    for (const HostCase& hc : HostCases()) {
        if (std::string(hc.name) == "Excel") continue;
        THostGraph fake = MakeHost(hc.name);
        CreateHostAddin(hc.name, fake.Application());
        EXPECT_FALSE(ForwardAllKeys) << hc.name;
    }
    THostGraph excel = MakeHost("Excel");
    auto addin = CreateHostAddin("Excel", excel.Application());
    EXPECT_TRUE(ForwardAllKeys);
    addin.reset(); // nothing clears it
    EXPECT_TRUE(ForwardAllKeys);
    ForwardAllKeys = false;
}

// A host that is only a row: everything the add-in does comes from the row, nothing from the host's kind.
TEST_F(AddinTest, ANewHostIsOneRow) {
    const TOfficeAppInfo row{
        .kind = TOfficeAppKind::oaExcel,
        .applicationIID = kWordApplicationIID,
        .addinIID = kWordApplicationIID,
        .registryName = L"Test",
        .addinKeyParent = TAddinKeyParent::Office,
        .objectModelLabel = L"Test Object Model",
        .objectModel = {{{Id(L"Doc"), L"Doc", L"Doc", L"The document", L"WordDocument"}, {L"ActiveDocument"}},
                        {{Id(L"Fetched"), L"Range", L"Range", L"The range", L"WordRange"},
                         {},
                         [](IDispatch* app) { return ReadPath(app, {L"Selection", L"Range"}); },
                         TDispatchBrowserTab::bsFunctions}},
        .hwndOwner = {L"ActiveWindow"},
        .hwndProperty = L"Hwnd",
        .showsClickErrors = true,
    };
    THostGraph fake = Host("Word");
    fake.Settle();
    {
        auto addin = row.CreateAddin(fake.Application());
        EXPECT_EQ(MarkupIds(addin->GetCustomUI(L"")),
                  (std::vector<std::wstring>{kScriptEditorId, Id(L"Doc"), Id(L"Fetched"), kAboutId}));
        EXPECT_FALSE(ForwardAllKeys);
        const auto doc = Click(*addin, Id(L"doc"));
        ASSERT_EQ(doc.size(), 1u);
        EXPECT_EQ(doc[0]->Text(), L"_Document");
        EXPECT_EQ(doc[0]->WndParent(), hostWindow);
        const auto range = Click(*addin, Id(L"Fetched"));
        ASSERT_EQ(range.size(), 1u);
        EXPECT_EQ(range[0]->Text(), L"Range");
        EXPECT_EQ(range[0]->PageControl->ActivePage(), range[0]->tsFunctions);
        CloseAll();
        fake.At(L"Selection")->Fail(L"Range", E_FAIL, L"No range.");
        MessageBoxRecorder boxes;
        EXPECT_NO_THROW(Click(*addin, Id(L"Fetched")));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, L"No range.");
    }
    EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
}

// ---- object buttons ----

TEST_F(AddinTest, EveryObjectButtonOpensTheObjectOfItsPath) {
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        THostGraph fake = Host(hc.name);
        fake.Settle();
        {
            auto addin = CreateHostAddin(hc.name, fake.Application());
            for (const ButtonCase& b : hc.buttons) {
                SCOPED_TRACE(std::wstring(b.role).c_str());
                const auto opened = Click(*addin, Id(b.role));
                ASSERT_EQ(opened.size(), 1u);
                TDispatchBrowser* w = opened[0];
                EXPECT_EQ(w->Text(), b.caption);
                EXPECT_EQ(w->WndParent(), hostWindow);
                EXPECT_TRUE(::IsWindowVisible(w->Handle()));
                TTabSheet* page = w->tsProperties;
                if (b.page == TDispatchBrowserTab::bsFunctions) page = w->tsFunctions;
                if (b.page == TDispatchBrowserTab::bsIEnumVariant) page = w->tsEnumVatiant;
                EXPECT_EQ(w->PageControl->ActivePage(), page);
                if (b.page == TDispatchBrowserTab::bsIEnumVariant) {
                    EXPECT_EQ(w->EnumItemCount(), 3u);
                }
                CloseAll();
            }
        }
        EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
    }
}

TEST_F(AddinTest, TwoClicksOpenTwoWindows) {
    THostGraph fake = Host("Word");
    auto addin = CreateHostAddin("Word", fake.Application());
    const auto first = Click(*addin, Id(L"Document"));
    const auto second = Click(*addin, Id(L"Document"));
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(first[0], second[0]);
    EXPECT_EQ(second[0]->Text(), L"_Document");
    EXPECT_EQ(TParentedForm::ParentedForms().size(), 2u);
}

TEST_F(AddinTest, IdsAreComparedWithoutRegardToCase) {
    const struct {
        const char* host;
        const wchar_t* id;
        const wchar_t* caption;
    } cases[] = {
        {"Word", L"QUILLSPAR_DOCUMENT", L"_Document"},     {"Word", L"quillspar_applicationoptions", L"Options"},
        {"Access", L"quillspar_TableDefs", L"TableDefs"},  {"Visio", L"QuillSpar_Shape", L"IVShape"},
        {"OneNote", L"quillspar_window", L"SecondWindow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        THostGraph fake = Host(c.host);
        auto addin = CreateHostAddin(c.host, fake.Application());
        const auto opened = Click(*addin, c.id);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0]->Text(), c.caption);
        CloseAll();
    }
}

TEST_F(AddinTest, UnknownIdsDoNothing) {
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        THostGraph fake = Host(hc.name);
        auto addin = CreateHostAddin(hc.name, fake.Application());
        MessageBoxRecorder boxes;
        for (const wchar_t* id : {L"Quillspar_Nothing", L"Quillspar", L"", L"Application", L"Quillspar_Application "}) {
            EXPECT_TRUE(Click(*addin, id).empty());
            auto control = TRibbonControlStub::Create(id);
            EXPECT_EQ(addin->OnGetButtonImage(control.Get()), nullptr);
        }
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_TRUE(fake.App()->reads.empty()); // nothing read from the host
    }
}

TEST_F(AddinTest, NilAtTheStartOfAPathOpensNothing) {
    // Every object the Application reports is nil: only the Application button opens a window.
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        THostGraph fake = Host(hc.name);
        for (const wchar_t* name :
             {L"Options", L"ActiveWindow", L"ActiveDocument", L"Selection", L"ActiveWorkbook", L"ActiveSheet",
              L"ActiveChart", L"ActiveCell", L"ActivePresentation", L"Windows", L"CurrentProject", L"DoCmd", L"Screen",
              L"DBEngine", L"Settings", L"ActivePage", L"ActiveProject", L"ActiveSelection"})
            fake.App()->SetObject(name, nullptr);
        fake.Settle();
        {
            auto addin = CreateHostAddin(hc.name, fake.Application());
            MessageBoxRecorder boxes;
            for (const ButtonCase& b : hc.buttons) {
                SCOPED_TRACE(std::wstring(b.role).c_str());
                const size_t expected = std::wstring(b.role) == L"Application" ? 1u : 0u;
                EXPECT_EQ(Click(*addin, Id(b.role)).size(), expected);
                CloseAll();
            }
            EXPECT_TRUE(boxes.boxes.empty());
        }
        EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
    }
}

TEST_F(AddinTest, NilOrNothingFurtherAlongAPathOpensNothing) {
    const struct {
        const char* host;
        const wchar_t* role;
        std::function<void(THostGraph&)> change;
    } cases[] = {
        {"Excel", L"Chart", [](THostGraph& h) { h.App()->SetObject(L"ActiveChart", nullptr); }},
        {"Excel", L"Style", [](THostGraph& h) { h.At(L"ActiveCell")->Set(L"Style", Variant::FromString(L"Normal")); }},
        {"Word", L"Style", [](THostGraph& h) { h.At(L"Selection")->Set(L"Style", Variant::FromString(L"Heading 1")); }},
        {"Word", L"Range", [](THostGraph& h) { h.At(L"Selection")->SetObject(L"Range", nullptr); }},
        {"PowerPoint", L"Slide", [](THostGraph& h) { h.At(L"ActiveWindow")->SetObject(L"View", nullptr); }},
        {"Publisher", L"Page", [](THostGraph& h) { h.At(L"ActiveDocument")->Set(L"ActiveView", Variant()); }},
        {"Project", L"Task", [](THostGraph& h) { h.At(L"ActiveCell")->SetObject(L"Task", nullptr); }},
        {"Visio", L"Shape", [](THostGraph& h) { h.At(L"ActiveWindow.Selection")->items.clear(); }},
        {"Visio", L"Shape", [](THostGraph& h) { h.App()->SetObject(L"ActiveWindow", nullptr); }},
        {"OneNote", L"Window",
         [](THostGraph& h) {
             for (Variant& w : h.At(L"Windows")->items)
                 static_cast<THostObject*>(V_DISPATCH(&w.Get()))->Set(L"Active", Variant::FromBool(false));
         }},
        {"OneNote", L"Window", [](THostGraph& h) { h.At(L"Windows")->items.clear(); }},
        {"Access", L"Workspace", [](THostGraph& h) { h.At(L"DBEngine.Workspaces")->items.clear(); }},
        {"Access", L"Database", [](THostGraph& h) { h.At(L"Workspace.Databases")->items.clear(); }},
        {"Access", L"TableDefs", [](THostGraph& h) { h.At(L"Workspace.Databases")->items.clear(); }},
        {"Access", L"TableDefs", [](THostGraph& h) { h.At(L"Database")->SetObject(L"TableDefs", nullptr); }},
        {"Access", L"ActiveControl", [](THostGraph& h) { h.At(L"Screen")->SetObject(L"ActiveControl", nullptr); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + std::string(c.role, c.role + wcslen(c.role)));
        THostGraph fake = Host(c.host);
        c.change(fake);
        fake.Settle();
        {
            auto addin = CreateHostAddin(c.host, fake.Application());
            MessageBoxRecorder boxes;
            EXPECT_TRUE(Click(*addin, Id(c.role)).empty());
            EXPECT_TRUE(boxes.boxes.empty());
        }
        EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
    }
}

TEST_F(AddinTest, OneNoteOpensTheFirstActiveWindowAndStopsLooking) {
    THostGraph fake = Host("OneNote");
    auto addin = CreateHostAddin("OneNote", fake.Application());
    const auto opened = Click(*addin, Id(L"Window"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->Text(), L"SecondWindow"); // the third is active too, but comes later
    EXPECT_EQ(fake.At(L"Windows")->itemIndexes, (std::vector<LONG>{1, 2}));
}

TEST_F(AddinTest, VisioReadsTheFirstShapeOnlyWhenTheSelectionHasAny) {
    THostGraph fake = Host("Visio");
    THostObject* selection = fake.At(L"ActiveWindow.Selection");
    auto addin = CreateHostAddin("Visio", fake.Application());
    ASSERT_EQ(Click(*addin, Id(L"Shape")).size(), 1u);
    EXPECT_EQ(selection->reads, (std::vector<std::wstring>{L"Count", L"Item"}));
    EXPECT_EQ(selection->itemIndexes, std::vector<LONG>{1});
    CloseAll();
    selection->items.clear();
    selection->reads.clear();
    EXPECT_TRUE(Click(*addin, Id(L"Shape")).empty());
    EXPECT_EQ(selection->reads, std::vector<std::wstring>{L"Count"});
}

TEST_F(AddinTest, AccessTakesItemZeroAsAnIntegerOfEachCollection) {
    THostGraph fake = Host("Access");
    auto addin = CreateHostAddin("Access", fake.Application());
    ASSERT_EQ(Click(*addin, Id(L"TableDefs")).size(), 1u);
    for (const wchar_t* path : {L"DBEngine.Workspaces", L"Workspace.Databases"}) {
        SCOPED_TRACE(path);
        THostObject* c = fake.At(path);
        EXPECT_EQ(c->reads, (std::vector<std::wstring>{L"Count", L"Item"}));
        EXPECT_EQ(c->itemIndexTypes, std::vector<VARTYPE>{VT_I4});
        EXPECT_EQ(c->itemIndexes, std::vector<LONG>{0});
    }
    // The Workspace button stops at the workspace.
    CloseAll();
    fake.At(L"Workspace.Databases")->reads.clear();
    const auto opened = Click(*addin, Id(L"Workspace"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->Text(), L"Workspace");
    EXPECT_TRUE(fake.At(L"Workspace.Databases")->reads.empty());
}

// ---- errors ----

TEST_F(AddinTest, AccessAndProjectShowClickErrorsInAnErrorBox) {
    const struct {
        const char* host;
        const wchar_t* owner;
        const wchar_t* property;
        const wchar_t* role;
    } cases[] = {
        {"Access", L"DBEngine", L"Workspaces", L"Database"},
        {"Access", L"", L"DoCmd", L"DoCmd"},
        {"Access", L"Screen", L"ActiveControl", L"ActiveControl"},
        {"Project", L"ActiveCell", L"Task", L"Task"},
        {"Project", L"", L"ActiveProject", L"Project"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + std::string(c.role, c.role + wcslen(c.role)));
        THostGraph fake = Host(c.host);
        fake.At(c.owner)->Fail(c.property, static_cast<HRESULT>(0x800A0BCD), L"There is no current record.");
        fake.Settle();
        {
            auto addin = CreateHostAddin(c.host, fake.Application());
            MessageBoxRecorder boxes;
            std::vector<TDispatchBrowser*> opened;
            EXPECT_NO_THROW(opened = Click(*addin, Id(c.role)));
            EXPECT_TRUE(opened.empty());
            ASSERT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(boxes.boxes[0].text, L"There is no current record.");
            EXPECT_EQ(boxes.boxes[0].caption, L"Error");
            EXPECT_EQ(boxes.boxes[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
            EXPECT_EQ(boxes.boxes[0].owner, hostWindow);
        }
        EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
    }
}

TEST_F(AddinTest, AccessAndProjectShowEvenAControlThatIsNotARibbonControl) {
    for (const char* host : {"Access", "Project"}) {
        SCOPED_TRACE(host);
        THostGraph fake = Host(host);
        auto addin = CreateHostAddin(host, fake.Application());
        MessageBoxRecorder boxes;
        auto control = TRibbonControlStub::Create(Id(L"Application"), nullptr, {}, false);
        EXPECT_NO_THROW(addin->OnButtonClick(control.Get()));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, L"Error");
        EXPECT_FALSE(boxes.boxes[0].text.empty());
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
    }
}

TEST_F(AddinTest, OtherHostsLetClickErrorsLeaveTheCallback) {
    const struct {
        const char* host;
        const wchar_t* owner;
        const wchar_t* property;
        const wchar_t* role;
    } cases[] = {
        {"Word", L"", L"ActiveDocument", L"Document"},
        {"Word", L"Selection", L"Range", L"Range"},
        {"Excel", L"", L"ActiveChart", L"Chart"},
        {"PowerPoint", L"ActiveWindow", L"View", L"Slide"},
        {"OneNote", L"", L"Windows", L"Window"},
        {"Publisher", L"", L"Selection", L"Selection"},
        {"Visio", L"ActiveWindow", L"Selection", L"Shape"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + std::string(c.role, c.role + wcslen(c.role)));
        THostGraph fake = Host(c.host);
        fake.At(c.owner)->Fail(c.property, static_cast<HRESULT>(0x800A03EC), L"The object is not available.");
        fake.Settle();
        {
            auto addin = CreateHostAddin(c.host, fake.Application());
            MessageBoxRecorder boxes;
            auto control = TRibbonControlStub::Create(Id(c.role));
            try {
                addin->OnButtonClick(control.Get());
                ADD_FAILURE() << "the error was swallowed";
            } catch (const ComError& e) {
                EXPECT_EQ(e.Hr(), static_cast<HRESULT>(0x800A03EC));
                EXPECT_EQ(e.Message(), L"The object is not available.");
            }
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_TRUE(TParentedForm::ParentedForms().empty());
        }
        EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
    }
}

TEST_F(AddinTest, AControlThatIsNotARibbonControlFailsTheCallbacks) {
    THostGraph fake = Host("Word");
    auto addin = CreateHostAddin("Word", fake.Application());
    auto control = TRibbonControlStub::Create(Id(L"Document"), nullptr, {}, false);
    EXPECT_THROW(addin->OnButtonClick(control.Get()), ComError);
    EXPECT_THROW(addin->OnGetButtonImage(control.Get()), ComError);
    EXPECT_TRUE(TParentedForm::ParentedForms().empty());
}

// ---- window handles ----

TEST_F(AddinTest, WindowHandleComesFromTheHostOrFallsBackToTheForegroundWindow) {
    enum class Handle { Host, Missing, Failing, Zero, NotANumber };
    for (const HostCase& hc : HostCases()) {
        for (Handle kind : {Handle::Host, Handle::Missing, Handle::Failing, Handle::Zero, Handle::NotANumber}) {
            SCOPED_TRACE(std::string(hc.name) + " case " + std::to_string(static_cast<int>(kind)));
            THostGraph fake = MakeHost(hc.name);
            THostObject* owner = fake.At(hc.hwndOwner);
            switch (kind) {
            case Handle::Host:
                SetHostHwnd(fake, hc.name, hostWindow);
                break;
            case Handle::Missing:
                break;
            case Handle::Failing:
                owner->Fail(hc.hwndProperty, E_FAIL, L"No window.");
                break;
            case Handle::Zero:
                owner->Set(hc.hwndProperty, Variant::FromI4(0));
                break;
            case Handle::NotANumber:
                owner->Set(hc.hwndProperty, Variant::FromString(L"window"));
                break;
            }
            auto addin = CreateHostAddin(hc.name, fake.Application());
            const HWND expected = kind == Handle::Host ? hostWindow : ::GetForegroundWindow();
            EXPECT_EQ(addin->GetActiveHwnd(), expected);
            // Asked by name under the host's own property name only.
            const auto& reads = owner->reads;
            EXPECT_EQ(std::count(reads.begin(), reads.end(), std::wstring(hc.hwndProperty)),
                      kind == Handle::Missing ? 0 : 1);
        }
    }
}

TEST_F(AddinTest, AWindowOpensOverTheForegroundWindowWhenTheHostHasNoHandle) {
    THostGraph fake = MakeHost("Excel"); // no Hwnd property
    auto addin = CreateHostAddin("Excel", fake.Application());
    const HWND foreground = ::GetForegroundWindow();
    const auto opened = Click(*addin, Id(L"Workbook"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->WndParent(), foreground);
    EXPECT_NE(opened[0]->WndParent(), hostWindow);
}

TEST_F(AddinTest, WordAndPublisherReadTheHandleOfTheActiveWindow) {
    for (const char* host : {"Word", "Publisher"}) {
        SCOPED_TRACE(host);
        {
            // No active window: the foreground window.
            THostGraph fake = Host(host);
            fake.App()->SetObject(L"ActiveWindow", nullptr);
            auto addin = CreateHostAddin(host, fake.Application());
            EXPECT_EQ(addin->GetActiveHwnd(), ::GetForegroundWindow());
        }
        {
            // Reading the active window fails: the lookup does not catch it, so the click fails.
            THostGraph fake = Host(host);
            fake.App()->Fail(L"ActiveWindow", static_cast<HRESULT>(0x800A1098), L"No document is open.");
            fake.Settle();
            {
                auto addin = CreateHostAddin(host, fake.Application());
                EXPECT_THROW(addin->GetActiveHwnd(), ComError);
                auto control = TRibbonControlStub::Create(Id(L"Application"));
                try {
                    addin->OnButtonClick(control.Get());
                    ADD_FAILURE() << "the click did not fail";
                } catch (const ComError& e) {
                    EXPECT_EQ(e.Message(), L"No document is open.");
                }
                EXPECT_TRUE(TParentedForm::ParentedForms().empty());
            }
            EXPECT_EQ(fake.LeakedObjects(), std::vector<std::wstring>{});
        }
    }
}

TEST(DispatchHasMember, AsksForTheOneNameOnly) {
    auto object = MakeObject(L"Window");
    object->Set(L"Hwnd", Variant::FromI4(5));
    EXPECT_TRUE(DispatchHasMember(object.Get(), L"Hwnd"));
    EXPECT_TRUE(DispatchHasMember(object.Get(), L"HWND"));
    EXPECT_FALSE(DispatchHasMember(object.Get(), L"WindowHandle32"));
    EXPECT_FALSE(DispatchHasMember(nullptr, L"Hwnd"));
    EXPECT_TRUE(object->reads.empty()); // asking reads nothing
}

// ---- images ----

TEST_F(AddinTest, EveryButtonOfEveryHostHasAnImage) {
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        THostGraph fake = Host(hc.name);
        auto addin = CreateHostAddin(hc.name, fake.Application());
        const std::vector<std::wstring> ids = MarkupIds(addin->GetCustomUI(L""));
        EXPECT_EQ(ids.size(), hc.buttons.size() + 2);
        for (const std::wstring& id : ids) {
            SCOPED_TRACE(std::string(id.begin(), id.end()));
            auto control = TRibbonControlStub::Create(id);
            ComPtr<IDispatch> image;
            try {
                image = addin->OnGetButtonImage(control.Get());
            } catch (const ComError& e) {
                ADD_FAILURE() << std::string(e.Message().begin(), e.Message().end());
            }
            if (!image) continue;
            ComPtr<IPicture> picture;
            ASSERT_HRESULT_SUCCEEDED(image.As(&picture));
            SHORT type = 0;
            EXPECT_HRESULT_SUCCEEDED(picture->get_Type(&type));
            EXPECT_EQ(type, PICTYPE_ICON);
            OLE_XSIZE_HIMETRIC width = 0;
            EXPECT_HRESULT_SUCCEEDED(picture->get_Width(&width));
            EXPECT_EQ(::MulDiv(width, 96, 2540), 48);
        }
        // Case does not matter for images either.
        auto upper = TRibbonControlStub::Create(L"QUILLSPAR_ABOUT");
        EXPECT_TRUE(addin->OnGetButtonImage(upper.Get()));
        EXPECT_TRUE(fake.App()->reads.empty()); // images read nothing from the host
    }
}

TEST(ButtonImages, EveryImageNameLoads) {
    for (const wchar_t* name : {L"Script",
                                L"About",
                                L"WordApplication",
                                L"WordOptions",
                                L"WordWindow",
                                L"WordDocument",
                                L"WordSelection",
                                L"WordStyle",
                                L"WordRange",
                                L"ExcelApplication",
                                L"ExcelWindow",
                                L"ExcelWorkbook",
                                L"ExcelWorksheet",
                                L"ExcelChart",
                                L"ExcelSelection",
                                L"ExcelCell",
                                L"ExcelStyle",
                                L"PowerPointApplication",
                                L"PowerPointWindow",
                                L"PowerPointPresentation",
                                L"PowerPointView",
                                L"PowerPointSlide",
                                L"PowerPointSelection",
                                L"OneNoteApplication",
                                L"OneNoteWindow",
                                L"PublisherApplication",
                                L"PublisherWindow",
                                L"PublisherDocument",
                                L"PublisherView",
                                L"PublisherPage",
                                L"PublisherSelection",
                                L"AccessApplication",
                                L"AccessProject",
                                L"AccessCommand",
                                L"AccessScreen",
                                L"AccessControl",
                                L"AccessDBEngine",
                                L"AccessConnection",
                                L"AccessWorkspace",
                                L"AccessDatabase",
                                L"AccessTable",
                                L"InfoPathApplication",
                                L"VisioApplication",
                                L"VisioApplicationSettings",
                                L"VisioWindow",
                                L"VisioPage",
                                L"VisioDocument",
                                L"VisioSelection",
                                L"VisioShape",
                                L"ProjectApplication",
                                L"ProjectWindow",
                                L"ProjectProject",
                                L"ProjectSelection",
                                L"ProjectCell",
                                L"ProjectTask"}) {
        SCOPED_TRACE(std::wstring(name).c_str());
        ComPtr<IDispatch> image;
        EXPECT_NO_THROW(image = LoadButtonImage(name));
        EXPECT_TRUE(image);
        // Resource names are not case-sensitive.
        std::wstring upper = name;
        for (wchar_t& ch : upper) ch = static_cast<wchar_t>(::towupper(ch));
        EXPECT_NO_THROW(image = LoadButtonImage(upper));
    }
}

TEST(ButtonImages, AMissingIconRaisesTheSystemErrorOfLoadImage) {
    try {
        LoadButtonImage(L"NoSuchQuillsparIcon");
        ADD_FAILURE() << "no error";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::System);
        EXPECT_EQ(e.Message().rfind(L"Error in LoadImageA: ", 0), 0u)
            << std::string(e.Message().begin(), e.Message().end());
        EXPECT_TRUE(FAILED(e.Hr()));
    }
}

// ---- the common buttons ----

TEST_F(AddinTest, AboutShowsAModalWindowOverTheHostWindow) {
    for (const char* host : {"Word", "Access"}) {
        SCOPED_TRACE(host);
        THostGraph fake = Host(host);
        auto addin = CreateHostAddin(host, fake.Application());
        int shown = 0;
        SetModalInterceptor([&](TForm& form) {
            ++shown;
            auto* about = dynamic_cast<TAboutForm*>(&form);
            EXPECT_TRUE(about);
            if (!about) return IDCANCEL;
            EXPECT_TRUE(about->Modal());
            EXPECT_EQ(about->WndParent(), hostWindow);
            EXPECT_EQ(::GetWindow(about->Handle(), GW_OWNER), hostWindow);
            EXPECT_EQ(about->Text(), L"About Quillspar");
            EXPECT_EQ(about->ProductLabel->Text(), L"Quillspar");
            EXPECT_EQ(about->VersionLabel->Text().rfind(L"Version 1.0", 0), 0u);
            EXPECT_NE(about->VersionLabel->Text().find(kBitnessName), std::wstring::npos);
            EXPECT_EQ(about->PathLabel->Text().rfind(L"Location: ", 0), 0u);
            EXPECT_NE(about->DisabledLabel->Text().find(std::wstring(host, host + std::strlen(host))),
                      std::wstring::npos);
            EXPECT_NE(about->DescriptionLabel->Text().find(L"object"), std::wstring::npos);
            // The whole paragraph fits its label when wrapped.
            const std::wstring paragraph = about->DescriptionLabel->Text();
            RECT fit{0, 0, about->DescriptionLabel->Width(), 0};
            HDC dc = ::GetDC(about->DescriptionLabel->Handle());
            HGDIOBJ old = ::SelectObject(dc, DefaultFont());
            ::DrawTextW(dc, paragraph.c_str(), static_cast<int>(paragraph.size()), &fit,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            ::SelectObject(dc, old);
            ::ReleaseDC(about->DescriptionLabel->Handle(), dc);
            EXPECT_LE(fit.bottom, about->DescriptionLabel->Height());
            EXPECT_LE(about->btnOK->Top() + about->btnOK->Height(), about->ClientRect().bottom);
            EXPECT_EQ(about->btnOK->Text(), L"OK");
            about->btnOK->Click();
            return about->ModalResult;
        });
        MessageBoxRecorder boxes;
        auto control = TRibbonControlStub::Create(L"quillspar_about");
        addin->OnButtonClick(control.Get());
        SetModalInterceptor(nullptr);
        EXPECT_EQ(shown, 1);
        EXPECT_TRUE(boxes.boxes.empty());
        // The window is gone once the click returns.
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
    }
}

// The About window's facts: the version block the built DLL carries, and the host's list of disabled
// add-ins searched for the DLL's path (UTF-16 inside binary data, at any byte offset, any letter case).
TEST(AboutFacts, TheDllsVersionAndTheHostsDisabledItems) {
    const HMODULE dll = ::LoadLibraryExA(QS_DLL_PATH, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(dll);
    EXPECT_EQ(ModuleVersion(dll), L"1.0.0.0");
    ::FreeLibrary(dll);

    RegistrySandbox sandbox(false);
    const std::wstring path = L"C:\\Tools\\Quillspar\\quillspar.dll";
    UniqueHkey items;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Excel\\Resiliency\\DisabledItems",
                                0, nullptr, 0, KEY_ALL_ACCESS, nullptr, items.Put(), nullptr),
              ERROR_SUCCESS);
    std::wstring upper = path;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    std::string data = "\x01\x00\x00\x00\x07"; // a header of odd length, then the path
    data.append(reinterpret_cast<const char*>(upper.c_str()), (upper.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(::RegSetValueExW(items.Get(), L"5B1D", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    EXPECT_TRUE(HostDisabledTheAddin(L"Excel", path));
    EXPECT_FALSE(HostDisabledTheAddin(L"Word", path));
    EXPECT_FALSE(HostDisabledTheAddin(L"Excel", L"C:\\Other\\quillspar.dll"));
}

TEST_F(AddinTest, TheScriptEditorButtonOpensAScriptEditorEveryClick) {
    // The editor's script objects come from the module's type library, in the built DLL.
    UseTheBuiltModulesTypeLibrary();
    InitializeAddinModule(false);
    for (const HostCase& hc : HostCases()) {
        SCOPED_TRACE(hc.name);
        THostGraph fake = Host(hc.name);
        auto addin = CreateHostAddin(hc.name, fake.Application());
        const size_t before = TParentedForm::ParentedForms().size();
        EXPECT_TRUE(Click(*addin, L"Quillspar_ScriptEditor").empty()); // no browser
        EXPECT_TRUE(Click(*addin, L"Quillspar_ScriptEditor").empty());
        ASSERT_EQ(TParentedForm::ParentedForms().size(), before + 2);
        EXPECT_EQ(TParentedForm::ParentedForms().back()->CaptionW(), L"Script Editor");
        CloseAll();
    }
    FreeComServer();
}

} // namespace
