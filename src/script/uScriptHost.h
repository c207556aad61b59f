// The script host: runs a VBScript or JScript text in a fresh Windows Active Scripting engine against
// named live objects, with the enumeration constants of exposed type libraries, and keeps the text and
// position of the last script error. Also the engine's site, the named objects, the exposed type
// libraries and the constants object that stands in for a library an engine refuses. UI thread only.
#pragma once

#include "common/qsHandles.h"
#include "common/qsModule.h"
#include "common/uBitness.h"

#include <windows.h>
#include <activscp.h>
#include <activdbg.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs {

// Interface IDs that MinGW declares but defines in no library.
extern const IID kIID_IActiveScriptSiteDebug32; // {51973C11-CB0C-11D0-B5C9-00A0244A0E7A}

// ---- Type-library constants ----

// One library whose constants scripts may use.
struct TExposedTypeLib {
    GUID Guid = GUID_NULL;
    WORD VersionMajor = 0;
    WORD VersionMinor = 0;
    // The constants object made the first time an engine refused this library; later refusals reuse it.
    Microsoft::WRL::ComPtr<IDispatch> FallbackConstants;
    // The library as an object gave it (AddContainingTypeLib), for the constants of a library that the
    // registry does not know; null otherwise.
    Microsoft::WRL::ComPtr<ITypeLib> Library;
};

// The libraries a host hands to its engines, in order; at most one entry per GUID.
class TExposedTypeLibs {
public:
    // The existing entry for Guid (its versions unchanged), else a new one appended.
    TExposedTypeLib& Add(const GUID& Guid, WORD VersionMajor, WORD VersionMinor);
    // Adds the libraries that contain the object's type information. An object without type
    // information, or a step that fails, adds nothing. Never throws except std::bad_alloc.
    void AddContainingTypeLib(IDispatch* Dispatch);
    // The index of the entry for Guid, or -1.
    int IndexOfGUID(const GUID& Guid) const noexcept;
    int Count() const noexcept { return static_cast<int>(m_items.size()); }
    TExposedTypeLib& Items(int Index) { return *m_items.at(static_cast<size_t>(Index)); }

private:
    std::vector<std::unique_ptr<TExposedTypeLib>> m_items;
};

// One enumeration constant of a library.
struct TConstant {
    std::wstring Name;
    Variant Value;
};

// Constants from every enumeration of a library (may be null), in library order; members whose
// description or name cannot be read are left out. Throws only std::bad_alloc.
std::vector<TConstant> ReadTypeLibConstants(ITypeLib* lib);
// The registered library of that GUID and version, or null.
Microsoft::WRL::ComPtr<ITypeLib> LoadRegisteredTypeLib(const GUID& guid, WORD major, WORD minor) noexcept;

// An IDispatch that answers every enumeration constant of a type library as a read-only member
// (DISPID = its index among the library's constants, in library order), for engines that refuse the
// library itself. The constants are read once, at the first GetIDsOfNames or Invoke.
class TTypeInfoConstants : public IDispatch {
public:
    // Over a loaded library (may be null: no constants).
    static Microsoft::WRL::ComPtr<IDispatch> Create(ITypeLib* TypeLib);
    // Over the registered library of that GUID and version; one that is not registered or cannot be
    // loaded gives an object over `unregistered` (when given), else an object without constants.
    static Microsoft::WRL::ComPtr<IDispatch> Create(const GUID& GuidTypeLib, WORD wVerMajor, WORD wVerMinor,
                                                    ITypeLib* unregistered = nullptr);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;
    // 0 and S_OK.
    STDMETHODIMP GetTypeInfoCount(UINT* Count) noexcept override;
    // E_NOTIMPL.
    STDMETHODIMP GetTypeInfo(UINT Index, LCID LocaleID, ITypeInfo** TypeInfo) noexcept override;
    // Matches the first name without regard to case; the last constant of that name wins. S_OK, or
    // DISP_E_UNKNOWNNAME. The other names get DISPID_UNKNOWN.
    STDMETHODIMP GetIDsOfNames(REFIID IID, LPOLESTR* Names, UINT NameCount, LCID LocaleID,
                               DISPID* DispIDs) noexcept override;
    // Copies the constant into VarResult for DISPATCH_METHOD or DISPATCH_PROPERTYGET (arguments are
    // ignored); DISP_E_MEMBERNOTFOUND for an unknown DISPID, other flags, or no VarResult.
    STDMETHODIMP Invoke(DISPID DispID, REFIID IID, LCID LocaleID, WORD Flags, DISPPARAMS* Params, VARIANT* VarResult,
                        EXCEPINFO* ExcepInfo, UINT* ArgErr) noexcept override;

private:
    explicit TTypeInfoConstants(ITypeLib* TypeLib);
    virtual ~TTypeInfoConstants() = default;
    void LoadConstants();

