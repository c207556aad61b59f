// The browser window on live objects, driven in-process: what the tree, the details panel, the menu
// and the buttons show, lazy reading, placement, and that closing gives every reference back.
#include "Fixtures.h"
#include "Screenshots.h"
#include "HostWindow.h"
#include "browser/fDispatchBrowser.h"
#include "common/qsError.h"

#include <gtest/gtest.h>

#include <cwctype>

#include <algorithm>
#include <set>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

class BrowserWindow : public ::testing::Test {
protected:
    void SetUp() override { fixture = FixtureDispatch::Create(); }
    void TearDown() override {
        // Close whatever a test left open, then check that every reference came back.
        std::vector<TParentedForm*> open = TParentedForm::ParentedForms();
        for (auto* f : open) f->Free();
        TForm::ProcessMessages();
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
        EXPECT_FALSE(THourglass::Active());
        EXPECT_EQ(fixture->ExtraRefs(), 0u);
        TPopupMenu::Chooser() = nullptr;
    }

    TDispatchBrowser* Open(IDispatch* object, HWND owner = nullptr) {
        const Variant v = Variant::FromDispatch(object);
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), owner));
        TForm::ProcessMessages();
        return w;
    }
    static HTREEITEM Child(TDispatchBrowser* w, HTREEITEM parent, const std::wstring& caption) {
        for (HTREEITEM c : w->PropertiesTreeView->ChildrenOf(parent))
            if (w->PropertiesTreeView->ItemText(c) == caption) return c;
        return nullptr;
    }
    static HTREEITEM Node(TDispatchBrowser* w, const std::wstring& caption) {
        return Child(w, w->MainPropertyNode(), caption);
    }
    static void SelectNode(TDispatchBrowser* w, HTREEITEM n) {
        w->PropertiesTreeView->Select(n);
        TForm::ProcessMessages();
    }
    std::vector<DISPID> CalledIds() const {
        std::vector<DISPID> ids;
        for (const auto& c : fixture->calls) ids.push_back(c.id);
        return ids;
    }

    ComPtr<FixtureDispatch> fixture;
};

