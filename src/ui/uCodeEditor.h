// The code editor control: a syntax-highlighting programmer's editor for VBScript and JScript, drawn by
// the control itself from its text model (uCodeEditorModel). To the outside it is also a multi-line
// edit box: it carries ES_MULTILINE and answers the standard edit messages, offsets counting CR LF as two,
// and gives accessibility clients the system's accessible object of an edit box.
#pragma once

#include "ui/uCodeEditorModel.h"
#include "ui/uComCtrls.h"
#include "ui/uCompletion.h"
#include "ui/uControls.h"

#include <functional>
#include <memory>
#include <string>

namespace qs::ui {

// Used on the UI thread only. Handlers run inside the window's messages (the framework's window
// procedure catches what they throw).
class TCodeEditor : public TControl {
public:
    explicit TCodeEditor(TControl* parent);
    ~TCodeEditor() override;

    // The shift state given to the key-down handler: a combination of these.
    static constexpr UINT kShift = 1, kCtrl = 2, kAlt = 4;

    TCodeEditorModel& Model() noexcept { return m_model; }

    // The whole text, lines joined with CR LF (also TControl::Text/SetText through WM_GETTEXT/WM_SETTEXT).
    std::wstring Lines() const { return m_model.Text(); }
    // Replaces the text as one undo step: Undo brings back the text before with its caret. WM_SETTEXT
    // (TControl::SetText) replaces it and empties the undo buffer, as it does in an edit box.
    void SetLines(const std::wstring& text);
    void Clear() { SetLines(L""); }

    // The highlighting scheme; changing it re-lexes and repaints.
    TCodeScheme Scheme() const noexcept { return m_model.Scheme(); }
    void SetScheme(TCodeScheme scheme);

    // The selection as a start offset (CR LF counted as two) and a length; setting the start empties it.
    int SelStart() const;
    int SelLength() const;
    void SetSelStart(int start);
    void SetSelLength(int length);
    void SetSelection(int start, int length); // the caret ends at start + length
    std::wstring SelText() const { return m_model.SelectedText(); }

    // The caret by zero-based column (character index) and row; setting it empties the selection.
    TTextPos CaretPos() const noexcept { return m_model.Caret(); }
    void SetCaretPos(int col, int row);
    // Scrolls so that a zero-based row (or the caret) is visible.
    void ScrollRowIntoView(int row);
    void ScrollCaretIntoView();
    int TopRow() const noexcept { return m_top; }
    int VisibleRows() const noexcept;

    // Editing commands (also the context menu's and the edit messages').
    bool Undo();
    bool Redo();
    bool CanUndo() const noexcept { return m_model.CanUndo(); }
    bool CanRedo() const noexcept { return m_model.CanRedo(); }
    void CutToClipboard();
    void CopyToClipboard();
    void PasteFromClipboard();
    void ClearSelection(); // deletes the selection
    void SelectAll();
    void InsertText(const std::wstring& text); // replaces the selection, one undo step

    // Overwrite mode (the Insert key toggles it): a typed character replaces the one under the caret,
    // and the caret is a block. OnModeChange runs when it changes.
    bool Overwrite() const noexcept { return m_model.Overwrite(); }
    void SetOverwrite(bool on);

    // Find (Ctrl+F asks with a dialog; F3 and Shift+F3 repeat), replace (Ctrl+H) and go to line (Ctrl+G).
    std::wstring FindText;
    std::wstring ReplaceText;
    bool FindMatchCase = false;
    bool FindWholeWord = false;
    bool FindNext(bool forward = true); // beeps and returns false when the text has no match
    // Replaces the selection when it is an occurrence of FindText, then selects the next one; beeps and
    // returns false when there was neither.
    bool ReplaceNext();
    int ReplaceAll(); // every occurrence, one undo step; the number replaced
    void ShowFindDialog();
    void ShowReplaceDialog();
    void ShowGoToLineDialog();
    void GoToLine(int line); // one-based, clamped

