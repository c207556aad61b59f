// The code editor window: paints the visible rows of its model into a back buffer (gutter with line
// numbers, tokens in their colours, the selection, the bracket pair at the caret, wide characters over
// two cells), maps keys, mouse, clipboard and input-method messages onto the model's commands, answers
// the standard edit messages, and hands accessibility clients the system's edit box proxy.
#include "ui/uCodeEditor.h"

#include "ui/uAccessible.h"

#include <imm.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace qs::ui {

namespace {

constexpr COLORREF kTokenColours[] = {
    RGB(0, 0, 0),     // text
    RGB(0, 0, 200),   // keyword
    RGB(163, 21, 21), // string
    RGB(0, 128, 0),   // comment
    RGB(9, 120, 130), // number
};
constexpr COLORREF kGutterBack = RGB(240, 240, 240);
constexpr COLORREF kGutterText = RGB(128, 128, 128);
constexpr COLORREF kInactiveSelection = RGB(210, 210, 210);
constexpr COLORREF kBracketBack = RGB(255, 226, 140);
constexpr UINT_PTR kDragTimer = 1;

UINT ShiftState() noexcept {
    UINT s = 0;
    if (::GetKeyState(VK_SHIFT) < 0) s |= TCodeEditor::kShift;
    if (::GetKeyState(VK_CONTROL) < 0) s |= TCodeEditor::kCtrl;
    if (::GetKeyState(VK_MENU) < 0) s |= TCodeEditor::kAlt;
    return s;
}

// The input method functions, loaded on first use so that the module needs no import of imm32.
struct ImmApi {
    using GetContext = HIMC(WINAPI*)(HWND);
    using ReleaseContext = BOOL(WINAPI*)(HWND, HIMC);
    using SetCompositionWindow = BOOL(WINAPI*)(HIMC, LPCOMPOSITIONFORM);
    using SetCompositionFont = BOOL(WINAPI*)(HIMC, LPLOGFONTW);
    GetContext getContext = nullptr;
    ReleaseContext releaseContext = nullptr;
    SetCompositionWindow setWindow = nullptr;
    SetCompositionFont setFont = nullptr;
    static const ImmApi& Get() {
        static const ImmApi api = [] {
            ImmApi a;
            // From the system directory only, never from the host's folder or the path.
            if (HMODULE m = ::LoadLibraryExW(L"imm32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
                a.getContext =
                    reinterpret_cast<GetContext>(reinterpret_cast<void*>(::GetProcAddress(m, "ImmGetContext")));
                a.releaseContext =
                    reinterpret_cast<ReleaseContext>(reinterpret_cast<void*>(::GetProcAddress(m, "ImmReleaseContext")));
                a.setWindow = reinterpret_cast<SetCompositionWindow>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "ImmSetCompositionWindow")));
                a.setFont = reinterpret_cast<SetCompositionFont>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "ImmSetCompositionFontW")));
            }
            return a;
        }();
        return api;
    }
};

