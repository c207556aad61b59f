// The Excel add-in: Excel's ribbon buttons, the objects they open and the window the tool's
// windows are parented to.
#pragma once

#include "addin/uGenericAddin.h"

namespace qs {

class TExcelAddin : public TGenericAddin {
public:
    // Holds Excel's _Application (and turns ForwardAllKeys on); throws ComError(E_NOINTERFACE) when Application does
    // not answer it.
    explicit TExcelAddin(IDispatch* Application);
    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors of the property reads are thrown.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // Application.Hwnd, or the foreground window.
    HWND GetActiveHwnd() override;

private:
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
