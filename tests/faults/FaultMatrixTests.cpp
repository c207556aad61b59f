// The fault matrix: every user flow that calls out of the tool (a call from the Functions page, with
// and without the parameters dialog, QueryInterface through the interface dialog, a Script Editor run,
// a script's message box, BrowseObject on the Debug object, a Script page event procedure, an event
// storm, the editor's prompts) runs once for every re-entrancy point it passes through and every way
// the world can change there: the host window destroyed, the host's close cancelled or accepted, the
// window itself closed, the object dying. Each case then checks that no fault was raised (Wine
// swallows them inside window procedures, so a vectored handler counts them), that no box of a closed
// window was shown, and, once everything is closed, that every reference, window, GDI object and
// module lock came back.
#include "Fixtures.h"
#include "HostWindow.h"
#include "ProcessProbes.h"
#include "SingleSinkSource.h"
#include "browser/fDispatchBrowser.h"
#include "browser/fFunctionParamsDlg.h"
#include "browser/fSelectGUIDDialog.h"
#include "com/ComServEx.h"
#include "common/qsModule.h"
#include "script/fScriptForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

// ---- the world a case runs in ----

// An object described by DFixture that fires DFixtureEvents, and whose member calls are re-entrancy
// points: `onCall` runs at the start of every call. Name reads "Fault", Partial returns 1, Add the sum
// of its arguments, Print and anything else nothing.
class FaultObject : public SingleSinkSource {
public:
    static ComPtr<FaultObject> Create() { return AttachNew(new FaultObject()); }
    std::function<void(DISPID)> onCall;
    bool failing = false; // members raise an error
    bool dead = false;    // as an object whose server went away: every call fails

    HRESULT FireChanged(const wchar_t* what) {
        if (dead) return RPC_E_DISCONNECTED;
        Variant arg = Variant::FromString(what);
        VARIANT raw = arg.Get();
        DISPPARAMS dp{&raw, nullptr, 1, 0};
        return Fire(1, dp);
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                        UINT*) override {
        if (dead) return RPC_E_DISCONNECTED;
        if (onCall) {
            const auto call = onCall;
            call(id);
        }
        if (dead) return RPC_E_DISCONNECTED;
        if (failing) {
            if (excep) {
                *excep = EXCEPINFO{};
                excep->scode = E_FAIL;
                excep->bstrSource = ::SysAllocString(L"FaultObject");
                excep->bstrDescription = ::SysAllocString(L"The object failed.");
            }
            return DISP_E_EXCEPTION;
        }
        if (result) ::VariantInit(result);
        switch (id) {
        case fxName:
            if (result && (flags & DISPATCH_PROPERTYGET)) {
                V_VT(result) = VT_BSTR;
                V_BSTR(result) = ::SysAllocString(L"Fault");
            }
            return S_OK;
        case fxPartial:
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = 1;
            }
            return S_OK;
        case fxAdd: {
            LONG sum = 0;
            for (UINT i = 0; params && i < params->cArgs; ++i) {
                Variant v;
                if (SUCCEEDED(::VariantChangeType(v.Put(), &params->rgvarg[i], 0, VT_I4))) sum += V_I4(&v.Get());
            }
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = sum;
            }
            return S_OK;
        }
        default:
            return S_OK;
        }
    }

private:
    FaultObject()
        : SingleSinkSource(FixtureTypeByName(L"DFixture"), FixtureTypeByName(L"FixtureObject"), DIID_DFixtureEvents) {}
};

// ---- the table ----

enum class Flow {
    SelectProperty,   // the Properties page reads a value
    CallMethod,       // the Functions page calls a method without parameters
    CallWithParams,   // ... a method with parameters, through the parameters dialog
    QueryInterface,   // QueryInterface for IID_IUnknown through the interface dialog
    QueryBadText,     // the interface dialog given a text that is no GUID
    EditorRun,        // the Script Editor runs a script that calls the object
    EditorMsgBox,     // the Script Editor's script shows a message box
    BrowseDebug,      // BrowseObject Debug, then Print called from that window after the editor went
    EventProcedure,   // the object fires an event whose Script page procedure calls it back
    FindPrompt,       // the editor's Find prompt
    GoToPrompt,       // the editor's Go to Line prompt
};

