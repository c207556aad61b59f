// The completion list and the parameter tip of the code editor.
#include "ui/uCompletion.h"

#include "ui/uCodeEditor.h"

#include <algorithm>
#include <cwctype>

namespace qs::ui {

namespace {

constexpr int kMaxListRows = 10;
constexpr int kListWidthChars = 40;
// How far up a call's open bracket is looked for.
constexpr int kMaxCallRows = 50;

bool IsWordChar(wchar_t c) noexcept { return IsCompletionWordChar(c); }

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The work area of the monitor that holds a point.
RECT WorkAreaAt(POINT pt) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    RECT rc{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoW(::MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST), &mi)) rc = mi.rcWork;
    return rc;
}

// A bold face of the framework's font, made once.
HFONT BoldFont() noexcept {
    static HFONT bold = [] {
        LOGFONTW lf{};
        ::GetObjectW(DefaultFont(), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        return ::CreateFontIndirectW(&lf);
    }();
    return bold ? bold : DefaultFont();
}

} // namespace

bool IsCompletionWordChar(wchar_t c) noexcept { return c == L'_' || c == L'$' || std::iswalnum(c) || c > 0x7F; }

bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix) noexcept {
    return prefix.size() <= s.size() &&
           ::CompareStringOrdinal(s.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// ---- Finding the call around the caret ----

bool FindOpenCall(const TCodeEditorModel& model, TTextPos caret, TTextPos& open, int& paramIndex) {
    caret = model.Clamp(caret);
    const bool basic = model.Scheme() == TCodeScheme::VisualBasic;
    int depth = 0, commas = 0;
    std::vector<TToken> tokens;
    for (int row = caret.row; row >= 0 && row > caret.row - kMaxCallRows; --row) {
        const std::wstring& line = model.Line(row);
        // A Basic statement ends at the line's end unless the line goes on with " _".
        if (basic && row < caret.row) {
            size_t end = line.find_last_not_of(L" \t");
            if (end == std::wstring::npos || line[end] != L'_' || (end > 0 && IsWordChar(line[end - 1]))) return false;
        }
        tokens.clear();
        LexLine(model.Scheme(), line, model.StateBefore(row), &tokens);
        const int limit = row == caret.row ? caret.col : static_cast<int>(line.size());
        for (auto t = tokens.rbegin(); t != tokens.rend(); ++t) {
            if (t->kind != TTokenKind::Text || t->start >= limit) continue;
            for (int i = std::min(t->start + t->length, limit) - 1; i >= t->start; --i) {
                switch (line[static_cast<size_t>(i)]) {
                case L')':
                case L']':
                case L'}':
                    ++depth;
                    break;
                case L'(':
                    if (depth == 0) {
                        open = {row, i};
                        paramIndex = commas;
                        return true;
                    }
                    --depth;
                    break;
                case L'[':
                case L'{':
                    if (depth == 0) return false; // inside an array or a block, not a call
                    --depth;
                    break;
                case L',':
                    if (depth == 0) ++commas;
                    break;
                case L';':
                    if (depth == 0) return false; // a statement's end
                    break;
                default:
                    break;
                }
            }
        }
    }
    return false;
}

// ---- The list window ----

// An owned pop-up that draws the shown items (image, name, detail) and never takes the focus.
class TCompletionUi::TListWindow : public TControl {
public:
    TListWindow(TCompletionUi& owner, HWND ownerWindow) : TControl(nullptr), m_owner(owner) {
        const wchar_t* cls = RegisterFrameworkClass(L"QsCompletionList", CS_DBLCLKS | CS_DROPSHADOW,
                                                    reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
        CreateHandle(cls, WS_POPUP | WS_BORDER | WS_VSCROLL, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, false,
                     ownerWindow);
        HDC dc = ::GetDC(m_hwnd);
        HGDIOBJ old = ::SelectObject(dc, DefaultFont());
        TEXTMETRICW tm{};
        ::GetTextMetricsW(dc, &tm);
        ::SelectObject(dc, old);
        ::ReleaseDC(m_hwnd, dc);
        m_charWidth = std::max<int>(1, tm.tmAveCharWidth);
        m_rowHeight = std::max<int>(18, tm.tmHeight + 2);
    }
    ~TListWindow() override { DestroyHandleTree(); }

    int RowHeight() const noexcept { return m_rowHeight; }
    int Rows() const noexcept {
        return std::min<int>(kMaxListRows, std::max<int>(1, static_cast<int>(m_owner.m_shown.size())));
    }
    // Fits the window to the items and puts it below (or above) the given row's screen rectangle.
    void Place(POINT rowTopLeft, int rowHeight) {
        int width = kListWidthChars * m_charWidth;
        HDC dc = ::GetDC(m_hwnd);
        HGDIOBJ old = ::SelectObject(dc, DefaultFont());
        const size_t measured = std::min<size_t>(m_owner.m_shown.size(), 500);
        for (size_t i = 0; i < measured; ++i) {
            const TCompletionItem& item = m_owner.m_shown[i];
            const std::wstring text = item.Detail.empty() ? item.Name : item.Name + L"  " + item.Detail;
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(std::min<size_t>(text.size(), 200)), &size);
            width = std::max<int>(width, size.cx + 24 + ::GetSystemMetrics(SM_CXVSCROLL));
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(m_hwnd, dc);
        const RECT work = WorkAreaAt(rowTopLeft);
        width = std::min<int>(width, std::max<int>(100, (work.right - work.left) / 2));
        const int height = Rows() * m_rowHeight + 2 * ::GetSystemMetrics(SM_CYBORDER);
        int x = std::clamp<int>(rowTopLeft.x - 20, work.left, std::max<int>(work.left, work.right - width));
        int y = rowTopLeft.y + rowHeight;
        if (y + height > work.bottom && rowTopLeft.y - height >= work.top) y = rowTopLeft.y - height;
        ::SetWindowPos(m_hwnd, HWND_TOP, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
        UpdateScroll();
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
        ::UpdateWindow(m_hwnd);
    }
    // Keeps the selected row visible.
    void Reveal() {
        const int sel = m_owner.m_selected;
        if (sel >= 0) {
            if (sel < m_top) m_top = sel;
            if (sel >= m_top + Rows()) m_top = sel - Rows() + 1;
        }
        m_top = std::clamp(m_top, 0, std::max(0, static_cast<int>(m_owner.m_shown.size()) - Rows()));
        UpdateScroll();
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }
    void ResetTop() noexcept { m_top = 0; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        // The list-box messages that read a list, for accessibility and automation tools.
        case LB_GETCOUNT:
            return static_cast<LRESULT>(m_owner.m_shown.size());
        case LB_GETCURSEL:
            return m_owner.m_selected;
        case LB_GETTEXTLEN:
        case LB_GETTEXT: {
            if (wParam >= m_owner.m_shown.size()) return LB_ERR;
            const std::wstring& name = m_owner.m_shown[wParam].Name;
            if (msg == LB_GETTEXT) {
                if (!lParam) return LB_ERR;
                std::copy(name.begin(), name.end(), reinterpret_cast<wchar_t*>(lParam));
                reinterpret_cast<wchar_t*>(lParam)[name.size()] = L'\0';
            }
            return static_cast<LRESULT>(name.size());
        }
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            PAINTSTRUCT ps{};
            HDC dc = msg == WM_PAINT ? ::BeginPaint(m_hwnd, &ps) : reinterpret_cast<HDC>(wParam);
            if (dc) Paint(dc);
            if (msg == WM_PAINT) ::EndPaint(m_hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            // Inserting raises the editor's events: its form is held while they run.
            const TOwnCode own(m_owner.m_editor.Form());
            const int index = m_top + GET_Y_LPARAM_SAFE(lParam) / m_rowHeight;
            if (index >= 0 && index < static_cast<int>(m_owner.m_shown.size())) {
                m_owner.Select(index);
                if (msg == WM_LBUTTONDBLCLK) m_owner.InsertSelected(); // may destroy this window
            }
            return 0;
        }
        case WM_MOUSEWHEEL:
            m_top -= GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3;
            Clamp();
            return 0;
        case WM_VSCROLL: {
            SCROLLINFO si{sizeof si, SIF_ALL};
            ::GetScrollInfo(m_hwnd, SB_VERT, &si);
            switch (LOWORD(wParam)) {
            case SB_LINEUP: --m_top; break;
            case SB_LINEDOWN: ++m_top; break;
            case SB_PAGEUP: m_top -= Rows(); break;
            case SB_PAGEDOWN: m_top += Rows(); break;
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: m_top = si.nTrackPos; break;
            default: break;
            }
            Clamp();
            return 0;
        }
        default:
            break;
        }
        return TControl::HandleMessage(msg, wParam, lParam);
    }

private:
    void Clamp() {
        m_top = std::clamp(m_top, 0, std::max(0, static_cast<int>(m_owner.m_shown.size()) - Rows()));
        UpdateScroll();
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }
    void UpdateScroll() {
        SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL};
        si.nMin = 0;
        si.nMax = std::max(0, static_cast<int>(m_owner.m_shown.size()) - 1);
        si.nPage = static_cast<UINT>(Rows());
        si.nPos = m_top;
        ::SetScrollInfo(m_hwnd, SB_VERT, &si, TRUE);
        ::ShowScrollBar(m_hwnd, SB_VERT, static_cast<int>(m_owner.m_shown.size()) > Rows());
    }
    void Paint(HDC dc) {
        RECT rc;
        ::GetClientRect(m_hwnd, &rc);
        HIMAGELIST images = m_owner.m_provider ? m_owner.m_provider->Images() : nullptr;
        HGDIOBJ oldFont = ::SelectObject(dc, DefaultFont());
        ::SetBkMode(dc, OPAQUE);
        for (int r = 0; r < Rows() + 1; ++r) {
            const int index = m_top + r;
            RECT row{rc.left, r * m_rowHeight, rc.right, (r + 1) * m_rowHeight};
            if (row.top >= rc.bottom) break;
            const bool selected = index == m_owner.m_selected;
            ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
            ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &row, nullptr, 0, nullptr);
            if (index >= static_cast<int>(m_owner.m_shown.size())) continue;
            const TCompletionItem& item = m_owner.m_shown[static_cast<size_t>(index)];
            if (images && item.Image >= 0)
                ::ImageList_Draw(images, item.Image, dc, row.left + 2, row.top + (m_rowHeight - 16) / 2, ILD_TRANSPARENT);
            RECT text = row;
            text.left += 22;
            ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            ::DrawTextW(dc, item.Name.c_str(), static_cast<int>(item.Name.size()), &text,
                        DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
            if (!item.Detail.empty()) {
                SIZE size{};
                ::GetTextExtentPoint32W(dc, item.Name.c_str(), static_cast<int>(item.Name.size()), &size);
                text.left += size.cx + 2 * m_charWidth;
                if (text.left < text.right) {
                    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
                    ::DrawTextW(dc, item.Detail.c_str(), static_cast<int>(item.Detail.size()), &text,
                                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
                }
            }
        }
        ::SelectObject(dc, oldFont);
    }

    TCompletionUi& m_owner;
    int m_top = 0;
    int m_rowHeight = 18;
    int m_charWidth = 7;
};

// ---- The tip window ----

class TCompletionUi::TTipWindow : public TControl {
public:
    TTipWindow(TCompletionUi& owner, HWND ownerWindow) : TControl(nullptr), m_owner(owner) {
        const wchar_t* cls = RegisterFrameworkClass(L"QsParameterTip", CS_DROPSHADOW,
                                                    reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1), nullptr);
        CreateHandle(cls, WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, false, ownerWindow);
    }
    ~TTipWindow() override { DestroyHandleTree(); }

    void Place(POINT rowTopLeft, int rowHeight) {
        const SIZE size = Measure();
        const RECT work = WorkAreaAt(rowTopLeft);
        const int width = std::min<int>(size.cx + 8, work.right - work.left);
        const int height = size.cy + 6;
        const int x = std::clamp<int>(rowTopLeft.x, work.left, std::max<int>(work.left, work.right - width));
        int y = rowTopLeft.y - height - 2;
        if (y < work.top) y = rowTopLeft.y + rowHeight + 2;
        ::SetWindowPos(m_hwnd, HWND_TOP, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            PAINTSTRUCT ps{};
            HDC dc = msg == WM_PAINT ? ::BeginPaint(m_hwnd, &ps) : reinterpret_cast<HDC>(wParam);
            if (dc) Draw(dc, true);
            if (msg == WM_PAINT) ::EndPaint(m_hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            m_owner.CloseTip(); // destroys nothing: the window is hidden, kept for the next tip
            return 0;
        default:
            break;
        }
        return TControl::HandleMessage(msg, wParam, lParam);
    }

private:
    SIZE Measure() {
        HDC dc = ::GetDC(m_hwnd);
        const SIZE size = Draw(dc, false);
        ::ReleaseDC(m_hwnd, dc);
        return size;
    }
    // Draws (or only measures) the text in three runs: before, the bold parameter, after.
    SIZE Draw(HDC dc, bool paint) {
        const std::wstring text = m_owner.TipText();
        const auto [boldStart, boldLength] = m_owner.m_tipBold;
        const int parts[4] = {0, boldStart, boldStart + boldLength, static_cast<int>(text.size())};
        if (paint) {
            RECT rc;
            ::GetClientRect(m_hwnd, &rc);
            ::SetBkColor(dc, ::GetSysColor(COLOR_INFOBK));
            ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
            ::SetTextColor(dc, ::GetSysColor(COLOR_INFOTEXT));
            ::SetBkMode(dc, TRANSPARENT);
        }
        HGDIOBJ oldFont = ::SelectObject(dc, DefaultFont());
        int x = 3, height = 0;
        for (int i = 0; i < 3; ++i) {
            const int length = parts[i + 1] - parts[i];
            if (length <= 0) continue;
            ::SelectObject(dc, i == 1 ? BoldFont() : DefaultFont());
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text.c_str() + parts[i], length, &size);
            if (paint) ::TextOutW(dc, x, 2, text.c_str() + parts[i], length);
            x += size.cx;
            height = std::max<int>(height, size.cy);
        }
        ::SelectObject(dc, oldFont);
        return {x, std::max(height, 14)};
    }

    TCompletionUi& m_owner;
};

// ---- TCompletionUi ----

TCompletionUi::TCompletionUi(TCodeEditor& editor) : m_editor(editor) {}

TCompletionUi::~TCompletionUi() = default;

bool TCompletionUi::ListOpen() const noexcept { return m_list && ::IsWindowVisible(m_list->Handle()); }
bool TCompletionUi::TipOpen() const noexcept { return m_tip && ::IsWindowVisible(m_tip->Handle()); }
HWND TCompletionUi::ListWindow() const noexcept { return m_list ? m_list->Handle() : nullptr; }
HWND TCompletionUi::TipWindow() const noexcept { return m_tip ? m_tip->Handle() : nullptr; }

void TCompletionUi::CloseList() noexcept {
    if (m_list && m_list->Handle()) ::ShowWindow(m_list->Handle(), SW_HIDE);
    m_row = -1;
    m_items.clear();
    m_shown.clear();
    m_selected = -1;
}

void TCompletionUi::CloseTip() noexcept {
    if (m_tip && m_tip->Handle()) ::ShowWindow(m_tip->Handle(), SW_HIDE);
    m_tipOpen = {-1, -1};
}

std::wstring TCompletionUi::WordBeforeCaret() const {
    const TCodeEditorModel& model = m_editor.Model();
    const TTextPos caret = model.Caret();
    if (caret.row != m_row || caret.col < m_startCol) return {};
    return model.Line(caret.row).substr(static_cast<size_t>(m_startCol), static_cast<size_t>(caret.col - m_startCol));
}

bool TCompletionUi::AskProvider(const std::function<bool(ICompletionProvider&)>& ask, bool& answered) {
    // The provider may call into live objects, which may run anything, closing the editor's form
    // included: the form is held meanwhile and nothing of the editor is touched once it is gone.
    const std::shared_ptr<ICompletionProvider> provider = m_provider;
    const TOwnCode own(m_editor.Form());
    const std::weak_ptr<const void> life = m_editor.LifeToken();
    m_asking = true;
    try {
        answered = ask(*provider);
    } catch (...) {
        answered = false;
    }
    if (life.expired()) return false;
    m_asking = false;
    return !own.Closed();
}

bool TCompletionUi::ShowList(TCompletionTrigger trigger) {
    if (!m_provider || m_asking) return false;
    CloseList();
    TCodeEditorModel& model = m_editor.Model();
    const TTextPos caret = model.Caret();
    TCompletionList list;
    bool answered = false;
    if (!AskProvider([&](ICompletionProvider& p) { return p.ListAt(model, caret, trigger, list); }, answered))
        return false;
    // The text may have changed under the call (a message loop ran): the answer is for the old caret.
    if (!answered || list.Items.empty() || model.Caret() != caret) return false;
    if (list.StartCol < 0 || list.StartCol > caret.col) return false;
    m_items = std::move(list.Items);
    m_row = caret.row;
    m_startCol = list.StartCol;
    const std::wstring word = WordBeforeCaret();
    Refilter();
    if (m_shown.empty()) {
        CloseList();
        return false;
    }
    // Ctrl+Space on a word that only one name continues completes it at once.
    if (trigger == TCompletionTrigger::Explicit && m_shown.size() == 1 && !word.empty()) return InsertSelected();
    if (!m_list) m_list = std::make_unique<TListWindow>(*this, ::GetAncestor(m_editor.Handle(), GA_ROOT));
    m_list->ResetTop();
    PlaceList();
    return ListOpen();
}

void TCompletionUi::Refilter() {
    const std::wstring word = WordBeforeCaret();
    m_shown.clear();
    for (const TCompletionItem& item : m_items)
        if (StartsWithNoCase(item.Name, word)) m_shown.push_back(item);
    m_selected = m_shown.empty() ? -1 : 0;
    for (size_t i = 0; i < m_shown.size(); ++i) {
        if (EqualNoCase(m_shown[i].Name, word)) {
            m_selected = static_cast<int>(i);
            break;
        }
    }
}

void TCompletionUi::PlaceList() {
    if (!m_list || m_row < 0) return;
    m_list->Place(m_editor.ScreenPointOf({m_row, m_startCol}), m_editor.LineHeight());
    m_list->Reveal();
}

void TCompletionUi::Select(int index) {
    if (m_shown.empty()) return;
    m_selected = std::clamp(index, 0, static_cast<int>(m_shown.size()) - 1);
    if (m_list) m_list->Reveal();
}

bool TCompletionUi::InsertSelected() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_shown.size()) || m_row < 0) return false;
    const std::wstring name = m_shown[static_cast<size_t>(m_selected)].Name;
    TCodeEditorModel& model = m_editor.Model();
    const TTextPos caret = model.Caret();
    if (caret.row != m_row) return false;
    // The word continues to the right of the caret when the list was opened inside it.
    const std::wstring& line = model.Line(m_row);
    int end = caret.col;
    while (end < static_cast<int>(line.size()) && IsWordChar(line[static_cast<size_t>(end)])) ++end;
    const int start = m_startCol;
    CloseList();
    model.SetSelection({caret.row, start}, {caret.row, end});
    m_editor.InsertText(name);
    return true;
}

