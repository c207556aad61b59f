// The dispatch browser window: opening and placing windows, loading the object, the property tree
// with lazy expansion, the details panel, the popup menu and the status line. See fDispatchBrowser.h.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "common/qsModule.h"
#include "browser/uBrowserModel.h"
#include "browser/uBrowserText.h"

#include <algorithm>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace qs {

using namespace ui;

namespace {

// The variant a by-reference variant refers to; other values are copied as they are.
Variant Dereferenced(const Variant& v) {
    if (v.Type() == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v.Get())) return Variant(*V_VARIANTREF(&v.Get()));
    return v;
}

} // namespace

// ---- opening windows ----

TValueBrowserClass BrowserClassForValue(const VARIANT& Value) {
    if (V_VT(&Value) != VT_DISPATCH || !V_DISPATCH(&Value)) return nullptr;
    ComPtr<IDispatch> disp;
    try {
        if (FAILED(V_DISPATCH(&Value)->QueryInterface(IID_IDispatch, &disp)) || !disp) return nullptr;
    } catch (...) {
        TraceCaughtException(L"BrowserClassForValue");
        return nullptr;
    }
    return &TDispatchBrowser::CreateInstance;
}

bool CanBrowse(const VARIANT& Value) { return BrowserClassForValue(Value) != nullptr; }

TValueBrowserClass BrowserClassForIID(const GUID& IID) {
    return IsEqualIID(IID, IID_IDispatch) ? &TDispatchBrowser::CreateInstance : nullptr;
}

TValueBrowser* BrowseValue(TValueBrowser* OwnerForm, const VARIANT& Value, HWND WndParent) {
    TValueBrowserClass cls = BrowserClassForValue(Value);
    if (!cls) return nullptr;
    return TValueBrowser::ShowBrowser(cls, OwnerForm, Value, WndParent);
}

TValueBrowser::TValueBrowser(const VARIANT&, HWND AWndParent) : TParentedForm(AWndParent) {
    Position = TPosition::ScreenCenter;
}

TValueBrowser::~TValueBrowser() = default;

