// The built module's lifetime as a host meets it: a browser window left open after the host released
// the add-in keeps the module loaded, and once the window is closed the module finalises and unloads
// with no hook left behind.
#include "AddinHosts.h"
#include "Fixtures.h"

#include "addin/uAddin.h"
#include "common/qsHandles.h"
#include "ui/uControls.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qs;
using namespace qs::test;

namespace {

// The top-level windows of this thread whose class belongs to `module`.
std::vector<HWND> WindowsOf(HMODULE module) {
    struct Search {
        HMODULE module;
        std::vector<HWND> found;
    } search{module, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (reinterpret_cast<HMODULE>(::GetClassLongPtrW(hwnd, GCLP_HMODULE)) == s->module) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ModuleMapped(FARPROC address) {
    HMODULE module = nullptr;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(address), &module) != FALSE;
}

TEST(ModuleLifetime, AWindowLeftOpenKeepsTheModuleLoadedUntilItCloses) {
    THostGraph word = MakeHost("Word");
    word.Settle();
    HMODULE dll = ::LoadLibraryW(BuiltDllPath().c_str());
    ASSERT_TRUE(dll);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
    const FARPROC getClassObjectProc = ::GetProcAddress(dll, "DllGetClassObject");
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(getClassObjectProc));
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);

    // The host creates the add-in, connects it and clicks "Application": a browser window opens.
    {
        ComPtr<IClassFactory> factory;
        ASSERT_HRESULT_SUCCEEDED(getClassObject(CLSID_QuillsparAddin, IID_IClassFactory, &factory));
        ComPtr<IDTExtensibility2> addin;
        ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_IDTExtensibility2, &addin));
        factory.Reset();
        SAFEARRAY* custom = nullptr;
        ASSERT_HRESULT_SUCCEEDED(addin->OnConnection(word.Application(), ext_cm_AfterStartup, nullptr, &custom));
        ComPtr<IDispatch> callbacks;
        ASSERT_HRESULT_SUCCEEDED(addin.As(&callbacks));
        LPOLESTR name = const_cast<LPOLESTR>(L"OnButtonClick");
        DISPID id = 0;
        ASSERT_HRESULT_SUCCEEDED(callbacks->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
        auto control = TRibbonControlStub::Create(L"Quillspar_Application");
        Variant arg = Variant::FromDispatch(control.Get());
        DISPPARAMS params{&arg.Get(), nullptr, 1, 0};
        ASSERT_HRESULT_SUCCEEDED(callbacks->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
        // The user unloads the add-in; the host disconnects and releases it.
        ASSERT_HRESULT_SUCCEEDED(addin->OnDisconnection(ext_dm_UserClosed, &custom));
    }
    const std::vector<HWND> windows = WindowsOf(dll);
    ASSERT_EQ(windows.size(), 1u);

    // No COM object of the module is left, but its window is: the module must stay.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_TRUE(::IsWindow(windows[0]));
    ::SendMessageW(windows[0], WM_CLOSE, 0, 0);
    ui::TForm::ProcessMessages();
    EXPECT_FALSE(::IsWindow(windows[0]));

    // Now it may go: it finalises, gives every reference back, and unloads.
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_TRUE(word.LeakedObjects().empty());
    ::FreeLibrary(dll);
    EXPECT_FALSE(ModuleMapped(getClassObjectProc));

    // No hook of the unloaded module is left on this thread: sent and posted messages still run.
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(probe);
    ::SendMessageW(probe, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"probe"));
    ::PostMessageW(probe, WM_KEYDOWN, VK_TAB, 0);
    ui::TForm::ProcessMessages();
    ::DestroyWindow(probe);
}

} // namespace