TEST_F(BrowserWindow, LoadingShowsTheObjectAndReadsNoValue) {
    TDispatchBrowser* w = Open(fixture.Get());
    ASSERT_TRUE(w);
    EXPECT_TRUE(::IsWindowVisible(w->Handle()));
    EXPECT_EQ(w->Text(), L"DFixture");
    EXPECT_EQ(w->InterfaceEdit->Text(), L"DFixture");
    EXPECT_EQ(w->GUIDEdit->Text(), GuidToString(DIID_DFixture));
    // Only the enumerator was asked for; no property value was read.
    EXPECT_EQ(CalledIds(), std::vector<DISPID>{DISPID_NEWENUM});

    // The pages: no event model and no enumerator here.
    std::vector<std::wstring> tabs;
    for (TTabSheet* p : w->PageControl->VisiblePages()) tabs.push_back(p->Caption());
    EXPECT_EQ(tabs, (std::vector<std::wstring>{L"Properties", L"Functions", L"Script"}));
    EXPECT_EQ(w->PageControl->Pages().size(), 5u);

    // The root, expanded one level: each member once, no property with parameters, sorted.
    TTreeView& tree = *w->PropertiesTreeView;
    EXPECT_EQ(tree.ItemText(w->MainPropertyNode()), L"DFixture");
    std::vector<std::wstring> names;
    for (HTREEITEM c : tree.ChildrenOf(w->MainPropertyNode())) names.push_back(tree.ItemText(c));
    const std::set<std::wstring> expected = {L"_NewEnum", L"Child", L"Color", L"Counter", L"Failing", L"Label",
                                             L"Name", L"Names", L"Nothing", L"Number", L"Ratio", L"Shade",
                                             L"Target", L"Typed", L"Value", L"When", L"WithNuls", L"WriteOnly"};
    EXPECT_EQ(std::set<std::wstring>(names.begin(), names.end()), expected);
    EXPECT_EQ(names.size(), expected.size());
    auto at = [&](const wchar_t* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(at(L"Child"), at(L"Color"));
    EXPECT_LT(at(L"Name"), at(L"Names"));
    EXPECT_LT(at(L"Value"), at(L"WriteOnly"));
}

TEST_F(BrowserWindow, RootSelectionShowsTheObjectItself) {
    TDispatchBrowser* w = Open(fixture.Get());
    SelectNode(w, w->MainPropertyNode());
    EXPECT_EQ(w->PropertyNameEdit->Text(), L"DFixture");
    EXPECT_EQ(w->PropertyTypeEdit->Text(), L"Object");
    EXPECT_EQ(w->PropertyValueEdit->Text(), L"IDispatch");
    EXPECT_EQ(w->DispIDEdit->Text(), L"");
    EXPECT_FALSE(w->DispIDEdit->Enabled());
    EXPECT_FALSE(w->DispIDLabel->Enabled());
    EXPECT_EQ(w->AccessEdit->Text(), L"");
    EXPECT_FALSE(w->AccessLabel->Enabled());
    EXPECT_TRUE(w->PropertiesToolbar->ButtonEnabled(w->BrowseButton));
    EXPECT_FALSE(w->PropertiesToolbar->ButtonEnabled(w->PropertyHelpButton));
    EXPECT_FALSE(w->PropertiesToolbar->ButtonVisible(w->Edit));
    EXPECT_EQ(w->StatusEdit->Text(), L"DFixture");
}

TEST_F(BrowserWindow, SelectingAMemberShowsItsDetails) {
    TDispatchBrowser* w = Open(fixture.Get());
    struct Row {
        const wchar_t* node;
        const wchar_t* type;
        const wchar_t* value;
        const wchar_t* dispid;
        const wchar_t* access;
    };
    const Row rows[] = {
        {L"Name", L"String", L"Fixture", L"1   (0x1)", L"Get/Put"},
        {L"Color", L"Integer (ColorKind)", L"2 (ColorKind.ckGreen)", L"2   (0x2)", L"Get/Put"},
        {L"Value", L"String", L"default of Fixture", L"0   (0x0)", L"Get"},
        {L"WriteOnly", L"Empty", L"null", L"3   (0x3)", L"Put"},
        {L"Target", L"Empty", L"null", L"4   (0x4)", L"PutByRef"},
        {L"Failing", L"Empty", L"null", L"16   (0x10)", L"Get"},
        {L"Counter", L"Integer", L"7", L"40   (0x28)", L""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(r.node)));
        HTREEITEM n = Node(w, r.node);
        ASSERT_TRUE(n);
        SelectNode(w, n);
        EXPECT_EQ(w->PropertyNameEdit->Text(), r.node);
        EXPECT_EQ(w->PropertyTypeEdit->Text(), r.type);
        EXPECT_EQ(w->PropertyValueEdit->Text(), r.value);
        EXPECT_EQ(w->DispIDEdit->Text(), r.dispid);
        EXPECT_TRUE(w->DispIDEdit->Enabled());
        EXPECT_EQ(w->AccessEdit->Text(), r.access);
        EXPECT_EQ(w->AccessLabel->Enabled(), std::wstring(r.access) != L"");
        EXPECT_EQ(w->StatusEdit->Text(), std::wstring(L"DFixture.") + r.node);
        EXPECT_FALSE(w->PropertyValueEdit->LinkStyle());
    }
    SelectNode(w, Node(w, L"_NewEnum"));
    EXPECT_EQ(w->DispIDEdit->Text(), L"-4   (0xFFFFFFFC)");
    SelectNode(w, Node(w, L"Name"));
    EXPECT_EQ(w->StatusBar->SimpleText(), L"The object's name");
    EXPECT_TRUE(w->PropertiesToolbar->ButtonEnabled(w->PropertyHelpButton));
}

TEST_F(BrowserWindow, WriteOnlyPropertyShowsItsDeclaredTypeImage) {
    TDispatchBrowser* w = Open(fixture.Get());
    EXPECT_EQ(w->PropertiesTreeView->ImageIndex(Node(w, L"WriteOnly")), ImageIndexForVarType(VT_I4));
    EXPECT_EQ(w->PropertiesTreeView->ImageIndex(Node(w, L"Name")), ImageIndexForVarType(VT_BSTR));
    EXPECT_EQ(w->PropertiesTreeView->ImageIndex(Node(w, L"Color")), ImageIndexForVarType(VT_I4));
    // Selecting it reads nothing.
    fixture->calls.clear();
    SelectNode(w, Node(w, L"WriteOnly"));
    EXPECT_TRUE(fixture->calls.empty());
}

