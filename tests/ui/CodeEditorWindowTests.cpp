// The code editor window driven through its messages: the edit messages, keys with the caret's row and
// column reported, a 1 MB paste through the clipboard, the owner's context menu and key handler, the
// find, replace and go-to-line dialogs, overwrite mode, loading as an undo step, surrogate pairs and wide
// characters, the accessible object, WM_PRINTCLIENT against the screen, and a screenshot of both
// schemes highlighted (build/screenshots).
#include "ui/uCodeEditor.h"
#include "ui/uComCtrls.h"
#include "Screenshots.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

using namespace qs::ui;
using namespace qs::test;

namespace {

class CodeEditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form = new TForm(nullptr);
        form->SetClientSize(480, 300);
        editor = new TCodeEditor(form);
        editor->SetAlign(TAlign::Client);
        form->Realign();
        form->Show();
        editor->SetFocus();
        TForm::ProcessMessages();
    }
    void TearDown() override {
        TPopupMenu::Chooser() = nullptr;
        SetModalInterceptor(nullptr);
        form->Free();
        TForm::ProcessMessages();
    }
    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageW(editor->Handle(), msg, w, l); }
    // A key pressed with the given shift state (the thread's keyboard state is what the editor reads).
    void Press(WORD key, UINT shift = 0) {
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = (shift & TCodeEditor::kShift) ? 0x80 : 0;
        keys[VK_CONTROL] = (shift & TCodeEditor::kCtrl) ? 0x80 : 0;
        ::SetKeyboardState(keys);
        Send(WM_KEYDOWN, key, 1);
        if (key == VK_TAB || key == VK_RETURN) Send(WM_CHAR, key == VK_TAB ? L'\t' : L'\r', 1);
        keys[VK_SHIFT] = keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
    }
    void Type(const std::wstring& text) {
        for (wchar_t c : text) Send(WM_CHAR, c, 1);
    }
    std::wstring Text() {
        std::wstring s(static_cast<size_t>(Send(WM_GETTEXTLENGTH)) + 1, L'\0');
        s.resize(static_cast<size_t>(Send(WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()))));
        return s;
    }
    TForm* form = nullptr;
    TCodeEditor* editor = nullptr;
};

TEST_F(CodeEditorWindow, AnswersTheEditMessages) {
    EXPECT_TRUE(::GetWindowLongW(editor->Handle(), GWL_STYLE) & ES_MULTILINE);
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"one\r\n\r\n\tthree\nfour"));
    EXPECT_EQ(Text(), L"one\r\n\r\n\tthree\r\nfour");
    EXPECT_EQ(editor->Text(), Text()); // the framework's text goes through the same messages
    EXPECT_EQ(Send(EM_GETLINECOUNT), 4);
    const struct {
        UINT msg;
        WPARAM w;
        LRESULT result;
    } cases[] = {
        {EM_LINEINDEX, 0, 0},    {EM_LINEINDEX, 2, 7},    {EM_LINEINDEX, 3, 15},    {EM_LINEINDEX, 4, -1},
        {EM_LINEFROMCHAR, 4, 0}, {EM_LINEFROMCHAR, 5, 1}, {EM_LINEFROMCHAR, 15, 3}, {EM_LINELENGTH, 8, 6},
        {EM_LINELENGTH, 5, 0},   {EM_GETLINECOUNT, 0, 4},
    };
    for (const auto& c : cases) EXPECT_EQ(Send(c.msg, c.w), c.result) << c.msg << " " << c.w;
    wchar_t line[16] = {};
    *reinterpret_cast<WORD*>(line) = 4;
    EXPECT_EQ(Send(EM_GETLINE, 2, reinterpret_cast<LPARAM>(line)), 4);
    EXPECT_EQ(std::wstring(line, 4), L"\tthr");

    Send(EM_SETSEL, 2, 9);
    DWORD start = 0, end = 0;
    Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 9u);
    EXPECT_EQ(editor->SelStart(), 2);
    EXPECT_EQ(editor->SelLength(), 7);
    EXPECT_EQ(editor->SelText(), L"e\r\n\r\n\tt");
    Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"X"));
    EXPECT_EQ(Text(), L"onXhree\r\nfour");
    EXPECT_TRUE(Send(EM_CANUNDO));
    EXPECT_TRUE(Send(EM_UNDO));
    EXPECT_EQ(Text(), L"one\r\n\r\n\tthree\r\nfour");
    Send(EM_SETSEL, 0, -1);
    Send(WM_CLEAR);
    EXPECT_EQ(Send(WM_GETTEXTLENGTH), 0);
}

