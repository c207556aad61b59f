// The script frame: a code editor, a tool bar (run, open, save, history), the global names, the
// language box and the Debug.Print pane, over one script host. Also the frame's automation object
// "Globals" (BrowseObject, Debug), the script files' encodings and the shared history. UI thread.
#pragma once

#include "ui/uCodeEditor.h"
#include "script/uScriptCompletion.h"
#include "script/uScriptDebug.h"
#include "script/uScriptHost.h"
#include "ui/uComCtrls.h"
#include "ui/uControls.h"
#include "ui/uLogBox.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qs {

// Opens a browser window on Value: OwnerForm is the form that contains the script (the parent
// browser when it is one; may be null), WndParent the owner window for the new window (may be null).
// A value that cannot be browsed opens nothing.
using TBrowseValueHandler = std::function<void(ui::TForm* OwnerForm, const VARIANT& Value, HWND WndParent)>;

// Creates the class factories of the globals and debug objects (once per COM server) and installs the
// handler through which BrowseObject opens windows. Never throws: a failure is traced, and creating
// the objects then fails.
void InitializeScriptObjects(TBrowseValueHandler browseValue) noexcept;
// The handler installed now; returns the previous one (tests, the console runner).
TBrowseValueHandler SetBrowseValueHandler(TBrowseValueHandler handler);

class TScriptGlobals : public TPMAutoObject, public IScriptGlobals {
public:
    QS_COM_OBJECT_IUNKNOWN()
    QS_AUTO_OBJECT_IDISPATCH()

    void Initialize() override;

    // Opens a browser window on Value through the installed handler: the form containing Parent is
    // the owner form, its owner window (when it is a parented form) the new window's owner. References
    // to VARIANTs are followed. S_OK once the handler has returned, whatever it opened.
    STDMETHODIMP BrowseObject(VARIANT Value) override;
    // A new debug object writing to Strings, on every call.
    STDMETHODIMP get_Debug(IScriptDebug** Value) override;

    // The frame, while it lives: a script may keep the object after its window is gone.
    ui::TControl* Parent() const noexcept { return FParent.Get(); }
    void SetParent(ui::TControl* value) { FParent = ui::TWeakLink<ui::TControl>(value); }
    std::shared_ptr<PaneLines> Strings() const noexcept { return FStrings.lock(); }
    void SetStrings(std::weak_ptr<PaneLines> value) noexcept { FStrings = std::move(value); }

private:
    ui::TWeakLink<ui::TControl> FParent; // the frame
    std::weak_ptr<PaneLines> FStrings;   // the frame's debug lines
};

// A new globals object with its parent control and debug lines (either may be null or empty);
// creates the factories when needed. Throws ComError when the module's type library lacks the classes.
Microsoft::WRL::ComPtr<IScriptGlobals> NewScriptGlobals(ui::TControl* parent, std::weak_ptr<PaneLines> strings);

// ---- Script files ----

enum class TScriptEncoding { Ansi, Utf8, Utf8Bom, Utf16Le, Utf16Be };

struct TScriptFileText {
    std::wstring Text;
    TScriptEncoding Encoding = TScriptEncoding::Ansi;
};

// The largest script file that is opened.
constexpr size_t kMaxScriptFileBytes = size_t{64} << 20;

// Decodes a file's bytes: a byte-order mark decides (UTF-8, UTF-16 LE or BE); without one, bytes that
// are valid UTF-8 and not plain ASCII are UTF-8, anything else the ANSI code page. Nothing is altered
// silently: throws ComError with a message for more than kMaxScriptFileBytes, an odd number of bytes
// after a UTF-16 mark, invalid UTF-8 after a UTF-8 mark, and bytes the ANSI code page does not define.
TScriptFileText DecodeScriptFile(const std::string& bytes);
// Encodes a text (with the mark of its encoding). A text that would not read back as it is without a
// mark (ANSI the code page cannot hold, ANSI that reads as UTF-8, a leading U+FEFF) is written as UTF-8
// with a mark instead. Throws ComError for a text UTF-8 cannot hold (a lone surrogate).
std::string EncodeScriptFile(const std::wstring& text, TScriptEncoding encoding);
// Reads a whole file; throws ComError naming the file, with the system's text or DecodeScriptFile's.
TScriptFileText ReadScriptFile(const std::wstring& fileName);
// Writes a whole file through a temporary file beside it that replaces it once complete; on failure
// the old file is left as it was and ComError names the file.
void WriteScriptFile(const std::wstring& fileName, const std::wstring& text, TScriptEncoding encoding);