// A check box of the find dialog.
class TCheck : public TControl {
public:
    TCheck(TControl* parent, const std::wstring& caption) : TControl(parent) {
        CreateHandle(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, true);
        ::SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
        SetText(caption);
    }
    bool Checked() const { return ::SendMessageW(m_hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetChecked(bool on) { ::SendMessageW(m_hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
};

// The small modal prompt of Find and Go to Line: a label, an edit box, optional check boxes, OK and Cancel.
class TPromptForm : public TForm {
public:
    TPromptForm(HWND owner, const std::wstring& caption, const std::wstring& prompt, bool findOptions)
        : TForm(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME) {
        SetText(caption);
        Position = TPosition::ScreenCenter;
        SetClientSize(300, findOptions ? 118 : 78);
        Label = new TLabel(this, prompt);
        Label->SetBounds(10, 12, 80, 16);
        Edit = new TEdit(this);
        Edit->SetBounds(90, 8, 200, 22);
        Edit->Name = L"edtValue";
        if (findOptions) {
            MatchCase = new TCheck(this, L"Match &case");
            MatchCase->SetBounds(90, 38, 200, 18);
            MatchCase->Name = L"chkMatchCase";
            WholeWord = new TCheck(this, L"&Whole word");
            WholeWord->SetBounds(90, 60, 200, 18);
            WholeWord->Name = L"chkWholeWord";
        }
        const int y = findOptions ? 86 : 46;
        auto* ok = new TButton(this, findOptions ? L"&Find Next" : L"OK");
        ok->SetBounds(130, y, 75, 24);
        ok->ModalResult = IDOK;
        ok->Default = true;
        auto* cancel = new TButton(this, L"Cancel");
        cancel->SetBounds(215, y, 75, 24);
        cancel->ModalResult = IDCANCEL;
    }
    TLabel* Label = nullptr;
    TEdit* Edit = nullptr;
    TCheck* MatchCase = nullptr;
    TCheck* WholeWord = nullptr;
};

// The modal Replace dialog: what to find, what to put instead, the two options, and buttons that act on
// the editor while the dialog stays open (Cancel closes it).
class TReplaceForm : public TForm {
public:
    explicit TReplaceForm(HWND owner)
        : TForm(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME) {
        SetText(L"Replace");
        Position = TPosition::ScreenCenter;
        SetClientSize(390, 118);
        (new TLabel(this, L"Find what:"))->SetBounds(10, 12, 80, 16);
        What = new TEdit(this);
        What->SetBounds(90, 8, 200, 22);
        What->Name = L"edtValue";
        (new TLabel(this, L"Replace with:"))->SetBounds(10, 40, 80, 16);
        With = new TEdit(this);
        With->SetBounds(90, 36, 200, 22);
        With->Name = L"edtReplace";
        MatchCase = new TCheck(this, L"Match &case");
        MatchCase->SetBounds(90, 66, 200, 18);
        MatchCase->Name = L"chkMatchCase";
        WholeWord = new TCheck(this, L"&Whole word");
        WholeWord->SetBounds(90, 88, 200, 18);
        WholeWord->Name = L"chkWholeWord";
        const struct {
            const wchar_t* caption;
            const wchar_t* name;
            TButton** slot;
        } buttons[] = {{L"&Find Next", L"btnFindNext", &FindNextButton},
                       {L"&Replace", L"btnReplace", &ReplaceButton},
                       {L"Replace &All", L"btnReplaceAll", &ReplaceAllButton},
                       {L"Cancel", L"btnCancel", nullptr}};
        int y = 8;
        for (const auto& b : buttons) {
            auto* button = new TButton(this, b.caption);
            button->SetBounds(305, y, 75, 24);
            button->Name = b.name;
            if (b.slot)
                *b.slot = button;
            else
                button->ModalResult = IDCANCEL;
            y += 27;
        }
        FindNextButton->Default = true;
    }
    TEdit* What = nullptr;
    TEdit* With = nullptr;
    TCheck* MatchCase = nullptr;
    TCheck* WholeWord = nullptr;
    TButton* FindNextButton = nullptr;
    TButton* ReplaceButton = nullptr;
    TButton* ReplaceAllButton = nullptr;
};


} // namespace

TCodeEditor::TCodeEditor(TControl* parent)
    : TControl(parent), m_completion(std::make_unique<TCompletionUi>(*this)) {
    const wchar_t* cls =
        RegisterFrameworkClass(L"QsCodeEditor", CS_DBLCLKS, nullptr, ::LoadCursorW(nullptr, IDC_IBEAM));
    CreateHandle(cls, WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_CLIPSIBLINGS | ES_MULTILINE,
                 WS_EX_CLIENTEDGE, false);
    HDC dc = ::GetDC(m_hwnd);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(m_hwnd, dc);
    m_font.Reset(::CreateFontW(-::MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN,
                               L"Courier New"));
    UpdateMetrics();
    Changed();
}

TCodeEditor::~TCodeEditor() {
    DestroyHandleTree();
}

// ---- The contract's operations ----

void TCodeEditor::SetLines(const std::wstring& text) {
    m_completion->CloseAll();
    m_top = m_left = 0;
    m_model.LoadText(text);
    m_desiredColumn = -1;
    Changed();
}

void TCodeEditor::ResetText(const std::wstring& text) {
    m_completion->CloseAll();
    m_top = m_left = 0;
    m_model.SetText(text);
    m_desiredColumn = -1;
    Changed();
}

void TCodeEditor::SetOverwrite(bool on) {
    if (on == m_model.Overwrite()) return;
    m_model.SetOverwrite(on);
    if (m_focused) CreateCaretShape();
    if (OnModeChange) OnModeChange(*this);
}

void TCodeEditor::SetScheme(TCodeScheme scheme) {
    m_model.SetScheme(scheme);
    Changed(true);
}

int TCodeEditor::SelStart() const {
    return static_cast<int>(m_model.OffsetOf(m_model.SelStart()));
}

int TCodeEditor::SelLength() const {
    return static_cast<int>(m_model.OffsetOf(m_model.SelEnd()) - m_model.OffsetOf(m_model.SelStart()));
}

void TCodeEditor::SetSelStart(int start) {
    SetSelection(start, 0);
}

void TCodeEditor::SetSelLength(int length) {
    SetSelection(SelStart(), length);
}

void TCodeEditor::SetSelection(int start, int length) {
    const TTextPos a = m_model.PosOfOffset(start);
    m_model.SetSelection(a, m_model.PosOfOffset(static_cast<std::int64_t>(start) + std::max(length, 0)));
    Changed();
}

void TCodeEditor::SetCaretPos(int col, int row) {
    m_model.MoveCaret({row, col}, false);
    Changed();
}

int TCodeEditor::VisibleRows() const noexcept {
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    return std::max(1, static_cast<int>(rc.bottom) / m_lineHeight);
}

int TCodeEditor::TextColumns() const noexcept {
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    return std::max(1, static_cast<int>(rc.right - m_gutter) / m_charWidth);
}

void TCodeEditor::ScrollRowIntoView(int row) {
    row = std::clamp(row, 0, m_model.LineCount() - 1);
    const int rows = VisibleRows();
    int top = m_top;
    if (row < top)
        top = row;
    else if (row >= top + rows)
        top = row - rows + 1;
    ScrollTo(top, m_left);
}

void TCodeEditor::ScrollCaretIntoView() {
    const TTextPos c = m_model.Caret();
    ScrollRowIntoView(c.row);
    const int d = m_model.DisplayColumn(c.row, c.col);
    const int cols = TextColumns();
    int left = m_left;
    if (d < left)
        left = std::max(0, d - cols / 4);
    else if (d >= left + cols)
        left = d - cols + cols / 4 + 1;
    ScrollTo(m_top, left);
}

bool TCodeEditor::Undo() {
    const bool done = m_model.Undo();
    Changed();
    return done;
}

bool TCodeEditor::Redo() {
    const bool done = m_model.Redo();
    Changed();
    return done;
}

void TCodeEditor::CopyToClipboard() {
    if (!m_model.HasSelection()) return;
    SetClipboardText(m_hwnd, m_model.SelectedText());
}

void TCodeEditor::CutToClipboard() {
    if (!m_model.HasSelection()) return;
    CopyToClipboard();
    ClearSelection();
}

void TCodeEditor::PasteFromClipboard() {
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !::OpenClipboard(m_hwnd)) return;
    std::wstring text;
    if (HANDLE mem = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(mem))) {
            const size_t max = ::GlobalSize(mem) / sizeof(wchar_t);
            text.assign(p, std::find(p, p + max, L'\0'));
            ::GlobalUnlock(mem);
        }
    }
    ::CloseClipboard();
    if (!text.empty()) InsertText(text);
}

void TCodeEditor::ClearSelection() {
    if (!m_model.HasSelection()) return;
    m_model.ReplaceSelection(L"");
    Changed();
}

void TCodeEditor::SelectAll() {
    m_model.SelectAll();
    Changed();
}

void TCodeEditor::InsertText(const std::wstring& text) {
    m_model.ReplaceSelection(text);
    Changed();
}

// ---- Find and go to line ----

bool TCodeEditor::FindNext(bool forward) {
    if (FindText.empty()) {
        ShowFindDialog();
        return m_model.HasSelection();
    }
    const bool found = m_model.Find(FindText, FindMatchCase, FindWholeWord, forward);
    if (!found) ::MessageBeep(MB_ICONASTERISK);
    Changed();
    return found;
}