// EM_LINESCROLL by counts whose sum with the position overflows an int: clamped to the text.
TEST_F(CodeEditorWindow, LineScrollClampsHugeCounts) {
    std::wstring text;
    for (int i = 0; i < 100; ++i) text += std::wstring(50, L'x') + L"\r\n";
    editor->SetLines(text);
    const struct {
        int lines, cols;
        LRESULT top;
        int left;
    } steps[] = {
        {10, 5, 10, 5}, {INT_MAX, INT_MAX, 100, 50}, {INT_MIN, INT_MIN, 0, 0}, {3, 2, 3, 2}, {INT_MAX, 0, 100, 2},
    };
    for (const auto& c : steps) {
        EXPECT_TRUE(Send(EM_LINESCROLL, static_cast<WPARAM>(c.cols), c.lines));
        EXPECT_EQ(Send(EM_GETFIRSTVISIBLELINE), c.top) << c.lines << " " << c.cols;
        EXPECT_EQ(::GetScrollPos(editor->Handle(), SB_HORZ), c.left) << c.lines << " " << c.cols;
    }
}

TEST_F(CodeEditorWindow, KeysEditAndReportTheCaret) {
    std::vector<TTextPos> reported;
    editor->OnCaretMove = [&](TCodeEditor& e) { reported.push_back(e.CaretPos()); };
    editor->SetLines(L"Sub Main\r\n    x = 1\r\nEnd Sub");
    reported.clear();
    const struct {
        WORD key;
        UINT shift;
        const wchar_t* type;
        TTextPos caret;
        const wchar_t* text; // null: unchanged
    } steps[] = {
        {VK_DOWN, 0, L"", {1, 0}, nullptr},
        {VK_END, 0, L"", {1, 9}, nullptr},
        {VK_RETURN, 0, L"y", {2, 5}, L"Sub Main\r\n    x = 1\r\n    y\r\nEnd Sub"},
        {VK_HOME, 0, L"", {2, 4}, nullptr},
        {VK_HOME, TCodeEditor::kShift, L"", {2, 0}, nullptr},
        {VK_TAB,
         TCodeEditor::kShift,
         L"",
         {2, 0},
         L"Sub Main\r\n    x = 1\r\ny\r\nEnd Sub"}, // the selected line outdented
        {VK_LEFT, TCodeEditor::kCtrl, L"", {1, 9}, nullptr},
        {VK_DOWN, 0, L"", {2, 1}, nullptr},
        {VK_BACK, TCodeEditor::kCtrl, L"", {2, 0}, L"Sub Main\r\n    x = 1\r\n\r\nEnd Sub"},
        {'Z', TCodeEditor::kCtrl, L"", {2, 1}, L"Sub Main\r\n    x = 1\r\ny\r\nEnd Sub"},
        {VK_END, TCodeEditor::kCtrl, L"", {3, 7}, nullptr},
        {VK_LEFT, TCodeEditor::kCtrl | TCodeEditor::kShift, L"", {3, 4}, nullptr},
        {VK_DELETE, 0, L"", {3, 4}, L"Sub Main\r\n    x = 1\r\ny\r\nEnd "},
        {VK_HOME, TCodeEditor::kCtrl, L"", {0, 0}, nullptr},
        {VK_RIGHT, TCodeEditor::kCtrl, L"", {0, 4}, nullptr},
    };
    std::wstring text = editor->Lines();
    for (const auto& s : steps) {
        Press(s.key, s.shift);
        Type(s.type);
        if (s.text) text = s.text;
        EXPECT_EQ(editor->Lines(), text) << s.key;
        EXPECT_EQ(editor->CaretPos(), s.caret) << s.key;
        ASSERT_FALSE(reported.empty());
        EXPECT_EQ(reported.back(), s.caret) << s.key;
    }
}