// ---- The shared history ----

constexpr int kScriptHistoryMax = 100;

class TOptions;
// The stored history: the non-empty values Script1 to Script100 of `options`, in that order.
std::vector<std::wstring> ReadScriptHistory(const TOptions& options);

// Trims white space and control characters at both ends.
std::wstring TrimScript(const std::wstring& text);
// The history after a run of `text`: text at the head, then `stored` and `own` (older entries) without
// blank entries and without duplicates (compared without regard to case), at most 100 entries.
std::vector<std::wstring> MergeScriptHistory(const std::wstring& text, const std::vector<std::wstring>& stored,
                                             const std::vector<std::wstring>& own);

// ---- The frame ----

class TScriptFrame;

// An error a script host reported: its text and zero-based position.
struct TScriptErrorInfo {
    std::wstring Text;
    ULONG Line = 0;
    LONG Char = 0;
};

// The lines of the debug pane: appended lines are collected and written to the edit box in batches
// (at 1,000 lines, at the end of a run, or when the thread is next idle), since one EM_REPLACESEL per
// line is quadratic. The box keeps the newest lines up to its log's limits (TLogBox). The frame owns
// the lines and detaches them from its box when it goes; debug objects that outlive it hold them
// weakly and print nothing then.
class TMemoLines : public PaneLines {
public:
    explicit TMemoLines(ui::TEdit& memo, HWND notify) : m_log(&memo), m_notify(notify) {}
    // The box is gone: lines are dropped from now on.
    void Detach() noexcept;
    void AddLine(const std::wstring& line) override;
    // Writes the pending lines into the box.
    void Flush();
    // Empties the box and the pending lines; the count of dropped lines starts again.
    void Clear();
    // The whole text of the pane, pending lines included.
    std::wstring Text();
    ui::TLogBox& Log() noexcept { return m_log; }

private:
    ui::TLogBox m_log;
    HWND m_notify;
    std::wstring m_pending;
    int m_pendingLines = 0;
    bool m_flushPosted = false;
};

class TScriptFrame : public ui::TPanel {
public:
    explicit TScriptFrame(ui::TControl* AOwner);
    ~TScriptFrame() override;

    TScriptHost& ScriptHost() noexcept { return *FScriptHost; }
    ui::TCodeEditor& Editor() noexcept { return *FEditor; }
    TScriptCompletion& Completion() noexcept { return *FCompletion; }
    // Adds the named object aName (not global) and appends its name to GlobalVarsLabel.
    void SetGlobalObjects(const std::wstring& aName, IDispatch* aDispatch);

