// Value rendering of the type-information model: the display text of any VARIANT (VariantToText),
// NULs made visible (NullsToQuestionMarks), and the value of what the user typed for an argument of a
// given type (TextToVariant). Locale-dependent conversions go through OLE Automation and the NLS API
// with the user's default locale, so the browser shows and reads values the way the user's Office does.
#include "typeinfo/uTypeInfo.h"

#include "common/qsError.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace qs {

namespace {

constexpr wchar_t kUnrenderable[] = L"???";
// 1 January 4501 00:00: the "no date" value of hosts' date properties.
constexpr DATE kDateNotSet = 949998.0;

// A locale string of the user's default locale, or `fallback` when the locale cannot supply it.
std::wstring UserLocaleInfo(LCTYPE type, const wchar_t* fallback) {
    wchar_t buffer[128];
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, static_cast<int>(std::size(buffer)));
    if (length <= 1) return fallback; // the count includes the terminating NUL
    return std::wstring(buffer, length - 1);
}

std::wstring UnknownTypeText(VARTYPE vt) { return L"<Unknown (VT = 0x" + HexDigits(vt, 4) + L")>"; }

// A double in the general number format with 15 significant digits: the shorter of fixed and
// scientific notation as C's "%.15G" chooses it (scientific below 1E-04 and from 1E+15 on), trailing
// zeros dropped, an upper-case "E" with a sign and at least two exponent digits ("1E+20", "1.5E-07"),
// and the user's decimal separator. Negative zero reads "0".
std::wstring FormatGeneral15(double value) {
    if (std::isnan(value)) return L"NaN";
    if (std::isinf(value)) return value < 0 ? L"-Infinity" : L"Infinity";
    if (value == 0) value = 0; // folds -0 into 0

    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc()) return kUnrenderable;

    const std::wstring separator = UserLocaleInfo(LOCALE_SDECIMAL, L".");
    std::wstring text;
    for (const char* p = buffer; p != end; ++p) {
        if (*p == '.')
            text += separator;
        else if (*p == 'e')
            text += L'E';
        else
            text += static_cast<wchar_t>(*p);
    }
    return text;
}

// The user's short date, one space, and the user's short time. Dates that the NLS API cannot format
// (years before 1601) fall back to Automation's own text for the date.
std::wstring FormatDate(DATE value) {
    if (value == kDateNotSet) return L"<not set>";

    SYSTEMTIME st{};
    if (::VariantTimeToSystemTime(value, &st)) {
        constexpr int kCapacity = 128;
        wchar_t date[kCapacity];
        wchar_t time[kCapacity];
        const std::wstring shortTime = UserLocaleInfo(LOCALE_SSHORTTIME, L"");
        const int dateLength = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, kCapacity);
        // Without a short time pattern (an old system), the long format without seconds is the nearest.
        const int timeLength =
            shortTime.empty()
                ? ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, time, kCapacity)
                : ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, shortTime.c_str(), time, kCapacity);
        if (dateLength > 0 && timeLength > 0)
            return std::wstring(date, dateLength - 1) + L" " + std::wstring(time, timeLength - 1);
    }

    UniqueBstr text;
    if (SUCCEEDED(::VarBstrFromDate(value, LOCALE_USER_DEFAULT, 0, text.Put()))) return BstrText(text.Get());
    return kUnrenderable;
}

// A VT_ERROR's code as a number, through Automation's conversion to an integer.
LONGLONG ErrorCodeValue(SCODE code) {
    VARIANT source;
    ::VariantInit(&source);
    V_VT(&source) = VT_ERROR;
    V_ERROR(&source) = code;
    Variant number;
    if (SUCCEEDED(::VariantChangeTypeEx(number.Put(), &source, LOCALE_USER_DEFAULT, 0, VT_I4)) &&
        number.Type() == VT_I4)
        return V_I4(&number.Get());
    // The code itself is what the conversion yields. Wine 8 refuses VT_ERROR -> VT_I4 with
    // DISP_E_TYPEMISMATCH, so the code is taken directly when the platform will not convert it.
    return code;
}

// Text of a NUL-terminated 8-bit string in the system ANSI code page.
std::wstring AnsiText(const char* text) {
    if (!text || !*text) return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring result(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), length);
    result.resize(static_cast<size_t>(length - 1));
    return result;
}

