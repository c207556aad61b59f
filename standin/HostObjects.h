// The stand-in host's objects: a counted IDispatch that answers members by name (values, writable
// properties, collection Item/Count/_NewEnum) and chosen interface IDs, with type information from the
// stand-in's own type library; a ribbon control answering IRibbonControl; and each host's object graph.
#pragma once

#include "common/qsHandles.h"
#include "quillspar.h"

#include <oaidl.h>
#include <ocidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

// The TYPELIB resource of the types common to every host (IRibbonUI); the hosts' are 2 to 10.
inline constexpr UINT kCommonTypeLib = 100;

// The executable's TYPELIB resource `index`, loaded once; null when absent.
ComPtr<ITypeLib> HostTypeLib(UINT index);
// A type of `lib` (the common types when null) by name; null when absent.
ComPtr<ITypeInfo> HostType(const std::wstring& name, ITypeLib* lib = nullptr);

// An error a member handler raises: Invoke answers DISP_E_EXCEPTION with this code and text.
struct THostError {
    HRESULT code;
    std::wstring text;
};

// The arguments of a call in declaration order (rgvarg reversed), by-reference values followed.
class THostArgs {
public:
    explicit THostArgs(const DISPPARAMS* params) : m_params(params) {}
    size_t Count() const { return m_params ? m_params->cArgs : 0; }
    // The argument at `index`; null when it was not passed or passed as missing (DISP_E_PARAMNOTFOUND).
    const VARIANT* At(size_t index) const;
    // The argument as text or a number (THostError when it cannot be converted); `fallback` when missing.
    std::wstring Text(size_t index, const std::wstring& fallback = {}) const;
    LONG Long(size_t index, LONG fallback = 0) const;
    bool Bool(size_t index, bool fallback = false) const;

private:
    const DISPPARAMS* m_params;
};

class THostObject;
class TConnectionPoint;

// A member implemented by code: called for a method call and for a property get that passes arguments or
// has no stored value. Throws THostError to raise.
using THostMethod = std::function<Variant(THostObject& self, const THostArgs& args)>;
// Called after a property put stored the new value.
using THostPutHook = std::function<void(THostObject& self, const Variant& value)>;

// An object of the stand-in host: IDispatch over named members, IConnectionPointContainer over the
// source interfaces it was given. Members declared in the type information keep their DISPIDs there;
// other members get DISPIDs from kDynamicDispIdBase on. A declared property that was never set answers
// its declared type's empty value (0, "", False, Nothing), so that every declared member can be browsed.
// Every COM method is a boundary: none throws. Single-threaded (the host's user-interface thread).
class THostObject : public IDispatch, public IConnectionPointContainer {
public:
    static constexpr DISPID kDynamicDispIdBase = 0x10000;

    // An object whose type information is the dispinterface `typeName` of `lib` (the common types when null),
    // answering IUnknown, IDispatch and `iids`; with `sourceTypes` (dispinterfaces of the same library)
    // also IConnectionPointContainer, with one connection point per source type in that order.
    static ComPtr<THostObject> Create(const std::wstring& typeName, std::vector<IID> iids = {},
                                      const std::vector<std::wstring>& sourceTypes = {}, ITypeLib* lib = nullptr);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() noexcept override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) noexcept override;
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) noexcept override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) noexcept override;

    // A member answering `value` (names are matched without regard to case); writable by a property put.
    // Setting a value ends a failure set by Fail.
    void Set(const std::wstring& name, const Variant& value);
    // A member answering the object (a null VT_DISPATCH for null).
    void SetObject(const std::wstring& name, IDispatch* object);
    // A member implemented by `method`.
    void SetMethod(const std::wstring& name, THostMethod method);
    // Calls `hook` after every property put of the member.
    void OnPut(const std::wstring& name, THostPutHook hook);
    // A member that raises DISP_E_EXCEPTION with `code` and `text` whenever it is read or called.
    void Fail(const std::wstring& name, HRESULT code, const std::wstring& text);
    // The member's stored value; VT_EMPTY when it was never set.
    Variant Get(const std::wstring& name) const;
    // Drops every method and put hook (they may refer to the graph that is going away).
    void DropHandlers();

    // Calls the event `eventName` on every sink advised on each connection point whose source type
    // declares it, with `args` in declaration order (the caller keeps them; by-reference arguments
    // come back changed). Returns the number of calls made.
    size_t Fire(const std::wstring& eventName, const std::vector<VARIANTARG>& args);
    // The source type declaring `eventName` first; null when none does.
    ComPtr<ITypeInfo> EventSource(const std::wstring& eventName) const;
    // The sinks advised on all connection points together.
    size_t SinkCount() const;

    // With `collection`, Item(i) (also DISPID_VALUE) answers items[i - itemBase] or the item whose Name
    // is i when i is text, Count answers items.size() and _NewEnum an enumerator over the items.
    bool collection = false;
    std::vector<Variant> items;
    LONG itemBase = 1;

    // What callers asked, for tests: every member read or called, by its declared name, in call order;
    // and the variant type and value of every collection Item index.
    std::vector<std::wstring> reads;
    std::vector<VARTYPE> itemIndexTypes;
    std::vector<LONG> itemIndexes;

    ULONG RefCount() const { return static_cast<ULONG>(m_refs); }
    const std::wstring& TypeName() const { return m_typeName; }

