// The script frame's window: layout, running, history, language, files, the debug pane and the F5
// hook. See fScriptFrame.h.
#include "script/fScriptFrame.h"

#include "common/qsError.h"
#include "common/qsMessageBox.h"
#include "typeinfo/uUtils.h"
#include "ui/uOptions.h"
#include "ui/uUtilsDialogs.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace qs {

using namespace ui;

namespace {

// Clears a flag on every exit of the scope.
struct FlagReset {
    bool& flag;
    ~FlagReset() { flag = false; }
};

// Posted to the frame: run the script (F5 outside the editor), write the debug pane's pending lines.
constexpr UINT kRunMessage = WM_APP + 0x60;
constexpr UINT kFlushMessage = WM_APP + 0x61;
constexpr int kFlushLines = 1000;

const wchar_t kScriptFilter[] = L"Visual Basic|*.vb;*.vbs;*.bas|Java Script|*.js|Text Files|*.txt|All Files|*.*";

std::wstring HistoryName(int n) { return L"Script" + std::to_wstring(n); }

// The longest history entry written to the registry: 64 KiB of UTF-16 text, that is 32,768
// characters. A longer script stays in the history of the window that ran it, not in the registry.
constexpr size_t kStoredScriptMaxChars = 32768;

std::vector<std::wstring> ReadHistory(const TOptions& options) { return ReadScriptHistory(options); }

// The tool bar's images, drawn here: run, open, save, previous, next.
void DrawToolImages(TImageList& images) {
    constexpr int kCount = 5, kSize = 16;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = kCount * kSize;
    bi.bmiHeader.biHeight = -kSize;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueAny<HBITMAP, &detail::DeleteGdiObject> bitmap(
        ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return;
    UniqueAny<HDC, &::DeleteDC> dc(::CreateCompatibleDC(nullptr));
    HGDIOBJ oldBitmap = ::SelectObject(dc.Get(), bitmap.Get());
    const COLORREF key = RGB(255, 0, 255);
    RECT all{0, 0, kCount * kSize, kSize};
    UniqueAny<HBRUSH, &detail::DeleteGdiObject> keyBrush(::CreateSolidBrush(key));
    ::FillRect(dc.Get(), &all, keyBrush.Get());
    HGDIOBJ oldPen = ::SelectObject(dc.Get(), ::GetStockObject(DC_PEN));
    HGDIOBJ oldBrush = ::SelectObject(dc.Get(), ::GetStockObject(DC_BRUSH));
    auto colours = [&](COLORREF pen, COLORREF brush) {
        ::SetDCPenColor(dc.Get(), pen);
        ::SetDCBrushColor(dc.Get(), brush);
    };
    auto polygon = [&](int x0, std::initializer_list<POINT> points) {
        std::vector<POINT> p(points);
        for (POINT& q : p) q.x += x0;
        ::Polygon(dc.Get(), p.data(), static_cast<int>(p.size()));
    };
    colours(RGB(0, 100, 0), RGB(40, 170, 40)); // run
    polygon(0, {{4, 2}, {13, 8}, {4, 14}});
    colours(RGB(128, 96, 0), RGB(240, 200, 80)); // open: a folder
    polygon(16, {{1, 3}, {6, 3}, {7, 5}, {14, 5}, {14, 13}, {1, 13}});
    colours(RGB(0, 0, 96), RGB(50, 90, 190)); // save: a disk
    ::Rectangle(dc.Get(), 34, 2, 47, 15);
    colours(RGB(0, 0, 96), RGB(255, 255, 255));
    ::Rectangle(dc.Get(), 36, 3, 45, 8);
    colours(RGB(0, 0, 128), RGB(70, 120, 220)); // previous and next
    polygon(48, {{2, 8}, {8, 2}, {8, 5}, {14, 5}, {14, 11}, {8, 11}, {8, 14}});
    polygon(64, {{14, 8}, {8, 2}, {8, 5}, {2, 5}, {2, 11}, {8, 11}, {8, 14}});
    ::SelectObject(dc.Get(), oldPen);
    ::SelectObject(dc.Get(), oldBrush);
    ::SelectObject(dc.Get(), oldBitmap);
    ::GdiFlush();
    // GDI leaves alpha at 0: the key colour becomes transparent, everything else opaque.
    auto* pixel = static_cast<DWORD*>(bits);
    for (int i = 0; i < kCount * kSize * kSize; ++i)
        pixel[i] = (pixel[i] & 0xFFFFFF) == 0xFF00FF ? 0 : (pixel[i] | 0xFF000000);
    ::ImageList_Add(images.Handle(), bitmap.Get(), nullptr);
}

HFONT BoldFont() {
    static UniqueHfont font = [] {
        LOGFONTW lf{};
        ::GetObjectW(DefaultFont(), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        return UniqueHfont(::CreateFontIndirectW(&lf));
    }();
    return font.Get();
}

TLabel* NewLabel(TControl* parent, const std::wstring& caption, int left, int top, bool bold) {
    auto* label = new TLabel(parent, caption);
    label->AutoSize();
    label->SetLeft(left);
    label->SetTop(top);
    if (bold) {
        // AutoSize measures with the default font: the bold caption is measured here.
        ::SendMessageW(label->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), FALSE);
        HDC dc = ::GetDC(label->Handle());
        HGDIOBJ old = ::SelectObject(dc, BoldFont());
        SIZE size{};
        ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(label->Handle(), dc);
        label->SetWidth(size.cx + 2);
    }
    return label;
}

void ShowCaughtError(HWND owner) noexcept {
    try {
        const TCaughtError error = CaughtException();
        ShowMessageBox(owner, error.Message, L"Error", MB_ICONERROR);
    }
    QS_CATCH_TRACE(L"TScriptFrame.ShowCaughtError")
}

HHOOK g_f5Hook = nullptr;

LRESULT CALLBACK F5KeyHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg && msg->message == WM_KEYDOWN && msg->wParam == VK_F5 &&
            ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 && ::GetKeyState(VK_MENU) >= 0) {
            if (TScriptFrame* frame = TScriptFrame::FromWindow(msg->hwnd)) {
                // Dropped, so that no control of the frame (the editor included) handles it again; an
                // auto-repeated key-down runs nothing.
                if (!(msg->lParam & (1 << 30))) frame->PostRun();
                msg->message = WM_NULL;
            }
        }
    }
    QS_CATCH_TRACE(L"F5KeyHook")
    return ::CallNextHookEx(g_f5Hook, code, wParam, lParam);
}

} // namespace

