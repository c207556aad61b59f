// The browser window's Events page: the events of the object's source interfaces with the choice of
// which to log, their details, and the event log, which takes events in batches so that a storm of
// events costs time in proportion to its length. See fDispatchBrowser.h.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "browser/uBrowserText.h"

#include <algorithm>

namespace qs {

using namespace ui;

namespace {

// Lines that arrive within this interval of the last write wait for the next batch.
constexpr auto kEventBatchInterval = std::chrono::milliseconds(50);

bool SameTextNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

} // namespace

void TDispatchBrowser::BuildEventsPage() {
    EventsTopPanel = new TPanel(EventsTabSheet);
    EventsTopPanel->Name = L"EventsTopPanel";
    EventsTopPanel->SetHeight(30);
    EventsTopPanel->SetAlign(TAlign::Top);
    auto* interfaceLabel = new TLabel(EventsTopPanel, L"Interface:");
    interfaceLabel->SetBounds(6, 8, interfaceLabel->Width(), interfaceLabel->Height());
    EventInterfaceEdit = new TEdit(EventsTopPanel, TEdit::Options{.readOnly = true});
    EventInterfaceEdit->Name = L"EventInterfaceEdit";
    EventInterfaceEdit->SetColor(COLOR_BTNFACE);
    EventInterfaceEdit->SetBounds(60, 4, 160, 21);
    auto* guidLabel = new TLabel(EventsTopPanel, L"GUID:");
    guidLabel->SetBounds(228, 8, guidLabel->Width(), guidLabel->Height());
    EventGUIDEdit = new TEdit(EventsTopPanel, TEdit::Options{.readOnly = true});
    EventGUIDEdit->Name = L"EventGUIDEdit";
    EventGUIDEdit->SetColor(COLOR_BTNFACE);
    EventGUIDEdit->SetBounds(264, 4, 260, 21);
    EventsTopPanel->OnResize = [this](TControl& panel) {
        const int w = panel.ClientRect().right;
        EventGUIDEdit->SetBounds(264, 4, std::max(w - 264 - 6, 60), 21);
    };

    // The details on the right, the log at the bottom, the list in the rest.
    EventsRightPanel = new TPanel(EventsTabSheet);
    EventsRightPanel->Name = L"EventsRightPanel";
    EventsRightPanel->SetWidth(238);
    EventsRightPanel->SetAlign(TAlign::Right);
    ToolBar1 = new TToolBar(EventsRightPanel);
    ToolBar1->Name = L"ToolBar1";
    ToolBar1->SetImages(fToolbarImages.get());
    EventHelpButton = ToolBar1->AddButton(L"Help", 4, [this] { EventHelpButtonClick(); });
    ToolBar1->SetButtonEnabled(EventHelpButton, false);
    EventDispIdEdit = DetailRow(EventsRightPanel, L"Dispid:", 34, L"EventDispIdEdit");
    edtEventReturn = DetailRow(EventsRightPanel, L"Return:", 59, L"edtEventReturn");
    EventParametersListView = ParametersList(EventsRightPanel, 86, 100, L"EventParametersListView");
    EventsRightPanel->OnResize = [this](TControl&) { EventsRightPanelResize(); };
    new TSplitter(EventsTabSheet, TAlign::Right);

    EventLogPanel = new TPanel(EventsTabSheet);
    EventLogPanel->Name = L"EventLogPanel";
    EventLogPanel->SetHeight(120);
    EventLogPanel->SetAlign(TAlign::Bottom);
    auto* logLabel = new TLabel(EventLogPanel, L"Events Log (checked only):");
    logLabel->SetBounds(4, 6, logLabel->Width(), logLabel->Height());
    btnClearEvents = new TButton(EventLogPanel, L"Clear");
    btnClearEvents->Name = L"btnClearEvents";
    btnClearEvents->SetBounds(200, 2, 60, 22);
    btnClearEvents->OnClick = [this](TButton&) { btnClearEventsClick(); };
    EventsMemo = new TEdit(EventLogPanel, TEdit::Options{.multiLine = true, .readOnly = true, .hScroll = true,
                                                         .vScroll = true, .wordWrap = false});
    EventsMemo->Name = L"EventsMemo";
    EventsMemo->SetBounds(0, 26, 200, 90);
    fEventLog.Attach(EventsMemo);
    EventLogPanel->OnResize = [this](TControl&) { EventLogPanelResize(); };
    EventsSplitter = new TSplitter(EventsTabSheet, TAlign::Bottom);
    EventsSplitter->Name = L"EventsSplitter";

    EventsListView = new TListView(EventsTabSheet, TListView::Options{.checkBoxes = true, .showHeader = false,
                                                                      .sortAscending = true});
    EventsListView->Name = L"EventsListView";
    EventsListView->AddColumn(L"Available Events", 200);
    EventsListView->SetAlign(TAlign::Client);
    EventsListView->OnSelectItem = [this](TListView&, int, bool) { EventsListViewSelectItem(); };
    EventsListView->OnContextPopup = [this](TListView& list, POINT p) {
        if (p.x == -1 && p.y == -1) {
            RECT r{};
            ::GetWindowRect(list.Handle(), &r);
            p = {r.left + 8, r.top + 8};
        }
        EventsPopup.Popup(Handle(), p);
    };
    EventsPopup.Add(L"&Select All", [this] { SelectAll1Click(); }, L"SelectAll1");
    EventsPopup.Add(L"&Deselect All", [this] { DeselectAll1Click(); }, L"DeselectAll1");

    fEventLogTimer.OnTimer = [this](TTimer& timer) {
        try {
            if (fPendingEventLines.empty()) timer.Stop();
            else FlushEventLog();
        }
        QS_CATCH_TRACE(L"TDispatchBrowser.EventLogTimer")
    };
}

void TDispatchBrowser::EventsRightPanelResize() {
    const RECT rc = EventsRightPanel->ClientRect();
    const int width = std::max(static_cast<int>(rc.right - rc.left) - 8, 10);
    EventDispIdEdit->SetBounds(56, EventDispIdEdit->Top(), std::max(width - 52, 10), 21);
    edtEventReturn->SetBounds(56, edtEventReturn->Top(), std::max(width - 52, 10), 21);
    EventParametersListView->SetBounds(4, 102, width, std::max(static_cast<int>(rc.bottom) - 102 - 4, 10));
}

void TDispatchBrowser::EventLogPanelResize() {
    const RECT rc = EventLogPanel->ClientRect();
    btnClearEvents->SetBounds(std::max(static_cast<int>(rc.right) - 64, 170), 2, 60, 22);
    EventsMemo->SetBounds(0, 26, rc.right - rc.left, std::max(static_cast<int>(rc.bottom) - 26, 10));
}

// Fills the list once, at load. Without an event interface the page is hidden.
void TDispatchBrowser::FillEvents() {
    EventsListView->BeginUpdate();
    EventsListView->Clear();
    TEvents* events = FTypeInfo ? FTypeInfo->Events() : nullptr;
    if (events) {
        for (const auto& f : events->Functions()) {
            if (IsHiddenMemberName(f->Name())) continue;
            const int item = EventsListView->AddItem(f->Name(), f.get());
            EventsListView->SetChecked(item, true);
        }
    }
    EventsListView->EndUpdate();
    EventInterfaceEdit->SetText(events ? events->Name() : std::wstring());
    const bool hasInterface = events && !IsEqualGUID(events->EventGUID(), GUID_NULL);
    EventGUIDEdit->SetText(hasInterface ? GuidToString(events->EventGUID()) : std::wstring());
    EventsMemo->SetColor(hasInterface ? COLOR_WINDOW : COLOR_BTNFACE);
    EventsTabSheet->SetTabVisible(hasInterface);
    if (events)
        events->OnInvoke = [this](TEvents& sender, const std::wstring& name, DISPPARAMS& params, VARIANT* result) {
            EventsInvoke(sender, name, params, result);
        };
}

void TDispatchBrowser::EventsListViewSelectItem() {
    EventDispIdEdit->SetText(L"");
    edtEventReturn->SetText(L"");
    EventParametersListView->Clear();
    const int selected = EventsListView->Selected();
    const auto* element = selected >= 0 ? static_cast<const TFunctionElement*>(EventsListView->Data(selected)) : nullptr;
    if (element) {
        EventDispIdEdit->SetText(DispIdText(element->MemID()));
        if (element->ReturnResult()) edtEventReturn->SetText(element->ReturnResult()->TypeName());
        StatusBar->SetSimpleText(element->DocString());
        for (const auto& p : element->Params()) {
            const int row = EventParametersListView->AddItem(p->Name());
            EventParametersListView->SetSubItem(row, 1, ParamTypeText(*p, false));
        }
    }
    EventParametersListView->SetBackground(EventParametersListView->Count() > 0 ? COLOR_WINDOW : COLOR_BTNFACE);
    ToolBar1->SetButtonEnabled(EventHelpButton, element != nullptr);
}

void TDispatchBrowser::EventHelpButtonClick() { ShowEventHelp(); }

void TDispatchBrowser::ShowEventHelp() {
    const int selected = EventsListView->Selected();
    const auto* element = selected >= 0 ? static_cast<const TFunctionElement*>(EventsListView->Data(selected)) : nullptr;
    if (element) ShowMemberHelp(element->HelpFile(), element->HelpCtx());
}

void TDispatchBrowser::SelectAll1Click() {
    for (int i = 0; i < EventsListView->Count(); ++i) EventsListView->SetChecked(i, true);
}

void TDispatchBrowser::DeselectAll1Click() {
    for (int i = 0; i < EventsListView->Count(); ++i) EventsListView->SetChecked(i, false);
}

void TDispatchBrowser::btnClearEventsClick() {
    fPendingEventLines.clear();
    fEventLogTimer.Stop();
    fEventLog.Clear();
}

bool TDispatchBrowser::EventHandled(const std::wstring& EventName) const {
    for (int i = 0; i < EventsListView->Count(); ++i)
        if (SameTextNoCase(EventsListView->ItemText(i), EventName)) return EventsListView->Checked(i);
    return true;
}

void TDispatchBrowser::EventsInvoke(TEvents&, const std::wstring& EventName, DISPPARAMS& Params,
                                    VARIANT* VarRes) noexcept {
    // The host waits inside this call: nothing may reach it, and a window on its way out only
    // acknowledges the event.
    try {
        // The procedure may close the window: it is destroyed once this call has returned.
        const TOwnCode own = EnterOwnCode();
        if (fClosing || !Handle() || !EventsListView || !EventHandled(EventName)) return;
        // The Script page's procedure for the event runs first; what it returns is the event's result.
        const std::wstring note = RunEventProcedure(EventName, Params, VarRes);
        if (own.Closed() || fClosing || !Handle()) return;
        AppendEventLine(EventLogLine(EventName, Params));
        if (!note.empty()) AppendEventLine(note);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.EventsInvoke")
}

// A line is written at once when the last write is older than the batch interval; otherwise it
// waits, and the timer (or the next line after the interval) writes everything waiting in one go.
void TDispatchBrowser::AppendEventLine(const std::wstring& line) {
    fPendingEventLines.push_back(line);
    if (std::chrono::steady_clock::now() - fLastEventFlush >= kEventBatchInterval) FlushEventLog();
    else if (!fEventLogTimer.Running()) fEventLogTimer.Start(static_cast<UINT>(kEventBatchInterval.count()));
}

// Each append costs time linear in the log's length as well as in the batch, so a batch goes in with
// one append; the log box drops the oldest lines when it is over its limits.
void TDispatchBrowser::FlushEventLog() {
    if (fPendingEventLines.empty() || !EventsMemo || !EventsMemo->Handle()) return;
    // Taken first: a line arriving while the log is being written joins the next batch.
    std::vector<std::wstring> lines;
    lines.swap(fPendingEventLines);
    size_t size = 0;
    for (const std::wstring& line : lines) size += line.size() + 2;
    std::wstring text;
    text.reserve(size);
    for (const std::wstring& line : lines) {
        text += line;
        text += L"\r\n";
    }
    fEventLog.Append(text);
    fLastEventFlush = std::chrono::steady_clock::now();
}

std::wstring TDispatchBrowser::EventLogText() {
    FlushEventLog();
    return EventsMemo->Text();
}

} // namespace qs
