// The COM server framework: class factories and their edge cases, automation objects served from the
// type library, error information from failing methods, unloading, and the registration pass with
// the registry redirected (machine-wide, and for a user who may not write there).
#include "com/ComServEx.h"
#include "Fixtures.h"
#include "RegistrySandbox.h"
#include "common/qsError.h"
#include "common/uDebugTrace.h"
#include "typeinfo/uTypeInfo.h"

#include <gtest/gtest.h>

#include <map>

using namespace qs;
using namespace qs::test;

namespace {

// An automation object of the fixture library's FixtureObject class, implementing IFixtureDual.
class TFixtureAuto : public TPMAutoObject, public IFixtureDual {
public:
    TFixtureAuto() { ++live; }
    ~TFixtureAuto() override { --live; }
    QS_COM_OBJECT_IUNKNOWN()
    QS_AUTO_OBJECT_IDISPATCH()

    STDMETHODIMP get_Name(BSTR* value) override {
        try {
            if (!value) return E_POINTER;
            *value = AllocBstr(name);
            return S_OK;
        } catch (...) {
            return SafeCallException();
        }
    }
    STDMETHODIMP put_Name(BSTR value) override {
        try {
            name = BstrText(value);
            if (name == L"abort") throw EAbort();
            if (name == L"std") throw std::runtime_error("plain failure");
            return S_OK;
        } catch (...) {
            return SafeCallException();
        }
    }
    STDMETHODIMP Add(LONG a, LONG b, LONG* result) override {
        try {
            if (a < 0) throw ComError(E_INVALIDARG, L"a must not be negative");
            *result = a + b;
            return S_OK;
        } catch (...) {
            return SafeCallException();
        }
    }
    STDMETHODIMP get_Item(LONG index, VARIANT* value) override {
        ::VariantInit(value);
        V_VT(value) = VT_I4;
        V_I4(value) = index * 2;
        return S_OK;
    }

    std::wstring name = L"auto";
    static int live;
};
int TFixtureAuto::live = 0;

TComClass FixtureAutoClass() {
    return ComClassOf<TFixtureAuto>({InterfaceEntryOf<TFixtureAuto, IFixtureDual>(IID_IFixtureDual)});
}

// A counted outer object for aggregation.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ComPtr<IUnknown> inner;
    ULONG refs = 1;
};

class ComServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreeComServer();
        factory = new TPMAutoObjectFactory(ComServer(), FixtureAutoClass(), CLSID_FixtureObject, ciMultiInstance,
                                           tmApartment);
    }
    void TearDown() override {
        FreeComServer(); // frees the factory
        EXPECT_EQ(TFixtureAuto::live, 0);
    }
    ComPtr<IClassFactory> ClassFactory() {
        ComPtr<IClassFactory> cf;
        EXPECT_HRESULT_SUCCEEDED(ServerGetClassObject(CLSID_FixtureObject, IID_IClassFactory, &cf));
        return cf;
    }
    TPMAutoObjectFactory* factory = nullptr;
};

TEST_F(ComServerTest, FactoryDescribesItsClassFromTheTypeLibrary) {
    EXPECT_EQ(factory->ClassName(), L"FixtureObject");
    EXPECT_EQ(factory->Description(), L"Fixture class");
    EXPECT_EQ(factory->ProgID(), L"QsFixtures.FixtureObject");
    EXPECT_TRUE(IsEqualIID(factory->ErrorIID(), IID_IFixtureDual));
    EXPECT_TRUE(IsEqualIID(factory->EventIID(), DIID_DFixtureEvents));
    EXPECT_EQ(ComServer().ServerName(), L"QsFixtures");
    EXPECT_EQ(ComServer().ServerKey(), L"InprocServer32");
    EXPECT_EQ(ComClassManager().GetFactoryFromClassID(CLSID_FixtureObject), factory);
    EXPECT_EQ(ComClassManager().GetFactoryFromClass(std::type_index(typeid(TFixtureAuto))), factory);
}

TEST_F(ComServerTest, FactoryCreationFailsForClassesTheLibraryDoesNotDescribe) {
    const GUID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    try {
        new TPMAutoObjectFactory(ComServer(), FixtureAutoClass(), unknown, ciMultiInstance, tmApartment);
        ADD_FAILURE() << "created";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Message().rfind(L"Type information missing for class ", 0), 0u);
    }
    // A class that does not implement its coclass's default interface.
    TComClass bare = ComClassOf<TFixtureAuto>({});
    try {
        new TPMAutoObjectFactory(ComServer(), bare, CLSID_FixtureObject, ciMultiInstance, tmApartment);
        ADD_FAILURE() << "created";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Message().rfind(L"Dispatch interface missing from class ", 0), 0u);
    }
}