TValueBrowser* TValueBrowser::ShowBrowser(TValueBrowserClass cls, TValueBrowser* OwnerForm, const VARIANT& Value,
                                          HWND WndParent) {
    const HWND owner = OwnerForm ? OwnerForm->WndParent() : WndParent;
    TValueBrowser* window = cls(Value, owner);
    window->Show();
    if (!OwnerForm) return window;
    // Cascade from the window that asked; back to the monitor's corner when that leaves the monitor.
    int left = OwnerForm->Left() + 20, top = OwnerForm->Top() + 20;
    const int width = window->Width(), height = window->Height();
    ::SetWindowPos(window->Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HMONITOR monitor = ::MonitorFromWindow(owner, MONITOR_DEFAULTTONULL);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !::GetMonitorInfoW(monitor, &info)) return window;
    const RECT& m = info.rcMonitor;
    if (left + width > m.right || top + height > m.bottom) {
        left = m.left + 20;
        top = m.top + 20;
        ::SetWindowPos(window->Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return window;
}

// ---- construction and layout ----

TValueBrowser* TDispatchBrowser::CreateInstance(const VARIANT& Value, HWND AWndParent) {
    return new TDispatchBrowser(Value, AWndParent);
}

TDispatchBrowser::TDispatchBrowser(const VARIANT& Value, HWND AWndParent) : TValueBrowser(Value, AWndParent) {
    fNodeAsLink = false;
    ComPtr<IUnknown> unknown;
    if (V_VT(&Value) == VT_DISPATCH) {
        FDispatch = V_DISPATCH(&Value);
    } else if (V_VT(&Value) == VT_UNKNOWN) {
        unknown = V_UNKNOWN(&Value);
    } else {
        Variant asObject;
        if (SUCCEEDED(::VariantChangeType(asObject.Put(), const_cast<VARIANT*>(&Value), 0, VT_UNKNOWN)))
            unknown = V_UNKNOWN(&asObject.Get());
    }
    if (!FDispatch && unknown) unknown.As(&FDispatch);
    if (!FDispatch) {
        DestroyHandleTree();
        throw ComError(E_NOINTERFACE, L"Interface not supported");
    }
    BuildLayout();
    OnShow = [this](TForm&) { FormShow(); };
}

TDispatchBrowser::~TDispatchBrowser() {
    // Events that still arrive while the window goes are acknowledged and dropped; then no handler
    // may run on the parts being released: the windows go first.
    FormClosing();
    DestroyHandleTree();
    fNodes.clear();
    FObjects.clear();
    FTypeInfo.reset();
    FDispatch.Reset();
    fEnumVariant.Reset();
    fEnumVariantValues.clear();
    Controller.Reset();
}

void TDispatchBrowser::BuildLayout() {
    SetClientSize(551, 418);
    MinWidth = 470;
    MinHeight = 445;

    fPropertyImages = std::make_unique<TImageList>(16, 16);
    fPropertyImages->AddResourceStrip(L"PROPERTYIMAGES");
    fToolbarImages = std::make_unique<TImageList>(16, 16);
    fToolbarImages->AddResourceStrip(L"TOOLBARIMAGES");

    // Top strip: interface name and GUID, and the QueryInterface command.
    TopPanel = new TPanel(this);
    TopPanel->Name = L"TopPanel";
    TopPanel->SetHeight(32);
    TopPanel->SetAlign(TAlign::Top);
    auto* interfaceLabel = new TLabel(TopPanel, L"Interface:");
    interfaceLabel->SetBounds(6, 9, interfaceLabel->Width(), interfaceLabel->Height());
    InterfaceEdit = new TEdit(TopPanel, TEdit::Options{.readOnly = true});
    InterfaceEdit->Name = L"InterfaceEdit";
    InterfaceEdit->SetBounds(60, 5, 120, 21);
    auto* guidLabel = new TLabel(TopPanel, L"GUID:");
    guidLabel->SetBounds(186, 9, guidLabel->Width(), guidLabel->Height());
    GUIDEdit = new TEdit(TopPanel, TEdit::Options{.readOnly = true});
    GUIDEdit->Name = L"GUIDEdit";
    GUIDEdit->SetBounds(220, 5, 229, 21);
    btnQueryInterface = new TButton(TopPanel, L"QueryInterface");
    btnQueryInterface->Name = L"btnQueryInterface";
    btnQueryInterface->SetBounds(455, 4, 90, 23);
    btnQueryInterface->OnClick = [this](TButton&) {
        try {
            btnQueryInterfaceClick();
        }
        QS_CATCH_TRACE(L"TDispatchBrowser.btnQueryInterfaceClick")
    };
    TopPanel->OnResize = [this](TControl& panel) {
        const int w = panel.ClientRect().right;
        btnQueryInterface->SetBounds(std::max(w - 96, 290), 4, 90, 23);
        GUIDEdit->SetBounds(220, 5, std::max(w - 96 - 6 - 220, 60), 21);
    };

    StatusBar = new TStatusBar(this);
    StatusBar->Name = L"StatusBar";

    PageControl = new TPageControl(this);
    PageControl->Name = L"PageControl";
    tsProperties = new TTabSheet(PageControl, L"Properties");
    tsFunctions = new TTabSheet(PageControl, L"Functions");
    EventsTabSheet = new TTabSheet(PageControl, L"Events");
    tsEnumVatiant = new TTabSheet(PageControl, L"IEnumVariant");
    tsScript = new TTabSheet(PageControl, L"Script");
    PageControl->SetAlign(TAlign::Client);

    // Properties page: the path line at the bottom, the details on the right, the tree in the rest.
    StatusPanel = new TPanel(tsProperties);
    StatusPanel->Name = L"StatusPanel";
    StatusPanel->SetHeight(21);
    StatusPanel->SetAlign(TAlign::Bottom);
    StatusEdit = new TEdit(StatusPanel, TEdit::Options{.readOnly = true});
    StatusEdit->Name = L"StatusEdit";
    StatusEdit->SetBounds(0, 0, 200, 21);
    StatusPanel->OnResize = [this](TControl&) { StatusPanelResize(); };

    RightPanel = new TPanel(tsProperties);
    RightPanel->Name = L"RightPanel";
    RightPanel->SetWidth(279);
    RightPanel->SetAlign(TAlign::Right);
    PropertiesSplitter = new TSplitter(tsProperties, TAlign::Right);
    PropertiesSplitter->MinSize = 150;

    PropertiesFilterEdit = FilterEdit(tsProperties, L"PropertiesFilterEdit", [this] { ApplyPropertiesFilter(); });
    PropertiesTreeView = new TTreeView(tsProperties);
    PropertiesTreeView->Name = L"PropertiesTreeView";
    PropertiesTreeView->SetImages(fPropertyImages.get());
    PropertiesTreeView->SetAlign(TAlign::Client);
    PropertiesTreeView->OnExpanding = [this](TTreeView&, HTREEITEM n, bool& allow) {
        PropertiesTreeViewExpanding(n, allow);
    };
    PropertiesTreeView->OnCollapsing = [this](TTreeView&, HTREEITEM n, bool& allow) {
        PropertiesTreeViewCollapsing(n, allow);
    };
    PropertiesTreeView->OnChange = [this](TTreeView&, HTREEITEM n) { PropertiesTreeViewChange(n); };
    PropertiesTreeView->OnDblClick = [this](TTreeView&) { PropertiesTreeViewDblClick(); };
    PropertiesTreeView->OnContextPopup = [this](TTreeView&, POINT p) { PropertiesTreeViewContextPopup(p); };

    PropertiesToolbar = new TToolBar(RightPanel);
    PropertiesToolbar->Name = L"PropertiesToolbar";
    PropertiesToolbar->SetImages(fToolbarImages.get());
    BrowseButton = PropertiesToolbar->AddButton(L"Browse...", 1, [this] { BrowseButtonClick(); });
    PropertyHelpButton = PropertiesToolbar->AddButton(L"Help", 4, [this] { PropertyHelpButtonClick(); });
    ToolButton7 = PropertiesToolbar->AddButton(L"Refresh", 0, [this] { ToolButton7Click(); });
    // "Edit" exists in the design but the window never changes property values.
    Edit = PropertiesToolbar->AddButton(L"Edit", -1, nullptr);
    PropertiesToolbar->SetButtonEnabled(BrowseButton, false);
    PropertiesToolbar->SetButtonEnabled(PropertyHelpButton, false);
    PropertiesToolbar->SetButtonEnabled(Edit, false);
    PropertiesToolbar->SetButtonVisible(Edit, false);

    Panel5 = new TPanel(RightPanel);
    Panel5->Name = L"Panel5";
    Panel5->SetAlign(TAlign::Client);
    auto row = [this](const wchar_t* caption, int top, TLabel*& label, TEdit*& edit, const wchar_t* name) {
        label = new TLabel(Panel5, caption);
        label->SetBounds(4, top + 3, label->Width(), label->Height());
        edit = new TEdit(Panel5, TEdit::Options{.readOnly = true});
        edit->Name = name;
        edit->SetBounds(48, top, 200, 21);
    };
    row(L"Name:", 4, NameLabel, PropertyNameEdit, L"PropertyNameEdit");
    row(L"Type:", 29, TypeLabel, PropertyTypeEdit, L"PropertyTypeEdit");
    row(L"Dispid:", 54, DispIDLabel, DispIDEdit, L"DispIDEdit");
    row(L"Access:", 79, AccessLabel, AccessEdit, L"AccessEdit");
    ValueLabel = new TLabel(Panel5, L"Value:");
    ValueLabel->SetBounds(4, 106, ValueLabel->Width(), ValueLabel->Height());
    PropertyValueEdit = new TEdit(Panel5, TEdit::Options{.multiLine = true, .readOnly = true, .hScroll = true,
                                                         .vScroll = true, .wordWrap = false});
    PropertyValueEdit->Name = L"PropertyValueEdit";
    PropertyValueEdit->SetBounds(4, 122, 200, 100);
    PropertyValueEdit->OnClick = [this](TEdit&) { PropertyValueEditTempClick(); };
    Panel5->OnResize = [this](TControl&) { Panel5Resize(); };

    PageControl->OnChange = [this](TPageControl&) { PageControlChange(); };

    // The other pages are built the first time they are about to show, or once the window is idle.
    PageControl->OnPageShowing = [this](TTabSheet& page) {
        try {
            BuildPage(&page);
        }
        QS_CATCH_TRACE(L"TDispatchBrowser.BuildPage")
    };
    fPageBuildTimer.OnTimer = [this](TTimer& timer) {
        try {
            // A window closed while a page was built is destroyed when this scope ends.
            const TOwnCode own = EnterOwnCode();
            if (!BuildNextPage() || own.Closed()) timer.Stop();
        } catch (...) {
            timer.Stop();
            TraceCaughtException(L"TDispatchBrowser.PageBuildTimer");
        }
    };
    fEventLogTimer.OnTimer = [this](TTimer& timer) {
        try {
            if (fPendingEventLines.empty() || !EventsMemo) timer.Stop();
            else FlushEventLog();
        }
        QS_CATCH_TRACE(L"TDispatchBrowser.EventLogTimer")
    };

    PropertyPopup.Add(L"Browse in New Window...", [this] { PropertyOpenNewWindowMenuClick(); },
                      L"PropertyOpenNewWindowMenu");
    PropertyPopup.AddSeparator();
    PropertyPopup.Add(L"Expand", [this] { PropertyExpandMenuClick(); }, L"PropertyExpandMenu");
    PropertyPopup.Add(L"Collapse", [this] { PropertyCollapseMenuClick(); }, L"PropertyCollapseMenu");
    PropertyPopup.AddSeparator();
    PropertyPopup.Add(L"Help", [this] { PropertyHelpMenuClick(); }, L"PropertyHelpMenu");
    PropertyPopup.AddSeparator();
    AddCopyPathMenu(PropertyPopup, L"PropertyCopyPathMenu",
                    [this](TCodeLanguage language) { return PathAsCodeOf(FPopupMenuNode, language); });
    PropertyPopup.AddSeparator();
    PropertyPopup.Add(L"Snapshot", [this] { TakeSnapshot(); }, L"PropertySnapshotMenu");
    PropertyPopup.Add(L"Compare", [this] { CompareCommand(); }, L"PropertyCompareMenu");
    PropertyPopup.Add(L"Copy Values", [this] { CopyValuesCommand(); }, L"PropertyCopyValuesMenu");

    // Ctrl+F goes to the filter of the page shown (the Script page's editor has a Find of its own).
    OnShortCut = [this](TForm&, const MSG& msg) {
        if (msg.message != WM_KEYDOWN || msg.wParam != 'F' || ::GetKeyState(VK_CONTROL) >= 0 ||
            ::GetKeyState(VK_MENU) < 0 || ::GetKeyState(VK_SHIFT) < 0)
            return false;
        const TTabSheet* page = PageControl->ActivePage();
        TEdit* filter = page == tsProperties  ? PropertiesFilterEdit
                        : page == tsFunctions ? FunctionsFilterEdit
                        : page == EventsTabSheet ? EventsFilterEdit
                                                 : nullptr;
        if (!filter) return false;
        filter->SetFocus();
        filter->SelectAll();
        return true;
    };
    PageControl->SetActivePage(tsProperties);
    Realign();
    Panel5Resize();
    StatusPanelResize();
}

void TDispatchBrowser::BuildEnumVariantPage() {
    // The items, fetched as the list scrolls, and browsing the selected one.
    tlbEnumVariant = new TToolBar(tsEnumVatiant);
    tlbEnumVariant->Name = L"tlbEnumVariant";
    tlbEnumVariant->SetImages(fToolbarImages.get());
    btnEnumVariantBrowse = tlbEnumVariant->AddButton(L"Browse...", 1, [this] { btnEnumVariantBrowseClick(); });
    tlbEnumVariant->SetButtonEnabled(btnEnumVariantBrowse, false);
    lbEnumVariant = new TListBox(tsEnumVatiant, true);
    lbEnumVariant->Name = L"lbEnumVariant";
    lbEnumVariant->SetAlign(TAlign::Client);
    lbEnumVariant->OnData = [this](TListBox&, int index) { return lbEnumVariantData(index); };
    lbEnumVariant->OnChange = [this](TListBox&) { lbEnumVariantClick(); };
    lbEnumVariant->OnDblClick = [this](TListBox&) { lbEnumVariantDblClick(); };
    EnumVariantPopup.Add(L"Browse...", [this] { btnEnumVariantBrowseClick(); }, L"EnumVariantBrowseMenu");
    AddCopyPathMenu(EnumVariantPopup, L"EnumVariantCopyPathMenu",
                    [this](TCodeLanguage language) { return EnumItemPathAsCode(lbEnumVariant->ItemIndex(), language); });
    lbEnumVariant->OnContextPopup = [this](TListBox& list, POINT screen) {
        if (screen.x == -1 && screen.y == -1) {
            screen = {0, 0};
            ::ClientToScreen(list.Handle(), &screen);
        } else {
            // A right click selects the item under the mouse first.
            POINT client = screen;
            ::ScreenToClient(list.Handle(), &client);
            const LRESULT hit = ::SendMessageW(list.Handle(), LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y));
            if (HIWORD(hit) == 0) list.SetItemIndex(LOWORD(hit));
        }
        const bool item = list.ItemIndex() >= 0;
        EnumVariantPopup.Find(L"EnumVariantBrowseMenu")->enabled =
            item && static_cast<size_t>(list.ItemIndex()) < fEnumVariantValues.size() &&
            CanBrowse(fEnumVariantValues[static_cast<size_t>(list.ItemIndex())]->Value.Get());
        EnumVariantPopup.Find(L"EnumVariantCopyPathMenu")->enabled = item;
        EnumVariantPopup.Popup(m_hwnd, screen);
    };
}

TEdit* TDispatchBrowser::FilterEdit(TControl* page, const wchar_t* name, std::function<void()> apply) {
    auto* edit = new TEdit(page);
    edit->Name = name;
    edit->SetHeight(22);
    edit->SetAlign(TAlign::Top);
    edit->SetCueBanner(L"Filter");
    edit->OnChange = [apply = std::move(apply)](TEdit&) { apply(); };
    // Escape empties a box that holds text (and is left to the dialog otherwise).
    edit->OnKeyDown = [](TEdit& box, WORD& key) {
        if (key != VK_ESCAPE || box.Text().empty()) return;
        key = 0;
        box.SetText(L"");
    };
    return edit;
}

bool TDispatchBrowser::BuildPage(TTabSheet* page) {
    if (!page || fClosing || !Handle()) return false;
    // Naming the Script page's objects asks them for their type libraries, which may close the window.
    const TOwnCode own = EnterOwnCode();
    if (page == tsFunctions && !FunctionsListView) {
        BuildFunctionsPage();
        FunctionsRightPanelResize();
        ApplyFunctionsFilter();
    } else if (page == EventsTabSheet && !EventsListView) {
        BuildEventsPage();
        EventsRightPanelResize();
        EventLogPanelResize();
        ShowEvents();
        FlushEventLog();
    } else if (page == tsEnumVatiant && !lbEnumVariant) {
        BuildEnumVariantPage();
    } else if (page == tsScript && !ScriptFrame) {
        BuildScriptPage();
        AddScriptGlobals();
        if (own.Closed() || fClosing) return true;
    } else {
        return false;
    }
    page->Realign();
    return true;
}

bool TDispatchBrowser::BuildNextPage() {
    for (TTabSheet* page : {tsFunctions, EventsTabSheet, tsEnumVatiant, tsScript})
        if (page->TabVisible() && BuildPage(page)) return true;
    return false;
}

LRESULT TDispatchBrowser::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return TValueBrowser::HandleMessage(msg, wParam, lParam);
}

