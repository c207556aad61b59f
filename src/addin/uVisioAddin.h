// The Visio add-in: Visio's ribbon buttons, the objects they open and the window the tool's
// windows are parented to.
#pragma once

#include "addin/uGenericAddin.h"

namespace qs {

class TVisioAddin : public TGenericAddin {
public:
    // Holds Visio's IVApplication; throws ComError(E_NOINTERFACE) when Application does not answer it.
    explicit TVisioAddin(IDispatch* Application);
    std::wstring GetCustomUI(const std::wstring& RibbonID) override;
    Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl) override;
    // Errors of the property reads are thrown.
    void OnButtonClick(IDispatch* RibbonControl) override;
    // Application.WindowHandle32, or the foreground window.
    HWND GetActiveHwnd() override;

private:
    Microsoft::WRL::ComPtr<IDispatch> fApplication;
};

} // namespace qs
