// The string grid: header cells are painted by the grid, every editable cell is an edit box of its
// own placed over the cell, so the editor is always shown and its text is the cell's text.
#include "ui/uGrid.h"

#include "common/qsError.h"
#include "ui/uAccessible.h"

#include <algorithm>

namespace qs::ui {

// A cell's editor: takes Tab, Enter and Escape from dialog navigation so the grid decides what they do.
class TStringGrid::TCellEditor : public TEdit {
public:
    TCellEditor(TStringGrid* grid, int col, int row) : TEdit(grid), m_grid(grid), m_col(col), m_row(row) {
        ::SetWindowLongPtrW(m_hwnd, GWL_EXSTYLE, 0); // the grid's lines are the cell's border
        ::SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_GETDLGCODE:
            return CallDefault(msg, wParam, lParam) | DLGC_WANTALLKEYS | DLGC_WANTTAB;
        case WM_KEYDOWN:
            if (wParam == VK_TAB) {
                m_grid->MoveFocus(m_col, m_row, (::GetKeyState(VK_SHIFT) & 0x8000) ? -1 : 1);
                return 0;
            }
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                bool handled = false;
                if (m_grid->OnKeyDown) m_grid->OnKeyDown(*m_grid, static_cast<WORD>(wParam), handled);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L'\t' || wParam == L'\r' || wParam == 27) return 0; // no beep
            break;
        default: break;
        }
        return TEdit::HandleMessage(msg, wParam, lParam);
    }

private:
    TStringGrid* m_grid;
    int m_col, m_row;
};

// What accessibility clients see: a table of rows ({row}) of cells ({row, col}). A row is named after
// its first header cell, a cell after its column's header; a cell's value is its text, which an
// editable cell's editor holds and a client may set.
class TStringGrid::TAccess final : public TAccessibleModel {
public:
    explicit TAccess(TStringGrid* grid) noexcept : m_grid(grid) {}
    // The grid is going: from now on its objects answer that they are disconnected.
    void Detach() noexcept { m_grid = nullptr; }

    HWND AccWindow() const noexcept override { return m_grid ? m_grid->Handle() : nullptr; }

    int AccChildCount(const TAccPath& path) const override {
        if (path.empty()) return m_grid->m_rows;
        return path.size() == 1 ? m_grid->ColCount() : 0;
    }

