// The function parameters dialog: a modal grid in which the user types one value per parameter of a
// method before the browser calls it. UI thread only.
#pragma once

#include "typeinfo/uTypeInfo.h"
#include "ui/uGrid.h"
#include "ui/uParentedWnd.h"

namespace qs {

// The message that refuses Text typed for the parameter Name of type TypeName, in the form
// Count: "abc" is not an Integer (a long text shortened, NULs shown as "?").
std::wstring RefusedArgumentText(const std::wstring& Name, const std::wstring& TypeName, const std::wstring& Text);

class TFunctionParamsDlg : public ui::TParentedForm {
public:
    // A dialog owned by AWndParent, made and freed by its caller (ui::TFormHolder).
    explicit TFunctionParamsDlg(HWND AWndParent);

    // Shows the dialog modally for Func's parameters and returns one value per parameter in
    // declaration order, each typed text converted to the parameter's declared type (TryTextToVariant);
    // an empty array when the user cancels, the dialog is closed for good meanwhile, or Func has no
    // parameters. `caller` (the browser asking) is disabled with the owner while the dialog is up.
    VariantsArray GetParameters(const TFunctionElement& Func, ui::TForm* caller = nullptr);
    // OK: ends the dialog when every value cell converts; otherwise selects the first cell that does
    // not, says why in a message box ("Error") and keeps the dialog open.
    void OKBtnClick();

    ui::TStringGrid* Grid = nullptr;
    ui::TPanel* ButtonPanel = nullptr;
    ui::TButton* OKBtn = nullptr;
    ui::TButton* CancelBtn = nullptr;

    // Enter presses "OK" and Escape "Cancel", from any cell.
    void GridKeyDown(WORD Key);
    void FormResize();

private:
    // The values of the cells, or the grid row of the first cell that does not convert (0 when all
    // do) with its message.
    int ReadValues(VariantsArray& values, std::wstring& message) const;

    const TFunctionElement* FFunc = nullptr; // while GetParameters runs
};

} // namespace qs
