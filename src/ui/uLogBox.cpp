// The bounded log box: appends by batches, drops the oldest lines in chunks when the box is over its
// limits, and keeps a note of how many went as its first line. See uLogBox.h.
#include "ui/uLogBox.h"

#include <algorithm>

namespace qs::ui {

namespace {

std::size_t TextLength(HWND box) {
    return static_cast<std::size_t>(std::max(::GetWindowTextLengthW(box), 0));
}

std::size_t LineCount(HWND box) {
    return static_cast<std::size_t>(std::max<LRESULT>(::SendMessageW(box, EM_GETLINECOUNT, 0, 0), 1));
}

// The offset of a line's first character; the text's length for a line beyond the last.
std::size_t LineStart(HWND box, std::size_t line, std::size_t length) {
    const LRESULT start = ::SendMessageW(box, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    return start < 0 ? length : static_cast<std::size_t>(start);
}

// Replaces the characters [from, to) of the box; the box's own undo does not keep the old text.
void ReplaceRange(HWND box, std::size_t from, std::size_t to, const wchar_t* text) {
    ::SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

} // namespace

TLogBox::TLogBox(TEdit* box, Limits limits) : m_box(box), m_limits(limits) {}

void TLogBox::Attach(TEdit* box) {
    m_box = TWeakLink<TEdit>(box);
}

std::wstring TLogBox::DroppedNote(std::uint64_t count) {
    const std::wstring digits = std::to_wstring(count);
    std::wstring grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += L',';
        grouped += digits[i];
    }
    return L"(" + grouped + L" earlier lines not shown)";
}

bool TLogBox::NoteShown(HWND box) const {
    if (m_dropped == 0) return false;
    const std::wstring note = DroppedNote(m_dropped);
    if (static_cast<std::size_t>(::SendMessageW(box, EM_LINELENGTH, 0, 0)) != note.size()) return false;
    std::wstring line(note.size() + 1, L'\0');
    *reinterpret_cast<WORD*>(line.data()) = static_cast<WORD>(line.size());
    const LRESULT copied = ::SendMessageW(box, EM_GETLINE, 0, reinterpret_cast<LPARAM>(line.data()));
    return static_cast<std::size_t>(copied) == note.size() && line.compare(0, note.size(), note) == 0;
}

void TLogBox::Append(const std::wstring& text) {
    TEdit* edit = m_box.Get();
    const HWND box = edit ? edit->Handle() : nullptr;
    if (!box || text.empty()) return;
    const std::size_t batchLines = static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n'));
    std::size_t length = TextLength(box);
    const std::size_t lineCount = LineCount(box);
    // The box's own counts are at least what it holds of the log (they include the note and the empty
    // line after the last line break), so within them nothing needs a closer look.
    if (lineCount - 1 + batchLines <= m_limits.lines && length + text.size() <= m_limits.chars) {
        ReplaceRange(box, length, length, text.c_str());
        return;
    }

    // What the box holds of the log: its lines after the note, without the empty last line that the
    // last line break leaves (a line typed into the box without a break counts as a line).
    const std::size_t first = NoteShown(box) ? 1 : 0;
    const std::size_t base = first ? LineStart(box, 1, length) : 0;
    const std::size_t logChars = length - base;
    const std::size_t lastEmpty = LineStart(box, lineCount - 1, length) == length ? 1 : 0;
    const std::size_t logLines = lineCount - first - std::min(lastEmpty, lineCount - first);
    if (logLines + batchLines <= m_limits.lines && logChars + text.size() <= m_limits.chars) {
        ReplaceRange(box, length, length, text.c_str());
        return;
    }

    const std::size_t keepLines = m_limits.lines - m_limits.lines / 10;
    const std::size_t keepChars = m_limits.chars - m_limits.chars / 10;
    std::size_t dropBox = 0, dropBatch = 0, batchStart = 0;
    if (batchLines > keepLines || text.size() > keepChars) {
        // The batch alone is too much: the whole box goes, and the batch's first lines as well.
        dropBox = logLines;
        std::size_t lines = batchLines;
        while (lines > keepLines || text.size() - batchStart > keepChars) {
            const std::size_t end = text.find(L'\n', batchStart);
            if (end == std::wstring::npos) break;
            batchStart = end + 1;
            --lines;
            ++dropBatch;
        }
    } else {
        // The box's oldest lines go, as many as both limits ask for.
        dropBox = logLines + batchLines > keepLines ? logLines + batchLines - keepLines : 0;
        const std::size_t excess = logChars + text.size() > keepChars ? logChars + text.size() - keepChars : 0;
        if (excess > 0) {
            const LRESULT row = ::SendMessageW(box, EM_LINEFROMCHAR, static_cast<WPARAM>(base + excess - 1), 0);
            if (row >= 0) dropBox = std::max(dropBox, static_cast<std::size_t>(row) + 1 - first);
        }
        dropBox = std::min(dropBox, logLines);
    }
    const std::size_t cut = LineStart(box, first + dropBox, length);
    m_dropped += dropBox + dropBatch;
    const std::wstring note = DroppedNote(m_dropped) + L"\r\n";
    ReplaceRange(box, 0, cut, note.c_str());
    length = TextLength(box);
    ReplaceRange(box, length, length, text.c_str() + batchStart);
}

void TLogBox::Clear() {
    m_dropped = 0;
    if (TEdit* edit = m_box.Get()) edit->SetText(L"");
}

} // namespace qs::ui