void TCodeEditor::ShowFindDialog() {
    // The editor's window may be closed while the prompt is up (its host window destroyed): the
    // editor stays until this returns, and the answer is dropped.
    const TOwnCode own(Form());
    const TFormHolder<TPromptForm> owned(::GetAncestor(m_hwnd, GA_ROOT), L"Find", L"Find what:", true);
    TPromptForm& form = *owned;
    // The selected word (on one line) or the last search is proposed.
    const std::wstring sel = m_model.SelectedText();
    form.Edit->SetText(!sel.empty() && sel.find(L'\n') == std::wstring::npos ? sel : FindText);
    form.MatchCase->SetChecked(FindMatchCase);
    form.WholeWord->SetChecked(FindWholeWord);
    form.Edit->SelectAll();
    form.Edit->SetFocus();
    const int result = form.ShowModal(Form());
    if (own.Closed() || owned.Closed() || !m_hwnd) return;
    ::SetFocus(m_hwnd);
    if (result != IDOK) return;
    FindText = form.Edit->Text();
    FindMatchCase = form.MatchCase->Checked();
    FindWholeWord = form.WholeWord->Checked();
    if (!FindText.empty()) FindNext(true);
}

bool TCodeEditor::ReplaceNext() {
    if (FindText.empty()) {
        ShowReplaceDialog();
        return false;
    }
    const bool done = m_model.Replace(FindText, ReplaceText, FindMatchCase, FindWholeWord);
    if (!done) ::MessageBeep(MB_ICONASTERISK);
    Changed();
    return done;
}

int TCodeEditor::ReplaceAll() {
    const int count = FindText.empty() ? 0 : m_model.ReplaceAll(FindText, ReplaceText, FindMatchCase, FindWholeWord);
    if (!count) ::MessageBeep(MB_ICONASTERISK);
    Changed();
    return count;
}

void TCodeEditor::ShowReplaceDialog() {
    const TOwnCode own(Form());
    const TFormHolder<TReplaceForm> owned(::GetAncestor(m_hwnd, GA_ROOT));
    TReplaceForm& form = *owned;
    const std::wstring sel = m_model.SelectedText();
    form.What->SetText(!sel.empty() && sel.find(L'\n') == std::wstring::npos ? sel : FindText);
    form.With->SetText(ReplaceText);
    form.MatchCase->SetChecked(FindMatchCase);
    form.WholeWord->SetChecked(FindWholeWord);
    // Each button takes the dialog's fields first; the editor under the dialog shows what it did.
    auto take = [this, &form] {
        FindText = form.What->Text();
        ReplaceText = form.With->Text();
        FindMatchCase = form.MatchCase->Checked();
        FindWholeWord = form.WholeWord->Checked();
        return !FindText.empty();
    };
    form.FindNextButton->OnClick = [this, take](TButton&) {
        if (take()) FindNext(true);
    };
    form.ReplaceButton->OnClick = [this, take](TButton&) {
        if (take()) ReplaceNext();
    };
    form.ReplaceAllButton->OnClick = [this, take](TButton&) {
        if (take()) ReplaceAll();
    };
    form.What->SelectAll();
    form.What->SetFocus();
    form.ShowModal(Form());
    if (own.Closed() || owned.Closed() || !m_hwnd) return;
    ::SetFocus(m_hwnd);
}

void TCodeEditor::ShowGoToLineDialog() {
    const TOwnCode own(Form());
    const TFormHolder<TPromptForm> owned(::GetAncestor(m_hwnd, GA_ROOT), L"Go to Line",
                                             L"Line (1-" + std::to_wstring(m_model.LineCount()) + L"):", false);
    TPromptForm& form = *owned;
    form.Edit->SetText(std::to_wstring(m_model.Caret().row + 1));
    form.Edit->SelectAll();
    form.Edit->SetFocus();
    const int result = form.ShowModal(Form());
    if (own.Closed() || owned.Closed() || !m_hwnd) return;
    ::SetFocus(m_hwnd);
    if (result != IDOK) return;
    const std::wstring text = form.Edit->Text();
    wchar_t* end = nullptr;
    const long line = std::wcstol(text.c_str(), &end, 10);
    if (end != text.c_str()) GoToLine(static_cast<int>(std::clamp<long>(line, 1, 0x7FFFFFFF)));
}

void TCodeEditor::GoToLine(int line) {
    m_model.GoToLine(line);
    Changed();
    // The line goes to the middle of the view when it was out of sight.
    const int row = m_model.Caret().row;
    if (row < m_top || row >= m_top + VisibleRows()) ScrollTo(row - VisibleRows() / 2, 0);
}

// ---- Updating the view ----

void TCodeEditor::UpdateMetrics() {
    HDC dc = ::GetDC(m_hwnd);
    HGDIOBJ old = ::SelectObject(dc, m_font.Get());
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hwnd, dc);
    m_charWidth = std::max<int>(1, tm.tmAveCharWidth);
    m_lineHeight = std::max<int>(1, tm.tmHeight);
}

void TCodeEditor::UpdateScrollBars() {
    // Each bar is set only when its values change: under Wine every SetScrollInfo redraws the bar at
    // once, which costs more than painting a row. The horizontal range grows in steps for that reason.
    const int rows = VisibleRows(), cols = TextColumns();
    const int width = (m_model.LongestLineEstimate() + cols / 2 + 63) / 64 * 64;
    const int bars[2][3] = {{m_model.LineCount() - 1 + rows - 1, rows, m_top}, // the last row may scroll to the top
                            {width, cols, m_left}};
    for (int bar = 0; bar < 2; ++bar) {
        if (std::equal(std::begin(bars[bar]), std::end(bars[bar]), std::begin(m_scrollState[bar]))) continue;
        std::copy(std::begin(bars[bar]), std::end(bars[bar]), std::begin(m_scrollState[bar]));
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        si.nMax = bars[bar][0];
        si.nPage = static_cast<UINT>(bars[bar][1]);
        si.nPos = bars[bar][2];
        ::SetScrollInfo(m_hwnd, bar == 0 ? SB_VERT : SB_HORZ, &si, TRUE);
    }
}

