// The About window: the product's name, version and what the tool does, with an OK button. A parented
// form shown modally over the host window. UI thread only.
#pragma once

#include "ui/uControls.h"
#include "ui/uParentedWnd.h"

namespace qs {

class TAboutForm : public ui::TParentedForm {
public:
    explicit TAboutForm(HWND AWndParent);

    ui::TLabel* ProductLabel = nullptr;
    ui::TLabel* VersionLabel = nullptr;
    ui::TLabel* DescriptionLabel = nullptr;
    ui::TButton* btnOK = nullptr;
};

// Creates the About window owned by AWndParent, shows it modally and frees it when it closes.
void ShowAboutWindow(HWND AWndParent);

} // namespace qs
