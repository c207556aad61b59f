// The small window framework: controls that own their HWND, know their parent, alignment, bounds,
// visibility and enabled state, lay out aligned children on resize, and report events through
// std::function handlers; forms with modeless and modal showing and close actions. Everything runs
// on the UI thread. Window procedures catch every exception; nothing unwinds into the host.
#pragma once

#include "common/qsHandles.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qs::ui {

enum class TAlign { None, Top, Bottom, Left, Right, Client };

// Sent to a form to release it once the messages already queued for it are handled.
constexpr UINT WM_QS_RELEASE = WM_APP + 0x51;

// The module whose resources the framework uses (images, manifest): the module holding this code.
HINSTANCE FrameworkModule() noexcept;
// The font of the system's windows: "Tahoma", 8 point at 96 DPI. Owned by the framework.
HFONT DefaultFont() noexcept;
// Releases what the framework holds for the module: unregisters its window classes, deletes its font
// and releases its activation context. Only when no window of ours exists (the module's finalisation);
// the next window made starts over.
void FinalizeFramework() noexcept;

class TForm;

// The form's own code on the stack. While a TOwnCode of a form lives, the form is not destroyed: a
// form closed meanwhile (by the user, a script, the host window's hook, or its window destroyed with
// its owner) disappears at once (hidden, FormClosing run) and is destroyed when the last TOwnCode of
// it ends. Every message the framework delivers to a form or one of its controls runs inside one;
// code reaching a form from elsewhere (an event from a COM object, a modal dialog's caller, a test)
// takes one with EnterOwnCode. After anything that calls out (Invoke, a script, a message box, a
// modal loop), Closed() says whether the form was closed meanwhile: then touch nothing that a closed
// form should not do (open no windows, show no boxes) and return. UI thread only.
class TOwnCode {
public:
    TOwnCode() noexcept = default;
    explicit TOwnCode(TForm* form) noexcept;
    TOwnCode(TOwnCode&& other) noexcept : m_form(std::exchange(other.m_form, nullptr)) {}
    TOwnCode& operator=(TOwnCode&&) = delete;
    TOwnCode(const TOwnCode&) = delete;
    ~TOwnCode();
    // The form was closed for good while this scope lived (never for a scope on no form).
    bool Closed() const noexcept;
    TForm* Form() const noexcept { return m_form; }

private:
    TForm* m_form = nullptr;
};

// Base of every control. A control is created with its parent (null only for forms) and creates its
// window at once. While its window is attached it holds a module lock (the window's procedure is ours). The parent owns its children: deleting a control deletes its children first.
class TControl {
public:
    explicit TControl(TControl* parent);
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    HWND Handle() const noexcept { return m_hwnd; }
    TControl* Parent() const noexcept { return m_parent; }
    const std::vector<TControl*>& Children() const noexcept { return m_children; }
    TForm* Form() const noexcept { return m_form; } // the form this control sits on (itself for a form)
    // Expires when the control is destroyed (TWeakLink).
    std::weak_ptr<const void> LifeToken() const;
    std::wstring Name;      // the name the window's design gives the control, for tests and tracing

    // Geometry, in pixels relative to the parent's client area (screen for top-level windows).
    void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const noexcept;
    int Left() const noexcept { return BoundsRect().left; }
    int Top() const noexcept { return BoundsRect().top; }
    int Width() const noexcept;
    int Height() const noexcept;
    void SetWidth(int w) { SetBounds(Left(), Top(), w, Height()); }
    void SetHeight(int h) { SetBounds(Left(), Top(), Width(), h); }
    void SetLeft(int l) { SetBounds(l, Top(), Width(), Height()); }
    void SetTop(int t) { SetBounds(Left(), t, Width(), Height()); }
    RECT ClientRect() const noexcept;

    TAlign Align() const noexcept { return m_align; }
    void SetAlign(TAlign align);

    bool Visible() const noexcept;
    virtual void SetVisible(bool visible);
    bool Enabled() const noexcept;
    virtual void SetEnabled(bool enabled);

    std::wstring Text() const;
    void SetText(const std::wstring& text);

    void SetFocus();
    bool Focused() const noexcept;

    // Lays out the aligned children in the client area: top, bottom, left, right, then client.
    void Realign();

    // Handlers.
    std::function<void(TControl&)> OnResize;

    // The framework control that owns hwnd, or null.
    static TControl* FromHandle(HWND hwnd) noexcept;

