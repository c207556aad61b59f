// Checks of the built DLL itself: it imports only Windows system DLLs, exports the COM functions,
// and its embedded type library holds the module's interfaces and classes with the names, GUIDs and
// DISPIDs that hosts and scripts rely on.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

#define QS_WIDEN2(x) L##x
#define QS_WIDEN(x) QS_WIDEN2(x)

// The DLL sits in the build folder; test executables in build/tests.
std::wstring DllPath() {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"..\\" QS_WIDEN(QS_DLL_PATH);
}

std::vector<char> ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names of the DLLs in a PE image's import directory (PE32 or PE32+), and the machine the image is
// built for, read from the file.
std::vector<std::string> ImportedDlls(const std::vector<char>& image, WORD& machine) {
    std::vector<std::string> names;
    auto at = [&](size_t offset, size_t size) -> const char* {
        if (offset + size > image.size()) throw std::runtime_error("truncated image");
        return image.data() + offset;
    };
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, at(0, sizeof dos), sizeof dos);
    // The two formats share the signature and file header; the optional header's magic tells which follows.
    IMAGE_NT_HEADERS64 nt;
    std::memcpy(&nt, at(dos.e_lfanew, offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + sizeof(WORD)),
                offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + sizeof(WORD));
    machine = nt.FileHeader.Machine;
    IMAGE_DATA_DIRECTORY importDir;
    if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        std::memcpy(&nt, at(dos.e_lfanew, sizeof nt), sizeof nt);
        importDir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    } else if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_NT_HEADERS32 nt32;
        std::memcpy(&nt32, at(dos.e_lfanew, sizeof nt32), sizeof nt32);
        importDir = nt32.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    } else {
        throw std::runtime_error("neither PE32 nor PE32+");
    }
    const size_t sectionsAt = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    std::memcpy(sections.data(), at(sectionsAt, sections.size() * sizeof(IMAGE_SECTION_HEADER)),
                sections.size() * sizeof(IMAGE_SECTION_HEADER));
    auto fileOffset = [&](DWORD rva) -> size_t {
        for (const auto& s : sections)
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        throw std::runtime_error("RVA outside every section");
    };
    const DWORD importRva = importDir.VirtualAddress;
    if (importRva == 0) return names;
    for (size_t offset = fileOffset(importRva);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR d;
        std::memcpy(&d, at(offset, sizeof d), sizeof d);
        if (d.Name == 0) break;
        names.emplace_back(at(fileOffset(d.Name), 1));
    }
    return names;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

TEST(BuiltDll, ImportsOnlyWindowsSystemDlls) {
    const auto image = ReadFile(DllPath());
    ASSERT_FALSE(image.empty()) << "cannot read the DLL";
    const std::vector<std::string> allowed = {
        "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "ole32.dll",  "oleaut32.dll",
        "comctl32.dll", "comdlg32.dll", "shell32.dll",  "shlwapi.dll",  "msvcrt.dll", "version.dll",
        "uxtheme.dll",  "msimg32.dll",  "rpcrt4.dll",   "ucrtbase.dll"};
    WORD machine = 0;
    const auto imports = ImportedDlls(image, machine);
    EXPECT_FALSE(imports.empty());
    // Built for this process's bitness: the 32-bit run loads the 32-bit DLL, as 32-bit Office does.
    EXPECT_EQ(machine, sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    for (const auto& name : imports) {
        const std::string lower = Lower(name);
        const bool ok = std::find(allowed.begin(), allowed.end(), lower) != allowed.end() ||
                        lower.rfind("api-ms-win-", 0) == 0;
        EXPECT_TRUE(ok) << "imports " << name << ", which is not a Windows system DLL";
    }
}

TEST(BuiltDll, ExportsTheComFunctions) {
    HMODULE dll = ::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(dll, nullptr);
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer", "DllInstall"})
        EXPECT_NE(::GetProcAddress(dll, name), nullptr) << name;
    ::FreeLibrary(dll);
}

// The DLL's and the inspector's version blocks carry the project's version, in the numbers and the texts.
TEST(BuiltDll, VersionBlocksCarryTheProjectVersion) {
    const std::wstring folder = DllPath().substr(0, DllPath().find_last_of(L"\\/") + 1);
    const std::wstring expected = QS_WIDEN(QS_PROJECT_VERSION);
    for (const std::wstring& file : {DllPath(), folder + L"qsinspect.exe"}) {
        SCOPED_TRACE(std::string(file.begin(), file.end()));
        std::vector<char> block(::GetFileVersionInfoSizeW(file.c_str(), nullptr));
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        auto numbers = [](DWORD ms, DWORD ls) {
            return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." + std::to_wstring(HIWORD(ls));
        };
        EXPECT_EQ(numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), expected);
        EXPECT_EQ(numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS), expected);
        for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
            wchar_t* text = nullptr;
            ASSERT_TRUE(::VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + name).c_str(),
                                         reinterpret_cast<void**>(&text), &size));
            EXPECT_EQ(std::wstring(text), expected) << name;
        }
    }
}

