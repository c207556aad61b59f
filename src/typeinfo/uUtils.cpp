// Formatting helpers for member ids and flag words, HRESULT names, and the reports of failed calls.
// The name table itself is generated into uUtilsHResultNames.cpp.
#include "typeinfo/uUtils.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/qsMessageBox.h"

#include <algorithm>

namespace qs {

std::wstring StripLeadingZeros(const std::wstring& s) {
    const size_t keepFrom = std::min(s.find_first_not_of(L'0'), s.empty() ? 0 : s.size() - 1);
    return s.substr(keepFrom);
}

std::wstring BitsToStrings(DWORD value, const std::vector<DWORD>& bits, const std::vector<std::wstring>& names,
                           const std::wstring& separator) {
    if (bits.size() != names.size())
        throw ComError(E_INVALIDARG, L"BitsToStrings: arrays have different lengths", ErrorKind::Plain);

    std::wstring result;
    auto append = [&](const std::wstring& part) {
        if (!result.empty())
            result += separator;
        result += part;
    };

    if (value == 0) {
        // A zero mask names the state with no flag set (PARAMFLAG_NONE and the like).
        const auto zero = std::find(bits.begin(), bits.end(), 0u);
        return zero == bits.end() ? result : names[zero - bits.begin()];
    }

    // Named masks first, in the caller's order; a mask counts only when all its bits are set, and its
    // bits are then taken out so that an overlapping later mask cannot claim them again.
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] != 0 && (value & bits[i]) == bits[i]) {
            append(names[i]);
            value &= ~bits[i];
        }
    }
    for (int bit = 0; bit < 32; ++bit) {
        const DWORD mask = DWORD{1} << bit;
        if (value & mask)
            append(L"0x" + HexDigits(mask, 8));
    }
    return result;
}

std::wstring HResultToName(HRESULT hr) {
    // The table is ordered by the code as an unsigned number: success codes come before failures.
    const auto& table = HResultNames();
    const auto code = static_cast<ULONG>(hr);
    const auto it = std::lower_bound(table.begin(), table.end(), code,
                                     [](const HResultName& row, ULONG c) { return static_cast<ULONG>(row.code) < c; });
    if (it != table.end() && static_cast<ULONG>(it->code) == code)
        return it->name;
    return L"0x" + HexDigits(code, 8);
}

bool CheckHResult(HRESULT hr, const std::wstring& caption, HWND owner) {
    if (!FAILED(hr))
        return true;
    ShowMessageBox(owner, caption + L" returned\r\n" + HResultToName(hr), caption, MB_ICONERROR);
    return false;
}

std::wstring LastErrorText(DWORD& code) {
    code = ::GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueHlocal owner(buffer);
    if (length != 0 && buffer) {
        // The system text is kept as it comes, trailing line break included.
        return L"GetLastError = " + std::to_wstring(code) + L", FormatMessage = " + std::wstring(buffer, length);
    }
    return L"GetLastError returned " + std::to_wstring(code) + L" (0x" + HexDigits(code, 8) + L")";
}

void RaiseLastError(const std::wstring& apiName) {
    // Read the last error before anything else can overwrite it.
    DWORD code = 0;
    const std::wstring text = LastErrorText(code);
    const HRESULT hr = code == 0 ? S_OK : static_cast<HRESULT>(0x80070000UL | (code & 0xFFFFUL));
    throw ComError(hr, L"Error in " + apiName + L": " + text, ErrorKind::System);
}

} // namespace qs
