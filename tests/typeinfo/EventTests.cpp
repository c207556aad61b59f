// The event model on live objects with complete connection points: the stand-in Word's Application,
// whose second source interface extends the first. What is listed, what is advised, how events are
// named and logged, and that the sink is disconnected before the object goes.
#include "Fixtures.h"
#include "HostObjects.h"
#include "SingleSinkSource.h"
#include "common/qsModule.h"
#include "common/uBitness.h"
#include "typeinfo/uEvents.h"
#include "typeinfo/uTypeInfo.h"

#include <gtest/gtest.h>

#include <set>

using namespace qs;
using Microsoft::WRL::ComPtr;

namespace {

class EventModel : public ::testing::Test {
protected:
    EventModel() : word(*standin::HostNamed(L"word")) {
        standin::BuildHostGraph(word);
        word.Settle();
    }
    void TearDown() override { EXPECT_TRUE(word.LeakedObjects().empty()); }
    size_t Fire(const std::wstring& event) {
        std::wstring report;
        return word.FireEvent(event, report);
    }
    standin::THostGraph word;
};

TEST_F(EventModel, TwoSourceInterfacesListEachEventOnceAndAdviseOnlyTheLast) {
    TDispatch app(word.Application());
    TEvents events(&app);
    EXPECT_EQ(events.Name(), L"ApplicationEvents3, ApplicationEvents4");
    ASSERT_EQ(events.EventGUIDs().size(), 2u);
    EXPECT_FALSE(events.EventGUIDs()[0]->Connected);
    EXPECT_TRUE(events.EventGUIDs()[1]->Connected);
    EXPECT_TRUE(events.Connected());
    EXPECT_TRUE(IsEqualGUID(events.EventGUID(), events.EventGUIDs()[1]->Guid));
    // The 20 events of the first interface once each, then the 4 the second adds.
    std::set<std::wstring> names;
    for (const auto& f : events.Functions()) EXPECT_TRUE(names.insert(f->Name()).second) << f->Name().c_str();
    ASSERT_EQ(events.Functions().size(), 24u);
    EXPECT_EQ(events.Functions().front()->Name(), L"Startup");
    EXPECT_EQ(events.Functions().back()->Name(), L"EPostageInsertEx");

    // An event reaches the owner by name with its arguments, through the one advised point.
    std::vector<std::wstring> lines;
    events.OnInvoke = [&](TEvents& sender, const std::wstring& name, DISPPARAMS& params, VARIANT*) {
        EXPECT_EQ(&sender, &events);
        lines.push_back(EventLogLine(name, params));
    };
    EXPECT_EQ(Fire(L"DocumentChange"), 2u); // this model and the reflection's own
    EXPECT_EQ(Fire(L"NewDocument"), 2u);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"DocumentChange ()");
    EXPECT_EQ(lines[1].rfind(L"NewDocument (", 0), 0u);
    EXPECT_EQ(lines[1].find(L", "), std::wstring::npos); // one argument
}

