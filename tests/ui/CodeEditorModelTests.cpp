// The code editor's window-free model: the two lexers, states carried across lines and where
// re-lexing stops, offsets with CR LF as two, undo grouping and its memory bound, block indentation,
// find, replace and go to line, overwrite typing, matching brackets, loading as an undo step, surrogate
// pairs and wide characters.
#include "ui/uCodeEditorModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace qs::ui;

namespace {

// The kinds of a line's characters as one letter each: . text, K keyword, S string, C comment, N number.
std::wstring Kinds(TCodeScheme scheme, const std::wstring& line, std::uint8_t state = kLexNormal) {
    std::vector<TToken> tokens;
    LexLine(scheme, line, state, &tokens);
    std::wstring kinds(line.size(), L'?');
    for (const auto& t : tokens)
        for (int i = t.start; i < t.start + t.length; ++i) kinds[i] = L".KSCN"[static_cast<int>(t.kind)];
    return kinds;
}

TEST(CodeEditorLexer, TokensOfEachScheme) {
    const struct {
        TCodeScheme scheme;
        const wchar_t* line;
        const wchar_t* kinds;
    } cases[] = {
        {TCodeScheme::VisualBasic, L"Dim x: x = \"a\"\"b\" ' c", L"KKK........SSSSSS.CCC"},
        {TCodeScheme::VisualBasic, L"If &HFF Then rem x", L"KK.NNNN.KKKK.CCCCC"},
        {TCodeScheme::VisualBasic, L"remark = 1.5e3", L".........NNNNN"},
        {TCodeScheme::VisualBasic, L"s = \"open", L"....SSSSS"},
        {TCodeScheme::JavaLike, L"var s = 'a\\'b' + \"c\"; // x", L"KKK.....SSSSSS...SSS..CCCC"},
        {TCodeScheme::JavaLike, L"if (0x1F) return /* c */ 2.5;", L"KK..NNNN..KKKKKK.CCCCCCC.NNN."},
        {TCodeScheme::JavaLike, L"Var IF function", L".......KKKKKKKK"},
    };
    for (const auto& c : cases) EXPECT_EQ(Kinds(c.scheme, c.line), c.kinds) << c.line;
}

TEST(CodeEditorLexer, StatesCarriedAcrossLines) {
    const struct {
        const wchar_t* line;
        std::uint8_t in;
        std::uint8_t out;
        const wchar_t* kinds;
    } cases[] = {
        {L"a /* b", kLexNormal, kLexBlockComment, L"..CCCC"},
        {L"still", kLexBlockComment, kLexBlockComment, L"CCCCC"},
        {L"end */ x", kLexBlockComment, kLexNormal, L"CCCCCC.."},
        {L"s = \"abc\\", kLexNormal, kLexDoubleString, L"....SSSSS"},
        {L"def\" + 1", kLexDoubleString, kLexNormal, L"SSSS...N"},
        {L"'x' // /*", kLexNormal, kLexNormal, L"SSS.CCCCC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LexLine(TCodeScheme::JavaLike, c.line, c.in, nullptr), c.out) << c.line;
        EXPECT_EQ(Kinds(TCodeScheme::JavaLike, c.line, c.in), c.kinds) << c.line;
    }
}

TEST(CodeEditorModel, OpeningCommentRelexesDownToItsCloseOnly) {
    TCodeEditorModel m;
    m.SetScheme(TCodeScheme::JavaLike);
    std::wstring text = L"a = 1;\r\nb = 2;\r\nc */ d\r\n";
    for (int i = 0; i < 100; ++i) text += L"x = 'y';\r\n";
    m.SetText(text);
    m.MoveCaret({0, 0}, false);
    m.TypeChar(L'/');
    EXPECT_EQ(m.LastRelexCount(), 1); // a lone slash changes no state
    m.TypeChar(L'*');
    EXPECT_EQ(m.LastRelexCount(), 3); // rows 0 and 1 change state, row 2 closes the comment as before
    EXPECT_EQ(m.StateBefore(2), kLexBlockComment);
    EXPECT_EQ(m.StateBefore(3), kLexNormal);
    m.Undo();
    EXPECT_EQ(m.StateBefore(2), kLexNormal);
    m.SetScheme(TCodeScheme::VisualBasic);
    EXPECT_EQ(m.StateBefore(3), kLexNormal);
}

TEST(CodeEditorModel, OffsetsCountLineBreaksAsTwo) {
    TCodeEditorModel m;
    m.SetText(L"ab\r\n\r\n\tc\nd"); // a lone LF is a line break too; no break after the last line
    EXPECT_EQ(m.Text(), L"ab\r\n\r\n\tc\r\nd");
    EXPECT_EQ(m.TextLength(), 11);
    const struct {
        std::int64_t offset;
        TTextPos pos;
    } cases[] = {{0, {0, 0}}, {2, {0, 2}},  {4, {1, 0}},  {6, {2, 0}}, {7, {2, 1}},
                 {8, {2, 2}}, {10, {3, 0}}, {11, {3, 1}}, {99, {3, 1}}};
    for (const auto& c : cases) {
        EXPECT_EQ(m.PosOfOffset(c.offset), c.pos) << c.offset;
        if (c.offset <= 11) {
            EXPECT_EQ(m.OffsetOf(c.pos), c.offset) << c.offset;
        }
    }
    EXPECT_EQ(m.DisplayColumn(2, 1), 4); // the tab reaches the next stop
    EXPECT_EQ(m.ColumnFromDisplay(2, 3), 1);
}

TEST(CodeEditorModel, UndoGroupsTypingRuns) {
    TCodeEditorModel m;
    m.SetText(L"x");
    m.MoveCaret({0, 1}, false);
    for (wchar_t c : std::wstring(L"abc")) m.TypeChar(c);
    m.Backspace(false);
    m.Backspace(false);
    m.MoveCaret({0, 0}, false); // moving ends the run
    m.TypeChar(L'y');
    EXPECT_EQ(m.Text(), L"yxa");
    const wchar_t* expected[] = {L"xa", L"xabc", L"x"};
    for (const wchar_t* e : expected) {
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(m.Text(), e);
    }
    EXPECT_FALSE(m.CanUndo());
    EXPECT_EQ(m.Caret(), (TTextPos{0, 1}));
    m.Redo();
    m.Redo();
    EXPECT_EQ(m.Text(), L"xa");
    EXPECT_EQ(m.Caret(), (TTextPos{0, 2}));
}

// Steps hold differences: a hundred one-character edits of a 1 MB text take some kilobytes. Over the
// limits the oldest steps go, the newest stays even when it alone is over, and what is kept still
// undoes and redoes to the exact texts.
TEST(CodeEditorModel, UndoKeepsDifferencesWithinItsLimits) {
    TCodeEditorModel m;
    std::wstring big;
    for (int i = 0; i < 10000; ++i) big += std::wstring(100, L'x') + L"\r\n";
    m.SetText(big);
    for (int i = 0; i < 100; ++i) {
        m.MoveCaret({i * 100, 50}, false);
        m.TypeChar(L'y');
    }
    EXPECT_LT(m.UndoBytes(), 100u * 1024);

    const struct {
        TCodeEditorModel::TUndoLimits limits;
        size_t edits; // each replaces the whole text with 1,000 characters of its own
        size_t minKept, maxKept;
    } cases[] = {
        {{64 * 1024, 10000}, 100, 12, 16}, // a step holds 4,000 bytes of text and some bookkeeping
        {{8u << 20, 5}, 100, 5, 5},
        {{1000, 10000}, 3, 1, 1}, // the newest step alone is over
    };
    for (const auto& c : cases) {
        m.SetText(L"start");
        m.SetUndoLimits(c.limits);
        std::vector<std::wstring> texts{m.Text()};
        for (size_t i = 0; i < c.edits; ++i) {
            m.SelectAll();
            m.ReplaceSelection(std::wstring(1000, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i));
            texts.push_back(m.Text());
            EXPECT_LE(m.UndoBytes(), std::max<size_t>(c.limits.bytes, 4500)) << i;
        }
        size_t undone = 0;
        for (; m.Undo(); ++undone) ASSERT_EQ(m.Text(), texts[texts.size() - 2 - undone]) << undone;
        EXPECT_GE(undone, c.minKept) << c.limits.bytes << " " << c.limits.steps;
        EXPECT_LE(undone, c.maxKept) << c.limits.bytes << " " << c.limits.steps;
        while (m.Redo()) {
        }
        EXPECT_EQ(m.Text(), texts.back());
    }
}

TEST(CodeEditorModel, TabIndentsAndShiftTabOutdentsABlock) {
    TCodeEditorModel m;
    m.SetText(L"a\r\n\r\n\tb\r\nc");
    m.SetSelection({0, 0}, {3, 0}); // the last row is not part of the block: its column is 0
    m.InsertTab();
    EXPECT_EQ(m.Text(), L"    a\r\n\r\n    \tb\r\nc");
    m.Outdent();
    m.Outdent();
    EXPECT_EQ(m.Text(), L"a\r\n\r\nb\r\nc"); // the second level was a tab
    m.Undo();
    m.Undo();
    EXPECT_EQ(m.Text(), L"    a\r\n\r\n    \tb\r\nc");
    m.SetText(L"ab");
    m.MoveCaret({0, 1}, false);
    m.InsertTab();
    EXPECT_EQ(m.Text(), L"a   b");
}

TEST(CodeEditorModel, EnterKeepsIndentationAndWordDeletes) {
    TCodeEditorModel m;
    m.SetText(L"  if x then");
    m.MoveCaret({0, 11}, false);
    m.NewLine();
    EXPECT_EQ(m.Text(), L"  if x then\r\n  ");
    EXPECT_EQ(m.Caret(), (TTextPos{1, 2}));
    m.MoveCaret({0, 11}, false);
    m.Backspace(true);
    EXPECT_EQ(m.Line(0), L"  if x ");
    m.MoveCaret({0, 0}, false);
    m.DeleteForward(true);
    EXPECT_EQ(m.Line(0), L"if x ");
}

TEST(CodeEditorModel, FindWrapsAndGoToLineClamps) {
    TCodeEditorModel m;
    m.SetText(L"Dim dim\r\nx = DIMENSION\r\ndim");
    m.MoveCaret({1, 0}, false);
    const struct {
        bool matchCase, wholeWord, forward;
        TTextPos start;
    } cases[] = {
        {false, false, true, {1, 4}},  {false, true, true, {2, 0}}, {false, true, true, {0, 0}}, // wrapped
        {true, true, true, {0, 4}},    {true, true, false, {2, 0}}, // backward wraps to the end
        {false, false, false, {1, 4}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(m.Find(L"dim", c.matchCase, c.wholeWord, c.forward));
        EXPECT_EQ(m.SelStart(), c.start) << c.start.row << "," << c.start.col;
    }
    EXPECT_FALSE(m.Find(L"nothing", false, false, true));
    m.GoToLine(99);
    EXPECT_EQ(m.Caret(), (TTextPos{2, 0}));
    m.GoToLine(2);
    EXPECT_EQ(m.Caret(), (TTextPos{1, 0}));
}

TEST(CodeEditorModel, UndoingEveryEditRestoresEachText) {
    // Random commands over a small text: undoing them one by one must give back each earlier text and
    // its re-lexed states, and redoing them the later ones.
    TCodeEditorModel m;
    m.SetScheme(TCodeScheme::JavaLike);
    m.SetText(L"a /* b\r\n\tc */ d\r\n\r\n'e' // f");
    std::vector<std::wstring> texts{m.Text()};
    unsigned seed = 7;
    auto next = [&](int n) { return static_cast<int>((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    const wchar_t* inserts[] = {L"x", L"/*", L"*/", L"\r\n", L"q\nr\rs", L"\t"};
    for (int i = 0; i < 200; ++i) {
        const TTextPos a{next(m.LineCount()), 0}, b{next(m.LineCount()), next(6)};
        m.SetSelection(m.Clamp({a.row, next(6)}), m.Clamp(b));
        switch (next(6)) {
        case 0:
            m.TypeChar(L"ab/*"[next(4)]);
            break;
        case 1:
            m.Backspace(next(2) == 0);
            break;
        case 2:
            m.DeleteForward(next(2) == 0);
            break;
        case 3:
            m.NewLine();
            break;
        case 4:
            next(2) ? m.InsertTab() : m.Outdent();
            break;
        default:
            m.ReplaceSelection(inserts[next(6)]);
            break;
        }
        m.BreakUndoGroup();
        if (m.Text() != texts.back()) texts.push_back(m.Text());
    }
    auto statesMatchAFreshLex = [&] {
        TCodeEditorModel fresh;
        fresh.SetScheme(TCodeScheme::JavaLike);
        fresh.SetText(m.Text());
        for (int r = 0; r < m.LineCount(); ++r)
            if (m.StateBefore(r) != fresh.StateBefore(r)) return false;
        return true;
    };
    for (size_t i = texts.size() - 1; i > 0; --i) {
        ASSERT_TRUE(m.Undo());
        ASSERT_EQ(m.Text(), texts[i - 1]) << i;
        ASSERT_TRUE(statesMatchAFreshLex()) << i;
    }
    EXPECT_FALSE(m.Undo());
    while (m.Redo()) {
    }
    EXPECT_EQ(m.Text(), texts.back());
    EXPECT_TRUE(statesMatchAFreshLex());
}

TEST(CodeEditorModel, ReplaceAllIsOneUndoStep) {
    const struct {
        const wchar_t* text;
        const wchar_t *what, *with;
        bool matchCase, wholeWord;
        int count;
        const wchar_t* after;
        TTextPos caret;
    } cases[] = {
        {L"dim x\r\nDim Dimension dim", L"dim", L"Const", false, true, 3, L"Const x\r\nConst Dimension Const", {1, 21}},
        {L"dim x\r\nDim Dimension dim", L"dim", L"d", true, false, 2, L"d x\r\nDim Dimension d", {1, 15}},
        {L"aaa\r\na", L"a", L"aa", false, false, 4, L"aaaaaa\r\naa", {1, 2}},     // no match of what it put in
        {L"aaaa", L"aa", L"b", false, false, 2, L"bb", {0, 2}},                     // no overlaps
        {L"x;x\r\ny;x", L";", L"\r\n", false, false, 2, L"x\r\nx\r\ny\r\nx", {3, 0}}, // rows move down
        {L"abc", L"abc", L"abc", false, false, 1, L"abc", {0, 3}},
        {L"abc", L"zz", L"y", false, false, 0, L"abc", {0, 1}},
    };
    for (const auto& c : cases) {
        TCodeEditorModel m;
        m.SetText(c.text);
        m.SetSelection({0, 0}, {0, 1});
        EXPECT_EQ(m.ReplaceAll(c.what, c.with, c.matchCase, c.wholeWord), c.count) << c.text;
        EXPECT_EQ(m.Text(), c.after) << c.text;
        EXPECT_EQ(m.Caret(), c.caret) << c.text;
        if (std::wstring(c.after) != c.text) {
            ASSERT_TRUE(m.Undo()) << c.text;
            EXPECT_EQ(m.Text(), c.text);
            EXPECT_EQ(m.SelStart(), (TTextPos{0, 0}));
            EXPECT_EQ(m.SelEnd(), (TTextPos{0, 1}));
        }
        EXPECT_FALSE(m.CanUndo()) << c.text;
    }
}

TEST(CodeEditorModel, ReplaceTakesAMatchingSelectionThenFindsTheNext) {
    TCodeEditorModel m;
    m.SetText(L"cat cat\r\ncat");
    m.MoveCaret({0, 1}, false);
    EXPECT_TRUE(m.Replace(L"cat", L"dog", false, false)); // nothing selected yet: only finds
    EXPECT_EQ(m.SelStart(), (TTextPos{0, 4}));
    EXPECT_TRUE(m.Replace(L"cat", L"dog", false, false));
    EXPECT_EQ(m.Text(), L"cat dog\r\ncat");
    EXPECT_EQ(m.SelStart(), (TTextPos{1, 0}));
    EXPECT_TRUE(m.Replace(L"cat", L"dog", false, false)); // wraps to the first
    EXPECT_TRUE(m.Replace(L"cat", L"dog", false, false));
    EXPECT_EQ(m.Text(), L"dog dog\r\ndog");
    EXPECT_FALSE(m.Replace(L"cat", L"dog", false, false));
}

TEST(CodeEditorModel, OverwriteReplacesTheCharacterUnderTheCaret) {
    TCodeEditorModel m;
    m.SetText(L"ab\U0001F600d\r\nxy");
    m.SetOverwrite(true);
    m.MoveCaret({0, 1}, false);
    for (wchar_t c : std::wstring(L"BCDEF")) m.TypeChar(c); // the pair is one character; at the end it appends
    EXPECT_EQ(m.Text(), L"aBCDEF\r\nxy");
    m.MoveCaret({1, 0}, false);
    m.TypeChar(0xD83D); // a pair typed in two halves replaces one character
    m.TypeChar(0xDE00);
    EXPECT_EQ(m.Text(), L"aBCDEF\r\n\U0001F600y");
    m.SetSelection({0, 0}, {0, 3});
    m.TypeChar(L'Z'); // a selection goes as a whole
    EXPECT_EQ(m.Text(), L"ZDEF\r\n\U0001F600y");
    const wchar_t* undone[] = {L"aBCDEF\r\n\U0001F600y", L"aBCDEF\r\nxy", L"ab\U0001F600d\r\nxy"};
    for (const wchar_t* text : undone) {
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(m.Text(), text);
    }
    EXPECT_FALSE(m.CanUndo()); // each run was one step
}

TEST(CodeEditorModel, MatchingBracketSkipsStringsAndComments) {
    const struct {
        TCodeScheme scheme;
        const wchar_t* text;
        TTextPos at;
        TTextPos match; // row -1: none
    } cases[] = {
        {TCodeScheme::VisualBasic, L"f(a(b), c)", {0, 1}, {0, 9}},
        {TCodeScheme::VisualBasic, L"f(a(b), c)", {0, 9}, {0, 1}},
        {TCodeScheme::VisualBasic, L"f(\")\", x) ' )", {0, 1}, {0, 8}},
        {TCodeScheme::VisualBasic, L"x = \"(\"", {0, 5}, {-1, 0}}, // in a string itself
        {TCodeScheme::VisualBasic, L"f(a", {0, 1}, {-1, 0}},
        {TCodeScheme::VisualBasic, L"{a}", {0, 0}, {-1, 0}}, // no braces in this scheme
        {TCodeScheme::JavaLike, L"f( // )\r\n  )", {0, 1}, {1, 2}},
        {TCodeScheme::JavaLike, L"( /*\r\n ) */ ')' )", {0, 0}, {1, 10}},
        {TCodeScheme::JavaLike, L"if (a) { b[1] = '}'; }", {0, 7}, {0, 21}},
        {TCodeScheme::JavaLike, L"if (a) { b[1] = '}'; }", {0, 12}, {0, 10}},
        {TCodeScheme::JavaLike, L"{ ( }", {0, 2}, {-1, 0}},
    };
    for (const auto& c : cases) {
        TCodeEditorModel m;
        m.SetScheme(c.scheme);
        m.SetText(c.text);
        TTextPos match{-1, 0};
        EXPECT_EQ(m.MatchingBracket(c.at, match), c.match.row >= 0) << c.text << " " << c.at.col;
        if (c.match.row >= 0) {
            EXPECT_EQ(match, c.match) << c.text << " " << c.at.col;
        }
    }
    // The caret just after a bracket, else just before one; the search stops kBracketSearchRows away.
    TCodeEditorModel m;
    m.SetText(L"(a)(b)");
    TTextPos bracket, match;
    ASSERT_TRUE(m.BracketPairAt({0, 3}, bracket, match));
    EXPECT_EQ(bracket, (TTextPos{0, 2}));
    EXPECT_EQ(match, (TTextPos{0, 0}));
    ASSERT_TRUE(m.BracketPairAt({0, 0}, bracket, match));
    EXPECT_EQ(match, (TTextPos{0, 2}));
    for (int apart : {TCodeEditorModel::kBracketSearchRows, TCodeEditorModel::kBracketSearchRows + 1}) {
        std::wstring text = L"(";
        for (int i = 0; i < apart; ++i) text += L"\r\nx";
        m.SetText(text + L")");
        EXPECT_EQ(m.MatchingBracket({0, 0}, match), apart == TCodeEditorModel::kBracketSearchRows) << apart;
    }
}

// History stepping and opening a file load through LoadText: one undo gives back the text before.
TEST(CodeEditorModel, LoadingIsUndoneInOneStep) {
    TCodeEditorModel m;
    m.SetText(L"unsaved\r\nscript");
    m.MoveCaret({1, 3}, false);
    m.TypeChar(L'!');
    m.LoadText(L"from\nhistory");
    EXPECT_EQ(m.Text(), L"from\r\nhistory");
    EXPECT_EQ(m.Caret(), (TTextPos{0, 0}));
    EXPECT_FALSE(m.Modified);
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.Text(), L"unsaved\r\nscr!ipt");
    EXPECT_EQ(m.Caret(), (TTextPos{1, 4}));
    ASSERT_TRUE(m.Redo());
    EXPECT_EQ(m.Text(), L"from\r\nhistory");
    m.LoadText(L"x");
    EXPECT_EQ(m.LongestLineEstimate(), 1); // the old lines' widths are forgotten
}

TEST(CodeEditorModel, SurrogatePairsAndWideCharacters) {
    TCodeEditorModel m;
    // a, an ideograph, an astral ideograph (a pair), an emoji (a pair), a tab, x.
    m.SetText(L"a\u4E2D\U00020000\U0001F600\tx");
    const struct {
        int col, display;
    } columns[] = {{0, 0}, {1, 1}, {2, 3}, {4, 5}, {6, 7}, {7, 8}, {8, 9}};
    for (const auto& c : columns) {
        EXPECT_EQ(m.DisplayColumn(0, c.col), c.display) << c.col;
        EXPECT_EQ(m.ColumnFromDisplay(0, c.display), c.col) << c.col;
    }
    const struct {
        int halfCells, col;
    } clicks[] = {{2, 1}, {3, 1}, {4, 2}, {7, 2}, {8, 4}, {11, 4}, {12, 6}, {14, 6}, {15, 7}}; // halves of each cell
    for (const auto& c : clicks) EXPECT_EQ(m.NearestColumn(0, c.halfCells), c.col) << c.halfCells;
    EXPECT_EQ(m.ColumnFromDisplay(0, 6), 6); // the second cell of the emoji: after it, never inside
    EXPECT_EQ(m.NextChar({0, 2}), (TTextPos{0, 4}));
    EXPECT_EQ(m.PrevChar({0, 6}), (TTextPos{0, 4}));
    m.MoveCaret({0, 5}, false); // between halves: snapped to the pair's start
    EXPECT_EQ(m.Caret(), (TTextPos{0, 4}));
    m.DeleteForward(false);
    m.Backspace(false);
    EXPECT_EQ(m.Text(), L"a\u4E2D\tx");
    EXPECT_EQ(CharCells(0x20AC), 1);
    EXPECT_EQ(CharCells(0xAC00), 2);
    EXPECT_EQ(CharCells(0xFF21), 2);
}

} // namespace
