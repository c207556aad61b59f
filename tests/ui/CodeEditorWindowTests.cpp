// The code editor window driven through its messages: the edit messages, keys with the caret's row and
// column reported, a 1 MB paste through the clipboard, the owner's context menu and key handler, the
// find and go-to-line dialogs, and a screenshot of both schemes highlighted (build/screenshots).
#include "ui/uCodeEditor.h"
#include "ui/uComCtrls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

using namespace qs::ui;

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

// ---- Screenshot ----

std::uint32_t Crc32(const std::uint8_t* p, size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// An RGB image as PNG with uncompressed deflate blocks: no library needed, and small images stay small enough.
bool SavePng(const std::wstring& path, int w, int h, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + static_cast<ptrdiff_t>(y) * w * 3,
                   rgb.begin() + static_cast<ptrdiff_t>(y + 1) * w * 3);
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.insert(z.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
        if (n == 0) break;
    }
    const std::uint32_t adler = (b << 16) | a;
    for (int s = 24; s >= 0; s -= 8) z.push_back(static_cast<std::uint8_t>(adler >> s));
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto be32 = [&](std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<std::uint8_t>(x >> s));
    };
    auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
        be32(png, static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        be32(png, Crc32(body.data(), body.size()));
    };
    std::vector<std::uint8_t> ihdr;
    be32(ihdr, static_cast<std::uint32_t>(w));
    be32(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", z);
    chunk("IEND", {});
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

std::wstring ScreenshotDir() {
    wchar_t unixPath[MAX_PATH] = L"";
    std::wstring dir;
    if (::GetEnvironmentVariableW(L"QS_BUILD_DIR", unixPath, MAX_PATH)) {
        dir = unixPath[0] == L'/' ? L"Z:" + std::wstring(unixPath) : std::wstring(unixPath);
    } else {
        wchar_t exe[MAX_PATH];
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        dir = exe;
        dir.resize(dir.find_last_of(L"\\/") + 1);
        dir += L"..";
    }
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    dir += L"\\screenshots";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
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
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> bgra(static_cast<size_t>(w) * h * 4);
    ::GetDIBits(mem, bmp, 0, static_cast<UINT>(h), bgra.data(), &bi, DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
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