TEST_F(ComServerTest, GetClassObjectForAnUnknownClass) {
    const GUID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(ServerGetClassObject(unknown, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(ServerGetClassObject(CLSID_FixtureObject, IID_IDispatch, &p), E_NOINTERFACE);
    // An internal class's factory serves the module only: it is never offered outside.
    const GUID internal = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 11}};
    new TPMComObjectFactory(ComServer(), ComClassOf<TPMComObject>({}), internal, L"Internal", L"", ciInternal,
                            tmApartment);
    ASSERT_TRUE(ComClassManager().GetFactoryFromClassID(internal));
    EXPECT_EQ(ServerGetClassObject(internal, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ComServerTest, CreateInstanceRefusalsLeaveNoObject) {
    ComPtr<IClassFactory> cf = ClassFactory();
    Outer outer;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(cf->CreateInstance(&outer, IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(TFixtureAuto::live, 0);
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, &p), E_NOINTERFACE);
    EXPECT_EQ(TFixtureAuto::live, 0);
    EXPECT_EQ(ComServer().ObjectCount(), 0);
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
}

TEST_F(ComServerTest, UnloadingWaitsForObjectsLocksAndFactories) {
    {
        ComPtr<IClassFactory> cf = ClassFactory();
        EXPECT_EQ(ServerCanUnloadNow(), S_FALSE); // a factory reference is out
        ComPtr<IDispatch> object;
        ASSERT_HRESULT_SUCCEEDED(cf->CreateInstance(nullptr, IID_IDispatch, &object));
        EXPECT_EQ(ComServer().ObjectCount(), 1);
        EXPECT_HRESULT_SUCCEEDED(cf->LockServer(TRUE));
        EXPECT_EQ(ComServer().ObjectCount(), 2);
        object.Reset();
        EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
        EXPECT_HRESULT_SUCCEEDED(cf->LockServer(FALSE));
    }
    EXPECT_EQ(ComServer().ObjectCount(), 0);
    EXPECT_EQ(ComServer().FactoryCount(), 0);
    EXPECT_EQ(ServerCanUnloadNow(), S_OK);
}

TEST_F(ComServerTest, DispatchComesFromTheTypeLibrary) {
    ComPtr<IDispatch> object;
    ASSERT_HRESULT_SUCCEEDED(ClassFactory()->CreateInstance(nullptr, IID_IDispatch, &object));
    UINT count = 0;
    EXPECT_HRESULT_SUCCEEDED(object->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> ti;
    EXPECT_EQ(object->GetTypeInfo(1, 0, &ti), DISP_E_BADINDEX);
    ASSERT_HRESULT_SUCCEEDED(object->GetTypeInfo(0, 0, &ti));

    // A put with DISPATCH_PROPERTYPUT alone reaches the setter.
    Variant value = Variant::FromString(L"renamed");
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value.Get(), &putId, 1, 1};
    EXPECT_HRESULT_SUCCEEDED(object->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));
    EXPECT_EQ(BstrText(V_BSTR(&DispatchInvokeByName(object.Get(), L"Name", true).Get())), L"renamed");

    // A method through names, with its optional argument's default.
    LPOLESTR name = const_cast<LPOLESTR>(L"Add");
    DISPID addId = 0;
    ASSERT_HRESULT_SUCCEEDED(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &addId));
    Variant a = Variant::FromI4(5);
    DISPPARAMS args{&a.Get(), nullptr, 1, 0};
    Variant result;
    ASSERT_HRESULT_SUCCEEDED(object->Invoke(addId, IID_NULL, 0, DISPATCH_METHOD, &args, result.Put(), nullptr, nullptr));
    EXPECT_EQ(V_I4(&result.Get()), 15);

    // The class information and the error information support.
    ComPtr<IProvideClassInfo> classInfo;
    ASSERT_HRESULT_SUCCEEDED(object.As(&classInfo));
    ComPtr<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetClassInfo(&coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualCLSID(attr->guid, CLSID_FixtureObject));
    coclass->ReleaseTypeAttr(attr);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_HRESULT_SUCCEEDED(object.As(&support));
    // Every interface the object answers supports error information, IDispatch included; others do not.
    for (const IID* iid : {&IID_IFixtureDual, &IID_IDispatch, &IID_ISupportErrorInfo, &IID_IProvideClassInfo}) {
        ComPtr<IUnknown> answered;
        EXPECT_HRESULT_SUCCEEDED(object->QueryInterface(*iid, &answered));
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), S_OK);
    }
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPersist), S_FALSE);

    // Identity: IUnknown is the same pointer through every interface.
    ComPtr<IUnknown> u1, u2;
    object.As(&u1);
    support.As(&u2);
    EXPECT_EQ(u1.Get(), u2.Get());
}

