// Value rendering: the display text of VARIANTs of every kind (scalars, references, arrays, numbers and
// dates in the user's locale), NULs made visible, and the values TextToVariant makes of typed text.
// Locale-dependent expectations are built from the user's locale in the test, never assumed.
#include "typeinfo/uTypeInfo.h"

#include "Fixtures.h"
#include "InputFuzz.h"

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using qs::Variant;
using qs::VariantToText;

std::wstring LocaleInfo(LCTYPE type) {
    wchar_t buffer[128];
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
    return length > 1 ? std::wstring(buffer, length - 1) : std::wstring();
}

// `text` with each "." replaced by the user's decimal separator.
std::wstring Localized(std::wstring text) {
    const std::wstring separator = LocaleInfo(LOCALE_SDECIMAL);
    for (size_t at = text.find(L'.'); at != std::wstring::npos; at = text.find(L'.', at + separator.size()))
        text.replace(at, 1, separator);
    return text;
}

// The user's short date, a space and the user's short time, built independently of the code under test.
std::wstring ShortDateTime(DATE value) {
    SYSTEMTIME st{};
    EXPECT_TRUE(::VariantTimeToSystemTime(value, &st));
    wchar_t date[128];
    wchar_t time[128];
    EXPECT_GT(::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128), 0);
    EXPECT_GT(::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, LocaleInfo(LOCALE_SSHORTTIME).c_str(), time, 128), 0);
    return std::wstring(date) + L" " + time;
}

// An amount as the user's locale writes money ("$5.00", "5,00 €").
std::wstring CurrencyText(const wchar_t* amount) {
    wchar_t buffer[64];
    EXPECT_GT(::GetCurrencyFormatW(LOCALE_USER_DEFAULT, 0, amount, nullptr, buffer, 64), 0);
    return buffer;
}

template <typename Set>
Variant Make(VARTYPE vt, Set set) {
    Variant v;
    set(v.Get());
    V_VT(&v.Get()) = vt;
    return v;
}

Variant Str(const wchar_t* s) { return Variant::FromString(s); }
Variant R8(double d) { return Make(VT_R8, [&](VARIANT& v) { V_R8(&v) = d; }); }
Variant Cy(LONGLONG units) { return Make(VT_CY, [&](VARIANT& v) { V_CY(&v).int64 = units; }); }
Variant Date(DATE d) { return Make(VT_DATE, [&](VARIANT& v) { V_DATE(&v) = d; }); }
Variant ByRef(VARTYPE vt, void* p) { return Make(VT_BYREF | vt, [&](VARIANT& v) { V_BYREF(&v) = p; }); }

// A Variant that owns `array` as VT_ARRAY | vt (or holds a reference to it with VT_BYREF).
Variant Array(VARTYPE vt, SAFEARRAY* array) { return Make(VT_ARRAY | vt, [&](VARIANT& v) { V_ARRAY(&v) = array; }); }

SAFEARRAY* StringVector(const std::vector<const wchar_t*>& items) {
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        qs::UniqueBstr b(::SysAllocString(items[i]));
        EXPECT_EQ(::SafeArrayPutElement(array, &i, b.Get()), S_OK);
    }
    return array;
}

struct TextCase {
    const char* label;
    Variant value;
    std::wstring expected;
};

void ExpectTexts(const std::vector<TextCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(VariantToText(c.value.Get()), c.expected);
    }
}