void TCodeEditor::ScrollTo(int top, int left) {
    top = std::clamp(top, 0, std::max(0, m_model.LineCount() - 1));
    left = std::clamp(left, 0, std::max(0, m_model.LongestLineEstimate()));
    if (top == m_top && left == m_left) return;
    const int dy = (m_top - top) * m_lineHeight;
    const bool horizontal = left != m_left;
    m_top = top;
    m_left = left;
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    if (!horizontal && std::abs(dy) < rc.bottom) {
        // Moves what is already drawn; only the uncovered rows are painted.
        ::ScrollWindowEx(m_hwnd, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    } else {
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
    }
    UpdateScrollBars();
    UpdateCaret();
    m_completion->CaretMoved(); // the list and the tip follow the text
}

void TCodeEditor::Scroll(int bar, int code) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(m_hwnd, bar, &si);
    const bool vertical = bar == SB_VERT;
    const int page = vertical ? VisibleRows() : TextColumns();
    int pos = vertical ? m_top : m_left;
    switch (code) {
    case SB_LINEUP:
        pos -= 1;
        break;
    case SB_LINEDOWN:
        pos += 1;
        break;
    case SB_PAGEUP:
        pos -= std::max(1, page - 1);
        break;
    case SB_PAGEDOWN:
        pos += std::max(1, page - 1);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        pos = si.nTrackPos;
        break;
    case SB_TOP:
        pos = 0;
        break;
    case SB_BOTTOM:
        pos = si.nMax;
        break;
    default:
        return;
    }
    if (vertical)
        ScrollTo(pos, m_left);
    else
        ScrollTo(m_top, pos);
}

void TCodeEditor::Changed(bool keepDesiredColumn) {
    const TCodeEditorModel::TDirty dirty = m_model.TakeDirty();
    // The gutter grows with the number of digits of the last line's number.
    int digits = 1;
    for (int n = m_model.LineCount(); n >= 10; n /= 10) ++digits;
    const int gutter = (std::max(digits, 3) + 2) * m_charWidth;
    if (gutter != m_gutter) {
        m_gutter = gutter;
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
    } else if (dirty.first >= 0) {
        RECT rc;
        ::GetClientRect(m_hwnd, &rc);
        const int first = std::max(dirty.first, m_top);
        const int last = dirty.linesMoved ? m_top + VisibleRows() : std::min(dirty.last, m_top + VisibleRows());
        if (first <= last) {
            RECT rows{0, (first - m_top) * m_lineHeight, rc.right, (last - m_top + 1) * m_lineHeight};
            if (dirty.linesMoved) rows.bottom = rc.bottom;
            ::InvalidateRect(m_hwnd, &rows, FALSE);
        }
    }
    if (m_top > m_model.LineCount() - 1) m_top = std::max(0, m_model.LineCount() - 1);
    if (!keepDesiredColumn) m_desiredColumn = -1;
    UpdateScrollBars();
    ScrollCaretIntoView();
    UpdateBracket();
    UpdateCaret();
    if (m_model.ChangeCount() != m_lastChangeCount) {
        m_lastChangeCount = m_model.ChangeCount();
        if (OnChange) OnChange(*this);
    }
    if (m_model.Caret() != m_lastCaret) {
        m_lastCaret = m_model.Caret();
        if (OnCaretMove) OnCaretMove(*this);
    }
    m_completion->CaretMoved();
}

POINT TCodeEditor::ScreenPointOf(TTextPos p) const {
    POINT pt = PointOfPos(m_model.Clamp(p));
    ::ClientToScreen(m_hwnd, &pt);
    return pt;
}

POINT TCodeEditor::PointOfPos(TTextPos p) const {
    return {m_gutter + (m_model.DisplayColumn(p.row, p.col) - m_left) * m_charWidth, (p.row - m_top) * m_lineHeight};
}

TTextPos TCodeEditor::PosFromPoint(int x, int y) const {
    int row = m_top + (y >= 0 ? y / m_lineHeight : -1 + (y + 1) / m_lineHeight);
    row = std::clamp(row, 0, m_model.LineCount() - 1);
    // In half cells, so that a wide character's second cell counts as its right half.
    const int halfCells = 2 * m_left + (x < m_gutter ? 0 : 2 * (x - m_gutter) / m_charWidth);
    return {row, m_model.NearestColumn(row, halfCells)};
}

void TCodeEditor::UpdateBracket() {
    TTextPos bracket{-1, -1}, match{-1, -1};
    if (!m_model.HasSelection() && !m_model.BracketPairAt(m_model.Caret(), bracket, match)) bracket = match = {-1, -1};
    if (bracket == m_bracket && match == m_bracketMatch) return;
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    for (const int row : {m_bracket.row, m_bracketMatch.row, bracket.row, match.row}) {
        if (row < m_top || row >= m_top + VisibleRows() + 1) continue;
        RECT line{0, (row - m_top) * m_lineHeight, rc.right, (row - m_top + 1) * m_lineHeight};
        ::InvalidateRect(m_hwnd, &line, FALSE);
    }
    m_bracket = bracket;
    m_bracketMatch = match;
}

void TCodeEditor::CreateCaretShape() {
    ::CreateCaret(m_hwnd, nullptr, m_model.Overwrite() ? m_charWidth : 2, m_lineHeight);
    UpdateCaret();
    ::ShowCaret(m_hwnd);
}

void TCodeEditor::UpdateCaret() {
    if (!m_focused) return;
    const POINT pt = PointOfPos(m_model.Caret());
    ::SetCaretPos(pt.x >= m_gutter ? pt.x : -100, pt.y);
    if (m_composing) PlaceComposition();
}

void TCodeEditor::PlaceComposition() {
    const ImmApi& imm = ImmApi::Get();
    if (!imm.getContext || !imm.setWindow) return;
    HIMC ctx = imm.getContext(m_hwnd);
    if (!ctx) return;
    const POINT pt = PointOfPos(m_model.Caret());
    COMPOSITIONFORM cf{CFS_POINT, pt, {}};
    imm.setWindow(ctx, &cf);
    if (imm.setFont) {
        LOGFONTW lf{};
        ::GetObjectW(m_font.Get(), sizeof lf, &lf);
        imm.setFont(ctx, &lf);
    }
    imm.releaseContext(m_hwnd, ctx);
}

