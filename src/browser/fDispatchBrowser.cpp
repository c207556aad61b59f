// The dispatch browser window: opening and placing windows, loading the object, the property tree
// with lazy expansion, the details panel, the popup menu and the status line. See fDispatchBrowser.h.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "browser/uBrowserText.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace qs {

using namespace ui;

namespace {

constexpr int kImageNumber = 0, kImageText = 1, kImageObject = 2, kImageDate = 3, kImageBoolean = 4,
              kImageCurrency = 5, kImageNone = 6;

// The variant a by-reference variant refers to; other values are copied as they are.
Variant Dereferenced(const Variant& v) {
    if (v.Type() == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v.Get())) return Variant(*V_VARIANTREF(&v.Get()));
    return v;
}

} // namespace

int ImageIndexForVarType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_ERROR: return kImageNone;
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_UI1: case VT_INT: return kImageNumber;
    case VT_CY: return kImageCurrency;
    case VT_DATE: return kImageDate;
    case VT_BSTR: case VT_CLSID: case 256: return kImageText;
    case VT_BOOL: return kImageBoolean;
    default: return kImageObject;
    }
}

// ---- opening windows ----

TValueBrowserClass BrowserClassForValue(const VARIANT& Value) {
    if (V_VT(&Value) != VT_DISPATCH || !V_DISPATCH(&Value)) return nullptr;
    ComPtr<IDispatch> disp;
    try {
        if (FAILED(V_DISPATCH(&Value)->QueryInterface(IID_IDispatch, &disp)) || !disp) return nullptr;
    } catch (...) {
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
    // No handler may run on the parts being released: the windows go first.
    DestroyHandleTree();
    fObjectOfNode.clear();
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

    // Enumerator page: the items, fetched as the list scrolls, and browsing the selected one.
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
    PageControl->OnChange = [this](TPageControl&) { PageControlChange(); };

    PropertyPopup.Add(L"Browse in New Window...", [this] { PropertyOpenNewWindowMenuClick(); },
                      L"PropertyOpenNewWindowMenu");
    PropertyPopup.AddSeparator();
    PropertyPopup.Add(L"Expand", [this] { PropertyExpandMenuClick(); }, L"PropertyExpandMenu");
    PropertyPopup.Add(L"Collapse", [this] { PropertyCollapseMenuClick(); }, L"PropertyCollapseMenu");
    PropertyPopup.AddSeparator();
    PropertyPopup.Add(L"Help", [this] { PropertyHelpMenuClick(); }, L"PropertyHelpMenu");

    PageControl->SetActivePage(tsProperties);
    Realign();
    Panel5Resize();
    StatusPanelResize();
}

LRESULT TDispatchBrowser::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return TValueBrowser::HandleMessage(msg, wParam, lParam);
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
    try {
        LoadObject();
    } catch (...) {
        // A window that cannot load stays open with what it has; nothing reaches the host.
    }
}

