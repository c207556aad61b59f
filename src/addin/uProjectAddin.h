// The Project add-in: Project's ribbon buttons, the objects they open and the window the tool's
// windows are parented to.
#pragma once

#include "addin/uGenericAddin.h"

namespace qs {

class TProjectAddin : public TGenericAddin {
public:
    // Holds Project's _MSProject; throws ComError(E_NOINTERFACE) when Application does not answer it.
    explicit TProjectAddin(IDispatch* Application);
    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors of a click are shown in an "Error" box owned by GetActiveHwnd(); nothing is thrown.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // Application.Hwnd, or the foreground window.
    HWND GetActiveHwnd() override;

private:
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