std::wstring TCompletionUi::TipText() const {
    if (m_tipOpen.row < 0) return {};
    std::wstring text = m_tipData.Prefix;
    for (size_t i = 0; i < m_tipData.Params.size(); ++i) {
        if (i) text += L", ";
        text += m_tipData.Params[i];
    }
    return text + m_tipData.Suffix;
}

bool TCompletionUi::ShowTip() {
    if (!m_provider || m_asking) return false;
    TCodeEditorModel& model = m_editor.Model();
    const TTextPos caret = model.Caret();
    TTextPos open{};
    int param = 0;
    if (!FindOpenCall(model, caret, open, param)) {
        CloseTip();
        return false;
    }
    TParameterTip tip;
    bool answered = false;
    if (!AskProvider([&](ICompletionProvider& p) { return p.TipAt(model, open, tip); }, answered)) return false;
    if (!answered || model.Caret() != caret) {
        CloseTip();
        return false;
    }
    m_tipData = std::move(tip);
    m_tipOpen = open;
    m_tipParam = param;
    if (!m_tip) m_tip = std::make_unique<TTipWindow>(*this, ::GetAncestor(m_editor.Handle(), GA_ROOT));
    UpdateTip();
    return TipOpen();
}

void TCompletionUi::UpdateTip() {
    if (!m_tip || m_tipOpen.row < 0) return;
    int start = static_cast<int>(m_tipData.Prefix.size());
    m_tipBold = {0, 0};
    for (size_t i = 0; i < m_tipData.Params.size(); ++i) {
        if (i) start += 2;
        const int length = static_cast<int>(m_tipData.Params[i].size());
        // Past the last parameter the last one stays bold when it takes any number of values.
        const bool last = i + 1 == m_tipData.Params.size() && m_tipParam > static_cast<int>(i) &&
                          m_tipData.Params[i].find(L"...") != std::wstring::npos;
        if (static_cast<int>(i) == m_tipParam || last) m_tipBold = {start, length};
        start += length;
    }
    // Above the caret's row, from the bracket's column when the call started on that row.
    const TTextPos caret = m_editor.Model().Caret();
    m_tip->Place(m_editor.ScreenPointOf({caret.row, m_tipOpen.row == caret.row ? m_tipOpen.col : 0}),
                 m_editor.LineHeight());
}