TEST_F(ComServerTest, FailingMethodsSetErrorInformation) {
    ComPtr<IFixtureDual> object;
    ASSERT_HRESULT_SUCCEEDED(ClassFactory()->CreateInstance(nullptr, IID_IFixtureDual, &object));
    LONG result = 0;
    EXPECT_EQ(object->Add(-1, 0, &result), E_INVALIDARG);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(::GetErrorInfo(0, &info), S_OK);
    UniqueBstr description, source;
    info->GetDescription(description.Put());
    info->GetSource(source.Put());
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_EQ(BstrText(description.Get()), L"a must not be negative");
    EXPECT_EQ(BstrText(source.Get()), L"QsFixtures.FixtureObject");
    EXPECT_TRUE(IsEqualIID(guid, IID_IFixtureDual));

    UniqueBstr abort(AllocBstr(L"abort")), plain(AllocBstr(L"std"));
    EXPECT_EQ(object->put_Name(abort.Get()), kSilentAbortHr);
    EXPECT_EQ(object->put_Name(plain.Get()), E_UNEXPECTED);
    info.Reset();
    ASSERT_EQ(::GetErrorInfo(0, &info), S_OK);
    description.Reset();
    info->GetDescription(description.Put());
    EXPECT_EQ(BstrText(description.Get()), L"plain failure");
}

TEST_F(ComServerTest, AggregatedObjectDelegatesToItsController) {
    Outer outer;
    ComPtr<IUnknown> inner;
    ASSERT_HRESULT_SUCCEEDED(ClassFactory()->CreateInstance(&outer, IID_IUnknown, &inner));
    outer.inner = inner;
    ComPtr<IFixtureDual> dual;
    ASSERT_HRESULT_SUCCEEDED(inner.As(&dual));
    const ULONG before = outer.refs;
    dual->AddRef(); // counts on the outer object
    EXPECT_EQ(outer.refs, before + 1);
    dual->Release();
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(dual->QueryInterface(IID_IUnknown, &identity));
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    identity.Reset();
    dual.Reset();
    outer.inner.Reset();
    inner.Reset();
    EXPECT_EQ(TFixtureAuto::live, 0);
}

TEST_F(ComServerTest, DirectConstructionIsNotCounted) {
    TFixtureAuto* object = TPMComObject::CreateDirect<TFixtureAuto>();
    EXPECT_TRUE(object->NonCounted());
    EXPECT_EQ(ComServer().ObjectCount(), 0);
    object->AddRef();
    object->Release();
    EXPECT_EQ(TFixtureAuto::live, 0);
}

// ---- registration ----

class Registration : public ComServerTest {
protected:
    void SetUp() override {
        ComServerTest::SetUp();
        saved = TypeLibRegistration();
        TypeLibRegistration().Register = [this](ITypeLib*, const wchar_t* path, const wchar_t*) {
            calls.push_back(L"Register " + std::wstring(path));
            return registerResult;
        };
        TypeLibRegistration().RegisterForUser = [this](ITypeLib*, const wchar_t*, const wchar_t*) {
            calls.push_back(L"RegisterForUser");
            return S_OK;
        };
        TypeLibRegistration().Unregister = [this](REFGUID g, WORD major, WORD minor, LCID, SYSKIND) {
            calls.push_back(L"Unregister " + GuidToString(g) + L" " + std::to_wstring(major) + L"." +
                            std::to_wstring(minor));
            return S_OK;
        };
    }
    void TearDown() override {
        TypeLibRegistration() = saved;
        ComServerTest::TearDown();
    }
    std::map<std::wstring, std::vector<std::wstring>> ExpectedClassKeys() const {
        const std::wstring C = GuidToString(CLSID_FixtureObject);
        return {
            {L"CLSID", {}},
            {L"CLSID\\" + C, {L"=Fixture class"}},
            {L"CLSID\\" + C + L"\\InprocServer32", {L"=" + ComServer().ServerFileName(), L"ThreadingModel=Apartment"}},
            {L"CLSID\\" + C + L"\\ProgID", {L"=QsFixtures.FixtureObject"}},
            {L"CLSID\\" + C + L"\\Version", {L"=1.0"}},
            {L"CLSID\\" + C + L"\\TypeLib", {L"={0F1E4D8C-5B6A-4C3D-9E2F-1A2B3C4D5E60}"}},
            {L"QsFixtures.FixtureObject", {L"=Fixture class"}},
            {L"QsFixtures.FixtureObject\\Clsid", {L"=" + C}},
        };
    }
    TypeLibRegistrar saved;
    std::vector<std::wstring> calls;
    HRESULT registerResult = S_OK;
};

