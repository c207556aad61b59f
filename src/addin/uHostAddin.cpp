// The add-in of an Office host, driven by the host's row of the host table.
#include "addin/uHostAddin.h"

#include "addin/uAddinGlobals.h"

namespace qs {

using Microsoft::WRL::ComPtr;

THostAddin::THostAddin(const TOfficeAppInfo& host, IDispatch* Application)
    : TGenericAddin(Application), m_host(host), fApplication(QueryHostApplication(Application, host.addinIID)) {
    // In Excel the keyboard hook hands every key and character to the tool's windows.
    if (m_host.forwardsAllKeys) ForwardAllKeys = true;
}

std::wstring THostAddin::GetCustomUI(const std::wstring&) {
    return RibbonMarkup(m_host.RibbonGroups());
}

ComPtr<IDispatch> THostAddin::OnGetButtonImage(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    const std::vector<TRibbonGroup> groups = m_host.RibbonGroups();
    const TRibbonButton* button = FindRibbonButton(groups, id);
    if (!button) return nullptr;
    return LoadButtonImage(button->image);
}

void THostAddin::OnButtonClick(IDispatch* RibbonControl) {
    if (!m_host.showsClickErrors) {
        ClickButton(RibbonControl);
        return;
    }
    // Every error of a click, the control's own included, is shown to the user here.
    ShowingErrors([&] { ClickButton(RibbonControl); });
}

void THostAddin::ClickButton(IDispatch* RibbonControl) {
    const std::wstring id = RibbonControlId(RibbonControl);
    if (ClickCommonButton(id)) return;
    if (const THostButton* button = m_host.FindButton(id))
        OpenBrowser(button->FetchObject(fApplication.Get()), button->page);
}

HWND THostAddin::GetActiveHwnd() {
    // Reading the owner (Word's and Publisher's active window) is not guarded: its error is the caller's.
    const Variant owner = ReadPath(fApplication.Get(), m_host.hwndOwner);
    return ActiveHwndOf(ValueObject(owner.Get()).Get(), m_host.hwndProperty);
}

} // namespace qs