    TModuleLock m_lock;
    LONG m_refs = 1;
    Microsoft::WRL::ComPtr<ITypeLib> fTypeLib;
    std::unique_ptr<std::vector<TConstant>> fConstants;
};

// ---- Named objects ----

// One global name handed to the engine; names compare without regard to case.
struct TNamedObject {
    std::wstring Name;
    Microsoft::WRL::ComPtr<IDispatch> DispatchPtr;
    // The object's own members are visible to scripts without qualification.
    bool Global = false;
};

// An ordered list of named objects; names need not be unique (a lookup takes the first).
class TNamedObjects {
public:
    // Appends an entry, then calls OnChanged. The reference is the list's until the entry goes.
    TNamedObject& Add(const std::wstring& aName, IDispatch* aDispatch, bool aGlobal);
    // Removes an entry (releasing its object), then calls OnChanged. Throws std::out_of_range.
    void Delete(int Index);
    int Count() const noexcept { return static_cast<int>(m_items.size()); }
    TNamedObject& Items(int Index) { return *m_items.at(static_cast<size_t>(Index)); }
    // The first entry of that name (without regard to case), or null.
    TNamedObject* Find(const std::wstring& aName) const noexcept;

    std::function<void(TNamedObjects& Sender)> OnChanged;

private:
    std::vector<std::unique_ptr<TNamedObject>> m_items;
};

class TScriptSite;
class TScriptRun;

// ---- The host ----

class TScriptHost {
public:
    // Starts closed, with the OLE Automation library (stdole2, 2.0) exposed.
    TScriptHost();
    // Closes the engine; the site, if an engine still holds it, no longer reaches this host.
    ~TScriptHost();
    TScriptHost(const TScriptHost&) = delete;
    TScriptHost& operator=(const TScriptHost&) = delete;

    // Runs the whole script in a fresh engine, which stays connected afterwards. S_OK, or the failure
    // of the step that failed (E_FAIL for an empty text); SCRIPT_E_REPORTED when the engine reported an
    // error to the site during a call that it answered with success. On failure read Error, ErrorLine
    // and ErrorChar. A run that was stopped (uScriptStop.h) fails with kScriptStoppedHr and the error
    // "Script stopped" (with the position where it stopped when the engine reported one), and its
    // engine is closed.
    HRESULT Execute() noexcept;
    // Runs the global code in a fresh engine, then calls the script's function MethodName with Params
    // (not changed) and returns its value in VarResult (may be null; the caller clears it). The
    // failure of GetIDsOfNames for a name the script does not define.
    HRESULT ExecuteMethod(const std::wstring& MethodName, const DISPPARAMS& Params, VARIANT* VarResult) noexcept;

    const std::wstring& Code() const noexcept { return FCode; }
    // A different text closes the engine first; the same text changes nothing.
    void SetCode(const std::wstring& value);
    const std::wstring& Language() const noexcept { return FLanguage; }
    void SetLanguage(const std::wstring& value);
    // "VBScript" for Basic, VBA, VBScript and VB (any case); "JavaScript" for anything else.
    std::wstring EngineProgID() const;

    TNamedObjects& NamedObjects() noexcept { return FNamedObjects; }
    TExposedTypeLibs& ExposedTypeLibs() noexcept { return FExposedTypeLibs; }
    const std::wstring& Error() const noexcept { return FError; }
    // Zero-based position of the last error the engine reported (both 0 before the first).
    ULONG ErrorLine() const noexcept { return FErrorLine; }
    LONG ErrorChar() const noexcept { return FErrorChar; }
    HWND ParentWindow() const noexcept { return FParentWindow; }
    void SetParentWindow(HWND value) noexcept { FParentWindow = value; }
    // The engine while prepared, else null.
    IActiveScript* Engine() const noexcept { return m_engine.Get(); }

