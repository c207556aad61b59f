// Completion for scripts. See uScriptCompletion.h.
#include "script/uScriptCompletion.h"

#include "common/qsError.h"
#include "typeinfo/uTypeInfo.h"

#include <algorithm>
#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace qs {

namespace {

using ui::StartsWithNoCase;

bool IsWordChar(wchar_t c) noexcept { return ui::IsCompletionWordChar(c); }

std::wstring Upper(std::wstring s) {
    if (!s.empty()) ::CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

bool LessNoCase(const std::wstring& a, const std::wstring& b) {
    const int c = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                         static_cast<int>(b.size()), TRUE);
    return c == CSTR_LESS_THAN || (c == CSTR_EQUAL && a < b);
}

std::wstring Trim(std::wstring_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::iswspace(s[a])) ++a;
    while (b > a && std::iswspace(s[b - 1])) --b;
    return std::wstring(s.substr(a, b - a));
}

// The type that stands for an object's members: a dual interface's dispinterface, a coclass's default
// interface; anything else as it is.
ComPtr<ITypeInfo> MemberType(ComPtr<ITypeInfo> info) {
    for (int hops = 0; info && hops < 4; ++hops) {
        TypeAttrGuard attr;
        if (FAILED(info->GetTypeAttr(attr.Put(info.Get()))) || !attr) return nullptr;
        if (attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> disp;
            if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
                SUCCEEDED(info->GetRefTypeInfo(ref, &disp)) && disp)
                return disp;
            return info;
        }
        if (attr->typekind != TKIND_COCLASS) return info;
        ComPtr<ITypeInfo> next;
        for (UINT i = 0; i < attr->cImplTypes && !next; ++i) {
            INT flags = 0;
            HREFTYPE ref = 0;
            if (SUCCEEDED(info->GetImplTypeFlags(i, &flags)) && (flags & IMPLTYPEFLAG_FDEFAULT) &&
                !(flags & IMPLTYPEFLAG_FSOURCE) && SUCCEEDED(info->GetRefTypeOfImplType(i, &ref)))
                info->GetRefTypeInfo(ref, &next);
        }
        info = next;
    }
    return info;
}

// The type information of a live object (GetTypeInfo only: nothing the object does changes).
ComPtr<ITypeInfo> LiveType(IDispatch* object) {
    UINT count = 0;
    ComPtr<ITypeInfo> info;
    if (!object || FAILED(object->GetTypeInfoCount(&count)) || count == 0) return nullptr;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) return nullptr;
    return MemberType(info);
}

// What a declared type says about a value: an object of a known type, an object or variant that only
// the live value can tell, or no object at all.
enum class TDeclared { Known, GivesUp, NotObject };

TDeclared ResolveTypeDesc(ITypeInfo* owner, const TYPEDESC& start, ComPtr<ITypeInfo>& type) {
    const TYPEDESC* td = &start;
    ComPtr<ITypeInfo> holder(owner);
    // The aliases followed, with their types: each keeps its TYPEDESC alive while it is read.
    std::vector<ComPtr<ITypeInfo>> aliasTypes;
    std::vector<std::unique_ptr<TypeAttrGuard>> aliases;
    for (int hops = 0; hops < 8; ++hops) {
        switch (td->vt) {
        case VT_PTR:
            if (!td->lptdesc) return TDeclared::NotObject;
            td = td->lptdesc;
            continue;
        case VT_DISPATCH:
        case VT_VARIANT:
        case VT_UNKNOWN:
            return TDeclared::GivesUp;
        case VT_USERDEFINED: {
            ComPtr<ITypeInfo> ref;
            if (FAILED(holder->GetRefTypeInfo(td->hreftype, &ref)) || !ref) return TDeclared::NotObject;
            auto attr = std::make_unique<TypeAttrGuard>();
            if (FAILED(ref->GetTypeAttr(attr->Put(ref.Get()))) || !*attr) return TDeclared::NotObject;
            switch ((*attr)->typekind) {
            case TKIND_ALIAS: {
                td = &(*attr)->tdescAlias;
                aliasTypes.push_back(ref);
                aliases.push_back(std::move(attr));
                holder = ref;
                continue;
            }
            case TKIND_DISPATCH:
            case TKIND_INTERFACE:
            case TKIND_COCLASS:
                type = MemberType(ref);
                return type ? TDeclared::Known : TDeclared::NotObject;
            default:
                return TDeclared::NotObject;
            }
        }
        default:
            return TDeclared::NotObject;
        }
    }
    return TDeclared::NotObject;
}

