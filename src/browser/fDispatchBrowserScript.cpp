// The Script page of a browser window: a script frame whose scripts see the host's Application and
// the browsed object by name, and whose procedures named after the object and an event run when that
// event fires.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "common/qsModule.h"

#include <cwctype>

using Microsoft::WRL::ComPtr;
using namespace qs::ui;

namespace qs {

namespace {

std::wstring UpperCase(std::wstring text) {
    if (!text.empty())
        ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

ComPtr<IUnknown> Identity(IUnknown* object) {
    ComPtr<IUnknown> identity;
    if (object) object->QueryInterface(IID_PPV_ARGS(&identity));
    return identity;
}

void TDispatchBrowser::BuildScriptPage() {
    ScriptFrame = new TScriptFrame(tsScript);
    ScriptFrame->Name = L"ScriptFrame";
    ScriptFrame->SetAlign(TAlign::Client);
}

void TDispatchBrowser::ScriptFrameRunButtonClick() {
    if (ScriptFrame) ScriptFrame->Run();
}

void TDispatchBrowser::AddScriptGlobals() {
    if (!ScriptFrame || !FTypeInfo) return; // the page names its objects when it is built
    IDispatch* application = HostApplication.Get();
    TExposedTypeLibs& libs = ScriptFrame->ScriptHost().ExposedTypeLibs();
    if (application) {
        ScriptFrame->SetGlobalObjects(L"Application", application);
        libs.AddContainingTypeLib(application);
    }
    // The browsed object is named as well unless it is the Application itself.
    const ComPtr<IUnknown> browsed = Identity(FDispatch.Get());
    if (application && browsed.Get() == Identity(application).Get()) return;
    const std::wstring name = ScriptObjectName(FTypeInfo->Name());
    if (name.empty()) return; // a type name without letters names nothing a script could use
    ScriptFrame->SetGlobalObjects(name, FDispatch.Get());
    libs.AddContainingTypeLib(FDispatch.Get());
}

std::wstring TDispatchBrowser::RunEventProcedure(const std::wstring& EventName, DISPPARAMS& Params,
                                                 VARIANT* VarResult) {
    if (!ScriptFrame || !FTypeInfo) return {};
    const std::wstring name = EventProcedureName(FTypeInfo->Name(), EventName);
    if (name.empty() || UpperCase(ScriptFrame->Editor().Lines()).find(UpperCase(name)) == std::wstring::npos)
        return {};

    const TOwnCode own = EnterOwnCode();
    TScriptErrorInfo error;
    const HRESULT hr = ScriptFrame->ExecuteProcedure(Handle(), name, Params, VarResult, error);
    if (own.Closed()) return {};
    if (hr == E_PENDING)
        return L"(" + name + L" not run: " + std::to_wstring(TScriptFrame::kMaxNestedProcedures) +
               L" event procedures are running inside each other)";
    // The name occurs in the text (in a comment, inside a longer name) but the script defines no such
    // procedure: the event has none.
    if (hr == DISP_E_UNKNOWNNAME) return {};
    if (hr == S_OK) return {};
    // One box at a time: an object that fires while it is up (a storm of changes, the box's own
    // message loop) gets its failures logged instead of a stack of boxes inside its calls.
    if (fScriptErrorShown) return L"(" + name + L" failed: " + OneLineText(error.Text) + L")";
    fScriptErrorShown = true;
    struct ShownUntilClosed {
        bool& flag;
        ~ShownUntilClosed() { flag = false; }
    } shown{fScriptErrorShown};
    ShowMessageBox(Handle(), L"Error executing script:\r\n" + error.Text, L"Script Error", MB_ICONERROR);
    if (!own.Closed()) ScriptFrame->MarkError(error);
    return {};
}

} // namespace qs
