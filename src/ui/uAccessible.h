// IAccessible for controls that draw their own parts: a control describes its parts as a tree of
// elements (TAccessibleModel) and one small COM object per element answers accessibility clients from
// that description. The system's accessibility library (oleacc) is loaded from the system folder when
// first needed, so the module does not import it. UI thread only.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

namespace qs::ui {

// Where an element sits below its control: child indexes from the control down. {} is the control
// itself, {2} its third child, {2, 0} the first child of that one.
using TAccPath = std::vector<int>;

// What a client is told about one element.
struct TAccElement {
    LONG Role = ROLE_SYSTEM_CLIENT;
    std::wstring Name;
    bool HasValue = false; // false: the element has no value (get_accValue answers DISP_E_MEMBERNOTFOUND)
    std::wstring Value;
    LONG State = 0; // STATE_SYSTEM_* flags
    RECT Screen{};  // the element's rectangle in screen coordinates
};

// The control's side. The objects hold it weakly and call it only while it lives and AccWindow() is a
// live window; every path they pass was checked against AccChildCount first. Methods may throw.
class TAccessibleModel {
public:
    virtual ~TAccessibleModel() = default;
    // The control's window; null once it is destroyed (the objects then answer CO_E_OBJNOTCONNECTED).
    virtual HWND AccWindow() const noexcept = 0;
    virtual int AccChildCount(const TAccPath& path) const = 0;
    virtual TAccElement AccDescribe(const TAccPath& path) const = 0;
    // The deepest element at a point on the screen; false when the point is outside the control.
    virtual bool AccHitTest(POINT screen, TAccPath& path) const = 0;
    // The deepest element that has the keyboard focus; false when none of the control's has it.
    virtual bool AccFocus(TAccPath& path) const = 0;
    // Sets an element's value: S_OK, E_ACCESSDENIED for a read-only value, DISP_E_MEMBERNOTFOUND for an
    // element without one.
    virtual HRESULT AccSetValue(const TAccPath& path, const std::wstring& value) = 0;
    // Gives an element the keyboard focus; false when it cannot take it.
    virtual bool AccTakeFocus(const TAccPath& path) = 0;
};

// Makes the IAccessible object of the element at `path`. It keeps no reference to the control: once the
// model is gone or its window destroyed, and when its element no longer exists, every method answers
// CO_E_OBJNOTCONNECTED. It holds a module lock while it lives. Throws std::bad_alloc.
Microsoft::WRL::ComPtr<IAccessible> CreateAccessible(std::weak_ptr<TAccessibleModel> model, TAccPath path);

// Answers WM_GETOBJECT for OBJID_CLIENT with the model's root object. False for other objects, or when
// the accessibility library is not available: the caller then leaves the message to the default.
bool AnswerGetObject(const std::shared_ptr<TAccessibleModel>& model, WPARAM wParam, LPARAM lParam,
                     LRESULT& result) noexcept;
// Answers WM_GETOBJECT for OBJID_CLIENT with the system's proxy for a control of a standard class
// ("EDIT": it reads the text through the messages of that class, which the window must answer); where
// the system has no such proxy (Wine), its standard client object. False when neither is available.
bool AnswerGetObjectAs(HWND hwnd, const wchar_t* systemClass, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept;

} // namespace qs::ui
