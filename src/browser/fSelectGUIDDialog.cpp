// The interface dialog: its list of named and numbered interfaces, the reading of typed GUIDs, and
// the modal question. See fSelectGUIDDialog.h.
#include "browser/fSelectGUIDDialog.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "typeinfo/uUtils.h"
#include "ui/uUtilsDialogs.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>

namespace qs {

using namespace ui;

namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool SameTextNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The platform reads up to the first NUL: a text with a NUL inside would pass with whatever follows it.
std::optional<GUID> RegistryFormGUID(const std::wstring& text) {
    GUID g;
    if (text.empty() || text.find(L'\0') != std::wstring::npos || FAILED(::CLSIDFromString(text.c_str(), &g)))
        return std::nullopt;
    return g;
}

// 16 bytes from 32 hexadecimal digits, in the GUID's memory order.
std::optional<GUID> MemoryOrderGUID(const std::wstring& text) {
    const std::optional<std::string> bytes = HexToBytes(text);
    if (!bytes || bytes->size() != sizeof(GUID)) return std::nullopt;
    GUID g;
    std::memcpy(&g, bytes->data(), sizeof g);
    return g;
}

std::wstring Trimmed(const std::wstring& s) {
    const size_t first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

} // namespace

std::optional<std::string> HexToBytes(const std::wstring& Text) {
    std::string bytes;
    for (size_t i = 0; i + 1 < Text.size(); i += 2) {
        const int high = HexDigit(Text[i]), low = HexDigit(Text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

std::vector<TGUIDEntry> GUIDEntries(const std::vector<TGUIDListItem>& GUIDList) {
    std::vector<TGUIDEntry> entries;
    size_t names = 0;
    for (const TGUIDListItem& s : GUIDList) {
        TGUIDEntry entry{s.Text, GUID_NULL};
        if (auto g = RegistryFormGUID(s.Text)) {
            entry.Guid = *g;
        } else if (s.Text.size() == 32) {
            auto m = MemoryOrderGUID(s.Text);
            if (!m) continue;
            entry.Guid = *m;
            entry.Text = GuidToString(*m);
        } else if (s.Guid) {
            entry.Guid = *s.Guid;
        } else {
            continue;
        }
        if (entry.Text.empty() || RegistryFormGUID(entry.Text)) entry.Text = GuidToString(entry.Guid);
        if (!SameTextNoCase(entry.Text, GuidToString(entry.Guid))) {
            entries.insert(entries.begin(), entry); // a name: on top, the latest first
            ++names;
        } else {
            auto at = std::find_if(entries.begin() + static_cast<std::ptrdiff_t>(names), entries.end(),
                                   [&](const TGUIDEntry& e) { return _wcsicmp(entry.Text.c_str(), e.Text.c_str()) < 0; });
            entries.insert(at, entry);
        }
    }
    return entries;
}

std::optional<GUID> GUIDFromText(const std::wstring& Text, const std::vector<TGUIDEntry>& Entries) {
    const std::wstring text = Trimmed(Text);
    for (const TGUIDEntry& e : Entries)
        if (SameTextNoCase(e.Text, text)) return e.Guid;
    if (text.empty()) return std::nullopt;
    std::wstring braced = text;
    if (braced.front() != L'{') braced.insert(0, 1, L'{');
    if (braced.back() != L'}') braced.push_back(L'}');
    if (auto g = RegistryFormGUID(braced)) return g;
    return MemoryOrderGUID(text);
}

TSelectGUIDDialog::TSelectGUIDDialog(HWND AWndParent) : TParentedForm(AWndParent) {
    SetText(L"OpenProperty()");
    SetClientSize(521, 102);
    Position = TPosition::ScreenCenter;
    auto* label = new TLabel(this, L"GUID:");
    label->SetBounds(12, 20, label->Width(), label->Height());
    // Editable, its list drawn by the owner-drawn combo rule the other combos follow.
    GUIDComboBox = new TComboBox(this, false, true);
    GUIDComboBox->Name = L"GUIDComboBox";
    MakeOwnerDrawCombo(*GUIDComboBox);
    GUIDComboBox->SetBounds(12, 38, 497, 24);
    OKBtn = new TButton(this, L"OK");
    OKBtn->Name = L"OKBtn";
    OKBtn->Default = true;
    OKBtn->SetBounds(353, 70, 75, 25);
    OKBtn->OnClick = [this](TButton&) {
        try {
            OKBtnClick();
        }
        QS_CATCH_TRACE(L"TSelectGUIDDialog.OKBtnClick")
    };
    CancelBtn = new TButton(this, L"Cancel");
    CancelBtn->Name = L"CancelBtn";
    CancelBtn->ModalResult = IDCANCEL;
    CancelBtn->SetBounds(434, 70, 75, 25);
    OnResize = [this](TControl&) {
        const int w = ClientRect().right;
        GUIDComboBox->SetBounds(12, 38, std::max(w - 24, 60), 24);
        OKBtn->SetBounds(std::max(w - 168, 80), 70, 75, 25);
        CancelBtn->SetBounds(std::max(w - 87, 161), 70, 75, 25);
    };
    OnShortCut = [this](TForm&, const MSG& msg) {
        if (msg.message != WM_KEYDOWN) return false;
        if (msg.wParam == VK_RETURN) OKBtn->Click();
        else if (msg.wParam == VK_ESCAPE) CancelBtn->Click();
        else return false;
        return true;
    };
}

bool TSelectGUIDDialog::__SelectGUID(const std::vector<TGUIDListItem>& GUIDList, GUID& Guid) {
    FEntries = GUIDEntries(GUIDList);
    GUIDComboBox->Clear();
    for (const TGUIDEntry& e : FEntries) GUIDComboBox->Add(e.Text);
    if (!FEntries.empty()) GUIDComboBox->SetItemIndex(0);
    const TOwnCode own = EnterOwnCode();
    const int result = ShowModal();
    // A dialog closed for good while it was up (its owner destroyed) answers IDCANCEL.
    if (result != IDOK || own.Closed()) return false;
    Guid = FGUID;
    return true;
}

void TSelectGUIDDialog::OKBtnClick() {
    const TOwnCode own = EnterOwnCode(); // the box may outlast the dialog's owner
    if (auto g = GUIDFromText(GUIDComboBox->Text(), FEntries)) {
        FGUID = *g;
        ModalResult = IDOK;
        return;
    }
    ShowMessageBox(Handle(), L"Could not convert string to GUID", L"Error", MB_OK | MB_ICONERROR);
    if (!own.Closed()) ModalResult = 0; // the dialog stays open with the text as typed
}

bool SelectGUID(const std::vector<TGUIDListItem>& GUIDList, GUID& Guid, HWND WndParent, const std::wstring& Caption) {
    // Closing the dialog's owner while it is up closes it for good: it answers "cancelled" and is
    // destroyed when the holder goes.
    const TFormHolder<TSelectGUIDDialog> dialog(WndParent);
    dialog->SetText(Caption);
    return dialog->__SelectGUID(GUIDList, Guid) && !dialog.Closed();
}

} // namespace qs
