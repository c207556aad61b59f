// The Office hosts as one table: a row per host holds everything the add-in knows about it (how it is
// recognised, the interface its add-in holds, its registry key, its ribbon buttons and what they open,
// where its window handle is, how click errors are reported). The container walks the rows in order.
#pragma once

#include "addin/uGenericAddin.h"

#include <oaidl.h>
#include <windows.h>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

inline constexpr std::size_t kOfficeAppCount = 9;

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

// A button's own way to its object, for objects that take more than property reads. Given the
// Application the add-in holds, returns the object, or an empty value when there is nothing to open.
// Errors of the reads are thrown.
using TFetchObject = Variant (*)(IDispatch* Application);

// One object button of a host: its ribbon texts and image, how it reaches its object (the properties
// of `path` read in turn from the Application, none meaning the Application itself, or `fetch` when
// set), and the browser page shown once the window is open.
struct THostButton {
    TRibbonButton button;
    std::vector<std::wstring> path;
    TFetchObject fetch = nullptr;
    std::optional<TDispatchBrowserTab> page;

    // The button's object from the Application; empty when a step yields nil. Errors are thrown.
    Variant FetchObject(IDispatch* Application) const;
};

// Where Office looks for the host's add-in key: under Office's own key with the host's registry name
// (Software\Microsoft\Office\<name>\Addins\<ProgID>), or under Microsoft's key directly
// (Software\Microsoft\<name>\Addins\<ProgID>).
enum class TAddinKeyParent { Office, Microsoft };

// One host.
struct TOfficeAppInfo {
    TOfficeAppKind kind;
    // The interface that recognises the host: the first row whose interface the Application answers wins.
    GUID applicationIID;
    // The interface the add-in holds; a host that does not answer it cannot be connected.
    GUID addinIID;
    // The host's name in the registry, and where its add-in key goes.
    const wchar_t* registryName;
    TAddinKeyParent addinKeyParent;
    // The object-model group of the ribbon and its buttons, and the buttons of the "Data Access
    // Objects" group (a group shown only when it has buttons).
    std::wstring objectModelLabel;
    std::vector<THostButton> objectModel;
    std::vector<THostButton> dataAccess;
    // The window the tool's windows are parented to: the property `hwndProperty` of the object that
    // `hwndOwner` reads from the Application (empty: the Application itself). An error reading the
    // owner is not caught; an error reading the property falls back to the foreground window.
    std::vector<std::wstring> hwndOwner;
    const wchar_t* hwndProperty;
    // True: every error of a click is shown in an "Error" box; false: it leaves the callback.
    bool showsClickErrors = false;
    // True: creating the add-in has the keyboard hook hand every key to the tool's windows.
    bool forwardsAllKeys = false;

    // The groups of the host's ribbon tab in order: Script, the object model, the data group when there
    // is one, Tools.
    std::vector<TRibbonGroup> RibbonGroups() const;
    // The object button with the id (letter case ignored), or null.
    const THostButton* FindButton(const std::wstring& id) const noexcept;
    // A new add-in for the host, holding `addinIID` of Application. Throws ComError(E_NOINTERFACE) when
    // Application does not answer it.
    std::unique_ptr<TGenericAddin> CreateAddin(IDispatch* Application) const;
};

// The hosts in recognition order (TOfficeAppKind order).
const std::array<TOfficeAppInfo, kOfficeAppCount>& OfficeApps();

} // namespace qs
