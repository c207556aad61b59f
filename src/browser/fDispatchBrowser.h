// The dispatch browser: the window in which the user looks at one live automation object. It shows
// the object's interface and GUID and five pages: the property tree with its details panel, the
// functions, the events, the enumerator and the script page. Everything is read through the
// reflection (TDispatch) and its type elements; values are read only when a node is expanded,
// selected or right-clicked. All on the UI thread.
#pragma once

#include "browser/uBrowserModel.h"
#include "browser/uBrowserText.h"
#include "script/fScriptFrame.h"
#include "ui/uComCtrls.h"
#include "ui/uLogBox.h"
#include "ui/uParentedWnd.h"
#include "typeinfo/uEvents.h"
#include "typeinfo/uTypeInfo.h"

#include <wrl/client.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace qs {

class TValueBrowser;

// A browser class: creates a window of its class on a value, owned by AWndParent.
using TValueBrowserClass = TValueBrowser* (*)(const VARIANT& Value, HWND AWndParent);

// One item fetched from an object's enumerator; its caption is computed when first shown.
struct TEnumVariantItem {
    explicit TEnumVariantItem(const VARIANT& aValue) : Value(aValue) {}
    Variant Value;
    std::wstring Caption;
    bool Initialized = false;
};

// A modeless window that browses one value.
class TValueBrowser : public ui::TParentedForm {
public:
    TValueBrowser(const VARIANT& Value, HWND AWndParent);
    ~TValueBrowser() override;

    // Set by the opener when the window was opened on a node of another window.
    Microsoft::WRL::ComPtr<IUnknown> Controller;
    // Where the value came from, for the paths copied as code: the root object's script name and the
    // steps from it (set by the window that opened this one; empty for a window opened on its own).
    std::wstring PathRoot;
    std::vector<TPathStep> PathBase;

    // Creates a window of `cls` on Value, shows it and places it: cascaded from OwnerForm (and onto
    // its owner window's monitor when it would leave it), or centred when there is no OwnerForm.
    static TValueBrowser* ShowBrowser(TValueBrowserClass cls, TValueBrowser* OwnerForm, const VARIANT& Value,
                                      HWND WndParent);
};

// The object's identity (its IUnknown), for comparing objects; null for null.
Microsoft::WRL::ComPtr<IUnknown> Identity(IUnknown* object);

// Opens a browser window on Value when it is a usable IDispatch object; returns the new, visible
// window, or null when nothing opened. OwnerForm is the window asking (null from outside).
TValueBrowser* BrowseValue(TValueBrowser* OwnerForm, const VARIANT& Value, HWND WndParent);
// The browser class for a value: the dispatch browser for a non-null VT_DISPATCH that answers
// IID_IDispatch; null otherwise.
TValueBrowserClass BrowserClassForValue(const VARIANT& Value);
bool CanBrowse(const VARIANT& Value);
// The browser class for an interface: the dispatch browser for IID_IDispatch, null otherwise.
TValueBrowserClass BrowserClassForIID(const GUID& IID);

// The window on one IDispatch.
class TDispatchBrowser : public TValueBrowser {
public:
    // Takes the object from Value (VT_DISPATCH as is; VT_UNKNOWN and others queried for IDispatch).
    // Throws ComError (E_NOINTERFACE) when the value is not an IDispatch object. Reads nothing yet.
    TDispatchBrowser(const VARIANT& Value, HWND AWndParent);
    ~TDispatchBrowser() override;
    static TValueBrowser* CreateInstance(const VARIANT& Value, HWND AWndParent);

    IDispatch* Disp() const noexcept { return FDispatch.Get(); }
    TDispatch* TypeInfo() const noexcept { return FTypeInfo.get(); }
    bool NodeAsLink() const noexcept { return fNodeAsLink; }

    // Builds the sheet's controls unless they are built; true when it built them. A window opens with
    // the Properties page only: the others are built the first time they are about to show, or one
    // at a time once the window is idle (BuildNextPage, false when none is left).
    bool BuildPage(ui::TTabSheet* page);
    bool BuildNextPage();
    // Makes the named page active (for the enumerator page it also fetches items).
    void ShowTab(TDispatchBrowserTab Tab);
    // Rebuilds the tree from the same reflection (the "Refresh" button).
    void RefreshProperties();