void TCodeEditor::MoveCaretBy(TTextPos to, bool extend, bool keepDesiredColumn) {
    m_model.MoveCaret(to, extend);
    Changed(keepDesiredColumn);
}

// ---- Painting ----

void TCodeEditor::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hwnd, &ps);
    if (!dc) return;
    PaintTo(dc, ps.rcPaint);
    ::EndPaint(m_hwnd, &ps);
}

void TCodeEditor::PaintTo(HDC dc, const RECT& area) {
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    RECT paint;
    if (rc.right <= 0 || rc.bottom <= 0 || !::IntersectRect(&paint, &area, &rc)) return;
    if (!m_buffer || m_bufferSize.cx < rc.right || m_bufferSize.cy < rc.bottom) {
        // Compatible with the screen, whatever DC is drawn into (WM_PRINTCLIENT may bring a memory DC).
        HDC screen = ::GetDC(m_hwnd);
        m_bufferSize = {std::max<LONG>(rc.right, m_bufferSize.cx), std::max<LONG>(rc.bottom, m_bufferSize.cy)};
        m_buffer.Reset(::CreateCompatibleBitmap(screen, m_bufferSize.cx, m_bufferSize.cy));
        ::ReleaseDC(m_hwnd, screen);
    }
    HDC mem = ::CreateCompatibleDC(dc);
    if (!mem) return;
    HGDIOBJ oldBitmap = ::SelectObject(mem, m_buffer.Get());
    HGDIOBJ oldFont = ::SelectObject(mem, m_font.Get());
    ::SetBkMode(mem, OPAQUE);
    std::vector<TToken> tokens;
    std::vector<int> dx;
    std::wstring run;
    const int firstRow = std::max(0, static_cast<int>(paint.top) / m_lineHeight);
    const int lastRow = (static_cast<int>(paint.bottom) - 1) / m_lineHeight;
    for (int r = firstRow; r <= lastRow; ++r) PaintRow(mem, m_top + r, r * m_lineHeight, rc.right, tokens, dx, run);
    ::BitBlt(dc, paint.left, paint.top, paint.right - paint.left, paint.bottom - paint.top, mem, paint.left, paint.top,
             SRCCOPY);
    ::SelectObject(mem, oldFont);
    ::SelectObject(mem, oldBitmap);
    ::DeleteDC(mem);
}

void TCodeEditor::PaintRow(HDC dc, int row, int y, int width, std::vector<TToken>& tokens, std::vector<int>& dx,
                           std::wstring& run) {
    const COLORREF back = ::GetSysColor(COLOR_WINDOW);
    RECT line{m_gutter, y, width, y + m_lineHeight};
    // Gutter: the line number, right-aligned, and a separating line.
    RECT gutter{0, y, m_gutter, y + m_lineHeight};
    ::SetBkColor(dc, kGutterBack);
    ::SetTextColor(dc, kGutterText);
    const std::wstring number = row < m_model.LineCount() ? std::to_wstring(row + 1) : std::wstring();
    ::ExtTextOutW(dc, 0, y, ETO_OPAQUE, &gutter, nullptr, 0, nullptr);
    const int numberX = m_gutter - (static_cast<int>(number.size()) + 1) * m_charWidth;
    ::ExtTextOutW(dc, numberX, y, ETO_CLIPPED, &gutter, number.c_str(), static_cast<UINT>(number.size()), nullptr);
    RECT edge{m_gutter - 1, y, m_gutter, y + m_lineHeight};
    ::SetBkColor(dc, RGB(200, 200, 200));
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &edge, nullptr, 0, nullptr);
    if (row >= m_model.LineCount()) {
        ::SetBkColor(dc, back);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &line, nullptr, 0, nullptr);
        return;
    }
    const std::wstring& s = m_model.Line(row);
    tokens.clear();
    LexLine(m_model.Scheme(), s, m_model.StateBefore(row), &tokens);
    // The selected characters of this row; a selection running past the line's end shows one more cell.
    const TTextPos selA = m_model.SelStart(), selB = m_model.SelEnd();
    int sel0 = 0, sel1 = 0;
    bool selEol = false;
    if (m_model.HasSelection() && row >= selA.row && row <= selB.row) {
        sel0 = row == selA.row ? selA.col : 0;
        sel1 = row == selB.row ? selB.col : static_cast<int>(s.size());
        selEol = row < selB.row;
    }
    const COLORREF selBack = m_focused ? ::GetSysColor(COLOR_HIGHLIGHT) : kInactiveSelection;
    const COLORREF selText = m_focused ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0);
    const int visibleEnd = m_left + (width - m_gutter) / m_charWidth + 1;
    // Draws the characters gathered in `run` (tabs already expanded), each `dx` wide, starting at display
    // column `d0`. A wide character takes two cells. A surrogate pair is drawn alone, with the font's own
    // advance clipped to its cells: GDI implementations differ in how they apply dx to a pair.
    int x = m_gutter;
    auto flush = [&](int d0, COLORREF fg, COLORREF bg) {
        if (run.empty()) return;
        const bool pair = run.size() == 2 && IsHighSurrogate(run[0]);
        x = m_gutter + (d0 - m_left) * m_charWidth;
        int runWidth = 0;
        for (const int w : dx) runWidth += w;
        RECT cell{std::max(x, m_gutter), y, x + runWidth, y + m_lineHeight};
        ::SetTextColor(dc, fg);
        ::SetBkColor(dc, bg);
        ::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &cell, run.c_str(), static_cast<UINT>(run.size()),
                      pair ? nullptr : dx.data());
        x = cell.right;
        run.clear();
        dx.clear();
    };
    run.clear();
    dx.clear();
    const bool brackets = m_bracket.row == row || m_bracketMatch.row == row;
    int d = 0;
    int runStart = 0;
    COLORREF runFg = 0, runBg = back;
    size_t t = 0;
    bool highPushed = false; // the last character drawn was a pair's high half
    for (int i = 0; i < static_cast<int>(s.size()); ++i) {
        const wchar_t ch = s[i];
        const int cells = ch == L'\t' ? -1 : CellsAt(s, static_cast<size_t>(i));
        if (cells == 0) { // the low half goes with its high half, in its colours
            if (highPushed) {
                run.push_back(ch);
                dx.push_back(0);
                flush(runStart, runFg, runBg);
            }
            highPushed = false;
            continue;
        }
        if (d >= visibleEnd) break;
        while (t + 1 < tokens.size() && i >= tokens[t].start + tokens[t].length) ++t;
        const TTokenKind kind = tokens.empty() ? TTokenKind::Text : tokens[t].kind;
        const bool selected = i >= sel0 && i < sel1;
        const bool bracket = brackets && (m_bracket == TTextPos{row, i} || m_bracketMatch == TTextPos{row, i});
        const COLORREF fg = selected ? selText : kTokenColours[static_cast<int>(kind)];
        const COLORREF bg = selected ? selBack : bracket ? kBracketBack : back;
        const int next = cells < 0 ? (d / m_model.TabWidth + 1) * m_model.TabWidth : d + cells;
        highPushed = false;
        if (next > m_left) {
            const bool pairStarts = cells > 0 && d >= m_left && IsHighSurrogate(ch);
            if (!run.empty() && (fg != runFg || bg != runBg || pairStarts)) flush(runStart, runFg, runBg);
            if (run.empty()) {
                runStart = std::max(d, m_left);
                runFg = fg;
                runBg = bg;
            }
            if (cells < 0 || d < m_left) {
                // A tab, or a wide character cut by the left edge: blank cells.
                for (int k = std::max(d, m_left); k < next; ++k) {
                    run.push_back(L' ');
                    dx.push_back(m_charWidth);
                }
            } else {
                run.push_back(ch);
                dx.push_back(cells * m_charWidth);
                highPushed = IsHighSurrogate(ch);
            }
        }
        d = next;
    }
    flush(runStart, runFg, runBg);
    x = std::max(m_gutter, m_gutter + (d - m_left) * m_charWidth);
    if (selEol && d >= m_left) {
        RECT eol{x, y, x + m_charWidth, y + m_lineHeight};
        ::SetBkColor(dc, selBack);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &eol, nullptr, 0, nullptr);
        x = eol.right;
    }
    if (x < width) {
        RECT rest{x, y, width, y + m_lineHeight};
        ::SetBkColor(dc, back);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rest, nullptr, 0, nullptr);
    }
}