    // Called for notifications (WM_NOTIFY) and commands (WM_COMMAND) that the parent reflects back
    // to the control that sent them. Return true when handled; `result` is the message's answer.
    virtual bool HandleNotify(NMHDR& nm, LRESULT& result);
    virtual bool HandleCommand(WORD code, WORD id, LRESULT& result);
    // Colour messages (WM_CTLCOLOR*) reflected by the parent; return a brush or null for the default.
    virtual HBRUSH HandleCtlColor(HDC dc);
    // Owner-draw messages reflected by the parent. Return true when handled.
    virtual bool HandleDrawItem(DRAWITEMSTRUCT& dis);
    virtual bool HandleMeasureItem(MEASUREITEMSTRUCT& mis);

protected:
    // Creates the window of a class; `subclass` routes a standard control's messages to HandleMessage.
    void CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle, bool subclass, HWND owner = nullptr);
    // Messages of the window. The default calls the original procedure (or DefWindowProc).
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT CallDefault(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called after the window was resized (children already laid out).
    virtual void Resized();
    // Detaches this control and all its descendants from their windows and destroys the windows, so
    // that no message reaches an object being destroyed. Derived destructors of windows whose
    // handlers use their own state call it first; TForm::Free does.
    void DestroyHandleTree() noexcept;
    void AttachHandle(HWND hwnd) noexcept;
    void DetachHandle() noexcept;

    // The framework's own window class (panels, forms): messages go to HandleMessage.
    static const wchar_t* RegisterFrameworkClass(const wchar_t* name, UINT classStyle, HBRUSH background,
                                                 HCURSOR cursor);
    static LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    // The window procedure of subclassed standard controls, and their original procedure.
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    static LRESULT CallOriginal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    // Common handling for containers: reflect WM_NOTIFY/WM_COMMAND/WM_CTLCOLOR* to the sending
    // child. Returns true when the message was one of those and was answered.
    bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND m_hwnd = nullptr;
    bool m_subclassed = false;
    bool m_ownClass = false;
    bool m_destroying = false;
    TForm* m_form = nullptr; // the form at the root of the parent chain; set by TForm for itself

private:
    void RemoveChild(TControl* child) noexcept;

    TControl* m_parent;
    mutable std::shared_ptr<const void> m_life; // made on the first LifeToken
    std::vector<TControl*> m_children;
    TAlign m_align = TAlign::None;
};

// Disables windows while it lives and enables again, on every exit, those it disabled: each only when
// it was enabled before, and still exists. A window of ours asking something of the user (a dialog, a
// box owned by another window) or waiting on a call it made is disabled so, and cannot be closed or
// used underneath. At most four windows.
class TDisabledWindows {
public:
    TDisabledWindows() noexcept = default;
    explicit TDisabledWindows(HWND hwnd) noexcept { Disable(hwnd); }
    ~TDisabledWindows() { Restore(); }
    TDisabledWindows(const TDisabledWindows&) = delete;
    TDisabledWindows& operator=(const TDisabledWindows&) = delete;
    void Disable(HWND hwnd) noexcept;
    void Restore() noexcept;

private:
    HWND m_windows[4] = {};
};

// A link to a control that does not keep it alive: Get() is null once the control is destroyed. For
// objects that may outlive the window they serve (script objects, sinks).
template <class T>
class TWeakLink {
public:
    TWeakLink() noexcept = default;
    explicit TWeakLink(T* control) : m_control(control) {
        if (control) m_token = control->LifeToken();
    }
    T* Get() const noexcept { return m_token.expired() ? nullptr : m_control; }

private:
    T* m_control = nullptr;
    std::weak_ptr<const void> m_token;
};

// A plain container with an optional raised or sunken edge.
class TPanel : public TControl {
public:
    enum class TBevel { None, Raised, Lowered };
    explicit TPanel(TControl* parent, TBevel bevel = TBevel::None);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Static text.
class TLabel : public TControl {
public:
    TLabel(TControl* parent, const std::wstring& caption);
    void AutoSize(); // fits the bounds to the caption
};

// A single-line or multi-line edit box. Read-only boxes may take a background colour; a multi-line
// box used as a log has no length limit.
class TEdit : public TControl {
public:
    struct Options {
        bool multiLine = false;
        bool readOnly = false;
        bool hScroll = false;
        bool vScroll = false;
        bool wordWrap = true;
    };
    TEdit(TControl* parent, Options options);
    explicit TEdit(TControl* parent) : TEdit(parent, Options{}) {}

