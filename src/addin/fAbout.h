// The About window: the product's name, its version from the DLL's version block, what the tool does,
// where the DLL is, how long the add-in took to start in this host and whether the host lists it among
// its disabled items, with an OK button. A parented form shown modally over the host window. UI
// thread only.
#pragma once

#include "ui/uControls.h"
#include "ui/uParentedWnd.h"

#include <string>

namespace qs {

class TAboutForm : public ui::TParentedForm {
public:
    // `host` is the host's registry name ("Excel"), for its disabled items; empty: not looked up.
    explicit TAboutForm(HWND AWndParent, const std::wstring& host = {});

    ui::TLabel* ProductLabel = nullptr;
    ui::TLabel* VersionLabel = nullptr;
    ui::TLabel* DescriptionLabel = nullptr;
    ui::TLabel* PathLabel = nullptr;
    ui::TLabel* StartupLabel = nullptr;
    ui::TLabel* DisabledLabel = nullptr;
    ui::TButton* btnOK = nullptr;
};

// Creates the About window owned by AWndParent, shows it modally and frees it when it closes.
void ShowAboutWindow(HWND AWndParent, const std::wstring& host = {});

// The version of a module from its version block ("1.0.0.0"), read from its resources; empty when it
// has none.
std::wstring ModuleVersion(HMODULE module);
// Whether the host lists the DLL among the add-ins it disabled after a crash: a value under
// HKCU\Software\Microsoft\Office\<version>\<host>\Resiliency\DisabledItems whose data holds the
// DLL's path (UTF-16, letter case ignored).
bool HostDisabledTheAddin(const std::wstring& host, const std::wstring& dllPath);

} // namespace qs