TEST(ValueTextTest, ScalarsByType) {
    ExpectTexts({
        {"empty", Variant(), L"null"},
        {"null", Make(VT_NULL, [](VARIANT&) {}), L"null"},
        {"null dispatch", Variant::FromDispatch(nullptr), L"null"},
        {"unknown", Make(VT_UNKNOWN, [](VARIANT& v) { V_UNKNOWN(&v) = nullptr; }), L"IUnknown"},
        {"true", Variant::FromBool(true), L"true"},
        {"false", Variant::FromBool(false), L"false"},
        {"bool 1", Make(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = 1; }), L"true"},
        {"i2", Make(VT_I2, [](VARIANT& v) { V_I2(&v) = -32768; }), L"-32768"},
        {"i4", Variant::FromI4(std::numeric_limits<LONG>::min()), L"-2147483648"},
        {"ui1", Make(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 255; }), L"255"},
        {"i8", Make(VT_I8, [](VARIANT& v) { V_I8(&v) = std::numeric_limits<LONGLONG>::min(); }),
         L"-9223372036854775808"},
        {"ui8", Make(VT_UI8, [](VARIANT& v) { V_UI8(&v) = 5000000000ULL; }), L"5000000000"},
        // Read as a signed 64-bit number, the top half of the range is negative.
        {"ui8 max", Make(VT_UI8, [](VARIANT& v) { V_UI8(&v) = ~0ULL; }), L"-1"},
        {"error", Variant::FromError(DISP_E_PARAMNOTFOUND), L"-2147352572"},
        {"string", Str(L"text"), L"text"},
        {"string with NULs", Variant::FromString(std::wstring(L"a\0b", 3)), std::wstring(L"a\0b", 3)},
        {"null bstr", Make(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }), L""},
        {"decimal", Make(VT_DECIMAL, [](VARIANT& v) { V_DECIMAL(&v).Lo64 = 5; }), L"<Unknown (VT = 0x000E)>"},
        {"i1", Make(VT_I1, [](VARIANT& v) { V_I1(&v) = 5; }), L"<Unknown (VT = 0x0010)>"},
        {"ui2", Make(VT_UI2, [](VARIANT& v) { V_UI2(&v) = 5; }), L"<Unknown (VT = 0x0012)>"},
        {"ui4", Make(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 5; }), L"<Unknown (VT = 0x0013)>"},
        {"int", Make(VT_INT, [](VARIANT& v) { V_INT(&v) = 5; }), L"<Unknown (VT = 0x0016)>"},
        {"uint", Make(VT_UINT, [](VARIANT& v) { V_UINT(&v) = 5; }), L"<Unknown (VT = 0x0017)>"},
        {"record", Make(VT_RECORD, [](VARIANT& v) { V_BYREF(&v) = nullptr; }), L"<Unknown (VT = 0x0024)>"},
    });
}

TEST(ValueTextTest, ByReferenceValuesAreReadThroughTheReference) {
    LONG i4 = -17;
    VARIANT inner;
    ::VariantInit(&inner);
    CHAR i1 = 3;
    qs::UniqueBstr bstr(::SysAllocString(L"by ref"));
    BSTR bstrValue = bstr.Get();
    DATE date = 949998.0;
    SCODE code = E_FAIL;
    IDispatch* noDispatch = nullptr;
    VARIANT_BOOL yes = VARIANT_TRUE;
    CY cy{};
    cy.int64 = 25000;
    // By-reference Variants only borrow these locals: VariantClear leaves what they point at alone.
    std::vector<TextCase> cases;
    cases.push_back({"i4", ByRef(VT_I4, &i4), L"-17"});
    cases.push_back({"variant", ByRef(VT_VARIANT, &inner), L"???"});
    cases.push_back({"i1", ByRef(VT_I1, &i1), L"<Unknown (VT = 0x4010)>"});
    cases.push_back({"bstr", ByRef(VT_BSTR, &bstrValue), L"by ref"});
    cases.push_back({"date", ByRef(VT_DATE, &date), L"<not set>"});
    cases.push_back({"error", ByRef(VT_ERROR, &code), L"-2147467259"});
    cases.push_back({"null dispatch", ByRef(VT_DISPATCH, &noDispatch), L"null"});
    cases.push_back({"bool", ByRef(VT_BOOL, &yes), L"true"});
    cases.push_back({"currency", ByRef(VT_CY, &cy), Localized(L"2.5")});
    cases.push_back({"null reference", ByRef(VT_I4, nullptr), L"???"});
    ExpectTexts(cases);
}

TEST(ValueTextTest, DispatchRendersWithoutKeepingAReference) {
    auto object = qs::test::FixtureDispatch::Create();
    {
        const Variant v = Variant::FromDispatch(object.Get());
        EXPECT_EQ(VariantToText(v.Get()), L"IDispatch");
    }
    EXPECT_EQ(object->ExtraRefs(), 0u);
}

