// The browser window's Events page: the events of the object's source interfaces with the choice of
// which to log, their details, and the event log, which takes events in batches so that a storm of
// events costs time in proportion to its length. See fDispatchBrowser.h.
//
// The log's tools: Time starts each line logged while it is on with the milliseconds since the first
// event logged after the last Clear, taken when the event arrives, three decimals right-aligned in ten
// characters and two spaces ("    12.345  Changed (x)"); Pause counts events instead of logging them
// (their Script page procedures still run) and logs how many on resume; Copy puts the log's text on the
// clipboard; Save As writes the logged events as CSV from a record kept beside the box.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "browser/uBrowserText.h"

#include "ui/uUtilsDialogs.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace qs {

using namespace ui;

namespace {

// Lines that arrive within this interval of the last write wait for the next batch.
constexpr auto kEventBatchInterval = std::chrono::milliseconds(50);

bool SameTextNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// Milliseconds from `from` to `to` of the performance counter with three decimals: "12.345".
std::wstring ElapsedMsText(LONGLONG from, LONGLONG to) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    const double ms = frequency.QuadPart > 0 ? static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart) : 0.0;
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", ms);
    return text;
}

// A CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a line break.
std::wstring CsvField(const std::wstring& field) {
    if (field.find_first_of(L",\"\r\n") == std::wstring::npos) return field;
    std::wstring quoted = L"\"";
    for (const wchar_t c : field) {
        if (c == L'"') quoted += L'"';
        quoted += c;
    }
    return quoted + L'"';
}

std::wstring SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text.empty() ? L"Error " + std::to_wstring(error) + L"." : text;
}

// Writes `text` to `fileName` as UTF-8 after a byte-order mark; the system's reason when it cannot.
bool WriteUtf8File(const std::wstring& fileName, const std::wstring& text, std::wstring& error) {
    std::string bytes = "\xEF\xBB\xBF";
    if (!text.empty()) {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                            nullptr, nullptr);
        const size_t start = bytes.size();
        bytes.resize(start + static_cast<size_t>(std::max(n, 0)));
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data() + start, n,
                              nullptr, nullptr);
    }
    const HANDLE h = ::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = SystemErrorText(::GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    if (!ok) error = SystemErrorText(::GetLastError());
    ::CloseHandle(h);
    return ok;
}

// A check box drawn as a push button, whose state the page sets itself.
void MakeToggle(TButton& button) {
    ::SendMessageW(button.Handle(), BM_SETSTYLE, BS_CHECKBOX | BS_PUSHLIKE, TRUE);
}

