// The code editor's window-free half: the lexers of the two highlighting schemes (a Visual Basic and a
// Java-like grammar) and the text model (lines with each line's lexer state at its end, caret and
// selection, editing commands, undo and redo, find, go to line). The window (uCodeEditor) draws it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qs::script {

enum class TCodeScheme { VisualBasic, JavaLike };

enum class TTokenKind : std::uint8_t { Text, Keyword, String, Comment, Number };

struct TToken {
    int start = 0;
    int length = 0;
    TTokenKind kind = TTokenKind::Text;
};

// The lexer state between lines: what a line's end leaves open for the next one.
enum TLexState : std::uint8_t {
    kLexNormal = 0,
    kLexBlockComment = 1, // inside /* ... */
    kLexDoubleString = 2, // inside "..." continued by a backslash at the line's end
    kLexSingleString = 3, // inside '...' continued likewise
};

// Lexes one line that starts in `state`; appends its tokens (runs of one kind, covering the whole line)
// when `tokens` is given, and returns the state at the line's end.
std::uint8_t LexLine(TCodeScheme scheme, std::wstring_view line, std::uint8_t state, std::vector<TToken>* tokens);

// A position in the text: zero-based row and character index in that row.
struct TTextPos {
    int row = 0;
    int col = 0;
    friend bool operator==(TTextPos a, TTextPos b) noexcept { return a.row == b.row && a.col == b.col; }
    friend bool operator!=(TTextPos a, TTextPos b) noexcept { return !(a == b); }
    friend bool operator<(TTextPos a, TTextPos b) noexcept {
        return a.row < b.row || (a.row == b.row && a.col < b.col);
    }
};

// What an edit was, for grouping undo steps: typing runs, deletion runs and everything else.
enum class TEditKind { Other, Typing, Backspace, Delete };

class TCodeEditorModel {
public:
    TCodeEditorModel();

    // ---- Text. Line breaks in given text may be CR LF, CR or LF; the text is read back joined with CR LF.
    void SetText(std::wstring_view text); // clears undo; caret at the start
    std::wstring Text() const;
    std::int64_t TextLength() const; // CR LF counted as two
    int LineCount() const noexcept { return static_cast<int>(m_lines.size()); }
    const std::wstring& Line(int row) const { return m_lines[static_cast<size_t>(row)]; }
    std::uint8_t StateBefore(int row) const noexcept {
        return row <= 0 ? std::uint8_t{kLexNormal} : m_endStates[row - 1];
    }
    TCodeScheme Scheme() const noexcept { return m_scheme; }
    void SetScheme(TCodeScheme scheme); // re-lexes everything
    bool Modified = false;
    // Grows with every change of the text (the window compares it to raise its change event).
    std::int64_t ChangeCount() const noexcept { return m_changeCount; }

    // ---- Positions and offsets (CR LF counted as two).
    TTextPos Clamp(TTextPos p) const noexcept;
    std::int64_t OffsetOf(TTextPos p) const;
    TTextPos PosOfOffset(std::int64_t offset) const;  // clamped to the text
    std::wstring Range(TTextPos a, TTextPos b) const; // a <= b

    // ---- Caret and selection. The anchor is the selection's fixed end; the caret its moving end.
    TTextPos Caret() const noexcept { return m_caret; }
    TTextPos Anchor() const noexcept { return m_anchor; }
    TTextPos SelStart() const noexcept { return m_anchor < m_caret ? m_anchor : m_caret; }
    TTextPos SelEnd() const noexcept { return m_anchor < m_caret ? m_caret : m_anchor; }
    bool HasSelection() const noexcept { return m_anchor != m_caret; }
    void SetSelection(TTextPos anchor, TTextPos caret);
    void MoveCaret(TTextPos to, bool extend);
    std::wstring SelectedText() const { return Range(SelStart(), SelEnd()); }
    void SelectAll();
    // Word movement: runs of word characters, of other non-blank characters, and blanks; line ends stop.
    TTextPos WordLeft(TTextPos p) const;
    TTextPos WordRight(TTextPos p) const;
    void SelectWordAt(TTextPos p);

