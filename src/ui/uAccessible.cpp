// The accessible objects of self-drawn controls: one object per element, which finds its element again
// through the control's model at every call, so that it never outlives what it describes. See
// uAccessible.h.
#include "ui/uAccessible.h"

#include "common/qsError.h"
#include "common/qsHandles.h"
#include "common/qsModule.h"

#include <algorithm>
#include <utility>

namespace qs::ui {

namespace {

using Microsoft::WRL::ComPtr;

// The accessibility library's functions that the objects need. Loaded from the system folder only,
// never from the host's folder or the path, and only when a client first asks.
struct OleAccApi {
    using CreateProxy = HRESULT(WINAPI*)(HWND, LPCWSTR, LONG, REFIID, void**);
    LPFNLRESULTFROMOBJECT lresultFromObject = nullptr;
    LPFNCREATESTDACCESSIBLEOBJECT createStdAccessibleObject = nullptr;
    CreateProxy createStdAccessibleProxy = nullptr;
    static const OleAccApi& Get() {
        static const OleAccApi api = [] {
            OleAccApi a;
            if (HMODULE m = ::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
                a.lresultFromObject = reinterpret_cast<LPFNLRESULTFROMOBJECT>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "LresultFromObject")));
                a.createStdAccessibleObject = reinterpret_cast<LPFNCREATESTDACCESSIBLEOBJECT>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "CreateStdAccessibleObject")));
                // Wine's oleacc exports the proxy as a stub that ends the process when called.
                const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
                if (!(ntdll && ::GetProcAddress(ntdll, "wine_get_version")))
                    a.createStdAccessibleProxy = reinterpret_cast<CreateProxy>(
                        reinterpret_cast<void*>(::GetProcAddress(m, "CreateStdAccessibleProxyW")));
            }
            return a;
        }();
        return api;
    }
};

void PutI4(VARIANT* out, LONG value) noexcept {
    V_VT(out) = VT_I4;
    V_I4(out) = value;
}

class TAccessibleObject final : public IAccessible {
public:
    TAccessibleObject(std::weak_ptr<TAccessibleModel> model, TAccPath path) noexcept
        : m_model(std::move(model)), m_path(std::move(path)) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, IID_IAccessible))
            return E_NOINTERFACE;
        *ppv = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG n = ::InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch: clients call IAccessible's methods directly; late binding is not offered.
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
        return E_NOTIMPL;
    }

    // IAccessible
    STDMETHODIMP get_accParent(IDispatch** parent) noexcept override;
    STDMETHODIMP get_accChildCount(LONG* count) noexcept override;
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) noexcept override;
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) noexcept override;
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) noexcept override;
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) noexcept override { return Unsupported(child, text); }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) noexcept override;
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) noexcept override;
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* text) noexcept override { return Unsupported(child, text); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) noexcept override {
        if (topic) *topic = 0;
        return Unsupported(child, file);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* text) noexcept override {
        return Unsupported(child, text);
    }
    STDMETHODIMP get_accFocus(VARIANT* focused) noexcept override;
    STDMETHODIMP get_accSelection(VARIANT* selected) noexcept override {
        if (!selected) return E_POINTER;
        ::VariantInit(selected);
        return DISP_E_MEMBERNOTFOUND;
    }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* text) noexcept override { return Unsupported(child, text); }
    STDMETHODIMP accSelect(LONG flags, VARIANT child) noexcept override;
    STDMETHODIMP accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) noexcept override;
    STDMETHODIMP accNavigate(LONG direction, VARIANT start, VARIANT* end) noexcept override;
    STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* hit) noexcept override;
    STDMETHODIMP accDoDefaultAction(VARIANT child) noexcept override { return Unsupported(child); }
    STDMETHODIMP put_accName(VARIANT, BSTR) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) noexcept override;

private:
    ~TAccessibleObject() = default;

    // The live model, when it lives, its window exists and this object's element is still there.
    HRESULT Connected(std::shared_ptr<TAccessibleModel>& model) const;
    // The live model and the element a child id names: CHILDID_SELF this object's element, n its n-th child.
    HRESULT Resolve(const VARIANT& child, std::shared_ptr<TAccessibleModel>& model, TAccPath& path) const;
    // An element as this object's clients expect it: CHILDID_SELF for its own element, the child id of a
    // child that has no children, else the element's own object.
    void ToVariant(const TAccessibleModel& model, const TAccPath& target, VARIANT* out) const;
    // The child of this element on the way down to `deepest`, or this element itself; false when
    // `deepest` is not below this element.
    bool StepTowards(const TAccPath& deepest, TAccPath& target) const;
    // What a property or action the elements do not have answers: DISP_E_MEMBERNOTFOUND for a valid
    // child id. The text form empties the out-parameter first.
    HRESULT Unsupported(const VARIANT& child) const noexcept;
    HRESULT Unsupported(const VARIANT& child, BSTR* out) const noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Unsupported(child);
    }

    LONG m_refs = 1;
    TModuleLock m_lock; // the module's code must stay while a client holds the object
    std::weak_ptr<TAccessibleModel> m_model;
    TAccPath m_path;
};

