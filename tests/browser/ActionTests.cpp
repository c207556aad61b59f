// Acting on an object from its window: the Functions page with the parameters dialog, and
// QueryInterface with the interface dialog and the GUID texts it reads.
#include "Fixtures.h"
#include "InputFuzz.h"
#include "browser/fDispatchBrowser.h"
#include "browser/uBrowserModel.h"
#include "browser/fFunctionParamsDlg.h"
#include "browser/fSelectGUIDDialog.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

// Installs a modal interceptor for the life of the object.
class ModalDriver {
public:
    explicit ModalDriver(ModalInterceptor f) : m_previous(SetModalInterceptor(std::move(f))) {}
    ~ModalDriver() { SetModalInterceptor(std::move(m_previous)); }

private:
    ModalInterceptor m_previous;
};

class Acting : public ::testing::Test {
protected:
    void SetUp() override { fixture = FixtureDispatch::Create(); }
    void TearDown() override {
        for (auto* f : TParentedForm::ParentedForms()) f->Free();
        TForm::ProcessMessages();
        EXPECT_TRUE(TParentedForm::ParentedForms().empty());
        EXPECT_EQ(fixture->ExtraRefs(), 0u);
    }
    TDispatchBrowser* Open() {
        const Variant v = Variant::FromDispatch(fixture.Get());
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), nullptr));
        TForm::ProcessMessages();
        while (w && w->BuildNextPage()) {} // every page built, as once the window has been idle
        return w;
    }
    static void SelectFunction(TDispatchBrowser* w, const std::wstring& name) {
        for (int i = 0; i < w->FunctionsListView->Count(); ++i)
            if (w->FunctionsListView->ItemText(i) == name) w->FunctionsListView->Select(i);
        TForm::ProcessMessages();
    }
    size_t CallsOf(DISPID id) const {
        return static_cast<size_t>(std::count_if(fixture->calls.begin(), fixture->calls.end(),
                                                 [&](const FixtureCall& c) { return c.id == id; }));
    }
    ComPtr<FixtureDispatch> fixture;
};

// The filter keeps the functions whose names contain its text, letter case ignored; the selected one
// stays selected while it matches; Escape clears the filter.
TEST_F(Acting, TheFunctionsFilterKeepsMatchesAndTheSelectionThatStillMatches) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    const int all = w->FunctionsListView->Count();
    SelectFunction(w, L"Partial");
    auto shown = [&] {
        std::vector<std::wstring> names;
        for (int i = 0; i < w->FunctionsListView->Count(); ++i) names.push_back(w->FunctionsListView->ItemText(i));
        return names;
    };
    auto selected = [&] {
        const int i = w->FunctionsListView->Selected();
        return i < 0 ? std::wstring() : w->FunctionsListView->ItemText(i);
    };
    const struct {
        const wchar_t* filter;
        const wchar_t* selected;
    } cases[] = {{L"ART", L"Partial"}, {L"al", L"Partial"}, {L"ai", L""}, {L"zzz", L""}};
    for (const auto& c : cases) {
        w->FunctionsFilterEdit->SetText(c.filter);
        TForm::ProcessMessages();
        for (const std::wstring& name : shown())
            EXPECT_NE(UpperName(name).find(UpperName(c.filter)), std::wstring::npos) << c.filter << " " << name;
        EXPECT_EQ(selected(), c.selected) << c.filter;
    }
    EXPECT_TRUE(shown().empty());
    ::SendMessageW(w->FunctionsFilterEdit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    TForm::ProcessMessages();
    EXPECT_EQ(w->FunctionsFilterEdit->Text(), L"");
    EXPECT_EQ(w->FunctionsListView->Count(), all);
}

TEST_F(Acting, FunctionsPageListsMethodsAndIndexedPropertiesWithTheirDetails) {
    TDispatchBrowser* w = Open();
    ASSERT_TRUE(w);
    std::vector<std::wstring> names;
    for (int i = 0; i < w->FunctionsListView->Count(); ++i) names.push_back(w->FunctionsListView->ItemText(i));
    // Methods and the accessors that take parameters, sorted; no plain property.
    EXPECT_NE(std::find(names.begin(), names.end(), L"Add"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"Item"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), L"Name"), names.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_FALSE(w->ToolBar3->ButtonEnabled(w->CallButton));

    SelectFunction(w, L"Add");
    EXPECT_EQ(w->FunctionDispIdEdit->Text(), L"6   (0x6)");
    EXPECT_EQ(w->edtInvKind->Text(), L"INVOKE_FUNC");
    ASSERT_EQ(w->ParametersListView->Count(), 2);
    EXPECT_NE(w->ParametersListView->ItemText(1, 1).find(L"default \"10\""), std::wstring::npos);
    EXPECT_TRUE(w->ToolBar3->ButtonEnabled(w->CallButton));
}