TEST_F(Registration, WritesExactlyTheClassKeysAndRemovesThem) {
    RegistrySandbox sandbox(false);
    ASSERT_EQ(ServerRegister(true), S_OK);
    EXPECT_EQ(RegistrySandbox::Dump(sandbox.Classes()), ExpectedClassKeys());
    EXPECT_TRUE(RegistrySandbox::Dump(sandbox.User()).empty());
    EXPECT_EQ(calls, std::vector<std::wstring>{L"Register " + ComServer().ServerFileName()});

    calls.clear();
    ASSERT_EQ(ServerRegister(false), S_OK);
    EXPECT_EQ(RegistrySandbox::Dump(sandbox.Classes()), (std::map<std::wstring, std::vector<std::wstring>>{{L"CLSID", {}}}));
    EXPECT_EQ(calls, std::vector<std::wstring>{L"Unregister {0F1E4D8C-5B6A-4C3D-9E2F-1A2B3C4D5E60} 1.0"});
}

TEST_F(Registration, UserWithoutAdministratorRightsRegistersForHimself) {
    RegistrySandbox sandbox(true);
    registerResult = TYPE_E_REGISTRYACCESS; // the machine-wide library registration fails too
    ASSERT_EQ(ServerRegister(true), S_OK);
    std::map<std::wstring, std::vector<std::wstring>> expected;
    for (const auto& [key, values] : ExpectedClassKeys()) expected[L"Software\\Classes\\" + key] = values;
    expected[L"Software"] = {};
    expected[L"Software\\Classes"] = {};
    EXPECT_EQ(RegistrySandbox::Dump(sandbox.User()), expected);
    EXPECT_EQ(calls, (std::vector<std::wstring>{L"Register " + ComServer().ServerFileName(), L"RegisterForUser"}));

    ASSERT_EQ(ServerRegister(false), S_OK);
    auto left = RegistrySandbox::Dump(sandbox.User());
    for (const auto& [key, values] : left) EXPECT_EQ(key.find(L"FixtureObject"), std::wstring::npos) << key;
    EXPECT_EQ(left.count(L"Software\\Classes\\CLSID\\" + GuidToString(CLSID_FixtureObject)), 0u);
}

TEST_F(Registration, AFailedTypeLibraryRegistrationFailsThePass) {
    RegistrySandbox sandbox(false);
    registerResult = TYPE_E_REGISTRYACCESS;
    TypeLibRegistration().RegisterForUser = nullptr; // an old system without per-user registration
    EXPECT_EQ(ServerRegister(true), TYPE_E_REGISTRYACCESS);
}

TEST(DebugTraceDepth, NestingIsCountedPerThread) {
    std::vector<std::pair<std::wstring, int>> lines;
    auto previous = SetDebugTraceSink([&](const std::wstring& l, int d) { lines.emplace_back(l, d); });
    DebugTrace(L"outer");
    DebugEnter();
    DebugTrace(L"inner");
    int otherDepth = -1;
    HANDLE t = ::CreateThread(nullptr, 0, [](void* p) WINAPI -> DWORD {
        *static_cast<int*>(p) = DebugDepth();
        return 0;
    }, &otherDepth, 0, nullptr);
    ::WaitForSingleObject(t, INFINITE);
    ::CloseHandle(t);
    DebugLeave();
    SetDebugTraceSink(previous);
    DebugTrace(L"discarded");
    EXPECT_EQ(lines, (std::vector<std::pair<std::wstring, int>>{{L"outer", 0}, {L"inner", 1}}));
    EXPECT_EQ(otherDepth, 0);
    EXPECT_EQ(DebugDepth(), 0);
}

} // namespace
