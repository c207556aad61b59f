// The string grid seen by capture and accessibility tools: a print of the grid gives the screen's
// pixels, cell texts included; the accessible table answers with its rows and cells, reads and sets a
// cell's value, and fails cleanly once the grid is gone.
#include "common/qsHandles.h"
#include "common/qsModule.h"
#include "ui/uGrid.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace qs::ui;
using Microsoft::WRL::ComPtr;

namespace {

class GridAccess : public ::testing::Test {
protected:
    void SetUp() override {
        locksBefore = qs::ModuleLockCount();
        form = new TForm(nullptr);
        form->SetBounds(60, 60, 360, 200);
        grid = new TStringGrid(form, 3, 2, 1);
        grid->SetAlign(TAlign::Client);
        grid->SetRowCount(4);
        const wchar_t* cells[4][3] = {{L"Parameter", L"Type", L"Value"},
                                      {L"Count", L"Integer", L"42"},
                                      {L"Name", L"String", L"abc"},
                                      {L"Flag", L"Boolean", L""}};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) grid->SetCell(c, r, cells[r][c]);
        form->Realign();
        form->Show();
        ::SetFocus(nullptr); // no caret or selection blinking between a capture and a print
        ::UpdateWindow(form->Handle());
        TForm::ProcessMessages();
    }
    void TearDown() override {
        if (form) form->Free();
        TForm::ProcessMessages();
    }
    LONG locksBefore = 0;
    TForm* form = nullptr;
    TStringGrid* grid = nullptr;
};

// The grid's client area as `draw` leaves a window-sized bitmap first filled magenta. `draw` gets the
// window's screen rectangle and the client area's offset in it.
using TDraw = std::function<void(HDC, const RECT& window, POINT client)>;
std::vector<DWORD> ClientPixels(HWND hwnd, const TDraw& draw) {
    RECT win{}, client{};
    ::GetWindowRect(hwnd, &win);
    ::GetClientRect(hwnd, &client);
    POINT at{0, 0};
    ::ClientToScreen(hwnd, &at);
    at = {at.x - win.left, at.y - win.top};
    const int w = win.right - win.left, h = win.bottom - win.top;
    BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD* bits = nullptr;
    HDC mem = ::CreateCompatibleDC(nullptr);
    HBITMAP bmp = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    std::fill(bits, bits + w * h, 0xFF00FF);
    draw(mem, win, at);
    ::GdiFlush();
    std::vector<DWORD> pixels;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) pixels.push_back(bits[(y + at.y) * w + x + at.x] & 0xFFFFFF);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    return pixels;
}

TEST_F(GridAccess, PrintGivesTheScreensPixels) {
    const HWND hwnd = grid->Handle();
    const std::vector<DWORD> screen = ClientPixels(hwnd, [](HDC dc, const RECT& r, POINT) {
        HDC from = ::GetDC(nullptr);
        ::BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, from, r.left, r.top, SRCCOPY);
        ::ReleaseDC(nullptr, from);
    });
    // The value cell "42" shows its text on the screen, so a print without the editors cannot match.
    const int width = grid->ClientRect().right, x0 = grid->ColWidth(0) + grid->ColWidth(1), y0 = grid->RowHeight();
    int ink = 0;
    for (int y = y0; y < 2 * y0; ++y)
        for (int x = x0; x < x0 + 30; ++x) ink += screen[y * width + x] != screen[y0 * width + x0 + 1];
    ASSERT_GT(ink, 10);

    const struct {
        const char* how;
        int rows; // compared from the top: the editors are children, which WM_PRINTCLIENT leaves out
        TDraw print;
    } cases[] = {
        {"PrintWindow", grid->RowCount(), [&](HDC dc, const RECT&, POINT) { ::PrintWindow(hwnd, dc, 0); }},
        {"WM_PRINTCLIENT", 1,
         [&](HDC dc, const RECT&, POINT client) {
             ::SetViewportOrgEx(dc, client.x, client.y, nullptr);
             ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
         }},
    };
    for (const auto& c : cases) {
        const std::vector<DWORD> printed = ClientPixels(hwnd, c.print);
        const size_t compared = std::min(screen.size(), static_cast<size_t>(c.rows * y0 * width));
        EXPECT_TRUE(std::equal(screen.begin(), screen.begin() + compared, printed.begin())) << c.how;
    }
}

// oleacc is not linked: loaded as the module loads it.
ComPtr<IAccessible> AccessibleOf(HWND hwnd) {
    static const auto fromWindow = [] {
        HMODULE oleacc = ::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return oleacc ? reinterpret_cast<LPFNACCESSIBLEOBJECTFROMWINDOW>(
                            reinterpret_cast<void*>(::GetProcAddress(oleacc, "AccessibleObjectFromWindow")))
                      : nullptr;
    }();
    ComPtr<IAccessible> acc;
    if (fromWindow) fromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, &acc);
    return acc;
}

VARIANT Id(LONG id) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = id;
    return v;
}

std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), IAccessible* acc, LONG id) {
    qs::UniqueBstr s;
    const HRESULT hr = (acc->*get)(Id(id), s.Put());
    return FAILED(hr) ? L"<failed>" : qs::BstrText(s.Get());
}

LONG I4(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* acc, LONG id) {
    qs::Variant v;
    return SUCCEEDED((acc->*get)(Id(id), v.Put())) && v.Type() == VT_I4 ? V_I4(&v.Get()) : -1;
}

ComPtr<IAccessible> AsObject(const qs::Variant& v) {
    ComPtr<IAccessible> acc;
    if (v.Type() == VT_DISPATCH && V_DISPATCH(&v.Get())) V_DISPATCH(&v.Get())->QueryInterface(IID_PPV_ARGS(&acc));
    return acc;
}

