// The script frame and the stand-alone Script Editor window with the real engines: history (head, case,
// blanks, 100 kept, two frames merged, long scripts not stored, only changes written), history buttons,
// the debug pane's limit, the error box and position, languages and files in every encoding, file
// errors, F5 running once, and the global names.
#include "ScriptTesting.h"
#include "common/qsMessageBox.h"
#include "script/fScriptForm.h"
#include "ui/uOptions.h"
#include "ui/uUtilsDialogs.h"


using namespace qs;
using namespace qs::ui;
using namespace qs::test;

namespace {

class ScriptEditor : public test::ScriptTest {
protected:
    void SetUp() override {
        ClearHistory();
        previousBoxes = SetMessageBoxInterceptor([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return IDOK;
        });
        form = NewForm();
        frame = form->ScriptFrame;
    }
    void TearDown() override {
        for (TScriptForm* f : {form, other})
            if (f) f->Free();
        TForm::ProcessMessages();
        SetMessageBoxInterceptor(std::move(previousBoxes));
        SetFileDialogInterceptor(nullptr);
        RemoveF5KeyHook();
        ClearHistory();
    }
    static void ClearHistory() {
        for (int n = 1; n <= 101; ++n) Options().SetValue(L"Script" + std::to_wstring(n), L"");
        SaveOptions();
    }
    static TScriptForm* NewForm() {
        auto* f = new TScriptForm(nullptr, nullptr, nullptr);
        f->Show();
        TForm::ProcessMessages();
        return f;
    }
    HRESULT Run(TScriptFrame& f, const std::wstring& text) {
        f.Editor().SetLines(text);
        return f.Run();
    }
    std::vector<MessageBoxRequest> boxes;
    MessageBoxInterceptor previousBoxes;
    TScriptForm* form = nullptr;
    TScriptForm* other = nullptr;
    TScriptFrame* frame = nullptr;
};

TEST_F(ScriptEditor, HistoryKeepsOneEntryPerTextNewestFirstAndSkipsBlankScripts) {
    Run(*frame, L"x = 1");
    Run(*frame, L"y = 2");
    Run(*frame, L"x = 1"); // again: moves to the head
    Run(*frame, L"Y = 2"); // differs only in case: replaces the older entry
    Run(*frame, L"  \r\n\r\n ");
    EXPECT_EQ(frame->ScriptHistory(), (std::vector<std::wstring>{L"Y = 2", L"x = 1"}));
    EXPECT_EQ(Options().GetValue(L"Script1"), L"Y = 2");
    EXPECT_EQ(Options().GetValue(L"Script3"), L"");
}

TEST_F(ScriptEditor, AHundredAndOneRunsKeepAHundredWithTheOldestLast) {
    for (int i = 0; i <= 100; ++i) Run(*frame, L"x = " + std::to_wstring(i));
    EXPECT_EQ(frame->ScriptHistory().size(), 100u);
    EXPECT_EQ(Options().GetValue(L"Script1"), L"x = 100");
    EXPECT_EQ(Options().GetValue(L"Script100"), L"x = 1");
    EXPECT_EQ(Options().GetValue(L"Script101"), L"");
}

TEST_F(ScriptEditor, TwoFramesMergeTheirRunsInsteadOfErasingEachOther) {
    other = NewForm();
    Run(*frame, L"a = 1");
    Run(*other->ScriptFrame, L"b = 1"); // built before a was run
    EXPECT_EQ(Options().GetValue(L"Script1"), L"b = 1");
    EXPECT_EQ(Options().GetValue(L"Script2"), L"a = 1");
}

// Entries over 64 KiB (32,768 characters) stay in the window's history but are not stored; the stored
// ones are numbered without a gap.
TEST_F(ScriptEditor, AScriptOver64KiBStaysInTheWindowOnly) {
    const struct {
        size_t length;
        bool stored;
    } cases[] = {{32768, true}, {32769, false}};
    for (const auto& c : cases) {
        ClearHistory();
        frame->LoadScriptHistory();
        const std::wstring big = L"'" + std::wstring(c.length - 1, L'a');
        Run(*frame, L"x = 1");
        Run(*frame, big);
        Run(*frame, L"y = 2");
        EXPECT_EQ(frame->ScriptHistory(), (std::vector<std::wstring>{L"y = 2", big, L"x = 1"})) << c.length;
        TOptions stored;
        stored.Load(HKEY_CURRENT_USER, kOptionsKey);
        EXPECT_EQ(stored.GetValue(L"Script2"), c.stored ? big : L"x = 1") << c.length;
        EXPECT_EQ(stored.GetValue(L"Script3"), c.stored ? L"x = 1" : L"") << c.length;
    }
}

// A run that leaves the history as stored writes nothing: values rewritten as REG_EXPAND_SZ keep that
// type until a run changes them.
TEST_F(ScriptEditor, SavingTheHistoryWritesOnlyTheValuesThatChanged) {
    const auto types = [] {
        std::vector<DWORD> list;
        for (const wchar_t* name : {L"Script1", L"Script2"}) {
            DWORD type = REG_NONE;
            ::RegGetValueW(HKEY_CURRENT_USER, kOptionsKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr);
            list.push_back(type);
        }
        return list;
    };
    Run(*frame, L"a = 1");
    Run(*frame, L"b = 1");
    for (const wchar_t* name : {L"Script1", L"Script2"}) {
        const std::wstring value = Options().GetValue(name);
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kOptionsKey, name, REG_EXPAND_SZ, value.c_str(),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    Run(*frame, L"b = 1");
    EXPECT_EQ(types(), (std::vector<DWORD>{REG_EXPAND_SZ, REG_EXPAND_SZ}));
    Run(*frame, L"c = 1");
    EXPECT_EQ(types(), (std::vector<DWORD>{REG_SZ, REG_SZ}));
    EXPECT_EQ(Options().GetValue(L"Script3"), L"a = 1");
}

// The lines the debug pane keeps: the newest, after a first line counting the others until Clear.
TEST_F(ScriptEditor, TheDebugPaneKeepsItsNewestLines) {
    TMemoLines lines(*frame->MemoDebug, nullptr);
    lines.Log().SetLimits({10, 1 << 20});
    std::wstring expected = L"(16 earlier lines not shown)\r\n";
    for (int i = 16; i < 25; ++i) expected += L"p" + std::to_wstring(i) + L"\r\n";
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 25; ++i) lines.AddLine(L"p" + std::to_wstring(i));
        EXPECT_EQ(lines.Text(), expected) << round;
        lines.Clear();
        EXPECT_EQ(lines.Text(), L"");
    }
}