    // Controls, named as the window's design names them (public so tests and later pages reach them).
    ui::TPanel* TopPanel = nullptr;
    ui::TEdit* InterfaceEdit = nullptr;
    ui::TEdit* GUIDEdit = nullptr;
    ui::TButton* btnQueryInterface = nullptr;
    ui::TPageControl* PageControl = nullptr;
    ui::TTabSheet* tsProperties = nullptr;
    ui::TTabSheet* tsFunctions = nullptr;
    ui::TTabSheet* EventsTabSheet = nullptr;
    ui::TTabSheet* tsEnumVatiant = nullptr;
    ui::TTabSheet* tsScript = nullptr;
    ui::TStatusBar* StatusBar = nullptr;
    ui::TTreeView* PropertiesTreeView = nullptr;
    // Filters the tree's current level (the selected node's siblings when the filter starts) by a part
    // of the members' names, letter case ignored, keeping what the kept nodes show; Escape clears it.
    ui::TEdit* PropertiesFilterEdit = nullptr;
    void ApplyPropertiesFilter();
    ui::TSplitter* PropertiesSplitter = nullptr;
    ui::TPanel* RightPanel = nullptr;
    ui::TToolBar* PropertiesToolbar = nullptr;
    int BrowseButton = 0, PropertyHelpButton = 0, ToolButton7 = 0, Edit = 0; // toolbar button ids
    ui::TPanel* Panel5 = nullptr;
    ui::TLabel* NameLabel = nullptr;
    ui::TEdit* PropertyNameEdit = nullptr;
    ui::TLabel* TypeLabel = nullptr;
    ui::TEdit* PropertyTypeEdit = nullptr;
    ui::TLabel* DispIDLabel = nullptr;
    ui::TEdit* DispIDEdit = nullptr;
    ui::TLabel* AccessLabel = nullptr;
    ui::TEdit* AccessEdit = nullptr;
    ui::TLabel* ValueLabel = nullptr;
    ui::TEdit* PropertyValueEdit = nullptr;
    ui::TPanel* StatusPanel = nullptr;
    ui::TEdit* StatusEdit = nullptr;
    ui::TPopupMenu PropertyPopup;
    ui::TToolBar* tlbEnumVariant = nullptr;
    int btnEnumVariantBrowse = 0;
    ui::TListBox* lbEnumVariant = nullptr;
    // Functions page.
    ui::TListView* FunctionsListView = nullptr;
    // Filters the functions by a part of their names (letter case ignored); Escape clears it.
    ui::TEdit* FunctionsFilterEdit = nullptr;
    // Shows the functions whose names contain the filter's text, keeping the selected one when it
    // still matches.
    void ApplyFunctionsFilter();
    ui::TPanel* FunctionsRightPanel = nullptr;
    ui::TToolBar* ToolBar3 = nullptr;
    int CallButton = 0, FunctionHelpButton = 0;
    ui::TEdit* FunctionDispIdEdit = nullptr;
    ui::TEdit* edtFunctionReturn = nullptr;
    ui::TEdit* edtInvKind = nullptr;
    ui::TListView* ParametersListView = nullptr;
    // Events page.
    ui::TPanel* EventsTopPanel = nullptr;
    ui::TEdit* EventInterfaceEdit = nullptr;
    ui::TEdit* EventGUIDEdit = nullptr;
    ui::TListView* EventsListView = nullptr;
    // Filters the events by a part of their names (letter case ignored); Escape clears it. An event
    // filtered out keeps its check box's state, and is handled or not as it says.
    ui::TEdit* EventsFilterEdit = nullptr;
    void ApplyEventsFilter();
    ui::TPopupMenu EventsPopup;
    ui::TSplitter* EventsSplitter = nullptr;
    ui::TPanel* EventLogPanel = nullptr;
    ui::TButton* btnClearEvents = nullptr;
    ui::TButton* btnEventTime = nullptr;   // toggle: lines logged from now on start with the time
    ui::TButton* btnPauseEvents = nullptr; // toggle: events are counted, not logged
    ui::TButton* btnCopyEvents = nullptr;
    ui::TButton* btnSaveEvents = nullptr;
    ui::TEdit* EventsMemo = nullptr;
    ui::TPanel* EventsRightPanel = nullptr;
    ui::TToolBar* ToolBar1 = nullptr;
    int EventHelpButton = 0;
    ui::TEdit* EventDispIdEdit = nullptr;
    ui::TEdit* edtEventReturn = nullptr;
    ui::TListView* EventParametersListView = nullptr;
    // Script page: scripts on the object, and the procedures that handle its events.
    TScriptFrame* ScriptFrame = nullptr;

