// The browser window's snapshot of the values shown, the comparison with it, and the values as text.
#include "browser/fDispatchBrowser.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"

#include <unordered_map>

using namespace qs::ui;

namespace qs {

namespace {

constexpr const wchar_t* kNotShown = L"(not shown)";

// The differences in a window of their own: path, value before, value now.
class TCompareForm : public TForm {
public:
    TCompareForm(HWND owner, const std::vector<TDispatchBrowser::TValueDifference>& differences)
        : TForm(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME) {
        Name = L"CompareForm";
        SetText(L"Compare");
        Position = TPosition::ScreenCenter;
        SetClientSize(560, 260);
        auto* bottom = new TPanel(this);
        bottom->SetAlign(TAlign::Bottom);
        bottom->SetHeight(36);
        auto* close = new TButton(bottom, L"Close");
        close->Name = L"CloseBtn";
        close->ModalResult = IDCANCEL;
        close->Default = true;
        close->SetBounds(474, 6, 75, 24);
        List = new TListView(this, TListView::Options{});
        List->Name = L"DifferencesListView";
        List->SetAlign(TAlign::Client);
        List->AddColumn(L"Path", 240);
        List->AddColumn(L"Before", 150);
        List->AddColumn(L"After", 150);
        for (const auto& d : differences) {
            const int item = List->AddItem(d.Path);
            List->SetSubItem(item, 1, d.Before);
            List->SetSubItem(item, 2, d.After);
        }
        Realign();
    }
    TListView* List = nullptr;
};

} // namespace

std::vector<std::pair<HTREEITEM, int>> TDispatchBrowser::ShownNodes() const {
    std::vector<std::pair<HTREEITEM, int>> shown;
    // Depth first, in the tree's order, descending only into expanded nodes.
    std::vector<std::pair<HTREEITEM, int>> stack;
    if (fMainPropertyNode) stack.emplace_back(fMainPropertyNode, 0);
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        const TPropertyNode* record = NodeOf(node);
        if (!record || record->Kind == TPropertyNodeKind::Placeholder) continue;
        shown.emplace_back(node, depth);
        if (!PropertiesTreeView->Expanded(node)) continue;
        const std::vector<HTREEITEM> children = PropertiesTreeView->ChildrenOf(node);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, depth + 1);
    }
    return shown;
}

std::wstring TDispatchBrowser::NodeValueText(HTREEITEM Node) {
    const TPropertyNode* record = NodeOf(Node);
    if (!record) return {};
    if (record->Kind == TPropertyNodeKind::Root)
        return VariantToText(PropertyNodeValue(*record, FDispatch.Get()).Get());
    auto* property = record->Kind == TPropertyNodeKind::Member ? dynamic_cast<TPropertyElement*>(record->Element)
                                                               : nullptr;
    if (!property) return {};
    const Variant symbolic = property->SymbolicValue();
    return symbolic.Type() == VT_BSTR ? BstrText(V_BSTR(&symbolic.Get()))
                                      : NullsToQuestionMarks(VariantToText(symbolic.Get()));
}

void TDispatchBrowser::TakeSnapshot() {
    THourglass hourglass;
    std::vector<std::pair<std::wstring, std::wstring>> snapshot;
    for (const auto& [node, depth] : ShownNodes()) {
        PropertiesTreeView->SetBold(node, false);
        snapshot.emplace_back(NodePath(node), NodeValueText(node));
    }
    fSnapshot = std::move(snapshot);
}

std::vector<TDispatchBrowser::TValueDifference> TDispatchBrowser::CompareWithSnapshot() {
    THourglass hourglass;
    std::unordered_map<std::wstring, size_t> before;
    for (size_t i = 0; i < fSnapshot.size(); ++i) before.emplace(fSnapshot[i].first, i);
    std::vector<bool> seen(fSnapshot.size(), false);
    std::vector<TValueDifference> differences;
    for (const auto& [node, depth] : ShownNodes()) {
        const std::wstring path = NodePath(node);
        const std::wstring now = NodeValueText(node);
        const auto it = before.find(path);
        bool changed = true;
        if (it != before.end()) {
            seen[it->second] = true;
            changed = fSnapshot[it->second].second != now;
            if (changed) differences.push_back({path, fSnapshot[it->second].second, now});
        } else {
            differences.push_back({path, kNotShown, now});
        }
        PropertiesTreeView->SetBold(node, changed);
    }
    for (size_t i = 0; i < fSnapshot.size(); ++i)
        if (!seen[i]) differences.push_back({fSnapshot[i].first, fSnapshot[i].second, kNotShown});
    return differences;
}

std::wstring TDispatchBrowser::ValuesText() {
    THourglass hourglass;
    std::wstring text;
    for (const auto& [node, depth] : ShownNodes()) {
        text.append(static_cast<size_t>(depth) * 2, L' ');
        text += PropertiesTreeView->ItemText(node);
        const std::wstring value = NodeValueText(node);
        if (!value.empty()) text += L" = " + value;
        text += L"\r\n";
    }
    return text;
}

void TDispatchBrowser::CompareCommand() {
    // Reading the values runs the object's code, which may close this window.
    const TOwnCode own(this);
    const std::vector<TValueDifference> differences = CompareWithSnapshot();
    if (own.Closed()) return;
    if (differences.empty()) {
        ShowMessageBox(m_hwnd, L"No value changed since the snapshot.", L"Compare", MB_ICONINFORMATION);
        return;
    }
    const TFormHolder<TCompareForm> form(m_hwnd, differences);
    form->ShowModal(this);
}

void TDispatchBrowser::CopyValuesCommand() {
    const TOwnCode own(this);
    const std::wstring text = ValuesText();
    if (own.Closed()) return;
    if (!SetClipboardText(m_hwnd, text))
        ShowMessageBox(m_hwnd, L"The clipboard is in use by another program.", L"Copy Values", MB_ICONWARNING);
}

} // namespace qs