    TAccElement AccDescribe(const TAccPath& path) const override {
        const TStringGrid& g = *m_grid;
        const HWND focus = ::GetFocus();
        LONG state = 0;
        if (!::IsWindowVisible(g.m_hwnd)) state |= STATE_SYSTEM_INVISIBLE;
        if (!::IsWindowEnabled(g.m_hwnd)) state |= STATE_SYSTEM_UNAVAILABLE;
        TAccElement e;
        RECT r = g.ClientRect();
        if (path.empty()) {
            e.Role = ROLE_SYSTEM_TABLE;
            e.Name = g.Text();
            if (e.Name.empty()) e.Name = g.Name;
            e.State = state | STATE_SYSTEM_FOCUSABLE | (focus == g.m_hwnd ? STATE_SYSTEM_FOCUSED : 0);
        } else {
            const int row = path[0];
            if (!g.RowShown(row)) state |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
            if (path.size() == 1) {
                e.Role = ROLE_SYSTEM_ROW;
                if (g.Fixed(0, row)) e.Name = g.Cell(0, row);
                e.State = state;
                r = g.CellRect(0, row);
                r.right = g.CellRect(g.ColCount() - 1, row).right;
            } else {
                const int col = path[1];
                const HWND editor = g.Editor(col, row);
                e.Role = ROLE_SYSTEM_CELL;
                if (g.m_fixedRows > 0) e.Name = g.Cell(col, 0);
                e.HasValue = true;
                e.Value = g.Cell(col, row);
                e.State = state | (!editor ? STATE_SYSTEM_READONLY
                                           : STATE_SYSTEM_FOCUSABLE | (focus == editor ? STATE_SYSTEM_FOCUSED : 0));
                r = g.CellRect(col, row);
            }
        }
        ::MapWindowPoints(g.m_hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
        e.Screen = r;
        return e;
    }

    bool AccHitTest(POINT screen, TAccPath& path) const override {
        const TStringGrid& g = *m_grid;
        POINT p = screen;
        ::ScreenToClient(g.m_hwnd, &p);
        const RECT client = g.ClientRect();
        if (!::PtInRect(&client, p)) return false;
        path.clear();
        for (int row = 0; row < g.m_rows; ++row) {
            if (!g.RowShown(row) || p.y < g.RowTop(row) || p.y >= g.RowTop(row) + g.m_rowHeight) continue;
            path.push_back(row);
            for (int col = 0; col < g.ColCount(); ++col) {
                const RECT cell = g.CellRect(col, row);
                if (p.x >= cell.left && p.x < cell.right) {
                    path.push_back(col);
                    break;
                }
            }
            break;
        }
        return true;
    }

    bool AccFocus(TAccPath& path) const override {
        const POINT cell = m_grid->FocusedCell();
        if (cell.x >= 0) path = {cell.y, cell.x};
        else if (::GetFocus() == m_grid->m_hwnd) path.clear();
        else return false;
        return true;
    }

    HRESULT AccSetValue(const TAccPath& path, const std::wstring& value) override {
        if (path.size() != 2) return DISP_E_MEMBERNOTFOUND;
        if (!m_grid->Editor(path[1], path[0])) return E_ACCESSDENIED; // a header
        const TOwnCode own(m_grid->Form()); // a change handler that closes the form does not free it under us
        m_grid->SetCell(path[1], path[0], value);
        return S_OK;
    }

    bool AccTakeFocus(const TAccPath& path) override {
        const TOwnCode own(m_grid->Form());
        if (path.empty()) {
            ::SetFocus(m_grid->m_hwnd); // the grid passes it on to its first editable cell
            const HWND focus = ::GetFocus();
            return focus && (focus == m_grid->m_hwnd || ::IsChild(m_grid->m_hwnd, focus));
        }
        if (path.size() != 2 || !m_grid->Editor(path[1], path[0])) return false;
        m_grid->FocusCell(path[1], path[0]);
        return true;
    }

private:
    TStringGrid* m_grid;
};

TStringGrid::TStringGrid(TControl* parent, int colCount, int fixedCols, int fixedRows)
    : TControl(parent), m_fixedCols(fixedCols), m_fixedRows(fixedRows),
      m_colWidths(static_cast<size_t>(std::max(colCount, 1)), 95) {
    const wchar_t* cls = RegisterFrameworkClass(L"QsStringGrid", CS_DBLCLKS, ::GetSysColorBrush(COLOR_WINDOW),
                                                ::LoadCursorW(nullptr, IDC_ARROW));
    CreateHandle(cls, WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT,
                 false);
}

TStringGrid::~TStringGrid() {
    if (m_access) m_access->Detach();
}

void TStringGrid::SetRowCount(int rows) {
    rows = std::max(rows, 0);
    const size_t cols = m_colWidths.size();
    // Editors of removed rows go with their rows; the children list owns them.
    for (size_t i = static_cast<size_t>(rows) * cols; i < m_editors.size(); ++i) delete m_editors[i];
    m_editors.resize(static_cast<size_t>(rows) * cols, nullptr);
    m_texts.resize(static_cast<size_t>(rows) * cols);
    for (int r = m_rows; r < rows; ++r)
        for (int c = 0; c < static_cast<int>(cols); ++c)
            if (!Fixed(c, r)) m_editors[Index(c, r)] = new TCellEditor(this, c, r);
    m_rows = rows;
    m_topRow = std::min(m_topRow, std::max(rows - 1, 0));
    Layout();
}

std::wstring TStringGrid::Cell(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= m_rows) return {};
    if (TCellEditor* e = m_editors[Index(col, row)]) return e->Text();
    return m_texts[Index(col, row)];
}

void TStringGrid::SetCell(int col, int row, const std::wstring& text) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= m_rows) return;
    if (TCellEditor* e = m_editors[Index(col, row)]) e->SetText(text);
    else m_texts[Index(col, row)] = text;
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void TStringGrid::SetColWidth(int col, int width) {
    m_colWidths.at(static_cast<size_t>(col)) = std::max(width, 0);
    Layout();
}

HWND TStringGrid::Editor(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= m_rows) return nullptr;
    TCellEditor* e = m_editors[Index(col, row)];
    return e ? e->Handle() : nullptr;
}