TEST_F(CodeEditorWindow, PastesAMegabyteThroughTheClipboard) {
    std::wstring big;
    for (int i = 0; big.size() < 1000000; ++i)
        big += L"Line " + std::to_wstring(i) + L" = \"some text to fill\" ' c\r\n";
    editor->SetLines(big);
    Send(EM_SETSEL, 0, -1);
    Send(WM_CUT);
    EXPECT_EQ(Send(WM_GETTEXTLENGTH), 0);
    Send(WM_PASTE);
    Send(WM_PASTE);
    EXPECT_EQ(static_cast<size_t>(Send(WM_GETTEXTLENGTH)), 2 * big.size());
    EXPECT_EQ(Text().substr(big.size()), big);
    const int lines = static_cast<int>(Send(EM_GETLINECOUNT));
    EXPECT_EQ(editor->CaretPos(), (TTextPos{lines - 1, 0}));
    EXPECT_GE(editor->TopRow() + editor->VisibleRows(), lines); // the caret is in view
}

TEST_F(CodeEditorWindow, ContextMenuAndKeyDownGoToTheOwner) {
    editor->SetLines(L"abc def");
    // The owner sees every key first and may take it (the script frame runs scripts on F5).
    std::vector<WORD> keys;
    editor->OnKeyDown = [&](TCodeEditor&, WORD& key, UINT) {
        keys.push_back(key);
        if (key == VK_F5 || key == VK_DELETE) key = 0;
    };
    Press(VK_F5);
    Press(VK_DELETE);
    EXPECT_EQ(keys, (std::vector<WORD>{VK_F5, VK_DELETE}));
    EXPECT_EQ(editor->Lines(), L"abc def");

    // Without an owner's menu the editor offers its own commands.
    Send(EM_SETSEL, 0, 3);
    std::vector<std::wstring> captions;
    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        for (size_t i = 0; i < menu.Count(); ++i) captions.push_back(menu.At(i).caption);
        return static_cast<int>(std::find(captions.begin(), captions.end(), L"&Delete") - captions.begin());
    };
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor->Handle()), MAKELPARAM(-1, -1));
    EXPECT_EQ(editor->Lines(), L" def");
    EXPECT_EQ(captions.size(), 9u);

    TPopupMenu owners;
    bool chosen = false;
    owners.Add(L"Mine", [&] { chosen = true; });
    editor->PopupMenu = &owners;
    TPopupMenu::Chooser() = [](TPopupMenu&) { return 0; };
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor->Handle()), MAKELPARAM(-1, -1));
    EXPECT_TRUE(chosen);
}

TEST_F(CodeEditorWindow, MouseClicksDragsDoubleClicksAndWheel) {
    editor->SetLines(L"first line\r\n\tsecond = word\r\nthird");
    auto at = [&](int offset) { return static_cast<LPARAM>(Send(EM_POSFROMCHAR, offset)); };
    const struct {
        UINT msg;
        WPARAM keys;
        LPARAM point;
        int selStart, selLength;
    } steps[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON, at(14), 14, 0}, // after the tab: a click lands on character boundaries
        {WM_MOUSEMOVE, MK_LBUTTON, at(21), 14, 7},   // dragging extends
        {WM_LBUTTONUP, 0, at(21), 14, 7},
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(3), 3, 11}, // Shift+click extends from the anchor
        {WM_LBUTTONUP, 0, at(3), 3, 11},
        {WM_LBUTTONDBLCLK, MK_LBUTTON, at(24), 22, 4}, // the word under the mouse
        {WM_LBUTTONUP, 0, at(24), 22, 4},
        {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, HIWORD(at(12))), 12, 16}, // the gutter takes the whole line
    };
    for (const auto& s : steps) {
        Send(s.msg, s.keys, s.point);
        EXPECT_EQ(editor->SelStart(), s.selStart) << s.msg;
        EXPECT_EQ(editor->SelLength(), s.selLength) << s.msg;
    }
    Send(WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(LOWORD(Send(EM_CHARFROMPOS, 0, at(30))), 30);

    std::wstring many;
    for (int i = 0; i < 300; ++i) many += L"line\r\n";
    editor->SetLines(many);
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
    EXPECT_EQ(Send(EM_GETFIRSTVISIBLELINE), static_cast<LRESULT>(2 * lines));
}

