// The script frame's automation object "Globals": BrowseObject opens a browser window on a value the
// script holds, and Debug gives a new debug object on every read. The browser is a layer above this
// one, so BrowseObject reaches it through a handler that the module installs at start-up. UI thread.
#pragma once

#include "script/uScriptDebug.h"
#include "ui/uControls.h"

#include <functional>

namespace qs {

// Opens a browser window on Value: OwnerForm is the form that contains the script (the parent
// browser when it is one; may be null), WndParent the owner window for the new window (may be null).
// A value that cannot be browsed opens nothing.
using TBrowseValueHandler = std::function<void(ui::TForm* OwnerForm, const VARIANT& Value, HWND WndParent)>;

// Creates the class factories of the globals and debug objects (once per COM server) and installs the
// handler through which BrowseObject opens windows. Never throws: a failure is traced, and creating
// the objects then fails.
void InitializeScriptObjects(TBrowseValueHandler browseValue) noexcept;
// The handler installed now; returns the previous one (tests, the console runner).
TBrowseValueHandler SetBrowseValueHandler(TBrowseValueHandler handler);

class TScriptGlobals : public TPMAutoObject, public IScriptGlobals {
public:
    QS_COM_OBJECT_IUNKNOWN()
    QS_AUTO_OBJECT_IDISPATCH()

    void Initialize() override;

    // Opens a browser window on Value through the installed handler: the form containing Parent is
    // the owner form, its owner window (when it is a parented form) the new window's owner. References
    // to VARIANTs are followed. S_OK once the handler has returned, whatever it opened.
    STDMETHODIMP BrowseObject(VARIANT Value) override;
    // A new debug object writing to Strings, on every call.
    STDMETHODIMP get_Debug(IScriptDebug** Value) override;

    ui::TControl* Parent() const noexcept { return FParent; }
    void SetParent(ui::TControl* value) noexcept { FParent = value; }
    PaneLines* Strings() const noexcept { return FStrings; }
    void SetStrings(PaneLines* value) noexcept { FStrings = value; }

private:
    ui::TControl* FParent = nullptr; // the frame; not owned
    PaneLines* FStrings = nullptr;   // not owned
};

// A new globals object with its parent control and debug lines (either may be null); creates the
// factories when needed. Throws ComError when the module's type library lacks the classes.
Microsoft::WRL::ComPtr<IScriptGlobals> NewScriptGlobals(ui::TControl* parent, PaneLines* strings);

} // namespace qs