    bool ReadOnly() const noexcept;
    // The background: a system colour index (COLOR_WINDOW, COLOR_BTNFACE).
    void SetColor(int sysColor);
    int Color() const noexcept { return m_sysColor; }
    // Link style: blue, underlined text and a hand cursor.
    void SetLinkStyle(bool link);
    bool LinkStyle() const noexcept { return m_link; }
    // Appends text at the end without moving the view more than needed.
    void Append(const std::wstring& text);
    void SelectAll();

    std::function<void(TEdit&)> OnClick;
    std::function<void(TEdit&)> OnChange;
    // A key pressed in the box (Escape included, which a dialog would take otherwise); setting `key`
    // to 0 consumes it.
    std::function<void(TEdit&, WORD& key)> OnKeyDown;
    // The grey hint shown while the box is empty.
    void SetCueBanner(const std::wstring& text);

    HBRUSH HandleCtlColor(HDC dc) override;
    bool HandleCommand(WORD code, WORD id, LRESULT& result) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    int m_sysColor = COLOR_WINDOW;
    bool m_link = false;
    UniqueHfont m_linkFont;
};

// A push button.
class TButton : public TControl {
public:
    TButton(TControl* parent, const std::wstring& caption);
    std::function<void(TButton&)> OnClick;
    void Click(); // as if the user clicked it (when enabled)
    bool HandleCommand(WORD code, WORD id, LRESULT& result) override;
    int ModalResult = 0; // a form shown modally closes with this result when the button is clicked
    bool Default = false;
};

// A drop-down combo box with an edit field (or a fixed list).
class TComboBox : public TControl {
public:
    TComboBox(TControl* parent, bool dropDownList = false, bool ownerDrawFixed = false);
    void Clear();
    int Add(const std::wstring& text);
    int Count() const;
    std::wstring ItemText(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    std::function<void(TComboBox&)> OnChange;
    std::function<void(TComboBox&, DRAWITEMSTRUCT&)> OnDrawItem;
    int ItemHeight = 0; // for owner-drawn items; 0 keeps the system's height
    bool HandleCommand(WORD code, WORD id, LRESULT& result) override;
    bool HandleDrawItem(DRAWITEMSTRUCT& dis) override;
    bool HandleMeasureItem(MEASUREITEMSTRUCT& mis) override;
};

// A bar that resizes the control aligned before it on the same side.
class TSplitter : public TControl {
public:
    TSplitter(TControl* parent, TAlign align, int thickness = 3);
    int MinSize = 30;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    TControl* Target() const;
    bool m_dragging = false;
    POINT m_start{};
    int m_startSize = 0;
};

// A status bar with one simple panel.
class TStatusBar : public TControl {
public:
    explicit TStatusBar(TControl* parent);
    void SetSimpleText(const std::wstring& text);
    // The text last set (Wine's status bar does not give the simple panel's text back).
    std::wstring SimpleText() const { return m_simpleText; }

private:
    std::wstring m_simpleText;
};

enum class TCloseAction { None, Hide, Free };
enum class TPosition { Designed, ScreenCenter };

// A top-level window. A form created with `new` and shown modeless frees itself when closed with
// TCloseAction::Free; one shown modally returns its ModalResult and is only hidden. A form is never
// destroyed under its own code: see TOwnCode.
class TForm : public TControl {
public:
    // `owner` is the window that owns the form (kept above it); null for none.
    explicit TForm(HWND owner, DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, DWORD exStyle = 0);
    ~TForm() override;

    HWND OwnerWindow() const noexcept { return m_owner; }
    void SetClientSize(int width, int height);
    int MinWidth = 0;
    int MinHeight = 0;
    TPosition Position = TPosition::Designed;

    // Shows the form modeless (centres it first when so positioned). OnShow runs on the first show.
    void Show();
    // Shows the form modally: disables the owner and the calling form (the window of ours that asks,
    // when it is not the owner), runs a nested message loop until ModalResult is set or the form is
    // closed or destroyed, re-enables both (on every exit) and hides the form. Returns ModalResult
    // (IDCANCEL when the form was closed without one, or closed for good during the loop). A caller
    // that reads the form afterwards holds it (TFormHolder), so a close meanwhile cannot free it.
    int ShowModal(TForm* caller = nullptr);
    int ModalResult = 0;
    bool Modal() const noexcept { return m_modal; }