void InstallF5KeyHook() noexcept {
    if (!g_f5Hook) g_f5Hook = ::SetWindowsHookExW(WH_GETMESSAGE, &F5KeyHook, nullptr, ::GetCurrentThreadId());
}

void RemoveF5KeyHook() noexcept {
    if (g_f5Hook) ::UnhookWindowsHookEx(g_f5Hook);
    g_f5Hook = nullptr;
}

// ---- TMemoLines ----

void TMemoLines::AddLine(const std::wstring& line) {
    if (!m_log.Box()) return;
    m_pending += line;
    m_pending += L"\r\n";
    if (++m_pendingLines >= kFlushLines) {
        Flush();
    } else if (!m_flushPosted && m_notify) {
        m_flushPosted = ::PostMessageW(m_notify, kFlushMessage, 0, 0) != FALSE;
    }
}

void TMemoLines::Flush() {
    m_flushPosted = false;
    if (m_pending.empty() || !m_log.Box()) return;
    std::wstring text;
    text.swap(m_pending);
    m_pendingLines = 0;
    m_log.Append(text);
}

void TMemoLines::Clear() {
    m_pending.clear();
    m_pendingLines = 0;
    m_log.Clear();
}

std::wstring TMemoLines::Text() {
    Flush();
    TEdit* memo = m_log.Box();
    return memo ? memo->Text() : std::wstring();
}

void TMemoLines::Detach() noexcept {
    m_log.Detach();
    m_notify = nullptr;
    m_pending.clear();
    m_pendingLines = 0;
}

// ---- TScriptFrame ----

