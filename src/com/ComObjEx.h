// The COM framework's objects and factories: reference counting, aggregation, error information
// (SafeCallException), class information and IDispatch served from the module's type library, and
// the class factories that create objects and write their registry entries.
#pragma once

#include "common/qsError.h"

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <typeindex>
#include <vector>

namespace qs {

class TPMComServer;
class TPMComObject;
class TPMComObjectFactory;

enum TClassInstancing { ciInternal, ciSingleInstance, ciMultiInstance };
enum TThreadingModel { tmSingle, tmApartment, tmFree, tmBoth, tmNeutral };

// One interface a class implements: its IID and where the interface sits inside the object,
// counted from the object's TPMComObject part.
struct TInterfaceEntry {
    const IID* iid;
    ptrdiff_t offset;
};

// The entry of interface I implemented by class T.
template <class T, class I>
TInterfaceEntry InterfaceEntryOf(const IID& iid) {
    // The addresses are only converted, never dereferenced.
    T* probe = reinterpret_cast<T*>(static_cast<uintptr_t>(0x10000));
    return {&iid, reinterpret_cast<char*>(static_cast<I*>(probe)) -
                      reinterpret_cast<char*>(static_cast<TPMComObject*>(probe))};
}

// What a factory knows of the class of its objects.
struct TComClass {
    std::type_index type;
    std::function<TPMComObject*()> construct; // a new, not yet initialised instance
    std::vector<TInterfaceEntry> interfaces;  // the class's own interfaces, in lookup order
};

template <class T>
TComClass ComClassOf(std::vector<TInterfaceEntry> interfaces) {
    return TComClass{std::type_index(typeid(T)), [] { return static_cast<TPMComObject*>(new T()); },
                     std::move(interfaces)};
}

// Optional callback that may take over the handling of an exception escaping a safecall method.
struct IPMServerExceptionHandler {
    virtual ~IPMServerExceptionHandler() = default;
    // Returns true when it handled the exception; `hr` is then the method's result.
    virtual bool OnException(const std::wstring& ServerClass, const std::wstring& ExceptionClass,
                             const std::wstring& ErrorMessage, void* ExceptAddr, const std::wstring& ErrorIID,
                             const std::wstring& ProgID, HRESULT& hr) = 0;
};

// Base of every COM object of the module: IUnknown (delegating to the controller when aggregated)
// and ISupportErrorInfo. Concrete classes implement their interfaces and route each interface's
// IUnknown methods to OuterQueryInterface/OuterAddRef/OuterRelease (QS_COM_OBJECT_IUNKNOWN).
class TPMComObject : public ISupportErrorInfo {
public:
    TPMComObject();
    virtual ~TPMComObject();
    TPMComObject(const TPMComObject&) = delete;
    TPMComObject& operator=(const TPMComObject&) = delete;

    // Direct construction (not through COM): the object is not counted by the server; the factory
    // registered for its class supplies the type information. Throws when there is none.
    template <class T>
    static T* CreateDirect(IUnknown* controller = nullptr);

    HRESULT OuterQueryInterface(REFIID riid, void** ppv);
    ULONG OuterAddRef();
    ULONG OuterRelease();

    // The non-delegating IUnknown (the object's identity; what an aggregating outer object holds).
    IUnknown* InnerUnknown() noexcept { return &FInner; }
    IUnknown* Controller() const noexcept { return FController; }
    TPMComObjectFactory* Factory() const noexcept { return FFactory; }
    LONG RefCount() const noexcept { return FRefCount; }
    bool NonCounted() const noexcept { return FNonCountedObject; }
    IPMServerExceptionHandler* ServerExceptionHandler = nullptr;

    virtual void Initialize();
    virtual ULONG ObjAddRef();
    virtual HRESULT ObjQueryInterface(REFIID riid, void** ppv);
    virtual ULONG ObjRelease();
    // Call inside a catch block of a safecall method: sets COM error information from the exception
    // and returns the method's HRESULT.
    virtual HRESULT SafeCallException() noexcept;

