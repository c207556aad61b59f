// The window framework's controls and forms. See uControls.h.
#include "ui/uControls.h"

#include "common/qsError.h"
#include "common/qsModule.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <unordered_map>

namespace qs::ui {

namespace {

std::unordered_map<HWND, TControl*>& HandleMap() {
    static std::unordered_map<HWND, TControl*> map;
    return map;
}

// The original window procedure of every standard control the framework subclassed, until the window
// is gone: a window whose control was detached while another procedure sat on top of ours still
// reaches its own procedure through ours.
std::unordered_map<HWND, WNDPROC>& OriginalProcs() {
    static std::unordered_map<HWND, WNDPROC> procs;
    return procs;
}

std::vector<TForm*>& FormList() {
    static std::vector<TForm*> forms;
    return forms;
}

ModalInterceptor& ModalHook() {
    static ModalInterceptor hook;
    return hook;
}

int g_hourglassDepth = 0;
UINT g_nextControlId = 1000;

// The activation context of the framework module's manifest (resource 2), so that the common
// controls are version 6 wherever the module is loaded. INVALID_HANDLE_VALUE when the module has no
// manifest. Made on first use, released by FinalizeFramework.
HANDLE g_actCtx = INVALID_HANDLE_VALUE;
bool g_actCtxMade = false;
HFONT g_defaultFont = nullptr;
// The window classes the framework registered, unregistered by FinalizeFramework: a class must not
// outlive the module that holds its window procedure.
std::vector<std::wstring>& RegisteredClasses() {
    static std::vector<std::wstring> classes;
    return classes;
}

HANDLE FrameworkActCtx() {
    if (!g_actCtxMade) {
        g_actCtxMade = true;
        wchar_t path[MAX_PATH];
        if (::GetModuleFileNameW(FrameworkModule(), path, MAX_PATH)) {
            ACTCTXW act{};
            act.cbSize = sizeof act;
            act.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
            act.lpSource = path;
            act.lpResourceName = MAKEINTRESOURCEW(2);
            act.hModule = FrameworkModule();
            g_actCtx = ::CreateActCtxW(&act);
        }
    }
    return g_actCtx;
}

// Activates the framework's activation context while windows are created.
class ActCtxScope {
public:
    ActCtxScope() noexcept {
        HANDLE ctx = FrameworkActCtx();
        if (ctx != INVALID_HANDLE_VALUE) m_active = ::ActivateActCtx(ctx, &m_cookie) != FALSE;
    }
    ~ActCtxScope() {
        if (m_active) ::DeactivateActCtx(0, m_cookie);
    }
    ActCtxScope(const ActCtxScope&) = delete;
    ActCtxScope& operator=(const ActCtxScope&) = delete;

private:
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
};

void EnsureCommonControls() {
    static bool done = [] {
        ActCtxScope scope;
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                 ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        return true;
    }();
    (void)done;
}

} // namespace

HINSTANCE FrameworkModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&FrameworkModule), &module);
    return module;
}

HFONT DefaultFont() noexcept {
    if (!g_defaultFont)
        g_defaultFont = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    return g_defaultFont;
}

void FinalizeFramework() noexcept {
    for (const std::wstring& name : RegisteredClasses()) ::UnregisterClassW(name.c_str(), FrameworkModule());
    RegisteredClasses().clear();
    if (g_defaultFont) ::DeleteObject(g_defaultFont);
    g_defaultFont = nullptr;
    if (g_actCtx != INVALID_HANDLE_VALUE && g_actCtx) ::ReleaseActCtx(g_actCtx);
    g_actCtx = INVALID_HANDLE_VALUE;
    g_actCtxMade = false;
}

ModalInterceptor SetModalInterceptor(ModalInterceptor interceptor) {
    return std::exchange(ModalHook(), std::move(interceptor));
}

// ---- TOwnCode ----

TOwnCode::TOwnCode(TForm* form) noexcept : m_form(form) {
    if (m_form) ++m_form->m_ownCode;
}