    // Tests and benchmarks: how engines are created (CoCreateInstance of the class, in process, for
    // IActiveScript, by default). Returns the previous function; an empty one restores the default.
    using TEngineFactory = std::function<HRESULT(const CLSID& clsid, IActiveScript** engine)>;
    static TEngineFactory SetEngineFactory(TEngineFactory factory);

private:
    friend class TScriptSite;
    HRESULT Prepare();
    void CloseEngine() noexcept;
    void NamedObjectsChanged(TNamedObjects& Sender) noexcept;
    // The result of a run: `hr`, or the stop's failure when the run was stopped.
    HRESULT Stopped(HRESULT hr, const TScriptRun& run);
    // The result of an engine call made while `reportedBefore` errors had been reported.
    HRESULT Checked(HRESULT hr, unsigned reportedBefore) const noexcept;
    // Called by the site: the engine reported an error.
    void ScriptError(std::wstring text, ULONG line, LONG character);
    // The text of an engine's error: its description; when the engine left that empty, the system's
    // text for its code, else the code's name. callHr stands for the code when the EXCEPINFO has none.
    static std::wstring ErrorDescription(const EXCEPINFO& excep, HRESULT callHr);

    std::wstring FCode;
    TNamedObjects FNamedObjects;
    TExposedTypeLibs FExposedTypeLibs;
    std::wstring FLanguage;
    std::wstring FError;
    Microsoft::WRL::ComPtr<IActiveScript> m_engine;
    Microsoft::WRL::ComPtr<IActiveScriptParseNative> m_parser;
    Microsoft::WRL::ComPtr<TScriptSite> m_site;
    ULONG FErrorLine = 0;
    LONG FErrorChar = 0;
    HWND FParentWindow = nullptr;
    unsigned m_reportedErrors = 0;
};

// ---- The site ----

// The engine's site: one per engine, owned by the engine's references. It reaches its host through
// a plain pointer that the host clears when it closes the engine; a detached site declines.
class TScriptSite : public IActiveScriptSite,
                    public IActiveScriptSiteWindow,
                    public IActiveScriptSiteInterruptPoll,
                    public IActiveScriptSiteDebug32 {
public:
    static Microsoft::WRL::ComPtr<TScriptSite> Create(TScriptHost* Host);
    TScriptHost* Host() const noexcept { return FScriptHost; }
    void Detach() noexcept { FScriptHost = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IActiveScriptSite
    STDMETHODIMP GetLCID(LCID* wLCID) noexcept override;
    // The first named object of that name (without regard to case): its IDispatch (counted) for
    // SCRIPTINFO_IUNKNOWN, its type information (index 0, locale 0) for SCRIPTINFO_ITYPEINFO.
    // TYPE_E_ELEMENTNOTFOUND when there is none or it holds no object.
    STDMETHODIMP GetItemInfo(LPCOLESTR StrName, DWORD dwReturnMask, IUnknown** UnkItem,
                             ITypeInfo** TypeInfo) noexcept override;
    STDMETHODIMP GetDocVersionString(BSTR* VersionString) noexcept override;
    STDMETHODIMP OnScriptTerminate(const VARIANT* VarResult, const EXCEPINFO* ExcepInfo) noexcept override;
    STDMETHODIMP OnStateChange(SCRIPTSTATE ScriptState) noexcept override;
    // Records the error's text and position in the host; E_FAIL.
    STDMETHODIMP OnScriptError(IActiveScriptError* pAse) noexcept override;
    STDMETHODIMP OnEnterScript() noexcept override;
    STDMETHODIMP OnLeaveScript() noexcept override;
    // IActiveScriptSiteWindow
    STDMETHODIMP GetWindow(HWND* Hwnd) noexcept override;
    // The engine shows (FALSE) or closed (TRUE) a modal box: its time does not count towards the
    // stop window.
    STDMETHODIMP EnableModeless(BOOL FEnable) noexcept override;
    // IActiveScriptSiteInterruptPoll: S_FALSE once a stop is requested, else S_OK.
    STDMETHODIMP QueryContinue() noexcept override;
    // IActiveScriptSiteDebug32: every operation declines.
    STDMETHODIMP GetDocumentContextFromPosition(DWORD SourceContext, ULONG CharacterOffset, ULONG NumChars,
                                                IDebugDocumentContext** Context) noexcept override;
    STDMETHODIMP GetApplication(IDebugApplication32** Application) noexcept override;
    STDMETHODIMP GetRootApplicationNode(IDebugApplicationNode** danRoot) noexcept override;
    STDMETHODIMP OnScriptErrorDebug(IActiveScriptErrorDebug* ErrorDebug, BOOL* fEnterDebugger,
                                    BOOL* fCallOnScriptErrorWhenContinuing) noexcept override;

private:
    explicit TScriptSite(TScriptHost* Host) : FScriptHost(Host) {}
    virtual ~TScriptSite();

    TModuleLock m_lock;
    LONG m_refs = 1;
    TScriptHost* FScriptHost;
    int m_modalBoxes = 0; // boxes the engine said it shows, not yet closed
};

} // namespace qs