HRESULT TAccessibleObject::Connected(std::shared_ptr<TAccessibleModel>& model) const {
    model = m_model.lock();
    if (!model) return CO_E_OBJNOTCONNECTED;
    const HWND hwnd = model->AccWindow();
    if (!hwnd || !::IsWindow(hwnd)) return CO_E_OBJNOTCONNECTED;
    TAccPath prefix;
    for (const int index : m_path) {
        if (index < 0 || index >= model->AccChildCount(prefix)) return CO_E_OBJNOTCONNECTED;
        prefix.push_back(index);
    }
    return S_OK;
}

HRESULT TAccessibleObject::Resolve(const VARIANT& child, std::shared_ptr<TAccessibleModel>& model,
                                   TAccPath& path) const {
    QS_RETURN_IF_FAILED(Connected(model));
    if (V_VT(&child) != VT_I4) return E_INVALIDARG;
    path = m_path;
    const LONG id = V_I4(&child);
    if (id == CHILDID_SELF) return S_OK;
    if (id < 1 || id > model->AccChildCount(m_path)) return E_INVALIDARG;
    path.push_back(static_cast<int>(id - 1));
    return S_OK;
}

void TAccessibleObject::ToVariant(const TAccessibleModel& model, const TAccPath& target, VARIANT* out) const {
    ::VariantInit(out);
    if (target == m_path) return PutI4(out, CHILDID_SELF);
    const bool directChild =
        target.size() == m_path.size() + 1 && std::equal(m_path.begin(), m_path.end(), target.begin());
    if (directChild && model.AccChildCount(target) == 0) return PutI4(out, target.back() + 1);
    ComPtr<IAccessible> object = CreateAccessible(m_model, target);
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = object.Detach();
}

bool TAccessibleObject::StepTowards(const TAccPath& deepest, TAccPath& target) const {
    if (deepest.size() < m_path.size() || !std::equal(m_path.begin(), m_path.end(), deepest.begin())) return false;
    target.assign(deepest.begin(),
                  deepest.begin() + static_cast<std::ptrdiff_t>(std::min(deepest.size(), m_path.size() + 1)));
    return true;
}