TScriptFrame::TScriptFrame(TControl* AOwner) : TPanel(AOwner) {
    Name = L"ScriptFrame";
    BuildLayout();
    FMemoLines = std::make_shared<TMemoLines>(*MemoDebug, Handle());
    FScriptGlobals = NewScriptGlobals(this, FMemoLines);
    FScriptHost = std::make_unique<TScriptHost>();
    ComPtr<IDispatch> globals;
    QS_THROW_IF_FAILED(FScriptGlobals.As(&globals));
    ComPtr<IScriptDebug> debug;
    QS_THROW_IF_FAILED(FScriptGlobals->get_Debug(&debug));
    ComPtr<IDispatch> debugDispatch;
    QS_THROW_IF_FAILED(debug.As(&debugDispatch));
    FScriptHost->NamedObjects().Add(L"Globals", globals.Get(), true);
    FScriptHost->NamedObjects().Add(L"Debug", debugDispatch.Get(), false);
    FCompletion = std::make_shared<TScriptCompletion>(*FScriptHost);
    FCompletion->Busy = [this] { return FRunning || m_nestedProcedures > 0; };
    FEditor->SetCompletionProvider(FCompletion);
    const bool java = ::lstrcmpiW(Options().GetValue(L"ScriptLanguage").c_str(), L"JavaScript") == 0;
    SelectLanguage(java ? 1 : 0, false);
    LoadScriptHistory();
    FScriptIndex = -1;
    MakeOwnerDrawCombo(*LanguageCombo);
}

TScriptFrame::~TScriptFrame() {
    DestroyHandleTree();
    // The editor (a child, deleted after this) must not reach the host through its provider.
    if (FEditor) FEditor->SetCompletionProvider(nullptr);
    FCompletion.reset();
    // No run is on the stack: a run holds the form, which is destroyed only after it returned. The
    // engine goes first, and with it its references to the named objects; debug objects a script
    // kept print nowhere from now on.
    FScriptHost.reset();
    if (FMemoLines) FMemoLines->Detach();
    FMemoLines.reset();
    // A globals object a script kept finds the frame and the lines gone through its weak links.
    FScriptGlobals.Reset();
}

