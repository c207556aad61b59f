// The Events page on an object that fires events: what the page lists, which events reach the log and
// in what form, a storm of events with every line kept in order, the log's limit, and that closing the
// window disconnects the sink and gives every reference back. The Script page: the names its scripts see,
// and the procedures that handle the object's events.
#include "Fixtures.h"
#include "SingleSinkSource.h"
#include "browser/fDispatchBrowser.h"
#include "common/qsMessageBox.h"
#include "common/qsModule.h"
#include "ui/uUtilsDialogs.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

// An object described by DFixture whose container finds its one connection point (DFixtureEvents)
// through its class information only, and that fires events to the sink advised there.
class EventSource : public SingleSinkSource {
public:
    static ComPtr<EventSource> Create() { return AttachNew(new EventSource()); }

    // Fires event `id` with `args` given in declaration order (as they are: a VT_BYREF argument
    // comes back changed); `result` receives the event's result.
    HRESULT Fire(DISPID id, std::vector<Variant> args = {}, VARIANT* result = nullptr) {
        std::vector<VARIANT> raw;
        for (auto& a : args) raw.push_back(a.Get());
        std::reverse(raw.begin(), raw.end());
        DISPPARAMS dp{raw.empty() ? nullptr : raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
        return SingleSinkSource::Fire(id, dp, result);
    }

private:
    EventSource()
        : SingleSinkSource(FixtureTypeByName(L"DFixture"), FixtureTypeByName(L"FixtureObject"), DIID_DFixtureEvents) {}
};

class EventsPage : public ::testing::Test {
protected:
    void SetUp() override {
        source = EventSource::Create();
        baseline = source->RefCount();
    }
    void TearDown() override {
        for (auto* f : TParentedForm::ParentedForms()) f->Free();
        TForm::ProcessMessages();
        source->onMemberCall = nullptr;
        EXPECT_FALSE(source->Advised());
        EXPECT_EQ(source->RefCount(), baseline);
    }
    TDispatchBrowser* Open() {
        const Variant v = Variant::FromDispatch(source.Get());
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), nullptr));
        TForm::ProcessMessages();
        while (w && w->BuildNextPage()) {} // every page built, as once the window has been idle
        return w;
    }
    static int ItemNamed(TDispatchBrowser* w, const std::wstring& name) {
        for (int i = 0; i < w->EventsListView->Count(); ++i)
            if (w->EventsListView->ItemText(i) == name) return i;
        return -1;
    }
    ComPtr<EventSource> source;
    ULONG baseline = 0;
};

TEST_F(EventsPage, ListsTheEventsCheckedAndLogsOnlyHandledOnes) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    ASSERT_TRUE(source->Advised());
    EXPECT_TRUE(w->EventsTabSheet->TabVisible());
    EXPECT_EQ(w->EventInterfaceEdit->Text(), L"DFixtureEvents");
    EXPECT_EQ(w->EventGUIDEdit->Text(), GuidToString(DIID_DFixtureEvents));
    ASSERT_EQ(w->EventsListView->Count(), 2);
    EXPECT_EQ(w->EventsListView->ItemText(0), L"Changed");
    EXPECT_TRUE(w->EventsListView->Checked(0) && w->EventsListView->Checked(1));

    // The details of the selected event.
    w->EventsListView->Select(ItemNamed(w, L"Changed"));
    TForm::ProcessMessages();
    EXPECT_EQ(w->EventDispIdEdit->Text(), L"1   (0x1)");
    ASSERT_EQ(w->EventParametersListView->Count(), 1);
    EXPECT_EQ(w->EventParametersListView->ItemText(0, 1), L"String (in)");
    EXPECT_TRUE(w->ToolBar1->ButtonEnabled(w->EventHelpButton));

    // A sparse event is in the log at once, without waiting for a batch.
    EXPECT_EQ(source->Fire(1, {Variant::FromString(L"x")}), S_OK);
    EXPECT_EQ(w->EventsMemo->Text(), L"Changed (x)\r\n");

    // Unchecked events are acknowledged and not logged; a name the list does not hold is logged
    // even after Deselect All. Names compare without regard to case.
    w->DeselectAll1Click();
    EXPECT_EQ(source->Fire(1, {Variant::FromString(L"y")}), S_OK);
    EXPECT_EQ(source->Fire(2), S_OK);
    EXPECT_EQ(source->Fire(99, {Variant::FromI4(1), Variant::FromString(L"z")}), S_OK);
    w->EventsListView->SetChecked(ItemNamed(w, L"Closed"), true);
    EXPECT_TRUE(w->EventHandled(L"CLOSED"));
    EXPECT_EQ(source->Fire(2), S_OK);
    EXPECT_EQ(w->EventLogText(), L"Changed (x)\r\n<Unknown(DispID=0x00000063)> (1, z)\r\nClosed ()\r\n");

    w->btnClearEvents->Click();
    EXPECT_EQ(w->EventLogText(), L"");
}

