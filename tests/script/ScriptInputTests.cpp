// What the script editor reads from outside: script files (refused with a reason when too large or not
// text in their encoding, saved so that they read back as they were, replaced only by a complete copy)
// and the code editor's edit messages, each also under a few thousand seeded random inputs.
#include "InputFuzz.h"
#include "ScriptTesting.h"
#include "script/fScriptForm.h"

#include <functional>

using namespace qs;
using namespace qs::ui;
using namespace qs::test;

namespace {

// The files beside `path` whose names start with its own name and end in ".tmp".
int TemporariesBeside(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE h = ::FindFirstFileW((path + L".~*.tmp").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return n;
}

// The message of the ComError that f throws; empty when it throws none.
std::wstring ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e.Message().empty() ? L"(empty)" : e.Message();
    }
    return {};
}

class ScriptFiles : public test::ScriptTest {
protected:
    void SetUp() override {
        form = new TScriptForm(nullptr, nullptr, nullptr);
        form->Show();
        TForm::ProcessMessages();
    }
    void TearDown() override {
        form->Free();
        TForm::ProcessMessages();
    }
    TScriptFrame& Frame() { return *form->ScriptFrame; }
    TScriptForm* form = nullptr;
};

// A file that is not text in its own encoding is refused with the reason, and the editor keeps its script.
TEST_F(ScriptFiles, BytesThatAreNotTextInTheirEncodingAreRefusedWithTheReason) {
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* reason;
    } cases[] = {
        {"odd utf-16le", std::string("\xFF\xFEx\0y", 5), L"odd number of bytes"},
        {"odd utf-16be", std::string("\xFE\xFF\0", 3), L"odd number of bytes"},
        {"bad utf-8", "\xEF\xBB\xBFok\xC3", L"not valid UTF-8 (at byte 5)"},
        {"surrogate in utf-8", "\xEF\xBB\xBF\xED\xA0\x80", L"not valid UTF-8 (at byte 3)"},
        {"overlong utf-8", "\xEF\xBB\xBF\xC0\xAF", L"not valid UTF-8 (at byte 3)"},
    };
    const std::wstring path = TempPath(L"qs-input.vbs");
    test::MessageBoxRecorder boxes;
    Frame().Editor().SetLines(L"keep");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(ErrorOf([&] { DecodeScriptFile(c.bytes); }).find(c.reason), std::wstring::npos);
        WriteBytes(path, c.bytes);
        Frame().LoadFromFile(path);
        EXPECT_EQ(Frame().Editor().Lines(), L"keep");
    }
    ASSERT_EQ(boxes.boxes.size(), std::size(cases));
    EXPECT_EQ(boxes.boxes[0].text.rfind(path + L"\r\n", 0), 0u) << "the box names the file";
    ::DeleteFileW(path.c_str());
}

// Sizes beyond the limit, and beyond 32 bits (where a cut size would read one byte), are refused before
// anything is read.
TEST_F(ScriptFiles, FilesOverTheLimitAreRefusedAndTheEditorKeepsItsScript) {
    const std::wstring path = TempPath(L"qs-huge.vbs");
    test::MessageBoxRecorder boxes;
    Frame().Editor().SetLines(L"keep");
    for (const LONGLONG size : {static_cast<LONGLONG>(kMaxScriptFileBytes) + 1, (LONGLONG{1} << 32) + 1}) {
        SCOPED_TRACE(size);
        {
            UniqueHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            LARGE_INTEGER end;
            end.QuadPart = size;
            ASSERT_TRUE(::SetFilePointerEx(h.Get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h.Get()));
        }
        EXPECT_EQ(ErrorOf([&] { ReadScriptFile(path); }), path + L"\r\nThe file is larger than 64 MB and was not opened.");
        Frame().LoadFromFile(path);
        EXPECT_EQ(Frame().Editor().Lines(), L"keep");
    }
    EXPECT_EQ(boxes.boxes.size(), 2u);
    ::DeleteFileW(path.c_str());
}

// Texts that a file without a mark would give back changed are saved with the UTF-8 mark; a text UTF-8
// cannot hold is refused.
TEST(ScriptFileTexts, SavedTextsReadBackAsTheyWere) {
    const struct {
        std::wstring text;
        TScriptEncoding encoding;
    } cases[] = {
        {L"\uFEFFl\u5437", TScriptEncoding::Utf8},      // a leading U+FEFF is not taken for the mark
        {L"\u00EF\u00BB\u00BFx", TScriptEncoding::Ansi}, // the mark's bytes as ANSI text
        {L"\u00FF\u00FEx", TScriptEncoding::Ansi},       // a UTF-16 mark's bytes as ANSI text
        {L"\u00C3\u00A9", TScriptEncoding::Ansi},        // ANSI text whose bytes are UTF-8
        {L"\u4E2D", TScriptEncoding::Ansi},              // beyond the ANSI code page
        {L"", TScriptEncoding::Utf16Be},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fuzz::Printable(c.text));
        EXPECT_EQ(DecodeScriptFile(EncodeScriptFile(c.text, c.encoding)).Text, c.text);
    }
    EXPECT_NE(ErrorOf([] { EncodeScriptFile(L"a\xD800", TScriptEncoding::Utf8Bom); }).find(L"lone surrogate, at offset 1"),
              std::wstring::npos);
}

// A save goes through a temporary file: a successful one leaves none behind; a failed one names the
// file, removes its temporary file and leaves the target as it was.
TEST(ScriptFileTexts, ASaveReplacesTheFileWholeOrNotAtAll) {
    const std::wstring path = TempPath(L"qs-save.vbs");
    WriteBytes(path, "old");
    WriteScriptFile(path, L"new", TScriptEncoding::Ansi);
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(TemporariesBeside(path), 0);

    const std::wstring folder = TempPath(L"qs-save-folder");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(ErrorOf([&] { WriteScriptFile(folder, L"x", TScriptEncoding::Ansi); }).rfind(folder + L"\r\n", 0), 0u);
    EXPECT_EQ(TemporariesBeside(folder), 0);
    EXPECT_NE(::GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    const std::wstring missing = TempPath(L"qs-no-such-folder\\a.vbs");
    EXPECT_EQ(ErrorOf([&] { WriteScriptFile(missing, L"x", TScriptEncoding::Ansi); }).rfind(missing + L"\r\n", 0), 0u);
    ::RemoveDirectoryW(folder.c_str());
    ::DeleteFileW(path.c_str());
}

// A few thousand seeded random files (with and without each mark) and texts in each encoding.
TEST(ScriptFileTexts, RandomBytesDecodeAndReadBackOrAreRefusedWithAMessage) {
    const fuzz::Tally t = fuzz::Run("files", 20261201, 3000, &fuzz::OneScriptFile);
    EXPECT_EQ(t.Failures(), 0u) << t.Notes();
    EXPECT_GT(t.rejected, 0u);
}

// A few thousand seeded random edit messages with offsets, counts and buffers of every size.
TEST(CodeEditorMessages, RandomEditMessagesAnswerWithinTheTextAndTheirBuffers) {
    fuzz::EditorTarget editor;
    const fuzz::Tally t = fuzz::Run("editor", 20261201, 3000, std::ref(editor));
    EXPECT_EQ(t.Failures(), 0u) << t.Notes();
}

} // namespace