TEST_F(BrowserWindow, NullObjectLosesItsExpandButtonWhenSelected) {
    TDispatchBrowser* w = Open(fixture.Get());
    HTREEITEM nothing = Node(w, L"Nothing");
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(w->PropertiesTreeView->HasChildren(nothing));
    SelectNode(w, nothing);
    EXPECT_FALSE(w->PropertiesTreeView->HasChildren(nothing));
    EXPECT_FALSE(w->PropertiesToolbar->ButtonEnabled(w->BrowseButton));
    EXPECT_EQ(w->PropertyValueEdit->Text(), L"null");
}

TEST_F(BrowserWindow, ObjectValuedVariantPropertyKeepsItsButtonAndBrowses) {
    auto other = FixtureDispatch::Create();
    other->name = L"Other";
    fixture->child = other;
    {
        TDispatchBrowser* w = Open(fixture.Get());
        HTREEITEM typed = Node(w, L"Typed");
        ASSERT_TRUE(typed);
        SelectNode(w, typed);
        EXPECT_TRUE(w->PropertiesTreeView->HasChildren(typed));
        EXPECT_TRUE(w->PropertyValueEdit->LinkStyle());
        EXPECT_TRUE(w->PropertiesToolbar->ButtonEnabled(w->BrowseButton));
        EXPECT_EQ(w->PropertyTypeEdit->Text(), L"Object (IFixtureDual)");
        w->PropertiesTreeView->Expand(typed);
        EXPECT_TRUE(Child(w, typed, L"Name"));
        // A click on the linked value opens the object in a new window.
        w->PropertyValueEditTempClick();
        TForm::ProcessMessages();
        ASSERT_EQ(TParentedForm::ParentedForms().size(), 2u);
        auto* second = dynamic_cast<TDispatchBrowser*>(TParentedForm::ParentedForms().back());
        ASSERT_TRUE(second);
        EXPECT_TRUE(second->Controller);
    }
    TParentedForm::ParentedForms().back()->Free();
    TParentedForm::ParentedForms().back()->Free();
    fixture->child.Reset();
    EXPECT_EQ(other->ExtraRefs(), 0u);
}

TEST_F(BrowserWindow, ExpansionReadsNowAndCollapseForgets) {
    auto first = FixtureDispatch::Create();
    first->name = L"first";
    fixture->child = first;
    TDispatchBrowser* w = Open(fixture.Get());
    TTreeView& tree = *w->PropertiesTreeView;
    HTREEITEM child = Node(w, L"Child");
    ASSERT_TRUE(child);
    EXPECT_TRUE(first->calls.empty());

    tree.Expand(child);
    EXPECT_EQ(w->NestedReflectionCount(), 1u);
    HTREEITEM name = Child(w, child, L"Name");
    ASSERT_TRUE(name);
    SelectNode(w, name);
    EXPECT_EQ(w->PropertyValueEdit->Text(), L"first");
    EXPECT_EQ(w->StatusEdit->Text(), L"DFixture.Child.Name");

    tree.Collapse(child);
    EXPECT_EQ(w->NestedReflectionCount(), 0u);
    ASSERT_EQ(tree.ChildrenOf(child).size(), 1u); // one placeholder
    ASSERT_TRUE(w->PropertyNodeOf(tree.ChildrenOf(child)[0]));
    EXPECT_EQ(w->PropertyNodeOf(tree.ChildrenOf(child)[0])->Kind, TPropertyNodeKind::Placeholder);

    auto second = FixtureDispatch::Create();
    second->name = L"second";
    fixture->child = second;
    EXPECT_EQ(first->ExtraRefs(), 0u); // the collapsed reflection let go of it
    tree.Expand(child);
    SelectNode(w, Child(w, child, L"Name"));
    EXPECT_EQ(w->PropertyValueEdit->Text(), L"second");

    w->Free();
    fixture->child.Reset();
    EXPECT_EQ(second->ExtraRefs(), 0u);
}

