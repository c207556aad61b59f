// Completion over the stand-in hosts' live objects: chains followed through declared types and, where
// a step is declared as a plain object, read on the running object (never a method, never a box);
// parameter tips with optional parameters and defaults; constants by prefix; and the editor's list
// opened by typing a dot, in both grammars.
#include "HostObjects.h"
#include "ScriptTesting.h"
#include "common/qsMessageBox.h"
#include "script/fScriptForm.h"

#include <algorithm>

using namespace qs;
using namespace qs::ui;

namespace {

class ScriptCompletion : public test::ScriptTest {
protected:
    // A Script Editor on a stand-in host's Application, as the add-in opens it.
    void Open(const wchar_t* hostName) {
        graph = std::make_unique<standin::THostGraph>(*standin::HostNamed(hostName));
        standin::BuildHostGraph(*graph);
        previousBoxes = SetMessageBoxInterceptor([this](const MessageBoxRequest&) {
            ++boxes;
            return IDOK;
        });
        form = new TScriptForm(nullptr, nullptr, graph->Application());
        form->Show();
        TForm::ProcessMessages();
    }
    void TearDown() override {
        if (form) form->Free();
        TForm::ProcessMessages();
        if (graph) SetMessageBoxInterceptor(std::move(previousBoxes));
        if (graph) graph->Clear();
    }
    TScriptFrame& Frame() { return *form->ScriptFrame; }
    // The names listed with the caret at the end of `text` (on its last line).
    std::vector<std::wstring> ListAfter(const std::wstring& text, bool java = false,
                                        TCompletionTrigger trigger = TCompletionTrigger::Dot) {
        Frame().SelectLanguage(java ? 1 : 0, false);
        TCodeEditorModel& model = Frame().Editor().Model();
        model.SetText(text);
        const TTextPos end{model.LineCount() - 1, static_cast<int>(model.Line(model.LineCount() - 1).size())};
        TCompletionList list;
        std::vector<std::wstring> names;
        if (Frame().Completion().ListAt(model, end, trigger, list))
            for (const TCompletionItem& item : list.Items) names.push_back(item.Name + (item.Detail.empty() ? L"" : L" " + item.Detail));
        return names;
    }
    static bool Has(const std::vector<std::wstring>& names, const std::wstring& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    std::unique_ptr<standin::THostGraph> graph;
    TScriptForm* form = nullptr;
    int boxes = 0;
    MessageBoxInterceptor previousBoxes;
};

// Each chain, in each grammar: a member it must list, and how many live reads it takes (declared
// types need none; a step declared IDispatch is read once).
TEST_F(ScriptCompletion, ChainsFollowDeclaredTypesAndReadTheLiveObjectOnlyWhereTheyGiveUp) {
    const struct {
        const wchar_t* host;
        const wchar_t* text;
        bool java;
        const wchar_t* listed; // null: nothing listed
        int reads;
    } cases[] = {
        {L"word", L"Application.", false, L"ActiveDocument", 0},
        {L"word", L"application.ActiveDocument.", false, L"Paragraphs", 0},
        {L"word", L"x = Application.ActiveDocument.Paragraphs(1).Range.", false, L"Font", 0},
        {L"word", L"var r = Application.ActiveDocument.Paragraphs.Item(1).Range.", true, L"Font", 0},
        {L"word", L"Application.ActiveDocument.Name.", false, nullptr, 0},  // a string has no members
        {L"word", L"Application.Nonexistent.", false, nullptr, 0},
        {L"word", L"Debug.", false, L"Print", 0},
        {L"word", L"s = \"Application.", false, nullptr, 0},                // inside a string
        {L"excel", L"Application.ActiveSheet.", false, L"UsedRange", 1},
        {L"excel", L"Application.ActiveSheet.", true, L"UsedRange", 1},
        {L"excel", L"Application.ActiveSheet.UsedRange.", false, L"Value2", 1},
        // Item is declared IDispatch: the workbook, its sheets and the item are read.
        {L"excel", L"Application.ActiveWorkbook.Worksheets(\"Summary\").", false, L"UsedRange", 3},
        {L"excel", L"Application.ActiveWorkbook.Worksheets(i).", false, nullptr, 0}, // a variable is not read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.host << " " << c.text);
        if (!graph || graph->Host().name != std::wstring(c.host)) {
            TearDown();
            form = nullptr;
            Open(c.host);
        }
        const int before = Frame().Completion().LiveReads();
        Frame().Completion().ClearCache();
        const std::vector<std::wstring> names = ListAfter(c.text, c.java);
        if (c.listed)
            EXPECT_TRUE(Has(names, c.listed)) << names.size() << " names";
        else
            EXPECT_TRUE(names.empty());
        EXPECT_EQ(Frame().Completion().LiveReads() - before, c.reads);
    }
    EXPECT_EQ(boxes, 0);
}

TEST_F(ScriptCompletion, AFailingReadListsNothingAndAMethodIsNeverCalled) {
    Open(L"excel");
    graph->SetFailing(L"ActiveSheet", L"No sheet is active");
    int evaluations = 0;
    graph->App()->SetMethod(L"Evaluate", [&](standin::THostObject&, const standin::THostArgs&) {
        ++evaluations;
        return Variant::FromDispatch(graph->Application());
    });
    EXPECT_TRUE(ListAfter(L"Application.ActiveSheet.").empty());
    EXPECT_TRUE(ListAfter(L"Application.Evaluate(\"A1\").").empty());
    EXPECT_TRUE(ListAfter(L"Application.Evaluate(\"A1\").", true).empty());
    EXPECT_EQ(evaluations, 0);
    EXPECT_EQ(boxes, 0);
    // A read may run anything, closing the window included: the list ends quietly.
    graph->At(L"ActiveWindow")->SetMethod(L"ActiveSheet", [&](standin::THostObject&, const standin::THostArgs&) {
        form->Free();
        return Variant();
    });
    Frame().Editor().SetLines(L"");
    const HWND editor = Frame().Editor().Handle();
    for (wchar_t c : std::wstring(L"Application.ActiveWindow.ActiveSheet.")) ::SendMessageW(editor, WM_CHAR, c, 0);
    form = nullptr;
    EXPECT_FALSE(::IsWindow(editor));
}

TEST_F(ScriptCompletion, TipShowsOptionalParametersWithDefaultsAndTheCurrentOneInBold) {
    Open(L"access");
    TCodeEditor& editor = Frame().Editor();
    editor.SetLines(L"Application.OpenCurrentDatabase(");
    editor.SetFocus();
    editor.SetCaretPos(32, 0);
    ASSERT_TRUE(editor.Completion().ShowTip());
    const std::wstring tip = editor.Completion().TipText();
    EXPECT_EQ(tip, L"OpenCurrentDatabase(filepath As String, [Exclusive As Boolean = False], "
                   L"[bstrPassword As String = \"\"])");
    auto bold = [&] {
        const auto [start, length] = editor.Completion().TipBold();
        return editor.Completion().TipText().substr(static_cast<size_t>(start), static_cast<size_t>(length));
    };
    EXPECT_EQ(bold(), L"filepath As String");
    for (wchar_t c : std::wstring(L"\"a.db\", ")) ::SendMessageW(editor.Handle(), WM_CHAR, c, 0);
    EXPECT_TRUE(editor.Completion().TipOpen());
    EXPECT_EQ(bold(), L"[Exclusive As Boolean = False]");
    ::SendMessageW(editor.Handle(), WM_CHAR, L')', 0);
    EXPECT_FALSE(editor.Completion().TipOpen());
}

TEST_F(ScriptCompletion, ConstantsAreOfferedByPrefixWithTheirValues) {
    Open(L"word");
    const std::vector<std::wstring> names = ListAfter(L"f = wdFormatD", false, TCompletionTrigger::Typing);
    EXPECT_TRUE(Has(names, L"wdFormatDocument = 0"));
    EXPECT_TRUE(std::all_of(names.begin(), names.end(), [](const std::wstring& n) { return n.rfind(L"wdFormatD", 0) == 0; }));
    // Named objects and the globals' members on Ctrl+Space.
    const std::vector<std::wstring> all = ListAfter(L"", false, TCompletionTrigger::Explicit);
    for (const wchar_t* name : {L"Application", L"Debug", L"BrowseObject", L"wdFormatTemplate = 1"})
        EXPECT_TRUE(Has(all, name)) << name;
}

// The editor as a person uses it: the dot opens the list, typing filters it, Tab inserts.
TEST_F(ScriptCompletion, TypingADotOpensTheListAndTabInsertsTheChoice) {
    Open(L"word");
    TCodeEditor& editor = Frame().Editor();
    editor.SetFocus();
    for (wchar_t c : std::wstring(L"Application.ActiveDocument.Para")) ::SendMessageW(editor.Handle(), WM_CHAR, c, 0);
    TCompletionUi& completion = editor.Completion();
    ASSERT_TRUE(completion.ListOpen());
    ASSERT_FALSE(completion.Shown().empty());
    EXPECT_EQ(completion.Shown()[static_cast<size_t>(completion.Selected())].Name, L"Paragraphs");
    ::SendMessageW(editor.Handle(), WM_KEYDOWN, VK_TAB, 0);
    ::SendMessageW(editor.Handle(), WM_CHAR, L'\t', 0);
    EXPECT_FALSE(completion.ListOpen());
    EXPECT_EQ(editor.Lines(), L"Application.ActiveDocument.Paragraphs");
    // Escape closes the list without inserting.
    ::SendMessageW(editor.Handle(), WM_CHAR, L'.', 0);
    EXPECT_TRUE(completion.ListOpen());
    ::SendMessageW(editor.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(completion.ListOpen());
    EXPECT_EQ(editor.Lines(), L"Application.ActiveDocument.Paragraphs.");
    // The start of a name opens the list as you type; Enter after the whole name is a new line.
    editor.SetLines(L"");
    for (wchar_t c : std::wstring(L"Deb")) ::SendMessageW(editor.Handle(), WM_CHAR, c, 0);
    EXPECT_TRUE(completion.ListOpen());
    for (wchar_t c : std::wstring(L"ug")) ::SendMessageW(editor.Handle(), WM_CHAR, c, 0);
    ::SendMessageW(editor.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    ::SendMessageW(editor.Handle(), WM_CHAR, L'\r', 0);
    EXPECT_EQ(editor.Lines(), L"Debug\r\n");
}

} // namespace
