// The exception type's helpers and the mapping of a caught exception to an HRESULT plus IErrorInfo.
#include "common/qsError.h"

#include "common/qsHandles.h"
#include "common/uDebugTrace.h"

#include <wrl/client.h>

#include <cstring>
#include <exception>
#include <new>

using Microsoft::WRL::ComPtr;

namespace qs {

std::wstring SystemMessageForHr(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                     nullptr);
    UniqueHlocal owner(buffer);
    if (n == 0 || !buffer) return {};
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

void ThrowHr(HRESULT hr) {
    std::wstring text = SystemMessageForHr(hr);
    if (text.empty()) text = L"Error 0x" + HexDigits(static_cast<unsigned long>(hr), 8);
    throw ComError(hr, std::move(text));
}

void ThrowError(HRESULT hr, std::wstring message) { throw ComError(hr, std::move(message)); }

void SetErrorInfoText(const std::wstring& description, const std::wstring& source, const std::wstring& helpFile,
                      DWORD helpContext, const GUID& iid) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(&create))) return;
    create->SetGUID(iid);
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    create->SetSource(const_cast<LPOLESTR>(source.c_str()));
    create->SetHelpFile(const_cast<LPOLESTR>(helpFile.c_str()));
    create->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
}

namespace {

std::wstring Widen(const char* text) {
    return text ? std::wstring(text, text + std::strlen(text)) : std::wstring();
}

const wchar_t* ComErrorClass(ErrorKind kind) noexcept {
    switch (kind) {
    case ErrorKind::System: return L"EOleSysError";
    case ErrorKind::Registry: return L"ERegistryError";
    default: return L"EOleError";
    }
}

} // namespace

TCaughtError CaughtException() noexcept {
    TCaughtError e;
    try {
        try {
            throw;
        } catch (const EAbort&) {
            e.Aborted = true;
            e.ClassName = L"EAbort";
        } catch (const ComError& error) {
            e.IsComError = true;
            e.Kind = error.Kind();
            e.Hr = FAILED(error.Hr()) ? error.Hr() : E_FAIL;
            e.CarriesHr = error.Kind() != ErrorKind::Plain && FAILED(error.Hr());
            e.ClassName = ComErrorClass(error.Kind());
            e.Message = error.Message();
            e.Source = error.Source();
            e.HelpFile = error.HelpFile();
            e.HelpContext = error.HelpContext();
        } catch (const std::bad_alloc&) {
            e.Hr = E_OUTOFMEMORY;
            e.CarriesHr = true;
            e.ClassName = L"EOutOfMemory";
            e.Message = L"Out of memory";
        } catch (const std::exception& error) {
            e.ClassName = L"Exception";
            e.Message = Widen(error.what());
        } catch (...) {
            e.ClassName = L"Exception";
        }
    } catch (...) {
        // Copying a text failed: the code stands without it.
    }
    return e;
}

HRESULT HResultFromCaughtException() noexcept {
    const TCaughtError e = CaughtException();
    SetErrorInfoText(e.Message, e.Source, e.HelpFile, e.HelpContext);
    return e.Hr;
}

void TraceCaughtException(const wchar_t* where) noexcept {
    try {
        const TCaughtError e = CaughtException();
        DebugTrace(std::wstring(L"swallowed in ") + (where ? where : L"?") + L": " + e.ClassName + L" 0x" +
                   HexDigits(static_cast<unsigned long>(e.Hr), 8) + (e.Message.empty() ? L"" : L" " + e.Message));
    } catch (...) {
        // Building the line failed (out of memory): the trace is the one place that cannot report it.
    }
}

void FillExcepInfo(EXCEPINFO& excep) noexcept {
    if (!excep.pfnDeferredFillIn) return;
    auto fill = excep.pfnDeferredFillIn;
    excep.pfnDeferredFillIn = nullptr;
    fill(&excep);
}

void TExcepInfo::Clear() noexcept {
    ::SysFreeString(m_info.bstrSource);
    ::SysFreeString(m_info.bstrDescription);
    ::SysFreeString(m_info.bstrHelpFile);
    m_info = EXCEPINFO{};
}

ComError ErrorFromInvoke(HRESULT hr, const EXCEPINFO& excep) {
    if (hr != DISP_E_EXCEPTION) {
        std::wstring text = SystemMessageForHr(hr);
        if (text.empty()) text = L"Error 0x" + HexDigits(static_cast<unsigned long>(hr), 8);
        return ComError(hr, std::move(text));
    }
    HRESULT code = excep.scode;
    if (code == 0 && excep.wCode != 0) code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, excep.wCode);
    if (!FAILED(code)) code = DISP_E_EXCEPTION;
    std::wstring text = BstrText(excep.bstrDescription);
    if (text.empty()) text = SystemMessageForHr(code);
    ComError error(code, std::move(text));
    error.WithSource(BstrText(excep.bstrSource)).WithHelp(BstrText(excep.bstrHelpFile), excep.dwHelpContext);
    return error;
}

} // namespace qs
