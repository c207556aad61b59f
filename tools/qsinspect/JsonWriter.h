// A small JSON writer for the console inspector's --json output: objects, arrays, strings, integers
// and Booleans, indented two blanks a level so that two outputs compare line by line. Strings are
// escaped as JSON requires; everything else stays as it is (the caller writes the text out as UTF-8).
#pragma once

#include <string>
#include <vector>

namespace qs {

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open(L'{'); }
    JsonWriter& EndObject() { return Close(L'}'); }
    JsonWriter& BeginArray() { return Open(L'['); }
    JsonWriter& EndArray() { return Close(L']'); }

    // The name of the next member of the current object.
    JsonWriter& Key(const std::wstring& name) {
        Separate();
        AppendString(name);
        m_text += L": ";
        m_afterKey = true;
        return *this;
    }
    JsonWriter& String(const std::wstring& value) {
        Separate();
        AppendString(value);
        return *this;
    }
    // An array of strings on one line: ["in", "opt"].
    JsonWriter& Strings(const std::vector<std::wstring>& values) {
        Separate();
        m_text += L'[';
        for (size_t i = 0; i < values.size(); ++i) {
            if (i) m_text += L", ";
            AppendString(values[i]);
        }
        m_text += L']';
        return *this;
    }
    JsonWriter& Number(long long value) {
        Separate();
        m_text += std::to_wstring(value);
        return *this;
    }
    JsonWriter& Bool(bool value) {
        Separate();
        m_text += value ? L"true" : L"false";
        return *this;
    }

    // The document, ended by a line break once the outermost value is closed.
    const std::wstring& Text() const noexcept { return m_text; }

    // `s` as a JSON string literal: quotes, backslashes and control characters escaped (\u00XX where
    // JSON has no short form), and a UTF-16 surrogate without its partner as \uXXXX, since no UTF-8
    // sequence can carry it. Everything else is kept, so non-ASCII text stays readable.
    static std::wstring Quote(const std::wstring& s) {
        std::wstring out = L"\"";
        for (size_t i = 0; i < s.size(); ++i) {
            const wchar_t c = s[i];
            switch (c) {
            case L'"': out += L"\\\""; continue;
            case L'\\': out += L"\\\\"; continue;
            case L'\b': out += L"\\b"; continue;
            case L'\f': out += L"\\f"; continue;
            case L'\n': out += L"\\n"; continue;
            case L'\r': out += L"\\r"; continue;
            case L'\t': out += L"\\t"; continue;
            default: break;
            }
            const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
            if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                out += c;
                out += s[++i];
            } else if (c < 0x20 || c == 0x7F || high || low) {
                static const wchar_t digits[] = L"0123456789abcdef";
                out += L"\\u";
                for (int shift = 12; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
            } else {
                out += c;
            }
        }
        return out + L"\"";
    }

private:
    struct Level {
        bool array;
        size_t count;
    };

    JsonWriter& Open(wchar_t bracket) {
        Separate();
        m_text += bracket;
        m_levels.push_back({bracket == L'[', 0});
        return *this;
    }
    JsonWriter& Close(wchar_t bracket) {
        const bool empty = m_levels.back().count == 0;
        m_levels.pop_back();
        if (!empty) NewLine();
        m_text += bracket;
        if (m_levels.empty()) m_text += L'\n';
        return *this;
    }
    // What comes before a value or a key: nothing after a key; else a comma after an earlier element of
    // the same level, and a line break with the level's indentation.
    void Separate() {
        if (m_afterKey) {
            m_afterKey = false;
            return;
        }
        if (m_levels.empty()) return;
        if (m_levels.back().count++ > 0) m_text += L',';
        NewLine();
    }
    void NewLine() {
        m_text += L'\n';
        m_text.append(m_levels.size() * 2, L' ');
    }
    void AppendString(const std::wstring& s) { m_text += Quote(s); }

    std::wstring m_text;
    std::vector<Level> m_levels;
    bool m_afterKey = false;
};

} // namespace qs
