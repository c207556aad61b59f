// The About window.
#include "addin/fAbout.h"

#include <algorithm>

namespace qs {

namespace {

constexpr wchar_t kDescription[] =
    L"Quillspar is an object browser for developers that lives inside the Office applications. Starting "
    L"from the host's Application and its active objects, it lists every property, method and event that "
    L"an object's type information declares, shows current values, calls methods, follows objects into "
    L"further windows, walks collections, logs events, and runs VBScript or JScript against the live "
    L"objects.";

} // namespace

TAboutForm::TAboutForm(HWND AWndParent) : TParentedForm(AWndParent) {
    // A fixed dialog frame: no resizing, no minimise or maximise box.
    LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    ::SetWindowLongPtrW(Handle(), GWL_STYLE, style);
    ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetCaptionW(L"About Quillspar");
    Position = ui::TPosition::ScreenCenter;
    SetClientSize(360, 196);

    ProductLabel = new ui::TLabel(this, L"Quillspar");
    ProductLabel->Name = L"ProductLabel";
    ProductLabel->SetBounds(16, 16, 328, 16);
    VersionLabel = new ui::TLabel(this, L"Version 1.0");
    VersionLabel->Name = L"VersionLabel";
    VersionLabel->SetBounds(16, 36, 328, 16);
    DescriptionLabel = new ui::TLabel(this, kDescription);
    DescriptionLabel->Name = L"DescriptionLabel";
    DescriptionLabel->SetBounds(16, 62, 328, 84);
    btnOK = new ui::TButton(this, L"OK");
    btnOK->Name = L"btnOK";
    btnOK->ModalResult = IDOK;
    btnOK->Default = true;
    btnOK->SetBounds(272, 160, 72, 24);
}

void ShowAboutWindow(HWND AWndParent) {
    // Closing the host window while the About window is up closes it for good; the holder frees it.
    const ui::TFormHolder<TAboutForm> form(AWndParent);
    form->ShowModal();
}

} // namespace qs
