// Stand-ins for the Office hosts' objects in the add-in tests: a counted IDispatch that answers members
// by name (values, failures, collection Item/Count, an enumerator) and chosen interface IDs, with type
// information from the suite's own type library; and a ribbon control that answers IRibbonControl.
#pragma once

#include "qsHandles.h"
#include "quillspar.h"

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

namespace qs::test {

using Microsoft::WRL::ComPtr;

// A type of the fake hosts' type library (TYPELIB 2 of the test executable) by name; null when absent.
ComPtr<ITypeInfo> FakeHostType(const std::wstring& name);

class FakeObject : public IDispatch {
public:
    // An object whose type information is the dispinterface `typeName`, answering IUnknown, IDispatch
    // and `iids`.
    static ComPtr<FakeObject> Create(const std::wstring& typeName, std::vector<IID> iids = {});

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // A member answering `value` (names are matched without regard to case).
    void Set(const std::wstring& name, const Variant& value);
    // A member answering the object (a null VT_DISPATCH for null).
    void SetObject(const std::wstring& name, IDispatch* object);
    // A member that raises DISP_E_EXCEPTION with `code` and `text`.
    void Fail(const std::wstring& name, HRESULT code, const std::wstring& text);

    // With `collection`, Item(i) answers items[i - itemBase] and Count answers items.size() (unless a
    // member named Count was set).
    bool collection = false;
    std::vector<Variant> items;
    LONG itemBase = 1;
    std::vector<VARTYPE> itemIndexTypes; // the variant type of each Item argument, in call order
    std::vector<LONG> itemIndexes;       // each Item index, in call order
    // With a count, _NewEnum answers an enumerator of that many items.
    ULONG enumCount = 0;
    ULONG enumNextCalls = 0;
    // Every member read, by its name as set, in call order.
    std::vector<std::wstring> reads;

    ULONG RefCount() const { return m_refs; }
    const std::wstring& TypeName() const { return m_typeName; }

private:
    struct Member {
        std::wstring name;
        Variant value;
        HRESULT failure = S_OK;
        std::wstring text;
    };
    FakeObject(std::wstring typeName, std::vector<IID> iids)
        : m_typeName(std::move(typeName)), m_iids(std::move(iids)) {}
    virtual ~FakeObject() = default;
    Member& MemberNamed(const std::wstring& name);
    HRESULT Raise(EXCEPINFO* excep, HRESULT code, const std::wstring& text);

    std::wstring m_typeName;
    std::vector<IID> m_iids;
    std::vector<Member> m_members; // DISPID = index + 1
    LONG m_refs = 1;
};

// A ribbon control with an id; answers IRibbonControl unless told not to.
class FakeRibbonControl : public IRibbonControl {
public:
    static ComPtr<FakeRibbonControl> Create(const std::wstring& id, bool answersRibbonControl = true);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP get_Id(BSTR* id) override;
    STDMETHODIMP get_Context(IDispatch** context) override;
    STDMETHODIMP get_Tag(BSTR* tag) override;

    ULONG RefCount() const { return m_refs; }

private:
    FakeRibbonControl(std::wstring id, bool answers) : m_id(std::move(id)), m_answers(answers) {}
    virtual ~FakeRibbonControl() = default;
    std::wstring m_id;
    bool m_answers;
    LONG m_refs = 1;
};

// A fake host's object graph: the Application and every object reachable from it, with the reference
// counts they had when the graph was complete.
class FakeHost {
public:
    FakeHost(const std::wstring& appType, const IID& appIID);
    // Adds an object of `typeName` at `path` ("ActiveWindow.Selection"): the last name becomes a member
    // of the object at the path before it, which must already exist.
    FakeObject* Add(const std::wstring& path, const std::wstring& typeName);
    // Adds a collection object at `path` (see FakeObject::collection).
    FakeObject* AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase);
    // Adds an item of `typeName` to a collection made by AddCollection; a non-empty `path` names the
    // item for later Add and At calls.
    FakeObject* AddItem(FakeObject* collection, const std::wstring& typeName, const std::wstring& path = {});
    // The object at a dotted path (the Application for "").
    FakeObject* At(const std::wstring& path) const;
    // Records the current reference counts; LeakedObjects compares against them.
    void Settle();
    // Type names of the objects whose reference count differs from the one recorded by Settle.
    std::vector<std::wstring> LeakedObjects() const;

    IDispatch* Application() const { return m_app.Get(); }
    FakeObject* App() const { return m_app.Get(); }

private:
    ComPtr<FakeObject> m_app;
    std::map<std::wstring, FakeObject*> m_byPath;
    std::vector<ComPtr<FakeObject>> m_all;
    std::vector<ULONG> m_baseline;
};

} // namespace qs::test
