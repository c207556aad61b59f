// Dialog helpers. See uUtilsDialogs.h.
#include "ui/uUtilsDialogs.h"

#include "common/qsModule.h"

#include <commdlg.h>
#include <versionhelpers.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace qs::ui {

namespace {
FileDialogInterceptor& FileHook() {
    static FileDialogInterceptor hook;
    return hook;
}
} // namespace

TThemeActivator::TThemeActivator(int ResID, bool Activate) noexcept {
    // Activation contexts exist from Windows XP (NT 5.1) on.
    if (!::IsWindowsXPOrGreater()) return;
    wchar_t exe[522];
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, 522);
    if (n == 0 || n >= 522) return;
    ACTCTXW act{};
    act.cbSize = sizeof act;
    act.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    act.lpSource = exe;
    act.lpResourceName = MAKEINTRESOURCEW(ResID);
    act.hModule = FrameworkModule();
    m_hActCtx = ::CreateActCtxW(&act);
    if (Activate && m_hActCtx != INVALID_HANDLE_VALUE) bContextActivated = ::ActivateActCtx(m_hActCtx, &Cookie) != FALSE;
}

TThemeActivator::~TThemeActivator() {
    if (bContextActivated) ::DeactivateActCtx(0, Cookie);
    if (m_hActCtx != INVALID_HANDLE_VALUE) ::ReleaseActCtx(m_hActCtx);
}

FileDialogInterceptor SetFileDialogInterceptor(FileDialogInterceptor interceptor) {
    return std::exchange(FileHook(), std::move(interceptor));
}

bool TOpenDialogEx::Execute() {
    FileDialogRequest request{IsSave(), FParentWnd, Filter, FileName, DefaultExt, Title, FilterIndex};
    bool chosen = false;
    if (FileHook()) {
        chosen = FileHook()(request);
    } else {
        TThemeActivator theme(2, true);
        // The filter's "|" separators become NULs, and the list ends with two NULs.
        std::wstring filter = Filter;
        for (auto& c : filter)
            if (c == L'|') c = L'\0';
        filter.append(2, L'\0');
        std::vector<wchar_t> file(32768, L'\0');
        FileName.copy(file.data(), std::min(FileName.size(), file.size() - 1));
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = FParentWnd;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
        ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                    (IsSave() ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
        // The dialog's loop runs the host's messages: the module stays loaded under it.
        TModuleLock lock;
        // comdlg32 is loaded when a dialog is first wanted, not with the module: it brings the shell
        // libraries along, which made the module's own load several times slower.
        using FileDialogFn = BOOL(WINAPI*)(OPENFILENAMEW*);
        static const HMODULE comdlg = ::LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const auto show = comdlg ? reinterpret_cast<FileDialogFn>(reinterpret_cast<void*>(
                                       ::GetProcAddress(comdlg, IsSave() ? "GetSaveFileNameW" : "GetOpenFileNameW")))
                                 : nullptr;
        if (!show) throw std::runtime_error("The file dialogs are not available (comdlg32.dll)");
        chosen = show(&ofn) != FALSE;
        if (chosen) {
            request.fileName = file.data();
            request.filterIndex = static_cast<int>(ofn.nFilterIndex);
        }
    }
    if (chosen) {
        FileName = request.fileName;
        FilterIndex = request.filterIndex;
    }
    return chosen;
}

void MakeOwnerDrawCombo(TComboBox& Combo) {
    Combo.OnDrawItem = [](TComboBox&, DRAWITEMSTRUCT& dis) {
        const bool selected = dis.itemState & ODS_SELECTED;
        ::FillRect(dis.hDC, &dis.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        if (dis.itemID == static_cast<UINT>(-1)) return;
        const LRESULT n = ::SendMessageW(dis.hwndItem, CB_GETLBTEXTLEN, dis.itemID, 0);
        if (n == CB_ERR) return;
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        ::SendMessageW(dis.hwndItem, CB_GETLBTEXT, dis.itemID, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(n));
        HGDIOBJ old = ::SelectObject(dis.hDC, DefaultFont());
        ::SetBkMode(dis.hDC, TRANSPARENT);
        ::SetTextColor(dis.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        SIZE size{};
        ::GetTextExtentPoint32W(dis.hDC, L"Wg", 2, &size);
        const int top = dis.rcItem.top + (dis.rcItem.bottom - dis.rcItem.top - size.cy) / 2;
        ::ExtTextOutW(dis.hDC, dis.rcItem.left + 2, top, ETO_CLIPPED, &dis.rcItem, text.c_str(),
                      static_cast<UINT>(text.size()), nullptr);
        ::SelectObject(dis.hDC, old);
    };
    if (Combo.ItemHeight <= 0) Combo.ItemHeight = 16;
}

} // namespace qs::ui