// The size of one element of a safe array of `vt` that can be fetched into a VARIANT; 0 for types
// whose elements cannot stand alone in a VARIANT (records, pointers, invalid types).
ULONG FetchableElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1:
        return 1;
    case VT_I2: case VT_UI2: case VT_BOOL:
        return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR:
        return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE:
        return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN:
        return sizeof(void*);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

// Element types that the renderer shows only in the unknown form become types it shows as numbers.
// None of the conversions loses a value except DECIMAL's digits beyond a double's precision.
void MakeAutomationCompatible(Variant& value) {
    VARTYPE target;
    switch (value.Type()) {
    case VT_I1: target = VT_I2; break;
    case VT_UI2: case VT_INT: target = VT_I4; break;
    case VT_UI4: case VT_UINT: target = VT_I8; break;
    case VT_DECIMAL: target = VT_R8; break;
    default: return;
    }
    Variant converted;
    if (SUCCEEDED(::VariantChangeTypeEx(converted.Put(), &value.Get(), LOCALE_USER_DEFAULT, 0, target)))
        value = std::move(converted);
}

// One element of a one-dimensional safe array as an owned VARIANT (VT_EMPTY when it cannot be read).
Variant FetchElement(SAFEARRAY* array, VARTYPE elementType, LONG index) {
    Variant element;
    VARIANT& v = element.Get();
    if (elementType == VT_VARIANT) {
        if (FAILED(::SafeArrayGetElement(array, &index, &v))) ::VariantInit(&v);
    } else if (elementType == VT_DECIMAL) {
        // A DECIMAL fills the whole VARIANT, its reserved word overlapping the type: set the type last.
        DECIMAL d{};
        if (SUCCEEDED(::SafeArrayGetElement(array, &index, &d))) {
            V_DECIMAL(&v) = d;
            V_VT(&v) = VT_DECIMAL;
        }
    } else if (SUCCEEDED(::SafeArrayGetElement(array, &index, &V_UI1(&v)))) {
        // BSTRs come back copied and interfaces referenced: the Variant now owns them.
        V_VT(&v) = elementType;
    }
    return element;
}

std::wstring ArrayToText(SAFEARRAY* array, VARTYPE variantType) {
    if (!array || ::SafeArrayGetDim(array) != 1) return kUnrenderable;

    // The array's own type, when it records one, decides how its elements are laid out; the
    // VARIANT's type word could disagree with it.
    VARTYPE elementType = VT_EMPTY;
    if (FAILED(::SafeArrayGetVartype(array, &elementType)) || elementType == VT_EMPTY)
        elementType = variantType & VT_TYPEMASK;
    const ULONG elementSize = FetchableElementSize(elementType);
    const bool fetchable = elementSize != 0 && elementSize == ::SafeArrayGetElemsize(array);

    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper)))
        return kUnrenderable;

    std::wstring text;
    for (LONGLONG i = lower; i <= upper; ++i) {
        if (!text.empty()) text += L"\r\n";
        if (!fetchable) {
            text += UnknownTypeText(elementType);
            continue;
        }
        Variant element = FetchElement(array, elementType, static_cast<LONG>(i));
        MakeAutomationCompatible(element);
        text += VariantToText(element.Get());
    }
    return text;
}