TEST_F(BrowserWindow, RefreshRebuildsTheTreeAndReleasesNestedObjects) {
    fixture->child = FixtureDispatch::Create();
    TDispatchBrowser* w = Open(fixture.Get());
    w->PropertiesTreeView->Expand(Node(w, L"Child"));
    EXPECT_EQ(w->NestedReflectionCount(), 1u);
    w->PropertiesToolbar->Click(w->ToolButton7);
    EXPECT_EQ(w->NestedReflectionCount(), 0u);
    EXPECT_TRUE(Node(w, L"Child"));
    EXPECT_TRUE(w->PropertiesTreeView->Expanded(w->MainPropertyNode()));
    w->Free();
    fixture->child.Reset();
}

TEST_F(BrowserWindow, PopupMenuFollowsTheNode) {
    fixture->child = FixtureDispatch::Create();
    TDispatchBrowser* w = Open(fixture.Get());
    HTREEITEM child = Node(w, L"Child");
    SelectNode(w, child);
    std::vector<bool> enabled;
    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        enabled.clear();
        for (size_t i = 0; i < menu.Count(); ++i) enabled.push_back(menu.At(i).enabled);
        return 2; // "Expand"
    };
    w->PropertiesTreeViewContextPopup(POINT{-1, -1});
    EXPECT_EQ(w->PopupMenuNode(), child);
    // Browse, separator, Expand, Collapse, separator, Help (then Copy Path As).
    enabled.resize(6);
    EXPECT_EQ(enabled, (std::vector<bool>{true, true, true, false, true, true}));
    EXPECT_TRUE(w->PropertiesTreeView->Expanded(child));

    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        enabled.clear();
        for (size_t i = 0; i < menu.Count(); ++i) enabled.push_back(menu.At(i).enabled);
        return 3; // "Collapse"
    };
    w->PropertiesTreeViewContextPopup(POINT{-1, -1});
    enabled.resize(6);
    EXPECT_EQ(enabled, (std::vector<bool>{true, true, false, true, true, true}));
    EXPECT_FALSE(w->PropertiesTreeView->Expanded(child));

    SelectNode(w, Node(w, L"Number"));
    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        enabled.clear();
        for (size_t i = 0; i < menu.Count(); ++i) enabled.push_back(menu.At(i).enabled);
        return 0; // "Browse in New Window..." is disabled for a number: nothing opens
    };
    w->PropertiesTreeViewContextPopup(POINT{-1, -1});
    EXPECT_FALSE(enabled[0]);
    EXPECT_EQ(TParentedForm::ParentedForms().size(), 1u);
    w->Free();
    fixture->child.Reset();
}