// ---- Keys and characters ----

void TCodeEditor::KeyDown(WORD key) {
    const UINT shiftState = ShiftState();
    // The completion list and tip take their keys first (arrows, Tab, Enter, Escape while open).
    if (m_completion->KeyDown(key, shiftState)) return;
    if (key == VK_SPACE && (shiftState & (kCtrl | kAlt)) == kCtrl) {
        if (shiftState & kShift)
            m_completion->ShowTip();
        else
            m_completion->ShowList(TCompletionTrigger::Explicit);
        return;
    }
    if (OnKeyDown) {
        OnKeyDown(*this, key, shiftState);
        if (key == 0) return;
    }
    const bool shift = shiftState & kShift, ctrl = shiftState & kCtrl;
    const TTextPos c = m_model.Caret();
    const int lineLen = static_cast<int>(m_model.Line(c.row).size());
    auto vertical = [&](int rows) {
        if (m_desiredColumn < 0) m_desiredColumn = m_model.DisplayColumn(c.row, c.col);
        const int row = std::clamp(c.row + rows, 0, m_model.LineCount() - 1);
        MoveCaretBy({row, m_model.ColumnFromDisplay(row, m_desiredColumn)}, shift, true);
    };
    switch (key) {
    case VK_LEFT:
        if (!shift && !ctrl && m_model.HasSelection()) return MoveCaretBy(m_model.SelStart(), false);
        return MoveCaretBy(ctrl ? m_model.WordLeft(c) : m_model.PrevChar(c), shift);
    case VK_RIGHT:
        if (!shift && !ctrl && m_model.HasSelection()) return MoveCaretBy(m_model.SelEnd(), false);
        return MoveCaretBy(ctrl ? m_model.WordRight(c) : m_model.NextChar(c), shift);
    case VK_UP:
        if (ctrl) return ScrollTo(m_top - 1, m_left);
        return vertical(-1);
    case VK_DOWN:
        if (ctrl) return ScrollTo(m_top + 1, m_left);
        return vertical(1);
    case VK_PRIOR:
    case VK_NEXT: {
        const int page = std::max(1, VisibleRows() - 1) * (key == VK_PRIOR ? -1 : 1);
        ScrollTo(m_top + page, m_left);
        return vertical(page);
    }
    case VK_HOME: {
        if (ctrl) return MoveCaretBy({0, 0}, shift);
        // First the indentation's end, then the line's start.
        const std::wstring& s = m_model.Line(c.row);
        int indent = 0;
        while (indent < lineLen && (s[indent] == L' ' || s[indent] == L'\t')) ++indent;
        return MoveCaretBy({c.row, c.col == indent ? 0 : indent}, shift);
    }
    case VK_END:
        if (ctrl) {
            const int last = m_model.LineCount() - 1;
            return MoveCaretBy({last, static_cast<int>(m_model.Line(last).size())}, shift);
        }
        return MoveCaretBy({c.row, lineLen}, shift);
    case VK_DELETE:
        if (shift) return CutToClipboard();
        m_model.DeleteForward(ctrl);
        return Changed();
    case VK_BACK:
        m_model.Backspace(ctrl);
        return Changed();
    case VK_INSERT:
        if (ctrl) return CopyToClipboard();
        if (shift) return PasteFromClipboard();
        if (!(shiftState & kAlt)) SetOverwrite(!m_model.Overwrite());
        return;
    case VK_F3:
        FindNext(!shift);
        return;
    default:
        break;
    }
    if (!ctrl || (shiftState & kAlt)) return;
    switch (key) {
    case 'A':
        return SelectAll();
    case 'C':
        return CopyToClipboard();
    case 'X':
        return CutToClipboard();
    case 'V':
        return PasteFromClipboard();
    case 'Z':
        if (shift)
            Redo();
        else
            Undo();
        return;
    case 'Y':
        Redo();
        return;
    case 'F':
        return ShowFindDialog();
    case 'H':
        return ShowReplaceDialog();
    case 'G':
        return ShowGoToLineDialog();
    default:
        return;
    }
}