TOwnCode::~TOwnCode() {
    if (!m_form) return;
    // The last scope out destroys a form that was closed for good while its code ran.
    if (--m_form->m_ownCode == 0 && m_form->m_closing && !m_form->m_releasePending && !m_form->m_deleting)
        m_form->DestroyNow();
}

bool TOwnCode::Closed() const noexcept { return m_form && m_form->m_closing; }

// ---- TDisabledWindows ----

void TDisabledWindows::Disable(HWND hwnd) noexcept {
    if (!hwnd || !::IsWindow(hwnd) || !::IsWindowEnabled(hwnd)) return;
    for (HWND& slot : m_windows) {
        if (slot) continue;
        slot = hwnd;
        ::EnableWindow(hwnd, FALSE);
        return;
    }
}

void TDisabledWindows::Restore() noexcept {
    // Newest first, so the window disabled first is enabled last and takes the activation back.
    for (size_t i = std::size(m_windows); i-- > 0;) {
        const HWND hwnd = std::exchange(m_windows[i], nullptr);
        if (hwnd && ::IsWindow(hwnd)) ::EnableWindow(hwnd, TRUE);
    }
}

// ---- TControl ----

TControl::TControl(TControl* parent) : m_parent(parent) {
    if (m_parent) {
        m_form = m_parent->m_form;
        m_parent->m_children.push_back(this);
    }
}

std::weak_ptr<const void> TControl::LifeToken() const {
    if (!m_life) m_life = std::make_shared<char>(0);
    return m_life;
}

TControl::~TControl() {
    m_life.reset();
    m_destroying = true;
    HWND hwnd = m_hwnd;
    DetachHandle();
    // Children first, newest first; each destroys its own window.
    while (!m_children.empty()) {
        TControl* child = m_children.back();
        delete child; // removes itself from m_children
    }
    if (hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    if (m_parent) m_parent->RemoveChild(this);
}

void TControl::RemoveChild(TControl* child) noexcept {
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it != m_children.end()) m_children.erase(it);
}

void TControl::DestroyHandleTree() noexcept {
    for (TControl* child : m_children) child->DestroyHandleTree();
    HWND hwnd = m_hwnd;
    DetachHandle();
    if (hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

const wchar_t* TControl::RegisterFrameworkClass(const wchar_t* name, UINT classStyle, HBRUSH background,
                                                HCURSOR cursor) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(FrameworkModule(), name, &wc)) return name;
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = &TControl::FrameworkWndProc;
    wc.hInstance = FrameworkModule();
    wc.hCursor = cursor ? cursor : ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (::RegisterClassExW(&wc)) RegisteredClasses().emplace_back(name);
    return name;
}

void TControl::CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle, bool subclass, HWND owner) {
    EnsureCommonControls();
    ActCtxScope scope;
    HWND parentHwnd = m_parent ? m_parent->Handle() : owner;
    HMENU id = nullptr;
    if (m_parent) {
        style |= WS_CHILD;
        id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(g_nextControlId++));
    }
    HWND hwnd = ::CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, parentHwnd, id, FrameworkModule(),
                                  subclass ? nullptr : this);
    if (!hwnd) throw std::runtime_error("CreateWindowEx failed");
    if (subclass) {
        // Replacing the window procedure, not SetWindowSubclass: comctl32's subclassing reads a window
        // property on every message, which is a server round trip under Wine and made every message
        // to a control cost a third of a millisecond.
        AttachHandle(hwnd);
        try {
            const auto original =
                reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
            OriginalProcs()[hwnd] = original;
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc));
            m_subclassed = true;
        } catch (...) {
            DetachHandle();
            ::DestroyWindow(hwnd);
            throw;
        }
    }
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
}

void TControl::AttachHandle(HWND hwnd) noexcept {
    if (!m_hwnd) LockModule(); // every window of ours keeps the module loaded
    m_hwnd = hwnd;
    try {
        HandleMap()[hwnd] = this;
    }
    QS_CATCH_TRACE(L"TControl.AttachHandle")
}

