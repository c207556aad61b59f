// The stand-alone script editor window. See fScriptForm.h.
#include "script/fScriptForm.h"

namespace qs {

TScriptForm::TScriptForm(ui::TControl*, HWND AWndParent, IDispatch* Application) : TParentedForm(AWndParent) {
    Name = L"ScriptForm";
    SetCaptionW(L"Script Editor");
    SetClientSize(682, 434);
    Position = ui::TPosition::ScreenCenter;
    ScriptFrame = new TScriptFrame(this);
    ScriptFrame->SetAlign(ui::TAlign::Client);
    if (Application) {
        ScriptFrame->SetGlobalObjects(L"Application", Application);
        ScriptFrame->ScriptHost().ExposedTypeLibs().AddContainingTypeLib(Application);
    }
    Realign();
    OnShow = [this](ui::TForm&) { ScriptFrame->Editor().SetFocus(); };
}

} // namespace qs
