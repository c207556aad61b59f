// The add-in container as a host drives it: recognition of the host, forwarding, HostApplication,
// its registration under the nine hosts' add-in keys, the clearing of disabled-item entries, and the
// keyboard hook that hands keys to the tool's windows.
#include "AddinHosts.h"
#include "Fixtures.h"
#include "RegistrySandbox.h"
#include "addin/uAddin.h"
#include "addin/uModule.h"
#include "addin/uAddinGlobals.h"
#include "ui/uComCtrls.h"
#include "ui/uParentedWnd.h"
#include "common/uDebugTrace.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qs;
using namespace qs::test;

namespace {

class Container : public ::testing::Test {
protected:
    void SetUp() override {
        UseTheBuiltModulesTypeLibrary();
        InitializeAddinModule(false);
    }
    void TearDown() override {
        std::vector<ui::TParentedForm*> open = ui::TParentedForm::ParentedForms();
        for (auto* f : open) f->Free();
        FreeComServer();
        EXPECT_FALSE(HostApplication);
    }
    // A new container, as a host creates it by its class.
    static ComPtr<IDTExtensibility2> NewContainer() {
        ComPtr<IClassFactory> cf;
        EXPECT_HRESULT_SUCCEEDED(ServerGetClassObject(CLSID_QuillsparAddin, IID_IClassFactory, &cf));
        ComPtr<IDTExtensibility2> container;
        if (cf) {
            EXPECT_HRESULT_SUCCEEDED(cf->CreateInstance(nullptr, IID_IDTExtensibility2, &container));
        }
        return container;
    }
    static std::wstring CustomUI(IDTExtensibility2* container) {
        ComPtr<IRibbonExtensibility> ribbon;
        EXPECT_HRESULT_SUCCEEDED(container->QueryInterface(IID_IRibbonExtensibility, &ribbon));
        UniqueBstr id(AllocBstr(L"Microsoft.Word.Document")), xml;
        EXPECT_HRESULT_SUCCEEDED(ribbon->GetCustomUI(id.Get(), xml.Put()));
        return BstrText(xml.Get());
    }
};

TEST_F(Container, RecognisesEachHostAndForwardsItsRibbon) {
    for (const HostCase& host : HostCases()) {
        SCOPED_TRACE(host.name);
        THostGraph fake = MakeHost(host.name);
        // InfoPath is recognised by its _Application and its add-in then asks for _Application2.
        ComPtr<THostObject> infoPath = MakeObject(L"_Application", {kInfoPathApplicationIID, kInfoPathApplication2IID});
        IDispatch* app = host.kind == TOfficeAppKind::oaInfoPath ? infoPath.Get() : fake.Application();
        ComPtr<IDTExtensibility2> container = NewContainer();
        ASSERT_TRUE(container);
        ASSERT_HRESULT_SUCCEEDED(container->OnConnection(app, ext_cm_Startup, nullptr, nullptr));
        EXPECT_EQ(HostApplication.Get(), app);
        const std::wstring expected = CreateHostAddin(host.name, app)->GetCustomUI(L"");
        EXPECT_EQ(CustomUI(container.Get()), expected);
        EXPECT_FALSE(expected.empty());
        EXPECT_HRESULT_SUCCEEDED(container->OnStartupComplete(nullptr));
        EXPECT_HRESULT_SUCCEEDED(container->OnDisconnection(ext_dm_HostShutdown, nullptr));
        container.Reset();
        EXPECT_FALSE(HostApplication);
        ForwardAllKeys = false;
    }
}

TEST_F(Container, UnknownHostGetsNothingAndLosesNothing) {
    ComPtr<BareDispatch> app = BareDispatch::Create();
    ComPtr<IDTExtensibility2> container = NewContainer();
    ASSERT_HRESULT_SUCCEEDED(container->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr));
    EXPECT_EQ(CustomUI(container.Get()), L"");
    ComPtr<IAddin> addin;
    ASSERT_HRESULT_SUCCEEDED(container.As(&addin));
    ComPtr<TRibbonControlStub> control = TRibbonControlStub::Create(L"Quillspar_Application");
    ComPtr<IDispatch> image;
    EXPECT_HRESULT_SUCCEEDED(addin->OnGetButtonImage(control.Get(), &image));
    EXPECT_FALSE(image);
    EXPECT_HRESULT_SUCCEEDED(addin->OnButtonClick(control.Get()));
    EXPECT_TRUE(ui::TParentedForm::ParentedForms().empty());
    // The ribbon reaches the callbacks by name through IDispatch.
    ComPtr<IDispatch> disp;
    ASSERT_HRESULT_SUCCEEDED(container.As(&disp));
    LPOLESTR name = const_cast<LPOLESTR>(L"OnButtonClick");
    DISPID id = 0;
    ASSERT_HRESULT_SUCCEEDED(disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(id, 203);
}

TEST_F(Container, HostApplicationFollowsTheLatestContainer) {
    THostGraph word = MakeHost("Word");
    THostGraph excel = MakeHost("Excel");
    ComPtr<IDTExtensibility2> first = NewContainer(), second = NewContainer();
    first->OnConnection(word.Application(), ext_cm_Startup, nullptr, nullptr);
    second->OnConnection(excel.Application(), ext_cm_Startup, nullptr, nullptr);
    EXPECT_EQ(HostApplication.Get(), excel.Application());
    first.Reset(); // destroying either clears it
    EXPECT_FALSE(HostApplication);
    second.Reset();
    ForwardAllKeys = false;
}

TEST_F(Container, InfoPathWithoutItsSecondApplicationInterfaceFailsToConnect) {
    ComPtr<THostObject> app = MakeObject(L"_Application", {kInfoPathApplicationIID});
    ComPtr<IDTExtensibility2> container = NewContainer();
    EXPECT_EQ(container->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr), E_NOINTERFACE);
    EXPECT_EQ(CustomUI(container.Get()), L""); // no add-in was created; the container stays usable
}

