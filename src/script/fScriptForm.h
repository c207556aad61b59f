// The stand-alone "Script Editor" window: a parented form holding one script frame that sees the host's
// Application object. Opened by the ribbon's script editor button of every host; UI thread only.
#pragma once

#include "script/fScriptFrame.h"
#include "ui/uParentedWnd.h"

namespace qs {

class TScriptForm : public ui::TParentedForm {
public:
    // A new window owned by the host window AWndParent (may be null), not yet shown. Application (may be
    // null) becomes the global "Application" and its type library is exposed to scripts. The window
    // frees itself when closed. AOwner is not used: the window has no owner control.
    TScriptForm(ui::TControl* AOwner, HWND AWndParent, IDispatch* Application);

    TScriptFrame* ScriptFrame = nullptr;
};

} // namespace qs
