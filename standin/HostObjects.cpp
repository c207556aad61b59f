// The stand-in host's objects and the object graphs of the hosts it plays. Members declared in the type
// library are resolved through it, so that a browser invoking by the type's DISPIDs reaches the values.
#include "HostObjects.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace qs::standin {

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// With QS_STANDIN_TRACE set, every Invoke on a host object is written to stdout.
bool TraceCalls() {
    static const bool trace = ::GetEnvironmentVariableW(L"QS_STANDIN_TRACE", nullptr, 0) > 0;
    return trace;
}

ITypeLib* HostTypeLib() {
    static ComPtr<ITypeLib> lib = [] {
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        ComPtr<ITypeLib> l;
        ::LoadTypeLibEx(path, REGKIND_NONE, &l);
        return l;
    }();
    return lib.Get();
}

// An enumerator over a copy of a collection's items.
class TItemEnum : public IEnumVARIANT {
public:
    explicit TItemEnum(std::vector<Variant> items, ULONG at = 0) : m_items(std::move(items)), m_at(at) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IEnumVARIANT) return E_NOINTERFACE;
        *ppv = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const ULONG r = ::InterlockedDecrement(&m_refs);
        if (r == 0) delete this;
        return r;
    }
    STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) noexcept override {
        if (!out) return E_POINTER;
        ULONG n = 0;
        while (n < count && m_at < m_items.size()) {
            ::VariantInit(&out[n]);
            if (FAILED(::VariantCopy(&out[n], &m_items[m_at].Get()))) break;
            ++n;
            ++m_at;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) noexcept override {
        m_at = std::min<ULONG>(m_at + count, static_cast<ULONG>(m_items.size()));
        return m_at < m_items.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() noexcept override {
        m_at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** out) noexcept override try {
        if (!out) return E_POINTER;
        *out = new TItemEnum(m_items, m_at);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }

private:
    virtual ~TItemEnum() = default;
    std::vector<Variant> m_items;
    ULONG m_at;
    LONG m_refs = 1;
};

HRESULT Raise(EXCEPINFO* excep, HRESULT code, const std::wstring& source, const std::wstring& text) {
    if (!excep) return code;
    *excep = EXCEPINFO{};
    excep->scode = code;
    excep->bstrDescription = ::SysAllocString(text.c_str());
    excep->bstrSource = ::SysAllocString(source.c_str());
    return DISP_E_EXCEPTION;
}

} // namespace

ComPtr<ITypeInfo> HostType(const std::wstring& name) {
    ITypeLib* lib = HostTypeLib();
    if (!lib) return nullptr;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        UniqueBstr n;
        if (FAILED(lib->GetDocumentation(static_cast<INT>(i), n.Put(), nullptr, nullptr, nullptr))) continue;
        if (BstrText(n.Get()) != name) continue;
        ComPtr<ITypeInfo> info;
        lib->GetTypeInfo(i, &info);
        return info;
    }
    return nullptr;
}

// ---- THostObject ----

ComPtr<THostObject> THostObject::Create(const std::wstring& typeName, std::vector<IID> iids) {
    return AttachNew(new THostObject(typeName, std::move(iids)));
}

STDMETHODIMP THostObject::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    bool answers = riid == IID_IUnknown || riid == IID_IDispatch;
    for (const IID& iid : m_iids) answers = answers || riid == iid;
    if (TraceCalls()) {
        wchar_t iid[40] = L"";
        ::StringFromGUID2(riid, iid, 40);
        wchar_t line[160];
        std::swprintf(line, 160, L"  %ls QueryInterface %ls: %ls\n", m_typeName.c_str(), iid, answers ? L"yes" : L"no");
        std::fputws(line, stdout);
        std::fflush(stdout);
    }
    if (!answers) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) THostObject::Release() noexcept {
    const ULONG r = ::InterlockedDecrement(&m_refs);
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP THostObject::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = HostType(m_typeName) ? 1 : 0;
    return S_OK;
}

STDMETHODIMP THostObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> type = HostType(m_typeName);
    if (!type) return E_NOTIMPL;
    *info = type.Detach();
    return S_OK;
}