private:
    struct Member {
        std::wstring name;
        Variant value;
        bool hasValue = false; // set (even to Empty) by Set or a property put
        THostMethod method;
        THostPutHook onPut;
        HRESULT failure = S_OK;
        std::wstring failureText;
    };
    THostObject(std::wstring typeName, ComPtr<ITypeInfo> type, std::vector<IID> iids);
    virtual ~THostObject();
    Member* Find(const std::wstring& name);
    const Member* Find(const std::wstring& name) const;
    Member& Ensure(const std::wstring& name);
    std::wstring NameOf(DISPID id) const;
    std::optional<Variant> DeclaredDefault(DISPID id) const;
    HRESULT InvokeNamed(DISPID id, const std::wstring& name, WORD flags, DISPPARAMS* params, VARIANT* result);

    std::wstring m_typeName;
    ComPtr<ITypeInfo> m_type;
    std::vector<IID> m_iids;
    std::vector<Member> m_members;
    std::vector<std::unique_ptr<TConnectionPoint>> m_points;
    LONG m_refs = 1;
};

// A ribbon control with an id and a context (the host's active window, may be null); answers
// IRibbonControl (unless `answersRibbonControl` is false, as a broken host's control would) and IDispatch.
class TRibbonControlStub : public IRibbonControl {
public:
    static ComPtr<TRibbonControlStub> Create(const std::wstring& id, IDispatch* context = nullptr,
                                             const std::wstring& tag = {}, bool answersRibbonControl = true);

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

    ULONG RefCount() const { return static_cast<ULONG>(m_refs); }

private:
    TRibbonControlStub(std::wstring id, IDispatch* context, std::wstring tag, bool answers)
        : m_id(std::move(id)), m_context(context), m_tag(std::move(tag)), m_answers(answers) {}
    virtual ~TRibbonControlStub() = default;
    std::wstring m_id;
    ComPtr<IDispatch> m_context;
    std::wstring m_tag;
    bool m_answers;
    LONG m_refs = 1;
};

// One host the stand-in can play.
struct THostInfo {
    const wchar_t* name;                 // command-line name: "word", ...
    const wchar_t* title;                // window title part: "Word"
    const wchar_t* addinsKey;            // the key under HKCU/HKLM that lists its add-ins
    const wchar_t* ribbonId;             // the RibbonID passed to GetCustomUI
    UINT typeLib;                        // the TYPELIB resource of the executable describing its objects
    const wchar_t* appType;              // type name of the Application's type information
    std::vector<IID> appIIDs;            // what the Application answers besides IUnknown and IDispatch
    std::vector<std::wstring> appEvents; // the Application's source interfaces, in connection-point order
    const wchar_t* hwndOwner;            // path of the object holding the main window handle ("" = Application)
    const wchar_t* hwndProperty;         // its property
};

// The host table (word, excel, powerpoint, onenote, publisher, access, infopath, visio, project, unknown).
const std::vector<THostInfo>& Hosts();
// The host of that command-line name (case-insensitive); null when none.
const THostInfo* HostNamed(const std::wstring& name);