    // Events. OnKeyDown runs first for every key; setting `key` to 0 consumes it.
    std::function<void(TCodeEditor&, WORD& key, UINT shift)> OnKeyDown;
    std::function<void(TCodeEditor&)> OnChange;    // the text changed (by the user or by SetLines)
    std::function<void(TCodeEditor&)> OnCaretMove; // the caret's row or column changed (CaretPos)
    std::function<void(TCodeEditor&)> OnModeChange; // Overwrite changed
    // The context menu: OnContextPopup when set, else PopupMenu when set, else a menu of the editing
    // commands. `screen` is where it opens (at the caret when asked from the keyboard).
    std::function<void(TCodeEditor&, POINT screen)> OnContextPopup;
    TPopupMenu* PopupMenu = nullptr;

    // Completion: a list of names after a dot, on Ctrl+Space or while typing a word, and a tip with a
    // call's parameters after "(" and "," (Ctrl+Shift+Space asks again), from the provider. Without a
    // provider nothing opens.
    void SetCompletionProvider(std::shared_ptr<ICompletionProvider> provider) {
        m_completion->SetProvider(std::move(provider));
    }
    TCompletionUi& Completion() noexcept { return *m_completion; }
    // Screen coordinates of a position's top left, and the height of a row (where pop-ups go).
    POINT ScreenPointOf(TTextPos p) const;
    int LineHeight() const noexcept { return m_lineHeight; }
    HFONT Font() const noexcept { return m_font.Get(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT EditMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    void KeyDown(WORD key);
    void Char(wchar_t c);
    void Paint();
    // Draws the rows that `area` (client coordinates) touches into `dc`, through the back buffer: the
    // one drawing of WM_PAINT, WM_PRINTCLIENT and WM_PRINT.
    void PaintTo(HDC dc, const RECT& area);
    void PaintRow(HDC dc, int row, int y, int width, std::vector<TToken>& tokens, std::vector<int>& dx,
                  std::wstring& run);
    void UpdateMetrics();
    void UpdateScrollBars();
    void ScrollTo(int top, int left);
    void Scroll(int bar, int code);
    // After a model command: repaints what changed, keeps the caret visible, raises the events.
    void Changed(bool keepDesiredColumn = false);
    void UpdateCaret();
    // The caret's shape: a bar, or a block of one cell in overwrite mode.
    void CreateCaretShape();
    // Finds the bracket pair at the caret and repaints the rows of the old and the new pair.
    void UpdateBracket();
    // WM_SETTEXT: the new text with an empty undo buffer.
    void ResetText(const std::wstring& text);
    // WM_GETOBJECT: the system's accessible object of an edit box for OBJID_CLIENT.
    LRESULT AccessibleObject(WPARAM wParam, LPARAM lParam, bool& handled);
    void PlaceComposition();
    TTextPos PosFromPoint(int x, int y) const;
    POINT PointOfPos(TTextPos p) const; // client coordinates of a position's top left
    void MoveCaretBy(TTextPos to, bool extend, bool keepDesiredColumn = false);
    void ShowContextMenu(POINT screen);
    int GutterWidth() const noexcept { return m_gutter; }
    int TextColumns() const noexcept;

    TCodeEditorModel m_model;
    std::unique_ptr<TCompletionUi> m_completion;
    UniqueHfont m_font;
    UniqueAny<HBITMAP, &detail::DeleteGdiObject> m_buffer;
    SIZE m_bufferSize{};
    int m_charWidth = 8;
    int m_lineHeight = 16;
    int m_gutter = 0;
    int m_top = 0;            // first visible row
    int m_left = 0;           // first visible display column
    int m_desiredColumn = -1; // display column kept by vertical moves
    bool m_dragging = false;
    bool m_focused = false;
    bool m_composing = false;
    std::int64_t m_lastChangeCount = 0;
    TTextPos m_lastCaret{-1, -1};
    TTextPos m_bracket{-1, -1}, m_bracketMatch{-1, -1}; // the highlighted pair; row -1 when none
    int m_scrollState[2][3] = {{-1, -1, -1}, {-1, -1, -1}}; // what each scroll bar was last given
};

} // namespace qs::ui