// A window opens with its Properties page only; each other page is built when first shown (or when the
// window is idle) and then shows what arrived before it: the events logged meanwhile, the functions,
// the Script page's named objects.
TEST_F(EventsPage, PagesAreBuiltWhenFirstShownWithWhatCameBefore) {
    const Variant v = Variant::FromDispatch(source.Get());
    auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), nullptr));
    ASSERT_TRUE(w); // loaded and shown, the idle builder not run yet
    EXPECT_TRUE(w->PropertiesTreeView && !w->FunctionsListView && !w->EventsListView && !w->ScriptFrame);
    EXPECT_TRUE(w->EventsTabSheet->TabVisible());
    EXPECT_EQ(source->Fire(1, {Variant::FromString(L"early")}), S_OK);

    w->ShowTab(TDispatchBrowserTab::bsEvents);
    ASSERT_TRUE(w->EventsListView);
    EXPECT_EQ(w->EventsListView->Count(), 2);
    EXPECT_EQ(w->EventsMemo->Text(), L"Changed (early)\r\n");
    w->ShowTab(TDispatchBrowserTab::bsFunctions);
    ASSERT_TRUE(w->FunctionsListView);
    EXPECT_GT(w->FunctionsListView->Count(), 0);
    EXPECT_FALSE(w->ScriptFrame);
    while (w->BuildNextPage()) {}
    ASSERT_TRUE(w->ScriptFrame);
    EXPECT_EQ(w->ScriptFrame->GlobalVarsLabel->Text(), L"DFixture");
}

// The filter shows the events whose names contain its text; one it hides keeps its check box's state
// and is handled or not as that says; clearing the filter shows it again as it was.
TEST_F(EventsPage, TheFilterHidesEventsWithoutChangingWhichAreHandled) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    w->EventsListView->SetChecked(ItemNamed(w, L"Closed"), false);
    w->EventsListView->Select(ItemNamed(w, L"Changed"));
    w->EventsFilterEdit->SetText(L"ANG");
    TForm::ProcessMessages();
    ASSERT_EQ(w->EventsListView->Count(), 1);
    EXPECT_EQ(w->EventsListView->ItemText(w->EventsListView->Selected()), L"Changed");
    EXPECT_FALSE(w->EventHandled(L"Closed"));
    EXPECT_EQ(source->Fire(2), S_OK);
    EXPECT_EQ(source->Fire(1, {Variant::FromString(L"x")}), S_OK);
    EXPECT_EQ(w->EventLogText(), L"Changed (x)\r\n");
    ::SendMessageW(w->EventsFilterEdit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    TForm::ProcessMessages();
    ASSERT_EQ(w->EventsListView->Count(), 2);
    EXPECT_FALSE(w->EventsListView->Checked(ItemNamed(w, L"Closed")));
    EXPECT_TRUE(w->EventsListView->Checked(ItemNamed(w, L"Changed")));
}

