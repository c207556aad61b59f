// Helpers of the script suite: the module's type library for the script objects, running a text,
// the lines of an error, replacing the engine factory for a test, and a type library made in memory.
#pragma once

#include "Fixtures.h"
#include "com/ComServEx.h"
#include "script/fScriptFrame.h"
#include "script/uScriptHost.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qs::test {

// The script objects' classes are in the module's type library, in the built DLL (the test program's
// own library is the fixtures').
class ScriptTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        UseTheBuiltModulesTypeLibrary();
    }
    static void TearDownTestSuite() { FreeComServer(); }
};

inline HRESULT RunScript(TScriptHost& host, const std::wstring& language, const std::wstring& code) {
    host.SetLanguage(language);
    host.SetCode(code);
    return host.Execute();
}

// The lines of a text joined with CR LF.
inline std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

// A file in the temporary folder, and its bytes written and read as they are (up to 64 KiB).
inline std::wstring TempPath(const std::wstring& name) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline std::string ReadBytes(const std::wstring& path) {
    UniqueHandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ::ReadFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// Replaces how the host creates engines while it lives.
class EngineFactoryScope {
public:
    explicit EngineFactoryScope(TScriptHost::TEngineFactory factory)
        : m_previous(TScriptHost::SetEngineFactory(std::move(factory))) {}
    ~EngineFactoryScope() { TScriptHost::SetEngineFactory(std::move(m_previous)); }
    EngineFactoryScope(const EngineFactoryScope&) = delete;
    EngineFactoryScope& operator=(const EngineFactoryScope&) = delete;

private:
    TScriptHost::TEngineFactory m_previous;
};

// A type library made in memory holding the given enumerations (name, then its constants in order).
struct EnumSpec {
    const wchar_t* name;
    std::vector<std::pair<const wchar_t*, LONG>> constants;
};
inline ComPtr<ITypeLib> MakeEnumLibrary(const std::vector<EnumSpec>& enums) {
    ComPtr<ICreateTypeLib2> create;
    if (FAILED(::CreateTypeLib2(qs::kTypeLibSysKind, L"memory.tlb", &create))) return nullptr;
    create->SetName(const_cast<LPOLESTR>(L"MemoryLib"));
    MEMBERID id = 1;
    for (const EnumSpec& e : enums) {
        ComPtr<ICreateTypeInfo> info;
        if (FAILED(create->CreateTypeInfo(const_cast<LPOLESTR>(e.name), TKIND_ENUM, &info))) return nullptr;
        UINT index = 0;
        for (const auto& [name, value] : e.constants) {
            VARIANT v;
            V_VT(&v) = VT_I4;
            V_I4(&v) = value;
            VARDESC desc{};
            desc.memid = id++;
            desc.lpvarValue = &v;
            desc.varkind = VAR_CONST;
            desc.elemdescVar.tdesc.vt = VT_I4;
            if (FAILED(info->AddVarDesc(index, &desc)) || FAILED(info->SetVarName(index, const_cast<LPOLESTR>(name))))
                return nullptr;
            ++index;
        }
        if (FAILED(info->LayOut())) return nullptr;
    }
    ComPtr<ITypeLib> lib;
    create.As(&lib);
    return lib;
}

} // namespace qs::test