void TDispatchBrowser::FormClosing() noexcept {
    fClosing = true;
    fEventLogTimer.Stop();
    fPageBuildTimer.Stop();
    if (FTypeInfo && FTypeInfo->Events()) FTypeInfo->Events()->OnInvoke = nullptr;
}

void TDispatchBrowser::Panel5Resize() {
    const RECT rc = Panel5->ClientRect();
    const int width = rc.right - rc.left;
    for (TEdit* e : {PropertyNameEdit, PropertyTypeEdit, DispIDEdit, AccessEdit, PropertyValueEdit})
        e->SetBounds(e->Left(), e->Top(), std::max(width - e->Left() - 4, 10), e->Height());
    PropertyValueEdit->SetBounds(PropertyValueEdit->Left(), PropertyValueEdit->Top(), PropertyValueEdit->Width(),
                                 std::max(static_cast<int>(rc.bottom) - PropertyValueEdit->Top() - 4, 10));
}

void TDispatchBrowser::StatusPanelResize() {
    const RECT rc = StatusPanel->ClientRect();
    StatusEdit->SetBounds(0, 0, rc.right - rc.left, StatusEdit->Height());
    if (StatusPanel->Height() != StatusEdit->Height()) StatusPanel->SetHeight(StatusEdit->Height());
}