TEST_F(EventsPage, AStormOfEventsKeepsEveryLineInOrder) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    constexpr int kEvents = 5000; // well beyond an edit box's default limit of 30,000 characters
    for (int i = 0; i < kEvents; ++i) ASSERT_EQ(source->Fire(1, {Variant::FromString(std::to_wstring(i))}), S_OK);
    TForm::ProcessMessages();
    std::wistringstream log(w->EventLogText());
    std::wstring line;
    int n = 0;
    while (std::getline(log, line)) {
        ASSERT_EQ(line, L"Changed (" + std::to_wstring(n) + L")\r");
        ++n;
    }
    EXPECT_EQ(n, kEvents);
}

// Over its limits the log drops its oldest lines in chunks (down to 9 of 10 here, however the events
// were batched) and its first line counts every line dropped; Clear starts the count again.
TEST_F(EventsPage, AFullLogDropsItsOldestLinesAndSaysHowMany) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    w->EventLog().SetLimits({10, 1 << 20});
    int fired = 0;
    const auto fireUpTo = [&](int count) {
        for (; fired < count; ++fired) ASSERT_EQ(source->Fire(1, {Variant::FromString(std::to_wstring(fired))}), S_OK);
    };
    // The log when it holds the newest `kept` lines after the note for the others.
    const auto expected = [&](int kept) {
        std::wstring text = kept < fired ? L"(" + std::to_wstring(fired - kept) + L" earlier lines not shown)\r\n"
                                         : std::wstring();
        for (int i = fired - kept; i < fired; ++i) text += L"Changed (" + std::to_wstring(i) + L")\r\n";
        return text;
    };
    for (const int count : {25, 40, 0, 25}) {
        if (count == 0) {
            w->btnClearEvents->Click();
            fired = 0;
        }
        fireUpTo(count);
        const std::wstring log = w->EventLogText();
        EXPECT_TRUE(log == expected(9) || log == expected(10) || (count == 0 && log.empty())) << log;
    }
}

TEST_F(EventsPage, ClosingTheWindowUnadvisesTheSink) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w && source->Advised());
    w->Free();
    TForm::ProcessMessages();
    EXPECT_FALSE(source->Advised());
    EXPECT_EQ(source->Fire(1, {Variant::FromString(L"late")}), E_FAIL);
}

// The names a window gives its scripts: the Application alone on the Application, the Application and
// the object otherwise, the object alone without an Application.
TEST_F(EventsPage, TheScriptPageNamesTheApplicationAndTheObjectOnce) {
    const auto labelOf = [&](IDispatch* application) {
        HostApplication = application;
        TDispatchBrowser* w = Open();
        const std::wstring label = w ? w->ScriptFrame->GlobalVarsLabel->Text() : L"<no window>";
        if (w) w->Free();
        TForm::ProcessMessages();
        HostApplication.Reset();
        return label;
    };
    EXPECT_EQ(labelOf(source.Get()), L"Application");
    const ComPtr<FixtureDispatch> other = FixtureDispatch::Create();
    EXPECT_EQ(labelOf(other.Get()), L"Application, DFixture");
    EXPECT_EQ(labelOf(nullptr), L"DFixture");
}

// Procedures named after the object and the event run before the log line, on checked events only,
// in either language; their result and by-reference arguments reach the object that fired.
TEST_F(EventsPage, EventProceduresRunBeforeTheLogLine) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    TScriptFrame& frame = *w->ScriptFrame;
    frame.Editor().SetLines(L"Sub DFixture_Changed(what)\r\n  Debug.Print \"saw \" & what\r\n  what = \"changed\"\r\n"
                            L"End Sub\r\nFunction dfixture_closed()\r\n  DFixture_Closed = 5\r\nEnd Function\r\n");
    // The argument changed by the procedure is what the log shows: the procedure ran first.
    UniqueBstr what; // the argument by reference, as Word passes Cancel
    VARIANT ref;
    V_VT(&ref) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&ref) = what.Put();
    *V_BSTRREF(&ref) = ::SysAllocString(L"x");
    ASSERT_EQ(source->Fire(1, {Variant(ref)}), S_OK);
    EXPECT_EQ(std::wstring(what.Get()), L"changed");
    Variant result;
    ASSERT_EQ(source->Fire(2, {}, result.Put()), S_OK);
    EXPECT_EQ(V_VT(&result.Get()), VT_I2);
    EXPECT_EQ(V_I2(&result.Get()), 5);
    EXPECT_EQ(w->EventLogText(), L"Changed (changed)\r\nClosed ()\r\n");
    EXPECT_EQ(frame.DebugText(), L"saw x\r\n");

    // An unchecked event runs nothing and logs nothing.
    w->EventsListView->SetChecked(ItemNamed(w, L"Changed"), false);
    ASSERT_EQ(source->Fire(1, {Variant::FromString(L"y")}), S_OK);
    EXPECT_EQ(frame.DebugText(), L"saw x\r\n");

    // JScript, chosen in the language box.
    frame.SelectLanguage(1, false);
    frame.Editor().SetLines(L"function DFixture_Closed() { Debug.Print(\"js closed\"); }");
    ASSERT_EQ(source->Fire(2), S_OK);
    EXPECT_EQ(frame.DebugText(), L"saw x\r\njs closed\r\n");
}