TEST_F(EventModel, EventsWithoutAListedFunctionGetDiagnosticNames) {
    TDispatch app(word.Application());
    TEvents events(&app);
    std::vector<std::wstring> names;
    events.OnInvoke = [&](TEvents&, const std::wstring& name, DISPPARAMS&, VARIANT*) { names.push_back(name); };
    DISPPARAMS none{};
    for (DISPID id : {DISPID(0x3039), DISPID(0xFC8F), DISPID(0xFC8E)})
        EXPECT_EQ(events.Sink()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    // 0xFC8E is only "BeforePrint" on objects that answer the mail item interface.
    EXPECT_EQ(names, (std::vector<std::wstring>{L"<Unknown(DispID=0x00003039)>", L"ReadComplete<DispID=0xFC8F>",
                                                 L"<Unknown(DispID=0x0000FC8E)>"}));
}

TEST_F(EventModel, TheSinkAnswersForItsSourceInterfacesOnly) {
    TDispatch app(word.Application());
    TEvents events(&app);
    ComPtr<IUnknown> asSource, asDispatch, other;
    EXPECT_EQ(events.Sink()->QueryInterface(events.EventGUIDs()[0]->Guid, &asSource), S_OK);
    EXPECT_EQ(events.Sink()->QueryInterface(IID_IDispatch, &asDispatch), S_OK);
    EXPECT_EQ(asSource.Get(), asDispatch.Get());
    EXPECT_EQ(events.Sink()->QueryInterface(IID_IPersist, &other), E_NOINTERFACE);
    UINT count = 5;
    EXPECT_EQ(events.Sink()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(EventModel, DestroyingTheModelUnadvisesAndUnbindsTheSink) {
    TDispatch app(word.Application());
    ComPtr<IDispatch> sink;
    int delivered = 0;
    {
        TEvents events(&app);
        events.OnInvoke = [&](TEvents&, const std::wstring&, DISPPARAMS&, VARIANT*) { ++delivered; };
        sink = events.Sink();
        EXPECT_EQ(Fire(L"Quit"), 2u); // this model and the reflection's own
    }
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(Fire(L"Quit"), 1u); // only the reflection's own model is connected now
    DISPPARAMS none{};
    EXPECT_EQ(sink->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(delivered, 1);
}

// The Application behind a container that does not enumerate its points (E_NOTIMPL, as many servers
// answer) or enumerates them repeating one, and that describes its class with the default source first.
class PointHidingObject : public IDispatch, public IConnectionPointContainer, public IProvideClassInfo {
public:
    enum class Points { NotEnumerated, Repeating };
    PointHidingObject(IDispatch* inner, ITypeInfo* classInfo, Points points,
                      std::vector<ComPtr<IConnectionPoint>> enumerated)
        : m_inner(inner), m_classInfo(classInfo), m_points(points), m_enumerated(std::move(enumerated)) {
        m_inner.As(&m_container);
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) *ppv = static_cast<IDispatch*>(this);
        else if (IsEqualIID(riid, IID_IConnectionPointContainer)) *ppv = static_cast<IConnectionPointContainer*>(this);
        else if (IsEqualIID(riid, IID_IProvideClassInfo)) *ppv = static_cast<IProvideClassInfo*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --m_refs; } // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override { return m_inner->GetTypeInfoCount(n); }
    STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) noexcept override { return m_inner->GetTypeInfo(i, l, t); }
    STDMETHODIMP GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) noexcept override {
        return m_inner->GetIDsOfNames(r, n, c, l, d);
    }
    STDMETHODIMP Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                        UINT* a) noexcept override {
        return m_inner->Invoke(d, r, l, f, p, v, e, a);
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** e) noexcept override {
        *e = nullptr;
        if (m_points == Points::NotEnumerated) return E_NOTIMPL;
        *e = new PointList(m_enumerated);
        return S_OK;
    }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** cp) noexcept override {
        return m_container->FindConnectionPoint(riid, cp);
    }
    STDMETHODIMP GetClassInfo(ITypeInfo** t) noexcept override {
        *t = m_classInfo.Get();
        (*t)->AddRef();
        return S_OK;
    }

private:
    struct PointList : IEnumConnectionPoints {
        explicit PointList(std::vector<ComPtr<IConnectionPoint>> p) : points(std::move(p)) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
            *ppv = nullptr;
            if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumConnectionPoints)) return E_NOINTERFACE;
            *ppv = this;
            AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() noexcept override {
            const ULONG n = --refs;
            if (n == 0) delete this;
            return n;
        }
        STDMETHODIMP Next(ULONG, IConnectionPoint** cp, ULONG* fetched) noexcept override {
            if (fetched) *fetched = 0;
            if (at >= points.size()) return S_FALSE;
            *cp = points[at++].Get();
            (*cp)->AddRef();
            if (fetched) *fetched = 1;
            return S_OK;
        }
        STDMETHODIMP Skip(ULONG) noexcept override { return E_NOTIMPL; }
        STDMETHODIMP Reset() noexcept override { return E_NOTIMPL; }
        STDMETHODIMP Clone(IEnumConnectionPoints**) noexcept override { return E_NOTIMPL; }
        virtual ~PointList() = default;
        std::vector<ComPtr<IConnectionPoint>> points;
        size_t at = 0;
        ULONG refs = 1;
    };
    ComPtr<IDispatch> m_inner;
    ComPtr<IConnectionPointContainer> m_container;
    ComPtr<ITypeInfo> m_classInfo;
    Points m_points;
    std::vector<ComPtr<IConnectionPoint>> m_enumerated;
    ULONG m_refs = 1;
};

