// The script-side debug object behind "Debug": Print turns any value into a line of text and appends
// it to the lines of a pane (the editor's debug pane, a test's list, the console). UI thread only.
#pragma once

#include "com/ComObjEx.h"
#include "quillspar.h"

#include <memory>
#include <string>
#include <vector>

namespace qs {

// The lines of a pane that debug output goes to.
class PaneLines {
public:
    virtual ~PaneLines() = default;
    // Appends one line (without line breaks).
    virtual void AddLine(const std::wstring& line) = 0;
};

// Lines kept in memory.
class StringPaneLines : public PaneLines {
public:
    void AddLine(const std::wstring& line) override { Lines.push_back(line); }
    std::vector<std::wstring> Lines;
};

// The text Print makes of a value: references to VARIANTs are followed; "<Empty>", "<NULL>", integers
// in decimal, floating-point and currency numbers in the general format with the user's decimal
// separator, dates in the user's short date and time formats, strings as they are, "<Object>",
// "<Error: 0x" + 8 hex digits + ">", "True"/"False", "<Variant>", "<IUnknown>", and "<Unknown>" for
// every other type (arrays and other references included).
std::wstring DebugPrintText(const VARIANT& Value);

// Appends the text to the pane, one line for each line of the text (CR LF, CR or LF end a line).
void AddTextLines(PaneLines& Strings, const std::wstring& Text);

// The debug object, made by the system only (TScriptGlobals::get_Debug, NewScriptDebug).
class TScriptDebug : public TPMAutoObject, public IScriptDebug {
public:
    QS_COM_OBJECT_IUNKNOWN()
    QS_AUTO_OBJECT_IDISPATCH()

    // Appends DebugPrintText(Value) to Strings; nothing when there are none or their pane is gone
    // (the object may outlive the window it printed to). S_OK.
    STDMETHODIMP Print(VARIANT Value) override;

    std::shared_ptr<PaneLines> Strings() const noexcept { return FStrings.lock(); }
    void SetStrings(std::weak_ptr<PaneLines> value) noexcept { FStrings = std::move(value); }

private:
    std::weak_ptr<PaneLines> FStrings; // the pane's owner keeps them
};

// The factory of the script objects: apartment-threaded, and writing no registry keys (the objects
// are made only by the system; their classes are not creatable from outside).
class TScriptObjectFactory : public TPMAutoObjectFactory {
public:
    using TPMAutoObjectFactory::TPMAutoObjectFactory;
    void UpdateRegistry(bool) override {}
};

// Creates the debug object's class factory unless the COM server has it. Throws ComError when the
// module's type library lacks the class.
void CreateScriptDebugFactory();

// A new debug object writing to `strings` while they live (may be empty); creates the factory when
// needed. Throws.
Microsoft::WRL::ComPtr<IScriptDebug> NewScriptDebug(std::weak_ptr<PaneLines> strings);

} // namespace qs