enum class Point {
    ObjectCall,  // inside a call of the object's members (from the window, a script or a procedure)
    ResultBox,   // inside the box that reports the call or its failure
    Dialog,      // while a modal dialog of the window is up
    DialogBox,   // inside the interface dialog's "Could not convert" box
    ScriptBox,   // inside a script's own message box
    AfterBrowse, // after BrowseObject opened its window
};

enum class Act {
    None,
    DestroyHost,        // the host window is destroyed
    HostCloseCancelled, // the host is asked to close and refuses
    HostCloseAccepted,  // the host is asked to close and does
    CloseWindow,        // the window itself is closed (its X, a script, the host's hook)
    KillObject,         // the object's server goes away: every later call fails
    StormThenDestroy,   // 300 events arrive, the host window is destroyed, 300 more arrive
    StormThenClose,     // 300 events arrive, the window is closed, 300 more arrive
};

struct Case {
    Flow flow;
    Point point;
    Act act;
    bool objectFails = false; // the object's members fail (to reach the error boxes)
};

const char* Name(Flow f) {
    const char* names[] = {"SelectProperty", "CallMethod",     "CallWithParams", "QueryInterface",
                           "QueryBadText",   "EditorRun",      "EditorMsgBox",   "BrowseDebug",
                           "EventProcedure", "FindPrompt",     "GoToPrompt"};
    return names[static_cast<int>(f)];
}
const char* Name(Point p) {
    const char* names[] = {"ObjectCall", "ResultBox", "Dialog", "DialogBox", "ScriptBox", "AfterBrowse"};
    return names[static_cast<int>(p)];
}
const char* Name(Act a) {
    const char* names[] = {"None",        "DestroyHost", "HostCloseCancelled", "HostCloseAccepted",
                           "CloseWindow", "KillObject",  "StormThenDestroy",   "StormThenClose"};
    return names[static_cast<int>(a)];
}

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << Name(c.flow) << "/" << Name(c.point) << "/" << Name(c.act) << (c.objectFails ? "/failing" : "");
}

// Every point each flow passes through, with every act that makes sense there.
std::vector<Case> AllCases() {
    const Act closing[] = {Act::DestroyHost, Act::HostCloseCancelled, Act::HostCloseAccepted, Act::CloseWindow};
    std::vector<Case> cases;
    const auto add = [&](Flow f, Point p, bool withKill, bool fails = false) {
        for (Act a : closing) cases.push_back({f, p, a, fails});
        if (withKill) cases.push_back({f, p, Act::KillObject, fails});
    };
    add(Flow::SelectProperty, Point::ObjectCall, true);
    add(Flow::CallMethod, Point::ObjectCall, true);
    add(Flow::CallMethod, Point::ResultBox, false);
    add(Flow::CallMethod, Point::ResultBox, false, true);
    add(Flow::CallWithParams, Point::Dialog, true);
    add(Flow::CallWithParams, Point::ObjectCall, true);
    add(Flow::QueryInterface, Point::Dialog, false);
    add(Flow::QueryInterface, Point::ResultBox, false);
    add(Flow::QueryBadText, Point::DialogBox, false);
    add(Flow::EditorRun, Point::ObjectCall, true);
    add(Flow::EditorRun, Point::ResultBox, false, true);
    add(Flow::EditorMsgBox, Point::ScriptBox, false);
    add(Flow::BrowseDebug, Point::AfterBrowse, false);
    add(Flow::EventProcedure, Point::ObjectCall, true);
    add(Flow::EventProcedure, Point::ResultBox, false, true);
    add(Flow::FindPrompt, Point::Dialog, false);
    add(Flow::GoToPrompt, Point::Dialog, false);
    for (Act a : {Act::StormThenDestroy, Act::StormThenClose}) {
        cases.push_back({Flow::CallMethod, Point::ResultBox, a});
        cases.push_back({Flow::CallWithParams, Point::Dialog, a});
        cases.push_back({Flow::EventProcedure, Point::ObjectCall, a});
    }
    return cases;
}

// ---- one run ----

// The captions of the boxes a window shows about itself; one of these after its window was closed for
// good is a box nobody asked for. (The call's own report may still come: the user asked for the call.)
bool IsWindowsOwnBox(const std::wstring& caption) {
    return caption == L"Script Error" || caption == L"IDispatch::QueryInterface" || caption == L"Error";
}

