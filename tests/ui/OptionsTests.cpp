// The settings store against the real registry: each test works in a scratch key of its own under
// HKEY_CURRENT_USER\Software\QuillsparTests, deleted afterwards.
#include "InputFuzz.h"
#include "common/qsHandles.h"
#include "ui/uOptions.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <functional>
#include <vector>

using namespace qs;

namespace {

struct RawValue {
    DWORD type = REG_NONE; // REG_NONE: no such value
    std::wstring text;     // the data as UTF-16, up to the first NUL
};

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        GUID guid{};
        ASSERT_EQ(::CoCreateGuid(&guid), S_OK);
        m_path = L"Software\\QuillsparTests\\" + GuidToString(guid);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    m_scratch.Put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        m_scratch.Reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuillsparTests"); // fails while other runs use it
    }

    // The store's key below HKEY_CURRENT_USER; it does not exist until a test writes to it.
    std::wstring StoreKey() const { return m_path + L"\\Settings"; }

    void Put(const wchar_t* name, DWORD type, const void* data, size_t size) {
        ASSERT_EQ(::RegSetKeyValueW(m_scratch.Get(), L"Settings", name, type, data, static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    }
    void Put(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        Put(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }

    RawValue Get(const std::wstring& name, const wchar_t* subKey = L"Settings") const {
        RawValue v;
        std::vector<wchar_t> data(2048);
        DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (::RegGetValueW(m_scratch.Get(), subKey, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &v.type, data.data(),
                           &size) != ERROR_SUCCESS)
            return RawValue{};
        v.text = data.data();
        return v;
    }

    std::wstring m_path;
    UniqueHkey m_scratch;
};

TEST_F(OptionsTest, LoadsStringsAndIntegersSkipsOtherTypesAndSavesStrings) {
    const DWORD five = 5, allBits = 0xFFFFFFFF, shortDword = 7;
    const unsigned long long big = 0x200000000ULL;
    const BYTE blob[] = {1, 2, 3, 4};
    Put(L"Plain", L"text");
    Put(L"Expand", L"%TEMP%\\q", REG_EXPAND_SZ);
    Put(L"Count", REG_DWORD, &five, sizeof(five));
    Put(L"AllBits", REG_DWORD, &allBits, sizeof(allBits));
    Put(L"Big", REG_QWORD, &big, sizeof(big));
    Put(L"Bare", REG_SZ, L"abc", 3 * sizeof(wchar_t)); // stored without a terminator
    Put(L"Blob", REG_BINARY, blob, sizeof(blob));
    Put(L"Multi", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));
    Put(L"Short", REG_DWORD, &shortDword, 2); // an integer of the wrong size

    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"Plain", L"text"},         {L"Expand", L"%TEMP%\\q"}, {L"Count", L"5"},
        {L"AllBits", L"4294967295"}, {L"Big", L"8589934592"},  {L"Bare", L"abc"}};
    TOptions options;
    options.Load(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(options.Count(), std::size(expected));
    for (const auto& [name, text] : expected) EXPECT_EQ(options.GetValue(name), text) << name;

    options.Save(HKEY_CURRENT_USER, StoreKey());
    for (const auto& [name, text] : expected) {
        EXPECT_EQ(Get(name).type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(Get(name).text, text) << name;
    }
    EXPECT_EQ(Get(L"Blob").type, static_cast<DWORD>(REG_BINARY)); // skipped values are left alone
}

TEST_F(OptionsTest, EmptiedEntriesAreDeletedAtSaveUnlessRefilledAndStayPending) {
    Put(L"Script7", L"old");
    Put(L"Script8", L"old");
    TOptions options;
    options.Load(HKEY_CURRENT_USER, StoreKey());
    options.SetValue(L"Script7", L"");
    options.SetValue(L"Script8", L"");
    options.SetValue(L"Script8", L"new");
    options.Save(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(Get(L"Script7").type, static_cast<DWORD>(REG_NONE));
    EXPECT_EQ(Get(L"Script8").text, L"new");
    EXPECT_EQ(options.NamesToDelete(), std::vector<std::wstring>{L"Script7"});

    // Written again behind the store's back: the next save deletes it again.
    Put(L"Script7", L"again");
    options.Save(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(Get(L"Script7").type, static_cast<DWORD>(REG_NONE));
}

TEST_F(OptionsTest, LoadWithdrawsPendingNamesOnlyForValuesWithText) {
    Put(L"Script7", L"loaded");
    Put(L"Script9", L""); // an empty text counts as emptying the setting
    TOptions options;
    options.SetValue(L"Script7", L"");
    options.SetValue(L"Script8", L"");
    options.Load(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(options.NamesToDelete(), (std::vector<std::wstring>{L"Script8", L"Script9"}));
    EXPECT_EQ(options.Count(), 1u);
}

TEST(Options, NamesIgnoreCaseAndLinesKeepInsertionOrder) {
    TOptions options;
    options.SetValue(L"Script2", L"b");
    options.SetValue(L"ScriptLanguage", L"VBScript");
    options.SetValue(L"Script1", L"a");
    options.SetValue(L"SCRIPTLANGUAGE", L"JavaScript"); // replaces in place, keeping the first spelling
    ASSERT_EQ(options.Count(), 3u);
    EXPECT_EQ(options.NameAt(0), L"Script2");
    EXPECT_EQ(options.NameAt(1), L"ScriptLanguage");
    EXPECT_EQ(options.ValueAt(1), L"JavaScript");
    EXPECT_EQ(options.NameAt(2), L"Script1");
    EXPECT_EQ(options.GetValue(L"scriptlanguage"), L"JavaScript");
    EXPECT_EQ(options.GetValue(L"Script3"), L"");

    options.SetValue(L"script2", L"");
    options.SetValue(L"SCRIPT2", L""); // recorded once whatever the spelling
    EXPECT_EQ(options.NamesToDelete(), std::vector<std::wstring>{L"script2"});
    options.SetValue(L"Script2", L"back"); // withdrawn under another spelling, and added at the end
    EXPECT_TRUE(options.NamesToDelete().empty());
    ASSERT_EQ(options.Count(), 3u);
    EXPECT_EQ(options.NameAt(2), L"Script2");
}

TEST_F(OptionsTest, MissingKeyLoadsEmptyAndTheSaveCreatesIt) {
    TOptions options;
    options.SetValue(L"Stale", L"from before");
    options.Load(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(options.Count(), 0u);
    options.SetValue(L"ScriptLanguage", L"JavaScript");
    options.Save(HKEY_CURRENT_USER, StoreKey());
    EXPECT_EQ(Get(L"ScriptLanguage").text, L"JavaScript");
}

TEST_F(OptionsTest, NonAsciiNamesAndValuesRoundTrip) {
    const std::wstring name = L"Σκριπτ\u811a\u672c";
    const std::wstring value = L"αβγ ΑΒΓ \u4e2d\u6587\u6f22\u5b57 \U0001F600 e\u0301 \u00ff";
    TOptions written;
    written.SetValue(name, value);
    written.Save(HKEY_CURRENT_USER, StoreKey());
    TOptions read;
    read.Load(HKEY_CURRENT_USER, StoreKey());
    ASSERT_EQ(read.Count(), 1u);
    EXPECT_EQ(read.NameAt(0), name);
    EXPECT_EQ(read.ValueAt(0), value);
    EXPECT_EQ(read.GetValue(L"σκριπτ\u811a\u672c"), value); // Greek compares without regard to case too
}

// Restores HKEY_CURRENT_USER on every exit of a test that redirected it.
struct CurrentUserRedirect {
    explicit CurrentUserRedirect(HKEY target) { ok = ::RegOverridePredefKey(HKEY_CURRENT_USER, target) == 0; }
    ~CurrentUserRedirect() { ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr); }
    bool ok;
};

TEST_F(OptionsTest, GlobalStoreSavesUnderTheCurrentUsersKey) {
    const wchar_t marker[] = L"OptionsTestsMarker";
    {
        CurrentUserRedirect redirect(m_scratch.Get());
        ASSERT_TRUE(redirect.ok);
        Options().SetValue(marker, L"1");
        SaveOptions();
    }
    Options().SetValue(marker, L"");
    const RawValue saved = Get(marker, kOptionsKey);
    EXPECT_EQ(saved.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(saved.text, L"1");
}

// A few thousand seeded random values of every type and size (odd, unterminated, 64 KiB) under names
// of the script history and others: the store and the history read from it hold exactly the strings and
// integers, and every other value is passed over with a line in the trace.
TEST(Options, RandomRegistryValuesLoadAsTheirTextOrArePassedOverWithATrace) {
    fuzz::RegistryTarget registry;
    const fuzz::Tally t = fuzz::Run("registry", 20261201, 2000, std::ref(registry), registry.Trace());
    EXPECT_EQ(t.Failures(), 0u) << t.Notes();
    EXPECT_GT(t.accepted, 0u);
}

} // namespace