// The declared type of what a member gives: a getter's or method's result (the retval parameter of a
// plain interface's method), a variable's type.
TDeclared DeclaredResult(const TCompletionType& owner, const TCompletionMember& m, ComPtr<ITypeInfo>& type) {
    ITypeInfo* info = owner.Info();
    if (m.VarIndex >= 0) {
        VarDescGuard vd;
        if (FAILED(info->GetVarDesc(static_cast<UINT>(m.VarIndex), vd.Put(info))) || !vd) return TDeclared::NotObject;
        return ResolveTypeDesc(info, vd->elemdescVar.tdesc, type);
    }
    FuncDescGuard fd;
    if (m.FuncIndex < 0 || FAILED(info->GetFuncDesc(static_cast<UINT>(m.FuncIndex), fd.Put(info))) || !fd)
        return TDeclared::NotObject;
    if (fd->elemdescFunc.tdesc.vt == VT_HRESULT) {
        for (SHORT i = 0; i < fd->cParams; ++i)
            if (fd->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)
                return ResolveTypeDesc(info, fd->lprgelemdescParam[i].tdesc, type);
        return TDeclared::NotObject;
    }
    return ResolveTypeDesc(info, fd->elemdescFunc.tdesc, type);
}

bool IsItem(const TCompletionMember& m) {
    return m.MemId == DISPID_VALUE || ::CompareStringOrdinal(m.Name.c_str(), -1, L"Item", -1, TRUE) == CSTR_EQUAL;
}

// The image of a member: methods have their own; a property the image of its value type, a number for
// an enumeration.
int MemberImage(ITypeInfo* info, const TYPEDESC& td, bool method) {
    if (method) return kImageMethod;
    const TYPEDESC* t = &td;
    while (t->vt == VT_PTR && t->lptdesc) t = t->lptdesc;
    if (t->vt != VT_USERDEFINED) return ImageIndexForVarType(ResolveElemType(td));
    ComPtr<ITypeInfo> ref;
    TypeAttrGuard attr;
    if (SUCCEEDED(info->GetRefTypeInfo(t->hreftype, &ref)) && ref && SUCCEEDED(ref->GetTypeAttr(attr.Put(ref.Get()))) &&
        attr && attr->typekind == TKIND_ENUM)
        return kImageNumber;
    return kImageObject;
}

} // namespace

// ---- Parsing ----

bool ParseMemberChain(std::wstring_view text, bool basic, std::vector<TChainStep>& steps) {
    steps.clear();
    size_t end = text.size();
    for (;;) {
        TChainStep step;
        if (end > 0 && text[end - 1] == L')') {
            // The matching bracket, quotes and nested brackets skipped; the arguments split at this level.
            int depth = 0;
            size_t i = end;
            size_t argEnd = end - 1;
            bool found = false;
            while (i > 0) {
                const wchar_t c = text[--i];
                if (c == L'"' || (!basic && c == L'\'')) {
                    // Back to the opening quote (a doubled quote in Basic reads as two strings, which
                    // lands on the same opening quote).
                    size_t j = i;
                    while (j > 0 && text[j - 1] != c) --j;
                    if (j == 0) return false;
                    i = j - 1;
                } else if (c == L')') {
                    ++depth;
                } else if (c == L'(') {
                    if (--depth == 0) {
                        found = true;
                        break;
                    }
                } else if (c == L',' && depth == 1) {
                    step.Args.insert(step.Args.begin(), Trim(text.substr(i + 1, argEnd - i - 1)));
                    argEnd = i;
                }
            }
            if (!found) return false;
            const std::wstring first = Trim(text.substr(i + 1, argEnd - i - 1));
            if (!first.empty() || !step.Args.empty()) step.Args.insert(step.Args.begin(), first);
            step.Call = true;
            end = i;
        }
        size_t start = end;
        while (start > 0 && IsWordChar(text[start - 1])) --start;
        if (start == end || std::iswdigit(text[start])) return false;
        step.Name = std::wstring(text.substr(start, end - start));
        steps.insert(steps.begin(), std::move(step));
        if (start == 0 || text[start - 1] != L'.') return true;
        end = start - 1;
        if (end == 0) return false; // a leading dot (a With block's member) names no object here
    }
}