TEST_F(Acting, TheParametersDialogGivesValuesInDeclarationOrderAndCancelMakesNoCall) {
    TDispatchBrowser* w = Open();
    SelectFunction(w, L"Add");
    MessageBoxRecorder boxes; // the call reports its outcome in a box
    std::wstring caption;
    // Filled from the last cell up, ended by Enter inside a cell being edited.
    {
        ModalDriver driver([&](TForm& form) {
            auto& dlg = dynamic_cast<TFunctionParamsDlg&>(form);
            caption = dlg.Text();
            EXPECT_EQ(dlg.Grid->Cell(0, 0), L"Parameter");
            EXPECT_EQ(dlg.Grid->Cell(0, 2), L"b");
            dlg.Grid->SetCell(2, 2, L"3");
            dlg.Grid->SetCell(2, 1, L"2");
            ::SendMessageW(dlg.Grid->Editor(2, 1), WM_KEYDOWN, VK_RETURN, 0);
            return dlg.ModalResult;
        });
        w->CallButtonClick();
    }
    EXPECT_EQ(caption, L"Function Parameters - Add()");
    ASSERT_EQ(CallsOf(fxAdd), 1u);
    const FixtureCall& call = fixture->calls.back();
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(V_I4(&call.args[1].Get()), 2); // rgvarg: last argument first
    EXPECT_EQ(V_I4(&call.args[0].Get()), 3);

    // Escape from a cell cancels: no call.
    {
        ModalDriver driver([&](TForm& form) {
            auto& dlg = dynamic_cast<TFunctionParamsDlg&>(form);
            ::SendMessageW(dlg.Grid->Editor(2, 2), WM_KEYDOWN, VK_ESCAPE, 0);
            return dlg.ModalResult;
        });
        w->CallButtonClick();
    }
    EXPECT_EQ(CallsOf(fxAdd), 1u);
}

// A cell that does not convert keeps the dialog open with that cell selected and says why; corrected,
// the call goes out with every argument.
TEST_F(Acting, TheParametersDialogRefusesATextThatDoesNotConvert) {
    TDispatchBrowser* w = Open();
    SelectFunction(w, L"Add");
    MessageBoxRecorder boxes;
    int firstResult = -1;
    POINT focused{};
    {
        ModalDriver driver([&](TForm& form) {
            auto& dlg = dynamic_cast<TFunctionParamsDlg&>(form);
            dlg.Grid->SetCell(2, 1, L"1");
            dlg.Grid->SetCell(2, 2, L"abc");
            ::SendMessageW(dlg.Grid->Editor(2, 1), WM_KEYDOWN, VK_RETURN, 0);
            firstResult = dlg.ModalResult;
            focused = dlg.Grid->FocusedCell();
            dlg.Grid->SetCell(2, 2, L"");
            dlg.OKBtn->Click();
            return dlg.ModalResult;
        });
        w->CallButtonClick();
    }
    EXPECT_EQ(firstResult, 0);
    EXPECT_EQ(focused.x, 2);
    EXPECT_EQ(focused.y, 2);
    ASSERT_GE(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"b: \"abc\" is not an Integer");
    EXPECT_EQ(boxes.boxes[0].caption, L"Error");
    ASSERT_EQ(CallsOf(fxAdd), 1u);
    const FixtureCall& call = fixture->calls.back();
    ASSERT_EQ(call.args.size(), 2u);
    EXPECT_EQ(V_I4(&call.args[1].Get()), 1);
    EXPECT_EQ(call.args[0].Type(), VT_ERROR); // the empty cell: the optional argument left out
}

