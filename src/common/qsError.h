// The system's one exception type and the helpers that turn exceptions into HRESULTs at every
// boundary (COM methods, exports, window and hook procedures, callbacks).
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace qs {

enum class ErrorKind {
    Automation, // an automation error: HRESULT plus the text, source and help of an EXCEPINFO
    System,     // a system error built from a Win32 last-error code
    Registry,   // a failed registry operation
    Plain,      // a failure of the system's own logic with a message
};

class ComError {
public:
    ComError(HRESULT hr, std::wstring message, ErrorKind kind = ErrorKind::Automation)
        : m_hr(hr), m_message(std::move(message)), m_kind(kind) {}

    HRESULT Hr() const noexcept { return m_hr; }
    const std::wstring& Message() const noexcept { return m_message; }
    ErrorKind Kind() const noexcept { return m_kind; }
    const std::wstring& Source() const noexcept { return m_source; }
    const std::wstring& HelpFile() const noexcept { return m_helpFile; }
    DWORD HelpContext() const noexcept { return m_helpContext; }

    ComError& WithSource(std::wstring s) { m_source = std::move(s); return *this; }
    ComError& WithHelp(std::wstring file, DWORD context) {
        m_helpFile = std::move(file);
        m_helpContext = context;
        return *this;
    }

private:
    HRESULT m_hr;
    std::wstring m_message;
    ErrorKind m_kind;
    std::wstring m_source;
    std::wstring m_helpFile;
    DWORD m_helpContext = 0;
};

[[noreturn]] void ThrowHr(HRESULT hr);
[[noreturn]] void ThrowError(HRESULT hr, std::wstring message);
// The system's message text for an HRESULT ("" when the system has none), trailing line break removed.
std::wstring SystemMessageForHr(HRESULT hr);

// The exception that ends an operation silently (a safecall method returns 0xA0004004, no message).
struct EAbort {};
constexpr HRESULT kSilentAbortHr = static_cast<HRESULT>(0xA0004004);

// What a catch block caught, in the terms every boundary needs: the one description of an exception
// from which each boundary takes the code its contract asks for.
struct TCaughtError {
    // The code of the error: a ComError's own (E_FAIL when it is not a failure, so an error is never
    // reported as success), E_OUTOFMEMORY for std::bad_alloc, E_UNEXPECTED for anything else.
    HRESULT Hr = E_UNEXPECTED;
    // True when the error carries a code of its own: a ComError that is not ErrorKind::Plain and whose
    // code is a failure, or std::bad_alloc.
    bool CarriesHr = false;
    bool IsComError = false;
    bool Aborted = false; // EAbort
    ErrorKind Kind = ErrorKind::Plain;
    std::wstring ClassName; // "EOleError", "EOleSysError", "ERegistryError", "EOutOfMemory", "EAbort", ...
    std::wstring Message;
    std::wstring Source;
    std::wstring HelpFile;
    DWORD HelpContext = 0;

    // The code when the error carries one, else `otherwise`.
    HRESULT CarriedOr(HRESULT otherwise) const noexcept { return CarriesHr ? Hr : otherwise; }
};

// Describes the exception being handled. Call only inside a catch block. Never throws (a failure to
// copy the texts leaves them empty).
TCaughtError CaughtException() noexcept;

// Maps the exception being handled to an HRESULT and sets IErrorInfo from it: TCaughtError::Hr, that is
// a ComError's own code (E_FAIL for one that is not a failure), E_OUTOFMEMORY for std::bad_alloc,
// E_UNEXPECTED for anything else. Call only inside a catch block.
HRESULT HResultFromCaughtException() noexcept;

// Records in the debug trace what a catch block swallowed and where. Call only inside a catch block.
void TraceCaughtException(const wchar_t* where) noexcept;

// Turns a failed IDispatch::Invoke into the error it reports: for DISP_E_EXCEPTION the EXCEPINFO's
// code (scode, else wCode as a dispatch-facility failure, else DISP_E_EXCEPTION), description (else
// the system's text for the code), source and help; otherwise the system's text for hr. The EXCEPINFO
// must have been filled in (FillExcepInfo) by the caller.
ComError ErrorFromInvoke(HRESULT hr, const EXCEPINFO& excep);

// Runs an EXCEPINFO's deferred fill-in, once.
void FillExcepInfo(EXCEPINFO& excep) noexcept;

// Owns the strings of an EXCEPINFO handed to a callee; runs the deferred fill-in on Fill().
class TExcepInfo {
public:
    TExcepInfo() noexcept = default;
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;
    ~TExcepInfo() { Clear(); }
    EXCEPINFO* Put() noexcept {
        Clear();
        return &m_info;
    }
    EXCEPINFO& Get() noexcept { return m_info; }
    // Fills in the deferred parts, then returns the filled structure.
    const EXCEPINFO& Filled() noexcept {
        FillExcepInfo(m_info);
        return m_info;
    }
    void Clear() noexcept;

private:
    EXCEPINFO m_info{};
};

// Sets the thread's error information. Failures are ignored.
void SetErrorInfoText(const std::wstring& description, const std::wstring& source, const std::wstring& helpFile,
                      DWORD helpContext, const GUID& iid = GUID_NULL) noexcept;

} // namespace qs

#define QS_RETURN_IF_FAILED(e) do { const HRESULT qsHr_ = (e); if (FAILED(qsHr_)) return qsHr_; } while (0)
#define QS_THROW_IF_FAILED(e)  do { const HRESULT qsHr_ = (e); if (FAILED(qsHr_)) ::qs::ThrowHr(qsHr_); } while (0)
#define QS_CATCH_RETURN()      catch (...) { return ::qs::HResultFromCaughtException(); }
// A catch block that swallows what it caught and records it in the debug trace.
#define QS_CATCH_TRACE(where)  catch (...) { ::qs::TraceCaughtException(where); }