TEST(BuiltDll, EmbedsTheCommonControlsManifestAsResourceTwo) {
    HMODULE dll = ::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    HRSRC res = ::FindResourceW(dll, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(res, nullptr);
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(dll, res)));
    std::string text(data, ::SizeofResource(dll, res));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("6.0.0.0"), std::string::npos);
    ::FreeLibrary(dll);
}

// ---- the embedded type library ----

class ModuleTypeLib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(::LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, &lib)); }

    ComPtr<ITypeInfo> Info(const GUID& guid) {
        ComPtr<ITypeInfo> info;
        EXPECT_HRESULT_SUCCEEDED(lib->GetTypeInfoOfGuid(guid, &info));
        return info;
    }
    static std::wstring Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
        BSTR name = nullptr;
        if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return L"?";
        std::wstring s(name ? name : L"");
        ::SysFreeString(name);
        return s;
    }
    // DISPIDs and names of a dual interface's own members, in slot order after IDispatch's seven.
    static std::vector<std::pair<std::wstring, MEMBERID>> Members(ITypeInfo* info) {
        std::vector<std::pair<std::wstring, MEMBERID>> out;
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr))) return out;
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* fd = nullptr;
            if (FAILED(info->GetFuncDesc(i, &fd))) continue;
            out.emplace_back(Name(info, fd->memid), fd->memid);
            info->ReleaseFuncDesc(fd);
        }
        info->ReleaseTypeAttr(attr);
        return out;
    }
    static GUID Guid(const wchar_t* text) {
        GUID g{};
        ::CLSIDFromString(text, &g);
        return g;
    }

    ComPtr<ITypeLib> lib;
};

TEST_F(ModuleTypeLib, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, Guid(L"{6BE5177A-B3E5-40F8-99C2-9620DAFCD23D}")));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x0409u);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    EXPECT_STREQ(name, L"Quillspar");
    ::SysFreeString(name);
    // Only the module's own six items: the Office interfaces are declared outside the library.
    EXPECT_EQ(lib->GetTypeInfoCount(), 6u);
}

TEST_F(ModuleTypeLib, InterfacesHaveTheirDispidsInSlotOrder) {
    struct Expected {
        const wchar_t* guid;
        const wchar_t* name;
        std::vector<std::pair<std::wstring, MEMBERID>> members;
    };
    const std::vector<Expected> table = {
        {L"{3161E9FC-7D69-40AD-8A51-CA6C2329758B}", L"IAddin",
         {{L"OnLoadRibbon", 201}, {L"OnGetButtonImage", 202}, {L"OnButtonClick", 203}}},
        {L"{56BBE15C-4A6D-48B4-A750-37BF3A2B3A69}", L"IScriptDebug", {{L"Print", 201}}},
        {L"{07C15AD3-219D-42D7-A9EF-B8047261D4CE}", L"IScriptGlobals", {{L"BrowseObject", 201}, {L"Debug", 202}}},
    };
    for (const auto& e : table) {
        SCOPED_TRACE(e.name);
        ComPtr<ITypeInfo> info = Info(Guid(e.guid));
        ASSERT_TRUE(info);
        EXPECT_EQ(Name(info.Get()), e.name);
        TYPEATTR* attr = nullptr;
        ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
        // The dispatch view of a dual interface; its own interface view follows through href -1.
        EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
        EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
        info->ReleaseTypeAttr(attr);
        HREFTYPE href = 0;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeOfImplType(-1, &href));
        ComPtr<ITypeInfo> vtbl;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(href, &vtbl));
        EXPECT_EQ(Members(vtbl.Get()), e.members);
    }
}

TEST_F(ModuleTypeLib, AddinGetButtonImageReturnsItsPictureAsRetval) {
    ComPtr<ITypeInfo> info = Info(Guid(L"{3161E9FC-7D69-40AD-8A51-CA6C2329758B}"));
    ASSERT_TRUE(info);
    HREFTYPE href = 0;
    ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeOfImplType(-1, &href));
    ComPtr<ITypeInfo> vtbl;
    ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(href, &vtbl));
    FUNCDESC* fd = nullptr;
    ASSERT_HRESULT_SUCCEEDED(vtbl->GetFuncDesc(1, &fd));
    EXPECT_EQ(fd->memid, 202);
    ASSERT_EQ(fd->cParams, 2);
    EXPECT_EQ(fd->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FIN, PARAMFLAG_FIN);
    EXPECT_EQ(fd->lprgelemdescParam[1].paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
              PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.vt, VT_PTR);
    vtbl->ReleaseFuncDesc(fd);
}