// ---- registration ----

class AddinRegistration : public Container {
protected:
    void SetUp() override {
        Container::SetUp();
        saved = TypeLibRegistration();
        TypeLibRegistration().Register = [](ITypeLib*, const wchar_t*, const wchar_t*) { return S_OK; };
        TypeLibRegistration().RegisterForUser = [](ITypeLib*, const wchar_t*, const wchar_t*) { return S_OK; };
        TypeLibRegistration().Unregister = [](REFGUID, WORD, WORD, LCID, SYSKIND) { return S_OK; };
        previousSink = SetDebugTraceSink([this](const std::wstring& line, int depth) {
            trace.push_back(std::wstring(static_cast<size_t>(depth) * 2, L' ') + line);
        });
    }
    void TearDown() override {
        SetDebugTraceSink(previousSink);
        TypeLibRegistration() = saved;
        Container::TearDown();
    }
    static std::vector<std::wstring> AddinKeys(const std::map<std::wstring, std::vector<std::wstring>>& dump,
                                               const std::wstring& prefix = L"") {
        std::vector<std::wstring> keys;
        for (const auto& [key, values] : dump)
            if (key.size() >= 16 && key.compare(key.size() - 16, 16, L"\\Quillspar.Addin") == 0 &&
                key.rfind(prefix + L"Software\\Microsoft", 0) == 0) {
                keys.push_back(key);
                EXPECT_EQ(values,
                          (std::vector<std::wstring>{L"FriendlyName=Quillspar by Halvenmoor", L"LoadBehavior=\x3"}))
                    << testing::PrintToString(key);
            }
        return keys;
    }
    std::vector<std::wstring> ExpectedKeys() const {
        return {L"Software\\Microsoft\\Office\\Access\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\Excel\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\InfoPath\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\MS Project\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\OneNote\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\Publisher\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Office\\Word\\Addins\\Quillspar.Addin",
                L"Software\\Microsoft\\Visio\\Addins\\Quillspar.Addin"};
    }
    TypeLibRegistrar saved;
    DebugTraceSink previousSink;
    std::vector<std::wstring> trace;
};

TEST_F(AddinRegistration, WritesTheNineAddinKeysMachineWideAndRemovesThem) {
    RegistrySandbox sandbox(false); // HKEY_LOCAL_MACHINE shares the classes' scratch key here
    ASSERT_EQ(ServerRegister(true), S_OK);
    EXPECT_EQ(AddinKeys(RegistrySandbox::Dump(sandbox.Classes())), ExpectedKeys());
    EXPECT_TRUE(AddinKeys(RegistrySandbox::Dump(sandbox.User())).empty());
    EXPECT_NE(std::find(trace.begin(), trace.end(),
                        L"  TComAddinContainerFactory.UpdateRegistry: attempting to update HKEY_LOCAL_MACHINE"),
              trace.end());
    ASSERT_EQ(ServerRegister(false), S_OK);
    EXPECT_TRUE(AddinKeys(RegistrySandbox::Dump(sandbox.Classes())).empty());
    EXPECT_EQ(RegistrySandbox::Dump(sandbox.Classes()).count(L"CLSID\\{7C0BD4A5-6014-4E6C-BA95-4BBD7D4F96C0}"), 0u);
}

