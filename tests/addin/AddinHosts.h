// The nine fake hosts of the add-in tests: the object graph each host's buttons reach, where each keeps
// its window handle, and what each object button is expected to open. The objects are the stand-in
// host's, typed by the suite's own type library of empty interfaces (TYPELIB 2), so that a member the
// test did not set is missing, and a browser's caption is the object's type name.
#pragma once

#include "HostObjects.h"
#include "common/qsHandles.h"
#include "addin/uGenericAddin.h"
#include "addin/uOfficeApps.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs::test {

using Microsoft::WRL::ComPtr;
using standin::THostGraph;
using standin::THostObject;
using standin::TRibbonControlStub;

// The suite's type library of the hosts' types, empty interfaces all (TYPELIB 2).
ITypeLib* FakeHostLib();
// An object of one of those types answering `iids` besides IUnknown and IDispatch.
ComPtr<THostObject> MakeObject(const std::wstring& typeName, std::vector<IID> iids = {});

// One object button: its role (the id without "Quillspar_"), the caption of the window it opens (the
// type name of the object's type information) and the page that window shows.
struct ButtonCase {
    const wchar_t* role;
    const wchar_t* caption;
    std::optional<TDispatchBrowserTab> page;
};

struct HostCase {
    const char* name;
    TOfficeAppKind kind;
    const wchar_t* hwndOwner;    // path of the object holding the window handle ("" for the Application)
    const wchar_t* hwndProperty; // its property
    bool showsErrors;            // Access and Project show click errors in a message box
    std::vector<ButtonCase> buttons;
};

const std::vector<HostCase>& HostCases();
const HostCase& HostCaseOf(const std::string& host);

// The host's object graph with every object on the buttons' paths present.
THostGraph MakeHost(const std::string& host);
// The host's add-in from the host table, created on `application`.
std::unique_ptr<TGenericAddin> CreateHostAddin(const std::string& host, IDispatch* application);
// Sets the host's window-handle property to `hwnd` (as a VT_I4, as the hosts report it).
void SetHostHwnd(THostGraph& fake, const std::string& host, HWND hwnd);

} // namespace qs::test