void TScriptFrame::BuildLayout() {
    SetBounds(0, 0, 682, 434);
    FImages = std::make_unique<TImageList>(16, 16);
    DrawToolImages(*FImages);

    ToolBar1 = new TToolBar(this);
    ToolBar1->Name = L"ToolBar1";
    ToolBar1->SetImages(FImages.get());
    RunButton = ToolBar1->AddButton(L"Run", 0, [this] { Run(); });
    ToolBar1->AddSeparator();
    OpenButton = ToolBar1->AddButton(L"Open", 1, [this] { OpenScript(); });
    SaveButton = ToolBar1->AddButton(L"Save", 2, [this] { SaveScript(); });
    ToolBar1->AddSeparator();
    btnPrevScript = ToolBar1->AddButton(L"", 3, [this] { PrevScript(); });
    btnNextScript = ToolBar1->AddButton(L"", 4, [this] { NextScript(); });
    FHints = {{RunButton, L"Run the script"},
              {OpenButton, L"Open script from a file"},
              {SaveButton, L"Save the current script in a file"},
              {btnPrevScript, L"Move to the previous script in history"},
              {btnNextScript, L"Move to the next script in history"}};

    Panel2 = new TPanel(this);
    Panel2->Name = L"Panel2";
    Panel2->SetHeight(39);
    Panel2->SetAlign(TAlign::Top);
    auto* label2 = NewLabel(Panel2, L"Global variables:", 4, 4, true);
    label2->Name = L"Label2";
    GlobalVarsLabel = NewLabel(Panel2, L"", label2->Left() + label2->Width() + 4, 4, false);
    GlobalVarsLabel->Name = L"GlobalVarsLabel";
    auto* label3 = NewLabel(Panel2, L"Global functions:", 4, 21, true);
    label3->Name = L"Label3";
    auto* label4 = NewLabel(Panel2, L"BrowseObject(Obj)", label3->Left() + label3->Width() + 4, 21, false);
    label4->Name = L"Label4";
    LanguageCombo = new TComboBox(Panel2, true, true);
    LanguageCombo->Name = L"LanguageCombo";
    LanguageCombo->Add(L"VBScript");
    LanguageCombo->Add(L"JavaScript");
    LanguageCombo->SetWidth(100);
    LanguageCombo->OnChange = [this](TComboBox& combo) { SelectLanguage(combo.ItemIndex() == 1 ? 1 : 0, true); };
    Panel2->OnResize = [this](TControl&) { PlacePanel2(); };

    Panel3 = new TPanel(this);
    Panel3->Name = L"Panel3";
    Panel3->SetHeight(75);
    Panel3->SetAlign(TAlign::Bottom);
    auto* panel4 = new TPanel(Panel3);
    panel4->Name = L"Panel4";
    panel4->SetHeight(25);
    panel4->SetAlign(TAlign::Top);
    NewLabel(panel4, L"Debug.Print", 4, 6, false)->Name = L"Label5";
    btnClearDebug = new TButton(panel4, L"Clear");
    btnClearDebug->Name = L"btnClearDebug";
    btnClearDebug->SetBounds(72, 1, 60, 23);
    btnClearDebug->OnClick = [this](TButton&) { ClearDebug(); };
    CaretLabel = NewLabel(panel4, L"1: 1", 150, 6, false);
    CaretLabel->Name = L"CaretLabel";
    StateLabel = NewLabel(panel4, L"INS", 230, 6, false);
    StateLabel->Name = L"StateLabel";
    MemoDebug = new TEdit(Panel3, TEdit::Options{.multiLine = true, .hScroll = true, .vScroll = true, .wordWrap = false});
    MemoDebug->Name = L"MemoDebug";
    MemoDebug->SetAlign(TAlign::Client);
    ::SendMessageW(MemoDebug->Handle(), EM_SETLIMITTEXT, 0, 0);

    Splitter1 = new TSplitter(this, TAlign::Bottom, 3);
    Splitter1->Name = L"Splitter1";

    PopupMenu.Add(L"Undo", [this] { FEditor->Undo(); }, L"Undo");
    PopupMenu.Add(L"Redo", [this] { FEditor->Redo(); }, L"Redo");
    PopupMenu.AddSeparator();
    PopupMenu.Add(L"Cut", [this] { ::SendMessageW(FEditor->Handle(), WM_CUT, 0, 0); }, L"Cut");
    PopupMenu.Add(L"Copy", [this] { ::SendMessageW(FEditor->Handle(), WM_COPY, 0, 0); }, L"Copy");
    PopupMenu.Add(L"Paste", [this] { ::SendMessageW(FEditor->Handle(), WM_PASTE, 0, 0); }, L"Paste");
    PopupMenu.Add(L"Delete", [this] { FEditor->ClearSelection(); }, L"Delete");
    PopupMenu.AddSeparator();
    PopupMenu.Add(L"Select All", [this] { FEditor->SelectAll(); }, L"SelectAll");
    // Each command is greyed when it cannot act.
    PopupMenu.OnPopup = [this](TPopupMenu& menu) {
        const bool selection = FEditor->Model().HasSelection();
        const struct {
            const wchar_t* name;
            bool enabled;
        } states[] = {{L"Undo", FEditor->CanUndo()},
                      {L"Redo", FEditor->CanRedo()},
                      {L"Cut", selection},
                      {L"Copy", selection},
                      {L"Paste", ::IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE},
                      {L"Delete", selection}};
        for (const auto& state : states)
            if (TPopupMenu::Item* item = menu.Find(state.name)) item->enabled = state.enabled;
    };

    FEditor = new ui::TCodeEditor(this);
    FEditor->Name = L"Editor";
    FEditor->SetAlign(TAlign::Client);
    FEditor->PopupMenu = &PopupMenu;
    FEditor->OnKeyDown = [this](ui::TCodeEditor&, WORD& key, UINT shift) {
        if (key == VK_F5 && shift == 0) {
            key = 0;
            ToolBar1->Click(RunButton);
        }
    };
    FEditor->OnCaretMove = [this](ui::TCodeEditor&) { ShowCaretPos(); };
    FEditor->OnChange = [this](ui::TCodeEditor&) { UpdateEditorState(); };
    FEditor->OnModeChange = [this](ui::TCodeEditor&) { UpdateEditorState(); };
    Realign();
    PlacePanel2();
}

void TScriptFrame::PlacePanel2() {
    if (!LanguageCombo) return;
    const RECT r = Panel2->ClientRect();
    const int height = LanguageCombo->Height();
    LanguageCombo->SetBounds(std::max(0, static_cast<int>(r.right) - 4 - 100), std::max(0, static_cast<int>(r.bottom - height) / 2),
                             100, height);
}

void TScriptFrame::SetBaseline() {
    FBaseline = FEditor->Lines();
    FBaselineChange = FEditor->Model().ChangeCount();
    UpdateEditorState();
}

