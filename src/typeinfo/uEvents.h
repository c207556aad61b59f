// The event model of a reflection: the object's outgoing (source) interfaces found through its
// connection points, their events described as method elements, and the sink connected to the object
// that hands every event to the model's owner by name. All on the UI thread, in the object's apartment.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs {

class TDispatch;
class TEvents;
class TFunctionElement;

// The owner's event handler: the model, the event's name, its arguments (rgvarg in reverse declaration
// order, by-reference arguments writable) and its result slot (may be null).
using TInvokeEvent =
    std::function<void(TEvents& Sender, const std::wstring& EventName, DISPPARAMS& Params, VARIANT* VarRes)>;
// What the sink does with a call of its Invoke: the eight arguments of IDispatch::Invoke.
using TDispatchInvokeEvent = std::function<HRESULT(DISPID DispID, REFIID IID, LCID LocaleID, WORD Flags,
                                                   DISPPARAMS* Params, VARIANT* VarResult, EXCEPINFO* ExcepInfo,
                                                   UINT* ArgErr)>;

// One source interface found on the object.
struct TGUIDObject {
    GUID Guid = GUID_NULL;
    std::wstring Name; // the interface's name when its type information was found
    bool Connected = false;
    bool Dispinterface = false; // its type information says it is a dispinterface
    DWORD Cookie = 0;
    Microsoft::WRL::ComPtr<IConnectionPoint> CP;
};

// The sink: an IDispatch that answers for every registered source interface and hands each call of
// Invoke to OnInvoke. It frees itself when its last reference goes, and holds a module lock while it
// lives (a source may keep it after its model is gone). It serves dispinterfaces only: a source
// interface with methods of its own would be called through slots it does not have.
class TDispatchReflector : public IDispatch {
public:
    // A new sink with one reference, owned by the caller.
    static Microsoft::WRL::ComPtr<TDispatchReflector> Create();

    // Registers a source interface the sink answers QueryInterface for (with its IDispatch).
    void AddGUID(const GUID& Guid);
    // Set by the owner; while empty, Invoke answers E_FAIL.
    TDispatchInvokeEvent OnInvoke;

    // IUnknown: IUnknown and IDispatch, then every registered source IID (as IDispatch); else
    // E_NOINTERFACE.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;
    // 0, S_OK.
    STDMETHODIMP GetTypeInfoCount(UINT* Count) noexcept override;
    // E_UNEXPECTED.
    STDMETHODIMP GetTypeInfo(UINT Index, LCID LocaleID, ITypeInfo** TypeInfo) noexcept override;
    // E_NOTIMPL.
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* Names, UINT Count, LCID LocaleID, DISPID* DispIDs) noexcept
        override;
    // OnInvoke's answer; E_FAIL when OnInvoke is empty (or fails with an exception).
    STDMETHODIMP Invoke(DISPID DispID, REFIID riid, LCID LocaleID, WORD Flags, DISPPARAMS* Params, VARIANT* VarResult,
                        EXCEPINFO* ExcepInfo, UINT* ArgErr) noexcept override;

private:
    TDispatchReflector() noexcept;
    virtual ~TDispatchReflector();
    volatile LONG m_refs = 1;
    std::vector<GUID> FEventGUIDs;
};

// The event model of one reflected object. Building it never fails the reflection: a step that fails
// ends the building quietly with what was found so far.
class TEvents {
public:
    // Finds the object's source interfaces and their events and advises the sink on the last new
    // connection point found, when its interface is a dispinterface (anything else would call the
    // sink through slots it lacks; the model then stays unconnected). The object is aParent's;
    // aParent must outlive the model.
    explicit TEvents(TDispatch* aParent);
    // Unbinds the sink (events still arriving get E_FAIL), unadvises every connected point while the
    // object is alive, and releases what it holds.
    ~TEvents();
    TEvents(const TEvents&) = delete;
    TEvents& operator=(const TEvents&) = delete;

    TDispatch* Parent() const noexcept { return FParent; }
    // The IID of the last connection point examined (normally the connected one); GUID_NULL for none.
    const GUID& EventGUID() const noexcept { return FEventGUID; }
    bool Connected() const noexcept { return FConnected; }
    // The names of the source interfaces found, joined by ", ".
    const std::wstring& Name() const noexcept { return FName; }
    // The events: one element per distinct (name, invoke kind), the earliest kept. No parent object.
    const std::vector<std::unique_ptr<TFunctionElement>>& Functions() const noexcept { return FFunctions; }
    const std::vector<std::unique_ptr<TGUIDObject>>& EventGUIDs() const noexcept { return FEventGUIDs; }
    // The sink (tests and the event page's diagnostics); never null.
    IDispatch* Sink() const noexcept;

    // The owner's handler; events that arrive while it is empty are acknowledged and dropped.
    TInvokeEvent OnInvoke;

private:
    bool HasEventGUID(const GUID& Guid) const noexcept;
    // Records a connection point of the object and describes its interface from the libraries.
    // Returns false when its IID repeats one already recorded (the enumeration then ends).
    bool AddConnectionPoint(Microsoft::WRL::ComPtr<IConnectionPoint> CP,
                            const std::vector<Microsoft::WRL::ComPtr<ITypeLib>>& Libraries);
    // The connection points of the object's coclass source interfaces (default source last), for
    // objects whose container does not enumerate its points.
    std::vector<Microsoft::WRL::ComPtr<IConnectionPoint>> PointsFromClassInfo() const;
    void RemoveDuplicateFunctions();
    void Connect();
    HRESULT ReflectorInvoke(DISPID DispID, DISPPARAMS* Params, VARIANT* VarResult);

    TDispatch* FParent;
    GUID FEventGUID = GUID_NULL;
    bool FConnected = false;
    DWORD FCookie = 0;
    Microsoft::WRL::ComPtr<TDispatchReflector> FDispatchReflector;
    std::wstring FName;
    std::vector<std::unique_ptr<TFunctionElement>> FFunctions;
    std::vector<std::unique_ptr<TGUIDObject>> FEventGUIDs;
    Microsoft::WRL::ComPtr<IConnectionPointContainer> FConnectionPointContainer;
};

// One line of the event log: EventName + " (" + the arguments in declaration order, each as
// VariantToText shows it (by-reference arguments through their reference), joined by ", " + ")".
std::wstring EventLogLine(const std::wstring& EventName, const DISPPARAMS& Params);

} // namespace qs
