// Owners for BSTRs and VARIANTs, and small text helpers shared by every unit.
#include "common/qsHandles.h"

#include <cstdio>
#include <new>

namespace qs {

BSTR AllocBstr(std::wstring_view text) {
    BSTR b = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

Variant::Variant(const VARIANT& src) {
    ::VariantInit(&m_v);
    const HRESULT hr = ::VariantCopy(&m_v, const_cast<VARIANT*>(&src));
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    // Other failures (an unsupported type) leave the copy empty, as VariantCopy does.
}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        Variant copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        ::VariantClear(&m_v);
        m_v = o.m_v;
        ::VariantInit(&o.m_v);
    }
    return *this;
}

Variant Variant::Attach(VARIANT& src) noexcept {
    Variant v;
    v.m_v = src;
    ::VariantInit(&src);
    return v;
}

Variant Variant::FromI4(LONG value) noexcept {
    Variant v;
    V_VT(&v.m_v) = VT_I4;
    V_I4(&v.m_v) = value;
    return v;
}

Variant Variant::FromBool(bool value) noexcept {
    Variant v;
    V_VT(&v.m_v) = VT_BOOL;
    V_BOOL(&v.m_v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::FromString(std::wstring_view s) {
    Variant v;
    V_BSTR(&v.m_v) = AllocBstr(s);
    V_VT(&v.m_v) = VT_BSTR;
    return v;
}

Variant Variant::FromDispatch(IDispatch* d) noexcept {
    Variant v;
    V_VT(&v.m_v) = VT_DISPATCH;
    V_DISPATCH(&v.m_v) = d;
    if (d) d->AddRef();
    return v;
}

Variant Variant::FromError(SCODE code) noexcept {
    Variant v;
    V_VT(&v.m_v) = VT_ERROR;
    V_ERROR(&v.m_v) = code;
    return v;
}

std::wstring GuidToString(const GUID& g) {
    wchar_t buf[64];
    std::swprintf(buf, 64, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return buf;
}

std::wstring HexDigits(unsigned long v, int width) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%0*lX", width, v);
    return buf;
}

} // namespace qs
