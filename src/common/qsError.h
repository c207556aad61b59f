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

// Maps the exception being handled to an HRESULT and sets IErrorInfo from it: a ComError gives its
// own code (a code that is not a failure gives E_FAIL, so a caller never sees success for an error);
// std::bad_alloc gives E_OUTOFMEMORY; anything else E_UNEXPECTED. Call only inside a catch block.
HRESULT HResultFromCaughtException() noexcept;

// Sets the thread's error information. Failures are ignored.
void SetErrorInfoText(const std::wstring& description, const std::wstring& source, const std::wstring& helpFile,
                      DWORD helpContext, const GUID& iid = GUID_NULL) noexcept;

} // namespace qs

#define QS_RETURN_IF_FAILED(e) do { const HRESULT qsHr_ = (e); if (FAILED(qsHr_)) return qsHr_; } while (0)
#define QS_THROW_IF_FAILED(e)  do { const HRESULT qsHr_ = (e); if (FAILED(qsHr_)) ::qs::ThrowHr(qsHr_); } while (0)
#define QS_CATCH_RETURN()      catch (...) { return ::qs::HResultFromCaughtException(); }
