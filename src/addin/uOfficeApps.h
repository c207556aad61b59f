// The nine Office hosts: their kinds in recognition order, the Application interfaces that identify
// them, and the table of factories that the add-in container walks to create a host's add-in.
#pragma once

#include "addin/uGenericAddin.h"

#include <oaidl.h>
#include <windows.h>

#include <array>
#include <functional>
#include <memory>

namespace qs {

// The host kinds; the ordinal is the row of the host table.
enum class TOfficeAppKind {
    oaExcel,
    oaOneNote,
    oaPowerPoint,
    oaWord,
    oaPublisher,
    oaAccess,
    oaInfoPath,
    oaVisio,
    caProject
};

// The hosts' published Application interfaces.
inline constexpr GUID kExcelApplicationIID = {0x000208D5, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kOneNoteApplicationIID = {
    0x452AC71A, 0xB655, 0x4967, {0xA2, 0x08, 0xA4, 0xCC, 0x39, 0xDD, 0x79, 0x49}};
inline constexpr GUID kPowerPointApplicationIID = {
    0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
inline constexpr GUID kWordApplicationIID = {0x00020970, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kPublisherApplicationIID = {0x0002123E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kAccessApplicationIID = {
    0x68CCE6C0, 0x6129, 0x101B, {0xAF, 0x4E, 0x00, 0xAA, 0x00, 0x3F, 0x0F, 0x07}};
// InfoPath is recognised by its _Application; its add-in holds _Application2.
inline constexpr GUID kInfoPathApplicationIID = {
    0x096CD58A, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
inline constexpr GUID kInfoPathApplication2IID = {
    0x096CD6BB, 0x0786, 0x11D1, {0x95, 0xFA, 0x00, 0x80, 0xC7, 0x8E, 0xE3, 0xBB}};
inline constexpr GUID kVisioApplicationIID = {0x000D0700, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID kProjectApplicationIID = {0x00020AFF, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// One row of the host table: the kind, the interface that recognises the host, and the factory of its
// add-in. The factory throws what the add-in's constructor throws (E_NOINTERFACE when the host does not
// answer the interface the add-in holds).
struct TOfficeAppInfo {
    TOfficeAppKind kind;
    GUID applicationIID;
    std::function<std::unique_ptr<TGenericAddin>(IDispatch*)> create;
};

// The nine hosts in recognition order (TOfficeAppKind order): the first interface answered decides.
const std::array<TOfficeAppInfo, 9>& OfficeApps();

} // namespace qs