bool TCompletionUi::SwallowChar(wchar_t c) noexcept {
    const bool swallow = m_swallow != 0 && c == m_swallow;
    m_swallow = 0;
    return swallow;
}

bool TCompletionUi::KeyDown(WORD key, UINT shift) {
    m_swallow = 0;
    if (m_asking) return true; // a key that arrives while the provider runs changes nothing
    if (ListOpen()) {
        const int page = kMaxListRows - 1;
        switch (key) {
        case VK_UP: Select(m_selected - 1); return true;
        case VK_DOWN: Select(m_selected + 1); return true;
        case VK_PRIOR: Select(m_selected - page); return true;
        case VK_NEXT: Select(m_selected + page); return true;
        case VK_ESCAPE:
            CloseList();
            m_swallow = 0x1B;
            return true;
        case VK_TAB:
        case VK_RETURN:
            if ((shift & (TCodeEditor::kCtrl | TCodeEditor::kAlt)) != 0 || m_selected < 0) break;
            // Enter after a name typed in full (as the list has it) is a new line, not a choice.
            if (key == VK_RETURN && WordBeforeCaret() == m_shown[static_cast<size_t>(m_selected)].Name) {
                CloseList();
                break;
            }
            m_swallow = key == VK_TAB ? L'\t' : L'\r';
            InsertSelected();
            return true;
        default:
            break;
        }
    }
    if (TipOpen() && key == VK_ESCAPE) {
        CloseTip();
        m_swallow = 0x1B;
        return true;
    }
    return false;
}