HRESULT TAccessibleObject::Unsupported(const VARIANT& child) const noexcept try {
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    return DISP_E_MEMBERNOTFOUND;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accParent(IDispatch** parent) noexcept try {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    std::shared_ptr<TAccessibleModel> model;
    QS_RETURN_IF_FAILED(Connected(model));
    if (!m_path.empty()) {
        *parent = CreateAccessible(m_model, TAccPath(m_path.begin(), m_path.end() - 1)).Detach();
        return S_OK;
    }
    // The control's own element sits in its window's standard object.
    const auto create = OleAccApi::Get().createStdAccessibleObject;
    if (!create) return S_FALSE;
    const HRESULT hr = create(model->AccWindow(), OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
    if (FAILED(hr)) *parent = nullptr;
    return hr;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accChildCount(LONG* count) noexcept try {
    if (!count) return E_POINTER;
    *count = 0;
    std::shared_ptr<TAccessibleModel> model;
    QS_RETURN_IF_FAILED(Connected(model));
    *count = model->AccChildCount(m_path);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accChild(VARIANT child, IDispatch** object) noexcept try {
    if (!object) return E_POINTER;
    *object = nullptr;
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    if (path == m_path) return E_INVALIDARG;
    if (model->AccChildCount(path) == 0) return S_FALSE; // a simple element: its parent answers for it
    *object = CreateAccessible(m_model, std::move(path)).Detach();
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accName(VARIANT child, BSTR* name) noexcept try {
    if (!name) return E_POINTER;
    *name = nullptr;
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    const TAccElement e = model->AccDescribe(path);
    if (e.Name.empty()) return S_FALSE;
    *name = AllocBstr(e.Name);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accValue(VARIANT child, BSTR* value) noexcept try {
    if (!value) return E_POINTER;
    *value = nullptr;
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    const TAccElement e = model->AccDescribe(path);
    if (!e.HasValue) return DISP_E_MEMBERNOTFOUND;
    *value = AllocBstr(e.Value);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accRole(VARIANT child, VARIANT* role) noexcept try {
    if (!role) return E_POINTER;
    ::VariantInit(role);
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    PutI4(role, model->AccDescribe(path).Role);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accState(VARIANT child, VARIANT* state) noexcept try {
    if (!state) return E_POINTER;
    ::VariantInit(state);
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    PutI4(state, model->AccDescribe(path).State);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::get_accFocus(VARIANT* focused) noexcept try {
    if (!focused) return E_POINTER;
    ::VariantInit(focused);
    std::shared_ptr<TAccessibleModel> model;
    QS_RETURN_IF_FAILED(Connected(model));
    TAccPath deepest, target;
    if (!model->AccFocus(deepest) || !StepTowards(deepest, target)) return S_FALSE;
    ToVariant(*model, target, focused);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::accSelect(LONG flags, VARIANT child) noexcept try {
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    if (!(flags & SELFLAG_TAKEFOCUS)) return DISP_E_MEMBERNOTFOUND; // the controls have no selection to offer
    return model->AccTakeFocus(path) ? S_OK : S_FALSE;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                            VARIANT child) noexcept try {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    const RECT r = model->AccDescribe(path).Screen;
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::accNavigate(LONG direction, VARIANT start, VARIANT* end) noexcept try {
    if (!end) return E_POINTER;
    ::VariantInit(end);
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(start, model, path));
    switch (direction) {
    case NAVDIR_FIRSTCHILD:
    case NAVDIR_LASTCHILD: {
        if (path != m_path) return E_INVALIDARG; // a simple element has no children
        const int count = model->AccChildCount(path);
        if (count == 0) return S_FALSE;
        path.push_back(direction == NAVDIR_FIRSTCHILD ? 0 : count - 1);
        ToVariant(*model, path, end);
        return S_OK;
    }
    case NAVDIR_NEXT:
    case NAVDIR_PREVIOUS: {
        if (path.empty()) return S_FALSE; // the control's siblings are windows: its window's object knows them
        const int sibling = path.back() + (direction == NAVDIR_NEXT ? 1 : -1);
        path.pop_back();
        if (sibling < 0 || sibling >= model->AccChildCount(path)) return S_FALSE;
        path.push_back(sibling);
        ToVariant(*model, path, end);
        return S_OK;
    }
    case NAVDIR_UP:
    case NAVDIR_DOWN:
    case NAVDIR_LEFT:
    case NAVDIR_RIGHT: return DISP_E_MEMBERNOTFOUND;
    default: return E_INVALIDARG;
    }
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::accHitTest(LONG x, LONG y, VARIANT* hit) noexcept try {
    if (!hit) return E_POINTER;
    ::VariantInit(hit);
    std::shared_ptr<TAccessibleModel> model;
    QS_RETURN_IF_FAILED(Connected(model));
    TAccPath deepest, target;
    if (!model->AccHitTest(POINT{x, y}, deepest) || !StepTowards(deepest, target)) return S_FALSE;
    ToVariant(*model, target, hit);
    return S_OK;
}
QS_CATCH_RETURN()

STDMETHODIMP TAccessibleObject::put_accValue(VARIANT child, BSTR value) noexcept try {
    std::shared_ptr<TAccessibleModel> model;
    TAccPath path;
    QS_RETURN_IF_FAILED(Resolve(child, model, path));
    return model->AccSetValue(path, BstrText(value));
}
QS_CATCH_RETURN()

} // namespace

ComPtr<IAccessible> CreateAccessible(std::weak_ptr<TAccessibleModel> model, TAccPath path) {
    return AttachNew<IAccessible>(new TAccessibleObject(std::move(model), std::move(path)));
}

bool AnswerGetObject(const std::shared_ptr<TAccessibleModel>& model, WPARAM wParam, LPARAM lParam,
                     LRESULT& result) noexcept try {
    // The object id travels in the low 32 bits; 64-bit senders do not always sign-extend it.
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT || !model) return false;
    const auto answer = OleAccApi::Get().lresultFromObject;
    if (!answer) return false;
    const ComPtr<IAccessible> root = CreateAccessible(model, {});
    const LRESULT r = answer(IID_IAccessible, wParam, root.Get()); // the client's reference is its own
    if (r < 0) return false;                                       // a failure HRESULT
    result = r;
    return true;
} catch (...) {
    TraceCaughtException(L"AnswerGetObject");
    return false;
}

bool AnswerGetObjectAs(HWND hwnd, const wchar_t* systemClass, WPARAM wParam, LPARAM lParam, LRESULT& result) noexcept {
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT) return false;
    const OleAccApi& api = OleAccApi::Get();
    if (!api.lresultFromObject) return false;
    ComPtr<IAccessible> accessible;
    HRESULT hr = E_NOTIMPL;
    if (api.createStdAccessibleProxy)
        hr = api.createStdAccessibleProxy(hwnd, systemClass, OBJID_CLIENT, IID_IAccessible,
                                          reinterpret_cast<void**>(accessible.GetAddressOf()));
    if ((FAILED(hr) || !accessible) && api.createStdAccessibleObject)
        hr = api.createStdAccessibleObject(hwnd, OBJID_CLIENT, IID_IAccessible,
                                           reinterpret_cast<void**>(accessible.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !accessible) return false;
    const LRESULT r = api.lresultFromObject(IID_IAccessible, wParam, accessible.Get());
    if (r < 0) return false; // a failure HRESULT
    result = r;
    return true;
}

} // namespace qs::ui
