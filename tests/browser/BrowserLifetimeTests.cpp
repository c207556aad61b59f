// Browser windows opened and closed many times leave nothing behind: every GDI object a window made
// for itself is deleted with it.
#include "Fixtures.h"
#include "browser/fDispatchBrowser.h"

#include <gtest/gtest.h>

using namespace qs;
using namespace qs::test;
using namespace qs::ui;

namespace {

TEST(BrowserLifetime, HundredWindowsOpenedAndClosedKeepNoGdiObject) {
    auto fixture = FixtureDispatch::Create();
    auto other = FixtureDispatch::Create();
    fixture->child = other;
    auto openShowingALink = [&]() -> HFONT {
        const Variant v = Variant::FromDispatch(fixture.Get());
        auto* w = dynamic_cast<TDispatchBrowser*>(BrowseValue(nullptr, v.Get(), nullptr));
        TForm::ProcessMessages();
        if (!w) return nullptr;
        // An object-valued property shows its value as a link, in a font of the window's own.
        for (HTREEITEM c : w->PropertiesTreeView->ChildrenOf(w->MainPropertyNode()))
            if (w->PropertiesTreeView->ItemText(c) == L"Typed") w->PropertiesTreeView->Select(c);
        TForm::ProcessMessages();
        EXPECT_TRUE(w->PropertyValueEdit->LinkStyle());
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(w->PropertyValueEdit->Handle(), WM_GETFONT, 0, 0));
        w->Close();
        TForm::ProcessMessages();
        return font;
    };
    openShowingALink(); // the framework's shared objects exist from here on
    const DWORD before = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    int alive = 0;
    for (int i = 0; i < 100; ++i) {
        const HFONT font = openShowingALink();
        ASSERT_TRUE(font);
        if (::GetObjectType(font) != 0) ++alive;
    }
    EXPECT_EQ(alive, 0);
    // Where the platform counts GDI objects (Windows), the count is where it was.
    EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), before);
    EXPECT_TRUE(TParentedForm::ParentedForms().empty());
    EXPECT_EQ(fixture->ExtraRefs(), 0u);
}

} // namespace