bool ParseLiteral(const std::wstring& text, bool basic, Variant& out) {
    if (text.empty()) return false;
    const wchar_t q = text[0];
    if (q == L'"' || (!basic && q == L'\'')) {
        if (text.size() < 2 || text.back() != q) return false;
        std::wstring s;
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            wchar_t c = text[i];
            if (basic && c == L'"') {
                if (i + 2 >= text.size() || text[i + 1] != L'"') return false;
                ++i;
            } else if (!basic && c == L'\\') {
                if (i + 2 >= text.size()) return false;
                c = text[++i];
                if (c == L'n') c = L'\n';
                else if (c == L't') c = L'\t';
                else if (c == L'r') c = L'\r';
            } else if (!basic && c == q) {
                return false;
            }
            s += c;
        }
        out = Variant::FromString(s);
        return true;
    }
    size_t i = text[0] == L'-' ? 1 : 0;
    if (i >= text.size()) return false;
    bool dot = false;
    for (size_t j = i; j < text.size(); ++j) {
        if (text[j] == L'.' && !dot) {
            dot = true;
        } else if (!std::iswdigit(text[j])) {
            return false;
        }
    }
    Variant v = Variant::FromString(text);
    return SUCCEEDED(::VariantChangeTypeEx(out.Put(), &v.Get(), MAKELCID(LANG_ENGLISH, SORT_DEFAULT), 0,
                                           dot ? VT_R8 : (text.size() - i > 9 ? VT_R8 : VT_I4)));
}

// ---- Types ----

TCompletionType::TCompletionType(ITypeInfo* info) : m_info(info) {
    TypeAttrGuard attr;
    if (!info || FAILED(info->GetTypeAttr(attr.Put(info))) || !attr) return;
    m_kind = attr->typekind;
    std::unordered_map<MEMBERID, size_t> byId;
    auto add = [&](MEMBERID id, std::wstring name) -> TCompletionMember& {
        auto [it, added] = byId.emplace(id, m_members.size());
        if (added) {
            m_members.emplace_back();
            m_members.back().Name = std::move(name);
            m_members.back().MemId = id;
        }
        return m_members[it->second];
    };
    std::vector<int> images;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FuncDescGuard fd;
        if (FAILED(info->GetFuncDesc(i, fd.Put(info))) || !fd) continue;
        if (fd->wFuncFlags & (FUNCFLAG_FRESTRICTED | FUNCFLAG_FHIDDEN)) continue;
        UniqueBstr name;
        UINT n = 0;
        if (FAILED(info->GetNames(fd->memid, name.Put(), 1, &n)) || n == 0 || !name) continue;
        const size_t before = m_members.size();
        TCompletionMember& m = add(fd->memid, BstrText(name.Get()));
        const bool isNew = m_members.size() != before;
        if (isNew) images.push_back(-1);
        int& image = images[static_cast<size_t>(&m - m_members.data())];
        // Parameters that are not the result: a plain interface's retval and locale ones do not count.
        int params = 0, required = 0;
        for (SHORT p = 0; p < fd->cParams; ++p) {
            const USHORT flags = fd->lprgelemdescParam[p].paramdesc.wParamFlags;
            if (flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) continue;
            ++params;
            if (!(flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) && p < fd->cParams - fd->cParamsOpt) ++required;
        }
        if (fd->invkind == INVOKE_FUNC) {
            m.IsMethod = true;
            m.FuncIndex = static_cast<int>(i);
            m.GetterParams = params;
            m.RequiredParams = required;
            image = kImageMethod;
        } else if (fd->invkind == INVOKE_PROPERTYGET) {
            m.HasGetter = true;
            m.IsMethod = false;
            m.FuncIndex = static_cast<int>(i);
            m.GetterParams = params;
            m.RequiredParams = required;
            const TYPEDESC* td = &fd->elemdescFunc.tdesc;
            if (td->vt == VT_HRESULT)
                for (SHORT p = 0; p < fd->cParams; ++p)
                    if (fd->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)
                        td = &fd->lprgelemdescParam[p].tdesc;
            image = MemberImage(info, *td, false);
        } else if (image < 0) {
            // A property that can only be set: listed, never read.
            image = MemberImage(info, fd->cParams > 0 ? fd->lprgelemdescParam[fd->cParams - 1].tdesc
                                                      : fd->elemdescFunc.tdesc,
                                false);
        }
    }
    for (UINT i = 0; i < attr->cVars; ++i) {
        VarDescGuard vd;
        if (FAILED(info->GetVarDesc(i, vd.Put(info))) || !vd) continue;
        if (vd->wVarFlags & (VARFLAG_FRESTRICTED | VARFLAG_FHIDDEN)) continue;
        UniqueBstr name;
        UINT n = 0;
        if (FAILED(info->GetNames(vd->memid, name.Put(), 1, &n)) || n == 0 || !name) continue;
        const size_t before = m_members.size();
        TCompletionMember& m = add(vd->memid, BstrText(name.Get()));
        if (m_members.size() != before) images.push_back(-1);
        m.HasGetter = true;
        m.VarIndex = static_cast<int>(i);
        images[static_cast<size_t>(&m - m_members.data())] = MemberImage(info, vd->elemdescVar.tdesc, false);
    }
    // Sorted by name; the images follow their members.
    std::vector<size_t> order(m_members.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return LessNoCase(m_members[a].Name, m_members[b].Name); });
    std::vector<TCompletionMember> sorted;
    sorted.reserve(m_members.size());
    m_items.reserve(m_members.size());
    for (size_t i : order) {
        sorted.push_back(std::move(m_members[i]));
        m_items.push_back(ui::TCompletionItem{sorted.back().Name, {}, images[i]});
    }
    m_members = std::move(sorted);
    m_byName.reserve(m_members.size());
    for (size_t i = 0; i < m_members.size(); ++i) m_byName.emplace(Upper(m_members[i].Name), i);
}