// Positions engines report outside the text: a column of -1 is the line's start, a column past the
// line its end, a line past the text (even 0xFFFFFFFF) the last line.
TEST_F(ScriptEditor, MarkErrorKeepsThePositionInTheText) {
    frame->Editor().SetLines(L"ab\r\ncdef");
    const struct {
        ULONG line;
        LONG col;
        int selStart;
    } cases[] = {{1, -1, 4}, {0, 10, 2}, {5, 2, 6}, {0xFFFFFFFF, 1, 5}};
    for (const auto& c : cases) {
        frame->MarkError(TScriptErrorInfo{L"", c.line, c.col});
        EXPECT_EQ(frame->Editor().SelStart(), c.selStart) << c.line << " " << c.col;
    }
}

TEST_F(ScriptEditor, HistoryButtonsFollowThePositionInTheHistory) {
    TToolBar& bar = *frame->ToolBar1;
    auto states = [&] { return std::make_pair(bar.ButtonEnabled(frame->btnPrevScript), bar.ButtonEnabled(frame->btnNextScript)); };
    EXPECT_EQ(states(), std::make_pair(false, false));
    Run(*frame, L"a = 1");
    EXPECT_EQ(states(), std::make_pair(true, false));
    Run(*frame, L"b = 1");
    bar.Click(frame->btnPrevScript);
    bar.Click(frame->btnPrevScript);
    EXPECT_EQ(frame->Editor().Lines(), L"a = 1");
    EXPECT_EQ(states(), std::make_pair(false, true));
    bar.Click(frame->btnNextScript);
    EXPECT_EQ(frame->Editor().Lines(), L"b = 1");
    EXPECT_EQ(states(), std::make_pair(true, false));
}