TEST_F(ModuleTypeLib, ClassesAndTheirDefaultInterfaces) {
    struct Expected {
        const wchar_t* clsid;
        const wchar_t* name;
        const wchar_t* iid;
        bool creatable;
    };
    const Expected table[] = {
        {L"{7C0BD4A5-6014-4E6C-BA95-4BBD7D4F96C0}", L"Addin", L"{3161E9FC-7D69-40AD-8A51-CA6C2329758B}", true},
        {L"{94D8224C-78FE-4409-8A2D-52B38B10A825}", L"ScriptDebug", L"{56BBE15C-4A6D-48B4-A750-37BF3A2B3A69}", false},
        {L"{D371790F-F072-4A86-8B8A-296CB53C0449}", L"ScriptGlobals", L"{07C15AD3-219D-42D7-A9EF-B8047261D4CE}",
         false},
    };
    for (const auto& e : table) {
        SCOPED_TRACE(e.name);
        ComPtr<ITypeInfo> info = Info(Guid(e.clsid));
        ASSERT_TRUE(info);
        EXPECT_EQ(Name(info.Get()), e.name);
        TYPEATTR* attr = nullptr;
        ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_EQ((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, e.creatable);
        ASSERT_EQ(attr->cImplTypes, 1);
        info->ReleaseTypeAttr(attr);
        INT flags = 0;
        ASSERT_HRESULT_SUCCEEDED(info->GetImplTypeFlags(0, &flags));
        EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
        HREFTYPE href = 0;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeOfImplType(0, &href));
        ComPtr<ITypeInfo> iface;
        ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(href, &iface));
        TYPEATTR* ia = nullptr;
        ASSERT_HRESULT_SUCCEEDED(iface->GetTypeAttr(&ia));
        EXPECT_TRUE(IsEqualGUID(ia->guid, Guid(e.iid)));
        iface->ReleaseTypeAttr(ia);
    }
}

} // namespace

namespace {

// Runs a program and returns its exit code (-1 when it cannot start).
DWORD RunProgram(std::wstring commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return static_cast<DWORD>(-1);
    ::WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

TEST(BuiltDll, Regsvr32RegistersAndRemovesEveryKey) {
    const std::wstring typeLibKey = L"TypeLib\\{6BE5177A-B3E5-40F8-99C2-9620DAFCD23D}";
    wchar_t full[MAX_PATH];
    ::GetFullPathNameW(DllPath().c_str(), MAX_PATH, full, nullptr);
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s \"" + std::wstring(full) + L"\""), 0u);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, typeLibKey + L"\\1.0\\409\\win64")); // the library's locale is 0x0409
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\{3161E9FC-7D69-40AD-8A51-CA6C2329758B}"));
    const std::wstring clsidKey = L"CLSID\\{7C0BD4A5-6014-4E6C-BA95-4BBD7D4F96C0}";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Quillspar.Addin\\Clsid"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Word\\Addins\\Quillspar.Addin"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Visio\\Addins\\Quillspar.Addin"));
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u \"" + std::wstring(full) + L"\""), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLibKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\{3161E9FC-7D69-40AD-8A51-CA6C2329758B}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Quillspar.Addin"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Word\\Addins\\Quillspar.Addin"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Visio\\Addins\\Quillspar.Addin"));
}

// regsvr32 /n /i:user registers the class and the hosts' add-in keys for the current user and never for
// the machine, and /u /n /i:user takes them away again; DllInstall refuses any other command line.
TEST(BuiltDll, Regsvr32ForTheUserWritesOnlyTheUsersKeys) {
    wchar_t full[MAX_PATH];
    ::GetFullPathNameW(DllPath().c_str(), MAX_PATH, full, nullptr);
    HMODULE dll = ::LoadLibraryExW(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(dll, nullptr);
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);
    const auto install = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllInstall")));
    ASSERT_NE(install, nullptr);
    for (PCWSTR line : {static_cast<PCWSTR>(nullptr), L"", L"machine", L"user2"})
        EXPECT_EQ(install(TRUE, line), E_INVALIDARG) << (line ? line : L"(null)");
    ::FreeLibrary(dll);

    const std::wstring classKey = L"Software\\Classes\\CLSID\\{7C0BD4A5-6014-4E6C-BA95-4BBD7D4F96C0}";
    const std::wstring wordKey = L"Software\\Microsoft\\Office\\Word\\Addins\\Quillspar.Addin";
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u \"" + std::wstring(full) + L"\""), 0u); // no machine keys from before
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /n /i:user \"" + std::wstring(full) + L"\""), 0u);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, classKey + L"\\InprocServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Quillspar.Addin\\Clsid"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, wordKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, classKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, wordKey));
    ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u /n /i:user \"" + std::wstring(full) + L"\""), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Quillspar.Addin"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, wordKey));
}

} // namespace