TEST_F(AddinRegistration, UserWithoutAdministratorRightsGetsTheKeysForHimself) {
    RegistrySandbox sandbox(true);
    ASSERT_EQ(ServerRegister(true), S_OK);
    EXPECT_EQ(AddinKeys(RegistrySandbox::Dump(sandbox.User())), ExpectedKeys());
    const std::vector<std::wstring> expectedTrace = {
        L"enter TComAddinContainerFactory.UpdateRegistry",
        L"  TComAddinContainerFactory.UpdateRegistry: attempting to update HKEY_LOCAL_MACHINE",
        L"  TComAddinContainerFactory.UpdateRegistry: creating key "
        L"Software\\Microsoft\\Office\\Excel\\Addins\\Quillspar.Addin",
        L"  TComAddinContainerFactory.UpdateRegistry: HKEY_LOCAL_MACHINE failed, will install in HKEY_CURRENT_USER",
    };
    ASSERT_GE(trace.size(), expectedTrace.size());
    EXPECT_EQ(std::vector<std::wstring>(trace.begin(), trace.begin() + 4), expectedTrace);
    EXPECT_EQ(trace.back(), L"exit TComAddinContainerFactory.UpdateRegistry");
    ASSERT_EQ(ServerRegister(false), S_OK);
    EXPECT_TRUE(AddinKeys(RegistrySandbox::Dump(sandbox.User())).empty());
}

TEST_F(AddinRegistration, DisabledItemsNamingThisModuleAreDeleted) {
    RegistrySandbox sandbox(false);
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring lower(path, n);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    auto bytes = [](const std::wstring& prefix, const std::wstring& text) {
        std::wstring all = prefix + text + L"|suffix";
        return std::vector<BYTE>(reinterpret_cast<const BYTE*>(all.data()),
                                 reinterpret_cast<const BYTE*>(all.data() + all.size()));
    };
    const std::wstring key = L"Software\\Microsoft\\Office\\14.0\\Word\\Resiliency\\DisabledItems";
    const auto ours = bytes(L"\x0001header", lower);
    const auto other = bytes(L"\x0001header", L"c:\\program files\\other\\addin.dll");
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"A1", REG_BINARY, ours.data(), static_cast<DWORD>(ours.size()));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"B2", REG_BINARY, other.data(),
                      static_cast<DWORD>(other.size()));
    ClearDisabledItems();
    const auto values = RegistrySandbox::Dump(sandbox.User())[key];
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].substr(0, 3), L"B2=");
}

// ---- the keyboard hook ----

class KeyboardHook : public ::testing::Test {
protected:
    void SetUp() override {
        form = new ui::TForm(nullptr);
        edit = new ui::TEdit(form);
    }
    void TearDown() override {
        form->Free();
        ForwardAllKeys = false;
    }
    // Whether the hook took the message (turned it into WM_NULL).
    static bool Taken(HWND target, UINT message, WPARAM key, LPARAM lParam = 0, WPARAM removal = PM_REMOVE) {
        MSG msg{target, message, key, lParam};
        GetMessageHook(HC_ACTION, removal, reinterpret_cast<LPARAM>(&msg));
        return msg.message == WM_NULL;
    }
    ui::TForm* form = nullptr;
    ui::TEdit* edit = nullptr;
};

TEST_F(KeyboardHook, OnlyTheListedKeysUnlessEveryKeyIsForwarded) {
    HWND target = edit->Handle();
    for (WPARAM key : {VK_TAB, VK_UP, VK_DOWN, VK_DELETE, VK_BACK, VK_SPACE}) {
        EXPECT_TRUE(Taken(target, WM_KEYDOWN, key)) << key;
        EXPECT_TRUE(Taken(target, WM_KEYUP, key)) << key;
    }
    EXPECT_FALSE(Taken(target, WM_KEYDOWN, 'A'));
    EXPECT_FALSE(Taken(target, WM_CHAR, 'a'));
    EXPECT_TRUE(Taken(target, WM_KEYDOWN, VK_HOME, 0x01000000)); // an extended key
    EXPECT_FALSE(Taken(target, WM_SYSKEYDOWN, VK_TAB));
    EXPECT_FALSE(Taken(target, WM_KEYDOWN, VK_TAB, 0, PM_NOREMOVE)); // only messages being removed

    ForwardAllKeys = true; // as in Excel
    EXPECT_TRUE(Taken(target, WM_KEYDOWN, 'A'));
    EXPECT_TRUE(Taken(target, WM_KEYUP, 'A'));
    EXPECT_TRUE(Taken(target, WM_CHAR, 'a'));
}

TEST_F(KeyboardHook, KeysForOtherWindowsPassUntouched) {
    ForwardAllKeys = true;
    EXPECT_FALSE(Taken(::GetDesktopWindow(), WM_KEYDOWN, VK_TAB));
    EXPECT_FALSE(Taken(nullptr, WM_KEYDOWN, VK_TAB));
}

} // namespace