    // The tree node the popup menu applies to.
    HTREEITEM PopupMenuNode() const noexcept { return FPopupMenuNode; }
    HTREEITEM MainPropertyNode() const noexcept { return fMainPropertyNode; }
    // What a node of the property tree stands for; null for no node.
    const TPropertyNode* PropertyNodeOf(HTREEITEM Node) const { return NodeOf(Node); }
    // Nested reflections alive for expanded nodes.
    size_t NestedReflectionCount() const noexcept { return FObjects.size(); }
    bool HasEnumerator() const noexcept { return fEnumVariant != nullptr; }
    // Items fetched from the enumerator so far.
    size_t EnumItemCount() const noexcept { return fEnumVariantValues.size(); }

    // Handlers, by the names of the window's design.
    void PropertiesTreeViewExpanding(HTREEITEM Node, bool& AllowExpansion);
    void PropertiesTreeViewCollapsing(HTREEITEM Node, bool& AllowCollapse);
    void PropertiesTreeViewChange(HTREEITEM Node);
    void PropertiesTreeViewContextPopup(POINT screen);
    void PropertiesTreeViewDblClick();
    void PropertyOpenNewWindowMenuClick();
    void PropertyExpandMenuClick();
    void PropertyCollapseMenuClick();
    void PropertyHelpMenuClick();
    void BrowseButtonClick();
    void PropertyHelpButtonClick();
    void ToolButton7Click();
    void PropertyValueEditTempClick();
    void Panel5Resize();
    void StatusPanelResize();
    void FormShow();
    void PageControlChange();
    std::wstring lbEnumVariantData(int Index);
    void lbEnumVariantClick();
    void lbEnumVariantDblClick();
    void btnEnumVariantBrowseClick();
    // The root object's script name: PathRoot, else Application for the host's, else its type's.
    std::wstring PathRootName() const;
    std::vector<TPathStep> PathOf(HTREEITEM Node) const;
    // Adds "Copy Path As" with one item per language; `path` gives the text for a language.
    void AddCopyPathMenu(ui::TPopupMenu& menu, const std::wstring& name,
                         std::function<std::wstring(TCodeLanguage)> path);
    // Fetches enumerator items until the list holds two screens beyond its top line.
    void FetchEnumItems();
    void FunctionsListViewSelectItem();
    void FunctionsListViewDblClick();
    void CallButtonClick();
    void FunctionHelpButtonClick();
    // Asks for the selected function's parameters (when it has any), calls it, and browses an object
    // result in a new window; returns that window or null.
    TValueBrowser* CallSelectedFunction();
    // Asks for an interface ID and queries the object for it: IID_IDispatch opens a new window on the
    // answer, another interface shows the success box, a failure the error's box.
    void btnQueryInterfaceClick();
    void EventsListViewSelectItem();
    void EventHelpButtonClick();
    void SelectAll1Click();
    void DeselectAll1Click();
    void btnClearEventsClick();
    void btnEventTimeClick();
    void btnPauseEventsClick();
    void btnCopyEventsClick();
    void btnSaveEventsClick();
    // The logged events kept in the log as CSV: "Time,Event,Arguments" and a row for each, CRLF ends.
    std::wstring EventLogCsv();
    // The event model's notification: logs the event when it is handled (its box is checked, or the
    // list holds no event of that name). Never throws.
    void EventsInvoke(TEvents& Sender, const std::wstring& EventName, DISPPARAMS& Params, VARIANT* VarRes) noexcept;
    // Whether an event of this name is handled: its item is checked, or no item has the name
    // (compared without regard to case).
    bool EventHandled(const std::wstring& EventName) const;
    // The Script page's Run button: the frame's own Run command.
    void ScriptFrameRunButtonClick();
    // Runs the Script page's procedure for the event when the editor's text names it (a plain,
    // case-blind substring test); a failure shows the "Script Error" box and marks the error.
    // Returns a note for the log when the procedure could not run (nested too deep), else empty.
    std::wstring RunEventProcedure(const std::wstring& EventName, DISPPARAMS& Params, VARIANT* VarResult);
    // Writes the log lines still waiting for the next batch into the log.
    void FlushEventLog();
    // The whole event log, waiting lines included.
    std::wstring EventLogText();
    // The log's box with its limits (EventsMemo keeps the newest lines only).
    ui::TLogBox& EventLog() noexcept { return fEventLog; }