TEST(ValueTextTest, NumbersUseGeneralFormatAndTheUserDecimalSeparator) {
    ExpectTexts({
        {"fraction", R8(2.5), Localized(L"2.5")},
        {"inexact fraction", R8(0.1), Localized(L"0.1")},
        {"15 digits", R8(1.0 / 3.0), Localized(L"0.333333333333333")},
        {"rounded to 15 digits", R8(2.0 / 3.0), Localized(L"0.666666666666667")},
        {"whole", R8(-42.0), L"-42"},
        {"largest fixed", R8(123456789012345.0), L"123456789012345"},
        {"first scientific", R8(1e15), L"1E+15"},
        {"large", R8(1e20), L"1E+20"},
        {"small", R8(1.5e-7), Localized(L"1.5E-07")},
        {"small fixed", R8(0.0001), Localized(L"0.0001")},
        {"negative zero", R8(-0.0), L"0"},
        {"nan", R8(std::nan("")), L"NaN"},
        {"infinity", R8(-HUGE_VAL), L"-Infinity"},
        {"single", Make(VT_R4, [](VARIANT& v) { V_R4(&v) = 2.5f; }), Localized(L"2.5")},
        // A single is shown as the double it widens to.
        {"single 0.1", Make(VT_R4, [](VARIANT& v) { V_R4(&v) = 0.1f; }), Localized(L"0.100000001490116")},
        {"currency", Cy(12345), Localized(L"1.2345")},
        {"currency whole", Cy(-70000), L"-7"},
    });
}

TEST(ValueTextTest, DatesUseTheUserShortFormats) {
    ExpectTexts({
        {"not set", Date(949998.0), L"<not set>"},
        {"noon of the not-set day", Date(949998.5), ShortDateTime(949998.5)},
        {"ordinary", Date(45000.75), ShortDateTime(45000.75)},
    });
}

TEST(ValueTextTest, DatesBeforeTheNlsRangeStillRender) {
    // 1 January 1500: GetDateFormatW refuses years before 1601; the text must still name the year.
    DATE date = 0;
    SYSTEMTIME st{};
    st.wYear = 1500;
    st.wMonth = 1;
    st.wDay = 1;
    ASSERT_TRUE(::SystemTimeToVariantTime(&st, &date));
    const std::wstring text = VariantToText(Date(date).Get());
    EXPECT_NE(text.find(L"1500"), std::wstring::npos) << text;
}

TEST(ValueTextTest, OneDimensionalArraysGiveOneLinePerElement) {
    SAFEARRAY* mixed = ::SafeArrayCreateVector(VT_VARIANT, 1, 3);
    {
        LONG i = 1;
        Variant seven = Variant::FromI4(7);
        ::SafeArrayPutElement(mixed, &i, &seven.Get());
        i = 2;
        Variant empty;
        ::SafeArrayPutElement(mixed, &i, &empty.Get());
        i = 3;
        Variant inner = Array(VT_BSTR, StringVector({L"x", L"y"}));
        ::SafeArrayPutElement(mixed, &i, &inner.Get());
    }
    SAFEARRAY* unsigned4 = ::SafeArrayCreateVector(VT_UI4, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        ULONG value = i == 0 ? 4000000000UL : 9;
        ::SafeArrayPutElement(unsigned4, &i, &value);
    }
    SAFEARRAY* bools = ::SafeArrayCreateVector(VT_BOOL, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        VARIANT_BOOL value = i == 0 ? VARIANT_TRUE : VARIANT_FALSE;
        ::SafeArrayPutElement(bools, &i, &value);
    }

    ExpectTexts({
        {"strings", Array(VT_BSTR, StringVector({L"a", L"", L"b"})), L"a\r\n\r\nb"},
        {"leading empty element", Array(VT_BSTR, StringVector({L"", L"x"})), L"x"},
        {"no elements", Array(VT_BSTR, StringVector({})), L""},
        {"variants, nested array", Array(VT_VARIANT, mixed), L"7\r\nnull\r\nx\r\ny"},
        {"unsigned elements become numbers", Array(VT_UI4, unsigned4), L"4000000000\r\n9"},
        {"bools", Array(VT_BOOL, bools), L"true\r\nfalse"},
        // The array's own element type rules over a VARIANT type word that disagrees with it.
        {"mislabelled", Array(VT_VARIANT, StringVector({L"s"})), L"s"},
        {"null array", Array(VT_BSTR, nullptr), L"???"},
    });
}

