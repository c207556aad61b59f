// The stand-in host's objects: a counted IDispatch that answers members by name (values, writable
// properties, collection Item/Count/_NewEnum) and chosen interface IDs, with type information from the
// stand-in's own type library; a ribbon control answering IRibbonControl; and each host's object graph.
#pragma once

#include "qsHandles.h"
#include "quillspar.h"

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

// A type of the stand-in's type library (TYPELIB 1 of the executable) by name; null when absent.
ComPtr<ITypeInfo> HostType(const std::wstring& name);

// Members declared in the type information keep their DISPIDs there; other members get DISPIDs from
// kDynamicDispIdBase on. Every method is a boundary: none throws.
class THostObject : public IDispatch {
public:
    static constexpr DISPID kDynamicDispIdBase = 0x10000;

    // An object whose type information is the dispinterface `typeName`, answering IUnknown, IDispatch
    // and `iids`.
    static ComPtr<THostObject> Create(const std::wstring& typeName, std::vector<IID> iids = {});

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() noexcept override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) noexcept override;

    // A member answering `value` (names are matched without regard to case); writable by a property put.
    void Set(const std::wstring& name, const Variant& value);
    // A member answering the object (a null VT_DISPATCH for null).
    void SetObject(const std::wstring& name, IDispatch* object);
    // The member's value; VT_EMPTY when it was never set.
    Variant Get(const std::wstring& name) const;

    // With `collection`, Item(i) (also DISPID_VALUE) answers items[i - itemBase], Count answers
    // items.size() and _NewEnum an enumerator over the items.
    bool collection = false;
    std::vector<Variant> items;
    LONG itemBase = 1;

    ULONG RefCount() const { return static_cast<ULONG>(m_refs); }
    const std::wstring& TypeName() const { return m_typeName; }

private:
    struct Member {
        std::wstring name;
        Variant value;
    };
    THostObject(std::wstring typeName, std::vector<IID> iids)
        : m_typeName(std::move(typeName)), m_iids(std::move(iids)) {}
    virtual ~THostObject() = default;
    Member* Find(const std::wstring& name);
    const Member* Find(const std::wstring& name) const;
    std::wstring NameOf(DISPID id) const;
    HRESULT InvokeNamed(const std::wstring& name, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);

    std::wstring m_typeName;
    std::vector<IID> m_iids;
    std::vector<Member> m_members;
    LONG m_refs = 1;
};

// A ribbon control with an id and a context (the host's active window, may be null); answers
// IRibbonControl and IDispatch.
class TRibbonControlStub : public IRibbonControl {
public:
    static ComPtr<TRibbonControlStub> Create(const std::wstring& id, IDispatch* context, const std::wstring& tag = {});

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() noexcept override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) noexcept override;
    STDMETHODIMP get_Id(BSTR* id) noexcept override;
    STDMETHODIMP get_Context(IDispatch** context) noexcept override;
    STDMETHODIMP get_Tag(BSTR* tag) noexcept override;

private:
    TRibbonControlStub(std::wstring id, IDispatch* context, std::wstring tag)
        : m_id(std::move(id)), m_context(context), m_tag(std::move(tag)) {}
    virtual ~TRibbonControlStub() = default;
    std::wstring m_id;
    ComPtr<IDispatch> m_context;
    std::wstring m_tag;
    LONG m_refs = 1;
};

// One host the stand-in can play.
struct THostInfo {
    const wchar_t* name;         // command-line name: "word", ...
    const wchar_t* title;        // window title part: "Word"
    const wchar_t* addinsKey;    // the key under HKCU/HKLM that lists its add-ins
    const wchar_t* ribbonId;     // the RibbonID passed to GetCustomUI
    const wchar_t* appType;      // type name of the Application's type information
    std::vector<IID> appIIDs;    // what the Application answers besides IUnknown and IDispatch
    const wchar_t* hwndOwner;    // path of the object holding the main window handle ("" = Application)
    const wchar_t* hwndProperty; // its property
};

// The host table (word, excel, powerpoint, onenote, publisher, access, infopath, visio, project, unknown).
const std::vector<THostInfo>& Hosts();
// The host of that command-line name (case-insensitive); null when none.
const THostInfo* HostNamed(const std::wstring& name);

// A host's object graph: the Application and every object reachable from it by a dotted path.
class THostGraph {
public:
    explicit THostGraph(const THostInfo& host);
    // Adds an object of `typeName` at `path` ("ActiveWindow.Selection"): the last name becomes a member
    // of the object at the path before it, which must already exist.
    THostObject* Add(const std::wstring& path, const std::wstring& typeName);
    THostObject* AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase);
    THostObject* AddItem(THostObject* collection, const std::wstring& typeName, const std::wstring& path = {});
    // The object at a dotted path (the Application for ""); null when absent.
    THostObject* At(const std::wstring& path) const;
    // Drops the graph's references (objects that the add-in still holds stay alive).
    void Clear();

    IDispatch* Application() const { return m_app.Get(); }
    THostObject* App() const { return m_app.Get(); }

private:
    ComPtr<THostObject> m_app;
    std::map<std::wstring, THostObject*> m_byPath;
    std::vector<ComPtr<THostObject>> m_all;
};

// Builds the object graph of the host, with every object on the ribbon buttons' paths present.
void BuildHostGraph(THostGraph& graph, const THostInfo& host);
// Sets the host's window-handle property, the Application's Hwnd and ActiveWindow.Hwnd (where the graph
// has an ActiveWindow) to `hwnd`, as a VT_I4 as the hosts report it.
void SetHostHwnd(THostGraph& graph, const THostInfo& host, HWND hwnd);

} // namespace qs::standin