bool TScriptFrame::Modified() const {
    const ui::TCodeEditorModel& model = FEditor->Model();
    if (model.ChangeCount() == FBaselineChange) return false;
    // Edits that came back to the text (undone, or typed again) are no change. Texts over 1 MB are
    // compared by length only, so that typing in them stays fast.
    const std::int64_t length = model.TextLength();
    if (length != static_cast<std::int64_t>(FBaseline.size())) return true;
    return length <= (std::int64_t{1} << 20) && FEditor->Lines() != FBaseline;
}

void TScriptFrame::UpdateEditorState() {
    if (!StateLabel || !FEditor) return;
    const std::wstring text = std::wstring(FEditor->Overwrite() ? L"OVR" : L"INS") + (Modified() ? L"   Modified" : L"");
    if (text == StateLabel->Text()) return;
    StateLabel->SetText(text);
    StateLabel->AutoSize();
}

void TScriptFrame::ShowCaretPos() {
    const ui::TTextPos p = FEditor->CaretPos();
    CaretLabel->SetText(std::to_wstring(p.row + 1) + L": " + std::to_wstring(p.col + 1));
    CaretLabel->AutoSize();
}

LRESULT TScriptFrame::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kRunMessage:
        m_runPosted = false;
        ToolBar1->Click(RunButton);
        return 0;
    case kFlushMessage:
        if (FMemoLines) FMemoLines->Flush();
        return 0;
    case WM_SETFOCUS:
        if (FEditor) FEditor->SetFocus();
        return 0;
    case WM_NOTIFY: {
        auto* nm = reinterpret_cast<NMHDR*>(lParam);
        if (nm && nm->code == TBN_GETINFOTIPW && ToolBar1 && nm->hwndFrom == ToolBar1->Handle()) {
            auto* tip = reinterpret_cast<NMTBGETINFOTIPW*>(lParam);
            const auto it = FHints.find(tip->iItem);
            if (it != FHints.end() && tip->pszText && tip->cchTextMax > 0)
                ::lstrcpynW(tip->pszText, it->second.c_str(), tip->cchTextMax);
            return 0;
        }
        if (nm && nm->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            const auto it = FHints.find(static_cast<int>(nm->idFrom));
            if (it != FHints.end()) {
                info->lpszText = const_cast<wchar_t*>(it->second.c_str());
                return 0;
            }
        }
        break;
    }
    default: break;
    }
    return TPanel::HandleMessage(msg, wParam, lParam);
}

void TScriptFrame::PostRun() noexcept {
    if (!m_runPosted && Handle()) m_runPosted = ::PostMessageW(Handle(), kRunMessage, 0, 0) != FALSE;
}

TScriptFrame* TScriptFrame::FromWindow(HWND hwnd) noexcept {
    for (HWND h = hwnd; h; h = (::GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h) : nullptr)
        if (auto* frame = dynamic_cast<TScriptFrame*>(TControl::FromHandle(h))) return frame;
    return nullptr;
}

void TScriptFrame::SetGlobalObjects(const std::wstring& aName, IDispatch* aDispatch) {
    FScriptHost->NamedObjects().Add(aName, aDispatch, false);
    const std::wstring text = GlobalVarsLabel->Text();
    GlobalVarsLabel->SetText(text.empty() ? aName : text + L", " + aName);
    GlobalVarsLabel->AutoSize();
}

std::wstring TScriptFrame::Language() const {
    return LanguageCombo->ItemIndex() == 0 ? L"VBScript" : L"JavaScript";
}

void TScriptFrame::SelectLanguage(int index, bool store) {
    LanguageCombo->SetItemIndex(index);
    FEditor->SetScheme(index == 1 ? ui::TCodeScheme::JavaLike : ui::TCodeScheme::VisualBasic);
    if (store) Options().SetValue(L"ScriptLanguage", index == 1 ? L"JavaScript" : L"VBScript");
}

HRESULT TScriptFrame::Run() {
    // A script that shows a message box pumps messages; F5 pressed meanwhile does not start a second one.
    if (FRunning) return S_FALSE;
    // The script may close this window (its host window, a document): the form then waits for the run
    // to return, and the run shows nothing more.
    const ui::TOwnCode own(Form());
    if (own.Closed()) return S_FALSE; // a run posted before its window closed
    FRunning = true;
    const FlagReset reset{FRunning};

    TForm* form = Form();
    PrepareHost(*FScriptHost, form ? form->Handle() : Handle());
    SetBaseline(); // the text as it ran
    HRESULT hr;
    {
        THourglass hourglass;
        hr = FScriptHost->Execute();
    }
    FMemoLines->Flush();
    AddToScriptHistory();
    if (FAILED(hr) && !own.Closed()) {
        ShowMessageBox(Handle(), L"Error executing script: " + HResultToName(hr) + L"\r\n" + FScriptHost->Error(),
                       L"Script Error", MB_ICONERROR);
        if (!own.Closed()) MarkError();
    }
    return hr;
}