TEST_F(GridAccess, ClientsSeeATableOfRowsOfCells) {
    ComPtr<IAccessible> table = AccessibleOf(grid->Handle());
    ASSERT_TRUE(table);
    EXPECT_EQ(I4(&IAccessible::get_accRole, table.Get(), CHILDID_SELF), ROLE_SYSTEM_TABLE);
    LONG count = 0;
    EXPECT_EQ(table->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 4);
    ComPtr<IDispatch> rowDisp;
    ASSERT_EQ(table->get_accChild(Id(2), &rowDisp), S_OK);
    ComPtr<IAccessible> row;
    ASSERT_EQ(rowDisp.As(&row), S_OK);
    EXPECT_EQ(Text(&IAccessible::get_accName, row.Get(), CHILDID_SELF), L"Count");
    EXPECT_EQ(I4(&IAccessible::get_accRole, row.Get(), CHILDID_SELF), ROLE_SYSTEM_ROW);

    // A cell is named after its column's header; its value is its text, whether header or editor.
    ::SetWindowTextW(grid->Editor(2, 1), L"7"); // typed by the user
    const struct {
        LONG id;
        const wchar_t* name;
        const wchar_t* value;
        bool readOnly;
    } cells[] = {{1, L"Parameter", L"Count", true}, {2, L"Type", L"Integer", true}, {3, L"Value", L"7", false}};
    for (const auto& c : cells) {
        EXPECT_EQ(I4(&IAccessible::get_accRole, row.Get(), c.id), ROLE_SYSTEM_CELL) << c.id;
        EXPECT_EQ(Text(&IAccessible::get_accName, row.Get(), c.id), c.name);
        EXPECT_EQ(Text(&IAccessible::get_accValue, row.Get(), c.id), c.value);
        EXPECT_EQ((I4(&IAccessible::get_accState, row.Get(), c.id) & STATE_SYSTEM_READONLY) != 0, c.readOnly) << c.id;
    }
    EXPECT_EQ(row->put_accValue(Id(3), qs::UniqueBstr(qs::AllocBstr(L"99")).Get()), S_OK);
    EXPECT_EQ(grid->Cell(2, 1), L"99");
    EXPECT_EQ(row->put_accValue(Id(1), qs::UniqueBstr(qs::AllocBstr(L"x")).Get()), E_ACCESSDENIED);
    EXPECT_EQ(grid->Cell(0, 1), L"Count");

    // The value cell's screen rectangle holds its editor; a hit there leads through the row to the cell.
    LONG x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(row->accLocation(&x, &y, &w, &h, Id(3)), S_OK);
    RECT editor{};
    ::GetWindowRect(grid->Editor(2, 1), &editor);
    EXPECT_TRUE(x <= editor.left && y <= editor.top && x + w >= editor.right && y + h >= editor.bottom);
    qs::Variant hit;
    ASSERT_EQ(table->accHitTest(x + w / 2, y + h / 2, hit.Put()), S_OK);
    ComPtr<IAccessible> hitRow = AsObject(hit);
    ASSERT_TRUE(hitRow);
    EXPECT_EQ(Text(&IAccessible::get_accName, hitRow.Get(), CHILDID_SELF), L"Count");
    ASSERT_EQ(hitRow->accHitTest(x + w / 2, y + h / 2, hit.Put()), S_OK);
    EXPECT_TRUE(hit.Type() == VT_I4 && V_I4(&hit.Get()) == 3);

    // Navigation: the first row is the header; the last cell of a row has no next.
    qs::Variant to;
    ASSERT_EQ(table->accNavigate(NAVDIR_FIRSTCHILD, Id(CHILDID_SELF), to.Put()), S_OK);
    ComPtr<IAccessible> header = AsObject(to);
    ASSERT_TRUE(header);
    EXPECT_EQ(Text(&IAccessible::get_accName, header.Get(), CHILDID_SELF), L"Parameter");
    EXPECT_EQ(row->accNavigate(NAVDIR_NEXT, Id(2), to.Put()), S_OK);
    EXPECT_TRUE(to.Type() == VT_I4 && V_I4(&to.Get()) == 3);
    EXPECT_EQ(row->accNavigate(NAVDIR_NEXT, Id(3), to.Put()), S_FALSE);

    // The focus, from the table down to the cell.
    grid->FocusCell(2, 2);
    qs::Variant focus;
    ASSERT_EQ(table->get_accFocus(focus.Put()), S_OK);
    ComPtr<IAccessible> focusRow = AsObject(focus);
    ASSERT_TRUE(focusRow);
    EXPECT_EQ(Text(&IAccessible::get_accName, focusRow.Get(), CHILDID_SELF), L"Name");
    ASSERT_EQ(focusRow->get_accFocus(focus.Put()), S_OK);
    EXPECT_TRUE(focus.Type() == VT_I4 && V_I4(&focus.Get()) == 3);

    // Once the grid is gone every object says so, and releasing them frees their module locks.
    form->Free();
    form = nullptr;
    TForm::ProcessMessages();
    EXPECT_EQ(table->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(Text(&IAccessible::get_accName, row.Get(), 3), L"<failed>");
    EXPECT_EQ(hitRow->accNavigate(NAVDIR_FIRSTCHILD, Id(CHILDID_SELF), to.Put()), CO_E_OBJNOTCONNECTED);
    table.Reset(), rowDisp.Reset(), row.Reset(), hitRow.Reset(), header.Reset(), focusRow.Reset();
    EXPECT_EQ(qs::ModuleLockCount(), locksBefore);
}

} // namespace