STDMETHODIMP THostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept try {
    if (!names || !ids || count < 1) return E_INVALIDARG;
    if (TraceCalls()) {
        std::fwprintf(stdout, L"  %ls.GetIDsOfNames %ls\n", m_typeName.c_str(), names[0]);
        std::fflush(stdout);
    }
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (ComPtr<ITypeInfo> type = HostType(m_typeName)) {
        MEMBERID id = MEMBERID_NIL;
        if (SUCCEEDED(type->GetIDsOfNames(names, 1, &id))) {
            ids[0] = id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    const std::wstring name = names[0];
    for (size_t i = 0; i < m_members.size(); ++i)
        if (SameName(m_members[i].name, name)) {
            ids[0] = kDynamicDispIdBase + static_cast<DISPID>(i);
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    if (collection && SameName(name, L"Item")) {
        ids[0] = DISPID_VALUE;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    if (collection && SameName(name, L"Count")) {
        ids[0] = kDynamicDispIdBase - 1;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    return DISP_E_UNKNOWNNAME;
} catch (...) {
    return E_OUTOFMEMORY;
}

std::wstring THostObject::NameOf(DISPID id) const {
    if (id >= kDynamicDispIdBase && static_cast<size_t>(id - kDynamicDispIdBase) < m_members.size())
        return m_members[static_cast<size_t>(id - kDynamicDispIdBase)].name;
    if (id == kDynamicDispIdBase - 1) return L"Count";
    if (id == DISPID_NEWENUM) return L"_NewEnum";
    if (ComPtr<ITypeInfo> type = HostType(m_typeName)) {
        UniqueBstr name;
        UINT got = 0;
        if (SUCCEEDED(type->GetNames(id, name.Put(), 1, &got)) && got == 1) return BstrText(name.Get());
    }
    if (id == DISPID_VALUE && collection) return L"Item";
    return {};
}

STDMETHODIMP THostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep, UINT*) noexcept try {
    const std::wstring name = NameOf(id);
    const HRESULT hr = name.empty() ? DISP_E_MEMBERNOTFOUND : InvokeNamed(name, flags, params, result, excep);
    if (TraceCalls()) {
        wchar_t line[160];
        std::swprintf(line, 160, L"  %ls.%ls (dispid %ld, flags %u): 0x%08lX\n", m_typeName.c_str(), name.c_str(),
                      static_cast<long>(id), static_cast<unsigned>(flags), static_cast<unsigned long>(hr));
        std::fputws(line, stdout);
        std::fflush(stdout);
    }
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
} catch (...) {
    return E_UNEXPECTED;
}

HRESULT THostObject::InvokeNamed(const std::wstring& name, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep) {
    const UINT argc = params ? params->cArgs : 0;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (argc < 1) return DISP_E_BADPARAMCOUNT;
        Member* m = Find(name);
        if (!m) return DISP_E_MEMBERNOTFOUND;
        Variant v(params->rgvarg[0]);
        m->value = std::move(v);
        return S_OK;
    }
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (collection && SameName(name, L"_NewEnum")) {
        if (!result) return E_POINTER;
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = new TItemEnum(items);
        return S_OK;
    }
    if (collection && SameName(name, L"Item")) {
        if (argc != 1) return DISP_E_BADPARAMCOUNT;
        Variant index;
        if (FAILED(::VariantChangeType(index.Put(), &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        const LONG at = V_I4(&index.Get()) - itemBase;
        if (at < 0 || at >= static_cast<LONG>(items.size()))
            return Raise(excep, DISP_E_BADINDEX, m_typeName, L"The requested member of the collection does not exist.");
        return result ? ::VariantCopy(result, &items[static_cast<size_t>(at)].Get()) : S_OK;
    }
    if (collection && SameName(name, L"Count") && !Find(name)) {
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(items.size());
        }
        return S_OK;
    }
    const Member* m = Find(name);
    if (!m) {
        // A declared method called as a method only (Activate, Quit): does nothing visible.
        if (!(flags & DISPATCH_PROPERTYGET)) return S_OK;
        return Raise(excep, E_NOTIMPL, m_typeName, L"The stand-in host does not provide " + name + L".");
    }
    return result ? ::VariantCopy(result, const_cast<VARIANT*>(&m->value.Get())) : S_OK;
}

THostObject::Member* THostObject::Find(const std::wstring& name) {
    for (Member& m : m_members)
        if (SameName(m.name, name)) return &m;
    return nullptr;
}

const THostObject::Member* THostObject::Find(const std::wstring& name) const {
    for (const Member& m : m_members)
        if (SameName(m.name, name)) return &m;
    return nullptr;
}

void THostObject::Set(const std::wstring& name, const Variant& value) {
    if (Member* m = Find(name)) {
        m->value = value;
        return;
    }
    m_members.push_back(Member{name, value});
}

void THostObject::SetObject(const std::wstring& name, IDispatch* object) {
    Set(name, Variant::FromDispatch(object));
}

Variant THostObject::Get(const std::wstring& name) const {
    const Member* m = Find(name);
    return m ? m->value : Variant();
}

// ---- TRibbonControlStub ----

ComPtr<TRibbonControlStub> TRibbonControlStub::Create(const std::wstring& id, IDispatch* context,
                                                      const std::wstring& tag) {
    return AttachNew(new TRibbonControlStub(id, context, tag));
}

STDMETHODIMP TRibbonControlStub::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IRibbonControl) {
        *ppv = static_cast<IRibbonControl*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TRibbonControlStub::Release() noexcept {
    const ULONG r = ::InterlockedDecrement(&m_refs);
    if (r == 0) delete this;
    return r;
}

STDMETHODIMP TRibbonControlStub::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

// Late-bound callers reach Id, Context and Tag by the DISPIDs of IRibbonControl.
STDMETHODIMP TRibbonControlStub::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    static constexpr const wchar_t* kNames[] = {L"Id", L"Context", L"Tag"};
    for (DISPID i = 0; i < 3; ++i)
        if (::CompareStringOrdinal(names[0], -1, kNames[i], -1, TRUE) == CSTR_EQUAL) {
            ids[0] = i + 1;
            return S_OK;
        }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TRibbonControlStub::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                        UINT*) noexcept {
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    ::VariantInit(result);
    switch (id) {
    case 1:
        V_VT(result) = VT_BSTR;
        return get_Id(&V_BSTR(result));
    case 2:
        V_VT(result) = VT_DISPATCH;
        return get_Context(&V_DISPATCH(result));
    case 3:
        V_VT(result) = VT_BSTR;
        return get_Tag(&V_BSTR(result));
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

STDMETHODIMP TRibbonControlStub::get_Id(BSTR* id) noexcept {
    if (!id) return E_POINTER;
    *id = ::SysAllocString(m_id.c_str());
    return *id ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TRibbonControlStub::get_Context(IDispatch** context) noexcept {
    if (!context) return E_POINTER;
    *context = m_context.Get();
    if (*context) (*context)->AddRef();
    return S_OK;
}

STDMETHODIMP TRibbonControlStub::get_Tag(BSTR* tag) noexcept {
    if (!tag) return E_POINTER;
    *tag = ::SysAllocString(m_tag.c_str());
    return *tag ? S_OK : E_OUTOFMEMORY;
}

// ---- the hosts ----

namespace {

constexpr GUID kWordApplicationIID = {0x00020970, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kExcelApplicationIID = {0x000208D5, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kOneNoteApplicationIID = {0x452AC71A, 0xB655, 0x4967, {0xA2, 0x08, 0xA4, 0xCC, 0x39, 0xDD, 0x79, 0x49}};
constexpr GUID kPowerPointApplicationIID = {
    0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
constexpr GUID kPublisherApplicationIID = {0x0002123E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kAccessApplicationIID = {0x68CCE6C0, 0x6129, 0x101B, {0xAF, 0x4E, 0x00, 0xAA, 0x00, 0x3F, 0x0F, 0x07}};
constexpr GUID kInfoPathApplicationIID = {0x096CD58A, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
constexpr GUID kInfoPathApplication2IID = {
    0x096CD6BB, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
constexpr GUID kVisioApplicationIID = {0x000D0700, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kProjectApplicationIID = {0x00020AFF, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

} // namespace

const std::vector<THostInfo>& Hosts() {
    static const std::vector<THostInfo> hosts = {
        {L"word",
         L"Word",
         L"Software\\Microsoft\\Office\\Word\\Addins",
         L"Microsoft.Word.Document",
         L"_Application",
         {kWordApplicationIID},
         L"ActiveWindow",
         L"Hwnd"},
        {L"excel",
         L"Excel",
         L"Software\\Microsoft\\Office\\Excel\\Addins",
         L"Microsoft.Excel.Workbook",
         L"_Application",
         {kExcelApplicationIID},
         L"",
         L"Hwnd"},
        {L"powerpoint",
         L"PowerPoint",
         L"Software\\Microsoft\\Office\\PowerPoint\\Addins",
         L"Microsoft.PowerPoint.Presentation",
         L"_Application",
         {kPowerPointApplicationIID},
         L"",
         L"Hwnd"},
        {L"onenote",
         L"OneNote",
         L"Software\\Microsoft\\Office\\OneNote\\Addins",
         L"Microsoft.OneNote.Notebook",
         L"IApplication",
         {kOneNoteApplicationIID},
         L"",
         L"Hwnd"},
        {L"publisher",
         L"Publisher",
         L"Software\\Microsoft\\Office\\Publisher\\Addins",
         L"Microsoft.Publisher.Publication",
         L"_Application",
         {kPublisherApplicationIID},
         L"ActiveWindow",
         L"Hwnd"},
        {L"access",
         L"Access",
         L"Software\\Microsoft\\Office\\Access\\Addins",
         L"Microsoft.Access.Database",
         L"_Application",
         {kAccessApplicationIID},
         L"",
         L"hWndAccessApp"},
        {L"infopath",
         L"InfoPath",
         L"Software\\Microsoft\\Office\\InfoPath\\Addins",
         L"Microsoft.InfoPath.Designer",
         L"_Application",
         {kInfoPathApplicationIID, kInfoPathApplication2IID},
         L"",
         L"Hwnd"},
        {L"visio",
         L"Visio",
         L"Software\\Microsoft\\Visio\\Addins",
         L"Microsoft.Visio.Drawing",
         L"IVApplication",
         {kVisioApplicationIID},
         L"",
         L"WindowHandle32"},
        {L"project",
         L"Project",
         L"Software\\Microsoft\\Office\\MS Project\\Addins",
         L"Microsoft.Project.Project",
         L"_MSProject",
         {kProjectApplicationIID},
         L"",
         L"Hwnd"},
        // An Office application the add-in does not know: it answers no published Application interface.
        // It reads Word's add-in list, where the add-in is registered.
        {L"unknown",
         L"Unknown",
         L"Software\\Microsoft\\Office\\Word\\Addins",
         L"Microsoft.Unknown.Document",
         L"_Application",
         {},
         L"",
         L"Hwnd"},
    };
    return hosts;
}

const THostInfo* HostNamed(const std::wstring& name) {
    for (const THostInfo& h : Hosts())
        if (SameName(h.name, name)) return &h;
    return nullptr;
}

THostGraph::THostGraph(const THostInfo& host) : m_app(THostObject::Create(host.appType, host.appIIDs)) {
    m_byPath[L""] = m_app.Get();
}

THostObject* THostGraph::Add(const std::wstring& path, const std::wstring& typeName) {
    const size_t dot = path.rfind(L'.');
    const std::wstring parentPath = dot == std::wstring::npos ? L"" : path.substr(0, dot);
    const std::wstring name = dot == std::wstring::npos ? path : path.substr(dot + 1);
    ComPtr<THostObject> object = THostObject::Create(typeName);
    if (THostObject* parent = At(parentPath)) parent->SetObject(name, object.Get());
    m_byPath[path] = object.Get();
    m_all.push_back(object);
    return object.Get();
}

THostObject* THostGraph::AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase) {
    THostObject* c = Add(path, typeName);
    c->collection = true;
    c->itemBase = itemBase;
    return c;
}

THostObject* THostGraph::AddItem(THostObject* collection, const std::wstring& typeName, const std::wstring& path) {
    ComPtr<THostObject> item = THostObject::Create(typeName);
    collection->items.push_back(Variant::FromDispatch(item.Get()));
    if (!path.empty()) m_byPath[path] = item.Get();
    m_all.push_back(item);
    return item.Get();
}

THostObject* THostGraph::At(const std::wstring& path) const {
    const auto it = m_byPath.find(path);
    return it == m_byPath.end() ? nullptr : it->second;
}

void THostGraph::Clear() {
    // The graph has no cycles (children never point back to their parents): dropping the references
    // releases every object that nobody else holds.
    m_byPath.clear();
    m_all.clear();
    m_app.Reset();
}

void BuildHostGraph(THostGraph& h, const THostInfo& host) {
    const std::wstring name = host.name;
    if (name == L"word") {
        THostObject* app = h.App();
        app->Set(L"Name", Variant::FromString(L"Word (Quillspar stand-in)"));
        app->Set(L"Version", Variant::FromString(L"16.0"));
        app->Set(L"Visible", Variant::FromBool(true));
        app->Set(L"Caption", Variant::FromString(L"Document1 - Word (stand-in)"));
        h.Add(L"Options", L"Options")->Set(L"DefaultSaveFormat", Variant::FromString(L""));
        h.At(L"Options")->Set(L"AutoFormatAsYouTypeReplaceQuotes", Variant::FromBool(true));
        THostObject* window = h.Add(L"ActiveWindow", L"Window");
        window->Set(L"Caption", Variant::FromString(L"Document1"));
        window->Set(L"WindowState", Variant::FromI4(1));
        window->Set(L"Left", Variant::FromI4(0));
        window->Set(L"Top", Variant::FromI4(0));
        THostObject* documents = h.AddCollection(L"Documents", L"Documents", 1);
        THostObject* document = h.AddItem(documents, L"Document", L"ActiveDocument");
        document->Set(L"Name", Variant::FromString(L"Document1"));
        document->Set(L"FullName", Variant::FromString(L"Document1"));
        document->Set(L"Saved", Variant::FromBool(true));
        document->Set(L"Kind", Variant::FromI4(0));
        app->SetObject(L"ActiveDocument", document);
        THostObject* selection = h.Add(L"Selection", L"Selection");
        selection->Set(L"Text", Variant::FromString(L"Hello"));
        selection->Set(L"Start", Variant::FromI4(0));
        selection->Set(L"End", Variant::FromI4(5));
        h.Add(L"Selection.Style", L"Style");
        h.Add(L"Selection.Range", L"Range");
        window->SetObject(L"Selection", selection);
        return;
    }
    if (name == L"excel") {
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveWorkbook", L"Workbook");
        h.Add(L"ActiveSheet", L"Worksheet");
        h.Add(L"ActiveChart", L"Chart");
        h.Add(L"Selection", L"Selection");
        h.Add(L"ActiveCell", L"Range");
        h.Add(L"ActiveCell.Style", L"Style");
        return;
    }
    if (name == L"powerpoint") {
        h.Add(L"ActiveWindow", L"DocumentWindow");
        h.Add(L"ActivePresentation", L"Presentation");
        h.Add(L"ActiveWindow.View", L"View");
        h.Add(L"ActiveWindow.View.Slide", L"Slide");
        h.Add(L"ActiveWindow.Selection", L"Selection");
        return;
    }
    if (name == L"onenote") {
        THostObject* windows = h.AddCollection(L"Windows", L"Windows", 1);
        h.AddItem(windows, L"FirstWindow")->Set(L"Active", Variant::FromBool(false));
        h.AddItem(windows, L"SecondWindow", L"ActiveWindow")->Set(L"Active", Variant::FromBool(true));
        return;
    }
    if (name == L"publisher") {
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveDocument", L"Document");
        h.Add(L"ActiveDocument.ActiveView", L"View");
        h.Add(L"ActiveDocument.ActiveView.ActivePage", L"Page");
        h.Add(L"Selection", L"Selection");
        return;
    }
    if (name == L"access") {
        h.Add(L"CurrentProject", L"CurrentProject");
        h.Add(L"CurrentProject.Connection", L"Connection");
        h.Add(L"DoCmd", L"DoCmd");
        h.Add(L"Screen", L"Screen");
        h.Add(L"Screen.ActiveControl", L"Control");
        h.Add(L"DBEngine", L"_DBEngine");
        THostObject* workspaces = h.AddCollection(L"DBEngine.Workspaces", L"Workspaces", 0);
        h.AddItem(workspaces, L"Workspace", L"Workspace");
        THostObject* databases = h.AddCollection(L"Workspace.Databases", L"Databases", 0);
        h.AddItem(databases, L"Database", L"Database");
        THostObject* tables = h.AddCollection(L"Database.TableDefs", L"TableDefs", 0);
        for (int i = 0; i < 3; ++i) h.AddItem(tables, L"Control");
        return;
    }
    if (name == L"visio") {
        h.Add(L"Settings", L"IVApplicationSettings");
        h.Add(L"ActiveWindow", L"IVWindow");
        h.Add(L"ActivePage", L"IVPage");
        h.Add(L"ActiveDocument", L"IVDocument");
        THostObject* selection = h.AddCollection(L"ActiveWindow.Selection", L"IVSelection", 1);
        h.AddItem(selection, L"IVShape");
        return;
    }
    if (name == L"project") {
        h.Add(L"ActiveWindow", L"Window");
        h.Add(L"ActiveProject", L"Project");
        h.Add(L"ActiveSelection", L"Selection");
        h.Add(L"ActiveCell", L"Cell");
        h.Add(L"ActiveCell.Task", L"Task");
        return;
    }
    // InfoPath and the unknown host: the Application alone.
}

void SetHostHwnd(THostGraph& graph, const THostInfo& host, HWND hwnd) {
    const Variant value = Variant::FromI4(static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd)));
    graph.App()->Set(L"Hwnd", value);
    if (THostObject* owner = graph.At(host.hwndOwner)) owner->Set(host.hwndProperty, value);
    if (THostObject* window = graph.At(L"ActiveWindow")) window->Set(L"Hwnd", value);
}

} // namespace qs::standin
