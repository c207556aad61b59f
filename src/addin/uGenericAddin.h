// The contract of a per-host add-in (TGenericAddin) and the mechanics that the nine hosts share: the
// ribbon markup builder, button images, the object paths behind the buttons, the click handling of the
// common buttons, and the window-handle lookup. Everything runs on the host's UI thread.
#pragma once

#include "browser/uBrowserText.h"
#include "typeinfo/uTypeInfo.h"

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class TValueBrowser;

// One ribbon button: its full id ("Quillspar_" + role), texts and icon resource name.
struct TRibbonButton {
    std::wstring id;
    std::wstring label;
    std::wstring screentip;
    std::wstring supertip;
    std::wstring image;
};

// One group of the add-in's ribbon tab.
struct TRibbonGroup {
    std::wstring id;
    std::wstring label;
    std::vector<TRibbonButton> buttons;
};

// The ids of the buttons that every host has.
inline constexpr wchar_t kScriptEditorId[] = L"Quillspar_ScriptEditor";
inline constexpr wchar_t kApplicationId[] = L"Quillspar_Application";
inline constexpr wchar_t kAboutId[] = L"Quillspar_About";

TRibbonButton ScriptEditorButton();
TRibbonButton AboutButton();
// The whole customUI document for the groups: CR LF line breaks, two spaces per level.
std::wstring RibbonMarkup(const std::vector<TRibbonGroup>& groups);

// Button ids are compared without regard to case.
bool SameButtonId(const std::wstring& a, const std::wstring& b) noexcept;
const TRibbonButton* FindRibbonButton(const std::vector<TRibbonGroup>& groups, const std::wstring& id) noexcept;

// The id of a ribbon control. Throws ComError when the control does not answer IRibbonControl or the
// read fails.
std::wstring RibbonControlId(IDispatch* RibbonControl);

// The icon resource `name` of this module at 48 by 48 pixels as an OLE picture (IPictureDisp). Throws
// the system error for "LoadImageA" when the icon cannot be loaded, ComError when the picture cannot be
// made. The caller owns the returned reference.
Microsoft::WRL::ComPtr<IDispatch> LoadButtonImage(const std::wstring& name);

// True when GetIDsOfNames resolves `name` on the object (null interface ID, the thread's locale).
bool DispatchHasMember(IDispatch* object, const std::wstring& name) noexcept;

// Value helpers for walking the hosts' object models. A nil value is empty, null, or a null object.
bool IsNilValue(const VARIANT& v) noexcept;
// The object a value holds (VT_DISPATCH, or VT_UNKNOWN answering IDispatch); null for anything else.
Microsoft::WRL::ComPtr<IDispatch> ValueObject(const VARIANT& v);
// A property read by name (property get, no arguments). Throws ComError on failure.
Variant ReadProperty(IDispatch* object, const std::wstring& name);
// The collection item `index` (Item with one argument, by name). Throws ComError on failure.
Variant ReadItem(IDispatch* collection, const Variant& index);
// The collection's Count as an integer. Throws ComError when it cannot be read or converted.
LONG ReadCount(IDispatch* collection);
// Reads the properties of `path` in turn, starting at `root`. A step that yields nil (or a value that
// is not an object where another step follows) ends the walk with an empty value; the last value is
// returned as it comes. Errors of the reads are thrown.
Variant ReadPath(IDispatch* root, const std::vector<std::wstring>& path);

// The window handle rule of every host: the object's `property`, read by name when the object has such
// a member and converted to an unsigned 64-bit integer; any error there gives 0. A null object or a
// zero handle gives the foreground window.
HWND ActiveHwndOf(IDispatch* object, const std::wstring& property) noexcept;

// The per-host add-in that the add-in container creates and drives. Methods may throw; the container
// turns what escapes into the failure HRESULT of the host's call.
class TGenericAddin {
public:
    // The base ignores Application. A host's constructor asks it for the host's Application interface
    // and throws ComError(E_NOINTERFACE) when it is not answered.
    explicit TGenericAddin(IDispatch* Application);
    virtual ~TGenericAddin();
    TGenericAddin(const TGenericAddin&) = delete;
    TGenericAddin& operator=(const TGenericAddin&) = delete;

    virtual void OnStartupComplete();
    virtual void OnDisconnection();
    // The ribbon markup, whatever ribbon is asked for; the base returns the empty string.
    virtual std::wstring GetCustomUI(const std::wstring& RibbonID);
    virtual void OnAddInsUpdate(SAFEARRAY** custom);
    virtual void OnBeginShutdown(SAFEARRAY** custom);
    // RibbonControl is the ribbon's IRibbonUI; it is not kept.
    virtual void OnLoadRibbon(IDispatch* RibbonControl);
    // The picture for the control's button, or null for an unknown id (the base: always null).
    virtual Microsoft::WRL::ComPtr<IDispatch> OnGetButtonImage(IDispatch* RibbonControl);
    virtual void OnButtonClick(IDispatch* RibbonControl);
    // The window that the tool's windows are parented to; the base answers the foreground window.
    virtual HWND GetActiveHwnd();
    // The host's name in the registry ("Excel"); empty for the base.
    virtual std::wstring RegistryName() const { return {}; }

protected:
    // Application asked for the host's interface `iid`, held through its IDispatch; throws
    // ComError(E_NOINTERFACE) when the interface is refused.
    static Microsoft::WRL::ComPtr<IDispatch> QueryHostApplication(IDispatch* Application, const IID& iid);
    // The script editor and About buttons; true when `id` was one of them.
    bool ClickCommonButton(const std::wstring& id);
    // Opens a browser window on the value, parented to GetActiveHwnd(); nothing (null) for a nil value
    // or one that cannot be browsed. GetActiveHwnd is asked only when there is something to open.
    TValueBrowser* OpenBrowser(const Variant& value, std::optional<TDispatchBrowserTab> page = std::nullopt);
    // Runs a click handler and shows any error in an "Error" box owned by GetActiveHwnd() (the hosts
    // that report click errors to the user). Never throws.
    void ShowingErrors(const std::function<void()>& handler) noexcept;
};

} // namespace qs