void TCodeEditor::Char(wchar_t c) {
    // Ctrl+Space opens completion; the character of a key the list took (Tab, Enter) is not typed.
    if (c == L' ' && (ShiftState() & (kCtrl | kAlt)) == kCtrl) return;
    if (m_completion->SwallowChar(c)) return;
    if (c == L'\r')
        m_model.NewLine();
    else if (c == L'\t')
        (ShiftState() & kShift) ? m_model.Outdent() : m_model.InsertTab();
    else if (c >= 0x20 && c != 0x7F)
        m_model.TypeChar(c);
    else
        return; // control characters of Ctrl+letter and Backspace are handled as keys
    Changed();
    m_completion->CharTyped(c);
}

void TCodeEditor::ShowContextMenu(POINT screen) {
    m_completion->CloseAll();
    if (screen.x == -1 && screen.y == -1) {
        const POINT pt = PointOfPos(m_model.Caret());
        screen = {std::max<LONG>(pt.x, m_gutter), pt.y + m_lineHeight};
        ::ClientToScreen(m_hwnd, &screen);
    }
    if (OnContextPopup) return OnContextPopup(*this, screen);
    if (PopupMenu) return PopupMenu->Popup(m_hwnd, screen);
    TPopupMenu menu;
    const bool sel = m_model.HasSelection();
    menu.Add(
        L"&Undo", [this] { Undo(); }, L"Undo");
    menu.At(0).enabled = m_model.CanUndo();
    menu.Add(
        L"&Redo", [this] { Redo(); }, L"Redo");
    menu.At(1).enabled = m_model.CanRedo();
    menu.AddSeparator();
    menu.At(menu.Add(
                L"Cu&t", [this] { CutToClipboard(); }, L"Cut"))
        .enabled = sel;
    menu.At(menu.Add(
                L"&Copy", [this] { CopyToClipboard(); }, L"Copy"))
        .enabled = sel;
    menu.At(menu.Add(
                L"&Paste", [this] { PasteFromClipboard(); }, L"Paste"))
        .enabled = ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    menu.At(menu.Add(
                L"&Delete", [this] { ClearSelection(); }, L"Delete"))
        .enabled = sel;
    menu.AddSeparator();
    menu.Add(
        L"Select &All", [this] { SelectAll(); }, L"SelectAll");
    menu.Popup(m_hwnd, screen);
}

// ---- Messages ----

LRESULT TCodeEditor::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    const auto rowOf = [&](WPARAM index) {
        return static_cast<int>(index) == -1 ? m_model.SelStart().row
                                             : m_model.PosOfOffset(static_cast<int>(index)).row;
    };
    switch (msg) {
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(m_model.TextLength());
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (!buffer || wParam == 0) return 0;
        const std::wstring text = m_model.Text();
        const size_t n = std::min(text.size(), static_cast<size_t>(wParam) - 1);
        std::copy_n(text.c_str(), n, buffer);
        buffer[n] = L'\0';
        return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT:
        ResetText(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return TRUE;
    case EM_GETSEL: {
        const DWORD start = static_cast<DWORD>(SelStart()), end = start + static_cast<DWORD>(SelLength());
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = start;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = end;
        return end > 0xFFFF ? -1 : MAKELRESULT(start, end);
    }
    case EM_SETSEL: {
        const int start = static_cast<int>(wParam), end = static_cast<int>(lParam);
        if (start == -1) {
            m_model.MoveCaret(m_model.Caret(), false);
        } else {
            const std::int64_t to = end == -1 ? m_model.TextLength() : std::max(end, 0);
            m_model.SetSelection(m_model.PosOfOffset(std::max(start, 0)), m_model.PosOfOffset(to));
        }
        Changed();
        return 0;
    }
    case EM_REPLACESEL:
        InsertText(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return 0;
    case EM_GETLINECOUNT:
        return m_model.LineCount();
    case EM_LINEINDEX: {
        const int row = static_cast<int>(wParam) == -1 ? m_model.Caret().row : static_cast<int>(wParam);
        return row < 0 || row >= m_model.LineCount() ? -1 : static_cast<LRESULT>(m_model.OffsetOf({row, 0}));
    }
    case EM_LINEFROMCHAR:
        return rowOf(wParam);
    case EM_LINELENGTH:
        return static_cast<LRESULT>(m_model.Line(rowOf(wParam)).size());
    case EM_GETLINE: {
        const int row = static_cast<int>(wParam);
        auto* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (!buffer || row < 0 || row >= m_model.LineCount()) return 0;
        const size_t max = *reinterpret_cast<const WORD*>(buffer);
        const std::wstring& s = m_model.Line(row);
        const size_t n = std::min(max, s.size());
        std::copy_n(s.c_str(), n, buffer);
        return static_cast<LRESULT>(n);
    }
    case EM_SCROLLCARET:
        ScrollCaretIntoView();
        return TRUE;
    case EM_UNDO:
    case WM_UNDO:
        return Undo() ? TRUE : FALSE;
    case EM_CANUNDO:
        return m_model.CanUndo() ? TRUE : FALSE;
    case EM_EMPTYUNDOBUFFER:
        m_model.ClearUndo();
        return 0;
    case EM_GETMODIFY:
        return m_model.Modified ? TRUE : FALSE;
    case EM_SETMODIFY:
        m_model.Modified = wParam != 0;
        return 0;
    case EM_GETFIRSTVISIBLELINE:
        return m_top;
    case EM_POSFROMCHAR: {
        const POINT pt = PointOfPos(m_model.PosOfOffset(static_cast<int>(wParam)));
        return MAKELRESULT(static_cast<WORD>(static_cast<short>(pt.x)), static_cast<WORD>(static_cast<short>(pt.y)));
    }
    case EM_CHARFROMPOS: {
        const TTextPos p = PosFromPoint(GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam));
        return MAKELRESULT(static_cast<WORD>(m_model.OffsetOf(p)), static_cast<WORD>(p.row));
    }
    case EM_LINESCROLL: {
        // Counts as large as INT_MAX (or as small as INT_MIN) added in 64 bits, then kept within int.
        const auto by = [](int from, std::int64_t count) {
            return static_cast<int>(std::clamp<std::int64_t>(from + count, INT_MIN, INT_MAX));
        };
        ScrollTo(by(m_top, static_cast<int>(lParam)), by(m_left, static_cast<int>(wParam)));
        return TRUE;
    }
    case WM_CUT:
        CutToClipboard();
        return 0;
    case WM_COPY:
        CopyToClipboard();
        return 0;
    case WM_PASTE:
        PasteFromClipboard();
        return 0;
    case WM_CLEAR:
        ClearSelection();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font.Get());
    default:
        handled = false;
        return 0;
    }
}

