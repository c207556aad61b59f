// The interface dialog: asks the user for an interface ID, picked from a list of named interfaces or
// typed as a GUID (registry form with or without braces, or 32 hexadecimal digits in memory order).
// UI thread only.
#pragma once

#include "ui/uParentedWnd.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

// One string of the caller's list: a name or a GUID text, with the GUID it stands for when known.
struct TGUIDListItem {
    std::wstring Text;
    std::optional<GUID> Guid;
};

// One entry of the dialog's list: its text and its own copy of the GUID.
struct TGUIDEntry {
    std::wstring Text;
    GUID Guid;
};

// The bytes of a text of hexadecimal digit pairs, an odd last digit ignored; nullopt when a pair is
// not hexadecimal.
std::optional<std::string> HexToBytes(const std::wstring& Text);
// The dialog's list for the caller's strings: GUID texts and 32-digit texts in sorted order, names on
// top in reverse order of arrival; strings that give no GUID are left out.
std::vector<TGUIDEntry> GUIDEntries(const std::vector<TGUIDListItem>& GUIDList);
// What typed text stands for: an entry's name (without regard to case), a registry-form GUID with or
// without its braces, or 32 hexadecimal digits (memory order); nullopt otherwise.
std::optional<GUID> GUIDFromText(const std::wstring& Text, const std::vector<TGUIDEntry>& Entries);

class TSelectGUIDDialog : public ui::TParentedForm {
public:
    explicit TSelectGUIDDialog(HWND AWndParent);

    // Fills the list, shows the dialog modally and sets Guid when it ends with OK.
    bool __SelectGUID(const std::vector<TGUIDListItem>& GUIDList, GUID& Guid);
    // Accepts the typed text, or shows "Could not convert string to GUID" and keeps the dialog open.
    void OKBtnClick();

    ui::TComboBox* GUIDComboBox = nullptr;
    ui::TButton* OKBtn = nullptr;
    ui::TButton* CancelBtn = nullptr;

private:
    std::vector<TGUIDEntry> FEntries;
    GUID FGUID = GUID_NULL;
};

// Asks for an interface ID in a dialog owned by WndParent with the given caption; true and Guid set
// when the user chose one, false (Guid unchanged) when cancelled.
bool SelectGUID(const std::vector<TGUIDListItem>& GUIDList, GUID& Guid, HWND WndParent, const std::wstring& Caption);

} // namespace qs
