// The common controls of the window framework: image list, tree view, list view (report mode, check
// boxes, owner data), list box (owner data), toolbar, page control with tab sheets, popup menu, timer.
#pragma once

#include "ui/uControls.h"

#include <functional>
#include <string>
#include <vector>

namespace qs::ui {

// An image list of 32-bit images with alpha; owns the HIMAGELIST.
class TImageList {
public:
    TImageList(int width, int height);
    ~TImageList();
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    // Adds the images of a bitmap strip resource of the framework module; returns false when missing.
    bool AddResourceStrip(const wchar_t* resourceName);
    int Count() const;
    HIMAGELIST Handle() const noexcept { return m_list; }

private:
    HIMAGELIST m_list;
};

// A tree view whose items carry a data pointer. Items are the platform's HTREEITEMs.
class TTreeView : public TControl {
public:
    explicit TTreeView(TControl* parent);

    void SetImages(TImageList* images);
    // Adds an item as the last child of `parent` (null: a root), or right after the child `after`
    // (TVI_FIRST: as the first child).
    HTREEITEM AddChild(HTREEITEM parent, const std::wstring& text, void* data, int image = -1,
                       HTREEITEM after = TVI_LAST);
    void Delete(HTREEITEM item);
    void DeleteChildren(HTREEITEM item);
    void Clear();
    std::wstring ItemText(HTREEITEM item) const;
    void* Data(HTREEITEM item) const;
    int ImageIndex(HTREEITEM item) const;
    void SetImageIndex(HTREEITEM item, int image); // the selected image is always the image
    HTREEITEM ParentOf(HTREEITEM item) const;
    HTREEITEM FirstChild(HTREEITEM item) const; // null item: the first root
    HTREEITEM NextSibling(HTREEITEM item) const;
    std::vector<HTREEITEM> ChildrenOf(HTREEITEM item) const;
    bool HasChildren(HTREEITEM item) const;
    bool Expanded(HTREEITEM item) const;
    // Draws an item's caption bold (a mark the window gives it), or not.
    void SetBold(HTREEITEM item, bool bold);
    bool Bold(HTREEITEM item) const;
    void Expand(HTREEITEM item);
    void Collapse(HTREEITEM item);
    void SortChildren(HTREEITEM item);
    HTREEITEM Selected() const;
    void Select(HTREEITEM item);
    HTREEITEM ItemAt(POINT client) const;
    RECT ItemRect(HTREEITEM item, bool textOnly) const;
    void BeginUpdate();
    void EndUpdate();
    // Marks the first occurrence of `text` in each caption (without regard to case) with the match
    // colour, as a filter shows what it matched; empty: no mark.
    void SetHighlight(const std::wstring& text);

    std::function<void(TTreeView&, HTREEITEM, bool& allow)> OnExpanding;
    std::function<void(TTreeView&, HTREEITEM, bool& allow)> OnCollapsing;
    std::function<void(TTreeView&, HTREEITEM)> OnChange;
    std::function<void(TTreeView&)> OnDblClick;
    // A context menu was asked for at `screen` (-1,-1 from the keyboard).
    std::function<void(TTreeView&, POINT screen)> OnContextPopup;

    bool HandleNotify(NMHDR& nm, LRESULT& result) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    int m_updates = 0;
    bool m_inExpandCall = false;
    std::wstring m_highlight;
};

// A report-mode list view. Items carry a data pointer (LPARAM); in owner-data mode the items are
// asked for with OnData.
class TListView : public TControl {
public:
    struct Options {
        bool checkBoxes = false;
        bool showHeader = true;
        bool sortAscending = false;
        bool ownerData = false;
    };
    TListView(TControl* parent, Options options);

    void AddColumn(const std::wstring& caption, int width);
    int ColumnCount() const;
    void SetColumnWidth(int column, int width);
    int AddItem(const std::wstring& caption, void* data = nullptr);
    void SetSubItem(int item, int column, const std::wstring& text);
    void Clear();
    int Count() const;
    void SetCount(int count); // owner-data mode
    std::wstring ItemText(int item, int column = 0) const;
    void* Data(int item) const;
    bool Checked(int item) const;
    void SetChecked(int item, bool checked);
    int Selected() const;
    void Select(int item);
    void SetBackground(int sysColor);
    void BeginUpdate();
    void EndUpdate();
    int TopIndex() const;
    int VisibleCount() const;
    // Marks the first occurrence of `text` in each item's first column (without regard to case) with
    // the match colour; empty: no mark.
    void SetHighlight(const std::wstring& text);

    std::function<void(TListView&, int item, bool selected)> OnSelectItem;
    std::function<void(TListView&)> OnDblClick;
    std::function<void(TListView&, int item, bool checked)> OnItemChecked;
    // Owner data: the text of an item's column.
    std::function<std::wstring(TListView&, int item, int column)> OnData;
    std::function<void(TListView&, POINT screen)> OnContextPopup;

