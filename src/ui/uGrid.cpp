// The string grid: header cells are painted by the grid, every editable cell is an edit box of its
// own placed over the cell, so the editor is always shown and its text is the cell's text.
#include "ui/uGrid.h"

#include "common/qsError.h"

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

TStringGrid::TStringGrid(TControl* parent, int colCount, int fixedCols, int fixedRows)
    : TControl(parent), m_fixedCols(fixedCols), m_fixedRows(fixedRows),
      m_colWidths(static_cast<size_t>(std::max(colCount, 1)), 95) {
    const wchar_t* cls = RegisterFrameworkClass(L"QsStringGrid", CS_DBLCLKS, ::GetSysColorBrush(COLOR_WINDOW),
                                                ::LoadCursorW(nullptr, IDC_ARROW));
    CreateHandle(cls, WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT,
                 false);
}

TStringGrid::~TStringGrid() = default;

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

// Places every editor over its cell; rows scrolled out of view hide theirs.
void TStringGrid::Layout() {
    if (!m_hwnd) return;
    const RECT rc = ClientRect();
    const int line = GridLineWidth();
    for (int r = 0; r < m_rows; ++r) {
        const bool shown = r < m_fixedRows || r >= m_fixedRows + m_topRow;
        const int y = r < m_fixedRows ? r * m_rowHeight : (r - m_topRow) * m_rowHeight;
        int x = 0;
        for (int c = 0; c < ColCount(); ++c) {
            if (TCellEditor* e = m_editors[Index(c, r)]) {
                const bool visible = shown && y < rc.bottom;
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
    const RECT client = ClientRect();
    HGDIOBJ oldFont = ::SelectObject(dc, DefaultFont());
    HPEN pen = ::CreatePen(PS_SOLID, GridLineWidth(), ::GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    ::SetBkMode(dc, TRANSPARENT);
    for (int r = 0; r < m_rows; ++r) {
        if (r >= m_fixedRows && r < m_fixedRows + m_topRow) continue;
        const int y = r < m_fixedRows ? r * m_rowHeight : (r - m_topRow) * m_rowHeight;
        if (y >= client.bottom) break;
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

LRESULT TStringGrid::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hwnd, &ps);
        Paint(dc);
        ::EndPaint(m_hwnd, &ps);
        return 0;
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
