// The settings store: name-value lines read from and written to the values of one registry key, and
// the global store of the process.
#include "ui/uOptions.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/uDebugTrace.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qs {

const wchar_t kOptionsKey[] = L"Software\\Quillspar";

namespace {

// Setting names compare as registry value names do: ordinal, without regard to case.
bool SameName(const std::wstring& a, const std::wstring& b) noexcept {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The names of all values of key, in the order the registry lists them. False when listing fails
// part-way; a name too long for the registry's own limit is passed over.
bool ListValueNames(HKEY key, std::vector<std::wstring>& names) {
    std::vector<wchar_t> buffer(16384); // the registry's limit for a value name, with the terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LSTATUS status = ::RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return true;
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return false;
        names.emplace_back(buffer.data(), length);
    }
}

// Reads the type and data of one value. The size is asked first; when the value grows between the
// two calls the read is repeated a few times before giving up.
bool ReadValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        data.resize(size);
        const LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (status != ERROR_MORE_DATA) return false;
    }
    return false;
}

// The setting text of a string or integer value. Strings end at their first NUL (the registry does
// not guarantee a terminator) and are kept unexpanded; integers become unsigned decimal text. False
// for every other type and for integers of the wrong size.
bool ValueText(DWORD type, const std::vector<BYTE>& data, std::wstring& text) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        text.assign(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        const size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        return true;
    }
    case REG_DWORD: {
        DWORD v = 0;
        if (data.size() != sizeof(v)) return false;
        std::memcpy(&v, data.data(), sizeof(v));
        text = std::to_wstring(v);
        return true;
    }
    case REG_QWORD: {
        unsigned long long v = 0;
        if (data.size() != sizeof(v)) return false;
        std::memcpy(&v, data.data(), sizeof(v));
        text = std::to_wstring(v);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

// Only the lines are emptied: the names awaiting deletion stay, and the SetValue calls of the load
// withdraw those that the key still holds with a text.
void TOptions::Load(HKEY Key, const std::wstring& KeyName) noexcept {
    m_lines.clear();
    try {
        UniqueHkey key;
        if (::RegOpenKeyExW(Key, KeyName.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
        std::vector<std::wstring> names;
        if (!ListValueNames(key.Get(), names)) return;
        // A value that vanished since the listing, that holds neither text nor an integer (binary
        // data, a multi-string), or that is too large for the memory left, is passed over so that one
        // odd value cannot lose every setting.
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        std::wstring text;
        for (const std::wstring& name : names) {
            bool read = false;
            try {
                read = ReadValue(key.Get(), name, type, data) && ValueText(type, data, text);
            } catch (const std::bad_alloc&) {
                type = REG_NONE;
            }
            std::vector<BYTE>().swap(data); // a large value's memory goes before the next is read
            if (read)
                SetValue(name, text);
            else
                DebugTrace(L"TOptions.Load: value \"" + name + L"\" (type " + std::to_wstring(type) + L") passed over");
        }
    } catch (...) {
        TraceCaughtException(L"TOptions.Load");
        m_lines.clear();
    }
}

void TOptions::Save(HKEY Key, const std::wstring& KeyName, const TOptions* stored) const noexcept try {
    UniqueHkey key;
    if (::RegCreateKeyExW(Key, KeyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return;
    for (const auto& [name, value] : m_lines) {
        const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
        if (bytes > MAXDWORD || (stored && stored->GetValue(name) == value)) continue;
        ::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(bytes));
    }
    // Deleting a value that does not exist fails with ERROR_FILE_NOT_FOUND and changes nothing, which
    // is what "delete it when it exists" asks.
    for (const std::wstring& name : fNamesToDelete)
        if (!stored || !stored->GetValue(name).empty()) ::RegDeleteValueW(key.Get(), name.c_str());
} catch (...) {
    // Out of memory comparing with what is stored: what was written stays; the rest waits for the next save.
}

std::wstring TOptions::GetValue(const std::wstring& Name) const {
    const auto line =
        std::find_if(m_lines.begin(), m_lines.end(), [&](const auto& l) { return SameName(l.first, Name); });
    return line == m_lines.end() ? std::wstring() : line->second;
}

// The step that may throw comes first in each branch, so a failed SetValue changes nothing.
void TOptions::SetValue(const std::wstring& Name, const std::wstring& Value) {
    const auto line =
        std::find_if(m_lines.begin(), m_lines.end(), [&](const auto& l) { return SameName(l.first, Name); });
    const auto pending = std::find_if(fNamesToDelete.begin(), fNamesToDelete.end(),
                                      [&](const std::wstring& n) { return SameName(n, Name); });
    if (Value.empty()) {
        if (pending == fNamesToDelete.end()) fNamesToDelete.push_back(Name);
        if (line != m_lines.end()) m_lines.erase(line);
    } else {
        if (line != m_lines.end())
            line->second = Value;
        else
            m_lines.emplace_back(Name, Value);
        if (pending != fNamesToDelete.end()) fNamesToDelete.erase(pending);
    }
}

TOptions& Options() {
    static TOptions store = [] {
        TOptions loaded;
        loaded.Load(HKEY_CURRENT_USER, kOptionsKey);
        return loaded;
    }();
    return store;
}

void SaveOptions() noexcept {
    try {
        Options().Save(HKEY_CURRENT_USER, kOptionsKey);
    }
    // Only the first use can throw (out of memory); there is nothing to save then.
    QS_CATCH_TRACE(L"SaveOptions")
}

} // namespace qs
