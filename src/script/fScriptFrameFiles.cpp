// The script frame's window-free parts: reading and writing script files in their encodings, and
// reading and merging the history that all frames share. See fScriptFrame.h.
#include "script/fScriptFrame.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "ui/uOptions.h"

#include <algorithm>
#include <climits>
#include <cwctype>

namespace qs {

namespace {

// The Win32 conversions count in int: every size handed to them is checked first, never cut.
int CheckedInt(size_t n) {
    if (n > static_cast<size_t>(INT_MAX))
        throw ComError(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), L"The text is too large to convert.",
                       ErrorKind::System);
    return static_cast<int>(n);
}

std::wstring FromCodePage(UINT codePage, const char* bytes, size_t size, DWORD flags, bool& ok) {
    ok = true;
    if (size == 0) return {};
    const int n = ::MultiByteToWideChar(codePage, flags, bytes, CheckedInt(size), nullptr, 0);
    if (n <= 0) {
        ok = false;
        return {};
    }
    std::wstring text(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(codePage, flags, bytes, CheckedInt(size), text.data(), n) != n) ok = false;
    return text;
}

// The position of the first half of a surrogate pair that has no other half, or npos.
size_t FirstLoneSurrogate(const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return i;
    }
    return std::wstring::npos;
}

[[noreturn]] void ThrowNotEncoded(UINT codePage, const std::wstring& text) {
    const DWORD error = ::GetLastError();
    const size_t lone = codePage == CP_UTF8 ? FirstLoneSurrogate(text) : std::wstring::npos;
    ThrowError(error ? HRESULT_FROM_WIN32(error) : E_FAIL,
               lone == std::wstring::npos
                   ? L"The text could not be encoded."
                   : L"The text holds half a character (a lone surrogate, at offset " + std::to_wstring(lone) +
                         L") that UTF-8 cannot hold; it was not saved.");
}

// The text in a code page; `lossless` tells whether every character survived. UTF-8 refuses a
// lone surrogate instead of writing U+FFFD for it.
std::string ToCodePage(UINT codePage, const std::wstring& text, bool* lossless) {
    if (lossless) *lossless = true;
    if (text.empty()) return {};
    const int size = CheckedInt(text.size());
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
    const int n = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) ThrowNotEncoded(codePage, text);
    std::string bytes(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), n, nullptr, nullptr) != n)
        ThrowNotEncoded(codePage, text);
    // A round trip is the reliable test: best-fit mappings change characters without reporting it.
    if (lossless) {
        bool ok = true;
        *lossless = FromCodePage(codePage, bytes.data(), bytes.size(), 0, ok) == text && ok;
    }
    return bytes;
}

bool StartsWith(const std::string& bytes, const char* mark, size_t n) {
    return bytes.size() >= n && bytes.compare(0, n, mark, n) == 0;
}

// The offset of the first byte that does not belong to a well-formed UTF-8 sequence (no overlong
// forms, no surrogates, nothing above U+10FFFF), or npos when all are.
size_t FirstInvalidUtf8(const char* data, size_t size) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        size_t length;
        unsigned char low = 0x80, high = 0xBF; // the range of the second byte
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return i;
        }
        if (size - i < length) return i;
        if (p[i + 1] < low || p[i + 1] > high) return i;
        for (size_t k = 2; k < length; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return i;
        i += length;
    }
    return std::string::npos;
}

[[noreturn]] void ThrowNotText(const std::wstring& why) {
    throw ComError(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION), why + L" It was not opened.", ErrorKind::System);
}

[[noreturn]] void ThrowTooLarge() {
    throw ComError(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
                   L"The file is larger than " + std::to_wstring(kMaxScriptFileBytes >> 20) +
                       L" MB and was not opened.",
                   ErrorKind::System);
}

bool IsBlank(wchar_t c) { return c <= L' ' || std::iswspace(c) || std::iswcntrl(c); }

std::wstring Upper(const std::wstring& s) {
    std::wstring u = s;
    // CharUpperBuffW counts in DWORD; a text beyond that is converted in pieces.
    for (size_t at = 0; at < u.size();) {
        const size_t n = std::min<size_t>(u.size() - at, 1u << 30);
        ::CharUpperBuffW(u.data() + at, static_cast<DWORD>(n));
        at += n;
    }
    return u;
}

// An open file, or nothing when CreateFileW failed.
UniqueHandle OpenForReading(const std::wstring& fileName) {
    const HANDLE h = ::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

[[noreturn]] void ThrowFileError(const std::wstring& fileName, DWORD error = ::GetLastError()) {
    const HRESULT hr = HRESULT_FROM_WIN32(error);
    std::wstring text = SystemMessageForHr(hr);
    if (text.empty()) text = L"Error 0x" + HexDigits(static_cast<unsigned long>(hr), 8);
    throw ComError(hr, fileName + L"\r\n" + text, ErrorKind::System);
}

// A new, empty file beside `fileName` (same folder, a name of its own), opened for writing.
UniqueHandle CreateTemporaryBeside(const std::wstring& fileName, std::wstring& tempName) {
    const unsigned long long seed = ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 20);
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < 32 && error == ERROR_FILE_EXISTS; ++attempt) {
        tempName = fileName + L".~" + HexDigits(static_cast<unsigned long>((seed + attempt * 7919u) & 0xFFFFFFFF), 8) +
                   L".tmp";
        const HANDLE h = ::CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return UniqueHandle(h);
        error = ::GetLastError();
    }
    ThrowFileError(fileName, error);
}

} // namespace