// A node's path as code follows the tree, "Copy Path As" puts it on the clipboard, and a window opened
// on a node goes on from that node's path.
TEST_F(BrowserWindow, PathsAsCodeFollowTheTreeAndTheWindowsOpenedFromIt) {
    auto other = FixtureDispatch::Create();
    fixture->child = other;
    TDispatchBrowser* w = Open(fixture.Get());
    const std::wstring root = w->PathAsCodeOf(w->MainPropertyNode(), TCodeLanguage::VBScript);
    ASSERT_FALSE(root.empty());
    HTREEITEM typed = Node(w, L"Typed");
    w->PropertiesTreeView->Expand(typed);
    HTREEITEM name = Child(w, typed, L"Name");
    EXPECT_EQ(w->PathAsCodeOf(name, TCodeLanguage::VBScript), root + L".Typed.Name");
    SelectNode(w, name);
    TPopupMenu::Chooser() = [](TPopupMenu& menu) {
        for (size_t i = 0; i < menu.Count(); ++i)
            if (menu.At(i).name == L"PropertyCopyPathMenu.PowerShell") return static_cast<int>(i);
        return -1;
    };
    w->PropertiesTreeViewContextPopup(POINT{-1, -1});
    std::wstring copied;
    if (::OpenClipboard(nullptr)) {
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            copied = static_cast<const wchar_t*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    std::wstring variable = root;
    variable[0] = static_cast<wchar_t>(std::towlower(variable[0]));
    EXPECT_EQ(copied, L"$" + variable + L".Typed.Name");
    auto* second = dynamic_cast<TDispatchBrowser*>(w->BrowseNode(typed));
    ASSERT_TRUE(second);
    TForm::ProcessMessages();
    EXPECT_EQ(second->PathAsCodeOf(Node(second, L"Name"), TCodeLanguage::CSharp), variable + L".Typed.Name");
    second->Free();
    w->Free();
    TForm::ProcessMessages();
    fixture->child.Reset();
    EXPECT_EQ(other->ExtraRefs(), 0u);
}

// The filter thins the selected node's level to the members whose names contain its text; a node it
// keeps stays as it was (expanded, with its children), and clearing it brings every member back in order.
TEST_F(BrowserWindow, TheTreeFilterThinsTheCurrentLevelAndKeepsWhatItKeeps) {
    fixture->child = FixtureDispatch::Create();
    TDispatchBrowser* w = Open(fixture.Get());
    auto captions = [&](HTREEITEM parent) {
        std::vector<std::wstring> names;
        for (HTREEITEM c : w->PropertiesTreeView->ChildrenOf(parent)) names.push_back(w->PropertiesTreeView->ItemText(c));
        return names;
    };
    const std::vector<std::wstring> all = captions(w->MainPropertyNode());
    HTREEITEM typed = Node(w, L"Typed");
    w->PropertiesTreeView->Expand(typed);
    SelectNode(w, typed);
    w->PropertiesFilterEdit->SetText(L"YP");
    TForm::ProcessMessages();
    EXPECT_EQ(captions(w->MainPropertyNode()), std::vector<std::wstring>{L"Typed"});
    EXPECT_EQ(Node(w, L"Typed"), typed);
    EXPECT_TRUE(w->PropertiesTreeView->Expanded(typed));
    EXPECT_TRUE(Child(w, typed, L"Name"));
    w->PropertiesFilterEdit->SetText(L"");
    TForm::ProcessMessages();
    EXPECT_EQ(captions(w->MainPropertyNode()), all);
    EXPECT_TRUE(w->PropertiesTreeView->Expanded(typed));
    // Ctrl+F anywhere in the window goes to the shown page's filter.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    MSG ctrlF{w->PropertiesTreeView->Handle(), WM_KEYDOWN, 'F', 0, 0, {}};
    EXPECT_TRUE(w->PreTranslateMessage(ctrlF));
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(::GetFocus(), w->PropertiesFilterEdit->Handle());
    w->Free();
    TForm::ProcessMessages();
    fixture->child.Reset();
}

// A snapshot of the values shown; after the object changed, Compare marks and lists what differs, and
// the values as text show the tree as it is.
TEST_F(BrowserWindow, CompareMarksAndListsWhatChangedSinceTheSnapshot) {
    TDispatchBrowser* w = Open(fixture.Get());
    const std::wstring root = w->PropertiesTreeView->ItemText(w->MainPropertyNode());
    w->TakeSnapshot();
    EXPECT_TRUE(w->CompareWithSnapshot().empty());
    fixture->number = 43;
    const std::vector<TDispatchBrowser::TValueDifference> expected = {{root + L".Number", L"42", L"43"}};
    EXPECT_EQ(w->CompareWithSnapshot(), expected);
    EXPECT_TRUE(w->PropertiesTreeView->Bold(Node(w, L"Number")));
    EXPECT_FALSE(w->PropertiesTreeView->Bold(Node(w, L"Name")));
    const std::wstring text = w->ValuesText();
    EXPECT_EQ(text.rfind(root, 0), 0u);
    EXPECT_NE(text.find(L"\r\n  Number = 43\r\n"), std::wstring::npos) << text;
    // A picture for people: a filter typed and the changed value marked.
    SelectNode(w, Node(w, L"Number"));
    w->PropertiesFilterEdit->SetText(L"um");
    w->SetBounds(40, 40, 640, 420);
    ::SetWindowPos(w->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::UpdateWindow(w->Handle());
    TForm::ProcessMessages();
    ::Sleep(200);
    TForm::ProcessMessages();
    EXPECT_TRUE(SaveWindowPng(w->Handle(), L"browser-filter-compare.png"));
    // What the filter matched is marked in the captions it keeps.
    RECT tree{};
    ::GetWindowRect(w->PropertiesTreeView->Handle(), &tree);
    HDC screen = ::GetDC(nullptr);
    const auto bgra = Pixels(screen, tree.left, tree.top, tree.right - tree.left, tree.bottom - tree.top);
    ::ReleaseDC(nullptr, screen);
    size_t marked = 0;
    for (size_t i = 0; i + 2 < bgra.size(); i += 4)
        marked += RGB(bgra[i + 2], bgra[i + 1], bgra[i]) == kMatchHighlightColor;
    EXPECT_GT(marked, 20u);
    w->Free();
}

TEST_F(BrowserWindow, BrowseValueOpensOnlyOnDispatchObjects) {
    EXPECT_EQ(BrowseValue(nullptr, Variant().Get(), nullptr), nullptr);
    EXPECT_EQ(BrowseValue(nullptr, Variant::FromI4(5).Get(), nullptr), nullptr);
    EXPECT_EQ(BrowseValue(nullptr, Variant::FromDispatch(nullptr).Get(), nullptr), nullptr);
    fixture->answersDispatch = false;
    EXPECT_EQ(BrowseValue(nullptr, Variant::FromDispatch(fixture.Get()).Get(), nullptr), nullptr);
    fixture->answersDispatch = true;
    EXPECT_FALSE(CanBrowse(Variant::FromString(L"x").Get()));
    EXPECT_TRUE(CanBrowse(Variant::FromDispatch(fixture.Get()).Get()));
    EXPECT_TRUE(BrowserClassForIID(IID_IDispatch));
    EXPECT_FALSE(BrowserClassForIID(IID_IUnknown));
    EXPECT_THROW(TDispatchBrowser(Variant::FromI4(1).Get(), nullptr), ComError);
    EXPECT_TRUE(TParentedForm::ParentedForms().empty());
}

TEST_F(BrowserWindow, WindowsCascadeAndStayOnTheOwnersMonitor) {
    HostWindow host;
    TDispatchBrowser* first = Open(fixture.Get(), host.hwnd);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->WndParent(), host.hwnd);
    EXPECT_EQ(::GetWindow(first->Handle(), GW_OWNER), host.hwnd);
    ::SetWindowPos(first->Handle(), nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SelectNode(first, first->MainPropertyNode());
    first->BrowseButtonClick(); // the root: a second window on the same object
    ASSERT_EQ(TParentedForm::ParentedForms().size(), 2u);
    auto* second = TParentedForm::ParentedForms().back();
    EXPECT_EQ(second->Left(), 120);
    EXPECT_EQ(second->Top(), 100);
    EXPECT_EQ(second->WndParent(), host.hwnd);

    // Near the monitor's bottom-right corner the next window goes to the monitor's corner + 20.
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(host.hwnd, MONITOR_DEFAULTTONEAREST), &info);
    ::SetWindowPos(first->Handle(), nullptr, info.rcMonitor.right - first->Width() + 10,
                   info.rcMonitor.bottom - first->Height(), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    first->BrowseButtonClick();
    auto* third = TParentedForm::ParentedForms().back();
    EXPECT_EQ(third->Left(), info.rcMonitor.left + 20);
    EXPECT_EQ(third->Top(), info.rcMonitor.top + 20);
}

TEST_F(BrowserWindow, DestroyingTheHostWindowDestroysItsWindowsACancelledCloseDoesNot) {
    {
        HostWindow host(true); // the host refuses to close (the user's Cancel to "save changes?")...
        Open(fixture.Get(), host.hwnd);
        Open(fixture.Get(), host.hwnd);
        HostWindow other;
        Open(fixture.Get(), other.hwnd);
        EXPECT_EQ(TParentedForm::ParentedForms().size(), 3u);
        ::SendMessageW(host.hwnd, WM_CLOSE, 0, 0);
        // ...and its browser windows stay with it.
        EXPECT_TRUE(::IsWindow(host.hwnd));
        EXPECT_EQ(TParentedForm::ParentedForms().size(), 3u);
        // Destroyed, it takes its own windows along; the other host's window stays.
        ::DestroyWindow(host.hwnd);
        EXPECT_EQ(TParentedForm::ParentedForms().size(), 1u);
        ::DestroyWindow(other.hwnd);
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
    }
    EXPECT_EQ(fixture->ExtraRefs(), 0u);
}

TEST_F(BrowserWindow, ClosingAWindowReleasesEverything) {
    fixture->child = FixtureDispatch::Create();
    TDispatchBrowser* w = Open(fixture.Get());
    w->PropertiesTreeView->Expand(Node(w, L"Child"));
    ::SendMessageW(w->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(w->Handle())); // hidden at once, released after queued messages
    TForm::ProcessMessages();
    EXPECT_TRUE(TParentedForm::ParentedForms().empty());
    fixture->child.Reset();
    EXPECT_EQ(fixture->ExtraRefs(), 0u);
}

TEST_F(BrowserWindow, EnumeratorIsReadOnlyAsFarAsTheListShows) {
    fixture->enumCount = 10000;
    TDispatchBrowser* w = Open(fixture.Get());
    ASSERT_TRUE(w->HasEnumerator());
    EXPECT_TRUE(w->tsEnumVatiant->TabVisible());
    EXPECT_EQ(w->EnumItemCount(), 0u);
    w->ShowTab(TDispatchBrowserTab::bsIEnumVariant);
    TForm::ProcessMessages();
    EXPECT_EQ(w->PageControl->ActivePage(), w->tsEnumVatiant);
    const size_t fetched = w->EnumItemCount();
    EXPECT_GT(fetched, 10u);
    EXPECT_LT(fetched, 200u); // two screens, not ten thousand
    EXPECT_EQ(fixture->enumNextCalls, fetched);
    EXPECT_EQ(w->lbEnumVariantData(0), L"0");
    EXPECT_EQ(w->lbEnumVariantData(5), L"5");
    EXPECT_FALSE(w->tlbEnumVariant->ButtonEnabled(w->btnEnumVariantBrowse));
}

// ---- a real object ----

TEST(BrowserOnRealObjects, FileSystemObjectDrivesLeadToADrive) {
    CLSID clsid{};
    ComPtr<IDispatch> fso;
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid));
    ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &fso));
    auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, Variant::FromDispatch(fso.Get()).Get(), nullptr));
    ASSERT_TRUE(w);
    TTreeView& tree = *w->PropertiesTreeView;
    HTREEITEM drives = nullptr;
    for (HTREEITEM c : tree.ChildrenOf(w->MainPropertyNode()))
        if (tree.ItemText(c) == L"Drives") drives = c;
    ASSERT_TRUE(drives);
    tree.Expand(drives);
    bool hasCount = false;
    for (HTREEITEM c : tree.ChildrenOf(drives)) hasCount |= tree.ItemText(c) == L"Count";
    EXPECT_TRUE(hasCount);
    tree.Select(drives);
    TForm::ProcessMessages();
    EXPECT_EQ(w->PropertyTypeEdit->Text(), L"Object (IDriveCollection)");

    auto* collection = dynamic_cast<TDispatchBrowser*>(w->BrowseNode(drives));
    ASSERT_TRUE(collection);
    TForm::ProcessMessages();
    EXPECT_EQ(collection->Text(), L"IDriveCollection");
    ASSERT_TRUE(collection->HasEnumerator());
    collection->ShowTab(TDispatchBrowserTab::bsIEnumVariant);
    ASSERT_GE(collection->EnumItemCount(), 1u);
    EXPECT_FALSE(collection->lbEnumVariantData(0).empty());
    collection->lbEnumVariant->SetItemIndex(0);
    collection->lbEnumVariantClick();
    EXPECT_TRUE(collection->tlbEnumVariant->ButtonEnabled(collection->btnEnumVariantBrowse));
    collection->btnEnumVariantBrowseClick();
    TForm::ProcessMessages();
    auto* drive = dynamic_cast<TDispatchBrowser*>(TParentedForm::ParentedForms().back());
    ASSERT_TRUE(drive && drive != collection);
    EXPECT_EQ(drive->Text(), L"IDrive");
    std::vector<TParentedForm*> open = TParentedForm::ParentedForms();
    for (auto* f : open) f->Free();
}

} // namespace