void TCompletionUi::CharTyped(wchar_t c) {
    if (!m_provider || m_asking) return;
    if (c == L'.') {
        ShowList(TCompletionTrigger::Dot);
        return;
    }
    if (c == L'(' || (c == L',' && !TipOpen())) {
        ShowTip(); // may close the editor: nothing follows
        return;
    }
    if (IsWordChar(c)) {
        if (ListOpen()) return; // CaretMoved filtered it already
        // The start of a word that is no member (nothing before it but an operator or a blank):
        // the provider offers what it holds without reaching any object.
        const TCodeEditorModel& model = m_editor.Model();
        const TTextPos caret = model.Caret();
        const std::wstring& line = model.Line(caret.row);
        int start = caret.col;
        while (start > 0 && IsWordChar(line[static_cast<size_t>(start - 1)])) --start;
        if (caret.col - start == 3 && (start == 0 || line[static_cast<size_t>(start - 1)] != L'.'))
            ShowList(TCompletionTrigger::Typing);
        return;
    }
    CloseList();
}

void TCompletionUi::CaretMoved() {
    if (m_asking) return;
    const TCodeEditorModel& model = m_editor.Model();
    const TTextPos caret = model.Caret();
    if (ListOpen()) {
        bool keep = caret.row == m_row && caret.col >= m_startCol && !model.HasSelection();
        if (keep) {
            const std::wstring word = WordBeforeCaret();
            keep = std::all_of(word.begin(), word.end(), IsWordChar);
        }
        if (keep) {
            Refilter();
            keep = !m_shown.empty();
        }
        if (keep)
            PlaceList();
        else
            CloseList();
    }
    if (TipOpen()) {
        TTextPos open{};
        int param = 0;
        if (FindOpenCall(model, caret, open, param) && open == m_tipOpen) {
            m_tipParam = param;
            UpdateTip();
        } else {
            CloseTip();
        }
    }
}

} // namespace qs::ui