const TCompletionMember* TCompletionType::Find(const std::wstring& name) const {
    const auto it = m_byName.find(Upper(name));
    return it == m_byName.end() ? nullptr : &m_members[it->second];
}

const TCompletionMember* TCompletionType::DefaultMember() const {
    for (const TCompletionMember& m : m_members)
        if (m.MemId == DISPID_VALUE) return &m;
    return nullptr;
}

// ---- Resolving a chain ----

// Follows a chain step by step. Each step knows its declared type when the type information tells
// it, and how its value is read from the step before when that read is one completion may make (a
// property get without arguments, an Item with literal arguments); live values are read only when
// a step's declared type gives up, and each at most once.
class TScriptCompletion::TResolver {
public:
    TResolver(TScriptCompletion& owner, bool basic, bool readLive)
        : m_owner(owner), m_basic(basic), m_readLive(readLive),
          m_deadline(std::chrono::steady_clock::now() + owner.m_readLimit) {}

    // The type of the chain's value, or null.
    const TCompletionType* Resolve(const std::vector<TChainStep>& steps) {
        if (steps.empty() || !Head(steps[0])) return nullptr;
        for (size_t k = m_headIsMember ? 0 : 1; k < steps.size(); ++k)
            if (!Step(steps[k])) return nullptr;
        return Current();
    }
    // The type that holds the chain's last step, and that step's member, for a call's tip.
    bool ResolveMember(const std::vector<TChainStep>& steps, const TCompletionType*& owner,
                       const TCompletionMember*& member) {
        if (steps.empty()) return false;
        if (steps.size() == 1) {
            // A function of a global object (BrowseObject).
            for (int i = 0; i < m_owner.m_host.NamedObjects().Count(); ++i) {
                const TNamedObject& o = m_owner.m_host.NamedObjects().Items(i);
                if (!o.Global || !o.DispatchPtr) continue;
                if (const TCompletionType* t = m_owner.TypeOf(LiveType(o.DispatchPtr.Get()).Get())) {
                    if ((member = t->Find(steps[0].Name)) != nullptr) {
                        owner = t;
                        return true;
                    }
                }
            }
            return false;
        }
        const std::vector<TChainStep> head(steps.begin(), steps.end() - 1);
        owner = Resolve(head);
        member = owner ? owner->Find(steps.back().Name) : nullptr;
        return member != nullptr;
    }

private:
    struct TRead {
        DISPID Id = DISPID_UNKNOWN;
        WORD Flags = DISPATCH_PROPERTYGET;
        std::vector<Variant> Args;
    };
    struct TLevel {
        const TCompletionType* Type = nullptr; // the declared (or live) type, when known
        bool Readable = false;                 // the reads below may be made
        std::vector<TRead> Reads;              // from the level before
        ComPtr<IDispatch> Live;
        bool LiveTried = false;
    };