LRESULT TCodeEditor::AccessibleObject(WPARAM wParam, LPARAM lParam, bool& handled) {
    // The system's proxy of an edit box reads the text, the selection and the lines through the edit
    // messages this control answers.
    LRESULT result = 0;
    handled = AnswerGetObjectAs(m_hwnd, L"EDIT", wParam, lParam, result);
    return result;
}

LRESULT TCodeEditor::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    const LRESULT result = EditMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    switch (msg) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_PRINTCLIENT: {
        RECT rc;
        ::GetClientRect(m_hwnd, &rc);
        if (wParam) PaintTo(reinterpret_cast<HDC>(wParam), rc);
        return 0;
    }
    case WM_PRINT: {
        // The frame by the default handling, then the client area where it sits in the window (Wine's
        // default printing draws it at the window's origin).
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (!dc || ((lParam & PRF_CHECKVISIBLE) && !::IsWindowVisible(m_hwnd))) return 0;
        if (lParam & PRF_NONCLIENT) CallDefault(WM_PRINT, wParam, lParam & ~(PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND));
        if (!(lParam & PRF_CLIENT)) return 0;
        POINT origin{0, 0};
        if (lParam & PRF_NONCLIENT) {
            RECT window;
            ::GetWindowRect(m_hwnd, &window);
            ::ClientToScreen(m_hwnd, &origin);
            origin = {origin.x - window.left, origin.y - window.top};
        }
        RECT rc;
        ::GetClientRect(m_hwnd, &rc);
        const int saved = ::SaveDC(dc);
        ::OffsetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        PaintTo(dc, rc);
        ::RestoreDC(dc, saved);
        return 0;
    }
    case WM_GETOBJECT: {
        bool answered = false;
        const LRESULT object = AccessibleObject(wParam, lParam, answered);
        if (answered) return object;
        break;
    }
    case WM_ERASEBKGND:
        return TRUE; // every pixel is painted from the back buffer
    case WM_SIZE:
        UpdateScrollBars();
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
        break;
    case WM_SETFOCUS:
        m_focused = true;
        CreateCaretShape();
        ::InvalidateRect(m_hwnd, nullptr, FALSE); // the selection's colour follows the focus
        return 0;
    case WM_KILLFOCUS:
        m_focused = false;
        m_completion->CloseAll();
        m_model.BreakUndoGroup();
        ::DestroyCaret();
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB;
    case WM_KEYDOWN:
        KeyDown(static_cast<WORD>(wParam));
        return 0;
    case WM_CHAR:
        Char(static_cast<wchar_t>(wParam));
        return 0;
    case WM_IME_STARTCOMPOSITION:
        m_composing = true;
        PlaceComposition();
        break;
    case WM_IME_ENDCOMPOSITION:
        m_composing = false;
        break;
    case WM_VSCROLL:
        Scroll(SB_VERT, LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        Scroll(SB_HORZ, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL: {
        UINT lines = 3;
        ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        if (lines == WHEEL_PAGESCROLL) lines = static_cast<UINT>(VisibleRows());
        ScrollTo(m_top - delta * static_cast<int>(lines) / WHEEL_DELTA, m_left);
        return 0;
    }
    case WM_MOUSEHWHEEL:
        ScrollTo(m_top, m_left + 4 * GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA);
        return 0;
    case WM_LBUTTONDOWN: {
        ::SetFocus(m_hwnd);
        const int x = GET_X_LPARAM_SAFE(lParam), y = GET_Y_LPARAM_SAFE(lParam);
        const TTextPos p = PosFromPoint(x, y);
        if (x < m_gutter) {
            // A click in the gutter selects the whole line.
            const TTextPos next = p.row + 1 < m_model.LineCount()
                                      ? TTextPos{p.row + 1, 0}
                                      : TTextPos{p.row, static_cast<int>(m_model.Line(p.row).size())};
            m_model.SetSelection({p.row, 0}, next);
            Changed();
        } else {
            MoveCaretBy(p, (wParam & MK_SHIFT) != 0);
        }
        m_dragging = true;
        ::SetCapture(m_hwnd);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_dragging && (wParam & MK_LBUTTON)) {
            const int x = GET_X_LPARAM_SAFE(lParam), y = GET_Y_LPARAM_SAFE(lParam);
            MoveCaretBy(PosFromPoint(x, y), true);
            // Outside the window the selection keeps growing while the mouse rests.
            RECT rc;
            ::GetClientRect(m_hwnd, &rc);
            const POINT pt{x, y};
            if (!::PtInRect(&rc, pt))
                ::SetTimer(m_hwnd, kDragTimer, 50, nullptr);
            else
                ::KillTimer(m_hwnd, kDragTimer);
        }
        return 0;
    case WM_TIMER:
        if (wParam != kDragTimer) break;
        if (m_dragging) {
            POINT pt;
            ::GetCursorPos(&pt);
            ::ScreenToClient(m_hwnd, &pt);
            MoveCaretBy(PosFromPoint(pt.x, pt.y), true);
        } else {
            ::KillTimer(m_hwnd, kDragTimer);
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (m_dragging) {
            m_dragging = false;
            ::KillTimer(m_hwnd, kDragTimer);
            if (msg == WM_LBUTTONUP) ::ReleaseCapture();
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        m_model.SelectWordAt(PosFromPoint(GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam)));
        Changed();
        return 0;
    case WM_RBUTTONDOWN: {
        ::SetFocus(m_hwnd);
        // A right click outside the selection moves the caret there first.
        const TTextPos p = PosFromPoint(GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam));
        if (p < m_model.SelStart() || m_model.SelEnd() < p || !m_model.HasSelection()) MoveCaretBy(p, false);
        return 0;
    }
    case WM_CONTEXTMENU:
        ShowContextMenu({GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam)});
        return 0;
    default:
        break;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

} // namespace qs::ui