TEST(ValueTextTest, ArraysOfOtherShapes) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    Variant twoD = Array(VT_I4, ::SafeArrayCreate(VT_I4, 2, bounds));
    EXPECT_EQ(VariantToText(twoD.Get()), L"???");

    Variant strings = Array(VT_BSTR, StringVector({L"p", L"q"}));
    SAFEARRAY* array = V_ARRAY(&strings.Get());
    Variant byRef = ByRef(VT_ARRAY | VT_BSTR, &array);
    EXPECT_EQ(VariantToText(byRef.Get()), L"p\r\nq");
}

TEST(ValueTextTest, ArrayElementsReleaseTheirObjects) {
    auto object = qs::test::FixtureDispatch::Create();
    {
        SAFEARRAY* array = ::SafeArrayCreateVector(VT_DISPATCH, 0, 2);
        LONG i = 0;
        ::SafeArrayPutElement(array, &i, object.Get());
        const Variant v = Array(VT_DISPATCH, array);
        EXPECT_EQ(VariantToText(v.Get()), L"IDispatch\r\nnull");
    }
    EXPECT_EQ(object->ExtraRefs(), 0u);
}

TEST(ValueTextTest, NullsToQuestionMarks) {
    const struct {
        std::wstring in, out;
    } cases[] = {
        {L"", L""},
        {L"plain", L"plain"},
        {std::wstring(L"\0", 1), L"?"},
        {std::wstring(L"a\0\0b\0", 5), L"a??b?"},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::NullsToQuestionMarks(c.in), c.out);
}

// ---- TextToVariant ----

// Compares type and value; for a missing-argument marker, the marker's code.
void ExpectVariant(const Variant& actual, const Variant& expected) {
    ASSERT_EQ(actual.Type(), expected.Type());
    const VARIANT& a = actual.Get();
    const VARIANT& e = expected.Get();
    switch (expected.Type()) {
    case VT_I4: EXPECT_EQ(V_I4(&a), V_I4(&e)); break;
    case VT_I2: EXPECT_EQ(V_I2(&a), V_I2(&e)); break;
    case VT_UI1: EXPECT_EQ(V_UI1(&a), V_UI1(&e)); break;
    case VT_I8: EXPECT_EQ(V_I8(&a), V_I8(&e)); break;
    case VT_R4: EXPECT_EQ(V_R4(&a), V_R4(&e)); break;
    case VT_R8: EXPECT_DOUBLE_EQ(V_R8(&a), V_R8(&e)); break;
    case VT_CY: EXPECT_EQ(V_CY(&a).int64, V_CY(&e).int64); break;
    case VT_DATE: EXPECT_NEAR(V_DATE(&a), V_DATE(&e), 1e-9); break;
    case VT_BOOL: EXPECT_EQ(V_BOOL(&a), V_BOOL(&e)); break;
    case VT_ERROR: EXPECT_EQ(V_ERROR(&a), V_ERROR(&e)); break;
    case VT_DISPATCH: EXPECT_EQ(V_DISPATCH(&a), V_DISPATCH(&e)); break;
    case VT_BSTR: EXPECT_EQ(qs::BstrText(V_BSTR(&a)), qs::BstrText(V_BSTR(&e))); break;
    default: FAIL() << "unexpected type " << expected.Type();
    }
}

struct ParseCase {
    std::wstring text;
    VARTYPE vt;
    Variant expected;
};

void ExpectParses(const std::vector<ParseCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "text \"" << std::string(c.text.begin(), c.text.end()) << "\", vt "
                                        << c.vt);
        ExpectVariant(qs::TextToVariant(c.text, c.vt), c.expected);
    }
}