// A host's object graph: the Application and every object reachable from it by a dotted path, typed by
// the host's own type library.
class THostGraph {
public:
    // With `application2` false, InfoPath's Application does not answer _Application2.
    explicit THostGraph(const THostInfo& host, bool application2 = true);
    // Adds an object of `typeName` at `path` ("ActiveWindow.Selection"): the last name becomes a member
    // of the object at the path before it, which must already exist.
    THostObject* Add(const std::wstring& path, const std::wstring& typeName,
                     const std::vector<std::wstring>& sourceTypes = {});
    THostObject* AddCollection(const std::wstring& path, const std::wstring& typeName, LONG itemBase);
    // Adds an item to a collection; a non-empty `path` names it for At and later Add calls.
    THostObject* AddItem(THostObject* collection, const std::wstring& typeName, const std::wstring& path = {},
                         const std::vector<std::wstring>& sourceTypes = {});
    // A new object of the host's type library that no path names (methods that create objects use it).
    ComPtr<THostObject> Create(const std::wstring& typeName, const std::vector<std::wstring>& sourceTypes = {});
    // Names an existing object by `path` (replacing what the path named before) without changing members.
    void Name(const std::wstring& path, THostObject* object);
    // The object at a dotted path (the Application for ""); null when absent.
    THostObject* At(const std::wstring& path) const;
    // Every object the graph holds, the Application first, then in the order they were added.
    std::vector<THostObject*> Objects() const;
    // Sets the member at `path` to Nothing (a null object).
    bool SetNothing(const std::wstring& path);
    // Makes reading the member at `path` raise `text` (as DISP_E_EXCEPTION with E_FAIL).
    bool SetFailing(const std::wstring& path, const std::wstring& text);
    // Fires an event by its name ("DocumentOpen") or by a path and its name ("ActiveDocument.Close"),
    // with arguments made from the event's declared parameter types: an object parameter gets the
    // graph's object of that type (the one at a top-level "Active..." path when there is one), a
    // by-reference Boolean a False that sinks may change, others an empty value. `report` says what
    // happened. Returns the number of sink calls made; THostError when no object of the graph declares the
    // event.
    size_t FireEvent(const std::wstring& target, std::wstring& report);
    // Document windows: the window objects that each show one document in a window of the host's own
    // (Word's and Excel's Window, PowerPoint's DocumentWindow, ...), in the order they opened. A host's graph
    // adds each with what its close box does (the host's close of that document, which a sink may cancel:
    // the close then returns, or raises THostError as the object model's Close does), and removes it when
    // it closed with its document, after the host's events and never when a sink cancelled.
    void AddDocumentWindow(THostObject* window, std::function<void()> close);
    void RemoveDocumentWindow(THostObject* window);
    std::vector<THostObject*> DocumentWindows() const;
    // Closes a document window as its close box does; false when `window` is no open document window.
    // THostError when the close raised (the document stays open).
    bool CloseDocumentWindow(THostObject* window);
    // The program showing the graph hears of every document window added or removed from now on, to make
    // or destroy the window that shows it. Called on the graph's thread, inside the host's method.
    struct TDocumentWindowListener {
        std::function<void(THostObject* window)> opened;
        std::function<void(THostObject* window)> closed;
    };
    void ListenToDocumentWindows(TDocumentWindowListener listener) { m_windowListener = std::move(listener); }

    // Drops the graph's references, every handler and the listener (objects that the add-in still holds
    // stay alive).
    void Clear();
    // Records every object's reference count; LeakedObjects names the objects whose count differs now.
    void Settle();
    std::vector<std::wstring> LeakedObjects() const;

    const THostInfo& Host() const { return m_host; }
    ITypeLib* TypeLib() const { return m_lib.Get(); }
    IDispatch* Application() const { return m_app.Get(); }
    THostObject* App() const { return m_app.Get(); }

private:
    const THostInfo& m_host;
    ComPtr<ITypeLib> m_lib;
    ComPtr<THostObject> m_app;
    std::map<std::wstring, THostObject*> m_byPath;
    std::vector<ComPtr<THostObject>> m_all;
    std::vector<ULONG> m_baseline;
    struct TDocumentWindow {
        THostObject* window;
        std::function<void()> close; // its close box
    };
    std::vector<TDocumentWindow> m_documentWindows;
    TDocumentWindowListener m_windowListener;
};

// Builds the object graph of the host: every object on the ribbon buttons' paths, the host's collections
// and the members with realistic values, and the methods that change the graph and fire events.
void BuildHostGraph(THostGraph& graph);

// Calls a ribbon callback by name with the arguments given (rgvarg order: last first), as the hosts do:
// GetIDsOfNames, then Invoke as a method. An exception's scode is the answer; its description goes to
// `error` when given.
HRESULT CallByName(IDispatch* target, const std::wstring& name, std::vector<VARIANTARG> args, VARIANT* result,
                   std::wstring* error);
// Sets the host's window-handle property, the Application's Hwnd and ActiveWindow.Hwnd (where the graph
// has an ActiveWindow) to `hwnd`, as a VT_I4 as the hosts report it.
void SetHostHwnd(THostGraph& graph, HWND hwnd);
// Sets the window-handle properties that a window object declares (Hwnd, WindowHandle32 as VT_I4,
// WindowHandle as VT_UI8) to `hwnd`.
void SetWindowHwnd(THostObject* window, HWND hwnd);

} // namespace qs::standin
