// The script frame's window-free parts: reading and writing script files in their encodings, and
// merging the history that all frames share. See fScriptFrame.h.
#include "script/fScriptFrame.h"

#include "common/qsError.h"
#include "common/qsHandles.h"

#include <algorithm>
#include <cwctype>

namespace qs {

namespace {

std::wstring FromCodePage(UINT codePage, const std::string& bytes, size_t skip, DWORD flags = 0) {
    const int size = static_cast<int>(bytes.size() - skip);
    if (size <= 0) return {};
    const int n = ::MultiByteToWideChar(codePage, flags, bytes.data() + skip, size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, bytes.data() + skip, size, text.data(), n);
    return text;
}

// The text in a code page; `lossless` tells whether every character survived.
std::string ToCodePage(UINT codePage, const std::wstring& text, bool* lossless) {
    if (lossless) *lossless = true;
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(n, 0)), '\0');
    if (n > 0) ::WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
    // A round trip is the reliable test: best-fit mappings change characters without reporting it.
    if (lossless) *lossless = FromCodePage(codePage, bytes, 0) == text;
    return bytes;
}

bool StartsWith(const std::string& bytes, const char* mark, size_t n) {
    return bytes.size() >= n && bytes.compare(0, n, mark, n) == 0;
}

bool IsBlank(wchar_t c) { return c <= L' ' || std::iswspace(c) || std::iswcntrl(c); }

std::wstring Upper(const std::wstring& s) {
    std::wstring u = s;
    if (!u.empty()) ::CharUpperBuffW(u.data(), static_cast<DWORD>(u.size()));
    return u;
}

// An open file, or nothing when CreateFileW failed.
UniqueHandle OpenFile(const std::wstring& fileName, bool write) {
    HANDLE h = write ? ::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr)
                     : ::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

[[noreturn]] void ThrowFileError(const std::wstring& fileName) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    std::wstring text = SystemMessageForHr(hr);
    if (text.empty()) text = L"Error 0x" + std::to_wstring(static_cast<unsigned long>(hr));
    throw ComError(hr, fileName + L"\r\n" + text, ErrorKind::System);
}

} // namespace

TScriptFileText DecodeScriptFile(const std::string& bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) return {FromCodePage(CP_UTF8, bytes, 3), TScriptEncoding::Utf8Bom};
    if (StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "\xFE\xFF", 2)) {
        const bool big = bytes[0] == '\xFE';
        std::wstring text;
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(bytes[big ? i + 1 : i]);
            const auto hi = static_cast<unsigned char>(bytes[big ? i : i + 1]);
            text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
        }
        return {std::move(text), big ? TScriptEncoding::Utf16Be : TScriptEncoding::Utf16Le};
    }
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    if (!ascii) {
        const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                            static_cast<int>(bytes.size()), nullptr, 0);
        if (n > 0) return {FromCodePage(CP_UTF8, bytes, 0), TScriptEncoding::Utf8};
    }
    return {FromCodePage(CP_ACP, bytes, 0), TScriptEncoding::Ansi};
}

std::string EncodeScriptFile(const std::wstring& text, TScriptEncoding encoding) {
    switch (encoding) {
    case TScriptEncoding::Ansi: {
        bool lossless = true;
        std::string bytes = ToCodePage(CP_ACP, text, &lossless);
        if (lossless) return bytes;
        return "\xEF\xBB\xBF" + ToCodePage(CP_UTF8, text, nullptr);
    }
    case TScriptEncoding::Utf8: return ToCodePage(CP_UTF8, text, nullptr);
    case TScriptEncoding::Utf8Bom: return "\xEF\xBB\xBF" + ToCodePage(CP_UTF8, text, nullptr);
    case TScriptEncoding::Utf16Le:
    case TScriptEncoding::Utf16Be: {
        const bool big = encoding == TScriptEncoding::Utf16Be;
        std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        bytes.reserve(2 + text.size() * 2);
        for (wchar_t c : text) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
            bytes.push_back(big ? hi : lo);
            bytes.push_back(big ? lo : hi);
        }
        return bytes;
    }
    }
    return {};
}

TScriptFileText ReadScriptFile(const std::wstring& fileName) {
    UniqueHandle file = OpenFile(fileName, false);
    if (!file) ThrowFileError(fileName);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) ThrowFileError(fileName);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!::ReadFile(file.Get(), bytes.data() + done, chunk, &read, nullptr)) ThrowFileError(fileName);
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return DecodeScriptFile(bytes);
}

void WriteScriptFile(const std::wstring& fileName, const std::wstring& text, TScriptEncoding encoding) {
    // Encoded first, so that a failure leaves the file as it was.
    const std::string bytes = EncodeScriptFile(text, encoding);
    UniqueHandle file = OpenFile(fileName, true);
    if (!file) ThrowFileError(fileName);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr)) ThrowFileError(fileName);
        done += written;
    }
}

std::wstring TrimScript(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::vector<std::wstring> MergeScriptHistory(const std::wstring& text, const std::vector<std::wstring>& stored,
                                             const std::vector<std::wstring>& own) {
    std::vector<std::wstring> merged;
    std::vector<std::wstring> keys;
    auto add = [&](const std::wstring& entry) {
        if (merged.size() >= kScriptHistoryMax || TrimScript(entry).empty()) return;
        std::wstring key = Upper(entry);
        if (std::find(keys.begin(), keys.end(), key) != keys.end()) return;
        keys.push_back(std::move(key));
        merged.push_back(entry);
    };
    add(TrimScript(text));
    for (const auto& entry : stored) add(entry);
    for (const auto& entry : own) add(entry);
    return merged;
}

} // namespace qs
