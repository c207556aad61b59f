// The framework's common controls. See uComCtrls.h.
#include "ui/uComCtrls.h"

#include "common/qsError.h"
#include "common/qsModule.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace qs::ui {

// ---- TImageList ----

TImageList::TImageList(int width, int height) : m_list(::ImageList_Create(width, height, ILC_COLOR32, 8, 8)) {}

TImageList::~TImageList() {
    if (m_list) ::ImageList_Destroy(m_list);
}

bool TImageList::AddResourceStrip(const wchar_t* resourceName) {
    HBITMAP bmp = static_cast<HBITMAP>(
        ::LoadImageW(FrameworkModule(), resourceName, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp) return false;
    const int added = ::ImageList_Add(m_list, bmp, nullptr);
    ::DeleteObject(bmp);
    return added >= 0;
}

int TImageList::Count() const { return m_list ? ::ImageList_GetImageCount(m_list) : 0; }

// ---- TTreeView ----

TTreeView::TTreeView(TControl* parent) : TControl(parent) {
    CreateHandle(WC_TREEVIEWW,
                 WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                 WS_EX_CLIENTEDGE, true);
}

void TTreeView::SetImages(TImageList* images) {
    TreeView_SetImageList(m_hwnd, images ? images->Handle() : nullptr, TVSIL_NORMAL);
}

HTREEITEM TTreeView::AddChild(HTREEITEM parent, const std::wstring& text, void* data, int image, HTREEITEM after) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent ? parent : TVI_ROOT;
    ins.hInsertAfter = after ? after : TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = const_cast<LPWSTR>(text.c_str());
    ins.item.lParam = reinterpret_cast<LPARAM>(data);
    ins.item.iImage = ins.item.iSelectedImage = image < 0 ? I_IMAGENONE : image;
    return reinterpret_cast<HTREEITEM>(::SendMessageW(m_hwnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

void TTreeView::Delete(HTREEITEM item) {
    if (item) TreeView_DeleteItem(m_hwnd, item);
}

void TTreeView::DeleteChildren(HTREEITEM item) {
    for (HTREEITEM child : ChildrenOf(item)) TreeView_DeleteItem(m_hwnd, child);
}

void TTreeView::Clear() { TreeView_DeleteAllItems(m_hwnd); }

std::wstring TTreeView::ItemText(HTREEITEM item) const {
    wchar_t buffer[1024] = L"";
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 1024;
    ::SendMessageW(m_hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return buffer;
}

void* TTreeView::Data(HTREEITEM item) const {
    if (!item) return nullptr;
    TVITEMW tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!::SendMessageW(m_hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
    return reinterpret_cast<void*>(tv.lParam);
}

int TTreeView::ImageIndex(HTREEITEM item) const {
    TVITEMW tv{};
    tv.mask = TVIF_IMAGE;
    tv.hItem = item;
    if (!::SendMessageW(m_hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return -1;
    return tv.iImage;
}

void TTreeView::SetImageIndex(HTREEITEM item, int image) {
    TVITEMW tv{};
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    tv.iImage = tv.iSelectedImage = image;
    ::SendMessageW(m_hwnd, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

HTREEITEM TTreeView::ParentOf(HTREEITEM item) const { return item ? TreeView_GetParent(m_hwnd, item) : nullptr; }

HTREEITEM TTreeView::FirstChild(HTREEITEM item) const {
    return item ? TreeView_GetChild(m_hwnd, item) : TreeView_GetRoot(m_hwnd);
}

HTREEITEM TTreeView::NextSibling(HTREEITEM item) const { return TreeView_GetNextSibling(m_hwnd, item); }

std::vector<HTREEITEM> TTreeView::ChildrenOf(HTREEITEM item) const {
    std::vector<HTREEITEM> out;
    for (HTREEITEM c = FirstChild(item); c; c = NextSibling(c)) out.push_back(c);
    return out;
}

bool TTreeView::HasChildren(HTREEITEM item) const { return item && TreeView_GetChild(m_hwnd, item) != nullptr; }

bool TTreeView::Expanded(HTREEITEM item) const {
    return item && (TreeView_GetItemState(m_hwnd, item, TVIS_EXPANDED) & TVIS_EXPANDED);
}

void TTreeView::SetBold(HTREEITEM item, bool bold) {
    if (item) TreeView_SetItemState(m_hwnd, item, bold ? TVIS_BOLD : 0, TVIS_BOLD);
}

bool TTreeView::Bold(HTREEITEM item) const {
    return item && (TreeView_GetItemState(m_hwnd, item, TVIS_BOLD) & TVIS_BOLD);
}

void TTreeView::Expand(HTREEITEM item) {
    if (!item || Expanded(item)) return;
    bool allow = true;
    if (OnExpanding) OnExpanding(*this, item, allow);
    if (!allow) return;
    m_inExpandCall = true;
    TreeView_Expand(m_hwnd, item, TVE_EXPAND);
    m_inExpandCall = false;
}

void TTreeView::Collapse(HTREEITEM item) {
    if (!item || !Expanded(item)) return;
    bool allow = true;
    if (OnCollapsing) OnCollapsing(*this, item, allow);
    if (!allow) return;
    m_inExpandCall = true;
    TreeView_Expand(m_hwnd, item, TVE_COLLAPSE);
    m_inExpandCall = false;
}

void TTreeView::SortChildren(HTREEITEM item) { TreeView_SortChildren(m_hwnd, item ? item : TVI_ROOT, FALSE); }

HTREEITEM TTreeView::Selected() const { return TreeView_GetSelection(m_hwnd); }

void TTreeView::Select(HTREEITEM item) { TreeView_SelectItem(m_hwnd, item); }

HTREEITEM TTreeView::ItemAt(POINT client) const {
    TVHITTESTINFO hit{};
    hit.pt = client;
    HTREEITEM item = TreeView_HitTest(m_hwnd, &hit);
    return (hit.flags & (TVHT_ONITEM | TVHT_ONITEMBUTTON | TVHT_ONITEMINDENT | TVHT_ONITEMRIGHT)) ? item : nullptr;
}

RECT TTreeView::ItemRect(HTREEITEM item, bool textOnly) const {
    RECT rc{};
    TreeView_GetItemRect(m_hwnd, item, &rc, textOnly);
    return rc;
}

void TTreeView::BeginUpdate() {
    if (m_updates++ == 0) ::SendMessageW(m_hwnd, WM_SETREDRAW, FALSE, 0);
}

void TTreeView::EndUpdate() {
    if (m_updates > 0 && --m_updates == 0) {
        ::SendMessageW(m_hwnd, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }
}

namespace {

// Draws a caption again over the label rectangle the control painted, its first match of `match`
// (without regard to case) on the match colour. Returns false when there is nothing to mark.
bool DrawCaptionWithMatch(const NMCUSTOMDRAW& cd, RECT label, const std::wstring& caption, const std::wstring& match,
                          bool selected, bool bold = false) {
    if (match.empty() || caption.size() < match.size() || label.right <= label.left) return false;
    const int at = ::FindStringOrdinal(FIND_FROMSTART, caption.c_str(), static_cast<int>(caption.size()),
                                       match.c_str(), static_cast<int>(match.size()), TRUE);
    if (at < 0) return false;
    HDC dc = cd.hdc;
    const int saved = ::SaveDC(dc);
    // The control's own font: after an item is painted the DC may hold another one.
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(cd.hdr.hwndFrom, WM_GETFONT, 0, 0));
    HFONT boldFont = nullptr;
    if (bold) {
        LOGFONTW lf{};
        if (font && ::GetObjectW(font, sizeof lf, &lf)) {
            lf.lfWeight = FW_BOLD;
            boldFont = ::CreateFontIndirectW(&lf);
        }
    }
    if (boldFont || font) ::SelectObject(dc, boldFont ? boldFont : font);
    ::IntersectClipRect(dc, label.left, label.top, label.right, label.bottom);
    const COLORREF back = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const COLORREF fore = ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    HBRUSH brush = ::CreateSolidBrush(back);
    ::FillRect(dc, &label, brush);
    ::DeleteObject(brush);
    ::SetBkMode(dc, OPAQUE);
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT;
    RECT part = label;
    part.left += 2;
    // Before, the match, after: each drawn where the one before ended.
    const std::wstring pieces[3] = {caption.substr(0, static_cast<size_t>(at)), caption.substr(static_cast<size_t>(at), match.size()),
                                    caption.substr(static_cast<size_t>(at) + match.size())};
    for (int i = 0; i < 3 && part.left < part.right; ++i) {
        if (pieces[i].empty()) continue;
        ::SetBkColor(dc, i == 1 ? kMatchHighlightColor : back);
        ::SetTextColor(dc, i == 1 ? RGB(0, 0, 0) : fore);
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, pieces[i].c_str(), static_cast<int>(pieces[i].size()), &extent);
        RECT piece = part;
        piece.right = std::min(part.right, part.left + extent.cx);
        ::DrawTextW(dc, pieces[i].c_str(), static_cast<int>(pieces[i].size()), &piece, format);
        part.left = piece.right;
    }
    ::RestoreDC(dc, saved);
    if (boldFont) ::DeleteObject(boldFont);
    return true;
}

// The custom-draw stages a marked control asks for: each item, and after each item is painted.
bool AnswerMatchDrawStages(NMCUSTOMDRAW& cd, LRESULT& result) {
    if (cd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
        return true;
    }
    if (cd.dwDrawStage == CDDS_ITEMPREPAINT) {
        result = CDRF_NOTIFYPOSTPAINT;
        return true;
    }
    return false;
}

} // namespace

void TTreeView::SetHighlight(const std::wstring& text) {
    if (text == m_highlight) return;
    m_highlight = text;
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

bool TTreeView::HandleNotify(NMHDR& nm, LRESULT& result) {
    switch (nm.code) {
    case NM_CUSTOMDRAW: {
        auto& cd = reinterpret_cast<NMTVCUSTOMDRAW&>(nm).nmcd;
        if (m_highlight.empty()) return false;
        if (AnswerMatchDrawStages(cd, result)) return true;
        if (cd.dwDrawStage != CDDS_ITEMPOSTPAINT) return false;
        const auto item = reinterpret_cast<HTREEITEM>(cd.dwItemSpec);
        RECT label{};
        std::memcpy(&label, &item, sizeof item); // the message takes the item in the rectangle
        if (::SendMessageW(m_hwnd, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)))
            DrawCaptionWithMatch(cd, label, ItemText(item), m_highlight, (cd.uItemState & CDIS_SELECTED) != 0, Bold(item));
        result = CDRF_DODEFAULT;
        return true;
    }
    case TVN_ITEMEXPANDINGW: {
        auto& tv = reinterpret_cast<NMTREEVIEWW&>(nm);
        bool allow = true;
        if (!m_inExpandCall) {
            if ((tv.action & TVE_EXPAND) && OnExpanding) OnExpanding(*this, tv.itemNew.hItem, allow);
            else if ((tv.action & TVE_COLLAPSE) && OnCollapsing) OnCollapsing(*this, tv.itemNew.hItem, allow);
        }
        result = allow ? FALSE : TRUE;
        return true;
    }
    case TVN_SELCHANGEDW: {
        auto& tv = reinterpret_cast<NMTREEVIEWW&>(nm);
        if (OnChange) OnChange(*this, tv.itemNew.hItem);
        result = 0;
        return true;
    }
    case NM_DBLCLK:
        if (OnDblClick) OnDblClick(*this);
        result = 0;
        return OnDblClick != nullptr;
    case NM_RCLICK: {
        if (!OnContextPopup) return false;
        POINT p;
        ::GetCursorPos(&p);
        OnContextPopup(*this, p);
        result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

LRESULT TTreeView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CONTEXTMENU && OnContextPopup) {
        OnContextPopup(*this, POINT{GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam)});
        return 0;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

// ---- TListView ----

TListView::TListView(TControl* parent, Options options) : TControl(parent) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
    if (!options.showHeader) style |= LVS_NOCOLUMNHEADER;
    if (options.sortAscending) style |= LVS_SORTASCENDING;
    if (options.ownerData) style |= LVS_OWNERDATA;
    CreateHandle(WC_LISTVIEWW, style, WS_EX_CLIENTEDGE, true);
    DWORD ex = LVS_EX_FULLROWSELECT;
    if (options.checkBoxes) ex |= LVS_EX_CHECKBOXES;
    ListView_SetExtendedListViewStyle(m_hwnd, ex);
}

void TListView::AddColumn(const std::wstring& caption, int width) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = const_cast<LPWSTR>(caption.c_str());
    col.cx = width;
    col.iSubItem = ColumnCount();
    ::SendMessageW(m_hwnd, LVM_INSERTCOLUMNW, col.iSubItem, reinterpret_cast<LPARAM>(&col));
}

int TListView::ColumnCount() const {
    HWND header = ListView_GetHeader(m_hwnd);
    return header ? Header_GetItemCount(header) : 0;
}

void TListView::SetColumnWidth(int column, int width) { ListView_SetColumnWidth(m_hwnd, column, width); }

int TListView::AddItem(const std::wstring& caption, void* data) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = Count();
    item.pszText = const_cast<LPWSTR>(caption.c_str());
    item.lParam = reinterpret_cast<LPARAM>(data);
    m_filling = true;
    const int index = static_cast<int>(::SendMessageW(m_hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    m_filling = false;
    return index;
}

void TListView::SetSubItem(int item, int column, const std::wstring& text) {
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = const_cast<LPWSTR>(text.c_str());
    ::SendMessageW(m_hwnd, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
}

void TListView::Clear() {
    m_filling = true;
    ListView_DeleteAllItems(m_hwnd);
    m_filling = false;
}

int TListView::Count() const { return ListView_GetItemCount(m_hwnd); }

void TListView::SetCount(int count) { ListView_SetItemCountEx(m_hwnd, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL); }

std::wstring TListView::ItemText(int item, int column) const {
    wchar_t buffer[1024] = L"";
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = buffer;
    lv.cchTextMax = 1024;
    ::SendMessageW(m_hwnd, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
    return buffer;
}

void* TListView::Data(int item) const {
    LVITEMW lv{};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    if (!::SendMessageW(m_hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv))) return nullptr;
    return reinterpret_cast<void*>(lv.lParam);
}

bool TListView::Checked(int item) const { return ListView_GetCheckState(m_hwnd, item) != FALSE; }

void TListView::SetChecked(int item, bool checked) { ListView_SetCheckState(m_hwnd, item, checked); }

int TListView::Selected() const { return ListView_GetNextItem(m_hwnd, -1, LVNI_SELECTED); }

void TListView::Select(int item) {
    // Only the rows selected or focused now are cleared: clearing every row at once (item -1) makes a
    // visible list invalidate each of its rows, which cost 60 ms on a list of a thousand.
    for (int i = ListView_GetNextItem(m_hwnd, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(m_hwnd, i, LVNI_SELECTED))
        ListView_SetItemState(m_hwnd, i, 0, LVIS_SELECTED);
    const int focused = ListView_GetNextItem(m_hwnd, -1, LVNI_FOCUSED);
    if (focused >= 0) ListView_SetItemState(m_hwnd, focused, 0, LVIS_FOCUSED);
    if (item >= 0) {
        ListView_SetItemState(m_hwnd, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_hwnd, item, FALSE);
    }
}

void TListView::SetBackground(int sysColor) {
    ListView_SetBkColor(m_hwnd, ::GetSysColor(sysColor));
    ListView_SetTextBkColor(m_hwnd, ::GetSysColor(sysColor));
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void TListView::BeginUpdate() {
    if (m_updates++ == 0) ::SendMessageW(m_hwnd, WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    if (m_updates > 0 && --m_updates == 0) {
        ::SendMessageW(m_hwnd, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }
}

int TListView::TopIndex() const { return ListView_GetTopIndex(m_hwnd); }

int TListView::VisibleCount() const { return ListView_GetCountPerPage(m_hwnd); }

void TListView::SetHighlight(const std::wstring& text) {
    if (text == m_highlight) return;
    m_highlight = text;
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

bool TListView::HandleNotify(NMHDR& nm, LRESULT& result) {
    switch (nm.code) {
    case NM_CUSTOMDRAW: {
        auto& cd = reinterpret_cast<NMLVCUSTOMDRAW&>(nm).nmcd;
        if (m_highlight.empty()) return false;
        if (AnswerMatchDrawStages(cd, result)) return true;
        if (cd.dwDrawStage != CDDS_ITEMPOSTPAINT) return false;
        const int item = static_cast<int>(cd.dwItemSpec);
        RECT label{};
        label.left = LVIR_LABEL;
        if (::SendMessageW(m_hwnd, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&label))) {
            const bool selected = ListView_GetItemState(m_hwnd, item, LVIS_SELECTED) != 0;
            DrawCaptionWithMatch(cd, label, ItemText(item), m_highlight, selected && ::GetFocus() == m_hwnd);
        }
        result = CDRF_DODEFAULT;
        return true;
    }
    case LVN_ITEMCHANGED: {
        auto& lv = reinterpret_cast<NMLISTVIEW&>(nm);
        if (!(lv.uChanged & LVIF_STATE) || lv.iItem < 0) return false;
        const bool wasSelected = lv.uOldState & LVIS_SELECTED, isSelected = lv.uNewState & LVIS_SELECTED;
        if (wasSelected != isSelected && OnSelectItem) OnSelectItem(*this, lv.iItem, isSelected);
        const UINT oldCheck = lv.uOldState & LVIS_STATEIMAGEMASK, newCheck = lv.uNewState & LVIS_STATEIMAGEMASK;
        if (oldCheck && newCheck && oldCheck != newCheck && !m_filling && OnItemChecked)
            OnItemChecked(*this, lv.iItem, newCheck == INDEXTOSTATEIMAGEMASK(2));
        result = 0;
        return true;
    }
    case LVN_GETDISPINFOW: {
        auto& di = reinterpret_cast<NMLVDISPINFOW&>(nm);
        if ((di.item.mask & LVIF_TEXT) && OnData && di.item.pszText && di.item.cchTextMax > 0) {
            m_dataText = OnData(*this, di.item.iItem, di.item.iSubItem);
            const size_t n = std::min<size_t>(m_dataText.size(), static_cast<size_t>(di.item.cchTextMax - 1));
            std::copy_n(m_dataText.data(), n, di.item.pszText);
            di.item.pszText[n] = L'\0';
        }
        result = 0;
        return true;
    }
    case NM_DBLCLK:
        if (!OnDblClick) return false;
        OnDblClick(*this);
        result = 0;
        return true;
    case NM_RCLICK: {
        if (!OnContextPopup) return false;
        POINT p;
        ::GetCursorPos(&p);
        OnContextPopup(*this, p);
        result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

LRESULT TListView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CONTEXTMENU && OnContextPopup) {
        OnContextPopup(*this, POINT{GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam)});
        return 0;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

// ---- TListBox ----

TListBox::TListBox(TControl* parent, bool ownerData) : TControl(parent), m_ownerData(ownerData) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    style |= ownerData ? (LBS_NODATA | LBS_OWNERDRAWFIXED) : LBS_HASSTRINGS;
    CreateHandle(L"LISTBOX", style, WS_EX_CLIENTEDGE, true);
    if (ownerData) ::SendMessageW(m_hwnd, LB_SETITEMHEIGHT, 0, 16);
}

int TListBox::Add(const std::wstring& text) {
    return static_cast<int>(::SendMessageW(m_hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void TListBox::Clear() { ::SendMessageW(m_hwnd, LB_RESETCONTENT, 0, 0); }

int TListBox::Count() const { return static_cast<int>(::SendMessageW(m_hwnd, LB_GETCOUNT, 0, 0)); }

void TListBox::SetCount(int count) { ::SendMessageW(m_hwnd, LB_SETCOUNT, count, 0); }

std::wstring TListBox::ItemText(int index) const {
    if (m_ownerData) return OnData ? OnData(const_cast<TListBox&>(*this), index) : std::wstring();
    const LRESULT n = ::SendMessageW(m_hwnd, LB_GETTEXTLEN, index, 0);
    if (n == LB_ERR) return {};
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    ::SendMessageW(m_hwnd, LB_GETTEXT, index, reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(n));
    return s;
}

int TListBox::ItemIndex() const { return static_cast<int>(::SendMessageW(m_hwnd, LB_GETCURSEL, 0, 0)); }

void TListBox::SetItemIndex(int index) { ::SendMessageW(m_hwnd, LB_SETCURSEL, index, 0); }

int TListBox::TopIndex() const { return static_cast<int>(::SendMessageW(m_hwnd, LB_GETTOPINDEX, 0, 0)); }

LRESULT TListBox::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CONTEXTMENU && OnContextPopup) {
        OnContextPopup(*this, POINT{GET_X_LPARAM_SAFE(lParam), GET_Y_LPARAM_SAFE(lParam)});
        return 0;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

bool TListBox::HandleCommand(WORD code, WORD, LRESULT& result) {
    if (code == LBN_SELCHANGE && OnChange) {
        OnChange(*this);
    } else if (code == LBN_DBLCLK && OnDblClick) {
        OnDblClick(*this);
    } else {
        return false;
    }
    result = 0;
    return true;
}

bool TListBox::HandleDrawItem(DRAWITEMSTRUCT& dis) {
    if (!m_ownerData) return false;
    const bool selected = dis.itemState & ODS_SELECTED;
    ::FillRect(dis.hDC, &dis.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (dis.itemID != static_cast<UINT>(-1)) {
        const std::wstring text = OnData ? OnData(*this, static_cast<int>(dis.itemID)) : std::wstring();
        ::SetBkMode(dis.hDC, TRANSPARENT);
        ::SetTextColor(dis.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT rc = dis.rcItem;
        rc.left += 2;
        ::DrawTextW(dis.hDC, text.c_str(), static_cast<int>(text.size()), &rc,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (dis.itemState & ODS_FOCUS) ::DrawFocusRect(dis.hDC, &dis.rcItem);
    return true;
}

// ---- TToolBar ----

TToolBar::TToolBar(TControl* parent) : TControl(parent) {
    CreateHandle(TOOLBARCLASSNAMEW,
                 WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE |
                     CCS_NOPARENTALIGN,
                 0, true);
    ::SendMessageW(m_hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(m_hwnd, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, 100, 26, SWP_NOZORDER | SWP_NOACTIVATE);
    SetAlign(TAlign::Top);
}

void TToolBar::SetImages(TImageList* images) {
    ::SendMessageW(m_hwnd, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

int TToolBar::AddButton(const std::wstring& caption, int image, std::function<void()> onClick) {
    const int id = m_nextId++;
    TBBUTTON b{};
    b.iBitmap = image < 0 ? I_IMAGENONE : image;
    b.idCommand = id;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    b.iString = reinterpret_cast<INT_PTR>(caption.c_str());
    ::SendMessageW(m_hwnd, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
    m_handlers.emplace_back(id, std::move(onClick));
    AutoSize();
    return id;
}

void TToolBar::AddSeparator() {
    TBBUTTON b{};
    b.iBitmap = 6;
    b.fsStyle = BTNS_SEP;
    ::SendMessageW(m_hwnd, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
}

void TToolBar::SetButtonEnabled(int id, bool enabled) { ::SendMessageW(m_hwnd, TB_ENABLEBUTTON, id, enabled); }

bool TToolBar::ButtonEnabled(int id) const { return ::SendMessageW(m_hwnd, TB_ISBUTTONENABLED, id, 0) != 0; }

void TToolBar::SetButtonVisible(int id, bool visible) { ::SendMessageW(m_hwnd, TB_HIDEBUTTON, id, !visible); }

bool TToolBar::ButtonVisible(int id) const { return ::SendMessageW(m_hwnd, TB_ISBUTTONHIDDEN, id, 0) == 0; }

std::wstring TToolBar::ButtonCaption(int id) const {
    wchar_t buffer[256] = L"";
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = buffer;
    info.cchText = 256;
    ::SendMessageW(m_hwnd, TB_GETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info));
    return buffer;
}

void TToolBar::Click(int id) {
    if (!ButtonEnabled(id) || !ButtonVisible(id)) return;
    const TOwnCode own(Form());
    // One button, one handler: the handler may change the bar, so the list is not walked further.
    for (auto& [bid, handler] : m_handlers)
        if (bid == id) {
            const std::function<void()> run = handler;
            if (run) run();
            return;
        }
}

void TToolBar::AutoSize() {
    ::SendMessageW(m_hwnd, TB_AUTOSIZE, 0, 0);
    const DWORD size = static_cast<DWORD>(::SendMessageW(m_hwnd, TB_GETBUTTONSIZE, 0, 0));
    const int height = HIWORD(size) + 4;
    if (height > 8 && height != Height()) SetHeight(height);
}

bool TToolBar::HandleCommand(WORD, WORD id, LRESULT& result) {
    Click(id);
    result = 0;
    return true;
}

// ---- TTabSheet and TPageControl ----

TTabSheet::TTabSheet(TPageControl* pages, const std::wstring& caption)
    : TPanel(pages), m_pages(pages), m_caption(caption) {
    SetText(caption);
    ::ShowWindow(m_hwnd, SW_HIDE);
    pages->AddPage(this);
}

TTabSheet::~TTabSheet() {
    if (m_pages) m_pages->RemovePage(this);
}

void TTabSheet::SetTabVisible(bool visible) {
    if (m_tabVisible == visible) return;
    m_tabVisible = visible;
    if (m_pages) m_pages->RebuildTabs();
}

TPageControl::TPageControl(TControl* parent) : TControl(parent) {
    CreateHandle(WC_TABCONTROLW, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                 true);
}

TPageControl::~TPageControl() {
    // The sheets are deleted with the children, after this object's own members are gone.
    for (TTabSheet* p : m_pages) p->m_pages = nullptr;
}

void TPageControl::AddPage(TTabSheet* page) {
    m_pages.push_back(page);
    if (!m_active) m_active = page;
    RebuildTabs();
}

void TPageControl::RemovePage(TTabSheet* page) noexcept {
    m_pages.erase(std::remove(m_pages.begin(), m_pages.end(), page), m_pages.end());
    if (m_active == page) m_active = nullptr;
}

std::vector<TTabSheet*> TPageControl::VisiblePages() const {
    std::vector<TTabSheet*> out;
    for (TTabSheet* p : m_pages)
        if (p->m_tabVisible) out.push_back(p);
    return out;
}

void TPageControl::RebuildTabs() {
    TabCtrl_DeleteAllItems(m_hwnd);
    const auto visible = VisiblePages();
    int activeIndex = -1;
    for (size_t i = 0; i < visible.size(); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(visible[i]->m_caption.c_str());
        ::SendMessageW(m_hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        if (visible[i] == m_active) activeIndex = static_cast<int>(i);
    }
    if (activeIndex < 0) {
        m_active = visible.empty() ? nullptr : visible.front();
        activeIndex = visible.empty() ? -1 : 0;
    }
    if (activeIndex >= 0) TabCtrl_SetCurSel(m_hwnd, activeIndex);
    PlacePages();
}

void TPageControl::SetActivePage(TTabSheet* page) {
    const auto visible = VisiblePages();
    auto it = std::find(visible.begin(), visible.end(), page);
    if (it == visible.end()) return;
    m_active = page;
    TabCtrl_SetCurSel(m_hwnd, static_cast<int>(it - visible.begin()));
    PlacePages();
}

void TPageControl::PlacePages() {
    if (m_active && m_active->m_tabVisible && OnPageShowing) OnPageShowing(*m_active);
    RECT rc = ClientRect();
    TabCtrl_AdjustRect(m_hwnd, FALSE, &rc);
    for (TTabSheet* p : m_pages) {
        if (p == m_active && p->m_tabVisible) {
            ::SetWindowPos(p->Handle(), HWND_TOP, rc.left, rc.top, std::max(0L, rc.right - rc.left),
                           std::max(0L, rc.bottom - rc.top), SWP_SHOWWINDOW | SWP_NOACTIVATE);
        } else {
            ::ShowWindow(p->Handle(), SW_HIDE);
        }
    }
}

void TPageControl::Resized() {
    PlacePages();
    if (OnResize) OnResize(*this);
}

bool TPageControl::HandleNotify(NMHDR& nm, LRESULT& result) {
    if (nm.code != TCN_SELCHANGE) return false;
    const auto visible = VisiblePages();
    const int index = TabCtrl_GetCurSel(m_hwnd);
    if (index >= 0 && index < static_cast<int>(visible.size())) {
        m_active = visible[static_cast<size_t>(index)];
        PlacePages();
        if (OnChange) OnChange(*this);
    }
    result = 0;
    return true;
}

// ---- TPopupMenu ----

size_t TPopupMenu::Add(const std::wstring& caption, std::function<void()> onClick, const std::wstring& name) {
    m_items.push_back(Item{caption, true, std::move(onClick), name});
    return m_items.size() - 1;
}

void TPopupMenu::AddSeparator() { m_items.push_back(Item{}); }

size_t TPopupMenu::AddSubmenu(const std::wstring& caption, const std::wstring& name) {
    Item item{caption, true, nullptr, name};
    item.submenu = true;
    m_items.push_back(std::move(item));
    return m_items.size() - 1;
}

size_t TPopupMenu::AddTo(size_t submenu, const std::wstring& caption, std::function<void()> onClick,
                         const std::wstring& name) {
    Item item{caption, true, std::move(onClick), name};
    item.parent = static_cast<int>(submenu);
    m_items.push_back(std::move(item));
    return m_items.size() - 1;
}

TPopupMenu::Item* TPopupMenu::Find(const std::wstring& name) {
    for (auto& i : m_items)
        if (i.name == name) return &i;
    return nullptr;
}

std::function<int(TPopupMenu&)>& TPopupMenu::Chooser() {
    static std::function<int(TPopupMenu&)> chooser;
    return chooser;
}

void TPopupMenu::Popup(HWND owner, POINT screen) {
    if (OnPopup) OnPopup(*this);
    int chosen = -1;
    if (Chooser()) {
        chosen = Chooser()(*this);
    } else {
        HMENU menu = ::CreatePopupMenu();
        if (!menu) return;
        // Each submenu is a menu of its own, appended to its parent (destroyed with it).
        std::vector<HMENU> menus(m_items.size(), nullptr);
        for (size_t i = 0; i < m_items.size(); ++i) {
            const Item& it = m_items[i];
            HMENU into = it.parent >= 0 && static_cast<size_t>(it.parent) < i && menus[static_cast<size_t>(it.parent)]
                             ? menus[static_cast<size_t>(it.parent)]
                             : menu;
            if (it.caption.empty()) {
                ::AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
            } else if (it.submenu) {
                menus[i] = ::CreatePopupMenu();
                if (!menus[i]) continue;
                ::AppendMenuW(into, MF_POPUP | (it.enabled ? 0 : MF_GRAYED), reinterpret_cast<UINT_PTR>(menus[i]),
                              it.caption.c_str());
            } else {
                ::AppendMenuW(into, MF_STRING | (it.enabled ? 0 : MF_GRAYED), i + 1, it.caption.c_str());
            }
        }
        const int cmd = static_cast<int>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                          screen.x, screen.y, 0, owner, nullptr));
        ::DestroyMenu(menu);
        chosen = cmd - 1;
    }
    if (chosen < 0 || static_cast<size_t>(chosen) >= m_items.size()) return;
    const Item& it = m_items[static_cast<size_t>(chosen)];
    const bool parentEnabled = it.parent < 0 || m_items[static_cast<size_t>(it.parent)].enabled;
    if (it.enabled && parentEnabled && !it.caption.empty() && it.onClick) {
        const std::function<void()> onClick = it.onClick; // the handler may change the menu
        onClick();
    }
}

// ---- The clipboard ----

bool SetClipboardText(HWND owner, const std::wstring& text) noexcept {
    bool open = false;
    for (int attempt = 0; attempt < 5 && !(open = ::OpenClipboard(owner)); ++attempt) ::Sleep(10);
    if (!open) return false;
    ::EmptyClipboard();
    bool set = false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = ::GlobalLock(mem)) {
            std::memcpy(p, text.c_str(), bytes);
            ::GlobalUnlock(mem);
            set = ::SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        }
        if (!set) ::GlobalFree(mem);
    }
    ::CloseClipboard();
    return set;
}

// ---- TTimer ----

namespace {
std::map<UINT_PTR, TTimer*>& Timers() {
    static std::map<UINT_PTR, TTimer*> timers;
    return timers;
}
} // namespace

TTimer::~TTimer() { Stop(); }

void TTimer::Start(UINT intervalMs) {
    Stop();
    m_id = ::SetTimer(nullptr, 0, intervalMs, &TTimer::TimerProc);
    if (!m_id) return;
    LockModule(); // a running timer's procedure is ours: the module stays loaded
    try {
        Timers()[m_id] = this;
    } catch (...) {
        Stop();
        throw;
    }
}

void TTimer::Stop() {
    if (!m_id) return;
    ::KillTimer(nullptr, m_id);
    Timers().erase(m_id);
    m_id = 0;
    UnlockModule();
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    try {
        auto it = Timers().find(id);
        if (it != Timers().end() && it->second->OnTimer) it->second->OnTimer(*it->second);
    }
    QS_CATCH_TRACE(L"TTimer.TimerProc")
}

} // namespace qs::ui
