// TOptions, a store of name-value settings kept as string values under one registry key, and the
// process-wide store Options() under HKEY_CURRENT_USER\Software\Quillspar.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace qs {

// The registry key of the global store, below HKEY_CURRENT_USER.
extern const wchar_t kOptionsKey[];

// Settings as an unsorted list of name-value lines in insertion order; names compare without regard
// to case. A setting with an empty value has no line. Not thread-safe: the user-interface thread
// owns it.
class TOptions {
public:
    // Replaces the lines with the values under Key\KeyName (opened for reading, never created).
    // Strings are kept as stored (REG_EXPAND_SZ unexpanded) up to their first NUL; integers become
    // their decimal text; a value of any other type or size, or too large for the memory left, is
    // skipped with a line in the debug trace. A missing key gives no lines; a key that cannot be
    // listed leaves the store empty. Never throws; nothing is shown to the user.
    void Load(HKEY Key, const std::wstring& KeyName) noexcept;

    // Writes every line as a REG_SZ value under Key\KeyName, creating the key when missing, then
    // deletes the values named in NamesToDelete(). With `stored` (what the key holds now), only the
    // lines whose text differs from it are written and only the names it still holds are deleted, so
    // that values nobody changed are left alone. Every failure is ignored; never throws.
    void Save(HKEY Key, const std::wstring& KeyName, const TOptions* stored = nullptr) const noexcept;

    // The value of the setting Name; empty when there is none.
    std::wstring GetValue(const std::wstring& Name) const;

    // Sets, replaces (keeping the line's place and its name's spelling) or, for an empty Value,
    // removes the line of Name. An empty Value also records Name for deletion at the next save;
    // a non-empty one withdraws that record.
    void SetValue(const std::wstring& Name, const std::wstring& Value);

    size_t Count() const noexcept { return m_lines.size(); }
    // The name and value of line Index; throws std::out_of_range beyond Count().
    std::wstring NameAt(size_t Index) const { return m_lines.at(Index).first; }
    std::wstring ValueAt(size_t Index) const { return m_lines.at(Index).second; }

    // Names whose last assignment was an empty value. A save does not empty this list.
    const std::vector<std::wstring>& NamesToDelete() const noexcept { return fNamesToDelete; }

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_lines;
    std::vector<std::wstring> fNamesToDelete;
};

// The global store, created and loaded from HKEY_CURRENT_USER\kOptionsKey on first use. Call only on
// the user-interface thread. Throws only std::bad_alloc (on first use).
TOptions& Options();

// Saves the global store to HKEY_CURRENT_USER\kOptionsKey; failures are ignored. Never throws.
void SaveOptions() noexcept;

} // namespace qs