bool EqualsIgnoringAsciiCase(std::wstring_view text, std::wstring_view lowerWord) {
    if (text.size() != lowerWord.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

Variant FromR8(double value) {
    Variant v;
    V_VT(&v.Get()) = VT_R8;
    V_R8(&v.Get()) = value;
    return v;
}

Variant FromCy(CY value) {
    Variant v;
    V_VT(&v.Get()) = VT_CY;
    V_CY(&v.Get()) = value;
    return v;
}

Variant FromDate(DATE value) {
    Variant v;
    V_VT(&v.Get()) = VT_DATE;
    V_DATE(&v.Get()) = value;
    return v;
}

// The Automation parsers take a non-const OLECHAR*; they do not write through it.
OLECHAR* ParserText(const std::wstring& text) { return const_cast<OLECHAR*>(text.c_str()); }

// Date with time, then date alone, then time alone, in the user's formats.
bool ParseDate(const std::wstring& text, DATE& value) {
    for (const ULONG flags : {0UL, static_cast<ULONG>(VAR_DATEVALUEONLY), static_cast<ULONG>(VAR_TIMEVALUEONLY)})
        if (SUCCEEDED(::VarDateFromStr(ParserText(text), LOCALE_USER_DEFAULT, flags, &value))) return true;
    return false;
}

// Guessing reads only a number that fills the whole text, parsed with the user's locale under
// `syntax`, as the type of `vtBit`; VT_EMPTY when the text is not such a number. Digit grouping is
// never accepted: in many locales the grouping separator is also the date separator, and
// "15.3.2023" must reach the date reading instead of becoming 1532023.
Variant ParseWholeNumber(const std::wstring& text, DWORD syntax, ULONG vtBit, NUMPARSE* parsed = nullptr) {
    constexpr DWORD kBlanksAndSigns =
        NUMPRS_LEADING_WHITE | NUMPRS_TRAILING_WHITE | NUMPRS_LEADING_PLUS | NUMPRS_LEADING_MINUS;
    NUMPARSE local{};
    NUMPARSE& parse = parsed ? *parsed : local;
    parse = NUMPARSE{};
    BYTE digits[64];
    parse.cDig = static_cast<INT>(std::size(digits));
    parse.dwInFlags = kBlanksAndSigns | syntax;
    Variant number;
    if (FAILED(::VarParseNumFromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &parse, digits))) return number;
    if (parse.cchUsed < 0 || static_cast<size_t>(parse.cchUsed) != text.size()) return number;
    if (FAILED(::VarNumFromParseNum(&parse, digits, vtBit, number.Put()))) number.Clear();
    return number;
}

// The guess for arguments of a type without its own reading: the first reading that fits. The integer
// reading takes whole numbers only (VarI8FromStr would round "1.5" to 2), so a fraction stays a
// floating-point number; a currency symbol makes the text a currency amount.
Variant GuessFromText(const std::wstring& text) {
    if (EqualsIgnoringAsciiCase(text, L"true")) return Variant::FromBool(true);
    if (EqualsIgnoringAsciiCase(text, L"false")) return Variant::FromBool(false);
    if (text.empty()) return Variant::Missing();

    Variant number = ParseWholeNumber(text, NUMPRS_HEX_OCT, VTBIT_I8);
    if (number.Type() == VT_I8)
        return Variant::FromI4(static_cast<LONG>(static_cast<std::uint32_t>(V_I8(&number.Get())))); // the low 32 bits
    number = ParseWholeNumber(text, NUMPRS_DECIMAL | NUMPRS_EXPONENT, VTBIT_R8);
    if (number.Type() == VT_R8) return number;
    number = ParseWholeNumber(text, NUMPRS_DECIMAL | NUMPRS_CURRENCY | NUMPRS_PARENS, VTBIT_CY);
    if (number.Type() == VT_CY) return number;
    DATE date = 0;
    if (ParseDate(text, date)) return FromDate(date);
    return Variant::Missing();
}

Variant ConvertForType(const std::wstring& text, VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_DISPATCH: case VT_UNKNOWN:
        return Variant::Missing();
    case VT_I2: case VT_I4: case VT_UI1: {
        // Automation's reading of an integer: blanks, signs, "&H" forms and rounding of fractions
        // behave as when a script passes the text to the member itself.
        LONG value = 0;
        if (FAILED(::VarI4FromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return Variant::Missing();
        return Variant::FromI4(value);
    }
    case VT_R4: case VT_R8: {
        double value = 0;
        if (FAILED(::VarR8FromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return Variant::Missing();
        return FromR8(value);
    }
    case VT_CY: {
        CY value{};
        if (FAILED(::VarCyFromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return Variant::Missing();
        return FromCy(value);
    }
    case VT_DATE: {
        DATE value = 0;
        if (!ParseDate(text, value)) return Variant::Missing();
        return FromDate(value);
    }
    case VT_BSTR: case VT_CLSID: case 256:
        return Variant::FromString(text);
    case VT_ERROR:
        return Variant::FromI4(0);
    case VT_BOOL:
        return Variant::FromBool(EqualsIgnoringAsciiCase(text, L"true"));
    default:
        return GuessFromText(text);
    }
}

// ---- The checked reading: a text either gives a value of the declared type or is refused ----

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xA0; }

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// True/False in any case, or the numbers -1, 0 and 1 that Automation gives and takes for them.
bool ReadBoolean(std::wstring_view text, bool& value) {
    text = TrimBlanks(text);
    if (EqualsIgnoringAsciiCase(text, L"true") || text == L"-1" || text == L"1") {
        value = true;
        return true;
    }
    if (EqualsIgnoringAsciiCase(text, L"false") || text == L"0") {
        value = false;
        return true;
    }
    return false;
}

// An error code: a decimal number from -2147483648 to 4294967295 (so both the signed and the unsigned
// reading of a code are accepted) or up to eight hexadecimal digits after "0x" or "&H".
bool ReadErrorCode(std::wstring_view text, SCODE& code) {
    text = TrimBlanks(text);
    std::uint64_t magnitude = 0;
    bool negative = false;
    int base = 10;
    size_t maxDigits = 10;
    if (text.size() > 2 && ((text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) ||
                            (text[0] == L'&' && (text[1] == L'h' || text[1] == L'H')))) {
        text.remove_prefix(2);
        base = 16;
        maxDigits = 8;
    } else if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > maxDigits) return false;
    for (const wchar_t c : text) {
        int digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else return false;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    if (negative ? magnitude > 0x80000000ULL : magnitude > 0xFFFFFFFFULL) return false;
    const auto bits = static_cast<std::uint32_t>(negative ? 0x100000000ULL - magnitude : magnitude);
    code = static_cast<SCODE>(bits);
    return true;
}

// An integer of one of the integer types, read by Automation for exactly that type (blanks, signs,
// "&H" forms and the rounding of fractions as a script passing the text would see them), so that a
// value out of the type's range is refused instead of wrapped.
bool ReadInteger(const std::wstring& text, VARTYPE type, Variant& out) {
    OLECHAR* const p = ParserText(text);
    Variant value;
    VARIANT& v = value.Get();
    HRESULT hr = E_INVALIDARG;
    switch (type) {
    case VT_I1: hr = ::VarI1FromStr(p, LOCALE_USER_DEFAULT, 0, &V_I1(&v)); break;
    case VT_I2: hr = ::VarI2FromStr(p, LOCALE_USER_DEFAULT, 0, &V_I2(&v)); break;
    case VT_I4: hr = ::VarI4FromStr(p, LOCALE_USER_DEFAULT, 0, &V_I4(&v)); break;
    case VT_I8: hr = ::VarI8FromStr(p, LOCALE_USER_DEFAULT, 0, &V_I8(&v)); break;
    case VT_UI1: hr = ::VarUI1FromStr(p, LOCALE_USER_DEFAULT, 0, &V_UI1(&v)); break;
    case VT_UI2: hr = ::VarUI2FromStr(p, LOCALE_USER_DEFAULT, 0, &V_UI2(&v)); break;
    case VT_UI4: hr = ::VarUI4FromStr(p, LOCALE_USER_DEFAULT, 0, &V_UI4(&v)); break;
    case VT_UI8: hr = ::VarUI8FromStr(p, LOCALE_USER_DEFAULT, 0, &V_UI8(&v)); break;
    case VT_INT: {
        LONG n = 0;
        hr = ::VarI4FromStr(p, LOCALE_USER_DEFAULT, 0, &n);
        V_INT(&v) = n;
        break;
    }
    case VT_UINT: {
        ULONG n = 0;
        hr = ::VarUI4FromStr(p, LOCALE_USER_DEFAULT, 0, &n);
        V_UINT(&v) = n;
        break;
    }
    default: break;
    }
    if (FAILED(hr)) return false;
    V_VT(&v) = type;
    out = std::move(value);
    return true;
}

// The guess for an untyped argument, refusing what fits no reading: True/False, then a whole number
// (VT_I4 when it fits; a hexadecimal or octal number of up to 32 bits is the VT_I4 of those bits, as
// &HFFFFFFFF is -1 in Visual Basic; VT_I8 when it needs more), then a floating-point number, a
// currency amount, a date.
bool GuessChecked(const std::wstring& text, Variant& out) {
    const std::wstring_view word = TrimBlanks(text);
    if (EqualsIgnoringAsciiCase(word, L"true") || EqualsIgnoringAsciiCase(word, L"false")) {
        out = Variant::FromBool(EqualsIgnoringAsciiCase(word, L"true"));
        return true;
    }
    NUMPARSE parsed{};
    Variant number = ParseWholeNumber(text, NUMPRS_HEX_OCT, VTBIT_I8, &parsed);
    if (number.Type() == VT_I8) {
        const LONGLONG n = V_I8(&number.Get());
        if (n >= INT32_MIN && n <= INT32_MAX) {
            out = Variant::FromI4(static_cast<LONG>(n));
        } else if (parsed.nBaseShift != 0 && n > 0 && n <= 0xFFFFFFFFLL) {
            out = Variant::FromI4(static_cast<LONG>(static_cast<std::uint32_t>(n)));
        } else {
            out = std::move(number);
        }
        return true;
    }
    number = ParseWholeNumber(text, NUMPRS_DECIMAL | NUMPRS_EXPONENT, VTBIT_R8);
    if (number.Type() != VT_R8)
        number = ParseWholeNumber(text, NUMPRS_DECIMAL | NUMPRS_CURRENCY | NUMPRS_PARENS, VTBIT_CY);
    if (number.Type() == VT_R8 || number.Type() == VT_CY) {
        out = std::move(number);
        return true;
    }
    DATE date = 0;
    if (!ParseDate(text, date)) return false;
    out = FromDate(date);
    return true;
}

bool ConvertChecked(const std::wstring& text, VARTYPE type, Variant& out) {
    switch (type) {
    case VT_BSTR: case VT_CLSID: case VT_LPSTR: case VT_LPWSTR: case 256:
        out = Variant::FromString(text);
        return true;
    default:
        break;
    }
    // A cell left blank gives no value: the callee sees the argument as omitted.
    if (TrimBlanks(text).empty()) {
        out = Variant::Missing();
        return true;
    }
    switch (type) {
    case VT_EMPTY: case VT_NULL: case VT_VOID: case VT_DISPATCH: case VT_UNKNOWN:
        return false; // only the keywords give an object (or nothing)
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT:
        return ReadInteger(text, type, out);
    case VT_R4: {
        FLOAT value = 0;
        if (FAILED(::VarR4FromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return false;
        Variant v;
        V_VT(&v.Get()) = VT_R4;
        V_R4(&v.Get()) = value;
        out = std::move(v);
        return true;
    }
    case VT_R8: {
        double value = 0;
        if (FAILED(::VarR8FromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return false;
        out = FromR8(value);
        return true;
    }
    case VT_CY: {
        CY value{};
        if (FAILED(::VarCyFromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return false;
        out = FromCy(value);
        return true;
    }
    case VT_DATE: {
        DATE value = 0;
        if (!ParseDate(text, value)) return false;
        out = FromDate(value);
        return true;
    }
    case VT_DECIMAL: {
        DECIMAL value{};
        if (FAILED(::VarDecFromStr(ParserText(text), LOCALE_USER_DEFAULT, 0, &value))) return false;
        Variant v;
        // A DECIMAL fills the whole VARIANT, its reserved word overlapping the type: set the type last.
        V_DECIMAL(&v.Get()) = value;
        V_VT(&v.Get()) = VT_DECIMAL;
        out = std::move(v);
        return true;
    }
    case VT_ERROR: {
        SCODE code = 0;
        if (!ReadErrorCode(text, code)) return false;
        out = Variant::FromError(code);
        return true;
    }
    case VT_BOOL: {
        bool value = false;
        if (!ReadBoolean(text, value)) return false;
        out = Variant::FromBool(value);
        return true;
    }
    default:
        return GuessChecked(text, out);
    }
}

} // namespace

// By-reference values are read through their reference; a null reference leaves "???".
std::wstring VariantToText(const VARIANT& v) {
    const VARTYPE vt = V_VT(&v);
    const bool byRef = (vt & VT_BYREF) != 0;
    const VARTYPE type = vt & ~VT_BYREF;
    const void* const ref = byRef ? V_BYREF(&v) : nullptr;
    if (byRef && !ref && type != VT_EMPTY && type != VT_NULL) return kUnrenderable;

    // The value of type T, stored in the VARIANT (field) or behind its reference.
    auto value = [&](auto field, const auto* referenced) { return byRef ? *referenced : field; };

    switch (type) {
    case VT_EMPTY: case VT_NULL:
        return L"null";
    case VT_I2:
        return std::to_wstring(static_cast<LONGLONG>(value(V_I2(&v), V_I2REF(&v))));
    case VT_I4:
        return std::to_wstring(static_cast<LONGLONG>(value(V_I4(&v), V_I4REF(&v))));
    case VT_UI1:
        return std::to_wstring(static_cast<LONGLONG>(value(V_UI1(&v), V_UI1REF(&v))));
    case VT_I8:
        return std::to_wstring(static_cast<LONGLONG>(value(V_I8(&v), V_I8REF(&v))));
    case VT_UI8:
        // As a signed 64-bit number: values from 2^63 on read negative.
        return std::to_wstring(static_cast<LONGLONG>(value(V_UI8(&v), V_UI8REF(&v))));
    case VT_ERROR:
        return std::to_wstring(ErrorCodeValue(value(V_ERROR(&v), V_ERRORREF(&v))));
    case VT_R4:
        return FormatGeneral15(static_cast<double>(value(V_R4(&v), V_R4REF(&v))));
    case VT_R8:
        return FormatGeneral15(value(V_R8(&v), V_R8REF(&v)));
    case VT_CY:
        return FormatGeneral15(static_cast<double>(value(V_CY(&v), V_CYREF(&v)).int64) / 10000.0);
    case VT_DATE:
        return FormatDate(value(V_DATE(&v), V_DATEREF(&v)));
    case VT_BSTR:
        return BstrText(value(V_BSTR(&v), V_BSTRREF(&v)));
    case VT_CLSID: {
        // A CLSID is held by pointer (the place a PROPVARIANT keeps it) in either form.
        const auto* clsid = static_cast<const CLSID*>(V_BYREF(&v));
        return clsid ? GuidToString(*clsid) : std::wstring(kUnrenderable);
    }
    case 256: // an 8-bit string, held by pointer
        return AnsiText(static_cast<const char*>(V_BYREF(&v)));
    case VT_DISPATCH:
        return value(V_DISPATCH(&v), V_DISPATCHREF(&v)) ? L"IDispatch" : L"null";
    case VT_BOOL:
        return value(V_BOOL(&v), V_BOOLREF(&v)) ? L"true" : L"false";
    case VT_VARIANT:
        return kUnrenderable;
    case VT_UNKNOWN:
        return L"IUnknown";
    default:
        if (type & VT_ARRAY) return ArrayToText(value(V_ARRAY(&v), V_ARRAYREF(&v)), type);
        return UnknownTypeText(vt);
    }
}

std::wstring NullsToQuestionMarks(const std::wstring& s) {
    std::wstring result(s);
    for (wchar_t& c : result)
        if (c == L'\0') c = L'?';
    return result;
}

// Every conversion failure, and even a failed allocation, gives the missing-argument marker: the
// callee then sees the argument as omitted.
Variant TextToVariant(const std::wstring& text, VARTYPE vt) noexcept
try {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return Variant::FromString(std::wstring_view(text).substr(1, text.size() - 2));
    if (EqualsIgnoringAsciiCase(text, L"empty")) return Variant::Missing();
    if (EqualsIgnoringAsciiCase(text, L"nothing") || EqualsIgnoringAsciiCase(text, L"null"))
        return Variant::FromDispatch(nullptr);
    return ConvertForType(text, vt);
} catch (...) {
    TraceCaughtException(L"TextToVariant");
    return Variant::Missing();
}

// The keywords and the quotes mean what they mean to TextToVariant; everything else must convert to
// the declared type (a reference stands for the type it refers to).
bool TryTextToVariant(const std::wstring& text, VARTYPE vt, Variant& out) {
    Variant value;
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        value = Variant::FromString(std::wstring_view(text).substr(1, text.size() - 2));
    else if (EqualsIgnoringAsciiCase(text, L"empty"))
        value = Variant::Missing();
    else if (EqualsIgnoringAsciiCase(text, L"nothing") || EqualsIgnoringAsciiCase(text, L"null"))
        value = Variant::FromDispatch(nullptr);
    else if (!ConvertChecked(text, static_cast<VARTYPE>(vt & ~VT_BYREF), value))
        return false;
    out = std::move(value);
    return true;
}

int ImageIndexForVarType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_ERROR: return kImageNone;
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_UI1: case VT_INT: return kImageNumber;
    case VT_CY: return kImageCurrency;
    case VT_DATE: return kImageDate;
    case VT_BSTR: case VT_CLSID: case 256: return kImageText;
    case VT_BOOL: return kImageBoolean;
    default: return kImageObject;
    }
}

} // namespace qs