void TStringGrid::FocusCell(int col, int row) {
    HWND editor = Editor(col, row);
    if (!editor) return;
    const RECT rc = ClientRect();
    const int visibleRows = std::max((static_cast<int>(rc.bottom) - m_fixedRows * m_rowHeight) / m_rowHeight, 1);
    if (row < m_topRow + m_fixedRows) Scroll(row - m_fixedRows);
    else if (row >= m_topRow + m_fixedRows + visibleRows) Scroll(row - m_fixedRows - visibleRows + 1);
    ::SetFocus(editor);
    ::SendMessageW(editor, EM_SETSEL, 0, -1);
}

POINT TStringGrid::FocusedCell() const {
    const HWND focus = ::GetFocus();
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < ColCount(); ++c)
            if (focus && Editor(c, r) == focus) return {c, r};
    return {-1, -1};
}

void TStringGrid::MoveFocus(int col, int row, int step) {
    const int cols = ColCount(), cells = cols * m_rows;
    int i = row * cols + col;
    for (int n = 0; n < cells; ++n) {
        i = ((i + step) % cells + cells) % cells;
        if (Editor(i % cols, i / cols)) {
            FocusCell(i % cols, i / cols);
            return;
        }
    }
}

void TStringGrid::Scroll(int topRow) {
    const int scrollable = std::max(m_rows - m_fixedRows, 0);
    m_topRow = std::clamp(topRow, 0, std::max(scrollable - 1, 0));
    Layout();
}

void TStringGrid::Resized() { Layout(); }

bool TStringGrid::RowShown(int row) const noexcept {
    return (row < m_fixedRows || row >= m_fixedRows + m_topRow) && RowTop(row) < ClientRect().bottom;
}

RECT TStringGrid::CellRect(int col, int row) const noexcept {
    int x = 0;
    for (int c = 0; c < col && c < ColCount(); ++c) x += m_colWidths[static_cast<size_t>(c)];
    const int width = col >= 0 && col < ColCount() ? m_colWidths[static_cast<size_t>(col)] : 0;
    return {x, RowTop(row), x + width, RowTop(row) + m_rowHeight};
}