    const TCompletionType* Current() {
        TLevel& level = m_levels.back();
        if (!level.Type && m_readLive) {
            if (IDispatch* live = Live(m_levels.size() - 1)) level.Type = m_owner.TypeOf(LiveType(live).Get());
        }
        return level.Type;
    }

    bool Head(const TChainStep& step) {
        TNamedObjects& objects = m_owner.m_host.NamedObjects();
        if (!step.Call) {
            for (int i = 0; i < objects.Count(); ++i) {
                const TNamedObject& o = objects.Items(i);
                if (o.Global || !o.DispatchPtr) continue;
                if (::CompareStringOrdinal(o.Name.c_str(), -1, step.Name.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
                TLevel level;
                level.Live = o.DispatchPtr;
                level.LiveTried = true;
                level.Type = m_owner.TypeOf(LiveType(o.DispatchPtr.Get()).Get());
                m_levels.push_back(std::move(level));
                return true;
            }
        }
        // A member of a global object stands on its own (its members are the script's own names).
        for (int i = 0; i < objects.Count(); ++i) {
            const TNamedObject& o = objects.Items(i);
            if (!o.Global || !o.DispatchPtr) continue;
            const TCompletionType* t = m_owner.TypeOf(LiveType(o.DispatchPtr.Get()).Get());
            if (!t || !t->Find(step.Name)) continue;
            TLevel level;
            level.Live = o.DispatchPtr;
            level.LiveTried = true;
            level.Type = t;
            m_levels.push_back(std::move(level));
            m_headIsMember = true;
            return true;
        }
        return false;
    }

    bool Step(const TChainStep& step) {
        const TCompletionType* type = Current();
        if (!type) return false;
        const TCompletionMember* m = type->Find(step.Name);
        if (!m) return false;
        std::vector<Variant> args;
        bool literal = true;
        for (const std::wstring& a : step.Args) {
            Variant v;
            if (!ParseLiteral(a, m_basic, v)) literal = false;
            args.push_back(std::move(v));
        }
        TLevel level;
        ComPtr<ITypeInfo> declared;
        TDeclared how = DeclaredResult(*type, *m, declared);
        if (m->IsMethod) {
            // Methods are never called: only an Item with literal arguments may be read.
            level.Readable = IsItem(*m) && literal;
            level.Reads.push_back({m->MemId, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args)});
        } else if (step.Call && !step.Args.empty() && m->GetterParams == 0) {
            // A collection property followed by arguments: the collection's default member takes them.
            level.Readable = m->HasGetter && literal;
            level.Reads.push_back({m->MemId, DISPATCH_PROPERTYGET, {}});
            level.Reads.push_back({DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args)});
            if (how == TDeclared::Known) {
                const TCompletionType* collection = m_owner.TypeOf(declared.Get());
                const TCompletionMember* item = collection ? collection->DefaultMember() : nullptr;
                declared.Reset();
                how = item ? DeclaredResult(*collection, *item, declared) : TDeclared::GivesUp;
            }
        } else {
            level.Readable = m->HasGetter && (step.Args.empty() ? m->RequiredParams == 0 : IsItem(*m) && literal);
            level.Reads.push_back({m->MemId, DISPATCH_PROPERTYGET, std::move(args)});
        }
        if (how == TDeclared::NotObject) return false;
        if (how == TDeclared::Known) level.Type = m_owner.TypeOf(declared.Get());
        m_levels.push_back(std::move(level));
        return true;
    }