class CaseRun {
public:
    explicit CaseRun(const Case& c) : m_case(c), m_host(c.act == Act::HostCloseCancelled) {
        s_current = this;
        m_object = FaultObject::Create();
        m_object->failing = c.objectFails;
        m_object->onCall = [this](DISPID id) {
            if (id == fxPartial || id == fxAdd || id == fxName) Hit(Point::ObjectCall);
        };
        m_previousBox = SetMessageBoxInterceptor([this](const MessageBoxRequest& r) { return OnBox(r); });
        m_previousModal = SetModalInterceptor([this](TForm& f) { return OnModal(f); });
    }
    ~CaseRun() {
        SetMessageBoxInterceptor(std::move(m_previousBox));
        SetModalInterceptor(std::move(m_previousModal));
        s_current = nullptr;
    }
    CaseRun(const CaseRun&) = delete;
    CaseRun& operator=(const CaseRun&) = delete;

    // Runs the flow, then closes whatever is still open.
    void Execute() {
        switch (m_case.flow) {
        case Flow::SelectProperty: SelectProperty(); break;
        case Flow::CallMethod: CallFunction(L"Partial"); break;
        case Flow::CallWithParams: CallFunction(L"Add"); break;
        case Flow::QueryInterface:
        case Flow::QueryBadText: QueryInterface(); break;
        case Flow::EditorRun: EditorRun(L"Application.Partial\r\nDebug.Print \"after the call\""); break;
        case Flow::EditorMsgBox: EditorMsgBox(); break;
        case Flow::BrowseDebug: BrowseDebug(); break;
        case Flow::EventProcedure: EventProcedure(); break;
        case Flow::FindPrompt:
        case Flow::GoToPrompt: Prompt(); break;
        }
        TForm::ProcessMessages();
        CloseEverything();
    }

    ULONG ObjectRefs() const { return m_object->RefCount(); }
    bool ObjectAdvised() const { return m_object->Advised(); }
    bool Acted() const { return m_acted; }
    const std::vector<std::wstring>& UnaskedBoxes() const { return m_unaskedBoxes; }
    const std::vector<std::wstring>& UsableUnderDialog() const { return m_usableUnderDialog; }

private:
    // The act, at the case's point, once.
    void Hit(Point p) {
        if (p != m_case.point || m_acted || m_case.act == Act::None) return;
        m_acted = true;
        switch (m_case.act) {
        case Act::None: break;
        case Act::DestroyHost: ::DestroyWindow(m_host.hwnd); break;
        case Act::HostCloseCancelled:
        case Act::HostCloseAccepted: ::SendMessageW(m_host.hwnd, WM_CLOSE, 0, 0); break;
        case Act::CloseWindow: CloseWindow(); break;
        case Act::KillObject: m_object->dead = true; break;
        case Act::StormThenDestroy:
        case Act::StormThenClose:
            Storm();
            if (m_case.act == Act::StormThenDestroy) ::DestroyWindow(m_host.hwnd);
            else CloseWindow();
            Storm();
            break;
        }
    }

    void CloseWindow() {
        if (TForm* f = m_window.Get()) ::SendMessageW(f->Handle(), WM_CLOSE, 0, 0);
    }

    void Storm() {
        for (int i = 0; i < 300; ++i) m_object->FireChanged(L"storm");
    }

    bool WindowGone() const {
        TForm* f = m_window.Get();
        return !f || f->Closing();
    }

    int OnBox(const MessageBoxRequest& r) {
        if (WindowGone() && IsWindowsOwnBox(r.caption)) m_unaskedBoxes.push_back(r.caption + L": " + r.text);
        if (r.owner && !::IsWindow(r.owner)) m_unaskedBoxes.push_back(L"(owner gone) " + r.caption);
        if (r.caption == L"Error") Hit(Point::DialogBox);
        else Hit(Point::ResultBox);
        return IDOK;
    }

    int OnModal(TForm& f) {
        const TOwnCode own(&f);
        // The window that asked cannot be used, or closed by its user, underneath its dialog.
        if (TForm* w = m_window.Get(); w && !w->Closing() && ::IsWindowEnabled(w->Handle()))
            m_usableUnderDialog.push_back(f.Text());
        Hit(Point::Dialog);
        if (own.Closed()) return IDCANCEL;
        if (auto* params = dynamic_cast<TFunctionParamsDlg*>(&f)) {
            for (int row = 1; row < params->Grid->RowCount(); ++row) params->Grid->SetCell(2, row, L"2");
            return IDOK;
        }
        if (auto* guid = dynamic_cast<TSelectGUIDDialog*>(&f)) {
            guid->GUIDComboBox->SetText(m_case.flow == Flow::QueryBadText ? L"not a GUID" : L"IID_IUnknown");
            guid->OKBtn->Click();
            if (own.Closed()) return IDCANCEL;
            return guid->ModalResult ? guid->ModalResult : IDCANCEL;
        }
        return IDOK; // the editor's prompts, as they are
    }

