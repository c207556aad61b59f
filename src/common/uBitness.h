// What differs between the 64-bit build (64-bit Office) and the 32-bit build (32-bit Office), decided
// here once: the Active Scripting parse interface, whose source-context cookie is pointer-sized; the
// SYSKIND of type libraries made at run time; the bitness's name for About and diagnostics. Code
// elsewhere uses these names and does not test _WIN64 itself.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <oaidl.h>

namespace qs {

#if defined(_WIN64)
// The engines' parse interface in a 64-bit process. MinGW declares its IID but defines it in no library.
using IActiveScriptParseNative = IActiveScriptParse64;
inline constexpr IID kIID_IActiveScriptParseNative = // {C7EF7658-E1EE-480E-97EA-D52CB4D76D17}
    {0xC7EF7658, 0xE1EE, 0x480E, {0x97, 0xEA, 0xD5, 0x2C, 0xB4, 0xD7, 0x6D, 0x17}};
// The source-context cookie of ParseScriptText, AddScriptlet and ParseProcedure.
using ScriptSourceContext = DWORDLONG;
inline constexpr SYSKIND kTypeLibSysKind = SYS_WIN64;
inline constexpr wchar_t kBitnessName[] = L"64-bit";
#else
// The engines' parse interface in a 32-bit process.
using IActiveScriptParseNative = IActiveScriptParse32;
inline constexpr IID kIID_IActiveScriptParseNative = // {BB1A2AE2-A4F9-11cf-8F20-00805F2CD064}
    {0xBB1A2AE2, 0xA4F9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
using ScriptSourceContext = DWORD;
inline constexpr SYSKIND kTypeLibSysKind = SYS_WIN32;
inline constexpr wchar_t kBitnessName[] = L"32-bit";
#endif

} // namespace qs