void SetToggle(TButton& button, bool on) {
    ::SendMessageW(button.Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
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
    btnEventTime = new TButton(EventLogPanel, L"Time");
    btnEventTime->Name = L"btnEventTime";
    MakeToggle(*btnEventTime);
    btnEventTime->OnClick = [this](TButton&) { btnEventTimeClick(); };
    btnPauseEvents = new TButton(EventLogPanel, L"Pause");
    btnPauseEvents->Name = L"btnPauseEvents";
    MakeToggle(*btnPauseEvents);
    btnPauseEvents->OnClick = [this](TButton&) { btnPauseEventsClick(); };
    btnCopyEvents = new TButton(EventLogPanel, L"Copy");
    btnCopyEvents->Name = L"btnCopyEvents";
    btnCopyEvents->OnClick = [this](TButton&) { btnCopyEventsClick(); };
    btnSaveEvents = new TButton(EventLogPanel, L"Save As...");
    btnSaveEvents->Name = L"btnSaveEvents";
    btnSaveEvents->OnClick = [this](TButton&) { btnSaveEventsClick(); };
    EventsMemo = new TEdit(EventLogPanel, TEdit::Options{.multiLine = true, .readOnly = true, .hScroll = true,
                                                         .vScroll = true, .wordWrap = false});
    EventsMemo->Name = L"EventsMemo";
    EventsMemo->SetBounds(0, 26, 200, 90);
    fEventLog.Attach(EventsMemo);
    EventLogPanel->OnResize = [this](TControl&) { EventLogPanelResize(); };
    EventsSplitter = new TSplitter(EventsTabSheet, TAlign::Bottom);
    EventsSplitter->Name = L"EventsSplitter";

    EventsFilterEdit = FilterEdit(EventsTabSheet, L"EventsFilterEdit", [this] { ApplyEventsFilter(); });
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
    // Right-aligned from Clear leftwards, none left of the label.
    int x = std::max(static_cast<int>(rc.right) - 4, 170 + 50 + 56 + 50 + 70 + 60 + 20);
    const std::pair<TButton*, int> buttons[] = {
        {btnClearEvents, 60}, {btnSaveEvents, 70}, {btnCopyEvents, 50}, {btnPauseEvents, 56}, {btnEventTime, 50}};
    for (const auto& [button, width] : buttons) {
        x -= width;
        button->SetBounds(x, 2, width, 22);
        x -= 4;
    }
    EventsMemo->SetBounds(0, 26, rc.right - rc.left, std::max(static_cast<int>(rc.bottom) - 26, 10));
}

// Takes the event interface at load: without one the page is hidden. The page shows it once built.
void TDispatchBrowser::FillEvents() {
    fEventChecks.clear();
    TEvents* events = FTypeInfo ? FTypeInfo->Events() : nullptr;
    EventsTabSheet->SetTabVisible(events && !IsEqualGUID(events->EventGUID(), GUID_NULL));
    ShowEvents();
    if (events)
        events->OnInvoke = [this](TEvents& sender, const std::wstring& name, DISPPARAMS& params, VARIANT* result) {
            EventsInvoke(sender, name, params, result);
        };
}

void TDispatchBrowser::ShowEvents() {
    if (!EventsListView) return;
    TEvents* events = FTypeInfo ? FTypeInfo->Events() : nullptr;
    EventsListView->BeginUpdate();
    EventsListView->Clear();
    if (events) {
        for (const auto& f : events->Functions()) {
            if (IsHiddenMemberName(f->Name())) continue;
            const int item = EventsListView->AddItem(f->Name(), f.get());
            const auto state = fEventChecks.find(UpperName(f->Name()));
            EventsListView->SetChecked(item, state == fEventChecks.end() || state->second);
        }
    }
    EventsListView->EndUpdate();
    if (!EventsFilterEdit->Text().empty()) ApplyEventsFilter();
    EventInterfaceEdit->SetText(events ? events->Name() : std::wstring());
    const bool hasInterface = events && !IsEqualGUID(events->EventGUID(), GUID_NULL);
    EventGUIDEdit->SetText(hasInterface ? GuidToString(events->EventGUID()) : std::wstring());
    EventsMemo->SetColor(hasInterface ? COLOR_WINDOW : COLOR_BTNFACE);
}

void TDispatchBrowser::ApplyEventsFilter() {
    TEvents* events = FTypeInfo ? FTypeInfo->Events() : nullptr;
    if (!events || !EventsListView) return;
    // The states shown now are kept; the list is filled again with the events that match.
    const int selectedItem = EventsListView->Selected();
    const void* selected = selectedItem >= 0 ? EventsListView->Data(selectedItem) : nullptr;
    for (int i = 0; i < EventsListView->Count(); ++i)
        fEventChecks[UpperName(EventsListView->ItemText(i))] = EventsListView->Checked(i);
    std::vector<const TFunctionElement*> all;
    std::vector<std::wstring> upper;
    for (const auto& f : events->Functions()) {
        if (IsHiddenMemberName(f->Name())) continue;
        all.push_back(f.get());
        upper.push_back(UpperName(f->Name()));
    }
    int reselect = -1;
    EventsListView->SetHighlight(EventsFilterEdit->Text());
    EventsListView->BeginUpdate();
    try {
        EventsListView->Clear();
        for (size_t i : FilterNames(upper, EventsFilterEdit->Text())) {
            const int item = EventsListView->AddItem(all[i]->Name(), const_cast<TFunctionElement*>(all[i]));
            const auto state = fEventChecks.find(upper[i]);
            EventsListView->SetChecked(item, state == fEventChecks.end() || state->second);
        }
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.ApplyEventsFilter")
    EventsListView->EndUpdate();
    // The list sorts itself: the selected event is found again by its data.
    for (int i = 0; i < EventsListView->Count() && selected; ++i)
        if (EventsListView->Data(i) == selected) reselect = i;
    EventsListView->Select(reselect);
    EventsListViewSelectItem();
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
    fEventRecords.clear();
    fFirstEventCounter = -1;
}

void TDispatchBrowser::btnEventTimeClick() {
    fEventTimes = !fEventTimes;
    SetToggle(*btnEventTime, fEventTimes);
}

void TDispatchBrowser::btnPauseEventsClick() {
    fEventsPaused = !fEventsPaused;
    SetToggle(*btnPauseEvents, fEventsPaused);
    if (fEventsPaused || fEventsNotLogged == 0) return;
    const std::uint64_t count = std::exchange(fEventsNotLogged, 0);
    AppendEventLine(L"(" + std::to_wstring(count) + (count == 1 ? L" event" : L" events") +
                    L" not logged while paused)");
}

void TDispatchBrowser::btnCopyEventsClick() {
    try {
        if (!SetClipboardText(m_hwnd, EventLogText()))
            ShowMessageBox(m_hwnd, L"The clipboard is in use by another program.", L"Copy", MB_ICONWARNING);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.btnCopyEventsClick")
}

std::wstring TDispatchBrowser::EventLogCsv() {
    std::wstring csv = L"Time,Event,Arguments\r\n";
    for (const TEventRecord& r : fEventRecords)
        csv += CsvField(r.time) + L',' + CsvField(r.name) + L',' + CsvField(r.args) + L"\r\n";
    return csv;
}

void TDispatchBrowser::btnSaveEventsClick() {
    TSaveDialogEx dialog(m_hwnd);
    dialog.Filter = L"CSV files (*.csv)|*.csv|All files (*.*)|*.*";
    dialog.DefaultExt = L"csv";
    dialog.FileName = L"Events.csv";
    dialog.Title = L"Save Events Log";
    if (!dialog.Execute()) return;
    try {
        std::wstring error;
        if (!WriteUtf8File(dialog.FileName, EventLogCsv(), error))
            ShowMessageBox(m_hwnd, L"Could not save the events log to " + dialog.FileName + L":\r\n" + error,
                           L"Save As", MB_ICONERROR);
    } catch (...) {
        ShowMessageBox(m_hwnd, L"Could not save the events log: not enough memory.", L"Save As", MB_ICONERROR);
    }
}

bool TDispatchBrowser::EventHandled(const std::wstring& EventName) const {
    for (int i = 0; EventsListView && i < EventsListView->Count(); ++i)
        if (SameTextNoCase(EventsListView->ItemText(i), EventName)) return EventsListView->Checked(i);
    // An event the filter hides keeps the state it had when it was last shown; before the page is
    // built, every event is checked.
    const auto state = fEventChecks.find(UpperName(EventName));
    return state == fEventChecks.end() || state->second;
}

void TDispatchBrowser::EventsInvoke(TEvents&, const std::wstring& EventName, DISPPARAMS& Params,
                                    VARIANT* VarRes) noexcept {
    // The host waits inside this call: nothing may reach it, and a window on its way out only
    // acknowledges the event.
    LARGE_INTEGER arrived{};
    ::QueryPerformanceCounter(&arrived);
    try {
        // The procedure may close the window: it is destroyed once this call has returned.
        const TOwnCode own = EnterOwnCode();
        if (fClosing || !Handle() || !EventHandled(EventName)) return;
        // The Script page's procedure for the event runs first; what it returns is the event's result.
        const std::wstring note = RunEventProcedure(EventName, Params, VarRes);
        if (own.Closed() || fClosing || !Handle()) return;
        // Paused, the log only counts the event; its procedure has run all the same.
        if (fEventsPaused) {
            ++fEventsNotLogged;
            return;
        }
        std::wstring line = EventLogLine(EventName, Params);
        // The line is "Name (arguments)".
        TEventRecord record{{}, EventName, line.substr(EventName.size() + 2, line.size() - EventName.size() - 3)};
        if (fFirstEventCounter < 0) fFirstEventCounter = arrived.QuadPart;
        if (fEventTimes) {
            record.time = ElapsedMsText(fFirstEventCounter, arrived.QuadPart);
            // Right-aligned in ten characters, two spaces before the event.
            line = std::wstring(record.time.size() < 10 ? 10 - record.time.size() : 0, L' ') + record.time + L"  " + line;
        }
        fEventRecords.push_back(std::move(record));
        while (fEventRecords.size() > fEventLog.GetLimits().lines) fEventRecords.pop_front();
        AppendEventLine(line);
        if (!note.empty()) AppendEventLine(note);
    }
    QS_CATCH_TRACE(L"TDispatchBrowser.EventsInvoke")
}

// A line is written at once when the last write is older than the batch interval; otherwise it
// waits, and the timer (or the next line after the interval) writes everything waiting in one go.
void TDispatchBrowser::AppendEventLine(const std::wstring& line) {
    // Until the page is built the lines wait, no more of them than the log would keep.
    if (!EventsMemo && fPendingEventLines.size() >= fEventLog.GetLimits().lines)
        fPendingEventLines.erase(fPendingEventLines.begin(),
                                 fPendingEventLines.begin() + static_cast<std::ptrdiff_t>(fPendingEventLines.size() / 10 + 1));
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
    if (EventsMemo) return EventsMemo->Text();
    std::wstring text;
    for (const std::wstring& line : fPendingEventLines) text += line + L"\r\n";
    return text;
}

} // namespace qs