void TDispatchBrowser::LoadObject() {
    PageControl->SetActivePage(tsProperties);
    FObjects.clear();
    FTypeInfo = std::make_unique<TDispatch>(FDispatch.Get());
    // The event model's handler is connected here once events are listed (TEvents).
    THourglass hourglass;
    SetText(FTypeInfo->Name());
    InterfaceEdit->SetText(FTypeInfo->Name());
    GUIDEdit->SetText(GuidToString(FTypeInfo->Guid()));
    RefreshProperties();
    // Without an event model there is nothing to list or log: the Events page is hidden.
    EventsTabSheet->SetTabVisible(FTypeInfo->Events() != nullptr);
    FPopupMenuNode = nullptr;
    Panel5Resize();
    DetectEnumerator();
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

std::wstring VariantTypeCaption(VARTYPE vt) {
    static const wchar_t* const names[] = {L"Empty",   L"Null",     L"Smallint", L"Integer", L"Single",  L"Double",
                                           L"Currency", L"Date",    L"OleStr",   L"Dispatch", L"Error",  L"Boolean",
                                           L"Variant", L"Unknown",  L"Decimal",  L"0x0F",    L"ShortInt", L"Byte",
                                           L"Word",    L"LongWord", L"Int64",    L"UInt64"};
    const VARTYPE base = vt & 0xFFF;
    std::wstring name;
    if (base < std::size(names)) name = names[base];
    else if (base == 256) name = L"String";
    else if (base == 257) name = L"Any";
    else if (base == 258) name = L"UnicodeString";
    else name = L"$" + HexDigits(base, 4); // no custom variant types are registered here
    if (vt & VT_ARRAY) name = L"Array " + name;
    if (vt & VT_BYREF) name = L"ByRef " + name;
    return name;
}

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
            if ((item.Type() & VT_ARRAY) && !(item.Type() & VT_BYREF) && V_ARRAY(&item.Get())) {
                // An array item stands for its first element.
                SAFEARRAY* sa = V_ARRAY(&item.Get());
                LONG lower = 0;
                Variant first;
                VARTYPE vt = VT_EMPTY;
                if (SUCCEEDED(::SafeArrayGetLBound(sa, 1, &lower)) && SUCCEEDED(::SafeArrayGetVartype(sa, &vt)) &&
                    vt == VT_VARIANT && SUCCEEDED(::SafeArrayGetElement(sa, &lower, first.Put())))
                    item = std::move(first);
            }
            fEnumVariantValues.push_back(std::make_unique<TEnumVariantItem>(item.Get()));
            lbEnumVariant->SetCount(static_cast<int>(fEnumVariantValues.size()));
        }
        if (updating) {
            ::SendMessageW(lbEnumVariant->Handle(), LB_SETTOPINDEX, top, 0);
            ::SendMessageW(lbEnumVariant->Handle(), WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(lbEnumVariant->Handle(), nullptr, TRUE);
        }
    } catch (...) {
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
    Variant value = item.Value;
    if (value.Type() == VT_DISPATCH && V_DISPATCH(&value.Get())) {
        IDispatch* object = V_DISPATCH(&value.Get());
        Variant named = DispatchInvokeByName(object, L"Name", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByName(object, L"Caption", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByName(object, L"Subject", false);
        if (named.Type() != VT_BSTR) named = DispatchInvokeByID(object, DISPID_VALUE, false);
        value = std::move(named);
    }
    Variant text;
    if (SUCCEEDED(::VariantChangeTypeEx(text.Put(), &value.Get(), LOCALE_USER_DEFAULT, 0, VT_BSTR))) {
        item.Caption = BstrText(V_BSTR(&text.Get()));
        if (item.Caption.empty()) item.Caption = L"\"\"";
    } else {
        item.Caption = L"<" + VariantTypeCaption(value.Type()) + L">";
    }
    return item.Caption;
}

void TDispatchBrowser::lbEnumVariantClick() {
    tlbEnumVariant->SetButtonEnabled(btnEnumVariantBrowse, lbEnumVariant->ItemIndex() >= 0);
}

void TDispatchBrowser::lbEnumVariantDblClick() { btnEnumVariantBrowseClick(); }

void TDispatchBrowser::btnEnumVariantBrowseClick() {
    const int index = lbEnumVariant->ItemIndex();
    if (index < 0 || static_cast<size_t>(index) >= fEnumVariantValues.size()) return;
    BrowseValue(this, fEnumVariantValues[static_cast<size_t>(index)]->Value.Get(), nullptr);
}

// ---- the property tree ----

void TDispatchBrowser::RefreshProperties() {
    if (!FTypeInfo) return;
    THourglass hourglass;
    PropertiesTreeView->BeginUpdate();
    try {
        const bool hadSelection = PropertiesTreeView->Selected() != nullptr;
        PropertiesTreeView->Clear();
        fObjectOfNode.clear();
        FObjects.clear();
        fMainPropertyNode =
            PropertiesTreeView->AddChild(nullptr, FTypeInfo->Name(), FTypeInfo.get(), ImageIndexForVarType(VT_DISPATCH));
        PropertiesTreeView->AddChild(fMainPropertyNode, L"", nullptr);
        PropertiesTreeView->Expand(fMainPropertyNode);
        if (!hadSelection || !PropertiesTreeView->Selected()) PropertiesTreeView->Select(fMainPropertyNode);
    } catch (...) {
    }
    PropertiesTreeView->EndUpdate();
}

void TDispatchBrowser::PropertiesTreeViewExpanding(HTREEITEM Node, bool& AllowExpansion) {
    THourglass hourglass;
    AllowExpansion = true;
    try {
        FillNode(Node);
    } catch (...) {
    }
}

void TDispatchBrowser::FillNode(HTREEITEM Node) {
    TTreeView& tree = *PropertiesTreeView;
    std::vector<int> shown;
    TDispatch* list = nullptr;
    if (void* data = tree.Data(Node)) {
        if (IsRootData(data)) {
            list = FTypeInfo.get();
        } else {
            try {
                auto* element = static_cast<TTypeElement*>(data);
                Variant value;
                if (auto* p = dynamic_cast<TPropertyElement*>(element)) value = p->Value();
                tree.SetImageIndex(Node, ImageIndexForVarType(value.Type()));
                if (value.Type() == VT_DISPATCH && V_DISPATCH(&value.Get())) {
                    // A node expanded again keeps no reflection of its earlier expansion.
                    ReleaseObjectsOf({Node});
                    FObjects.push_back(std::make_unique<TDispatch>(V_DISPATCH(&value.Get())));
                    list = FObjects.back().get();
                    fObjectOfNode[Node] = list;
                }
            } catch (...) {
                list = nullptr;
            }
        }
    }
    if (list) {
        tree.SetImageIndex(Node, ImageIndexForVarType(VT_DISPATCH));
        const auto& props = list->Properties();
        for (size_t i = 0; i < props.size(); ++i) {
            TTypeElement* e = props[i].get();
            if (std::find(shown.begin(), shown.end(), e->MemID()) != shown.end()) continue;
            if (auto* f = dynamic_cast<TFunctionElement*>(e); f && !f->Params().empty()) continue;
            if (e->InvokeKind() == INVOKE_PROPERTYPUT || e->InvokeKind() == INVOKE_PROPERTYPUTREF) {
                // The getter, when one follows, stands for the member.
                bool getterFollows = false;
                for (size_t j = i + 1; j < props.size() && !getterFollows; ++j)
                    getterFollows = props[j]->InvokeKind() == INVOKE_PROPERTYGET && props[j]->MemID() == e->MemID();
                if (getterFollows) continue;
            }
            HTREEITEM child = tree.AddChild(Node, e->Name(), e);
            shown.push_back(e->MemID());
            try {
                auto* p = dynamic_cast<TPropertyElement*>(e);
                if (p && (p->ElemType() == VT_DISPATCH || p->ElemType() == VT_VARIANT) && p->EnumValues().empty())
                    tree.AddChild(child, L"", nullptr);
                tree.SetImageIndex(child, p && !p->EnumValues().empty() ? ImageIndexForVarType(VT_I4)
                                                                        : ImageIndexForVarType(e->ElemType()));
            } catch (...) {
            }
        }
        tree.SortChildren(Node);
    }
    // Placeholders go; so do children that repeat an earlier child's data.
    std::vector<void*> seen;
    for (HTREEITEM child : tree.ChildrenOf(Node)) {
        void* data = tree.Data(child);
        if (!data || std::find(seen.begin(), seen.end(), data) != seen.end()) {
            tree.Delete(child);
            continue;
        }
        seen.push_back(data);
    }
}

void TDispatchBrowser::CollectSubtree(HTREEITEM node, std::vector<HTREEITEM>& out) const {
    for (HTREEITEM child : PropertiesTreeView->ChildrenOf(node)) {
        CollectSubtree(child, out);
        out.push_back(child);
    }
}

void TDispatchBrowser::ReleaseObjectsOf(const std::vector<HTREEITEM>& nodes) {
    for (HTREEITEM n : nodes) {
        auto it = fObjectOfNode.find(n);
        if (it == fObjectOfNode.end()) continue;
        TDispatch* reflection = it->second;
        fObjectOfNode.erase(it);
        FObjects.erase(std::remove_if(FObjects.begin(), FObjects.end(),
                                      [reflection](const auto& p) { return p.get() == reflection; }),
                       FObjects.end());
    }
}

void TDispatchBrowser::ResetNode(HTREEITEM Node) {
    std::vector<HTREEITEM> descendants;
    CollectSubtree(Node, descendants);
    // Depth first, then the reflections that listed them: no node is left pointing at a freed element.
    for (HTREEITEM d : descendants) PropertiesTreeView->Delete(d);
    descendants.push_back(Node);
    ReleaseObjectsOf(descendants);
    PropertiesTreeView->AddChild(Node, L"", nullptr);
}

void TDispatchBrowser::PropertiesTreeViewCollapsing(HTREEITEM Node, bool& AllowCollapse) {
    AllowCollapse = true;
    try {
        ResetNode(Node);
    } catch (...) {
    }
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
        void* data = PropertiesTreeView->Data(Node);
        if (IsRootData(data)) {
            value = Variant::FromDispatch(FDispatch.Get());
            PropertyNameEdit->SetText(FTypeInfo->Name());
            PropertyTypeEdit->SetText(VarTypeName(VT_DISPATCH));
            PropertyValueEdit->SetText(VariantToText(value.Get()));
            PropertyValueEdit->SetLinkStyle(false);
            DispIDEdit->SetText(L"");
            DispIDEdit->SetEnabled(false);
        } else if (data) {
            auto* element = static_cast<TTypeElement*>(data);
            auto* property = dynamic_cast<TPropertyElement*>(element);
            if (property) value = Dereferenced(property->Value());
            PropertiesTreeView->SetImageIndex(Node, ImageIndexForVarType(value.Type()));
            const VARTYPE t = value.Type() & 0xFFF;
            const bool nullObject = t == VT_DISPATCH && !V_DISPATCH(&value.Get());
            if (nullObject || (t != VT_DISPATCH && t != VT_VARIANT)) {
                for (HTREEITEM child : PropertiesTreeView->ChildrenOf(Node))
                    if (!PropertiesTreeView->Data(child)) PropertiesTreeView->Delete(child);
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
            PropertyValueEdit->SetLinkStyle(t == VT_DISPATCH && !nullObject);
            DispIDEdit->SetEnabled(true);
            DispIDEdit->SetText(DispIdText(element->MemID()));
            StatusBar->SetSimpleText(element->DocString());
            AccessEdit->SetText(AccessText(*element));
        } else {
            PropertyValueEdit->SetLinkStyle(false);
        }
        if (data) StatusEdit->SetText(NodePath(Node));
        PropertiesToolbar->SetButtonEnabled(BrowseButton, CanBrowse(value.Get()));
        DispIDLabel->SetEnabled(DispIDEdit->Enabled());
        const bool hasAccess = !AccessEdit->Text().empty();
        AccessEdit->SetEnabled(hasAccess);
        AccessLabel->SetEnabled(hasAccess);
        PropertiesToolbar->SetButtonEnabled(
            PropertyHelpButton, data && !IsRootData(data) && dynamic_cast<TPropertyElement*>(static_cast<TTypeElement*>(data)));
    } catch (...) {
        // What was filled stays; nothing is reported.
    }
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
    if (!Node) return Variant();
    void* data = PropertiesTreeView->Data(Node);
    if (!data) return Variant();
    if (IsRootData(data)) return Variant::FromDispatch(FDispatch.Get());
    if (auto* p = dynamic_cast<TPropertyElement*>(static_cast<TTypeElement*>(data))) return p->Value();
    return Variant();
}

TValueBrowser* TDispatchBrowser::BrowseNode(HTREEITEM Node) {
    if (!Node) Node = PropertiesTreeView->Selected();
    const Variant value = NodeValue(Node);
    TValueBrowser* window = BrowseValue(this, value.Get(), nullptr);
    if (window && (value.Type() == VT_DISPATCH || value.Type() == VT_UNKNOWN) && V_UNKNOWN(&value.Get()))
        V_UNKNOWN(&value.Get())->QueryInterface(IID_IUnknown, &window->Controller);
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
    } catch (...) {
    }
    const bool children = node && PropertiesTreeView->HasChildren(node);
    const bool expanded = node && PropertiesTreeView->Expanded(node);
    PropertyPopup.Find(L"PropertyOpenNewWindowMenu")->enabled = CanBrowse(value.Get());
    PropertyPopup.Find(L"PropertyExpandMenu")->enabled = children && !expanded;
    PropertyPopup.Find(L"PropertyCollapseMenu")->enabled = children && expanded;
    PropertyPopup.Find(L"PropertyHelpMenu")->enabled = true;
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
    void* data = Node ? PropertiesTreeView->Data(Node) : nullptr;
    if (!data) return;
    if (IsRootData(data)) ShowMemberHelp(FTypeInfo->HelpFile(), FTypeInfo->HelpCtx());
    else ShowMemberHelp(static_cast<TTypeElement*>(data)->HelpFile(), static_cast<TTypeElement*>(data)->HelpCtx());
}

void TDispatchBrowser::ShowMemberHelp(const std::wstring&, int) {
    // Type libraries name help files of formats this tool does not open; nothing is shown.
}

} // namespace qs