// ---- loading ----

void TDispatchBrowser::FormShow() {
    if (fLoaded) return;
    fLoaded = true;
    // A window that cannot load stays open with what it has; nothing reaches the host.
    try {
        LoadObject();
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.FormShow")
}

void TDispatchBrowser::LoadObject() {
    PageControl->SetActivePage(tsProperties);
    FObjects.clear();
    FTypeInfo = std::make_unique<TDispatch>(FDispatch.Get());
    THourglass hourglass;
    SetText(FTypeInfo->Name());
    InterfaceEdit->SetText(FTypeInfo->Name());
    GUIDEdit->SetText(GuidToString(FTypeInfo->Guid()));
    RefreshProperties();
    // Without an event interface there is nothing to list or log: the Events page is hidden.
    FillFunctions();
    FillEvents();
    AddScriptGlobals();
    FPopupMenuNode = nullptr;
    Panel5Resize();
    DetectEnumerator();
    // The pages not shown yet are built one at a time while the window is idle, so that a person who
    // looks at them a moment later finds them ready.
    fPageBuildTimer.Start(kPageBuildDelayMs);
}

void TDispatchBrowser::DetectEnumerator() {
    fLastEnumVariantResult = S_OK;
    fEnumVariant.Reset();
    const Variant e = DispatchInvokeByID(FDispatch.Get(), DISPID_NEWENUM, false);
    if (e.Type() == VT_UNKNOWN && V_UNKNOWN(&e.Get())) V_UNKNOWN(&e.Get())->QueryInterface(IID_IEnumVARIANT, &fEnumVariant);
    tsEnumVatiant->SetTabVisible(fEnumVariant != nullptr);
}

void TDispatchBrowser::ShowTab(TDispatchBrowserTab Tab) {
    TTabSheet* page = nullptr;
    switch (Tab) {
    case TDispatchBrowserTab::bsProperties: page = tsProperties; break;
    case TDispatchBrowserTab::bsFunctions: page = tsFunctions; break;
    case TDispatchBrowserTab::bsEvents: page = EventsTabSheet; break;
    case TDispatchBrowserTab::bsIEnumVariant: page = tsEnumVatiant; break;
    case TDispatchBrowserTab::bsScript: page = tsScript; break;
    }
    PageControl->SetActivePage(page);
    if (Tab == TDispatchBrowserTab::bsIEnumVariant) FetchEnumItems();
}

void TDispatchBrowser::PageControlChange() {
    if (PageControl->ActivePage() == tsEnumVatiant) FetchEnumItems();
}

// ---- the enumerator page ----

void TDispatchBrowser::FetchEnumItems() {
    if (!fEnumVariant || fLastEnumVariantResult != S_OK || fFetching) return;
    fFetching = true;
    try {
        const RECT rc = lbEnumVariant->ClientRect();
        int itemHeight = static_cast<int>(::SendMessageW(lbEnumVariant->Handle(), LB_GETITEMHEIGHT, 0, 0));
        if (itemHeight <= 0) itemHeight = 16;
        const int visible = (rc.bottom - rc.top) / itemHeight + 1;
        const int top = lbEnumVariant->TopIndex();
        bool updating = false;
        while (static_cast<int>(fEnumVariantValues.size()) - top < 2 * visible) {
            if (!updating) {
                updating = true;
                ::SendMessageW(lbEnumVariant->Handle(), WM_SETREDRAW, FALSE, 0);
            }
            Variant item;
            ULONG fetched = 0;
            fLastEnumVariantResult = fEnumVariant->Next(1, item.Put(), &fetched);
            if (fLastEnumVariantResult != S_OK) break;
            // An array item stands for its element at the lower bound.
            item = EnumeratedItemValue(item);
            fEnumVariantValues.push_back(std::make_unique<TEnumVariantItem>(item.Get()));
            lbEnumVariant->SetCount(static_cast<int>(fEnumVariantValues.size()));
        }
        if (updating) {
            ::SendMessageW(lbEnumVariant->Handle(), LB_SETTOPINDEX, top, 0);
            ::SendMessageW(lbEnumVariant->Handle(), WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(lbEnumVariant->Handle(), nullptr, TRUE);
        }
    } catch (...) {
        // Fetching ends for good, as after a failed Next; the items fetched so far stay.
        TraceCaughtException(L"TDispatchBrowser.FetchEnumItems");
        fLastEnumVariantResult = E_UNEXPECTED;
    }
    fFetching = false;
}

std::wstring TDispatchBrowser::lbEnumVariantData(int Index) {
    FetchEnumItems();
    if (Index < 0 || static_cast<size_t>(Index) >= fEnumVariantValues.size()) return {};
    TEnumVariantItem& item = *fEnumVariantValues[static_cast<size_t>(Index)];
    if (item.Initialized) return item.Caption;
    item.Initialized = true;
    item.Caption = EnumItemCaption(item.Value.Get());
    return item.Caption;
}

void TDispatchBrowser::lbEnumVariantClick() {
    tlbEnumVariant->SetButtonEnabled(btnEnumVariantBrowse, lbEnumVariant->ItemIndex() >= 0);
}

void TDispatchBrowser::lbEnumVariantDblClick() { btnEnumVariantBrowseClick(); }

void TDispatchBrowser::btnEnumVariantBrowseClick() {
    const int index = lbEnumVariant->ItemIndex();
    if (index < 0 || static_cast<size_t>(index) >= fEnumVariantValues.size()) return;
    if (TValueBrowser* window = BrowseValue(this, fEnumVariantValues[static_cast<size_t>(index)]->Value.Get(), nullptr)) {
        window->PathRoot = PathRootName();
        window->PathBase = PathBase;
        window->PathBase.push_back(TPathStep{{}, index + 1});
    }
}

// ---- paths as code ----

std::wstring TDispatchBrowser::PathRootName() const {
    if (!PathRoot.empty()) return PathRoot;
    if (HostApplication && Identity(FDispatch.Get()).Get() == Identity(HostApplication.Get()).Get())
        return L"Application";
    const std::wstring name = FTypeInfo ? ScriptObjectName(FTypeInfo->Name()) : std::wstring();
    return name.empty() ? L"obj" : name;
}

std::vector<TPathStep> TDispatchBrowser::PathOf(HTREEITEM Node) const {
    std::vector<TPathStep> steps;
    for (HTREEITEM n = Node; n; n = PropertiesTreeView->ParentOf(n)) {
        const TPropertyNode* record = NodeOf(n);
        if (!record || record->Kind != TPropertyNodeKind::Member || !record->Element) continue;
        steps.push_back(TPathStep{record->Element->Name(), 0});
    }
    std::reverse(steps.begin(), steps.end());
    steps.insert(steps.begin(), PathBase.begin(), PathBase.end());
    return steps;
}

std::wstring TDispatchBrowser::PathAsCodeOf(HTREEITEM Node, TCodeLanguage Language) {
    return PathAsCode(PathRootName(), PathOf(Node), Language);
}

std::wstring TDispatchBrowser::EnumItemPathAsCode(int Index, TCodeLanguage Language) {
    std::vector<TPathStep> steps = PathBase;
    steps.push_back(TPathStep{{}, Index + 1});
    return PathAsCode(PathRootName(), steps, Language);
}

void TDispatchBrowser::AddCopyPathMenu(TPopupMenu& menu, const std::wstring& name,
                                       std::function<std::wstring(TCodeLanguage)> path) {
    const size_t submenu = menu.AddSubmenu(L"Copy Path As", name);
    for (const TCodeLanguageName& language : CodeLanguages()) {
        menu.AddTo(
            submenu, language.Name,
            [this, path, language = language.Language] {
                if (!SetClipboardText(m_hwnd, path(language)))
                    ShowMessageBox(m_hwnd, L"The clipboard is in use by another program.", L"Copy Path As",
                                   MB_ICONWARNING);
            },
            name + L"." + language.Name);
    }
}

// ---- the property tree ----

HTREEITEM TDispatchBrowser::AddNode(HTREEITEM parent, const std::wstring& caption, const TPropertyNode& record,
                                    int image, HTREEITEM after) {
    auto owned = std::make_unique<TPropertyNode>(record);
    TPropertyNode* address = owned.get();
    fNodes.emplace(address, std::move(owned));
    HTREEITEM item = PropertiesTreeView->AddChild(parent, caption, address, image, after);
    if (!item) fNodes.erase(address);
    return item;
}

TPropertyNode* TDispatchBrowser::NodeOf(HTREEITEM node) const {
    if (!node) return nullptr;
    // Only addresses of the window's own records are taken for records.
    const auto it = fNodes.find(static_cast<const TPropertyNode*>(PropertiesTreeView->Data(node)));
    return it == fNodes.end() ? nullptr : it->second.get();
}

void TDispatchBrowser::CollectSubtree(HTREEITEM node, std::vector<HTREEITEM>& out) const {
    for (HTREEITEM child : PropertiesTreeView->ChildrenOf(node)) {
        CollectSubtree(child, out);
        out.push_back(child);
    }
}

void TDispatchBrowser::ReleaseObjectOf(TPropertyNode& record) {
    // The root lists the browsed object's own reflection, which lives as long as the window.
    if (record.Kind != TPropertyNodeKind::Member || !record.Object) return;
    TDispatch* object = std::exchange(record.Object, nullptr);
    FObjects.erase(
        std::remove_if(FObjects.begin(), FObjects.end(), [object](const auto& p) { return p.get() == object; }),
        FObjects.end());
}

void TDispatchBrowser::DeleteNode(HTREEITEM node) {
    std::vector<HTREEITEM> items;
    CollectSubtree(node, items);
    items.push_back(node);
    if (std::find(items.begin(), items.end(), fFilterLevel) != items.end()) fFilterLevel = nullptr;
    std::vector<TPropertyNode*> records;
    for (HTREEITEM item : items)
        if (TPropertyNode* record = NodeOf(item)) records.push_back(record);
    // The items go first, then their records, then the reflections that held their elements: no
    // item is left pointing at a freed record or element, also while the control reports the deletion.
    PropertiesTreeView->Delete(node);
    for (TPropertyNode* record : records) {
        auto it = fNodes.find(record);
        if (it == fNodes.end()) continue;
        std::unique_ptr<TPropertyNode> owned = std::move(it->second);
        fNodes.erase(it);
        ReleaseObjectOf(*owned);
    }
}

void TDispatchBrowser::ClearNodes() {
    fFilterLevel = nullptr;
    PropertiesTreeView->Clear();
    fNodes.clear();
    FObjects.clear();
}

void TDispatchBrowser::RefreshProperties() {
    if (!FTypeInfo) return;
    THourglass hourglass;
    PropertiesTreeView->BeginUpdate();
    try {
        const bool hadSelection = PropertiesTreeView->Selected() != nullptr;
        ClearNodes();
        fMainPropertyNode = AddNode(nullptr, FTypeInfo->Name(), {TPropertyNodeKind::Root, nullptr, FTypeInfo.get()},
                                    ImageIndexForVarType(VT_DISPATCH));
        AddNode(fMainPropertyNode, L"", {TPropertyNodeKind::Placeholder});
        PropertiesTreeView->Expand(fMainPropertyNode);
        if (!hadSelection || !PropertiesTreeView->Selected()) PropertiesTreeView->Select(fMainPropertyNode);
        // A filter typed before stays in force on the new tree's first level.
        if (PropertiesFilterEdit && !PropertiesFilterEdit->Text().empty()) ApplyPropertiesFilter();
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.RefreshProperties")
    PropertiesTreeView->EndUpdate();
}

void TDispatchBrowser::PropertiesTreeViewExpanding(HTREEITEM Node, bool& AllowExpansion) {
    THourglass hourglass;
    AllowExpansion = true;
    try {
        FillNode(Node);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.PropertiesTreeViewExpanding")
}

void TDispatchBrowser::FillNode(HTREEITEM Node) {
    TTreeView& tree = *PropertiesTreeView;
    TPropertyNode* record = NodeOf(Node);
    TDispatch* list = nullptr;
    if (record && record->Kind == TPropertyNodeKind::Root) {
        list = FTypeInfo.get();
    } else if (record && record->Kind == TPropertyNodeKind::Member) {
        // A failure while reading or reflecting leaves the node without children.
        try {
            Variant value;
            if (auto* p = dynamic_cast<TPropertyElement*>(record->Element)) value = p->Value();
            tree.SetImageIndex(Node, ImageIndexForVarType(value.Type()));
            if (value.Type() == VT_DISPATCH && V_DISPATCH(&value.Get())) {
                // A node listed again drops what its earlier listing showed, with the reflection behind it.
                if (record->Object) {
                    for (HTREEITEM child : tree.ChildrenOf(Node)) DeleteNode(child);
                    ReleaseObjectOf(*record);
                }
                FObjects.push_back(std::make_unique<TDispatch>(V_DISPATCH(&value.Get())));
                record->Object = FObjects.back().get();
                list = record->Object;
            }
        }
        QS_CATCH_TRACE(L"TDispatchBrowser.FillNode")
    }
    if (list) {
        tree.SetImageIndex(Node, ImageIndexForVarType(VT_DISPATCH));
        for (TTypeElement* e : PropertyTreeMembers(*list)) AddMemberNode(Node, e);
    }
    // Placeholders go; so do children that repeat an earlier child's member.
    std::vector<const TTypeElement*> seen;
    for (HTREEITEM child : tree.ChildrenOf(Node)) {
        const TPropertyNode* c = NodeOf(child);
        if (!c || c->Kind == TPropertyNodeKind::Placeholder ||
            std::find(seen.begin(), seen.end(), c->Element) != seen.end()) {
            DeleteNode(child);
            continue;
        }
        seen.push_back(c->Element);
    }
}

HTREEITEM TDispatchBrowser::AddMemberNode(HTREEITEM parent, TTypeElement* element, HTREEITEM after) {
    HTREEITEM child = AddNode(parent, element->Name(), {TPropertyNodeKind::Member, element}, -1, after);
    try {
        if (MemberOffersExpansion(*element)) AddNode(child, L"", {TPropertyNodeKind::Placeholder});
        PropertiesTreeView->SetImageIndex(child, MemberImageIndex(*element));
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.AddMemberNode")
    return child;
}

void TDispatchBrowser::ApplyPropertiesFilter() {
    TTreeView& tree = *PropertiesTreeView;
    const std::wstring filter = PropertiesFilterEdit->Text();
    tree.SetHighlight(filter);
    // The level is fixed when the filter starts, so that a selection filtered away does not move it.
    if (!fFilterLevel) {
        const HTREEITEM selected = tree.Selected();
        fFilterLevel = !selected || selected == fMainPropertyNode ? fMainPropertyNode : tree.ParentOf(selected);
    }
    const HTREEITEM level = fFilterLevel;
    if (filter.empty()) fFilterLevel = nullptr;
    const TPropertyNode* record = NodeOf(level);
    const TDispatch* object = !record                                       ? nullptr
                              : record->Kind == TPropertyNodeKind::Root ? FTypeInfo.get()
                                                                        : record->Object;
    if (!object || !tree.Expanded(level)) return;
    const std::vector<TTypeElement*> members = PropertyTreeMembers(*object);
    std::vector<std::wstring> upper;
    upper.reserve(members.size());
    for (const TTypeElement* e : members) upper.push_back(UpperName(e->Name()));
    std::vector<TTypeElement*> wanted;
    for (size_t i : FilterNames(upper, filter)) wanted.push_back(members[i]);
    // Both lists are in the members' order: the nodes kept stay as they are (expanded or not), the
    // others go, and the missing ones are put in their places.
    tree.BeginUpdate();
    try {
        const std::vector<HTREEITEM> children = tree.ChildrenOf(level);
        size_t next = 0;
        HTREEITEM previous = TVI_FIRST;
        for (HTREEITEM child : children) {
            const TPropertyNode* c = NodeOf(child);
            const TTypeElement* element = c ? c->Element : nullptr;
            const auto at = std::find(wanted.begin() + static_cast<std::ptrdiff_t>(next), wanted.end(), element);
            if (!element || at == wanted.end()) {
                DeleteNode(child);
                continue;
            }
            for (; wanted.begin() + static_cast<std::ptrdiff_t>(next) != at; ++next)
                previous = AddMemberNode(level, wanted[next], previous);
            previous = child;
            ++next;
        }
        for (; next < wanted.size(); ++next) previous = AddMemberNode(level, wanted[next], previous);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.ApplyPropertiesFilter")
    tree.EndUpdate();
}

void TDispatchBrowser::ResetNode(HTREEITEM Node) {
    // Depth first, then the reflection the node listed: no node is left pointing at a freed element.
    for (HTREEITEM child : PropertiesTreeView->ChildrenOf(Node)) DeleteNode(child);
    if (TPropertyNode* record = NodeOf(Node)) ReleaseObjectOf(*record);
    AddNode(Node, L"", {TPropertyNodeKind::Placeholder});
}

void TDispatchBrowser::PropertiesTreeViewCollapsing(HTREEITEM Node, bool& AllowCollapse) {
    AllowCollapse = true;
    try {
        ResetNode(Node);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.PropertiesTreeViewCollapsing")
}

void TDispatchBrowser::ClearDetails() {
    AccessEdit->SetText(L"");
    PropertyNameEdit->SetText(L"");
    PropertyTypeEdit->SetText(L"");
    PropertyValueEdit->SetText(L"");
}

void TDispatchBrowser::PropertiesTreeViewChange(HTREEITEM Node) {
    THourglass hourglass;
    ClearDetails();
    Variant value;
    try {
        const TPropertyNode* record = NodeOf(Node);
        const TPropertyNodeKind kind = record ? record->Kind : TPropertyNodeKind::Placeholder;
        if (kind == TPropertyNodeKind::Root) {
            value = PropertyNodeValue(*record, FDispatch.Get());
            PropertyNameEdit->SetText(FTypeInfo->Name());
            PropertyTypeEdit->SetText(VarTypeName(VT_DISPATCH));
            PropertyValueEdit->SetText(VariantToText(value.Get()));
            PropertyValueEdit->SetLinkStyle(false);
            DispIDEdit->SetText(L"");
            DispIDEdit->SetEnabled(false);
        } else if (kind == TPropertyNodeKind::Member) {
            TTypeElement* element = record->Element;
            auto* property = dynamic_cast<TPropertyElement*>(element);
            if (property) value = Dereferenced(property->Value());
            PropertiesTreeView->SetImageIndex(Node, ImageIndexForVarType(value.Type()));
            if (!ValueOffersExpansion(value.Get())) {
                for (HTREEITEM child : PropertiesTreeView->ChildrenOf(Node)) {
                    const TPropertyNode* c = NodeOf(child);
                    if (!c || c->Kind == TPropertyNodeKind::Placeholder) DeleteNode(child);
                }
            }
            PropertyNameEdit->SetText(element->Name());
            std::wstring type = VarTypeName(value.Type());
            if (!element->TypeName().empty()) type += L" (" + element->TypeName() + L")";
            PropertyTypeEdit->SetText(type);
            if (property) {
                const Variant symbolic = property->SymbolicValue();
                PropertyValueEdit->SetText(symbolic.Type() == VT_BSTR ? BstrText(V_BSTR(&symbolic.Get()))
                                                                      : VariantToText(symbolic.Get()));
            } else {
                PropertyValueEdit->SetText(NullsToQuestionMarks(VariantToText(value.Get())));
            }
            const bool objectValue = (value.Type() & VT_TYPEMASK) == VT_DISPATCH && V_DISPATCH(&value.Get());
            PropertyValueEdit->SetLinkStyle(objectValue);
            DispIDEdit->SetEnabled(true);
            DispIDEdit->SetText(DispIdText(element->MemID()));
            StatusBar->SetSimpleText(element->DocString());
            AccessEdit->SetText(AccessText(*element));
        } else {
            PropertyValueEdit->SetLinkStyle(false);
        }
        if (kind != TPropertyNodeKind::Placeholder) StatusEdit->SetText(NodePath(Node));
        PropertiesToolbar->SetButtonEnabled(BrowseButton, CanBrowse(value.Get()));
        DispIDLabel->SetEnabled(DispIDEdit->Enabled());
        const bool hasAccess = !AccessEdit->Text().empty();
        AccessEdit->SetEnabled(hasAccess);
        AccessLabel->SetEnabled(hasAccess);
        PropertiesToolbar->SetButtonEnabled(PropertyHelpButton, kind == TPropertyNodeKind::Member &&
                                                                    dynamic_cast<TPropertyElement*>(record->Element));
    }
    // What was filled stays; nothing is reported.
    QS_CATCH_TRACE(L"TDispatchBrowser.PropertiesTreeViewChange")
}

std::wstring TDispatchBrowser::NodePath(HTREEITEM node) const {
    std::vector<std::wstring> parts;
    for (HTREEITEM n = node; n; n = PropertiesTreeView->ParentOf(n)) parts.push_back(PropertiesTreeView->ItemText(n));
    std::wstring path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!path.empty()) path += L".";
        path += *it;
    }
    return path;
}

Variant TDispatchBrowser::NodeValue(HTREEITEM Node) {
    const TPropertyNode* record = NodeOf(Node);
    return record ? PropertyNodeValue(*record, FDispatch.Get()) : Variant();
}

TValueBrowser* TDispatchBrowser::BrowseNode(HTREEITEM Node) {
    if (!Node) Node = PropertiesTreeView->Selected();
    const Variant value = NodeValue(Node);
    TValueBrowser* window = BrowseValue(this, value.Get(), nullptr);
    if (window && (value.Type() == VT_DISPATCH || value.Type() == VT_UNKNOWN) && V_UNKNOWN(&value.Get()))
        V_UNKNOWN(&value.Get())->QueryInterface(IID_IUnknown, &window->Controller);
    if (window) {
        window->PathRoot = PathRootName();
        window->PathBase = PathOf(Node);
    }
    return window;
}

void TDispatchBrowser::PropertiesTreeViewContextPopup(POINT screen) {
    HTREEITEM node = nullptr;
    if (screen.x != -1 || screen.y != -1) {
        POINT client = screen;
        ::ScreenToClient(PropertiesTreeView->Handle(), &client);
        node = PropertiesTreeView->ItemAt(client);
    }
    if (!node) node = PropertiesTreeView->Selected();
    FPopupMenuNode = node;
    if (screen.x == -1 && screen.y == -1 && node) {
        const RECT rc = PropertiesTreeView->ItemRect(node, true);
        screen = POINT{rc.left, rc.bottom};
        ::ClientToScreen(PropertiesTreeView->Handle(), &screen);
    }
    Variant value;
    try {
        value = NodeValue(node);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.PropertiesTreeViewContextPopup")
    const bool children = node && PropertiesTreeView->HasChildren(node);
    const bool expanded = node && PropertiesTreeView->Expanded(node);
    PropertyPopup.Find(L"PropertyOpenNewWindowMenu")->enabled = CanBrowse(value.Get());
    PropertyPopup.Find(L"PropertyExpandMenu")->enabled = children && !expanded;
    PropertyPopup.Find(L"PropertyCollapseMenu")->enabled = children && expanded;
    PropertyPopup.Find(L"PropertyHelpMenu")->enabled = true;
    PropertyPopup.Find(L"PropertyCopyPathMenu")->enabled = node != nullptr;
    PropertyPopup.Find(L"PropertyCompareMenu")->enabled = HasSnapshot();
    PropertyPopup.Popup(m_hwnd, screen);
}

void TDispatchBrowser::PropertyOpenNewWindowMenuClick() {
    if (FPopupMenuNode) BrowseNode(FPopupMenuNode);
}

void TDispatchBrowser::PropertyExpandMenuClick() {
    if (FPopupMenuNode) PropertiesTreeView->Expand(FPopupMenuNode);
}

void TDispatchBrowser::PropertyCollapseMenuClick() {
    if (FPopupMenuNode) PropertiesTreeView->Collapse(FPopupMenuNode);
}

void TDispatchBrowser::PropertyHelpMenuClick() { ShowPropertyHelp(FPopupMenuNode); }

void TDispatchBrowser::PropertiesTreeViewDblClick() { BrowseNode(nullptr); }

void TDispatchBrowser::BrowseButtonClick() { BrowseNode(nullptr); }

void TDispatchBrowser::PropertyHelpButtonClick() { ShowPropertyHelp(nullptr); }

void TDispatchBrowser::ToolButton7Click() { RefreshProperties(); }

void TDispatchBrowser::PropertyValueEditTempClick() {
    if (PropertyValueEdit->LinkStyle()) BrowseNode(nullptr);
}

void TDispatchBrowser::ShowPropertyHelp(HTREEITEM Node) {
    if (!Node) Node = PropertiesTreeView->Selected();
    const TPropertyNode* record = NodeOf(Node);
    if (!record) return;
    if (record->Kind == TPropertyNodeKind::Root) ShowMemberHelp(FTypeInfo->HelpFile(), FTypeInfo->HelpCtx());
    else if (record->Kind == TPropertyNodeKind::Member)
        ShowMemberHelp(record->Element->HelpFile(), record->Element->HelpCtx());
}

void TDispatchBrowser::ShowMemberHelp(const std::wstring&, int) {
    // Type libraries name help files of formats this tool does not open; nothing is shown.
}

} // namespace qs
