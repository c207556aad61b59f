// The Access add-in: Access's ribbon buttons, the objects they open and the window the tool's
// windows are parented to.
#pragma once

#include "addin/uGenericAddin.h"

namespace qs {

class TAccessAddin : public TGenericAddin {
public:
    // Holds Access's _Application; throws ComError(E_NOINTERFACE) when Application does not answer it.
    explicit TAccessAddin(IDispatch* Application);
    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors of a click are shown in an "Error" box owned by GetActiveHwnd(); nothing is thrown.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // Application.hWndAccessApp, or the foreground window.
    HWND GetActiveHwnd() override;

private:
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