void TScriptFrame::PrepareHost(TScriptHost& host, HWND parent) {
    host.SetParentWindow(parent);
    host.SetCode(FEditor->Lines());
    host.SetLanguage(Language());
}

HRESULT TScriptFrame::ExecuteProcedure(HWND parent, const std::wstring& name, DISPPARAMS& params,
                                       VARIANT* result, TScriptErrorInfo& error) {
    const ui::TOwnCode own(Form()); // the procedure may close the window: it is destroyed after it
    const auto failed = [&](const TScriptHost& host, HRESULT hr) {
        if (hr != S_OK) error = {host.Error(), host.ErrorLine(), host.ErrorChar()};
        return hr;
    };
    if (!FRunning) {
        FRunning = true;
        const FlagReset reset{FRunning};
        PrepareHost(*FScriptHost, parent);
        const HRESULT hr = FScriptHost->ExecuteMethod(name, params, result);
        FMemoLines->Flush();
        return failed(*FScriptHost, hr);
    }
    if (m_nestedProcedures >= kMaxNestedProcedures) return E_PENDING;
    // A host of its own, on the stack: the running engine is never re-entered.
    TScriptHost nested;
    for (int i = 0; i < FScriptHost->NamedObjects().Count(); ++i) {
        const TNamedObject& o = FScriptHost->NamedObjects().Items(i);
        nested.NamedObjects().Add(o.Name, o.DispatchPtr.Get(), o.Global);
    }
    for (int i = 0; i < FScriptHost->ExposedTypeLibs().Count(); ++i) {
        const TExposedTypeLib& lib = FScriptHost->ExposedTypeLibs().Items(i);
        TExposedTypeLib& copy = nested.ExposedTypeLibs().Add(lib.Guid, lib.VersionMajor, lib.VersionMinor);
        copy.FallbackConstants = lib.FallbackConstants;
        copy.Library = lib.Library;
    }
    PrepareHost(nested, parent);
    ++m_nestedProcedures;
    struct Nesting {
        int& depth;
        ~Nesting() { --depth; }
    } nesting{m_nestedProcedures};
    const HRESULT hr = nested.ExecuteMethod(name, params, result);
    return failed(nested, hr);
}

void TScriptFrame::MarkError() {
    MarkError({FScriptHost->Error(), FScriptHost->ErrorLine(), FScriptHost->ErrorChar()});
}

// Engines may report a column of -1 or a position past the text: a line beyond the last is the last
// line, and the column is kept within its line.
void TScriptFrame::MarkError(const TScriptErrorInfo& error) {
    const ui::TCodeEditorModel& model = FEditor->Model();
    const int row = static_cast<int>(std::min<ULONG>(error.Line, static_cast<ULONG>(model.LineCount() - 1)));
    const int col = static_cast<int>(std::clamp<LONG>(error.Char, 0, static_cast<LONG>(model.Line(row).size())));
    FEditor->SetSelLength(0);
    FEditor->ScrollRowIntoView(row);
    FEditor->SetCaretPos(col, row);
    FEditor->SetSelection(static_cast<int>(model.OffsetOf({row, col})), 1);
}

void TScriptFrame::LoadScriptHistory() {
    FScriptIndex = -1;
    FScriptHistory.clear();
    for (std::wstring& entry : ReadHistory(Options()))
        if (!TrimScript(entry).empty()) FScriptHistory.push_back(std::move(entry));
    UpdateHistoryButtons();
}

