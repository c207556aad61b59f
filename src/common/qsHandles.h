// Move-only owners for handles, BSTRs, VARIANTs, SAFEARRAYs and type-information descriptors.
// Each releases what it holds on destruction; none can be copied.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qs {

template <typename T, auto Close, T Invalid = T{}>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(T v) noexcept : m_v(v) {}
    UniqueAny(UniqueAny&& o) noexcept : m_v(std::exchange(o.m_v, Invalid)) {}
    UniqueAny& operator=(UniqueAny&& o) noexcept {
        Reset(std::exchange(o.m_v, Invalid));
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { Reset(); }
    T Get() const noexcept { return m_v; }
    T* Put() noexcept {
        Reset();
        return &m_v;
    }
    T Release() noexcept { return std::exchange(m_v, Invalid); }
    void Reset(T v = Invalid) noexcept {
        if (m_v != Invalid) Close(m_v);
        m_v = v;
    }
    explicit operator bool() const noexcept { return m_v != Invalid; }

private:
    T m_v = Invalid;
};

namespace detail {
inline void CloseHandleChecked(HANDLE h) noexcept { ::CloseHandle(h); }
inline void FreeLibraryChecked(HMODULE h) noexcept { ::FreeLibrary(h); }
inline void FreeLocal(HLOCAL h) noexcept { ::LocalFree(h); }
inline void DeleteGdiObject(HGDIOBJ h) noexcept { ::DeleteObject(h); }
} // namespace detail

using UniqueHkey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;
using UniqueHandle = UniqueAny<HANDLE, &detail::CloseHandleChecked>;
using UniqueHmodule = UniqueAny<HMODULE, &detail::FreeLibraryChecked>;
using UniqueHlocal = UniqueAny<HLOCAL, &detail::FreeLocal>;
using UniqueHfont = UniqueAny<HFONT, &detail::DeleteGdiObject>;

// A BSTR made from text; throws std::bad_alloc when the allocation fails.
BSTR AllocBstr(std::wstring_view text);
// The text of a BSTR, NULs included (a null BSTR is the empty text).
inline std::wstring BstrText(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(); }

// A VARIANT that clears itself. Copies go through VariantCopy, so they may throw on failure.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&m_v); }
    explicit Variant(const VARIANT& src);
    Variant(const Variant& o) : Variant(o.m_v) {}
    Variant(Variant&& o) noexcept : m_v(o.m_v) { ::VariantInit(&o.m_v); }
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept;
    ~Variant() { ::VariantClear(&m_v); }

    // Takes ownership of src's contents; src is left VT_EMPTY.
    static Variant Attach(VARIANT& src) noexcept;
    static Variant FromI4(LONG v) noexcept;
    static Variant FromBool(bool v) noexcept;
    static Variant FromString(std::wstring_view s);
    static Variant FromDispatch(IDispatch* d) noexcept; // adds a reference
    static Variant FromError(SCODE code) noexcept;
    static Variant Missing() noexcept { return FromError(DISP_E_PARAMNOTFOUND); }

    VARTYPE Type() const noexcept { return V_VT(&m_v); }
    const VARIANT& Get() const noexcept { return m_v; }
    VARIANT& Get() noexcept { return m_v; }
    // Clears and returns the address for an out-parameter.
    VARIANT* Put() noexcept {
        ::VariantClear(&m_v);
        return &m_v;
    }
    // Hands the contents to the caller, who must clear them.
    VARIANT Detach() noexcept {
        VARIANT v = m_v;
        ::VariantInit(&m_v);
        return v;
    }
    void Clear() noexcept { ::VariantClear(&m_v); }

private:
    VARIANT m_v;
};

// Releases a FUNCDESC, VARDESC or TYPEATTR through the ITypeInfo that produced it (a TLIBATTR through
// its ITypeLib).
template <typename Owner, typename Desc, void (STDMETHODCALLTYPE Owner::*ReleaseFn)(Desc*)>
class TypeInfoDesc {
public:
    TypeInfoDesc() noexcept = default;
    TypeInfoDesc(const TypeInfoDesc&) = delete;
    TypeInfoDesc& operator=(const TypeInfoDesc&) = delete;
    ~TypeInfoDesc() { Reset(); }
    void Reset() noexcept {
        if (m_desc && m_owner) (m_owner->*ReleaseFn)(m_desc);
        m_desc = nullptr;
        m_owner = nullptr;
    }
    // The owner must outlive the guard (it is not referenced).
    Desc** Put(Owner* owner) noexcept {
        Reset();
        m_owner = owner;
        return &m_desc;
    }
    Desc* Get() const noexcept { return m_desc; }
    Desc* operator->() const noexcept { return m_desc; }
    explicit operator bool() const noexcept { return m_desc != nullptr; }

private:
    Owner* m_owner = nullptr;
    Desc* m_desc = nullptr;
};

using FuncDescGuard = TypeInfoDesc<ITypeInfo, FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using VarDescGuard = TypeInfoDesc<ITypeInfo, VARDESC, &ITypeInfo::ReleaseVarDesc>;
using TypeAttrGuard = TypeInfoDesc<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using TLibAttrGuard = TypeInfoDesc<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>;

// An array of BSTRs that a callee fills (ITypeInfo::GetNames); frees every element.
class TBstrArray {
public:
    explicit TBstrArray(size_t count) : m_items(count, nullptr) {}
    TBstrArray(const TBstrArray&) = delete;
    TBstrArray& operator=(const TBstrArray&) = delete;
    ~TBstrArray() {
        for (BSTR b : m_items) ::SysFreeString(b);
    }
    BSTR* Data() noexcept { return m_items.data(); }
    size_t Size() const noexcept { return m_items.size(); }
    BSTR operator[](size_t i) const noexcept { return m_items[i]; }

private:
    std::vector<BSTR> m_items;
};

// Destroys a SAFEARRAY it owns.
using UniqueSafeArray = UniqueAny<SAFEARRAY*, &::SafeArrayDestroy>;

// Takes ownership of a new object's initial reference. (MinGW's ComPtr::Attach adds a reference of its
// own, unlike the documented behaviour, so it must not be used for this.)
template <typename T>
Microsoft::WRL::ComPtr<T> AttachNew(T* object) noexcept {
    Microsoft::WRL::ComPtr<T> p;
    *p.GetAddressOf() = object;
    return p;
}

// Text helpers.
std::wstring GuidToString(const GUID& g);          // registry form, upper-case, in braces
std::wstring HexDigits(unsigned long v, int width);  // upper-case, zero-padded

} // namespace qs