TEST_F(CodeEditorWindow, FindAndGoToLineAskWithDialogs) {
    std::wstring text;
    for (int i = 1; i <= 300; ++i) text += L"x" + std::to_wstring(i) + L" = Target\r\n";
    editor->SetLines(text);
    std::vector<std::wstring> answers = {L"250", L"target"};
    SetModalInterceptor([&](TForm& f) {
        std::wstring answer = answers.front();
        answers.erase(answers.begin());
        for (TControl* c : f.Children())
            if (c->Name == L"edtValue")
                c->SetText(answer);
            else if (c->Name == L"chkWholeWord")
                ::SendMessageW(c->Handle(), BM_SETCHECK, BST_CHECKED, 0);
        return IDOK;
    });
    Press('G', TCodeEditor::kCtrl);
    EXPECT_EQ(editor->CaretPos(), (TTextPos{249, 0}));
    EXPECT_LE(editor->TopRow(), 249);
    EXPECT_GT(editor->TopRow() + editor->VisibleRows(), 249);
    Press('F', TCodeEditor::kCtrl);
    EXPECT_EQ(editor->SelStart(), static_cast<int>(editor->Model().OffsetOf({249, 7})));
    EXPECT_TRUE(editor->FindWholeWord);
    Press(VK_F3, TCodeEditor::kShift);
    EXPECT_EQ(editor->Model().SelStart(), (TTextPos{248, 7}));
}

TEST_F(CodeEditorWindow, ReplaceDialogReplacesOneAndAllAsOneUndo) {
    editor->SetLines(L"cat cat\r\nconcat cat");
    int shown = 0;
    SetModalInterceptor([&](TForm& f) {
        ++shown;
        TButton *replace = nullptr, *all = nullptr;
        for (TControl* c : f.Children()) {
            if (c->Name == L"edtValue") c->SetText(L"cat");
            if (c->Name == L"edtReplace") c->SetText(L"dog");
            if (c->Name == L"chkWholeWord") ::SendMessageW(c->Handle(), BM_SETCHECK, BST_CHECKED, 0);
            if (c->Name == L"btnReplace") replace = static_cast<TButton*>(c);
            if (c->Name == L"btnReplaceAll") all = static_cast<TButton*>(c);
        }
        if (!replace || !all) return IDCANCEL;
        replace->Click(); // selects the first occurrence
        replace->Click(); // replaces it, selects the next
        EXPECT_EQ(Text(), L"dog cat\r\nconcat cat");
        EXPECT_EQ(editor->SelStart(), 4);
        all->Click();
        return IDCANCEL;
    });
    Press('H', TCodeEditor::kCtrl);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(Text(), L"dog dog\r\nconcat dog"); // whole words only
    Press('Z', TCodeEditor::kCtrl);
    EXPECT_EQ(Text(), L"dog cat\r\nconcat cat");
}

