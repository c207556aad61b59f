// The function parameters dialog: a modal grid in which the user types one value per parameter of a
// method before the browser calls it. UI thread only.
#pragma once

#include "typeinfo/uTypeInfo.h"
#include "ui/uGrid.h"
#include "ui/uParentedWnd.h"

namespace qs {

class TFunctionParamsDlg : public ui::TParentedForm {
public:
    // A dialog owned by AWndParent, made and freed by its caller (ui::TFormHolder).
    explicit TFunctionParamsDlg(HWND AWndParent);

    // Shows the dialog modally for Func's parameters and returns one value per parameter in
    // declaration order, each typed text converted to the parameter's declared type; an empty array
    // when the user cancels, the dialog is closed for good meanwhile, or Func has no parameters.
    // `caller` (the browser asking) is disabled with the owner while the dialog is up.
    VariantsArray GetParameters(const TFunctionElement& Func, ui::TForm* caller = nullptr);

    ui::TStringGrid* Grid = nullptr;
    ui::TPanel* ButtonPanel = nullptr;
    ui::TButton* OKBtn = nullptr;
    ui::TButton* CancelBtn = nullptr;

    // Enter presses "OK" and Escape "Cancel", from any cell.
    void GridKeyDown(WORD Key);
    void FormResize();
};

} // namespace qs
