// The OneNote add-in: the table of OneNote's buttons and what they open.
#include "addin/uOneNoteAddin.h"

#include "addin/uOfficeApps.h"

namespace qs {

using Microsoft::WRL::ComPtr;

namespace {

const THostButtons& Buttons() {
    static const THostButtons buttons = [] {
        THostButtons host;
        host.objectModelLabel = L"OneNote Object Model";
        host.objectModel = {
            ApplicationButton(L"Application", L"OneNote", L"OneNoteApplication"),
            SpecialButton(L"Window", L"Window", L"Window",
                          L"Active Window object from the Application.Windows collection", L"OneNoteWindow"),
        };
        return host;
    }();
    return buttons;
}

} // namespace

TOneNoteAddin::TOneNoteAddin(IDispatch* Application)
    : TGenericAddin(Application), fApplication(QueryHostApplication(Application, kOneNoteApplicationIID)) {}

std::wstring TOneNoteAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(RibbonGroups(Buttons()));
}

ComPtr<IDispatch> TOneNoteAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    return ButtonImage(Buttons(), RibbonControl);
}

void TOneNoteAddin::OnButtonClick(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    const TObjectButton* button = FindObjectButton(Buttons(), id);
    if (!button) return;
    if (!button->special) {
        OpenObjectButton(fApplication.Get(), *button);
        return;
    }
    // The first window of Application.Windows that reports itself active.
    const Variant windows = ReadProperty(fApplication.Get(), L"Windows");
    const ComPtr<IDispatch> collection = ValueObject(windows.Get());
    if (!collection) return;
    const LONG count = ReadCount(collection.Get());
    for (LONG i = 1; i <= count; ++i) {
        const Variant window = ReadItem(collection.Get(), Variant::FromI4(i));
        const ComPtr<IDispatch> object = ValueObject(window.Get());
        if (!object) continue;
        Variant active = ReadProperty(object.Get(), L"Active");
        Variant asBool;
        if (FAILED(::VariantChangeType(asBool.Put(), &active.Get(), 0, VT_BOOL))) continue;
        if (V_BOOL(&asBool.Get()) != VARIANT_FALSE) {
            OpenBrowser(window);
            return;
        }
    }
}

HWND TOneNoteAddin::GetActiveHwnd() {
    return ActiveHwndOf(fApplication.Get(), L"Hwnd");
}

} // namespace qs