void TScriptFrame::AddToScriptHistory() {
    FScriptIndex = -1;
    // Merged with what is stored now, so that runs in other frames (and other processes) are kept.
    TOptions stored;
    stored.Load(HKEY_CURRENT_USER, kOptionsKey);
    std::vector<std::wstring> storedList = ReadHistory(stored);
    if (storedList.empty()) storedList = ReadHistory(Options());
    // This window's entries too long to be stored keep their places among the stored ones.
    for (size_t i = 0; i < FScriptHistory.size(); ++i)
        if (FScriptHistory[i].size() > kStoredScriptMaxChars)
            storedList.insert(storedList.begin() + static_cast<std::ptrdiff_t>(std::min(i, storedList.size())),
                              FScriptHistory[i]);
    FScriptHistory = MergeScriptHistory(FEditor->Lines(), storedList, FScriptHistory);
    // Script1 onwards without gaps, passing over the entries too long for the registry. Only the values
    // that differ from the stored ones are written: a run of the newest script again writes none.
    TOptions& options = Options();
    int n = 0;
    for (const std::wstring& entry : FScriptHistory)
        if (entry.size() <= kStoredScriptMaxChars) options.SetValue(HistoryName(++n), entry);
    while (++n <= kScriptHistoryMax + 1) options.SetValue(HistoryName(n), L"");
    options.Save(HKEY_CURRENT_USER, kOptionsKey, &stored);
    UpdateHistoryButtons();
}

void TScriptFrame::UpdateHistoryButtons() {
    const int count = static_cast<int>(FScriptHistory.size());
    ToolBar1->SetButtonEnabled(btnPrevScript, FScriptIndex < count - 1);
    ToolBar1->SetButtonEnabled(btnNextScript, FScriptIndex > 0);
}

void TScriptFrame::PrevScript() {
    if (FScriptIndex < static_cast<int>(FScriptHistory.size()) - 1) {
        ++FScriptIndex;
        FEditor->SetLines(FScriptHistory[static_cast<size_t>(FScriptIndex)]);
    }
    UpdateHistoryButtons();
}

void TScriptFrame::NextScript() {
    if (FScriptIndex > 0) {
        --FScriptIndex;
        FEditor->SetLines(FScriptHistory[static_cast<size_t>(FScriptIndex)]);
    }
    UpdateHistoryButtons();
}

void TScriptFrame::OpenScript() {
    TOpenDialogEx dialog(Handle());
    dialog.Filter = kScriptFilter;
    if (dialog.Execute()) LoadFromFile(dialog.FileName);
}

void TScriptFrame::SaveScript() {
    TSaveDialogEx dialog(Handle());
    dialog.Filter = kScriptFilter;
    const int index = LanguageCombo->ItemIndex();
    dialog.DefaultExt = index == 0 ? L"vbs" : index == 1 ? L"js" : L"txt";
    if (dialog.Execute()) SaveToFile(dialog.FileName);
}

void TScriptFrame::LoadFromFile(const std::wstring& fileName) {
    try {
        // The new text is read and decoded in full first: a file that cannot be read, is too large or
        // is not text leaves the editor as it was.
        TScriptFileText file = ReadScriptFile(fileName);
        const size_t dot = fileName.find_last_of(L'.');
        const size_t slash = fileName.find_last_of(L"\\/");
        const std::wstring ext = dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)
                                     ? std::wstring()
                                     : fileName.substr(dot);
        std::wstring previous = FEditor->Lines();
        try {
            FEditor->SetLines(file.Text);
        } catch (...) {
            // Out of memory inside the editor: the file's text goes first, then the script comes back.
            file.Text = std::wstring();
            FEditor->SetLines(previous);
            throw;
        }
        FFileEncoding = file.Encoding;
        SelectLanguage(::lstrcmpiW(ext.c_str(), L".JS") == 0 ? 1 : 0, false);
        SetBaseline();
    } catch (...) {
        ShowCaughtError(Handle());
    }
}

void TScriptFrame::SaveToFile(const std::wstring& fileName) {
    try {
        const std::wstring text = FEditor->Lines();
        WriteScriptFile(fileName, text, FFileEncoding);
        // A text that would not have read back without a mark went out as UTF-8 with one; later saves keep it.
        if ((FFileEncoding == TScriptEncoding::Ansi || FFileEncoding == TScriptEncoding::Utf8) &&
            EncodeScriptFile(text, FFileEncoding).rfind("\xEF\xBB\xBF", 0) == 0)
            FFileEncoding = TScriptEncoding::Utf8Bom;
        SetBaseline();
    } catch (...) {
        ShowCaughtError(Handle());
    }
}

std::wstring TScriptFrame::DebugText() { return FMemoLines->Text(); }

void TScriptFrame::ClearDebug() { FMemoLines->Clear(); }

} // namespace qs