    // Asks the form to close: OnClose decides the action (Hide by default for modal forms, else the
    // form's CloseAction). With TCloseAction::Free the form is closed for good (Free): a caller outside
    // the form's own code must not touch it afterwards.
    void Close();
    // Posts WM_QS_RELEASE: the form is freed after the messages already queued for it. False when it
    // could not be posted (no window).
    bool Release();
    // Closes the form for good and destroys it: at once when none of its own code runs, else when the
    // last TOwnCode of it ends (it is hidden meanwhile). Windows first (no handler runs on a
    // half-destroyed object), then the object.
    void Free() noexcept;
    // The form's own code runs until the returned scope ends.
    TOwnCode EnterOwnCode() noexcept { return TOwnCode(this); }
    // Closed for good: hidden, and destroyed once its own code has returned.
    bool Closing() const noexcept { return m_closing; }
    // Scopes of the form's own code alive now.
    int OwnCodeDepth() const noexcept { return m_ownCode; }

    TCloseAction DefaultCloseAction = TCloseAction::Hide;
    std::function<void(TForm&, TCloseAction&)> OnClose;
    std::function<void(TForm&)> OnShow;
    std::function<void(TForm&)> OnDestroy;
    // Key handler run before dialog navigation; return true when the key was handled.
    std::function<bool(TForm&, const MSG&)> OnShortCut;

    // Offers a message aimed at this form or one of its controls to the form's accelerators and to
    // dialog navigation. Returns true when the message was taken.
    virtual bool PreTranslateMessage(MSG& msg);

    // Processes queued messages until none is left (tests and modal loops).
    static void ProcessMessages();
    // Every form alive in this process, in creation order.
    static const std::vector<TForm*>& AllForms() noexcept;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual void DoClose(TCloseAction& action);
    // Runs once when the form is closed for good, before it waits for its own code to return: unbind
    // what brings work to it from outside (event sinks, timers). Must not throw.
    virtual void FormClosing() noexcept {}

private:
    friend class TOwnCode;
    friend class TControl;
    // Marks the form closed for good, hides it and runs FormClosing (once).
    void CloseForGood() noexcept;
    void DestroyNow() noexcept;

    HWND m_owner;
    bool m_shownOnce = false;
    bool m_modal = false;
    bool m_released = false;
    bool m_closing = false;
    bool m_releasePending = false; // closed by the user: the posted release destroys it
    bool m_deleting = false;
    int m_ownCode = 0;
};

// Holds a form made for one question (a modal dialog): freed when the holder goes, and a close
// meanwhile (its owner destroyed under the dialog) only hides it until then, so the holder may still
// read it. Closed() tells whether that happened.
template <class T>
class TFormHolder {
public:
    template <class... Args>
    explicit TFormHolder(Args&&... args) : m_form(new T(std::forward<Args>(args)...)), m_own(m_form) {}
    ~TFormHolder() { m_form->Free(); } // destroyed when m_own ends, right after
    TFormHolder(const TFormHolder&) = delete;
    TFormHolder& operator=(const TFormHolder&) = delete;
    T* operator->() const noexcept { return m_form; }
    T& operator*() const noexcept { return *m_form; }
    T* Get() const noexcept { return m_form; }
    bool Closed() const noexcept { return m_own.Closed(); }

private:
    T* m_form;
    TOwnCode m_own;
};

// The form (or control chain) that owns a window: walks from hwnd up its parents to the first window
// that belongs to the framework. Null when none does.
TControl* FindOwnControl(HWND hwnd) noexcept;

// Offers a message to the framework's pre-translation chain: the form owning msg.hwnd gets its
// shortcuts and dialog navigation. Returns true when the message was taken (the caller must not
// dispatch it).
bool PreTranslateFrameworkMessage(MSG& msg) noexcept;

// Tests replace modal loops: while an interceptor is installed, ShowModal shows the form, calls the
// interceptor (which may drive the form) and returns what it returns. Returns the previous one.
using ModalInterceptor = std::function<int(TForm&)>;
ModalInterceptor SetModalInterceptor(ModalInterceptor interceptor);

// The hourglass for the whole screen while it lives; restores the previous cursor on every exit.
class THourglass {
public:
    THourglass() noexcept;
    ~THourglass();
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
    static bool Active() noexcept;

private:
    HCURSOR m_previous;
};

} // namespace qs::ui

// Signed coordinates of a mouse message's LPARAM (windowsx.h's GET_X_LPARAM without the header).
#define GET_X_LPARAM_SAFE(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define GET_Y_LPARAM_SAFE(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))
