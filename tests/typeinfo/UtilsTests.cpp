// Tests of uUtils: the COM error name table and its lookup, the failed-call message box, the texts and
// errors made from the thread's last Win32 error, and the member-id and flag-word formatting helpers.
#include "typeinfo/uUtils.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using qs::ComError;

// Records every message box shown while it lives and answers IDOK; restores the previous interceptor.
class MessageBoxRecorder {
public:
    MessageBoxRecorder()
        : m_previous(qs::SetMessageBoxInterceptor([this](const qs::MessageBoxRequest& r) {
              requests.push_back(r);
              return IDOK;
          })) {}
    ~MessageBoxRecorder() { qs::SetMessageBoxInterceptor(std::move(m_previous)); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<qs::MessageBoxRequest> requests;

private:
    qs::MessageBoxInterceptor m_previous;
};

bool StartsWith(const std::wstring& s, const std::wstring& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Runs RaiseLastError with the given last error and returns what it threw.
std::optional<ComError> RaiseWith(DWORD lastError, const std::wstring& api) {
    try {
        ::SetLastError(lastError);
        qs::RaiseLastError(api);
    } catch (const ComError& e) {
        return e;
    }
    return std::nullopt;
}

TEST(UtilsHResultNames, HoldsAllNamesInAscendingUnsignedOrder) {
    const auto& table = qs::HResultNames();
    ASSERT_EQ(table.size(), 432u);
    for (size_t i = 1; i < table.size(); ++i) {
        EXPECT_LT(static_cast<ULONG>(table[i - 1].code), static_cast<ULONG>(table[i].code))
            << "row " << i << " " << table[i].name;
    }
}

TEST(UtilsHResultNames, NamesCodesAndFallsBackToHex) {
    struct Case {
        ULONG code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x00000000, L"SUCCESS_SUCCESS"},
        {0x00040000, L"OLE_S_USEREG"}, // success codes sort before every failure
        {0x000401E7, L"MK_S_MONIKERALREADYREGISTERED"},
        {0x8000FFFF, L"E_UNEXPECTED"},
        {0x80020009, L"DISP_E_EXCEPTION"},
        {0x80029C84, L"TYPE_E_CIRCULARTYPE"},
        {0x80070006, L"E_HANDLE"},
        {0x800706BA, L"RPC_S_SERVER_UNAVAILABLE"}, // a Win32 error number in its HRESULT form
        {0x80070702, L"ERROR_REDIRECTOR_HAS_OPEN_HANDLES"},
        {0x800B010A, L"CERT_E_CHAINING"},
        {0x00000001, L"0x00000001"}, // S_FALSE
        {0x80004002, L"0x80004002"}, // E_NOINTERFACE
        {0x80004005, L"0x80004005"}, // E_FAIL
        {0x8007000E, L"0x8007000E"}, // E_OUTOFMEMORY: upper-case digits
        {0x000006BA, L"0x000006BA"}, // the bare Win32 number is not a name
        {0xFFFFFFFF, L"0xFFFFFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qs::HResultToName(static_cast<HRESULT>(c.code)), c.text) << std::hex << c.code;
    }
}

TEST(UtilsCheckHResult, SuccessShowsNothing) {
    MessageBoxRecorder recorder;
    for (HRESULT hr : {S_OK, S_FALSE, static_cast<HRESULT>(0x7FFFFFFF)}) {
        EXPECT_TRUE(qs::CheckHResult(hr, L"IDispatch::QueryInterface", nullptr)) << hr;
    }
    EXPECT_TRUE(recorder.requests.empty());
}

TEST(UtilsCheckHResult, FailureShowsErrorBoxNamingTheCode) {
    struct Case {
        HRESULT hr;
        const wchar_t* name;
    };
    const Case cases[] = {
        {DISP_E_EXCEPTION, L"DISP_E_EXCEPTION"},
        {E_NOINTERFACE, L"0x80004002"},
    };
    const HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    for (const auto& c : cases) {
        MessageBoxRecorder recorder;
        EXPECT_FALSE(qs::CheckHResult(c.hr, L"IDispatch::QueryInterface", owner));
        ASSERT_EQ(recorder.requests.size(), 1u);
        const auto& r = recorder.requests[0];
        EXPECT_EQ(r.text, std::wstring(L"IDispatch::QueryInterface returned\r\n") + c.name);
        EXPECT_EQ(r.caption, L"IDispatch::QueryInterface");
        EXPECT_EQ(r.flags, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(r.owner, owner);
    }
}

TEST(UtilsLastError, KnownCodeCarriesTheSystemText) {
    DWORD code = 0;
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    const std::wstring text = qs::LastErrorText(code);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::wstring prefix = L"GetLastError = 2, FormatMessage = ";
    ASSERT_TRUE(StartsWith(text, prefix)) << text;
    EXPECT_GT(text.size(), prefix.size());
    EXPECT_EQ(text.back(), L'\n') << "the system text keeps its line break";
}

TEST(UtilsLastError, UnknownCodeReadsInDecimalAndHex) {
    DWORD code = 0;
    ::SetLastError(0x2000ABCD); // a customer code: the system has no text for it
    EXPECT_EQ(qs::LastErrorText(code), L"GetLastError returned 536914893 (0x2000ABCD)");
    EXPECT_EQ(code, 0x2000ABCDu);
}

TEST(UtilsLastError, RaiseMakesSystemErrorFromTheLastError) {
    struct Case {
        DWORD lastError;
        ULONG hr;
    };
    const Case cases[] = {
        {0, 0},                            // no error stays 0, not 0x80070000
        {ERROR_ACCESS_DENIED, 0x80070005}, // Win32 number in HRESULT form
        {0x2000ABCD, 0x8007ABCD},          // only the low 16 bits survive
    };
    for (const auto& c : cases) {
        const auto e = RaiseWith(c.lastError, L"LoadImageA");
        ASSERT_TRUE(e.has_value()) << c.lastError;
        EXPECT_EQ(static_cast<ULONG>(e->Hr()), c.hr);
        EXPECT_EQ(e->Kind(), qs::ErrorKind::System);
        EXPECT_EQ(e->HelpContext(), 0u);
        const std::wstring prefix = L"Error in LoadImageA: GetLastError";
        EXPECT_TRUE(StartsWith(e->Message(), prefix)) << e->Message();
    }
}

TEST(UtilsLastError, RaiseMessageCarriesTheLastErrorText) {
    const auto e = RaiseWith(ERROR_ACCESS_DENIED, L"X");
    ASSERT_TRUE(e.has_value());
    EXPECT_TRUE(StartsWith(e->Message(), L"Error in X: GetLastError = 5, FormatMessage = ")) << e->Message();
}

TEST(UtilsFormatting, StripLeadingZeros) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"00000041", L"41"}, {L"00000000", L"0"}, {L"0", L"0"},     {L"", L""},
        {L"100", L"100"},     {L"0A0", L"A0"},     {L"x00", L"x00"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(qs::StripLeadingZeros(in), out) << in;
}

TEST(UtilsFormatting, BitsToStrings) {
    const std::vector<DWORD> paramBits = {1, 2, 4, 8, 16};
    const std::vector<std::wstring> paramNames = {L"in", L"out", L"lcid", L"retval", L"opt"};
    struct Case {
        DWORD value;
        std::vector<DWORD> bits;
        std::vector<std::wstring> names;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {0x13, paramBits, paramNames, L"in\r\nout\r\nopt"},
        {0x103, {1, 2}, {L"in", L"out"}, L"in\r\nout\r\n0x00000100"},
        {0x80000000, {}, {}, L"0x80000000"},
        {0x5, {0x6, 0x1}, {L"both", L"one"}, L"one\r\n0x00000004"}, // a mask counts only when complete
        {0x3, {0x3, 0x1}, {L"pair", L"one"}, L"pair"},              // claimed bits are not named twice
        {0, {1, 0, 0}, {L"in", L"none", L"nothing"}, L"none"},      // zero picks the first zero mask
        {0, paramBits, paramNames, L""},                            // no zero mask: empty
        {0x4, {0, 4}, {L"none", L"lcid"}, L"lcid"},                 // a zero mask never matches a value
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qs::BitsToStrings(c.value, c.bits, c.names, L"\r\n"), c.expected) << std::hex << c.value;
    }
    EXPECT_EQ(qs::BitsToStrings(0x13, paramBits, paramNames, L", "), L"in, out, opt");
}

TEST(UtilsFormatting, BitsToStringsRejectsUnequalArrays) {
    try {
        qs::BitsToStrings(1, {1, 2}, {L"in"}, L" ");
        FAIL() << "no error";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Message(), L"BitsToStrings: arrays have different lengths");
    }
}

} // namespace