void TControl::DetachHandle() noexcept {
    if (!m_hwnd) return;
    if (m_subclassed) {
        // Ours is taken out when it is on top; otherwise it stays in the chain and only forwards.
        const auto it = OriginalProcs().find(m_hwnd);
        if (it != OriginalProcs().end() &&
            ::GetWindowLongPtrW(m_hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&TControl::SubclassProc)) {
            ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second));
            OriginalProcs().erase(it);
        }
    }
    m_subclassed = false;
    if (m_ownClass) ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    HandleMap().erase(m_hwnd);
    m_hwnd = nullptr;
    UnlockModule();
}

TControl* TControl::FromHandle(HWND hwnd) noexcept {
    auto& map = HandleMap();
    auto it = map.find(hwnd);
    return it == map.end() ? nullptr : it->second;
}

LRESULT CALLBACK TControl::FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        TControl* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            if (self) {
                self->m_ownClass = true;
                self->AttachHandle(hwnd);
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            }
        } else {
            self = reinterpret_cast<TControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (!self || self->m_hwnd != hwnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            self->DetachHandle();
            // A form whose window was destroyed from outside (with its owner window) is closed for
            // good: destroyed now, or when its own code on the stack returns.
            if (self->m_form == self && !self->m_form->m_deleting) self->m_form->Free();
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        // The form is not destroyed before the handler's scope ends, whatever the handler closes.
        const TOwnCode own(self->m_form);
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        TraceCaughtException(L"FrameworkWndProc");
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        TControl* self = FromHandle(hwnd);
        if (msg == WM_NCDESTROY) {
            // The window is going (with its parent or owner, while still attached): its own procedure
            // takes the message, which is where a control frees what it made (a combo box its list
            // window), so the original is taken before detaching forgets it.
            const auto it = OriginalProcs().find(hwnd);
            const WNDPROC original = it == OriginalProcs().end() ? nullptr : it->second;
            if (self) self->DetachHandle();
            OriginalProcs().erase(hwnd);
            if (!original) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
            return ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
        }
        if (self && self->m_subclassed) {
            const TOwnCode own(self->m_form);
            return self->HandleMessage(msg, wParam, lParam);
        }
        return CallOriginal(hwnd, msg, wParam, lParam);
    } catch (...) {
        TraceCaughtException(L"SubclassProc");
        return CallOriginal(hwnd, msg, wParam, lParam);
    }
}

LRESULT TControl::CallOriginal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    const auto it = OriginalProcs().find(hwnd);
    if (it == OriginalProcs().end()) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return ::CallWindowProcW(it->second, hwnd, msg, wParam, lParam);
}

LRESULT TControl::CallDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_subclassed) return CallOriginal(m_hwnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

bool TControl::ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_NOTIFY: {
        auto* nm = reinterpret_cast<NMHDR*>(lParam);
        if (nm && nm->code == NM_CUSTOMDRAW && !FromHandle(nm->hwndFrom)) return false;
        if (TControl* child = nm ? FromHandle(nm->hwndFrom) : nullptr) return child->HandleNotify(*nm, result);
        return false;
    }
    case WM_COMMAND:
        if (lParam) {
            if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam)))
                return child->HandleCommand(HIWORD(wParam), LOWORD(wParam), result);
        }
        return false;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = child->HandleCtlColor(reinterpret_cast<HDC>(wParam))) {
                result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
        }
        return false;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (dis && dis->CtlType != ODT_MENU)
            if (TControl* child = FromHandle(dis->hwndItem))
                if (child->HandleDrawItem(*dis)) {
                    result = TRUE;
                    return true;
                }
        return false;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mis && mis->CtlType != ODT_MENU)
            if (TControl* child = FromHandle(::GetDlgItem(m_hwnd, static_cast<int>(mis->CtlID))))
                if (child->HandleMeasureItem(*mis)) {
                    result = TRUE;
                    return true;
                }
        return false;
    }
    default:
        return false;
    }
}