    // Opens the value of a node in a new window (the selected node when null); returns the window.
    TValueBrowser* BrowseNode(HTREEITEM Node);
    // Snapshot and compare: the values of the nodes shown (the root and every node under an expanded
    // one) recorded by caption path; Compare reads them again, marks the changed nodes bold and returns
    // the differences (a path shown only before or only now has "(not shown)" on the other side).
    struct TValueDifference {
        std::wstring Path, Before, After;
        friend bool operator==(const TValueDifference&, const TValueDifference&) = default;
    };
    void TakeSnapshot();
    bool HasSnapshot() const noexcept { return !fSnapshot.empty(); }
    std::vector<TValueDifference> CompareWithSnapshot();
    // The nodes shown as indented text, one "Name = value" line each (for bug reports).
    std::wstring ValuesText();
    // The menu commands: the comparison in a window of its own (a box when nothing changed), and the
    // values text on the clipboard.
    void CompareCommand();
    void CopyValuesCommand();
    // The path from the root object to a node (an enumerator item: index >= 0) as code.
    std::wstring PathAsCodeOf(HTREEITEM Node, TCodeLanguage Language);
    std::wstring EnumItemPathAsCode(int Index, TCodeLanguage Language);
    ui::TPopupMenu EnumVariantPopup;
    // The value of a node: the object for the root, the current value of a property element, empty
    // otherwise (a write-only property is never read).
    Variant NodeValue(HTREEITEM Node);

protected:
    virtual void LoadObject();
    void FillNode(HTREEITEM Node);
    void ResetNode(HTREEITEM Node);
    void ShowPropertyHelp(HTREEITEM Node);
    void ShowMemberHelp(const std::wstring& HelpFile, int HelpCtx);
    void DetectEnumerator();
    void FillEvents();
    void FillFunctions();
    // The function element of the selected row of the Functions page, or null.
    TFunctionElement* SelectedFunction() const;
    void ShowFunctionHelp();
    void ShowEventHelp();
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Unbinds the event handler and stops the log's timer the moment the window is closed for good.
    void FormClosing() noexcept override;

private:
    // A labelled, read-only line of a details panel at `top`.
    static ui::TEdit* DetailRow(ui::TControl* panel, const wchar_t* caption, int top, const wchar_t* name);
    // The "Parameters:" label at `top` of a details panel and the list of names and types below it.
    static ui::TListView* ParametersList(ui::TControl* panel, int top, int typeWidth, const wchar_t* name);
    void BuildLayout();
    void BuildEventsPage();
    void BuildFunctionsPage();
    void BuildScriptPage();
    void BuildEnumVariantPage();
    // A page's filter box above its list: `apply` runs on every change; Escape empties it.
    ui::TEdit* FilterEdit(ui::TControl* page, const wchar_t* name, std::function<void()> apply);
    // Lists the events in the page's list once it is built.
    void ShowEvents();
    // Gives the Script page's scripts the host's Application and the browsed object, with their
    // type libraries' constants.
    void AddScriptGlobals();
    void FunctionsRightPanelResize();
    void EventsRightPanelResize();
    void EventLogPanelResize();
    void AppendEventLine(const std::wstring& line);
    void ClearDetails();
    // Adds a tree item for `record`; the window keeps the record while the item exists.
    HTREEITEM AddNode(HTREEITEM parent, const std::wstring& caption, const TPropertyNode& record, int image = -1,
                      HTREEITEM after = TVI_LAST);
    // Adds a member's node (with its placeholder when it offers to expand) after `after`.
    HTREEITEM AddMemberNode(HTREEITEM parent, TTypeElement* element, HTREEITEM after = TVI_LAST);
    HTREEITEM fFilterLevel = nullptr; // the level the filter applies to, while it is not empty
    TPropertyNode* NodeOf(HTREEITEM node) const;
    // Deletes an item with its descendants, their records, and the nested reflections they listed.
    void DeleteNode(HTREEITEM node);
    // Deletes every item, record and nested reflection.
    void ClearNodes();
    // Frees the nested reflection a member node listed, if any.
    void ReleaseObjectOf(TPropertyNode& record);
    void CollectSubtree(HTREEITEM node, std::vector<HTREEITEM>& out) const;
    std::wstring NodePath(HTREEITEM node) const;

