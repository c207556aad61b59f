// The code editor's window-free half: the lexers of the two highlighting schemes (a Visual Basic and a
// Java-like grammar) and the text model (lines with each line's lexer state at its end, caret and
// selection, editing commands, undo and redo, find and replace, matching brackets, go to line, display
// columns with wide characters). The window (uCodeEditor) draws it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qs::ui {

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

// UTF-16 surrogate halves: a pair is one character, which the caret never splits.
constexpr bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }
// The cells a code point takes in the fixed-pitch grid: 2 for East Asian wide and full-width characters
// (ideographs, kana, Hangul, full-width forms, most emoji), else 1.
int CharCells(char32_t cp) noexcept;
// The cells of the character starting at s[i] (a surrogate pair counts once, at its high half; its low
// half takes none). Tabs are the caller's business.
int CellsAt(std::wstring_view s, std::size_t i) noexcept;

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
    // Replaces the whole text as one undo step (undoing it gives back the previous text with its caret
    // and selection); caret at the start, the text counted as not modified.
    void LoadText(std::wstring_view text);
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
    // Clamped, and moved to the start of a surrogate pair when it lies between the pair's halves.
    TTextPos Snap(TTextPos p) const noexcept;
    // The position one character after (before) p, a surrogate pair being one character; across line
    // ends; the text's end (start) stays where it is.
    TTextPos NextChar(TTextPos p) const noexcept;
    TTextPos PrevChar(TTextPos p) const noexcept;
    std::int64_t OffsetOf(TTextPos p) const;
    TTextPos PosOfOffset(std::int64_t offset) const;  // clamped to the text
    std::wstring Range(TTextPos a, TTextPos b) const; // a <= b

    // ---- Caret and selection. The anchor is the selection's fixed end; the caret its moving end.
    // SetSelection takes positions as given (the edit messages' offsets count UTF-16 units); MoveCaret
    // snaps out of surrogate pairs.
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
    // In overwrite mode a typed character replaces the character under the caret (a surrogate pair as
    // a whole; nothing at a line's end, where it is appended); a selection is replaced as a whole.
    void TypeChar(wchar_t c);
    bool Overwrite() const noexcept { return m_overwrite; }
    void SetOverwrite(bool on) noexcept { m_overwrite = on; }
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

    // ---- Find, replace and go to line. `what` is one line (a line break in it finds nothing).
    // Selects the next (or previous) occurrence from the selection, wrapping around the text once.
    bool Find(std::wstring_view what, bool matchCase, bool wholeWord, bool forward);
    // Whether the selection is exactly one occurrence of `what`.
    bool SelectionMatches(std::wstring_view what, bool matchCase, bool wholeWord) const;
    // Replaces the selection when it is an occurrence (one undo step), then selects the next occurrence
    // after it; returns whether an occurrence was replaced or found.
    bool Replace(std::wstring_view what, std::wstring_view with, bool matchCase, bool wholeWord);
    // Replaces every occurrence in the text, left to right without overlaps, as one undo step; the caret
    // ends after the last replacement. Returns the number replaced.
    int ReplaceAll(std::wstring_view what, std::wstring_view with, bool matchCase, bool wholeWord);

    // ---- Brackets. The pairs ( ) of both schemes, and { } [ ] of the Java-like one; brackets inside
    // strings and comments do not count. The search looks at most kBracketSearchRows rows away.
    static constexpr int kBracketSearchRows = 10000;
    // The match of the bracket at `at`; false when `at` holds no bracket of code or it has no match.
    bool MatchingBracket(TTextPos at, TTextPos& match) const;
    // The bracket just before the caret, else the one just after it, that has a match: both positions.
    bool BracketPairAt(TTextPos caret, TTextPos& bracket, TTextPos& match) const;
    // Caret at the start of a one-based line, clamped to the text.
    void GoToLine(int line);

    int TabWidth = 4;
    bool UseTabs = false;
    // The display column of a character index (tabs expanded, wide characters two cells).
    int DisplayColumn(int row, int col) const;
    // The first character starting at or after a display column (never between a pair's halves).
    int ColumnFromDisplay(int row, int displayCol) const;
    // The character boundary nearest a point given in half cells from the line's start (a click in the
    // first half of a character lands before it, in its second half after it).
    int NearestColumn(int row, int halfCells) const;
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
    // The columns of the occurrences of `what` in one line, left to right without overlaps.
    void FindInLine(const std::wstring& line, std::wstring_view what, bool matchCase, bool wholeWord,
                    std::vector<int>& cols) const;
    bool MatchesAt(const std::wstring& line, int i, std::wstring_view what, bool matchCase, bool wholeWord) const;
    void RecomputeLongest();

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
    bool m_overwrite = false;
    int m_longest = 0;
    TDirty m_dirty;
    int m_lastRelexCount = 0;
    std::int64_t m_changeCount = 0;
};

} // namespace qs::ui
