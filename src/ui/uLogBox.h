// TLogBox: a multi-line edit box used as a log. Whole lines go in by batches, and the box keeps only
// the newest of them, up to a number of lines and an amount of text; its first line then says how many
// older lines are no longer shown. UI thread.
#pragma once

#include "ui/uControls.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qs::ui {

// What a log box keeps at most, the note line aside. A box over either limit drops its oldest lines
// down to 90% of both, so that a stream of lines rewrites the top of the box only once in a while.
struct TLogLimits {
    std::size_t lines = 100000;
    std::size_t chars = 8u << 20; // 16 MiB of UTF-16 text
};

class TLogBox {
public:
    using Limits = TLogLimits;

    // The box is not owned; once it is destroyed, appends are dropped.
    explicit TLogBox(TEdit* box = nullptr, Limits limits = Limits{});

    void Attach(TEdit* box);
    void Detach() noexcept { m_box = TWeakLink<TEdit>(); }
    TEdit* Box() const noexcept { return m_box.Get(); }
    const Limits& GetLimits() const noexcept { return m_limits; }
    // Takes effect at the next append (tests lower the limits to stay fast).
    void SetLimits(Limits limits) noexcept { m_limits = limits; }

    // Appends `text`, lines each ended by CR LF, with one write at the end of the box, after one more
    // at its top when older lines have to go (a batch over the limits loses its own first lines too).
    // Linear in the batch and the box's text.
    void Append(const std::wstring& text);
    // Empties the box; the count of dropped lines starts again at 0.
    void Clear();
    // Lines dropped since the last Clear.
    std::uint64_t DroppedLines() const noexcept { return m_dropped; }

    // The first line of a box that dropped `count` lines: "(12,345 earlier lines not shown)". Digits
    // are grouped by threes with commas whatever the user's locale, so the line reads the same on
    // every machine.
    static std::wstring DroppedNote(std::uint64_t count);

private:
    // Whether the box's first line is the note for the lines dropped so far.
    bool NoteShown(HWND box) const;

    TWeakLink<TEdit> m_box;
    Limits m_limits;
    std::uint64_t m_dropped = 0;
};

} // namespace qs::ui