// Previous replaces the text as one undoable step, so an unsaved draft comes back with Ctrl+Z; the state
// label tells a text that differs from the one last run; the context menu greys what cannot act.
TEST_F(ScriptEditor, PreviousIsUndoneAndTheStateTellsAnUnrunText) {
    Run(*frame, L"a = 1");
    TCodeEditor& editor = frame->Editor();
    EXPECT_FALSE(frame->Modified());
    editor.InsertText(L"draft ");
    const std::wstring draft = editor.Lines();
    EXPECT_TRUE(frame->Modified());
    EXPECT_EQ(frame->StateLabel->Text(), L"INS   Modified");
    frame->ToolBar1->Click(frame->btnPrevScript);
    EXPECT_EQ(editor.Lines(), L"a = 1");
    EXPECT_FALSE(frame->Modified());
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(editor.Lines(), draft);

    std::vector<std::pair<std::wstring, bool>> items;
    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        for (size_t i = 0; i < menu.Count(); ++i)
            if (!menu.At(i).caption.empty()) items.emplace_back(menu.At(i).caption, menu.At(i).enabled);
        return -1;
    };
    editor.SetSelection(0, 0);
    ::SendMessageW(editor.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor.Handle()), MAKELPARAM(-1, -1));
    TPopupMenu::Chooser() = nullptr;
    const std::vector<std::pair<std::wstring, bool>> expected = {
        {L"Undo", true}, {L"Redo", true}, {L"Cut", false}, {L"Copy", false},
        {L"Paste", ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE}, {L"Delete", false}, {L"Select All", true}};
    EXPECT_EQ(items, expected);
}

TEST_F(ScriptEditor, AFailedRunShowsTheErrorBoxAndSelectsTheErrorsCharacter) {
    struct Case {
        const wchar_t* language;
        const wchar_t* text;
        int selStart;
    } cases[] = {
        // Compile error at row 2, column 4 after rows of 10 and 0 characters: 12 + 2 + 4.
        {L"VBScript", L"x = 123456\r\n\r\n    )", 18},
        // A run-time error under Wine: the statement's start.
        {L"VBScript", L"x = 1\r\ny = 1 / 0", 7},
    };
    for (const Case& c : cases) {
        boxes.clear();
        frame->SelectLanguage(std::wstring(c.language) == L"VBScript" ? 0 : 1, false);
        EXPECT_TRUE(FAILED(Run(*frame, c.text))) << c.text;
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].caption, L"Script Error");
        EXPECT_EQ(boxes[0].text.rfind(L"Error executing script: ", 0), 0u) << boxes[0].text;
        EXPECT_EQ(frame->Editor().SelStart(), c.selStart) << c.text;
        EXPECT_EQ(frame->Editor().SelLength(), 1) << c.text;
        EXPECT_EQ(frame->ScriptHistory().front(), c.text); // stored before the box
    }
}

