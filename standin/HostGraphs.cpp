// The object graphs of the hosts the stand-in plays: what each host's Application reaches, with values,
// collections, and the methods and property puts that change the graph and fire the hosts' events.
//
// Ownership: the graph holds every object it made (THostGraph::Create), so handlers refer to objects by raw
// pointer, and to the graph by reference; Application and Parent answer through handlers, never through a
// stored reference back up the tree, so that no object holds the one that holds it. Each host keeps its
// working state (which document is active, the text of a document, the cells of a sheet) in a struct that
// its handlers share; clearing the graph drops the handlers and with them that state.
//
// This file picks the host's builder; each host's graph is in hosts/<Host>Graph.cpp, and what they share
// in hosts/GraphHelpers.h.
#include "HostObjects.h"

#include "hosts/GraphHelpers.h"

namespace qs::standin {

void BuildHostGraph(THostGraph& h) {
    const std::wstring name = h.Host().name;
    if (name == L"word" || name == L"unknown")
        detail::BuildWord(h, name == L"unknown");
    else if (name == L"excel")
        detail::BuildExcel(h);
    else if (name == L"powerpoint")
        detail::BuildPowerPoint(h);
    else if (name == L"onenote")
        detail::BuildOneNote(h);
    else if (name == L"publisher")
        detail::BuildPublisher(h);
    else if (name == L"access")
        detail::BuildAccess(h);
    else if (name == L"infopath")
        detail::BuildInfoPath(h);
    else if (name == L"visio")
        detail::BuildVisio(h);
    else if (name == L"project")
        detail::BuildProject(h);
}

void SetHostHwnd(THostGraph& graph, HWND hwnd) {
    const THostInfo& host = graph.Host();
    const LONG handle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd));
    if (THostObject* owner = graph.At(host.hwndOwner)) owner->Set(host.hwndProperty, detail::I4(handle));
    if (detail::Declares(graph.App(), L"Hwnd")) graph.App()->Set(L"Hwnd", detail::I4(handle));
    // Every window of the active window's type: they all live in the stand-in's one frame.
    const THostObject* active = graph.At(L"ActiveWindow");
    if (!active) return;
    for (THostObject* o : graph.Objects())
        if (o->TypeName() == active->TypeName()) SetWindowHwnd(o, hwnd);
}

void SetWindowHwnd(THostObject* window, HWND hwnd) {
    const LONG handle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd));
    if (detail::Declares(window, L"Hwnd")) window->Set(L"Hwnd", detail::I4(handle));
    if (detail::Declares(window, L"WindowHandle32")) window->Set(L"WindowHandle32", detail::I4(handle));
    if (detail::Declares(window, L"WindowHandle"))
        window->Set(L"WindowHandle", detail::Make(VT_UI8, [hwnd](VARIANT& v) {
                        V_UI8(&v) = static_cast<ULONGLONG>(reinterpret_cast<UINT_PTR>(hwnd));
                    }));
}

} // namespace qs::standin
