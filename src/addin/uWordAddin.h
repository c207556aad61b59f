// The Word add-in: Word's ribbon buttons, the objects they open and the window the tool's
// windows are parented to.
#pragma once

#include "addin/uGenericAddin.h"

namespace qs {

class TWordAddin : public TGenericAddin {
public:
    // Holds Word's _Application; throws ComError(E_NOINTERFACE) when Application does not answer it.
    explicit TWordAddin(IDispatch* Application);
    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors of the property reads are thrown.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // Application.ActiveWindow.Hwnd; an error reading the active window is thrown, a nil one gives the foreground
    // window.
    HWND GetActiveHwnd() override;

private:
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