TEST_F(EventModel, PointsComeFromTheClassWhenTheContainerDoesNotEnumerateThem) {
    ITypeLib* lib = word.TypeLib();
    ComPtr<ITypeInfo> events3, events4;
    ASSERT_HRESULT_SUCCEEDED(lib->GetTypeInfoOfGuid({0x8E41B3C0, 0x2F5D, 0x4A7E, {0x9C, 0x61, 0x3B, 0x0D, 0x5E, 0x7A, 0x02, 0x30}}, &events3));
    ASSERT_HRESULT_SUCCEEDED(lib->GetTypeInfoOfGuid({0x8E41B3C0, 0x2F5D, 0x4A7E, {0x9C, 0x61, 0x3B, 0x0D, 0x5E, 0x7A, 0x02, 0x31}}, &events4));
    // The class lists its default source first; the model must still advise it, last.
    ComPtr<ICreateTypeLib2> newLib;
    ASSERT_HRESULT_SUCCEEDED(::CreateTypeLib2(qs::kTypeLibSysKind, L"qs-events.tlb", &newLib));
    ComPtr<ICreateTypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(newLib->CreateTypeInfo(const_cast<LPOLESTR>(L"Application"), TKIND_COCLASS, &coclass));
    HREFTYPE ref3 = 0, ref4 = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->AddRefTypeInfo(events4.Get(), &ref4));
    ASSERT_HRESULT_SUCCEEDED(coclass->AddImplType(0, ref4));
    ASSERT_HRESULT_SUCCEEDED(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
    ASSERT_HRESULT_SUCCEEDED(coclass->AddRefTypeInfo(events3.Get(), &ref3));
    ASSERT_HRESULT_SUCCEEDED(coclass->AddImplType(1, ref3));
    ASSERT_HRESULT_SUCCEEDED(coclass->SetImplTypeFlags(1, IMPLTYPEFLAG_FSOURCE));
    ASSERT_HRESULT_SUCCEEDED(coclass->LayOut());
    ComPtr<ITypeInfo> classInfo;
    ASSERT_HRESULT_SUCCEEDED(coclass.As(&classInfo));

    {
        PointHidingObject hidden(word.Application(), classInfo.Get(), PointHidingObject::Points::NotEnumerated, {});
        TDispatch object(&hidden);
        TEvents events(&object);
        EXPECT_EQ(events.Name(), L"ApplicationEvents3, ApplicationEvents4");
        ASSERT_EQ(events.EventGUIDs().size(), 2u);
        EXPECT_TRUE(events.EventGUIDs()[1]->Connected);
        EXPECT_EQ(events.Functions().size(), 24u);
        EXPECT_EQ(Fire(L"Quit"), 2u); // this model and the reflection's own
    }
    {
        // An enumerator that repeats a point ends at the repetition.
        ComPtr<IConnectionPointContainer> container;
        ASSERT_HRESULT_SUCCEEDED(word.Application()->QueryInterface(IID_IConnectionPointContainer, &container));
        ComPtr<IConnectionPoint> point3, point4;
        container->FindConnectionPoint({0x8E41B3C0, 0x2F5D, 0x4A7E, {0x9C, 0x61, 0x3B, 0x0D, 0x5E, 0x7A, 0x02, 0x30}}, &point3);
        container->FindConnectionPoint({0x8E41B3C0, 0x2F5D, 0x4A7E, {0x9C, 0x61, 0x3B, 0x0D, 0x5E, 0x7A, 0x02, 0x31}}, &point4);
        PointHidingObject repeating(word.Application(), classInfo.Get(), PointHidingObject::Points::Repeating,
                                    {point3, point3, point4});
        TDispatch object(&repeating);
        TEvents events(&object);
        EXPECT_EQ(events.Name(), L"ApplicationEvents3");
        ASSERT_EQ(events.EventGUIDs().size(), 1u);
        EXPECT_TRUE(events.EventGUIDs()[0]->Connected);
        EXPECT_EQ(events.Functions().size(), 20u);
    }
}