    TDispatchBrowser* OpenBrowser() {
        const Variant v = Variant::FromDispatch(m_object.Get());
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), m_host.hwnd));
        TForm::ProcessMessages();
        // Every page built, as once the window has been idle; a fault met on the way may close it.
        m_window = TWeakLink<TForm>(w);
        while (m_window.Get() && w->BuildNextPage()) TForm::ProcessMessages();
        return dynamic_cast<TDispatchBrowser*>(m_window.Get());
    }

    TScriptForm* OpenEditor() {
        auto* editor = new TScriptForm(nullptr, m_host.hwnd, m_object.Get());
        editor->Show();
        TForm::ProcessMessages();
        m_window = TWeakLink<TForm>(editor);
        return editor;
    }

    void SelectProperty() {
        TDispatchBrowser* w = OpenBrowser();
        ASSERT_TRUE(w);
        for (HTREEITEM c : w->PropertiesTreeView->ChildrenOf(w->MainPropertyNode()))
            if (w->PropertiesTreeView->ItemText(c) == L"Name") {
                w->PropertiesTreeView->Select(c);
                break;
            }
    }

    void CallFunction(const std::wstring& name) {
        TDispatchBrowser* w = OpenBrowser();
        ASSERT_TRUE(w);
        for (int i = 0; i < w->FunctionsListView->Count(); ++i)
            if (w->FunctionsListView->ItemText(i) == name) w->FunctionsListView->Select(i);
        TForm::ProcessMessages();
        ASSERT_TRUE(w->ToolBar3->ButtonEnabled(w->CallButton)) << "no row " << testing::PrintToString(name);
        w->ToolBar3->Click(w->CallButton);
    }

    void QueryInterface() {
        TDispatchBrowser* w = OpenBrowser();
        ASSERT_TRUE(w);
        w->btnQueryInterface->Click();
    }

    void EditorRun(const std::wstring& code) {
        TScriptForm* editor = OpenEditor();
        editor->ScriptFrame->Editor().SetLines(code);
        editor->ScriptFrame->ToolBar1->Click(editor->ScriptFrame->RunButton);
    }

    // The script's message box is the engine's own: a timer acts while it is up, then answers it.
    void EditorMsgBox() {
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &CaseRun::MsgBoxTimer);
        EditorRun(L"MsgBox \"hello\"");
        ::KillTimer(nullptr, timer);
    }
    static void CALLBACK MsgBoxTimer(HWND, UINT, UINT_PTR, DWORD) {
        CaseRun* run = s_current;
        if (!run) return;
        HWND box = nullptr;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hwnd, LPARAM found) CALLBACK -> BOOL {
                wchar_t cls[16] = L"";
                ::GetClassNameW(hwnd, cls, 16);
                if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(hwnd)) return TRUE;
                *reinterpret_cast<HWND*>(found) = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        if (!box) return;
        run->Hit(Point::ScriptBox);
        if (::IsWindow(box)) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    void BrowseDebug() {
        TScriptForm* editor = OpenEditor();
        editor->ScriptFrame->Editor().SetLines(L"BrowseObject Debug");
        editor->ScriptFrame->ToolBar1->Click(editor->ScriptFrame->RunButton);
        TForm::ProcessMessages();
        auto* debugWindow = dynamic_cast<TDispatchBrowser*>(TParentedForm::ParentedForms().back());
        ASSERT_TRUE(debugWindow);
        const TWeakLink<TForm> debugLink(debugWindow);
        Hit(Point::AfterBrowse);
        TForm::ProcessMessages();
        if (auto* w = dynamic_cast<TDispatchBrowser*>(debugLink.Get())) {
            if (w->Closing()) return;
            // Print from the window on the Debug object, whose pane may be gone.
            m_window = TWeakLink<TForm>(w);
            w->ShowTab(TDispatchBrowserTab::bsFunctions);
            if (!w->FunctionsListView) return;
            for (int i = 0; i < w->FunctionsListView->Count(); ++i)
                if (w->FunctionsListView->ItemText(i) == L"Print") w->FunctionsListView->Select(i);
            TForm::ProcessMessages();
            w->ToolBar3->Click(w->CallButton);
        }
    }

    void EventProcedure() {
        TDispatchBrowser* w = OpenBrowser();
        ASSERT_TRUE(w);
        ASSERT_TRUE(m_object->Advised());
        w->ScriptFrame->Editor().SetLines(L"Sub DFixture_Changed(what)\r\nDFixture.Partial\r\nEnd Sub\r\n");
        m_object->FireChanged(L"first");
        TForm::ProcessMessages();
        m_object->FireChanged(L"second"); // after whatever the first one closed
    }

    void Prompt() {
        TScriptForm* editor = OpenEditor();
        editor->ScriptFrame->Editor().SetLines(L"one\r\ntwo\r\n");
        if (m_case.flow == Flow::FindPrompt) editor->ScriptFrame->Editor().ShowFindDialog();
        else editor->ScriptFrame->Editor().ShowGoToLineDialog();
    }

    void CloseEverything() {
        // Newest first; a form may take others with it, so each one is looked up again.
        for (int left = 100; left > 0 && !TForm::AllForms().empty(); --left) TForm::AllForms().back()->Free();
        ::DestroyWindow(m_host.hwnd);
        TForm::ProcessMessages();
    }

    static inline CaseRun* s_current = nullptr;
    Case m_case;
    HostWindow m_host;
    ComPtr<FaultObject> m_object;
    TWeakLink<TForm> m_window;
    bool m_acted = false;
    std::vector<std::wstring> m_unaskedBoxes;
    std::vector<std::wstring> m_usableUnderDialog;
    MessageBoxInterceptor m_previousBox;
    ModalInterceptor m_previousModal;
};