    // ---- Editing commands. Each is one undo step, except that runs of typing (and of Backspace, and of
    // Delete) with no caret movement between them join into one. A step keeps what it changed (where,
    // the text removed and the text inserted) and the selection before and after, not whole texts.
    void ReplaceSelection(std::wstring_view text, TEditKind kind = TEditKind::Other);
    void TypeChar(wchar_t c);
    void Backspace(bool word);
    void DeleteForward(bool word);
    void NewLine();   // keeps the current line's indentation
    void InsertTab(); // a selection over several lines is indented; otherwise spaces to the next tab stop
    void Outdent();   // the selected lines (or the caret's line) lose one indentation level
    bool CanUndo() const noexcept { return !m_undo.empty(); }
    bool CanRedo() const noexcept { return !m_redo.empty(); }
    bool Undo();
    bool Redo();
    void ClearUndo();
    // Ends the current typing run (the caret moved, the window lost focus).
    void BreakUndoGroup() noexcept { m_groupOpen = false; }
    // What the undo and redo steps may hold together; beyond it the oldest steps are forgotten. The
    // newest step always stays, however large, so that the last change can be undone.
    struct TUndoLimits {
        std::size_t bytes = 8u << 20; // the text the steps hold, with their bookkeeping
        std::size_t steps = 10000;
    };
    void SetUndoLimits(TUndoLimits limits);
    // The bytes the undo and redo steps hold now, counted as the limit counts them.
    std::size_t UndoBytes() const noexcept { return m_undoBytes; }

    // ---- Find and go to line.
    // Selects the next (or previous) occurrence from the selection, wrapping around the text once.
    bool Find(std::wstring_view what, bool matchCase, bool wholeWord, bool forward);
    // Caret at the start of a one-based line, clamped to the text.
    void GoToLine(int line);

    int TabWidth = 4;
    bool UseTabs = false;
    // The display column of a character index (tabs expanded).
    int DisplayColumn(int row, int col) const;
    int ColumnFromDisplay(int row, int displayCol) const;          // the first character starting at or after it
    int LongestLineEstimate() const noexcept { return m_longest; } // display columns, never too small

    // ---- Re-lexing. Rows whose look may have changed since the window last took them (inclusive);
    // `all` when lines were added or removed (everything below the first row moved).
    struct TDirty {
        int first = -1;
        int last = -1;
        bool linesMoved = false;
    };
    TDirty TakeDirty() noexcept;
    // Lines lexed by the last edit (tests watch the incremental re-lexing stop).
    int LastRelexCount() const noexcept { return m_lastRelexCount; }

private:
    struct TChange {
        TTextPos at;
        std::wstring removed;
        std::wstring inserted;
    };
    struct TStep {
        std::vector<TChange> changes;
        TTextPos anchorBefore, caretBefore, anchorAfter, caretAfter;
        TEditKind kind = TEditKind::Other;
        std::size_t bytes = 0; // counted in m_undoBytes
    };

    // Primitive edit: replaces [a, b) with text; re-lexes; returns the end of the inserted text.
    TTextPos RawReplace(TTextPos a, TTextPos b, std::wstring_view text);
    // A recorded edit inside the current step.
    TTextPos Edit(TTextPos a, TTextPos b, std::wstring_view text);
    void BeginStep(TEditKind kind);
    void EndStep();
    void Relex(int firstRow, int lastChangedRow);
    void MarkDirty(int first, int last, bool moved) noexcept;
    void ApplyChange(const TChange& c, bool reverse);
    // Forgets the oldest undo steps while the steps are over the limits.
    void TrimUndo() noexcept;
    std::pair<int, int> SelectedRows() const;

    std::vector<std::wstring> m_lines;
    std::vector<std::uint8_t> m_endStates;
    TCodeScheme m_scheme = TCodeScheme::VisualBasic;
    TTextPos m_caret, m_anchor;
    // A deque, so that the step being recorded stays in place while the oldest ones are dropped.
    std::deque<TStep> m_undo, m_redo;
    TStep* m_step = nullptr; // the step being recorded
    TUndoLimits m_undoLimits;
    std::size_t m_undoBytes = 0;
    bool m_groupOpen = false;
    int m_longest = 0;
    TDirty m_dirty;
    int m_lastRelexCount = 0;
    std::int64_t m_changeCount = 0;
};

} // namespace qs::script
