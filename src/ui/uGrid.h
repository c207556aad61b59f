// A simple string grid for the window framework: fixed header rows and columns drawn as headers, and
// an always-shown editor in every other cell. Tab and Shift+Tab move between the editable cells;
// Enter and Escape go to OnKeyDown from any cell, also while its text is being edited. It prints itself
// (WM_PRINT, WM_PRINTCLIENT) as it paints, and accessibility clients see it as a table of rows of
// cells. UI thread only.
#pragma once

#include "ui/uControls.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs::ui {

class TStringGrid : public TControl {
public:
    // A grid of `colCount` columns whose first `fixedCols` columns and `fixedRows` rows are headers.
    TStringGrid(TControl* parent, int colCount, int fixedCols, int fixedRows);
    ~TStringGrid() override;

    int ColCount() const noexcept { return static_cast<int>(m_colWidths.size()); }
    int RowCount() const noexcept { return m_rows; }
    // Sets the number of rows (headers included); new cells are empty.
    void SetRowCount(int rows);
    std::wstring Cell(int col, int row) const;
    void SetCell(int col, int row, const std::wstring& text);
    int ColWidth(int col) const { return m_colWidths.at(static_cast<size_t>(col)); }
    void SetColWidth(int col, int width);
    int RowHeight() const noexcept { return m_rowHeight; }
    static constexpr int GridLineWidth() noexcept { return 1; }
    bool Fixed(int col, int row) const noexcept { return col < m_fixedCols || row < m_fixedRows; }
    // The editor window of an editable cell; null for a header cell or a cell outside the grid.
    HWND Editor(int col, int row) const;
    // Puts the focus in an editable cell's editor, scrolling it into view.
    void FocusCell(int col, int row);
    // The editable cell that has the focus, or {-1, -1}.
    POINT FocusedCell() const;
    int TopRow() const noexcept { return m_topRow; }

    // A key pressed in a cell (VK_RETURN and VK_ESCAPE); `handled` stops its default handling.
    std::function<void(TStringGrid&, WORD key, bool& handled)> OnKeyDown;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Resized() override;

private:
    class TCellEditor;
    friend class TCellEditor;
    class TAccess;
    void Layout();
    // Draws the headers and grid lines; the screen (WM_PAINT) and a print (WM_PRINTCLIENT) share it.
    void Paint(HDC dc);
    void PrintClient(HDC dc, LPARAM flags);
    void Print(HDC dc, LPARAM flags);
    // Where a row is drawn in the client area (rows scrolled away above the top sit under the headers).
    int RowTop(int row) const noexcept {
        return row < m_fixedRows ? row * m_rowHeight : (row - m_topRow) * m_rowHeight;
    }
    // A row is shown when it is a header row or scrolled into the client area.
    bool RowShown(int row) const noexcept;
    RECT CellRect(int col, int row) const noexcept; // client coordinates
    void Scroll(int topRow);
    // Moves the focus from a cell by `step` editable cells (Tab +1, Shift+Tab -1).
    void MoveFocus(int col, int row, int step);
    size_t Index(int col, int row) const { return static_cast<size_t>(row) * m_colWidths.size() + col; }

    int m_fixedCols, m_fixedRows;
    int m_rows = 0;
    int m_rowHeight = 22;
    int m_topRow = 0;
    std::vector<int> m_colWidths;
    std::vector<std::wstring> m_texts;   // header cells' texts
    std::vector<TCellEditor*> m_editors; // editable cells' editors (children; null for headers)
    std::shared_ptr<TAccess> m_access;   // made at the first accessibility request
};

} // namespace qs::ui