bool TControl::HandleNotify(NMHDR&, LRESULT&) { return false; }
bool TControl::HandleDrawItem(DRAWITEMSTRUCT&) { return false; }
bool TControl::HandleMeasureItem(MEASUREITEMSTRUCT&) { return false; }
bool TControl::HandleCommand(WORD, WORD, LRESULT&) { return false; }
HBRUSH TControl::HandleCtlColor(HDC) { return nullptr; }

LRESULT TControl::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectToChild(msg, wParam, lParam, result)) return result;
    if (msg == WM_NOTIFYFORMAT && m_ownClass && lParam == NF_QUERY) return NFR_UNICODE;
    if (msg == WM_SETCURSOR && THourglass::Active()) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    }
    const LRESULT r = CallDefault(msg, wParam, lParam);
    if (msg == WM_SIZE) Resized();
    return r;
}

void TControl::Resized() {
    Realign();
    if (OnResize) OnResize(*this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (!m_hwnd) return;
    ::SetWindowPos(m_hwnd, nullptr, left, top, std::max(width, 0), std::max(height, 0),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_align != TAlign::None && m_parent) m_parent->Realign();
}

RECT TControl::BoundsRect() const noexcept {
    RECT rc{};
    if (!m_hwnd) return rc;
    ::GetWindowRect(m_hwnd, &rc);
    HWND parent = m_parent ? m_parent->Handle() : nullptr;
    if (parent) ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

int TControl::Width() const noexcept {
    const RECT rc = BoundsRect();
    return rc.right - rc.left;
}

int TControl::Height() const noexcept {
    const RECT rc = BoundsRect();
    return rc.bottom - rc.top;
}

RECT TControl::ClientRect() const noexcept {
    RECT rc{};
    if (m_hwnd) ::GetClientRect(m_hwnd, &rc);
    return rc;
}

void TControl::SetAlign(TAlign align) {
    m_align = align;
    if (m_parent) m_parent->Realign();
}

bool TControl::Visible() const noexcept {
    return m_hwnd && (::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_VISIBLE);
}

void TControl::SetVisible(bool visible) {
    if (!m_hwnd || Visible() == visible) return;
    ::ShowWindow(m_hwnd, visible ? SW_SHOWNA : SW_HIDE);
    if (m_align != TAlign::None && m_parent) m_parent->Realign();
}

bool TControl::Enabled() const noexcept { return m_hwnd && ::IsWindowEnabled(m_hwnd); }

void TControl::SetEnabled(bool enabled) {
    if (m_hwnd) ::EnableWindow(m_hwnd, enabled);
}

std::wstring TControl::Text() const {
    if (!m_hwnd) return {};
    const int n = ::GetWindowTextLengthW(m_hwnd);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hwnd, s.data(), n + 1);
    s.resize(static_cast<size_t>(std::max(got, 0)));
    return s;
}

void TControl::SetText(const std::wstring& text) {
    if (m_hwnd) ::SetWindowTextW(m_hwnd, text.c_str());
}

void TControl::SetFocus() {
    if (m_hwnd) ::SetFocus(m_hwnd);
}

bool TControl::Focused() const noexcept { return m_hwnd && ::GetFocus() == m_hwnd; }

void TControl::Realign() {
    if (!m_hwnd || m_children.empty()) return;
    RECT rc = ClientRect();
    const TAlign order[] = {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client};
    for (TAlign a : order) {
        for (TControl* c : m_children) {
            if (c->m_align != a || !c->Visible() || !c->m_hwnd) continue;
            int x = rc.left, y = rc.top, w = rc.right - rc.left, h = rc.bottom - rc.top;
            switch (a) {
            case TAlign::Top:
                h = c->Height();
                rc.top += h;
                break;
            case TAlign::Bottom:
                h = c->Height();
                y = rc.bottom - h;
                rc.bottom -= h;
                break;
            case TAlign::Left:
                w = c->Width();
                rc.left += w;
                break;
            case TAlign::Right:
                w = c->Width();
                x = rc.right - w;
                rc.right -= w;
                break;
            default:
                break;
            }
            ::SetWindowPos(c->m_hwnd, nullptr, x, y, std::max(w, 0), std::max(h, 0), SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

// ---- TPanel ----

TPanel::TPanel(TControl* parent, TBevel bevel) : TControl(parent) {
    const wchar_t* cls = RegisterFrameworkClass(L"QsPanel", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                                nullptr);
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (bevel == TBevel::Lowered) exStyle |= WS_EX_STATICEDGE;
    if (bevel == TBevel::Raised) exStyle |= WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME;
    CreateHandle(cls, WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, exStyle, false);
}

LRESULT TPanel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return TControl::HandleMessage(msg, wParam, lParam); }

// ---- TLabel ----

TLabel::TLabel(TControl* parent, const std::wstring& caption) : TControl(parent) {
    CreateHandle(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, true);
    SetText(caption);
    AutoSize();
}

void TLabel::AutoSize() {
    HDC dc = ::GetDC(m_hwnd);
    HGDIOBJ old = ::SelectObject(dc, DefaultFont());
    const std::wstring text = Text();
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hwnd, dc);
    const RECT rc = BoundsRect();
    ::SetWindowPos(m_hwnd, nullptr, rc.left, rc.top, size.cx + 2, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- TEdit ----

TEdit::TEdit(TControl* parent, Options options) : TControl(parent) {
    DWORD style = WS_VISIBLE | WS_TABSTOP;
    if (options.multiLine) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (!options.wordWrap) style |= ES_AUTOHSCROLL;
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (options.readOnly) style |= ES_READONLY;
    if (options.hScroll) style |= WS_HSCROLL;
    if (options.vScroll) style |= WS_VSCROLL;
    CreateHandle(L"EDIT", style, WS_EX_CLIENTEDGE, true);
    // No silent limit: a multi-line box used as a log takes everything appended to it.
    ::SendMessageW(m_hwnd, EM_SETLIMITTEXT, 0, 0);
    if (options.readOnly) m_sysColor = COLOR_BTNFACE;
}

bool TEdit::ReadOnly() const noexcept { return m_hwnd && (::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & ES_READONLY); }

void TEdit::SetColor(int sysColor) {
    m_sysColor = sysColor;
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void TEdit::SetLinkStyle(bool link) {
    if (m_link == link) return;
    m_link = link;
    if (link && !m_linkFont) {
        LOGFONTW lf{};
        ::GetObjectW(DefaultFont(), sizeof lf, &lf);
        lf.lfUnderline = TRUE;
        m_linkFont.Reset(::CreateFontIndirectW(&lf));
    }
    ::SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(link ? m_linkFont.Get() : DefaultFont()), TRUE);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void TEdit::Append(const std::wstring& text) {
    const int length = ::GetWindowTextLengthW(m_hwnd);
    ::SendMessageW(m_hwnd, EM_SETSEL, length, length);
    ::SendMessageW(m_hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TEdit::SelectAll() { ::SendMessageW(m_hwnd, EM_SETSEL, 0, -1); }

HBRUSH TEdit::HandleCtlColor(HDC dc) {
    ::SetBkColor(dc, ::GetSysColor(m_sysColor));
    ::SetTextColor(dc, m_link ? RGB(0, 0, 255) : ::GetSysColor(COLOR_WINDOWTEXT));
    return ::GetSysColorBrush(m_sysColor);
}

bool TEdit::HandleCommand(WORD code, WORD, LRESULT& result) {
    if (code == EN_CHANGE && OnChange) {
        OnChange(*this);
        result = 0;
        return true;
    }
    return false;
}

void TEdit::SetCueBanner(const std::wstring& text) {
    ::SendMessageW(m_hwnd, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

LRESULT TEdit::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_GETDLGCODE:
        if (OnKeyDown && lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_ESCAPE)
            return CallDefault(msg, wParam, lParam) | DLGC_WANTMESSAGE;
        break;
    case WM_KEYDOWN:
        if (OnKeyDown) {
            WORD key = static_cast<WORD>(wParam);
            OnKeyDown(*this, key);
            if (key == 0) return 0;
        }
        break;
    case WM_SETCURSOR:
        if (m_link && LOWORD(lParam) == HTCLIENT && !THourglass::Active()) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_LBUTTONUP: {
        const LRESULT r = CallDefault(msg, wParam, lParam);
        if (OnClick) OnClick(*this);
        return r;
    }
    case WM_NCDESTROY:
        break;
    default:
        break;
    }
    return TControl::HandleMessage(msg, wParam, lParam);
}

// ---- TButton ----

TButton::TButton(TControl* parent, const std::wstring& caption) : TControl(parent) {
    CreateHandle(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, true);
    SetText(caption);
}

void TButton::Click() {
    if (!Enabled()) return;
    const TOwnCode own(Form());
    if (OnClick) OnClick(*this);
    if (ModalResult && !own.Closed()) Form()->ModalResult = ModalResult;
}

bool TButton::HandleCommand(WORD code, WORD, LRESULT& result) {
    if (code != BN_CLICKED) return false;
    Click();
    result = 0;
    return true;
}

// ---- TComboBox ----

TComboBox::TComboBox(TControl* parent, bool dropDownList, bool ownerDrawFixed) : TControl(parent) {
    DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL;
    style |= dropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN;
    if (ownerDrawFixed) style |= CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    CreateHandle(L"COMBOBOX", style, 0, true);
}

void TComboBox::Clear() { ::SendMessageW(m_hwnd, CB_RESETCONTENT, 0, 0); }

int TComboBox::Add(const std::wstring& text) {
    return static_cast<int>(::SendMessageW(m_hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int TComboBox::Count() const { return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCOUNT, 0, 0)); }

std::wstring TComboBox::ItemText(int index) const {
    const LRESULT n = ::SendMessageW(m_hwnd, CB_GETLBTEXTLEN, index, 0);
    if (n == CB_ERR) return {};
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    ::SendMessageW(m_hwnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(n));
    return s;
}

int TComboBox::ItemIndex() const { return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) { ::SendMessageW(m_hwnd, CB_SETCURSEL, index, 0); }

bool TComboBox::HandleDrawItem(DRAWITEMSTRUCT& dis) {
    if (!OnDrawItem) return false;
    OnDrawItem(*this, dis);
    return true;
}

bool TComboBox::HandleMeasureItem(MEASUREITEMSTRUCT& mis) {
    if (ItemHeight <= 0) return false;
    mis.itemHeight = static_cast<UINT>(ItemHeight);
    return true;
}

bool TComboBox::HandleCommand(WORD code, WORD, LRESULT& result) {
    if ((code == CBN_SELCHANGE || code == CBN_EDITCHANGE) && OnChange) {
        OnChange(*this);
        result = 0;
        return true;
    }
    return false;
}

// ---- TSplitter ----

TSplitter::TSplitter(TControl* parent, TAlign align, int thickness) : TControl(parent) {
    const bool vertical = align == TAlign::Left || align == TAlign::Right;
    const wchar_t* cls = RegisterFrameworkClass(vertical ? L"QsSplitterV" : L"QsSplitterH", 0,
                                                reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                                ::LoadCursorW(nullptr, vertical ? IDC_SIZEWE : IDC_SIZENS));
    CreateHandle(cls, WS_VISIBLE, 0, false);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, thickness, thickness, SWP_NOZORDER | SWP_NOACTIVATE);
    SetAlign(align);
}

TControl* TSplitter::Target() const {
    if (!Parent()) return nullptr;
    TControl* found = nullptr;
    for (TControl* c : Parent()->Children()) {
        if (c == this) break;
        if (c->Align() == Align() && c->Visible()) found = c;
    }
    return found;
}

LRESULT TSplitter::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        if (TControl* t = Target()) {
            m_dragging = true;
            ::GetCursorPos(&m_start);
            m_startSize = (Align() == TAlign::Left || Align() == TAlign::Right) ? t->Width() : t->Height();
            ::SetCapture(m_hwnd);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (m_dragging) {
            TControl* t = Target();
            if (!t) return 0;
            POINT p;
            ::GetCursorPos(&p);
            int delta = 0;
            switch (Align()) {
            case TAlign::Left: delta = p.x - m_start.x; break;
            case TAlign::Right: delta = m_start.x - p.x; break;
            case TAlign::Top: delta = p.y - m_start.y; break;
            case TAlign::Bottom: delta = m_start.y - p.y; break;
            default: break;
            }
            const int size = std::max(MinSize, m_startSize + delta);
            if (Align() == TAlign::Left || Align() == TAlign::Right) t->SetWidth(size);
            else t->SetHeight(size);
            if (Parent()) Parent()->Realign();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (m_dragging) {
            m_dragging = false;
            if (msg == WM_LBUTTONUP) ::ReleaseCapture();
        }
        return 0;
    default:
        return TControl::HandleMessage(msg, wParam, lParam);
    }
}

// ---- TStatusBar ----

TStatusBar::TStatusBar(TControl* parent) : TControl(parent) {
    CreateHandle(STATUSCLASSNAMEW, WS_VISIBLE | SBARS_SIZEGRIP, 0, true);
    ::SendMessageW(m_hwnd, SB_SIMPLE, TRUE, 0);
    RECT rc;
    ::GetWindowRect(m_hwnd, &rc);
    if (rc.bottom - rc.top < 10) ::SetWindowPos(m_hwnd, nullptr, 0, 0, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE);
    SetAlign(TAlign::Bottom);
}

void TStatusBar::SetSimpleText(const std::wstring& text) {
    m_simpleText = text;
    ::SendMessageW(m_hwnd, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

// ---- TForm ----

TForm::TForm(HWND owner, DWORD style, DWORD exStyle) : TControl(nullptr), m_owner(owner) {
    m_form = this;
    const wchar_t* cls = RegisterFrameworkClass(L"QsForm", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                                nullptr);
    FormList().push_back(this);
    try {
        CreateHandle(cls, style, exStyle | WS_EX_CONTROLPARENT, false, owner);
    } catch (...) {
        auto& forms = FormList();
        forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
        throw;
    }
}

TForm::~TForm() {
    auto& forms = FormList();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (OnDestroy) {
        try {
            OnDestroy(*this);
        }
        QS_CATCH_TRACE(L"TForm.OnDestroy")
    }
}

const std::vector<TForm*>& TForm::AllForms() noexcept { return FormList(); }

void TForm::SetClientSize(int width, int height) {
    RECT rc{0, 0, width, height};
    ::AdjustWindowRectEx(&rc, static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
    const RECT b = BoundsRect();
    ::SetWindowPos(m_hwnd, nullptr, b.left, b.top, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
    if (!m_hwnd) return;
    if (!m_shownOnce && Position == TPosition::ScreenCenter) {
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const int w = Width(), h = Height();
        ::SetWindowPos(m_hwnd, nullptr, work.left + (work.right - work.left - w) / 2,
                       work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const bool first = !m_shownOnce;
    m_shownOnce = true;
    if (first && OnShow) OnShow(*this);
    ::ShowWindow(m_hwnd, SW_SHOW);
    ::SetForegroundWindow(m_hwnd);
}

int TForm::ShowModal(TForm* caller) {
    // Whatever closes the form while its loop runs, it is destroyed only after this scope.
    const TOwnCode own(this);
    const TOwnCode callerOwn(caller != this ? caller : nullptr);
    m_modal = true;
    ModalResult = 0;
    // The owner and the calling form are enabled again on every exit, before the form hides, so
    // activation returns to them.
    TDisabledWindows disabled;
    disabled.Disable(m_owner);
    if (caller && caller != this) disabled.Disable(caller->Handle());
    if (ModalHook()) {
        Show();
        const int r = ModalHook()(*this);
        m_modal = false;
        disabled.Restore();
        if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
        return own.Closed() ? IDCANCEL : r;
    }
    Show();
    MSG msg;
    while (!m_closing && ModalResult == 0 && m_hwnd && ::IsWindowVisible(m_hwnd)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (!PreTranslateFrameworkMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    m_modal = false;
    disabled.Restore();
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
    if (own.Closed()) return IDCANCEL;
    return ModalResult ? ModalResult : IDCANCEL;
}

void TForm::Close() {
    TCloseAction action = m_modal ? TCloseAction::Hide : DefaultCloseAction;
    if (OnClose) OnClose(*this, action);
    DoClose(action);
}

void TForm::DoClose(TCloseAction& action) {
    switch (action) {
    case TCloseAction::None:
        break;
    case TCloseAction::Hide:
        if (m_modal && ModalResult == 0) ModalResult = IDCANCEL;
        if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
        break;
    case TCloseAction::Free:
        // Closed for good at once (hidden, FormClosing run, its code sees Closed()), and destroyed by
        // the posted release once the messages already queued for it are handled, or later still when
        // its own code is then running.
        if (m_modal && ModalResult == 0) ModalResult = IDCANCEL;
        m_releasePending = true;
        CloseForGood();
        if (!Release()) Free();
        break;
    }
}

void TForm::CloseForGood() noexcept {
    // Only under a TOwnCode of the form (Free's) or with the release pending (a user's close): hiding
    // sends messages, whose scopes ending must not destroy the form here.
    if (m_closing) return;
    m_closing = true;
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
    FormClosing();
}

void TForm::DestroyNow() noexcept {
    m_deleting = true;
    DestroyHandleTree();
    delete this;
}

bool TForm::Release() {
    if (m_released) return true;
    if (!m_hwnd || !::PostMessageW(m_hwnd, WM_QS_RELEASE, 0, 0)) return false;
    m_released = true;
    return true;
}

void TForm::Free() noexcept {
    if (m_deleting) return;
    m_releasePending = false; // destroyed now, or by the last scope of its code: not by a release
    // Closing may send messages to the form: the scope keeps it until this decision is made, and its
    // end destroys the form when no other code of it is on the stack.
    const TOwnCode own(this);
    CloseForGood();
}

bool TForm::PreTranslateMessage(MSG& msg) {
    if (!m_hwnd) return false;
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && OnShortCut && OnShortCut(*this, msg))
        return true;
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) return ::IsDialogMessageW(m_hwnd, &msg) != FALSE;
    return false;
}

void TForm::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!PreTranslateFrameworkMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_QS_RELEASE:
        Free();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
        if (MinWidth > 0) mmi->ptMinTrackSize.x = MinWidth;
        if (MinHeight > 0) mmi->ptMinTrackSize.y = MinHeight;
        return 0;
    }
    default:
        return TControl::HandleMessage(msg, wParam, lParam);
    }
}

// ---- lookup and pre-translation ----

TControl* FindOwnControl(HWND hwnd) noexcept {
    // Up through child windows only: an owned top-level window belongs to its own program part.
    for (HWND h = hwnd; h;) {
        if (TControl* c = TControl::FromHandle(h)) return c;
        if (!(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) return nullptr;
        h = ::GetParent(h);
    }
    return nullptr;
}

bool PreTranslateFrameworkMessage(MSG& msg) noexcept {
    try {
        TControl* c = FindOwnControl(msg.hwnd);
        if (!c) return false;
        TForm* form = c->Form();
        if (!form) return false;
        const TOwnCode own(form); // a shortcut's handler may close the form
        return form->PreTranslateMessage(msg);
    } catch (...) {
        TraceCaughtException(L"PreTranslateFrameworkMessage");
        return false;
    }
}

// ---- THourglass ----

THourglass::THourglass() noexcept : m_previous(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) { ++g_hourglassDepth; }

THourglass::~THourglass() {
    if (--g_hourglassDepth == 0) ::SetCursor(m_previous ? m_previous : ::LoadCursorW(nullptr, IDC_ARROW));
}

bool THourglass::Active() noexcept { return g_hourglassDepth > 0; }

} // namespace qs::ui
