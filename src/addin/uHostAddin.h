// The add-in of an Office host: one class that serves every row of the host table, taking the host's
// ribbon, button objects, window-handle rule and error reporting from its row.
#pragma once

#include "addin/uOfficeApps.h"

namespace qs {

class THostAddin : public TGenericAddin {
public:
    // Holds the row's add-in interface of Application (and, where the row says so, turns ForwardAllKeys
    // on); throws ComError(E_NOINTERFACE) when Application does not answer it. The row must outlive the
    // add-in.
    THostAddin(const TOfficeAppInfo& host, IDispatch* Application);

    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors are shown in an "Error" box owned by GetActiveHwnd() when the row says so (nothing is
    // thrown then), and thrown otherwise.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // The row's window-handle property, or the foreground window. An error reading the object that
    // holds the property is thrown.
    HWND GetActiveHwnd() override;
    std::wstring RegistryName() const override { return m_host.registryName; }

private:
    void ClickButton(IDispatch* RibbonControl);

    const TOfficeAppInfo& m_host;
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