// A procedure name only in a comment is no procedure: no box, the event logged. A failing procedure
// shows one box, marks the error, and the event is still logged and answered S_OK; failures while that
// box is up (the object fires from inside its message loop) are logged one line each.
TEST_F(EventsPage, AFailingProcedureShowsOneBoxAtATimeAndACommentIsNoProcedure) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    w->ScriptFrame->Editor().SetLines(L"' DFixture_Closed is not written yet");
    MessageBoxRecorder boxes;
    EXPECT_EQ(source->Fire(2), S_OK);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(w->EventLogText(), L"Closed ()\r\n");

    w->btnClearEvents->Click();
    w->ScriptFrame->Editor().SetLines(L"Sub DFixture_Closed()\r\n  x = 1 / 0\r\nEnd Sub");
    int fired = 0;
    std::vector<MessageBoxRequest> shown;
    const MessageBoxInterceptor previous = SetMessageBoxInterceptor([&](const MessageBoxRequest& r) {
        shown.push_back(r);
        for (; fired < 3; ++fired) source->Fire(2); // a storm while the box is up
        return IDOK;
    });
    EXPECT_EQ(source->Fire(2), S_OK);
    SetMessageBoxInterceptor(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"Script Error");
    EXPECT_EQ(shown[0].text.rfind(L"Error executing script:\r\n", 0), 0u);
    EXPECT_EQ(shown[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(w->ScriptFrame->Editor().SelLength(), 1);
    const std::wstring failed = L"(DFixture_Closed failed: " + OneLineText(shown[0].text.substr(25)) + L")\r\n";
    EXPECT_EQ(w->EventLogText(), L"Closed ()\r\n" + failed + L"Closed ()\r\n" + failed + L"Closed ()\r\n" + failed +
                                     L"Closed ()\r\n");
    // Once the box is gone, the next failure shows one again.
    EXPECT_EQ(source->Fire(2), S_OK);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

// An event fired from inside a running procedure runs its own procedure on an engine of its own, and
// the outer one goes on; procedures that keep firing stop at the nesting limit with a note.
TEST_F(EventsPage, AnEventFromInsideAProcedureRunsOnAnEngineOfItsOwn) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    TScriptFrame& frame = *w->ScriptFrame;
    frame.Editor().SetLines(L"Sub DFixture_Changed(what)\r\n  x = DFixture.Label\r\n  Debug.Print \"after \" & what\r\n"
                            L"End Sub\r\nSub DFixture_Closed()\r\n  Debug.Print \"closed\"\r\nEnd Sub\r\n");
    source->onMemberCall = [&] { source->Fire(2); };
    ASSERT_EQ(source->Fire(1, {Variant::FromString(L"x")}), S_OK);
    EXPECT_EQ(w->EventLogText(), L"Closed ()\r\nChanged (x)\r\n");
    EXPECT_EQ(frame.DebugText(), L"closed\r\nafter x\r\n");

    // Each Closed procedure makes the object fire Closed again.
    w->btnClearEvents->Click();
    frame.ClearDebug();
    frame.Editor().SetLines(L"Sub DFixture_Closed()\r\n  x = DFixture.Label\r\nEnd Sub\r\n");
    ASSERT_EQ(source->Fire(2), S_OK);
    const std::wstring log = w->EventLogText();
    const std::wstring note = L"(DFixture_Closed not run: 8 event procedures are running inside each other)\r\n";
    EXPECT_EQ(log, std::wstring(L"Closed ()\r\n") + note + [] {
        std::wstring lines;
        for (int i = 0; i < TScriptFrame::kMaxNestedProcedures + 1; ++i) lines += L"Closed ()\r\n";
        return lines;
    }());
}

} // namespace

