// The code editor's lexers and text model. The text is an array of lines, each with the lexer state at
// its end, so an edit re-lexes from its first line only until a line ends in the state it had before.
#include "ui/uCodeEditorModel.h"

#include <algorithm>
#include <cwctype>
#include <utility>

namespace qs::ui {

namespace {

bool IsWordChar(wchar_t c) noexcept {
    return c == L'_' || std::iswalnum(c) || c > 0x7F;
}
bool IsBlank(wchar_t c) noexcept {
    return c == L' ' || c == L'\t';
}
int CharClass(wchar_t c) noexcept {
    return IsBlank(c) ? 0 : IsWordChar(c) ? 1 : 2;
}

bool EqualNoCase(std::wstring_view a, const wchar_t* b) noexcept {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && !b[i];
}

// Keywords, sorted for the binary search; the Visual Basic ones are compared in lower case.
constexpr const wchar_t* kVbKeywords[] = {
    L"and",   L"as",       L"boolean", L"byref",    L"byte",   L"byval",     L"call",  L"case",   L"class",
    L"const", L"currency", L"dim",     L"do",       L"double", L"each",      L"else",  L"elseif", L"empty",
    L"end",   L"eqv",      L"erase",   L"error",    L"exit",   L"explicit",  L"false", L"for",    L"function",
    L"get",   L"goto",     L"if",      L"imp",      L"in",     L"is",        L"let",   L"like",   L"loop",
    L"me",    L"mod",      L"new",     L"next",     L"not",    L"nothing",   L"null",  L"on",     L"option",
    L"or",    L"preserve", L"private", L"property", L"public", L"randomize", L"redim", L"resume", L"select",
    L"set",   L"step",     L"stop",    L"sub",      L"then",   L"to",        L"true",  L"until",  L"wend",
    L"while", L"with",     L"xor"};
constexpr const wchar_t* kJsKeywords[] = {
    L"break",  L"case",       L"catch",  L"class",     L"const",   L"continue", L"debugger", L"default",
    L"delete", L"do",         L"else",   L"false",     L"finally", L"for",      L"function", L"if",
    L"in",     L"instanceof", L"new",    L"null",      L"return",  L"switch",   L"this",     L"throw",
    L"true",   L"try",        L"typeof", L"undefined", L"var",     L"void",     L"while",    L"with"};

template <size_t N> bool IsKeyword(const wchar_t* const (&table)[N], std::wstring_view word, bool ignoreCase) {
    if (word.size() > 12) return false;
    wchar_t buf[13];
    for (size_t i = 0; i < word.size(); ++i)
        buf[i] = ignoreCase ? static_cast<wchar_t>(std::towlower(word[i])) : word[i];
    const std::wstring_view w(buf, word.size());
    return std::binary_search(std::begin(table), std::end(table), w,
                              [](auto a, auto b) { return std::wstring_view(a) < std::wstring_view(b); });
}

class Emitter {
public:
    explicit Emitter(std::vector<TToken>* out) : m_out(out) {}
    void Add(int start, int end, TTokenKind kind) {
        if (!m_out || end <= start) return;
        if (!m_out->empty() && m_out->back().kind == kind && m_out->back().start + m_out->back().length == start) {
            m_out->back().length += end - start;
            return;
        }
        m_out->push_back({start, end - start, kind});
    }

private:
    std::vector<TToken>* m_out;
};

// Decimal numbers: digits with a fraction and an exponent. The lexers scan hexadecimal forms themselves.
int ScanNumber(std::wstring_view s, int i) {
    const int n = static_cast<int>(s.size());
    while (i < n && (std::iswdigit(s[i]) || s[i] == L'.')) ++i;
    if (i < n && (s[i] == L'e' || s[i] == L'E')) {
        int j = i + 1;
        if (j < n && (s[j] == L'+' || s[j] == L'-')) ++j;
        if (j < n && std::iswdigit(s[j])) {
            i = j;
            while (i < n && std::iswdigit(s[i])) ++i;
        }
    }
    return i;
}

std::uint8_t LexVb(std::wstring_view s, std::vector<TToken>* tokens) {
    Emitter out(tokens);
    const int n = static_cast<int>(s.size());
    int i = 0;
    while (i < n) {
        const wchar_t c = s[i];
        const int start = i;
        if (c == L'\'') {
            out.Add(start, n, TTokenKind::Comment);
            return kLexNormal;
        }
        if (c == L'"') {
            ++i;
            while (i < n) {
                if (s[i] == L'"') {
                    if (i + 1 < n && s[i + 1] == L'"') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            out.Add(start, i, TTokenKind::String);
            continue;
        }
        if (c == L'&' && i + 1 < n && (s[i + 1] == L'h' || s[i + 1] == L'H' || s[i + 1] == L'o' || s[i + 1] == L'O')) {
            i += 2;
            while (i < n && std::iswxdigit(s[i])) ++i;
            if (i < n && s[i] == L'&') ++i;
            out.Add(start, i, TTokenKind::Number);
            continue;
        }
        if (std::iswdigit(c) || (c == L'.' && i + 1 < n && std::iswdigit(s[i + 1]))) {
            i = ScanNumber(s, i);
            out.Add(start, i, TTokenKind::Number);
            continue;
        }
        if (IsWordChar(c)) {
            while (i < n && IsWordChar(s[i])) ++i;
            const std::wstring_view word = s.substr(start, i - start);
            if (EqualNoCase(word, L"rem")) {
                out.Add(start, n, TTokenKind::Comment);
                return kLexNormal;
            }
            out.Add(start, i, IsKeyword(kVbKeywords, word, true) ? TTokenKind::Keyword : TTokenKind::Text);
            continue;
        }
        ++i;
        out.Add(start, i, TTokenKind::Text);
    }
    return kLexNormal;
}

std::uint8_t LexJs(std::wstring_view s, std::uint8_t state, std::vector<TToken>* tokens) {
    Emitter out(tokens);
    const int n = static_cast<int>(s.size());
    int i = 0;
    auto scanString = [&](wchar_t quote, int from) -> std::uint8_t {
        i = from;
        while (i < n) {
            if (s[i] == L'\\') {
                if (i + 1 >= n) { // continued on the next line
                    i = n;
                    return quote == L'"' ? kLexDoubleString : kLexSingleString;
                }
                i += 2;
                continue;
            }
            if (s[i++] == quote) return kLexNormal;
        }
        return kLexNormal; // an unterminated string ends with its line
    };
    if (state == kLexBlockComment) {
        const size_t end = s.find(L"*/");
        if (end == std::wstring_view::npos) {
            out.Add(0, n, TTokenKind::Comment);
            return kLexBlockComment;
        }
        i = static_cast<int>(end) + 2;
        out.Add(0, i, TTokenKind::Comment);
    } else if (state == kLexDoubleString || state == kLexSingleString) {
        const std::uint8_t next = scanString(state == kLexDoubleString ? L'"' : L'\'', 0);
        out.Add(0, i, TTokenKind::String);
        if (next != kLexNormal) return next;
    }
    while (i < n) {
        const wchar_t c = s[i];
        const int start = i;
        if (c == L'/' && i + 1 < n && s[i + 1] == L'/') {
            out.Add(start, n, TTokenKind::Comment);
            return kLexNormal;
        }
        if (c == L'/' && i + 1 < n && s[i + 1] == L'*') {
            const size_t end = s.find(L"*/", static_cast<size_t>(i) + 2);
            if (end == std::wstring_view::npos) {
                out.Add(start, n, TTokenKind::Comment);
                return kLexBlockComment;
            }
            i = static_cast<int>(end) + 2;
            out.Add(start, i, TTokenKind::Comment);
            continue;
        }
        if (c == L'"' || c == L'\'') {
            const std::uint8_t next = scanString(c, i + 1);
            out.Add(start, i, TTokenKind::String);
            if (next != kLexNormal) return next;
            continue;
        }
        if (c == L'0' && i + 1 < n && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
            i += 2;
            while (i < n && std::iswxdigit(s[i])) ++i;
            out.Add(start, i, TTokenKind::Number);
            continue;
        }
        if (std::iswdigit(c) || (c == L'.' && i + 1 < n && std::iswdigit(s[i + 1]))) {
            i = ScanNumber(s, i);
            out.Add(start, i, TTokenKind::Number);
            continue;
        }
        if (IsWordChar(c) || c == L'$') {
            while (i < n && (IsWordChar(s[i]) || s[i] == L'$')) ++i;
            out.Add(start, i,
                    IsKeyword(kJsKeywords, s.substr(start, i - start), false) ? TTokenKind::Keyword : TTokenKind::Text);
            continue;
        }
        ++i;
        out.Add(start, i, TTokenKind::Text);
    }
    return kLexNormal;
}

// Splits text at CR LF, lone CR and lone LF.
std::vector<std::wstring> SplitText(std::wstring_view text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r' && text[i] != L'\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

// The text with every line break as CR LF.
std::wstring WithCrLf(std::wstring_view text) {
    const std::vector<std::wstring> lines = SplitText(text);
    std::wstring s = lines[0];
    for (size_t i = 1; i < lines.size(); ++i) (s += L"\r\n") += lines[i];
    return s;
}

int LeadingBlanks(const std::wstring& line) {
    int i = 0;
    while (i < static_cast<int>(line.size()) && IsBlank(line[i])) ++i;
    return i;
}

// The ranges of East Asian Wide and Full-width code points, sorted: CJK ideographs and their symbols,
// kana, Hangul, Yi, full-width forms, and the emoji blocks (taken whole; a few narrow symbols in them
// are drawn wide, which only costs a cell).
constexpr char32_t kWideRanges[][2] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F2FF}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Opening and closing brackets of a scheme: the index of c in kOpen or kClose, else -1.
constexpr wchar_t kOpen[] = L"({[";
constexpr wchar_t kClose[] = L")}]";
int BracketKind(TCodeScheme scheme, wchar_t c, bool& opening) noexcept {
    const int kinds = scheme == TCodeScheme::VisualBasic ? 1 : 3;
    for (int k = 0; k < kinds; ++k) {
        if (c == kOpen[k] || c == kClose[k]) {
            opening = c == kOpen[k];
            return k;
        }
    }
    return -1;
}

// The kind of the token covering column `col`.
TTokenKind KindAt(const std::vector<TToken>& tokens, int col) noexcept {
    for (const TToken& t : tokens)
        if (col >= t.start && col < t.start + t.length) return t.kind;
    return TTokenKind::Text;
}

} // namespace

int CharCells(char32_t cp) noexcept {
    if (cp < 0x1100) return 1;
    size_t lo = 0, hi = std::size(kWideRanges);
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (cp > kWideRanges[mid][1])
            lo = mid + 1;
        else if (cp < kWideRanges[mid][0])
            hi = mid;
        else
            return 2;
    }
    return 1;
}

int CellsAt(std::wstring_view s, std::size_t i) noexcept {
    const wchar_t c = s[i];
    if (c < 0x1100) return 1;
    if (IsHighSurrogate(c) && i + 1 < s.size() && IsLowSurrogate(s[i + 1]))
        return CharCells(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
    if (IsLowSurrogate(c) && i > 0 && IsHighSurrogate(s[i - 1])) return 0;
    return CharCells(c);
}

std::uint8_t LexLine(TCodeScheme scheme, std::wstring_view line, std::uint8_t state, std::vector<TToken>* tokens) {
    return scheme == TCodeScheme::VisualBasic ? LexVb(line, tokens) : LexJs(line, state, tokens);
}

// ---- TCodeEditorModel ----

TCodeEditorModel::TCodeEditorModel() : m_lines(1), m_endStates(1, kLexNormal) {}

void TCodeEditorModel::SetText(std::wstring_view text) {
    m_lines = SplitText(text);
    m_endStates.assign(m_lines.size(), kLexNormal);
    std::uint8_t state = kLexNormal;
    for (size_t r = 0; r < m_lines.size(); ++r) m_endStates[r] = state = LexLine(m_scheme, m_lines[r], state, nullptr);
    RecomputeLongest();
    m_lastRelexCount = LineCount();
    m_caret = m_anchor = {};
    ClearUndo();
    Modified = false;
    ++m_changeCount;
    MarkDirty(0, LineCount() - 1, true);
}

void TCodeEditorModel::LoadText(std::wstring_view text) {
    m_groupOpen = false;
    BeginStep(TEditKind::Other);
    try {
        Edit({0, 0}, {LineCount() - 1, static_cast<int>(m_lines.back().size())}, text);
    } catch (...) {
        // Out of memory copying the texts (before the text changes): no step is left half made.
        EndStep();
        throw;
    }
    m_anchor = m_caret = {};
    EndStep();
    // The longest line of the old text no longer counts.
    RecomputeLongest();
    Modified = false;
    MarkDirty(0, LineCount() - 1, true);
}

void TCodeEditorModel::RecomputeLongest() {
    m_longest = 0;
    for (int r = 0; r < LineCount(); ++r)
        m_longest = std::max(m_longest, DisplayColumn(r, static_cast<int>(m_lines[r].size())));
}

std::wstring TCodeEditorModel::Text() const {
    std::wstring text;
    text.reserve(static_cast<size_t>(TextLength()));
    for (size_t r = 0; r < m_lines.size(); ++r) {
        if (r) text += L"\r\n";
        text += m_lines[r];
    }
    return text;
}

std::int64_t TCodeEditorModel::TextLength() const {
    std::int64_t n = 2 * (static_cast<std::int64_t>(m_lines.size()) - 1);
    for (const auto& l : m_lines) n += static_cast<std::int64_t>(l.size());
    return n;
}

void TCodeEditorModel::SetScheme(TCodeScheme scheme) {
    m_scheme = scheme;
    std::uint8_t state = kLexNormal;
    for (size_t r = 0; r < m_lines.size(); ++r) m_endStates[r] = state = LexLine(m_scheme, m_lines[r], state, nullptr);
    MarkDirty(0, LineCount() - 1, false);
}

TTextPos TCodeEditorModel::Clamp(TTextPos p) const noexcept {
    p.row = std::clamp(p.row, 0, LineCount() - 1);
    p.col = std::clamp(p.col, 0, static_cast<int>(m_lines[p.row].size()));
    return p;
}

TTextPos TCodeEditorModel::Snap(TTextPos p) const noexcept {
    p = Clamp(p);
    const std::wstring& s = m_lines[p.row];
    if (p.col > 0 && p.col < static_cast<int>(s.size()) && IsLowSurrogate(s[p.col]) && IsHighSurrogate(s[p.col - 1]))
        --p.col;
    return p;
}

TTextPos TCodeEditorModel::NextChar(TTextPos p) const noexcept {
    p = Clamp(p);
    const std::wstring& s = m_lines[p.row];
    const int n = static_cast<int>(s.size());
    if (p.col == n) return p.row + 1 < LineCount() ? TTextPos{p.row + 1, 0} : p;
    ++p.col;
    if (p.col < n && IsLowSurrogate(s[p.col]) && IsHighSurrogate(s[p.col - 1])) ++p.col;
    return p;
}

TTextPos TCodeEditorModel::PrevChar(TTextPos p) const noexcept {
    p = Clamp(p);
    if (p.col == 0) return p.row > 0 ? TTextPos{p.row - 1, static_cast<int>(m_lines[p.row - 1].size())} : p;
    const std::wstring& s = m_lines[p.row];
    --p.col;
    if (p.col > 0 && IsLowSurrogate(s[p.col]) && IsHighSurrogate(s[p.col - 1])) --p.col;
    return p;
}

std::int64_t TCodeEditorModel::OffsetOf(TTextPos p) const {
    p = Clamp(p);
    std::int64_t offset = 0;
    for (int r = 0; r < p.row; ++r) offset += static_cast<std::int64_t>(m_lines[r].size()) + 2;
    return offset + p.col;
}

TTextPos TCodeEditorModel::PosOfOffset(std::int64_t offset) const {
    if (offset < 0) offset = 0;
    for (int r = 0; r < LineCount(); ++r) {
        const auto len = static_cast<std::int64_t>(m_lines[r].size());
        if (offset <= len) return {r, static_cast<int>(offset)};
        if (r + 1 == LineCount()) return {r, static_cast<int>(len)};
        offset -= len + 2;
        if (offset < 0) return {r, static_cast<int>(len)}; // inside a line break
    }
    return {};
}

std::wstring TCodeEditorModel::Range(TTextPos a, TTextPos b) const {
    a = Clamp(a);
    b = Clamp(b);
    if (b < a) std::swap(a, b);
    if (a.row == b.row) return m_lines[a.row].substr(a.col, b.col - a.col);
    std::wstring s = m_lines[a.row].substr(a.col);
    for (int r = a.row + 1; r < b.row; ++r) (s += L"\r\n") += m_lines[r];
    (s += L"\r\n") += m_lines[b.row].substr(0, b.col);
    return s;
}

void TCodeEditorModel::SetSelection(TTextPos anchor, TTextPos caret) {
    const TTextPos oldStart = SelStart(), oldEnd = SelEnd();
    m_anchor = Clamp(anchor);
    m_caret = Clamp(caret);
    m_groupOpen = false;
    MarkDirty(std::min(oldStart.row, SelStart().row), std::max(oldEnd.row, SelEnd().row), false);
}

void TCodeEditorModel::MoveCaret(TTextPos to, bool extend) {
    to = Snap(to);
    SetSelection(extend ? m_anchor : to, to);
}

void TCodeEditorModel::SelectAll() {
    SetSelection({}, {LineCount() - 1, static_cast<int>(m_lines.back().size())});
}

TTextPos TCodeEditorModel::WordLeft(TTextPos p) const {
    p = Clamp(p);
    if (p.col == 0) return p.row > 0 ? TTextPos{p.row - 1, static_cast<int>(m_lines[p.row - 1].size())} : p;
    const std::wstring& s = m_lines[p.row];
    while (p.col > 0 && IsBlank(s[p.col - 1])) --p.col;
    if (p.col == 0) return p;
    const int cls = CharClass(s[p.col - 1]);
    while (p.col > 0 && CharClass(s[p.col - 1]) == cls) --p.col;
    return p;
}

TTextPos TCodeEditorModel::WordRight(TTextPos p) const {
    p = Clamp(p);
    const std::wstring& s = m_lines[p.row];
    const int n = static_cast<int>(s.size());
    if (p.col == n) return p.row + 1 < LineCount() ? TTextPos{p.row + 1, 0} : p;
    const int cls = CharClass(s[p.col]);
    if (cls != 0)
        while (p.col < n && CharClass(s[p.col]) == cls) ++p.col;
    while (p.col < n && IsBlank(s[p.col])) ++p.col;
    return p;
}

void TCodeEditorModel::SelectWordAt(TTextPos p) {
    p = Clamp(p);
    const std::wstring& s = m_lines[p.row];
    const int n = static_cast<int>(s.size());
    int at = p.col < n ? p.col : p.col - 1;
    if (at < 0) return MoveCaret(p, false);
    const int cls = CharClass(s[at]);
    int a = at, b = at;
    while (a > 0 && CharClass(s[a - 1]) == cls) --a;
    while (b < n && CharClass(s[b]) == cls) ++b;
    SetSelection({p.row, a}, {p.row, b});
}

// ---- Editing ----

void TCodeEditorModel::MarkDirty(int first, int last, bool moved) noexcept {
    if (m_dirty.first < 0) {
        m_dirty = {first, last, moved};
        return;
    }
    m_dirty.first = std::min(m_dirty.first, first);
    m_dirty.last = std::max(m_dirty.last, last);
    m_dirty.linesMoved = m_dirty.linesMoved || moved;
}

TCodeEditorModel::TDirty TCodeEditorModel::TakeDirty() noexcept {
    return std::exchange(m_dirty, TDirty{});
}

void TCodeEditorModel::Relex(int firstRow, int lastChangedRow) {
    std::uint8_t state = StateBefore(firstRow);
    int r = firstRow;
    for (; r < LineCount(); ++r) {
        const std::uint8_t next = LexLine(m_scheme, m_lines[r], state, nullptr);
        const bool same = next == m_endStates[r];
        m_endStates[r] = state = next;
        if (r >= lastChangedRow && same) break;
    }
    const int last = std::min(r, LineCount() - 1);
    m_lastRelexCount = last - firstRow + 1;
    MarkDirty(firstRow, last, false);
}

TTextPos TCodeEditorModel::RawReplace(TTextPos a, TTextPos b, std::wstring_view text) {
    a = Clamp(a);
    b = Clamp(b);
    if (b < a) std::swap(a, b);
    std::vector<std::wstring> parts = SplitText(text);
    const std::wstring tail = m_lines[b.row].substr(b.col);
    std::wstring& first = m_lines[a.row];
    first.erase(a.col);
    first += parts[0];
    const int removedRows = b.row - a.row;
    const int addedRows = static_cast<int>(parts.size()) - 1;
    TTextPos end{a.row + addedRows, 0};
    if (addedRows == 0 && removedRows == 0) {
        end.col = static_cast<int>(first.size());
        first += tail;
    } else {
        // Reuse the rows in place where counts match, insert or erase the difference once.
        const int common = std::min(removedRows, addedRows);
        for (int i = 1; i <= common; ++i) m_lines[a.row + i] = std::move(parts[i]);
        if (addedRows > removedRows) {
            m_lines.insert(m_lines.begin() + a.row + common + 1, std::make_move_iterator(parts.begin() + common + 1),
                           std::make_move_iterator(parts.end()));
            m_endStates.insert(m_endStates.begin() + a.row + common + 1, addedRows - removedRows, 0xFF);
        } else if (removedRows > addedRows) {
            m_lines.erase(m_lines.begin() + a.row + common + 1, m_lines.begin() + a.row + removedRows + 1);
            m_endStates.erase(m_endStates.begin() + a.row + common + 1, m_endStates.begin() + a.row + removedRows + 1);
        }
        std::wstring& last = m_lines[end.row];
        end.col = static_cast<int>(last.size());
        last += tail;
        // Lines that now hold other text may not match their old end states by chance.
        for (int r = a.row; r <= end.row; ++r) m_endStates[r] = 0xFF;
    }
    for (int r = a.row; r <= end.row; ++r)
        m_longest = std::max(m_longest, DisplayColumn(r, static_cast<int>(m_lines[r].size())));
    Modified = true;
    ++m_changeCount;
    MarkDirty(a.row, end.row, removedRows != addedRows);
    Relex(a.row, end.row);
    return end;
}

void TCodeEditorModel::BeginStep(TEditKind kind) {
    for (const TStep& step : m_redo) m_undoBytes -= step.bytes;
    m_redo.clear();
    const bool join = m_groupOpen && kind != TEditKind::Other && !m_undo.empty() && m_undo.back().kind == kind &&
                      m_undo.back().caretAfter == m_caret && m_undo.back().anchorAfter == m_anchor;
    if (!join) {
        m_undo.push_back(TStep{{}, m_anchor, m_caret, m_anchor, m_caret, kind, 0});
    }
    m_step = &m_undo.back();
}

void TCodeEditorModel::EndStep() {
    if (m_step) {
        m_step->anchorAfter = m_anchor;
        m_step->caretAfter = m_caret;
        // Counted again as a whole: a typing run grows the step it joins.
        std::size_t bytes = sizeof(TStep);
        for (const TChange& c : m_step->changes)
            bytes += sizeof(TChange) + (c.removed.size() + c.inserted.size()) * sizeof(wchar_t);
        m_undoBytes = m_undoBytes - m_step->bytes + bytes;
        m_step->bytes = bytes;
        if (m_step->changes.empty() && m_undo.size() && &m_undo.back() == m_step) {
            m_undoBytes -= m_step->bytes;
            m_undo.pop_back();
        }
    }
    m_step = nullptr;
    TrimUndo();
}

void TCodeEditorModel::TrimUndo() noexcept {
    while (m_undo.size() > 1 &&
           (m_undo.size() + m_redo.size() > m_undoLimits.steps || m_undoBytes > m_undoLimits.bytes)) {
        m_undoBytes -= m_undo.front().bytes;
        m_undo.pop_front();
    }
}

void TCodeEditorModel::SetUndoLimits(TUndoLimits limits) {
    m_undoLimits = limits;
    TrimUndo();
}

TTextPos TCodeEditorModel::Edit(TTextPos a, TTextPos b, std::wstring_view text) {
    a = Clamp(a);
    b = Clamp(b);
    if (b < a) std::swap(a, b);
    std::wstring removed = Range(a, b);
    // Text read with CR LF is never shorter than as given, so a shorter removal cannot be the same.
    if (removed.size() >= text.size() &&
        removed == (text.find_first_of(L"\r\n") == std::wstring_view::npos ? std::wstring(text) : WithCrLf(text)))
        return b; // nothing changes, and nothing is recorded
    const TTextPos end = RawReplace(a, b, text);
    if (!m_step) return end;
    // Recorded as the text now reads (line breaks as CR LF), so that undoing finds its extent.
    std::wstring inserted = Range(a, end);
    if (!m_step->changes.empty()) {
        // Runs continue the step's last change: typing appends (in overwrite mode what it replaced
        // follows what the run removed before), Backspace grows it to the left, Delete to the right.
        TChange& prev = m_step->changes.back();
        if (m_step->kind == TEditKind::Typing) {
            prev.removed += removed;
            prev.inserted += inserted;
            return end;
        }
        if (m_step->kind == TEditKind::Backspace && inserted.empty() && prev.inserted.empty() && b == prev.at) {
            prev.removed.insert(0, removed);
            prev.at = a;
            return end;
        }
        if (m_step->kind == TEditKind::Delete && inserted.empty() && prev.inserted.empty() && a == prev.at) {
            prev.removed += removed;
            return end;
        }
    }
    m_step->changes.push_back({a, std::move(removed), std::move(inserted)});
    return end;
}

void TCodeEditorModel::ReplaceSelection(std::wstring_view text, TEditKind kind) {
    BeginStep(kind);
    const TTextPos end = Edit(SelStart(), SelEnd(), text);
    m_anchor = m_caret = end;
    EndStep();
    m_groupOpen = kind != TEditKind::Other;
}

void TCodeEditorModel::TypeChar(wchar_t c) {
    // A typed character replacing a selection starts its own step.
    if (HasSelection()) m_groupOpen = false;
    if (m_overwrite && !HasSelection()) {
        const std::wstring& s = m_lines[m_caret.row];
        const int col = m_caret.col;
        // The second half of a pair just typed joins its first half instead of replacing more.
        const bool completesPair = IsLowSurrogate(c) && col > 0 && IsHighSurrogate(s[col - 1]);
        if (col < static_cast<int>(s.size()) && !completesPair) {
            BeginStep(TEditKind::Typing);
            m_anchor = m_caret = Edit(m_caret, NextChar(m_caret), std::wstring_view(&c, 1));
            EndStep();
            m_groupOpen = true;
            return;
        }
    }
    ReplaceSelection(std::wstring_view(&c, 1), TEditKind::Typing);
}

void TCodeEditorModel::Backspace(bool word) {
    if (HasSelection()) return ReplaceSelection(L"", TEditKind::Other);
    if (m_caret == TTextPos{}) return;
    const TTextPos from = word ? WordLeft(m_caret) : PrevChar(m_caret);
    BeginStep(TEditKind::Backspace);
    m_anchor = m_caret = Edit(from, m_caret, L"");
    EndStep();
    m_groupOpen = true;
}

void TCodeEditorModel::DeleteForward(bool word) {
    if (!HasSelection()) {
        const TTextPos to = word ? WordRight(m_caret) : NextChar(m_caret);
        if (to == m_caret) return;
        BeginStep(TEditKind::Delete);
        Edit(m_caret, to, L"");
        EndStep();
        m_groupOpen = true;
        return;
    }
    ReplaceSelection(L"", TEditKind::Other);
}

void TCodeEditorModel::NewLine() {
    const std::wstring& line = m_lines[SelStart().row];
    const int indent = std::min(LeadingBlanks(line), SelStart().col);
    ReplaceSelection(L"\r\n" + line.substr(0, indent), TEditKind::Other);
}

std::pair<int, int> TCodeEditorModel::SelectedRows() const {
    const TTextPos a = SelStart(), b = SelEnd();
    return {a.row, (b.col == 0 && b.row > a.row) ? b.row - 1 : b.row};
}

void TCodeEditorModel::InsertTab() {
    if (SelStart().row == SelEnd().row) {
        if (UseTabs) return ReplaceSelection(L"\t", TEditKind::Other);
        const int col = DisplayColumn(SelStart().row, SelStart().col);
        return ReplaceSelection(std::wstring(static_cast<size_t>(TabWidth - col % TabWidth), L' '), TEditKind::Other);
    }
    const auto [first, last] = SelectedRows();
    const std::wstring unit = UseTabs ? std::wstring(L"\t") : std::wstring(static_cast<size_t>(TabWidth), L' ');
    m_groupOpen = false;
    BeginStep(TEditKind::Other);
    for (int r = first; r <= last; ++r)
        if (!m_lines[r].empty()) Edit({r, 0}, {r, 0}, unit);
    // The block stays selected, whole lines.
    m_anchor = {first, 0};
    m_caret = last + 1 < LineCount() ? TTextPos{last + 1, 0} : TTextPos{last, static_cast<int>(m_lines[last].size())};
    EndStep();
}

void TCodeEditorModel::Outdent() {
    const auto [first, last] = SelectedRows();
    const bool block = first != last || HasSelection();
    m_groupOpen = false;
    const TTextPos caret = m_caret;
    BeginStep(TEditKind::Other);
    int removedOnCaretRow = 0;
    for (int r = first; r <= last; ++r) {
        const std::wstring& s = m_lines[r];
        int n = 0;
        if (!s.empty() && s[0] == L'\t')
            n = 1;
        else
            while (n < TabWidth && n < static_cast<int>(s.size()) && s[n] == L' ') ++n;
        if (n == 0) continue;
        if (r == caret.row) removedOnCaretRow = n;
        Edit({r, 0}, {r, n}, L"");
    }
    if (block && first != last) {
        m_anchor = {first, 0};
        m_caret =
            last + 1 < LineCount() ? TTextPos{last + 1, 0} : TTextPos{last, static_cast<int>(m_lines[last].size())};
    } else {
        m_anchor = m_caret = Clamp({caret.row, std::max(0, caret.col - removedOnCaretRow)});
    }
    EndStep();
}

void TCodeEditorModel::ApplyChange(const TChange& c, bool reverse) {
    const std::wstring& remove = reverse ? c.inserted : c.removed;
    const std::wstring& insert = reverse ? c.removed : c.inserted;
    // The end of `remove` from c.at: count its lines.
    TTextPos end = c.at;
    for (wchar_t ch : remove) {
        if (ch == L'\n') {
            ++end.row;
            end.col = 0;
        } else if (ch != L'\r') {
            ++end.col;
        }
    }
    RawReplace(c.at, end, insert);
}

bool TCodeEditorModel::Undo() {
    if (m_undo.empty()) return false;
    TStep step = std::move(m_undo.back());
    m_undo.pop_back();
    for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) ApplyChange(*it, true);
    m_anchor = Clamp(step.anchorBefore);
    m_caret = Clamp(step.caretBefore);
    m_redo.push_back(std::move(step));
    m_groupOpen = false;
    return true;
}

bool TCodeEditorModel::Redo() {
    if (m_redo.empty()) return false;
    TStep step = std::move(m_redo.back());
    m_redo.pop_back();
    for (const auto& c : step.changes) ApplyChange(c, false);
    m_anchor = Clamp(step.anchorAfter);
    m_caret = Clamp(step.caretAfter);
    m_undo.push_back(std::move(step));
    m_groupOpen = false;
    return true;
}

void TCodeEditorModel::ClearUndo() {
    m_undo.clear();
    m_redo.clear();
    m_undoBytes = 0;
    m_groupOpen = false;
}

// ---- Find and go to line ----

bool TCodeEditorModel::MatchesAt(const std::wstring& s, int i, std::wstring_view what, bool matchCase,
                                 bool wholeWord) const {
    const int wlen = static_cast<int>(what.size());
    if (i < 0 || i + wlen > static_cast<int>(s.size())) return false;
    for (int k = 0; k < wlen; ++k)
        if (matchCase ? s[i + k] != what[k] : std::towlower(s[i + k]) != std::towlower(what[k])) return false;
    if (wholeWord &&
        ((i > 0 && IsWordChar(s[i - 1])) || (i + wlen < static_cast<int>(s.size()) && IsWordChar(s[i + wlen]))))
        return false;
    return true;
}

void TCodeEditorModel::FindInLine(const std::wstring& s, std::wstring_view what, bool matchCase, bool wholeWord,
                                  std::vector<int>& cols) const {
    cols.clear();
    const int wlen = static_cast<int>(what.size());
    for (int i = 0; i + wlen <= static_cast<int>(s.size());) {
        if (MatchesAt(s, i, what, matchCase, wholeWord)) {
            cols.push_back(i);
            i += wlen;
        } else {
            ++i;
        }
    }
}

bool TCodeEditorModel::Find(std::wstring_view what, bool matchCase, bool wholeWord, bool forward) {
    if (what.empty() || what.find_first_of(L"\r\n") != std::wstring_view::npos) return false;
    const int rows = LineCount();
    const int wlen = static_cast<int>(what.size());
    auto matchAt = [&](const std::wstring& s, int i) { return MatchesAt(s, i, what, matchCase, wholeWord); };
    // Forward from the selection's end, backward from its start; the starting row is visited twice
    // (its part after, then on wrapping its part before).
    const TTextPos from = forward ? SelEnd() : SelStart();
    for (int step = 0; step <= rows; ++step) {
        const int row = forward ? (from.row + step) % rows : ((from.row - step) % rows + rows) % rows;
        const std::wstring& s = m_lines[row];
        const int n = static_cast<int>(s.size());
        if (forward) {
            const int start = step == 0 ? from.col : 0;
            const int stop = step == rows ? from.col - 1 : n - wlen;
            for (int i = start; i <= stop; ++i)
                if (matchAt(s, i)) return SetSelection({row, i}, {row, i + wlen}), true;
        } else {
            const int start = step == 0 ? from.col - wlen : n - wlen;
            const int stop = step == rows ? from.col - wlen + 1 : 0;
            for (int i = start; i >= stop; --i)
                if (matchAt(s, i)) return SetSelection({row, i + wlen}, {row, i}), true;
        }
    }
    return false;
}

bool TCodeEditorModel::SelectionMatches(std::wstring_view what, bool matchCase, bool wholeWord) const {
    const TTextPos a = SelStart(), b = SelEnd();
    return !what.empty() && a.row == b.row && b.col - a.col == static_cast<int>(what.size()) &&
           what.find_first_of(L"\r\n") == std::wstring_view::npos &&
           MatchesAt(m_lines[a.row], a.col, what, matchCase, wholeWord);
}

bool TCodeEditorModel::Replace(std::wstring_view what, std::wstring_view with, bool matchCase, bool wholeWord) {
    bool replaced = false;
    if (SelectionMatches(what, matchCase, wholeWord)) {
        m_groupOpen = false;
        ReplaceSelection(with, TEditKind::Other);
        replaced = true;
    }
    // The search goes on from the replacement's end, so that a replacement containing `what` is skipped.
    return Find(what, matchCase, wholeWord, true) || replaced;
}

int TCodeEditorModel::ReplaceAll(std::wstring_view what, std::wstring_view with, bool matchCase, bool wholeWord) {
    if (what.empty() || what.find_first_of(L"\r\n") != std::wstring_view::npos) return 0;
    const int wlen = static_cast<int>(what.size());
    // Each row with occurrences is one change, from its first occurrence to the end of its last, built
    // from the row as it was; rows are taken top to bottom, moved by the line breaks `with` may add.
    const std::wstring withCrLf = with.find_first_of(L"\r\n") == std::wstring_view::npos ? std::wstring(with) : WithCrLf(with);
    const int breaksPerReplacement = static_cast<int>(std::count(withCrLf.begin(), withCrLf.end(), L'\n'));
    int count = 0, rowShift = 0;
    TTextPos lastEnd;
    std::vector<int> cols;
    m_groupOpen = false;
    BeginStep(TEditKind::Other);
    const int rows = LineCount();
    for (int original = 0; original < rows; ++original) {
        const int row = original + rowShift;
        const std::wstring& s = m_lines[row];
        FindInLine(s, what, matchCase, wholeWord, cols);
        if (cols.empty()) continue;
        std::wstring span;
        for (size_t k = 0; k < cols.size(); ++k) {
            if (k) span.append(s, static_cast<size_t>(cols[k - 1] + wlen), static_cast<size_t>(cols[k] - cols[k - 1] - wlen));
            span += withCrLf;
        }
        const int first = cols.front(), last = cols.back() + wlen;
        lastEnd = Edit({row, first}, {row, last}, span); // the end of the row's last replacement
        count += static_cast<int>(cols.size());
        rowShift += static_cast<int>(cols.size()) * breaksPerReplacement;
    }
    if (count) m_anchor = m_caret = Clamp(lastEnd);
    EndStep();
    return count;
}

void TCodeEditorModel::GoToLine(int line) {
    MoveCaret(Clamp({line - 1, 0}), false);
}

int TCodeEditorModel::DisplayColumn(int row, int col) const {
    const std::wstring& s = m_lines[static_cast<size_t>(row)];
    int d = 0;
    for (int i = 0; i < col && i < static_cast<int>(s.size()); ++i)
        d = s[i] == L'\t' ? (d / TabWidth + 1) * TabWidth : d + CellsAt(s, static_cast<size_t>(i));
    return d;
}

int TCodeEditorModel::ColumnFromDisplay(int row, int displayCol) const {
    const std::wstring& s = m_lines[static_cast<size_t>(row)];
    int d = 0;
    for (int i = 0; i < static_cast<int>(s.size()); ++i) {
        const int cells = s[i] == L'\t' ? -1 : CellsAt(s, static_cast<size_t>(i));
        if (cells == 0) continue; // the second half of a pair
        if (d >= displayCol) return i;
        d = cells < 0 ? (d / TabWidth + 1) * TabWidth : d + cells;
    }
    return static_cast<int>(s.size());
}

int TCodeEditorModel::NearestColumn(int row, int halfCells) const {
    const std::wstring& s = m_lines[static_cast<size_t>(row)];
    int d = 0;
    for (int i = 0; i < static_cast<int>(s.size()); ++i) {
        const int cells = s[i] == L'\t' ? -1 : CellsAt(s, static_cast<size_t>(i));
        if (cells == 0) continue; // the second half of a pair
        const int next = cells < 0 ? (d / TabWidth + 1) * TabWidth : d + cells;
        if (halfCells < d + next) return i; // before the character's middle
        d = next;
    }
    return static_cast<int>(s.size());
}

// ---- Brackets ----

bool TCodeEditorModel::MatchingBracket(TTextPos at, TTextPos& match) const {
    if (at.row < 0 || at.row >= LineCount() || at.col < 0 || at.col >= static_cast<int>(m_lines[at.row].size()))
        return false;
    bool opening = false;
    const int kind = BracketKind(m_scheme, m_lines[at.row][at.col], opening);
    if (kind < 0) return false;
    std::vector<TToken> tokens;
    LexLine(m_scheme, m_lines[at.row], StateBefore(at.row), &tokens);
    if (KindAt(tokens, at.col) != TTokenKind::Text) return false;
    // Walks away from the bracket over the brackets of code of its kind, counting the nesting.
    const int step = opening ? 1 : -1;
    const int lastRow = opening ? std::min(LineCount() - 1, at.row + kBracketSearchRows)
                                : std::max(0, at.row - kBracketSearchRows);
    int depth = 0;
    for (int row = at.row;; row += step) {
        const std::wstring& s = m_lines[row];
        if (row != at.row) {
            // Only lines with a bracket of this kind are lexed.
            if (s.find(kOpen[kind]) == std::wstring::npos && s.find(kClose[kind]) == std::wstring::npos) {
                if (row == lastRow) return false;
                continue;
            }
            tokens.clear();
            LexLine(m_scheme, s, StateBefore(row), &tokens);
        }
        const int n = static_cast<int>(s.size());
        for (int col = row == at.row ? at.col : (opening ? 0 : n - 1); col >= 0 && col < n; col += step) {
            const wchar_t c = s[col];
            if (c != kOpen[kind] && c != kClose[kind]) continue;
            if (KindAt(tokens, col) != TTokenKind::Text) continue;
            depth += (c == kOpen[kind]) == opening ? 1 : -1;
            if (depth == 0) {
                match = {row, col};
                return true;
            }
        }
        if (row == lastRow) return false;
    }
}

bool TCodeEditorModel::BracketPairAt(TTextPos caret, TTextPos& bracket, TTextPos& match) const {
    caret = Clamp(caret);
    const TTextPos candidates[] = {{caret.row, caret.col - 1}, caret};
    for (const TTextPos& p : candidates) {
        if (MatchingBracket(p, match)) {
            bracket = p;
            return true;
        }
    }
    return false;
}

} // namespace qs::ui