const Variant kMissing = Variant::Missing();
const Variant kNothing = Variant::FromDispatch(nullptr);

TEST(ValueTextTest, TextToVariantKeywordsAndQuotes) {
    ExpectParses({
        {L"\"42\"", VT_I4, Str(L"42")},
        {L"\"\"", VT_I4, Str(L"")},
        {L"\"a \"\"b\"\"\"", VT_BSTR, Str(L"a \"\"b\"\"")}, // nothing inside is unescaped
        {L"\"", VT_BSTR, Str(L"\"")},                         // one quote is not a quoted text
        {L"\"empty\"", VT_VARIANT, Str(L"empty")},
        {L"empty", VT_BSTR, kMissing},
        {L"EmPtY", VT_I4, kMissing},
        {L"Nothing", VT_I4, kNothing},
        {L"NOTHING", VT_BSTR, kNothing},
        {L"null", VT_VARIANT, kNothing},
        {L"Null", VT_DISPATCH, kNothing},
    });
}

TEST(ValueTextTest, TextToVariantByDeclaredType) {
    ExpectParses({
        {L"5", VT_EMPTY, kMissing},
        {L"5", VT_NULL, kMissing},
        {L"5", VT_DISPATCH, kMissing},
        {L"5", VT_UNKNOWN, kMissing},
        {L"42", VT_I4, Variant::FromI4(42)},
        {L" -7 ", VT_I2, Variant::FromI4(-7)},
        {L"200", VT_UI1, Variant::FromI4(200)},
        {L"abc", VT_I4, kMissing},
        {L"", VT_I4, kMissing},
        {L"5000000000", VT_I4, kMissing},
        {Localized(L"2.5"), VT_R8, R8(2.5)},
        {Localized(L"-0.125"), VT_R4, R8(-0.125)},
        {Localized(L"1.2345"), VT_CY, Cy(12345)},
        {L"ten", VT_CY, kMissing},
        {L"hello", VT_BSTR, Str(L"hello")},
        {L"", VT_BSTR, Str(L"")},
        {L" 12 ", VT_CLSID, Str(L" 12 ")},
        {L"typed", 256, Str(L"typed")},
        {L"anything", VT_ERROR, Variant::FromI4(0)},
        {L"TRUE", VT_BOOL, Variant::FromBool(true)},
        {L"yes", VT_BOOL, Variant::FromBool(false)},
        {L"not a date", VT_DATE, kMissing},
    });
}

TEST(ValueTextTest, TextToVariantGuessesForOtherTypes) {
    ExpectParses({
        {L"True", VT_VARIANT, Variant::FromBool(true)},
        {L"FALSE", VT_VARIANT, Variant::FromBool(false)},
        {L"", VT_VARIANT, kMissing},
        {L" -7 ", VT_VARIANT, Variant::FromI4(-7)},
        {L"&H10", VT_VARIANT, Variant::FromI4(16)},
        {L"5000000000", VT_VARIANT, Variant::FromI4(705032704)},
        {L"-1", VT_I8, Variant::FromI4(-1)},
        {Localized(L"1.5"), VT_VARIANT, R8(1.5)}, // a fraction is not rounded to an integer
        {L"1E3", VT_VARIANT, R8(1000.0)},
        {L"99999999999999999999", VT_VARIANT, R8(1e20)},
        {L"words", VT_VARIANT, kMissing},
        {CurrencyText(L"5"), VT_VARIANT, Cy(50000)},
        {L"5", VT_I1, Variant::FromI4(5)}, // unlisted integer types guess too
    });
}

