// What the benchmarks against type information share: an object whose only trait is its type
// information, the bare walk over a dispinterface that any reflection must do at least, timing over
// repeated runs, and loading the generated 2,000-member type library embedded in the benchmark.
#pragma once

#include "BenchClock.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace qs::bench {

using Microsoft::WRL::ComPtr;

// An object whose only trait is its type information.
class TypedObject : public IDispatch {
public:
    explicit TypedObject(ITypeInfo* ti) : m_ti(ti) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; } // lives on the stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 1; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ti) override { return m_ti.CopyTo(ti); }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ComPtr<ITypeInfo> m_ti;
    ULONG m_refs = 1;
};

inline size_t BareWalk(ITypeInfo* ti) {
    TYPEATTR* attr = nullptr;
    if (FAILED(ti->GetTypeAttr(&attr))) return 0;
    size_t seen = 0;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* fd = nullptr;
        if (FAILED(ti->GetFuncDesc(i, &fd))) continue;
        BSTR name = nullptr, doc = nullptr, file = nullptr;
        DWORD ctx = 0;
        if (SUCCEEDED(ti->GetDocumentation(fd->memid, &name, &doc, &ctx, &file))) {
            ::SysFreeString(name);
            ::SysFreeString(doc);
            ::SysFreeString(file);
        }
        std::vector<BSTR> names(static_cast<size_t>(fd->cParams) + 1, nullptr);
        UINT got = 0;
        if (SUCCEEDED(ti->GetNames(fd->memid, names.data(), static_cast<UINT>(names.size()), &got)))
            for (BSTR b : names) ::SysFreeString(b);
        ti->ReleaseFuncDesc(fd);
        ++seen;
    }
    ti->ReleaseTypeAttr(attr);
    return seen;
}

struct Stats {
    double best, median;
};

template <typename F>
Stats Measure(int runs, F&& f) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const double t0 = Now();
        f();
        times.push_back(Now() - t0);
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// The type information of `guid` in the type library embedded in this executable, or null.
inline ComPtr<ITypeInfo> EmbeddedTypeInfo(const GUID& guid) {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    ComPtr<ITypeLib> lib;
    ComPtr<ITypeInfo> ti;
    if (FAILED(::LoadTypeLibEx(path, REGKIND_NONE, &lib)) || FAILED(lib->GetTypeInfoOfGuid(guid, &ti))) return nullptr;
    return ti;
}

// DBench2000, the generated dispinterface of 2,000 members.
constexpr GUID kBench2000 = {0x3E8C4A51, 0x2B7D, 0x4F0E, {0x9C, 0x61, 0x5D, 0x2A, 0x7B, 0x9E, 0x0F, 0x11}};

} // namespace qs::bench
