// Completion for the code editor: what a provider answers (the names to list at a position, the tip
// of a call's parameters) and the two windows that show it, a list under the word being completed and
// a one-line tip above the call. The editor knows nothing of what the names mean; the provider does.
// UI thread only.
#pragma once

#include "ui/uCodeEditorModel.h"
#include "ui/uControls.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs::ui {

class TCodeEditor;

// One name of a completion list.
struct TCompletionItem {
    std::wstring Name;   // the text inserted
    std::wstring Detail; // shown after the name, greyed (a constant's value, for example)
    int Image = -1;      // index in the provider's image list; -1 for none
};

// Why a list is asked for: the user pressed Ctrl+Space, typed a dot, or typed the start of a word.
// A provider answers typing with what it already holds; only an explicit request or a dot may reach
// live objects.
enum class TCompletionTrigger { Explicit, Dot, Typing };

struct TCompletionList {
    // The start of the word being completed, on the caret's row: an insertion replaces the text from
    // there to the end of the word at the caret.
    int StartCol = 0;
    std::vector<TCompletionItem> Items; // in the order shown
};

// A call's parameters, for the tip: Prefix, then the parameters separated by ", ", then Suffix. The
// current parameter (counted by the commas between the call's bracket and the caret) is drawn bold.
struct TParameterTip {
    std::wstring Prefix; // "Open(" for example
    std::vector<std::wstring> Params;
    std::wstring Suffix; // ")" and what the call returns
};

class ICompletionProvider {
public:
    // The names to offer for the word at `caret` (the word may be empty). False, or no items: nothing
    // to offer. May call into live objects for Explicit and Dot: the editor holds its form meanwhile,
    // and the provider must bound the time it takes.
    virtual bool ListAt(const TCodeEditorModel& model, TTextPos caret, TCompletionTrigger trigger,
                        TCompletionList& list) = 0;
    // The tip for the call whose open bracket is at `open` (the caret is after it). False: no tip.
    virtual bool TipAt(const TCodeEditorModel& model, TTextPos open, TParameterTip& tip) = 0;
    // The images the items name (not owned; may be null).
    virtual HIMAGELIST Images() = 0;

protected:
    ~ICompletionProvider() = default;
};

// A character of a name as completion reads names: letters, digits, "_", "$" and anything beyond ASCII.
bool IsCompletionWordChar(wchar_t c) noexcept;
// Whether `s` starts with `prefix`, letter case ignored (ordinal).
bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix) noexcept;

// Where the open bracket of the call that contains `caret` is, on the caret's row and the rows above
// (brackets in strings and comments skipped), and which parameter the caret is in (commas at the
// call's own depth). False when the caret is in no call's brackets.
bool FindOpenCall(const TCodeEditorModel& model, TTextPos caret, TTextPos& open, int& paramIndex);

// The completion windows of one editor. The list and the tip are owned pop-ups that never take the
// focus; the editor routes its keys and characters here first.
class TCompletionUi {
public:
    explicit TCompletionUi(TCodeEditor& editor);
    ~TCompletionUi();
    TCompletionUi(const TCompletionUi&) = delete;
    TCompletionUi& operator=(const TCompletionUi&) = delete;

    void SetProvider(std::shared_ptr<ICompletionProvider> provider) { m_provider = std::move(provider); }
    ICompletionProvider* Provider() const noexcept { return m_provider.get(); }

    // Asks the provider and opens the list (one item that matches the word exactly on Ctrl+Space is
    // inserted at once). False when there was nothing to show, or the editor went meanwhile.
    bool ShowList(TCompletionTrigger trigger);
    // Asks the provider for the tip of the call around the caret and shows it.
    bool ShowTip();
    void CloseList() noexcept;
    void CloseTip() noexcept;
    void CloseAll() noexcept {
        CloseList();
        CloseTip();
    }

    // The list's state, for tests and the editor.
    bool ListOpen() const noexcept;
    bool TipOpen() const noexcept;
    // The items shown now (filtered by the word typed), and the selected one (-1 for none).
    const std::vector<TCompletionItem>& Shown() const noexcept { return m_shown; }
    int Selected() const noexcept { return m_selected; }
    void Select(int index);
    // Replaces the word being completed with the selected item and closes the list.
    bool InsertSelected();
    // The tip's text and the range of its bold parameter (empty when no tip).
    std::wstring TipText() const;
    std::pair<int, int> TipBold() const noexcept { return m_tipBold; }
    HWND ListWindow() const noexcept;
    HWND TipWindow() const noexcept;

    // Routed by the editor. KeyDown returns true for a key the list or tip consumed.
    bool KeyDown(WORD key, UINT shift);
    void CharTyped(wchar_t c);
    // True for the character that follows a key the list consumed (Tab or Enter), once.
    bool SwallowChar(wchar_t c) noexcept;
    // The caret moved or the text changed otherwise than by typing.
    void CaretMoved();

private:
    class TListWindow;
    class TTipWindow;
    friend class TListWindow;
    // Calls the provider with the editor's form held. False when the editor or its form went
    // meanwhile: then nothing of this object may be touched (it may be gone with the editor).
    bool AskProvider(const std::function<bool(ICompletionProvider&)>& ask, bool& answered);
    void Refilter();
    void PlaceList();
    void UpdateTip();
    std::wstring WordBeforeCaret() const;

    TCodeEditor& m_editor;
    std::shared_ptr<ICompletionProvider> m_provider;
    std::unique_ptr<TListWindow> m_list;
    std::unique_ptr<TTipWindow> m_tip;
    int m_row = -1;                       // the row the list completes on
    int m_startCol = 0;                   // where its word starts
    std::vector<TCompletionItem> m_items; // all the provider gave
    std::vector<TCompletionItem> m_shown;
    int m_selected = -1;
    TParameterTip m_tipData;
    TTextPos m_tipOpen{-1, -1};
    int m_tipParam = 0;
    std::pair<int, int> m_tipBold{0, 0};
    wchar_t m_swallow = 0; // the character of the last key the list consumed
    bool m_asking = false; // a provider call is running (keys and characters meanwhile change nothing)
};

} // namespace qs::ui