// The dialog's reading: a text of the wrong kind is refused (nullopt below) instead of becoming the
// missing argument; integers keep their own types, range-checked.
TEST(ValueTextTest, TryTextToVariantRefusesWhatDoesNotConvert) {
    const Variant kRefused = Variant::FromI4(0x5EED); // what a refusal leaves
    auto of = [](VARTYPE vt, auto set) { return Make(vt, set); };
    const struct {
        std::wstring text;
        VARTYPE vt;
        Variant expected;
    } cases[] = {
        {L"abc", VT_I4, kRefused},
        {L"", VT_I4, kMissing},
        {L"  ", VT_I2, kMissing},
        {L"", VT_BSTR, Str(L"")},
        {L" 12 ", VT_BSTR, Str(L" 12 ")},
        {L"\"42\"", VT_I4, Str(L"42")},
        {L"nothing", VT_I4, kNothing},
        {L"40000", VT_I2, kRefused},
        {L"-32768", VT_I2, of(VT_I2, [](VARIANT& v) { V_I2(&v) = -32768; })},
        {L"255", VT_UI1, of(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 255; })},
        {L"256", VT_UI1, kRefused},
        {L"-1", VT_UI4, kRefused},
        {L"5000000000", VT_I4, kRefused},
        {L"5000000000", VT_I8 | VT_BYREF, of(VT_I8, [](VARIANT& v) { V_I8(&v) = 5000000000LL; })},
        {L" True ", VT_BOOL, Variant::FromBool(true)},
        {L"-1", VT_BOOL, Variant::FromBool(true)},
        {L"1", VT_BOOL, Variant::FromBool(true)},
        {L"0", VT_BOOL, Variant::FromBool(false)},
        {L"yes", VT_BOOL, kRefused},
        {L"2", VT_BOOL, kRefused},
        {L"0x80004005", VT_ERROR, Variant::FromError(E_FAIL)},
        {L"-2147467259", VT_ERROR, Variant::FromError(E_FAIL)},
        {L"2147500037", VT_ERROR, Variant::FromError(E_FAIL)},
        {L"0x180004005", VT_ERROR, kRefused},
        {L"anything", VT_ERROR, kRefused},
        {L"5000000000", VT_VARIANT, of(VT_I8, [](VARIANT& v) { V_I8(&v) = 5000000000LL; })},
        {L"-7", VT_VARIANT, Variant::FromI4(-7)},
        {L"&HFFFFFFFF", VT_VARIANT, Variant::FromI4(-1)}, // as Visual Basic reads it
        {L"words", VT_VARIANT, kRefused},
        {L"5", VT_DISPATCH, kRefused},
        {Localized(L"1.5"), VT_R4, of(VT_R4, [](VARIANT& v) { V_R4(&v) = 1.5f; })},
        {L"1E39", VT_R4, kRefused},
        {L"not a date", VT_DATE, kRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "text \"" << std::string(c.text.begin(), c.text.end()) << "\", vt " << c.vt);
        Variant got = kRefused;
        const bool converted = qs::TryTextToVariant(c.text, c.vt, got);
        EXPECT_EQ(converted, c.expected.Type() != VT_I4 || V_I4(&c.expected.Get()) != 0x5EED);
        ExpectVariant(got, c.expected);
    }
}

// A few thousand seeded random texts for every parameter type through both readings.
TEST(ValueTextTest, RandomTypedArgumentsConvertOrAreRefusedWithAMessage) {
    const qs::fuzz::Tally t = qs::fuzz::Run("arguments", 20261201, 3000, &qs::fuzz::OneArgument);
    EXPECT_EQ(t.Failures(), 0u) << t.Notes();
    EXPECT_GT(t.accepted, 0u);
    EXPECT_GT(t.rejected, 0u);
}

TEST(ValueTextTest, DateTextsRoundTrip) {
    const DATE when = 45000.5; // 15 March 2023, 12:00
    const std::wstring full = ShortDateTime(when);
    const std::wstring dateOnly = full.substr(0, full.find(L' '));
    const std::wstring timeOnly = full.substr(full.find(L' ') + 1);
    ExpectParses({
        {full, VT_DATE, Date(when)},
        {full, VT_VARIANT, Date(when)},
        {dateOnly, VT_DATE, Date(45000.0)},
        {dateOnly, VT_VARIANT, Date(45000.0)},
        {timeOnly, VT_VARIANT, Date(0.5)},
    });
    EXPECT_EQ(VariantToText(qs::TextToVariant(full, VT_DATE).Get()), full);
}

} // namespace