TEST_F(CodeEditorWindow, InsertTogglesOverwriteWithABlockCaret) {
    editor->SetLines(L"abc\r\nd");
    int modeChanges = 0;
    editor->OnModeChange = [&](TCodeEditor&) { ++modeChanges; };
    auto caretWidth = [] {
        GUITHREADINFO info{sizeof info};
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
        return info.rcCaret.right - info.rcCaret.left;
    };
    const LONG barWidth = caretWidth();
    Press(VK_INSERT);
    EXPECT_TRUE(editor->Overwrite());
    EXPECT_EQ(modeChanges, 1);
    EXPECT_GT(caretWidth(), barWidth);
    Press(VK_RIGHT);
    Type(L"XYZ"); // replaces b and c, then appends at the line's end
    EXPECT_EQ(Text(), L"aXYZ\r\nd");
    Press('Z', TCodeEditor::kCtrl);
    EXPECT_EQ(Text(), L"abc\r\nd");
    Press(VK_INSERT);
    EXPECT_FALSE(editor->Overwrite());
    EXPECT_EQ(caretWidth(), barWidth);
    Type(L"Q");
    EXPECT_EQ(Text(), L"aQbc\r\nd");
}

// Stepping through the history or opening a file must not lose the script being written.
TEST_F(CodeEditorWindow, SetLinesIsUndoneByCtrlZ) {
    editor->SetLines(L"first");
    Press(VK_END);
    Type(L" draft");
    editor->SetLines(L"from\r\nhistory");
    EXPECT_EQ(editor->CaretPos(), (TTextPos{0, 0}));
    Press('Z', TCodeEditor::kCtrl);
    EXPECT_EQ(Text(), L"first draft");
    EXPECT_EQ(editor->CaretPos(), (TTextPos{0, 11}));
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"set")); // as an edit box: the undo buffer is emptied
    EXPECT_FALSE(Send(EM_CANUNDO));
}

TEST_F(CodeEditorWindow, SurrogatePairsMoveAndDeleteAsOneCharacter) {
    const std::wstring face = L"\U0001F600";
    editor->SetLines(L"a" + face + L"b" + face);
    editor->SetCaretPos(2, 0); // between the halves: snapped to the pair's start
    EXPECT_EQ(editor->CaretPos(), (TTextPos{0, 1}));
    const struct {
        WORD key;
        UINT shift;
        int caret;
        std::wstring text;
        std::wstring selected;
    } steps[] = {
        {VK_RIGHT, 0, 3, L"a" + face + L"b" + face, L""},
        {VK_LEFT, 0, 1, L"a" + face + L"b" + face, L""},
        {VK_RIGHT, TCodeEditor::kShift, 3, L"a" + face + L"b" + face, face},
        {VK_DELETE, 0, 1, L"ab" + face, L""},
        {VK_END, 0, 4, L"ab" + face, L""},
        {VK_BACK, 0, 2, L"ab", L""},
    };
    for (const auto& s : steps) {
        Press(s.key, s.shift);
        EXPECT_EQ(editor->CaretPos(), (TTextPos{0, s.caret})) << s.key;
        EXPECT_EQ(Text(), s.text) << s.key;
        EXPECT_EQ(editor->SelText(), s.selected) << s.key;
    }
}

// A wide character takes two cells, so text typed through an input method does not overlap; a click in
// its second cell lands after it.
TEST_F(CodeEditorWindow, WideCharactersTakeTwoCells) {
    editor->SetLines(L"a\u4E2D\U00020000b");
    auto x = [&](int offset) { return static_cast<int>(static_cast<short>(LOWORD(Send(EM_POSFROMCHAR, offset)))); };
    const int cell = x(1) - x(0);
    EXPECT_EQ(x(2) - x(1), 2 * cell);
    EXPECT_EQ(x(4) - x(2), 2 * cell);
    const struct {
        int atX, offset;
    } clicks[] = {{x(1) + cell / 2, 1}, {x(1) + cell + cell / 2, 2}, {x(2) + cell + 1, 4}};
    for (const auto& c : clicks) EXPECT_EQ(LOWORD(Send(EM_CHARFROMPOS, 0, MAKELPARAM(c.atX, 2))), c.offset) << c.atX;
}