TEST(GUIDTexts, TheListAndTypedTextsGiveTheRightGUID) {
    const std::vector<TGUIDEntry> entries =
        GUIDEntries({{L"IID_IDispatch", IID_IDispatch}, {L"IID_IUnknown", IID_IUnknown}, {L"no guid", std::nullopt}});
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Text, L"IID_IUnknown"); // names on top, the latest first
    EXPECT_EQ(entries[1].Text, L"IID_IDispatch");

    GUID memoryOrder; // the bytes 00 02 04 00 00 00 00 00 C0 00 ... 46 as they lie in memory
    const unsigned char bytes[16] = {0x00, 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    std::memcpy(&memoryOrder, bytes, sizeof memoryOrder);
    const std::wstring digits = L"0002040000000000C000000000000046";
    struct Case {
        std::wstring text;
        std::optional<GUID> expected;
    };
    const Case cases[] = {
        {L"iid_idispatch", IID_IDispatch},
        {L"  IID_IUnknown ", IID_IUnknown},
        {L"00020400-0000-0000-C000-000000000046", IID_IDispatch},
        {L"{00020400-0000-0000-C000-000000000046", IID_IDispatch},
        {L"00020400-0000-0000-C000-000000000046}", IID_IDispatch},
        {digits, memoryOrder},
        {digits + L"7", memoryOrder}, // 33 digits: the first 32
        {digits.substr(1), std::nullopt},
        {digits + L"77", std::nullopt},
        {L"", std::nullopt},
        {L"not a guid", std::nullopt},
        {L"{00020400-0000-0000-C000-000000000046}" + std::wstring(1, L'\0') + L"x", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        const std::optional<GUID> got = GUIDFromText(c.text, entries);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_TRUE(IsEqualGUID(*got, *c.expected));
        }
    }
    EXPECT_FALSE(IsEqualGUID(memoryOrder, IID_IDispatch));
}

// A few thousand seeded random texts, digit strings and lists for the interface dialog.
TEST(GUIDTexts, RandomTextsGiveTheirGUIDOrNone) {
    const fuzz::Tally t = fuzz::Run("guids", 20261201, 3000, &fuzz::OneGuidText);
    EXPECT_EQ(t.Failures(), 0u) << t.Notes();
    EXPECT_GT(t.rejected, 0u);
}

// An object whose type information declares only IDispatch's own methods has nothing to call.
TEST(ActingOnBareObjects, OnlyIDispatchMethodsLeaveTheFunctionsPageEmpty) {
    ComPtr<ITypeLib> stdole;
    ASSERT_HRESULT_SUCCEEDED(::LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_USER_DEFAULT, &stdole));
    ComPtr<BareDispatch> object = BareDispatch::Create();
    ASSERT_HRESULT_SUCCEEDED(stdole->GetTypeInfoOfGuid(IID_IDispatch, &object->typeInfo));
    {
        const Variant v = Variant::FromDispatch(object.Get());
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), nullptr));
        ASSERT_TRUE(w);
        TForm::ProcessMessages();
        EXPECT_EQ(w->Text(), L"IDispatch");
        w->ShowTab(TDispatchBrowserTab::bsFunctions);
        EXPECT_EQ(w->FunctionsListView->Count(), 0);
        EXPECT_FALSE(w->ToolBar3->ButtonEnabled(w->CallButton));
        w->Free();
        TForm::ProcessMessages();
    }
    EXPECT_EQ(object->RefCount(), 1u);
}

TEST_F(Acting, QueryInterfaceOpensAWindowForIDispatchAndShowsBoxesOtherwise) {
    TDispatchBrowser* w = Open();
    MessageBoxRecorder boxes;
    auto queryWith = [&](const std::wstring& typed) {
        ModalDriver driver([&](TForm& form) {
            auto& dlg = dynamic_cast<TSelectGUIDDialog&>(form);
            EXPECT_EQ(dlg.Text(), L"IDispatch::QueryInterface");
            dlg.GUIDComboBox->SetText(typed);
            dlg.OKBtn->Click();
            return dlg.ModalResult ? dlg.ModalResult : IDCANCEL;
        });
        w->btnQueryInterfaceClick();
    };
    queryWith(L"IID_IUnknown");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Successfully called IDispatch::QueryInterface(" + GuidToString(IID_IUnknown) + L")");
    EXPECT_EQ(boxes.boxes[0].caption, L"IDispatch::QueryInterface");

    queryWith(L"{11111111-2222-3333-4444-555555555555}");
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].caption, L"IDispatch::QueryInterface");
    EXPECT_EQ(boxes.boxes[1].text.rfind(L"IDispatch::QueryInterface returned", 0), 0u);

    // Text that is no GUID keeps the dialog open with the message.
    queryWith(L"xyz");
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[2].text, L"Could not convert string to GUID");
    EXPECT_EQ(boxes.boxes[2].caption, L"Error");

    const size_t before = TParentedForm::ParentedForms().size();
    queryWith(L"IID_IDispatch");
    EXPECT_EQ(TParentedForm::ParentedForms().size(), before + 1);
}

} // namespace