    // IUnknown of ISupportErrorInfo
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return OuterQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    friend class TPMComObjectFactory;
    // Construction through a factory: counted, then Initialize under a temporary reference.
    void CreateFromFactory(TPMComObjectFactory* factory, IUnknown* controller);
    // The interfaces of the base classes (ISupportErrorInfo here), looked up after the class's own: a
    // static table, so that QueryInterface never allocates and never throws.
    virtual std::span<const TInterfaceEntry> BaseInterfaces() const noexcept;
    // The object's pointer for an interface other than IUnknown, without a reference; null when the
    // object does not answer it. Whatever answers here answers QueryInterface and supports error info.
    virtual void* FindInterface(REFIID riid) const noexcept;

private:
    struct Inner : IUnknown {
        TPMComObject* owner;
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return owner->ObjQueryInterface(riid, ppv); }
        STDMETHODIMP_(ULONG) AddRef() override { return owner->ObjAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner->ObjRelease(); }
    };
    Inner FInner;
    IUnknown* FController = nullptr; // not counted: the outer object owns the inner one
    TPMComObjectFactory* FFactory = nullptr;
    bool FNonCountedObject = false;
    volatile LONG FRefCount = 0;
};

// Routes an interface's IUnknown methods of a concrete class to its TPMComObject part.
#define QS_COM_OBJECT_IUNKNOWN()                                                                                   \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return OuterQueryInterface(riid, ppv); }     \
    STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }                                              \
    STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

// An object that also answers IProvideClassInfo from its factory's coclass type information.
class TPMTypedComObject : public TPMComObject, public IProvideClassInfo {
public:
    QS_COM_OBJECT_IUNKNOWN()
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;

protected:
    std::span<const TInterfaceEntry> BaseInterfaces() const noexcept override;
};

class TPMAutoObjectFactory;

// An automation object: IDispatch served from the type information of its default interface.
// The concrete class implements a dual interface and routes that interface's IDispatch methods to
// the Auto* methods (QS_AUTO_OBJECT_IDISPATCH).
class TPMAutoObject : public TPMTypedComObject {
public:
    void Initialize() override;
    HRESULT AutoGetTypeInfoCount(UINT* pctinfo);
    HRESULT AutoGetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
    HRESULT AutoGetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
    HRESULT AutoInvoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
    TPMAutoObjectFactory* AutoFactory() const noexcept { return FAutoFactory; }

protected:
    // IDispatch answers with the dispatch interface's entry.
    void* FindInterface(REFIID riid) const noexcept override;
    // Called when a client connects to the object's events; nothing here.
    virtual void EventConnected() {}
    IUnknown* FEventSink = nullptr;
    TPMAutoObjectFactory* FAutoFactory = nullptr;
};

#define QS_AUTO_OBJECT_IDISPATCH()                                                                                 \
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override { return AutoGetTypeInfoCount(pctinfo); }                \
    STDMETHODIMP GetTypeInfo(UINT i, LCID lcid, ITypeInfo** pp) override { return AutoGetTypeInfo(i, lcid, pp); }  \
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override {           \
        return AutoGetIDsOfNames(riid, names, n, lcid, ids);                                                         \
    }                                                                                                              \
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* result,          \
                        EXCEPINFO* excep, UINT* argErr) override {                                                 \
        return AutoInvoke(id, riid, lcid, flags, dp, result, excep, argErr);                                        \
    }