    // The live value of a level, read (with the levels before it) when every read on the way may be
    // made and the time allows; null otherwise.
    IDispatch* Live(size_t k) {
        TLevel& level = m_levels[k];
        if (level.LiveTried) return level.Live.Get();
        level.LiveTried = true;
        if (!m_readLive || !level.Readable || k == 0) return nullptr;
        ComPtr<IDispatch> object = Live(k - 1);
        for (TRead& read : level.Reads) {
            if (!object || std::chrono::steady_clock::now() >= m_deadline) return nullptr;
            object = Read(object.Get(), read);
        }
        m_levels[k].Live = object; // the vector does not grow while reading
        return object.Get();
    }

    ComPtr<IDispatch> Read(IDispatch* object, TRead& read) {
        ComPtr<IDispatch> held(object); // the call may release what the chain held
        std::vector<VARIANTARG> args(read.Args.size());
        for (size_t i = 0; i < read.Args.size(); ++i) args[read.Args.size() - 1 - i] = read.Args[i].Get();
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        Variant result;
        EXCEPINFO excep{};
        UINT argErr = 0;
        ++m_owner.m_liveReads;
        const HRESULT hr =
            held->Invoke(read.Id, IID_NULL, LOCALE_USER_DEFAULT, read.Flags, &params, result.Put(), &excep, &argErr);
        ::SysFreeString(excep.bstrSource);
        ::SysFreeString(excep.bstrDescription);
        ::SysFreeString(excep.bstrHelpFile);
        if (FAILED(hr)) return nullptr;
        const VARIANT& v = result.Get();
        IUnknown* unk = nullptr;
        if (V_VT(&v) == VT_DISPATCH) unk = V_DISPATCH(&v);
        else if (V_VT(&v) == VT_UNKNOWN) unk = V_UNKNOWN(&v);
        else if (V_VT(&v) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&v)) unk = *V_DISPATCHREF(&v);
        else if (V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) && V_VT(V_VARIANTREF(&v)) == VT_DISPATCH)
            unk = V_DISPATCH(V_VARIANTREF(&v));
        ComPtr<IDispatch> next;
        if (unk) unk->QueryInterface(IID_PPV_ARGS(&next));
        return next;
    }

    TScriptCompletion& m_owner;
    bool m_basic;
    bool m_readLive;
    bool m_headIsMember = false;
    std::chrono::steady_clock::time_point m_deadline;
    std::vector<TLevel> m_levels;
};

// ---- The provider ----

TScriptCompletion::TScriptCompletion(TScriptHost& host) : m_host(host) {}

TScriptCompletion::~TScriptCompletion() = default;

void TScriptCompletion::ClearCache() noexcept {
    m_types.clear();
    m_typesByGuid.clear();
    m_constants.clear();
    m_constantLibs = -1;
}

HIMAGELIST TScriptCompletion::Images() {
    if (!m_images) {
        m_images = std::make_unique<ui::TImageList>(16, 16);
        m_images->AddResourceStrip(L"PROPERTYIMAGES");
    }
    return m_images->Handle();
}

const TCompletionType* TScriptCompletion::TypeOf(ITypeInfo* info) {
    if (!info) return nullptr;
    if (const auto it = m_types.find(info); it != m_types.end()) return it->second.get();
    // The same type reached through another ITypeInfo (a live object's own) is read once.
    std::wstring key;
    {
        TypeAttrGuard attr;
        if (SUCCEEDED(info->GetTypeAttr(attr.Put(info))) && attr && !IsEqualGUID(attr->guid, GUID_NULL) &&
            !IsEqualGUID(attr->guid, IID_IDispatch)) {
            wchar_t guid[40]{};
            ::StringFromGUID2(attr->guid, guid, 40);
            key = std::wstring(guid) + L"/" + std::to_wstring(attr->lcid) + L"/" + std::to_wstring(attr->typekind);
        }
    }
    if (!key.empty()) {
        if (const auto it = m_typesByGuid.find(key); it != m_typesByGuid.end()) return m_types[it->second].get();
    }
    auto type = std::make_unique<TCompletionType>(info);
    const TCompletionType* result = type.get();
    m_types.emplace(info, std::move(type)); // the entry holds the ITypeInfo, so the key stays valid
    if (!key.empty()) m_typesByGuid.emplace(key, info);
    return result;
}