    // Runs the editor's text; a failure shows "Script Error" and moves to the error. The result.
    HRESULT Run();
    // Runs one procedure of the editor's script on a fresh engine, in the chosen language, with
    // `params` and `result` as they are (by-reference arguments and the result reach the caller), and
    // `parent` as the script's parent window. While the frame is running something (the page's run, or
    // a procedure that made the object fire again), the procedure runs on an engine of its own with
    // the same objects, never re-entering the engine that is running; E_PENDING when that would nest
    // deeper than kMaxNestedProcedures. Shows nothing; on failure `error` receives the host's error.
    // A run holds its form (TOwnCode): a window closed by the script is destroyed after the run.
    HRESULT ExecuteProcedure(HWND parent, const std::wstring& name, DISPPARAMS& params, VARIANT* result,
                             TScriptErrorInfo& error);
    static constexpr int kMaxNestedProcedures = 8;
    // Puts the caret on the script host's last error (or on `error`) and selects that one character.
    void MarkError();
    void MarkError(const TScriptErrorInfo& error);
    // True while a run or a procedure of the frame is inside the script host.
    bool Running() const noexcept { return FRunning; }
    void LoadScriptHistory();
    void AddToScriptHistory();
    void UpdateHistoryButtons();
    void PrevScript();
    void NextScript();
    // Sets the language box (0 VBScript, 1 JavaScript) and the highlighting scheme; `store` writes
    // "ScriptLanguage" as the user's choice does.
    void SelectLanguage(int index, bool store);
    // The language of the selected item: "VBScript" or "JavaScript".
    std::wstring Language() const;
    // Open and Save with the file dialogs; errors are shown in a message box.
    void OpenScript();
    void SaveScript();
    void LoadFromFile(const std::wstring& fileName);
    void SaveToFile(const std::wstring& fileName);
    TScriptEncoding FileEncoding() const noexcept { return FFileEncoding; }
    // The debug pane's text with the pending lines written.
    std::wstring DebugText();
    void ClearDebug();
    const std::vector<std::wstring>& ScriptHistory() const noexcept { return FScriptHistory; }
    int ScriptIndex() const noexcept { return FScriptIndex; }
    // The editor's text differs from the text last run, saved or opened (an empty text at first).
    bool Modified() const;
    // Runs the script from the F5 key pressed anywhere in the frame (posted, so that it runs once the
    // key's message is gone).
    void PostRun() noexcept;

    // The frame that holds hwnd (hwnd or one of its parents), or null.
    static TScriptFrame* FromWindow(HWND hwnd) noexcept;

    ui::TToolBar* ToolBar1 = nullptr;
    int RunButton = 0, OpenButton = 0, SaveButton = 0, btnPrevScript = 0, btnNextScript = 0;
    ui::TPanel* Panel2 = nullptr;
    ui::TLabel* GlobalVarsLabel = nullptr;
    ui::TComboBox* LanguageCombo = nullptr;
    ui::TSplitter* Splitter1 = nullptr;
    ui::TPanel* Panel3 = nullptr;
    ui::TButton* btnClearDebug = nullptr;
    ui::TEdit* MemoDebug = nullptr;
    ui::TLabel* CaretLabel = nullptr; // the caret's row and column
    ui::TLabel* StateLabel = nullptr; // INS or OVR, and "Modified" while the text differs from its last run or save
    ui::TPopupMenu PopupMenu;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void BuildLayout();
    void PlacePanel2();
    void ShowCaretPos();
    // Takes the editor's text as the one run, saved or opened, and updates the state label.
    void SetBaseline();
    void UpdateEditorState();
    // The editor's text in the chosen language, with `parent` as the scripts' parent window.
    void PrepareHost(TScriptHost& host, HWND parent);

    std::unique_ptr<TScriptHost> FScriptHost;
    std::shared_ptr<TScriptCompletion> FCompletion; // the editor's completion, over FScriptHost
    std::wstring FBaseline;                         // the text last run, saved or opened
    std::int64_t FBaselineChange = 0;               // the editor's change count then
    ui::TCodeEditor* FEditor = nullptr;
    Microsoft::WRL::ComPtr<IScriptGlobals> FScriptGlobals;
    std::shared_ptr<TMemoLines> FMemoLines;
    int FScriptIndex = -1;
    std::vector<std::wstring> FScriptHistory;
    TScriptEncoding FFileEncoding = TScriptEncoding::Ansi;
    std::unique_ptr<ui::TImageList> FImages;
    std::map<int, std::wstring> FHints;
    bool FRunning = false;
    bool m_runPosted = false;
    int m_nestedProcedures = 0; // procedures running on hosts of their own
};

// The F5 hook: a WH_GETMESSAGE hook on the UI thread that turns a key-down of F5 aimed at any window
// of a script frame into one run of that frame (the key itself is then dropped, so the editor does
// not run it a second time). Installed and removed by the module; idempotent.
void InstallF5KeyHook() noexcept;
void RemoveF5KeyHook() noexcept;

} // namespace qs