// The log's tools: the time column from the first event since Clear, only on lines logged while it is
// on; Pause counts events (their procedures still run) and says how many on resume; Save As writes the
// logged events as CSV (quoted fields, BOM, CRLF), and a file it cannot write is a box, not a throw.
TEST_F(EventsPage, TimePauseAndSaveAsCsv) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    TScriptFrame& frame = *w->ScriptFrame;
    frame.Editor().SetLines(L"Sub DFixture_Changed(what)\r\n  Debug.Print what\r\nEnd Sub\r\n");
    const auto fire = [&](const std::wstring& what) { ASSERT_EQ(source->Fire(1, {Variant::FromString(what)}), S_OK); };
    fire(L"a,b");
    w->btnEventTime->Click();
    fire(L"say \"hi\"");
    w->btnEventTime->Click();
    ASSERT_EQ(source->Fire(2), S_OK);
    w->btnPauseEvents->Click();
    fire(L"p1");
    fire(L"p2");
    EXPECT_EQ(frame.DebugText(), L"a,b\r\nsay \"hi\"\r\np1\r\np2\r\n");
    w->btnPauseEvents->Click();

    std::wistringstream log(w->EventLogText());
    std::vector<std::wstring> lines;
    for (std::wstring line; std::getline(log, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    std::wsmatch time;
    ASSERT_TRUE(std::regex_match(lines[1], time, std::wregex(LR"( *(\d+\.\d{3})  Changed \(say "hi"\)\r)")))
        << lines[1];
    EXPECT_EQ(lines[1].find(L"  Changed"), 10u); // right-aligned in ten characters
    const std::wstring expectedLog[] = {L"Changed (a,b)\r", lines[1], L"Closed ()\r",
                                        L"(2 events not logged while paused)\r"};
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expectedLog[i]) << i;

    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring file = std::wstring(dir) + L"qs_events_log.csv";
    std::vector<std::wstring> boxes;
    auto previousBox = SetMessageBoxInterceptor([&](const MessageBoxRequest& r) {
        boxes.push_back(r.text);
        return IDOK;
    });
    std::wstring target;
    auto previousDialog = SetFileDialogInterceptor([&](FileDialogRequest& r) {
        EXPECT_TRUE(r.save);
        r.fileName = target;
        return true;
    });
    const std::string utf8Time(time[1].first, time[1].second); // digits and a point only
    const struct {
        std::wstring target;
        std::string bytes; // empty: not written, one box
    } cases[] = {
        {file, "\xEF\xBB\xBFTime,Event,Arguments\r\n,Changed,\"a,b\"\r\n" + utf8Time +
                   ",Changed,\"say \"\"hi\"\"\"\r\n,Closed,\r\n"},
        {std::wstring(dir), ""}, // a folder cannot be written as a file
    };
    for (const auto& c : cases) {
        target = c.target;
        boxes.clear();
        w->btnSaveEvents->Click();
        if (c.bytes.empty()) {
            EXPECT_EQ(boxes.size(), 1u);
            continue;
        }
        EXPECT_TRUE(boxes.empty());
        std::ifstream in(std::filesystem::path(file), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.bytes);
    }
    SetFileDialogInterceptor(previousDialog);
    SetMessageBoxInterceptor(previousBox);
    ::DeleteFileW(file.c_str());
}