const TCompletionType* TScriptCompletion::ResolveChain(const std::vector<TChainStep>& steps, bool basic,
                                                       bool readLive) {
    TResolver resolver(*this, basic, readLive);
    return resolver.Resolve(steps);
}

const std::vector<ui::TCompletionItem>& TScriptCompletion::Constants() {
    TExposedTypeLibs& libs = m_host.ExposedTypeLibs();
    if (m_constantLibs == libs.Count()) return m_constants;
    m_constants.clear();
    for (int i = 0; i < libs.Count(); ++i) {
        const TExposedTypeLib& lib = libs.Items(i);
        ComPtr<ITypeLib> loaded = LoadRegisteredTypeLib(lib.Guid, lib.VersionMajor, lib.VersionMinor);
        if (!loaded) loaded = lib.Library;
        for (const TConstant& c : ReadTypeLibConstants(loaded.Get())) {
            std::wstring value;
            try {
                value = L"= " + VariantToText(c.Value.Get());
            } catch (const ComError&) {
            }
            m_constants.push_back(ui::TCompletionItem{c.Name, std::move(value), ImageIndexForVarType(c.Value.Type())});
        }
    }
    std::stable_sort(m_constants.begin(), m_constants.end(),
                     [](const ui::TCompletionItem& a, const ui::TCompletionItem& b) { return LessNoCase(a.Name, b.Name); });
    m_constantLibs = libs.Count();
    return m_constants;
}

void TScriptCompletion::GlobalItems(const std::wstring& prefix, bool byPrefix, std::vector<ui::TCompletionItem>& out) {
    auto wanted = [&](const std::wstring& name) { return !byPrefix || StartsWithNoCase(name, prefix); };
    TNamedObjects& objects = m_host.NamedObjects();
    for (int i = 0; i < objects.Count(); ++i) {
        const TNamedObject& o = objects.Items(i);
        if (!o.DispatchPtr) continue;
        if (!o.Global) {
            if (wanted(o.Name)) out.push_back(ui::TCompletionItem{o.Name, {}, kImageObject});
            continue;
        }
        if (const TCompletionType* t = TypeOf(LiveType(o.DispatchPtr.Get()).Get()))
            for (const ui::TCompletionItem& item : t->Items())
                if (wanted(item.Name)) out.push_back(item);
    }
    for (const ui::TCompletionItem& c : Constants())
        if (wanted(c.Name)) out.push_back(c);
    std::stable_sort(out.begin(), out.end(),
                     [](const ui::TCompletionItem& a, const ui::TCompletionItem& b) { return LessNoCase(a.Name, b.Name); });
    // A name both an object and a global member (Debug) is listed once.
    out.erase(std::unique(out.begin(), out.end(),
                          [](const ui::TCompletionItem& a, const ui::TCompletionItem& b) {
                              return ::CompareStringOrdinal(a.Name.c_str(), -1, b.Name.c_str(), -1, TRUE) == CSTR_EQUAL;
                          }),
              out.end());
}

bool TScriptCompletion::ListAt(const ui::TCodeEditorModel& model, ui::TTextPos caret, ui::TCompletionTrigger trigger,
                               ui::TCompletionList& list) {
    caret = model.Clamp(caret);
    const std::wstring& line = model.Line(caret.row);
    const bool basic = model.Scheme() == ui::TCodeScheme::VisualBasic;
    // Nothing in strings and comments.
    std::vector<ui::TToken> tokens;
    ui::LexLine(model.Scheme(), line, model.StateBefore(caret.row), &tokens);
    for (const ui::TToken& t : tokens) {
        if (caret.col > t.start && caret.col <= t.start + t.length &&
            (t.kind == ui::TTokenKind::String || t.kind == ui::TTokenKind::Comment))
            return false;
    }
    int start = caret.col;
    while (start > 0 && IsWordChar(line[static_cast<size_t>(start - 1)])) --start;
    list.StartCol = start;
    list.Items.clear();
    if (start > 0 && line[static_cast<size_t>(start - 1)] == L'.') {
        if (trigger == ui::TCompletionTrigger::Typing) return false;
        std::vector<TChainStep> steps;
        if (!ParseMemberChain(std::wstring_view(line).substr(0, static_cast<size_t>(start - 1)), basic, steps))
            return false;
        const TCompletionType* type = ResolveChain(steps, basic, !(Busy && Busy()));
        if (!type) return false;
        list.Items = type->Items();
        return !list.Items.empty();
    }
    const std::wstring word = line.substr(static_cast<size_t>(start), static_cast<size_t>(caret.col - start));
    GlobalItems(word, trigger == ui::TCompletionTrigger::Typing, list.Items);
    return !list.Items.empty();
}