    std::unique_ptr<TDispatch> FTypeInfo;
    std::vector<std::unique_ptr<TDispatch>> FObjects;
    // The records of the tree's nodes, by address; each item's data is the address of its record.
    std::unordered_map<const TPropertyNode*, std::unique_ptr<TPropertyNode>> fNodes;
    HTREEITEM FPopupMenuNode = nullptr;
    std::vector<std::pair<std::wstring, std::wstring>> fSnapshot; // caption path, value text
    // The value text of a node as the Value box shows it (reads the property); empty for others.
    std::wstring NodeValueText(HTREEITEM Node);
    // The nodes shown, in tree order, with their depth (0 for the root).
    std::vector<std::pair<HTREEITEM, int>> ShownNodes() const;
    Microsoft::WRL::ComPtr<IEnumVARIANT> fEnumVariant;
    HRESULT fLastEnumVariantResult = S_OK;
    std::vector<std::unique_ptr<TEnumVariantItem>> fEnumVariantValues;
    // The rows of the Functions page, sorted by name; the reflection owns the elements.
    std::vector<TFunctionElement*> fFunctionItems;    // the functions shown (those the filter keeps)
    std::vector<TFunctionElement*> fAllFunctionItems; // every function, sorted
    std::vector<std::wstring> fFunctionNamesUpper;    // their names in upper case, for the filter
    bool fFetching = false;
    bool fNodeAsLink = false;
    Microsoft::WRL::ComPtr<IDispatch> FDispatch;
    HTREEITEM fMainPropertyNode = nullptr;
    HTREEITEM fHighlightedPorpertyNode = nullptr;
    bool fLoaded = false;
    std::unique_ptr<ui::TImageList> fPropertyImages;
    std::unique_ptr<ui::TImageList> fToolbarImages;
    // Event log lines arriving faster than the screen shows them wait here and go into the log
    // together, in order, when the batch interval has passed (or at the timer's next tick).
    std::vector<std::wstring> fPendingEventLines;
    std::chrono::steady_clock::time_point fLastEventFlush{};
    ui::TTimer fEventLogTimer;
    ui::TTimer fPageBuildTimer; // builds the pages not shown yet while the window is idle
    static constexpr UINT kPageBuildDelayMs = 150;
    ui::TLogBox fEventLog; // writes to EventsMemo
    // The events in the log as logged (time text empty when logged without time), at most as many
    // as the log keeps lines, for Save As.
    struct TEventRecord {
        std::wstring time, name, args;
    };
    std::deque<TEventRecord> fEventRecords;
    std::unordered_map<std::wstring, bool> fEventChecks; // upper-case name -> checked, kept across filters
    bool fEventTimes = false;
    bool fEventsPaused = false;
    std::uint64_t fEventsNotLogged = 0;
    LONGLONG fFirstEventCounter = -1; // performance counter at the first event logged since Clear
    // Set when the window is closed for good: events are acknowledged and dropped from then on.
    bool fClosing = false;
    bool fScriptErrorShown = false; // an event procedure's "Script Error" box is up
};

} // namespace qs