// Places every editor over its cell; rows scrolled out of view hide theirs.
void TStringGrid::Layout() {
    if (!m_hwnd) return;
    const RECT rc = ClientRect();
    const int line = GridLineWidth();
    for (int r = 0; r < m_rows; ++r) {
        const bool visible = RowShown(r);
        const int y = RowTop(r);
        int x = 0;
        for (int c = 0; c < ColCount(); ++c) {
            if (TCellEditor* e = m_editors[Index(c, r)]) {
                if (visible) e->SetBounds(x + 2, y + 3, std::max(ColWidth(c) - line - 3, 1), m_rowHeight - line - 4);
                ::ShowWindow(e->Handle(), visible ? SW_SHOWNA : SW_HIDE);
            }
            x += ColWidth(c);
        }
    }
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL};
    const int scrollable = std::max(m_rows - m_fixedRows, 0);
    const int page = std::max((static_cast<int>(rc.bottom) - m_fixedRows * m_rowHeight) / m_rowHeight, 1);
    si.nMin = 0;
    si.nMax = std::max(scrollable - 1, 0);
    si.nPage = static_cast<UINT>(page);
    si.nPos = m_topRow;
    ::SetScrollInfo(m_hwnd, SB_VERT, &si, TRUE);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void TStringGrid::Paint(HDC dc) {
    HGDIOBJ oldFont = ::SelectObject(dc, DefaultFont());
    HPEN pen = ::CreatePen(PS_SOLID, GridLineWidth(), ::GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    ::SetBkMode(dc, TRANSPARENT);
    for (int r = 0; r < m_rows; ++r) {
        if (!RowShown(r)) continue;
        const int y = RowTop(r);
        int x = 0;
        for (int c = 0; c < ColCount(); ++c) {
            RECT cell = {x, y, x + ColWidth(c), y + m_rowHeight};
            if (Fixed(c, r)) {
                ::FillRect(dc, &cell, ::GetSysColorBrush(COLOR_BTNFACE));
                RECT text = {cell.left + 3, cell.top, cell.right - 3, cell.bottom};
                const std::wstring& s = m_texts[Index(c, r)];
                ::DrawTextW(dc, s.c_str(), static_cast<int>(s.size()), &text,
                            DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
            }
            ::MoveToEx(dc, cell.right - 1, cell.top, nullptr);
            ::LineTo(dc, cell.right - 1, cell.bottom - 1);
            ::LineTo(dc, cell.left - 1, cell.bottom - 1);
            x += ColWidth(c);
        }
    }
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    ::SelectObject(dc, oldFont);
}

// Prints the client area as WM_PAINT draws it, on the background the screen is erased with.
void TStringGrid::PrintClient(HDC dc, LPARAM flags) {
    if ((flags & PRF_CHECKVISIBLE) && !::IsWindowVisible(m_hwnd)) return;
    if (flags & PRF_ERASEBKGND) {
        // The class's brush over the client area only: the default erasing fills all the DC may show.
        const RECT client = ClientRect();
        ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(::GetClassLongPtrW(m_hwnd, GCLP_HBRBACKGROUND)));
    }
    Paint(dc);
}

// Prints the grid as the screen shows it, the DC's origin at the window's corner. The frame and scroll
// bar are left to the system; the client area and the cell editors over it are placed here, since not
// every system offsets the client area or prints a window's children (Wine does neither, nor the frame).
void TStringGrid::Print(HDC dc, LPARAM flags) {
    if ((flags & PRF_CHECKVISIBLE) && !::IsWindowVisible(m_hwnd)) return;
    if (flags & PRF_NONCLIENT)
        CallDefault(WM_PRINT, reinterpret_cast<WPARAM>(dc), flags & ~(PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND));
    if (!(flags & PRF_CLIENT)) return;
    POINT origin{0, 0};
    if (flags & PRF_NONCLIENT) {
        RECT window{};
        ::GetWindowRect(m_hwnd, &window);
        ::ClientToScreen(m_hwnd, &origin);
        origin = {origin.x - window.left, origin.y - window.top};
    }
    const RECT client = ClientRect();
    const int saved = ::SaveDC(dc);
    ::OffsetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    ::IntersectClipRect(dc, 0, 0, client.right, client.bottom);
    PrintClient(dc, flags);
    if (flags & PRF_CHILDREN) {
        const LPARAM childFlags = (flags & (PRF_ERASEBKGND | PRF_CHILDREN | PRF_CLIENT)) | PRF_NONCLIENT;
        const HWND first = ::GetWindow(m_hwnd, GW_CHILD);
        // From the bottom of the z-order up, as the screen stacks them.
        for (HWND child = first ? ::GetWindow(first, GW_HWNDLAST) : nullptr; child;
             child = ::GetWindow(child, GW_HWNDPREV)) {
            if (!::IsWindowVisible(child)) continue;
            RECT at{};
            ::GetWindowRect(child, &at);
            ::MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&at), 2);
            const int inner = ::SaveDC(dc);
            ::OffsetViewportOrgEx(dc, at.left, at.top, nullptr);
            ::IntersectClipRect(dc, 0, 0, at.right - at.left, at.bottom - at.top);
            ::SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(dc), childFlags);
            ::RestoreDC(dc, inner);
        }
    }
    ::RestoreDC(dc, saved);
}

LRESULT TStringGrid::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hwnd, &ps);
        Paint(dc);
        ::EndPaint(m_hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: PrintClient(reinterpret_cast<HDC>(wParam), lParam); return 0;
    case WM_PRINT: Print(reinterpret_cast<HDC>(wParam), lParam); return 0;
    case WM_GETOBJECT: {
        if (!m_access) m_access = std::make_shared<TAccess>(this);
        LRESULT result = 0;
        if (AnswerGetObject(m_access, wParam, lParam, result)) return result;
        break;
    }
    case WM_VSCROLL: {
        int top = m_topRow;
        switch (LOWORD(wParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= 5; break;
        case SB_PAGEDOWN: top += 5; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = HIWORD(wParam); break;
        case SB_TOP: top = 0; break;
        case SB_BOTTOM: top = m_rows; break;
        default: break;
        }
        Scroll(top);
        return 0;
    }
    case WM_SETFOCUS: {
        // The grid passes the focus on to its first editable cell.
        for (int r = 0; r < m_rows; ++r)
            for (int c = 0; c < ColCount(); ++c)
                if (Editor(c, r)) {
                    FocusCell(c, r);
                    return 0;
                }
        break;
    }
    default: break;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

} // namespace qs::ui