bool TScriptCompletion::TipAt(const ui::TCodeEditorModel& model, ui::TTextPos open, ui::TParameterTip& tip) {
    open = model.Clamp(open);
    const std::wstring& line = model.Line(open.row);
    const bool basic = model.Scheme() == ui::TCodeScheme::VisualBasic;
    std::vector<TChainStep> steps;
    if (!ParseMemberChain(std::wstring_view(line).substr(0, static_cast<size_t>(open.col)), basic, steps))
        return false;
    TResolver resolver(*this, basic, !(Busy && Busy()));
    const TCompletionType* owner = nullptr;
    const TCompletionMember* member = nullptr;
    if (!resolver.ResolveMember(steps, owner, member)) return false;
    // A property without parameters before a bracket: the parameters are its value's default member's.
    if (!member->IsMethod && member->GetterParams == 0) {
        ComPtr<ITypeInfo> declared;
        if (DeclaredResult(*owner, *member, declared) != TDeclared::Known) return false;
        owner = TypeOf(declared.Get());
        member = owner ? owner->DefaultMember() : nullptr;
        if (!member) return false;
    }
    ITypeInfo* info = owner->Info();
    FuncDescGuard fd;
    if (member->FuncIndex < 0 || FAILED(info->GetFuncDesc(static_cast<UINT>(member->FuncIndex), fd.Put(info))) || !fd)
        return false;
    std::vector<BSTR> names(static_cast<size_t>(fd->cParams) + 1, nullptr);
    UINT count = 0;
    info->GetNames(fd->memid, names.data(), static_cast<UINT>(names.size()), &count);
    std::vector<UniqueBstr> owned;
    for (UINT i = 0; i < count; ++i) owned.emplace_back(names[i]);
    tip.Prefix = member->Name + L"(";
    tip.Params.clear();
    std::wstring result;
    for (SHORT p = 0; p < fd->cParams; ++p) {
        const ELEMDESC& e = fd->lprgelemdescParam[p];
        TParamElement param;
        param.Fill(info, e);
        if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
            result = param.TypeName();
            continue;
        }
        if (e.paramdesc.wParamFlags & PARAMFLAG_FLCID) continue;
        const size_t nameIndex = static_cast<size_t>(p) + 1;
        std::wstring name = nameIndex < count && owned[nameIndex] ? BstrText(owned[nameIndex].Get())
                                                                 : L"Arg" + std::to_wstring(p + 1);
        const bool vararg = fd->cParamsOpt == -1 && p == fd->cParams - 1;
        const bool optional = (e.paramdesc.wParamFlags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) ||
                              (fd->cParamsOpt > 0 && p >= fd->cParams - fd->cParamsOpt);
        std::wstring text = vararg ? name + L"..." : name + L" As " + param.TypeName();
        if (e.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
            const Variant& d = param.DefaultValue();
            try {
                std::wstring value = VariantToText(d.Get());
                if (d.Type() == VT_BOOL) value = V_BOOL(&d.Get()) ? (basic ? L"True" : L"true") : (basic ? L"False" : L"false");
                text += L" = " + (d.Type() == VT_BSTR ? L"\"" + value + L"\"" : value);
            } catch (const ComError&) {
            }
        }
        tip.Params.push_back(optional || vararg ? L"[" + text + L"]" : text);
    }
    if (result.empty() && fd->elemdescFunc.tdesc.vt != VT_VOID && fd->elemdescFunc.tdesc.vt != VT_HRESULT) {
        TParamElement ret;
        ret.Fill(info, fd->elemdescFunc);
        result = ret.TypeName();
    }
    tip.Suffix = result.empty() ? L")" : L") As " + result;
    return true;
}

} // namespace qs