    bool HandleNotify(NMHDR& nm, LRESULT& result) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::wstring m_dataText;
    int m_updates = 0;
    bool m_filling = false;
    std::wstring m_highlight;
};

// The background of the text a filter matched, in tree and list captions.
inline constexpr COLORREF kMatchHighlightColor = RGB(255, 226, 110);

// A list box whose items are drawn from OnData (owner data: only the count is stored).
class TListBox : public TControl {
public:
    explicit TListBox(TControl* parent, bool ownerData = false);
    int Add(const std::wstring& text);
    void Clear();
    int Count() const;
    void SetCount(int count);
    std::wstring ItemText(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    int TopIndex() const;
    std::function<std::wstring(TListBox&, int index)> OnData;
    std::function<void(TListBox&)> OnChange;
    std::function<void(TListBox&)> OnDblClick;
    // The context menu asked for by the mouse or the keyboard (screen {-1, -1} from the keyboard).
    std::function<void(TListBox&, POINT screen)> OnContextPopup;
    bool HandleCommand(WORD code, WORD id, LRESULT& result) override;
    bool HandleDrawItem(DRAWITEMSTRUCT& dis) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_ownerData;
};

// A toolbar with captions beside the images.
class TToolBar : public TControl {
public:
    explicit TToolBar(TControl* parent);
    void SetImages(TImageList* images);
    // Adds a button; returns its command id.
    int AddButton(const std::wstring& caption, int image, std::function<void()> onClick);
    void AddSeparator();
    void SetButtonEnabled(int id, bool enabled);
    bool ButtonEnabled(int id) const;
    void SetButtonVisible(int id, bool visible);
    bool ButtonVisible(int id) const;
    std::wstring ButtonCaption(int id) const;
    // Clicks a button as the user would (only when enabled and visible).
    void Click(int id);
    void AutoSize();

    bool HandleCommand(WORD code, WORD id, LRESULT& result) override;

private:
    std::vector<std::pair<int, std::function<void()>>> m_handlers;
    int m_nextId = 1;
};

class TPageControl;

// One page of a page control: a panel shown while its tab is active.
class TTabSheet : public TPanel {
public:
    TTabSheet(TPageControl* pages, const std::wstring& caption);
    ~TTabSheet() override;
    std::wstring Caption() const { return m_caption; }
    bool TabVisible() const noexcept { return m_tabVisible; }
    void SetTabVisible(bool visible);

private:
    friend class TPageControl;
    TPageControl* m_pages;
    std::wstring m_caption;
    bool m_tabVisible = true;
};

// A tab control holding tab sheets; a sheet whose tab is hidden keeps its contents.
class TPageControl : public TControl {
public:
    explicit TPageControl(TControl* parent);
    ~TPageControl() override;
    TTabSheet* ActivePage() const noexcept { return m_active; }
    void SetActivePage(TTabSheet* page);
    const std::vector<TTabSheet*>& Pages() const noexcept { return m_pages; }
    std::vector<TTabSheet*> VisiblePages() const;

    std::function<void(TPageControl&)> OnChange;
    // Called before a sheet is shown, whichever way it becomes the active one: a window may build a
    // sheet's controls the first time it is about to show.
    std::function<void(TTabSheet&)> OnPageShowing;
    bool HandleNotify(NMHDR& nm, LRESULT& result) override;

protected:
    void Resized() override;

private:
    friend class TTabSheet;
    void AddPage(TTabSheet* page);
    void RemovePage(TTabSheet* page) noexcept;
    void RebuildTabs();
    void PlacePages();

    std::vector<TTabSheet*> m_pages;
    TTabSheet* m_active = nullptr;
};

// A popup menu of command items and separators.
class TPopupMenu {
public:
    struct Item {
        std::wstring caption; // empty: a separator
        bool enabled = true;
        std::function<void()> onClick;
        std::wstring name;
        int parent = -1;      // the index of the submenu it is in, or -1
        bool submenu = false; // opens the items whose parent it is
    };
    TPopupMenu() = default;
    // Adds an item and returns its index.
    size_t Add(const std::wstring& caption, std::function<void()> onClick, const std::wstring& name = L"");
    void AddSeparator();
    // Adds a submenu and returns its index; its items are added with AddTo.
    size_t AddSubmenu(const std::wstring& caption, const std::wstring& name = L"");
    size_t AddTo(size_t submenu, const std::wstring& caption, std::function<void()> onClick,
                 const std::wstring& name = L"");
    Item& At(size_t index) { return m_items[index]; }
    Item* Find(const std::wstring& name);
    size_t Count() const noexcept { return m_items.size(); }
    // Runs the menu at a screen position for `owner`; the chosen item's handler runs before it returns.
    void Popup(HWND owner, POINT screen);
    // Tests: a function that picks an item index (or -1) instead of the user.
    static std::function<int(TPopupMenu&)>& Chooser();
    std::function<void(TPopupMenu&)> OnPopup;

private:
    std::vector<Item> m_items;
};

// Puts text on the clipboard for `owner` (another program may hold it for a moment: a few tries).
// False when the clipboard could not be opened or the memory not allocated.
bool SetClipboardText(HWND owner, const std::wstring& text) noexcept;

// A timer whose OnTimer runs on the UI thread.
class TTimer {
public:
    TTimer() = default;
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    void Start(UINT intervalMs);
    void Stop();
    bool Running() const noexcept { return m_id != 0; }
    std::function<void(TTimer&)> OnTimer;

private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept;
    UINT_PTR m_id = 0;
};

} // namespace qs::ui