TEST_F(CodeEditorWindow, ContextMenuGreysPasteWithoutText) {
    editor->SetLines(L"abc");
    std::vector<bool> pasteEnabled;
    TPopupMenu::Chooser() = [&](TPopupMenu& menu) {
        for (size_t i = 0; i < menu.Count(); ++i)
            if (menu.At(i).caption == L"&Paste") pasteEnabled.push_back(menu.At(i).enabled);
        return -1;
    };
    ASSERT_TRUE(::OpenClipboard(editor->Handle()));
    ::EmptyClipboard();
    ::CloseClipboard();
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor->Handle()), MAKELPARAM(-1, -1));
    Send(EM_SETSEL, 0, 1);
    Send(WM_COPY);
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor->Handle()), MAKELPARAM(-1, -1));
    EXPECT_EQ(pasteEnabled, (std::vector<bool>{false, true}));
}

// Screen readers get the system's object of an edit box, which reads the text through the edit messages.
// Wine's oleacc has no such proxy (its export is a stub that ends the process): there the editor gives
// the standard client object.
TEST_F(CodeEditorWindow, AccessibleObjectIsAnEditBox) {
    const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    editor->SetLines(L"Dim x\r\nx = 1");
    HMODULE oleacc = ::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_TRUE(oleacc);
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    auto fromWindow =
        reinterpret_cast<FromWindow>(reinterpret_cast<void*>(::GetProcAddress(oleacc, "AccessibleObjectFromWindow")));
    ASSERT_TRUE(fromWindow);
    Microsoft::WRL::ComPtr<IAccessible> accessible;
    ASSERT_EQ(fromWindow(editor->Handle(), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                         reinterpret_cast<void**>(accessible.GetAddressOf())),
              S_OK);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    ::VariantInit(&role);
    ASSERT_EQ(accessible->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.vt, VT_I4);
    EXPECT_EQ(role.lVal, wine ? ROLE_SYSTEM_CLIENT : ROLE_SYSTEM_TEXT);
    if (wine) return;
    BSTR value = nullptr;
    ASSERT_EQ(accessible->get_accValue(self, &value), S_OK);
    EXPECT_EQ(std::wstring(value ? value : L""), L"Dim x\r\nx = 1");
    ::SysFreeString(value);
}

// ---- Screenshot ----

size_t CountColour(const std::vector<std::uint8_t>& bgra, COLORREF c) {
    size_t n = 0;
    for (size_t i = 0; i < bgra.size(); i += 4) n += RGB(bgra[i + 2], bgra[i + 1], bgra[i]) == c;
    return n;
}

// WM_PRINTCLIENT and WM_PRINT draw what the screen shows, the bracket pair at the caret included.
TEST(CodeEditorPrint, PrintDrawsWhatTheScreenShows) {
    auto* form = new TForm(nullptr, WS_POPUP | WS_BORDER | WS_CLIPCHILDREN, WS_EX_TOPMOST); // uncovered
    form->SetBounds(60, 60, 400, 160);
    auto* editor = new TCodeEditor(form);
    editor->SetAlign(TAlign::Client);
    form->Realign();
    editor->SetLines(L"If f(a, \"(\") Then\r\n  x = \u4E2D\U0001F600 ' note\r\nEnd If");
    editor->SetCaretPos(12, 0); // just after the closing bracket
    form->Show();
    ::UpdateWindow(form->Handle());
    TForm::ProcessMessages();
    ::Sleep(100);
    TForm::ProcessMessages();
    RECT client, window;
    ::GetClientRect(editor->Handle(), &client);
    ::GetWindowRect(editor->Handle(), &window);
    POINT origin{0, 0};
    ::ClientToScreen(editor->Handle(), &origin);
    const int w = client.right, h = client.bottom;
    HDC screen = ::GetDC(nullptr);
    const std::vector<std::uint8_t> shown = Pixels(screen, origin.x, origin.y, w, h);
    const struct {
        UINT msg;
        LPARAM flags;
        POINT at; // where the client area lands in the image
    } cases[] = {
        {WM_PRINTCLIENT, PRF_CLIENT, {0, 0}},
        {WM_PRINT, PRF_CLIENT | PRF_NONCLIENT, {origin.x - window.left, origin.y - window.top}},
    };
    std::vector<std::uint8_t> printed;
    for (const auto& c : cases) {
        HDC mem = ::CreateCompatibleDC(screen);
        HBITMAP bmp = ::CreateCompatibleBitmap(screen, window.right - window.left, window.bottom - window.top);
        HGDIOBJ old = ::SelectObject(mem, bmp);
        ::SendMessageW(editor->Handle(), c.msg, reinterpret_cast<WPARAM>(mem), c.flags);
        printed = Pixels(mem, c.at.x, c.at.y, w, h);
        ::SelectObject(mem, old);
        ::DeleteObject(bmp);
        ::DeleteDC(mem);
        EXPECT_GT(CountColour(printed, RGB(0, 0, 200)), 20u) << c.msg;     // keywords
        EXPECT_GT(CountColour(printed, RGB(255, 226, 140)), 20u) << c.msg; // the two brackets' background
        EXPECT_TRUE(printed == shown) << c.msg;
    }
    ::ReleaseDC(nullptr, screen);
    form->Free();
    std::vector<std::uint8_t> rgb;
    for (size_t i = 0; i < printed.size(); i += 4) rgb.insert(rgb.end(), {printed[i + 2], printed[i + 1], printed[i]});
    EXPECT_TRUE(SavePng(ScreenshotDir() + L"\\code-editor-print.png", w, h, rgb));
}

