// Small formatting helpers for member ids and flag words, the names of COM error codes, and the
// reports of failed calls: message boxes naming a code, and errors carrying the system's text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qs {

// Removes leading "0" characters while more than one character remains ("00000041" -> "41").
std::wstring StripLeadingZeros(const std::wstring& s);

// Names the masks of `bits` set in `value`, joined by `separator`; bits no mask covers are shown as
// "0x" + 8 hex digits. A zero value reads as the name of the first zero mask. Throws ComError
// ("BitsToStrings: arrays have different lengths") when the arrays differ in length.
std::wstring BitsToStrings(DWORD value, const std::vector<DWORD>& bits, const std::vector<std::wstring>& names,
                           const std::wstring& separator);

// The symbolic name of an HRESULT from the table of COM error names, or "0x" + 8 upper-case hex digits.
std::wstring HResultToName(HRESULT hr);

// The table behind HResultToName, in ascending code order.
struct HResultName {
    HRESULT code;
    const wchar_t* name;
};
const std::vector<HResultName>& HResultNames();

// When hr is a failure, shows caption + " returned\r\n" + HResultToName(hr) in an error box owned by
// `owner` and returns false; otherwise shows nothing and returns true.
bool CheckHResult(HRESULT hr, const std::wstring& caption, HWND owner);

// The text of the calling thread's last Win32 error; `code` receives GetLastError().
std::wstring LastErrorText(DWORD& code);

// Throws a system error (ComError of kind System) "Error in " + apiName + ": " + LastErrorText, whose
// HRESULT is 0 for error 0 and 0x80070000 | (code & 0xFFFF) otherwise.
[[noreturn]] void RaiseLastError(const std::wstring& apiName);

} // namespace qs