// The sink is an IDispatch only: a source interface that is not a plain dispinterface (a dual one,
// which its source may call through its own slots) is listed but never advised. A sink that is alive
// keeps the module loaded.
TEST(EventSink, AdvisesOnlyDispinterfacesAndHoldsTheModule) {
    using qs::test::FixtureType;
    ComPtr<ICreateTypeLib2> newLib;
    ASSERT_HRESULT_SUCCEEDED(::CreateTypeLib2(qs::kTypeLibSysKind, L"qs-dual-source.tlb", &newLib));
    ComPtr<ICreateTypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(newLib->CreateTypeInfo(const_cast<LPOLESTR>(L"DualSource"), TKIND_COCLASS, &coclass));
    HREFTYPE ref = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->AddRefTypeInfo(FixtureType(IID_IFixtureDual).Get(), &ref));
    ASSERT_HRESULT_SUCCEEDED(coclass->AddImplType(0, ref));
    ASSERT_HRESULT_SUCCEEDED(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
    ASSERT_HRESULT_SUCCEEDED(coclass->LayOut());
    ComPtr<ITypeInfo> dualClass;
    ASSERT_HRESULT_SUCCEEDED(coclass.As(&dualClass));

    const struct {
        const char* name;
        ComPtr<ITypeInfo> classInfo;
        IID events;
        bool advised;
    } cases[] = {
        {"dispinterface", FixtureType(CLSID_FixtureObject), DIID_DFixtureEvents, true},
        {"dual interface", dualClass, IID_IFixtureDual, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<qs::test::SingleSinkSource> source =
            AttachNew(new qs::test::SingleSinkSource(FixtureType(DIID_DFixture), c.classInfo, c.events));
        const LONG locks = ModuleLockCount();
        {
            TDispatch object(source.Get()); // with its own event model
            ASSERT_TRUE(object.Events());
            const TEvents& events = *object.Events();
            EXPECT_EQ(events.EventGUIDs().size(), 1u);
            EXPECT_EQ(source->Advised(), c.advised);
            EXPECT_EQ(events.Connected(), c.advised);
            EXPECT_GT(ModuleLockCount(), locks);
        }
        EXPECT_FALSE(source->Advised());
        EXPECT_EQ(ModuleLockCount(), locks);
        EXPECT_EQ(source->RefCount(), 1u);
    }
}

TEST(EventLog, ArgumentsInDeclarationOrderThroughTheirReferences) {
    Variant text = Variant::FromString(L"x");
    Variant number = Variant::FromI4(1);
    VARIANT_BOOL cancel = VARIANT_TRUE;
    VARIANT byRef;
    ::VariantInit(&byRef);
    V_VT(&byRef) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&byRef) = &cancel;
    // rgvarg holds the last argument first.
    VARIANTARG args[] = {byRef, text.Get(), number.Get()};
    DISPPARAMS params{args, nullptr, 3, 0};
    EXPECT_EQ(EventLogLine(L"Ev", params), L"Ev (1, x, " + VariantToText(Variant::FromBool(true).Get()) + L")");
    DISPPARAMS none{};
    EXPECT_EQ(EventLogLine(L"Quit", none), L"Quit ()");
}

} // namespace