// The process as it is once every flow has run in a quiet world: shared objects (fonts, classes, the
// script engines' own) exist from then on.
ProcessCounts g_baseline;

class Matrix : public ::testing::Environment {
public:
    void SetUp() override {
        UseTheBuiltModulesTypeLibrary();
        // BrowseObject opens browser windows, as in the add-in.
        InitializeScriptObjects([](TForm* form, const VARIANT& value, HWND owner) {
            BrowseValue(dynamic_cast<TValueBrowser*>(form), value, owner);
        });
        for (int flow = 0; flow <= static_cast<int>(Flow::GoToPrompt); ++flow) {
            CaseRun run({static_cast<Flow>(flow), Point::ObjectCall, Act::None});
            run.Execute();
        }
        g_baseline = CountProcessObjects();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Matrix);

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, NoFaultNoUnaskedBoxAndEverythingComesBack) {
    const Case& c = GetParam();
    FaultRecorder faults;
    ULONG refs = 0;
    bool advised = true;
    bool acted = false;
    std::vector<std::wstring> unasked;
    {
        CaseRun run(c);
        run.Execute();
        refs = run.ObjectRefs();
        advised = run.ObjectAdvised();
        acted = run.Acted();
        unasked = run.UnaskedBoxes();
        EXPECT_TRUE(run.UsableUnderDialog().empty()) << testing::PrintToString(run.UsableUnderDialog());
    }
    EXPECT_TRUE(acted) << "the flow never reached its point";
    EXPECT_EQ(faults.Faults(), 0) << "last fault: " << testing::PrintToString(faults.Last());
    EXPECT_TRUE(unasked.empty()) << testing::PrintToString(unasked);
    EXPECT_EQ(refs, 1u) << "references to the object left behind";
    EXPECT_FALSE(advised);
    EXPECT_TRUE(TForm::AllForms().empty());
    EXPECT_EQ(ModuleLockCount(), 0);
    EXPECT_EQ(ServerCanUnloadNow(), S_OK);
    const ProcessCounts now = CountProcessObjects();
    EXPECT_EQ(now.userObjects, g_baseline.userObjects) << "windows left behind: " << testing::PrintToString(DescribeWindows());
    EXPECT_EQ(now.gdiObjects, g_baseline.gdiObjects) << "GDI objects left behind";
}

INSTANTIATE_TEST_SUITE_P(EveryPoint, FaultMatrix, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = Name(info.param.flow);
                             name += std::string("_") + Name(info.param.point) + "_" + Name(info.param.act);
                             if (info.param.objectFails) name += "_Failing";
                             return name;
                         });

} // namespace