TScriptFileText DecodeScriptFile(const std::string& bytes) {
    if (bytes.size() > kMaxScriptFileBytes) ThrowTooLarge();
    bool ok = true;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        const size_t bad = FirstInvalidUtf8(bytes.data() + 3, bytes.size() - 3);
        if (bad != std::string::npos)
            ThrowNotText(L"The file starts with a UTF-8 byte-order mark but is not valid UTF-8 (at byte " +
                         std::to_wstring(bad + 3) + L").");
        std::wstring text = FromCodePage(CP_UTF8, bytes.data() + 3, bytes.size() - 3, MB_ERR_INVALID_CHARS, ok);
        if (!ok) ThrowNotText(L"The file starts with a UTF-8 byte-order mark but is not valid UTF-8.");
        return {std::move(text), TScriptEncoding::Utf8Bom};
    }
    if (StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "\xFE\xFF", 2)) {
        const bool big = bytes[0] == '\xFE';
        if (bytes.size() % 2 != 0)
            ThrowNotText(L"The file starts with a UTF-16 byte-order mark but has an odd number of bytes (" +
                         std::to_wstring(bytes.size()) + L"); its last byte is half a character.");
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
    if (!ascii && FirstInvalidUtf8(bytes.data(), bytes.size()) == std::string::npos) {
        std::wstring text = FromCodePage(CP_UTF8, bytes.data(), bytes.size(), MB_ERR_INVALID_CHARS, ok);
        if (ok) return {std::move(text), TScriptEncoding::Utf8};
    }
    // The ANSI code page: a multi-byte one (Japanese, Chinese, Korean) can meet bytes it does not
    // define, which would otherwise become "?" without a word.
    std::wstring text = FromCodePage(CP_ACP, bytes.data(), bytes.size(), MB_ERR_INVALID_CHARS, ok);
    if (!ok)
        ThrowNotText(L"The file is neither UTF-8 nor valid text in the system's code page (" +
                     std::to_wstring(::GetACP()) + L").");
    return {std::move(text), TScriptEncoding::Ansi};
}

// Bytes without a mark are read back by guessing: they must not look like a mark or like UTF-8 when
// they are not, and the ANSI code page must hold every character. Where the guess would read another
// text ("\u00C3\u00A9" in ANSI reads as UTF-8 "\u00E9"; a text starting with U+FEFF as UTF-8 loses it
// to the mark), the text is written as UTF-8 with a mark instead, which always reads back as it was.
std::string EncodeScriptFile(const std::wstring& text, TScriptEncoding encoding) {
    const auto readsBack = [&](const std::string& bytes) {
        try {
            return DecodeScriptFile(bytes).Text == text;
        } catch (const ComError&) {
            return false;
        }
    };
    switch (encoding) {
    case TScriptEncoding::Ansi: {
        bool lossless = true;
        std::string bytes = ToCodePage(CP_ACP, text, &lossless);
        if (lossless && readsBack(bytes)) return bytes;
        return "\xEF\xBB\xBF" + ToCodePage(CP_UTF8, text, nullptr);
    }
    case TScriptEncoding::Utf8: {
        std::string bytes = ToCodePage(CP_UTF8, text, nullptr);
        if (readsBack(bytes)) return bytes;
        return "\xEF\xBB\xBF" + bytes;
    }
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

// Read to the end in pieces, so that a file that grows meanwhile is still held to the limit.
TScriptFileText ReadScriptFile(const std::wstring& fileName) {
    UniqueHandle file = OpenForReading(fileName);
    if (!file) ThrowFileError(fileName);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) ThrowFileError(fileName);
    const auto tooLarge = [&] {
        throw ComError(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
                       fileName + L"\r\nThe file is larger than " + std::to_wstring(kMaxScriptFileBytes >> 20) +
                           L" MB and was not opened.",
                       ErrorKind::System);
    };
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxScriptFileBytes) tooLarge();
    std::string bytes;
    bytes.reserve(static_cast<size_t>(size.QuadPart));
    constexpr size_t kChunk = 1u << 20;
    for (;;) {
        const size_t done = bytes.size();
        if (done > kMaxScriptFileBytes) tooLarge();
        bytes.resize(done + kChunk);
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(kChunk), &read, nullptr)) {
            const DWORD error = ::GetLastError();
            ThrowFileError(fileName, error);
        }
        bytes.resize(done + read);
        if (read == 0) break;
    }
    try {
        return DecodeScriptFile(bytes);
    } catch (const ComError& e) {
        throw ComError(e.Hr(), fileName + L"\r\n" + e.Message(), e.Kind());
    }
}

// The text goes to a new file beside the target first; only a complete, flushed copy replaces the
// target, so a failure (a full disk, a lost share) leaves the old file as it was.
void WriteScriptFile(const std::wstring& fileName, const std::wstring& text, TScriptEncoding encoding) {
    const std::string bytes = EncodeScriptFile(text, encoding);
    std::wstring tempName;
    UniqueHandle file = CreateTemporaryBeside(fileName, tempName);
    const auto fail = [&](DWORD error) {
        file.Reset();
        ::DeleteFileW(tempName.c_str());
        ThrowFileError(fileName, error);
    };
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr)) fail(::GetLastError());
        if (written == 0) fail(ERROR_WRITE_FAULT);
        done += written;
    }
    if (!::FlushFileBuffers(file.Get())) fail(::GetLastError());
    file.Reset();
    if (!::MoveFileExW(tempName.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(tempName.c_str());
        ThrowFileError(fileName, error);
    }
}

std::vector<std::wstring> ReadScriptHistory(const TOptions& options) {
    std::vector<std::wstring> list;
    for (int n = 1; n <= kScriptHistoryMax; ++n) {
        std::wstring value = options.GetValue(L"Script" + std::to_wstring(n));
        if (!value.empty()) list.push_back(std::move(value));
    }
    return list;
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