TEST(CodeEditorScreenshot, BothSchemesHighlightedWithASelection) {
    auto* form = new TForm(nullptr, WS_POPUP | WS_BORDER | WS_CLIPCHILDREN, WS_EX_TOPMOST); // uncovered for the capture
    form->SetBounds(40, 40, 760, 250);
    auto* vb = new TCodeEditor(form);
    vb->SetBounds(0, 0, 380, 250);
    vb->SetLines(L"' Lists the workbooks\r\nOption Explicit\r\nDim wb, n\r\nn = &H10 + 2.5\r\n"
                 L"For Each wb In Application.Workbooks\r\n\tDebug.Print \"Name: \"\"\" & wb.Name & \"\"\"\"\r\n"
                 L"Next\r\nRem done\r\nIf n > 3 Then MsgBox \"big\"");
    vb->SetSelection(static_cast<int>(vb->Model().OffsetOf({2, 4})), 5);
    auto* js = new TCodeEditor(form);
    js->SetScheme(TCodeScheme::JavaLike);
    js->SetBounds(380, 0, 380, 250);
    js->SetLines(L"/* Counts the sheets\r\n   of every workbook */\r\nvar total = 0x0A;\r\n"
                 L"for (var i = 1; i <= Application.Workbooks.Count; i++) {\r\n"
                 L"    total += Application.Workbooks(i).Sheets.Count; // sheets\r\n}\r\n"
                 L"Debug.Print('Total: \\'' + total + \"'\");\r\nreturn 3.5e2;");
    js->SetSelection(static_cast<int>(js->Model().OffsetOf({2, 4})), 14);
    form->Show();
    ::SetForegroundWindow(form->Handle());
    js->SetFocus();
    ::UpdateWindow(form->Handle());
    TForm::ProcessMessages();
    ::Sleep(200);
    TForm::ProcessMessages();

    RECT rc;
    ::GetWindowRect(form->Handle(), &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    const std::vector<std::uint8_t> bgra = Pixels(screen, rc.left, rc.top, w, h);
    ::ReleaseDC(nullptr, screen);
    form->Free();

    std::vector<std::uint8_t> rgb;
    int keyword = 0, comment = 0, string = 0;
    for (size_t i = 0; i < bgra.size(); i += 4) {
        rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
        const COLORREF c = RGB(bgra[i + 2], bgra[i + 1], bgra[i]);
        keyword += c == RGB(0, 0, 200);
        comment += c == RGB(0, 128, 0);
        string += c == RGB(163, 21, 21);
    }
    // Each colour of the schemes reached the screen.
    EXPECT_GT(keyword, 50);
    EXPECT_GT(comment, 50);
    EXPECT_GT(string, 50);
    EXPECT_TRUE(SavePng(ScreenshotDir() + L"\\code-editor.png", w, h, rgb));
}

} // namespace
