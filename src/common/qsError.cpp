// The exception type's helpers and the mapping of a caught exception to an HRESULT plus IErrorInfo.
#include "common/qsError.h"

#include "common/qsHandles.h"

#include <wrl/client.h>

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

HRESULT HResultFromCaughtException() noexcept {
    try {
        throw;
    } catch (const ComError& e) {
        SetErrorInfoText(e.Message(), e.Source(), e.HelpFile(), e.HelpContext());
        return FAILED(e.Hr()) ? e.Hr() : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace qs