// Base of the class factories: IClassFactory, registration of its class, the link in the class manager.
class TPMComObjectFactory : public IClassFactory {
public:
    TPMComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID, std::wstring ClassName,
                        std::wstring Description, TClassInstancing Instancing, TThreadingModel ThreadingModel);
    virtual ~TPMComObjectFactory();
    TPMComObjectFactory(const TPMComObjectFactory&) = delete;
    TPMComObjectFactory& operator=(const TPMComObjectFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

    virtual std::wstring ProgID() const;
    virtual TPMComObject* CreateComObject(IUnknown* Controller);
    virtual void UpdateRegistry(bool Register);

    TPMComServer& ComServer() const noexcept { return *FComServer; }
    const TComClass& ComClass() const noexcept { return FComClass; }
    const CLSID& ClassID() const noexcept { return FClassID; }
    const std::wstring& ClassName() const noexcept { return FClassName; }
    const std::wstring& Description() const noexcept { return FDescription; }
    const GUID& ErrorIID() const noexcept { return FErrorIID; }
    TClassInstancing Instancing() const noexcept { return FInstancing; }
    TThreadingModel ThreadingModel() const noexcept { return FThreadingModel; }
    bool ShowErrors() const noexcept { return FShowErrors; }

protected:
    friend class TPMComClassManager;
    TPMComObjectFactory* FNext = nullptr;
    TPMComServer* FComServer;
    TComClass FComClass;
    CLSID FClassID;
    std::wstring FClassName;
    std::wstring FDescription;
    GUID FErrorIID;
    TClassInstancing FInstancing;
    LONG FRegister = -1;
    bool FShowErrors = true;
    TThreadingModel FThreadingModel;
};

// A factory whose class is described by a coclass of the module's type library.
class TPMTypedComObjectFactory : public TPMComObjectFactory {
public:
    TPMTypedComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                             TClassInstancing Instancing, TThreadingModel ThreadingModel);
    ITypeInfo* ClassInfo() const noexcept { return FClassInfo.Get(); }
    // The coclass's interface whose implementation flags (default and source) are TypeFlags.
    Microsoft::WRL::ComPtr<ITypeInfo> GetInterfaceTypeInfo(int TypeFlags) const;
    void UpdateRegistry(bool Register) override;

    struct Described; // the coclass's type information, name and documentation string

protected:
    TPMTypedComObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                             TClassInstancing Instancing, TThreadingModel ThreadingModel, Described described);
    Microsoft::WRL::ComPtr<ITypeInfo> FClassInfo;
};

// The factory of automation objects: finds the default dispatch interface and the default source
// interface of the coclass.
class TPMAutoObjectFactory : public TPMTypedComObjectFactory {
public:
    TPMAutoObjectFactory(TPMComServer& ComServer, TComClass ComClass, const CLSID& ClassID,
                         TClassInstancing Instancing, TThreadingModel ThreadingModel);
    ITypeInfo* DispTypeInfo() const noexcept { return FDispTypeInfo.Get(); }
    const TInterfaceEntry& DispIntfEntry() const noexcept { return FDispIntfEntry; }
    const GUID& EventIID() const noexcept { return FEventIID; }
    ITypeInfo* EventTypeInfo() const noexcept { return FEventTypeInfo.Get(); }
    // The class's interface entry for an IID; null when the class does not implement it.
    virtual const TInterfaceEntry* GetIntfEntry(const GUID& Guid) const;

protected:
    Microsoft::WRL::ComPtr<ITypeInfo> FDispTypeInfo;
    TInterfaceEntry FDispIntfEntry{nullptr, 0};
    GUID FEventIID = GUID_NULL;
    Microsoft::WRL::ComPtr<ITypeInfo> FEventTypeInfo;
};

} // namespace qs

namespace qs {

// The factory registered for a class; throws ComError "Object factory for class %s missing".
TPMComObjectFactory& FactoryForClass(std::type_index type, const wchar_t* className);

template <class T>
T* TPMComObject::CreateDirect(IUnknown* controller) {
    TPMComObjectFactory& factory = FactoryForClass(std::type_index(typeid(T)), L"");
    T* object = new T();
    object->FNonCountedObject = true;
    try {
        object->CreateFromFactory(&factory, controller);
    } catch (...) {
        delete object;
        throw;
    }
    return object;
}

} // namespace qs
