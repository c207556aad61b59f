// Dialog helpers: activation of the module's own manifest (themed common controls) for the time a
// system dialog runs, the open and save file dialogs owned by a given window, and owner-drawn combo
// boxes. The file dialogs go through a seam that tests can intercept.
#pragma once

#include "ui/uControls.h"

#include <functional>
#include <string>

namespace qs::ui {

// Activates the activation context of manifest resource ResID of this module while it lives.
class TThemeActivator {
public:
    TThemeActivator(int ResID, bool Activate) noexcept;
    ~TThemeActivator();
    TThemeActivator(const TThemeActivator&) = delete;
    TThemeActivator& operator=(const TThemeActivator&) = delete;
    bool Activated() const noexcept { return bContextActivated; }

private:
    bool bContextActivated = false;
    HANDLE m_hActCtx = INVALID_HANDLE_VALUE;
    ULONG_PTR Cookie = 0;
};

// What a file dialog asks; tests answer it instead of the user.
struct FileDialogRequest {
    bool save;
    HWND owner;
    std::wstring filter;   // "Description|*.ext;*.ext2|..." pairs
    std::wstring fileName; // in: initial name; out: the chosen file
    std::wstring defaultExt;
    std::wstring title;
    int filterIndex;       // 1-based
};
using FileDialogInterceptor = std::function<bool(FileDialogRequest&)>;
FileDialogInterceptor SetFileDialogInterceptor(FileDialogInterceptor interceptor);

// The open and save file dialogs, owned by ParentWnd and shown with the themed common controls.
class TOpenDialogEx {
public:
    explicit TOpenDialogEx(HWND ParentWnd) noexcept : FParentWnd(ParentWnd) {}
    virtual ~TOpenDialogEx() = default;
    HWND ParentWnd() const noexcept { return FParentWnd; }
    std::wstring Filter, FileName, DefaultExt, Title;
    int FilterIndex = 1;
    // Runs the dialog; true when the user chose a file (FileName then holds it).
    bool Execute();

protected:
    virtual bool IsSave() const noexcept { return false; }
    HWND FParentWnd;
};

class TSaveDialogEx : public TOpenDialogEx {
public:
    using TOpenDialogEx::TOpenDialogEx;
    bool OverwritePrompt = true;

protected:
    bool IsSave() const noexcept override { return true; }
};

// Switches a combo box to owner-drawn items of fixed height: highlight colours for the selected item,
// window colours otherwise, the text at left + 2, vertically centred. The combo box must have been
// created owner-drawn (TComboBox's ownerDrawFixed), since a combo box cannot change that later.
void MakeOwnerDrawCombo(TComboBox& Combo);

} // namespace qs::ui