TEST_F(ScriptEditor, OpeningSelectsTheLanguageByExtension) {
    struct Case {
        const wchar_t* name;
        int item;
    } cases[] = {{L"TEST.Js", 1}, {L"a.vbs", 0}, {L"noext", 0}};
    for (const Case& c : cases) {
        const std::wstring path = TempPath(c.name);
        WriteBytes(path, "x = 1\r\n");
        frame->LoadFromFile(path);
        EXPECT_EQ(frame->LanguageCombo->ItemIndex(), c.item) << c.name;
        EXPECT_EQ(frame->Editor().Scheme(), c.item ? ui::TCodeScheme::JavaLike : ui::TCodeScheme::VisualBasic);
        ::DeleteFileW(path.c_str());
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ScriptEditor, FilesRoundTripByteForByteInTheirEncoding) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"utf8-bom", "\xEF\xBB\xBFx = \"\xC3\xA9\xE2\x82\xAC\"\r\n", L"x = \"\u00E9\u20AC\"\r\n"},
        {"utf8", "x = \"\xC3\xA9\"\r\ny", L"x = \"\u00E9\"\r\ny"},
        {"utf16le", std::string("\xFF\xFEx\0=\0\xAC\x20", 8), L"x=\u20AC"},
        {"utf16be", std::string("\xFE\xFF\0x\0=\x20\xAC", 8), L"x=\u20AC"},
        {"ansi", "x = 1\r\n", L"x = 1\r\n"},
    };
    const std::wstring in = TempPath(L"qs-in.vbs"), out = TempPath(L"qs-out.vbs");
    for (const Case& c : cases) {
        WriteBytes(in, c.bytes);
        frame->LoadFromFile(in);
        EXPECT_EQ(frame->Editor().Lines(), c.text) << c.name;
        frame->SaveToFile(out);
        EXPECT_EQ(ReadBytes(out), c.bytes) << c.name;
    }
    // A text the ANSI code page cannot hold is saved as UTF-8 with a mark.
    WriteBytes(in, "x = 1");
    frame->LoadFromFile(in);
    frame->Editor().SetLines(L"x = \"\u4E2D\"");
    frame->SaveToFile(out);
    EXPECT_EQ(ReadBytes(out), "\xEF\xBB\xBFx = \"\xE4\xB8\xAD\"");
    EXPECT_TRUE(boxes.empty());
    ::DeleteFileW(in.c_str());
    ::DeleteFileW(out.c_str());
}

TEST_F(ScriptEditor, FileErrorsShowABoxAndKeepTheText) {
    frame->Editor().SetLines(L"keep");
    frame->LoadFromFile(TempPath(L"qs-no-such-file.vbs"));
    frame->SaveToFile(TempPath(L"")); // a directory
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].text.find(L"qs-no-such-file.vbs"), std::wstring::npos);
    EXPECT_EQ(frame->Editor().Lines(), L"keep");
}

TEST_F(ScriptEditor, TheDialogsGetTheFilterAndTheDefaultExtension) {
    std::vector<FileDialogRequest> requests;
    SetFileDialogInterceptor([&](FileDialogRequest& r) {
        requests.push_back(r);
        return false;
    });
    frame->SelectLanguage(1, false);
    frame->ToolBar1->Click(frame->SaveButton);
    frame->ToolBar1->Click(frame->OpenButton);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].filter, L"Visual Basic|*.vb;*.vbs;*.bas|Java Script|*.js|Text Files|*.txt|All Files|*.*");
    EXPECT_EQ(requests[0].defaultExt, L"js");
    EXPECT_TRUE(requests[0].save);
    EXPECT_FALSE(requests[1].save);
}

TEST_F(ScriptEditor, F5AnywhereInTheFrameRunsTheScriptOnce) {
    InstallF5KeyHook();
    frame->Editor().SetLines(L"Debug.Print \"run\"");
    // Through the queue (the hook sees it), then straight to the editor (only its own handling).
    for (HWND target : {frame->Editor().Handle(), frame->MemoDebug->Handle(), frame->LanguageCombo->Handle()}) {
        ::PostMessageW(target, WM_KEYDOWN, VK_F5, 1);
        TForm::ProcessMessages();
    }
    ::SendMessageW(frame->Editor().Handle(), WM_KEYDOWN, VK_F5, 1);
    TForm::ProcessMessages();
    EXPECT_EQ(frame->DebugText(), L"run\r\nrun\r\nrun\r\nrun\r\n");
    frame->btnClearDebug->Click();
    EXPECT_EQ(frame->DebugText(), L"");
}

TEST_F(ScriptEditor, TheGlobalVariablesLabelListsTheGivenNames) {
    other = new TScriptForm(nullptr, nullptr, test::FixtureDispatch::Create().Get());
    EXPECT_EQ(other->ScriptFrame->GlobalVarsLabel->Text(), L"Application");
    other->ScriptFrame->SetGlobalObjects(L"Name", nullptr);
    EXPECT_EQ(other->ScriptFrame->GlobalVarsLabel->Text(), L"Application, Name");
    EXPECT_EQ(other->Text(), L"Script Editor");
    const RECT r = other->ClientRect();
    EXPECT_EQ(std::make_pair(r.right, r.bottom), std::make_pair(682L, 434L));
}

} // namespace
