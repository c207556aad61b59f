// The window framework: layout of aligned controls, the modal loop, close actions, hidden tab sheets,
// owner-data lists, the bounded log box, timers, and parented forms that are only hidden when told not
// to free themselves.
#include "Fixtures.h"
#include "common/qsModule.h"
#include "ui/uComCtrls.h"
#include "ui/uLogBox.h"
#include "ui/uParentedWnd.h"
#include "ui/uUtilsDialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace qs::ui;

namespace {

class Framework : public ::testing::Test {
protected:
    void TearDown() override {
        std::vector<TForm*> open = TForm::AllForms();
        for (TForm* f : open) f->Free();
        TForm::ProcessMessages();
        EXPECT_TRUE(TForm::AllForms().empty());
    }
};

TEST_F(Framework, AlignedChildrenShareTheClientArea) {
    auto* form = new TForm(nullptr);
    form->SetClientSize(400, 300);
    auto* top = new TPanel(form);
    top->SetHeight(30);
    top->SetAlign(TAlign::Top);
    auto* bottom = new TPanel(form);
    bottom->SetHeight(20);
    bottom->SetAlign(TAlign::Bottom);
    auto* right = new TPanel(form);
    right->SetWidth(100);
    right->SetAlign(TAlign::Right);
    auto* splitter = new TSplitter(form, TAlign::Right);
    auto* client = new TPanel(form);
    client->SetAlign(TAlign::Client);
    form->Realign();
    auto rect = [](TControl* c) { return std::vector<LONG>{c->Left(), c->Top(), c->Width(), c->Height()}; };
    EXPECT_EQ(rect(top), (std::vector<LONG>{0, 0, 400, 30}));
    EXPECT_EQ(rect(bottom), (std::vector<LONG>{0, 280, 400, 20}));
    EXPECT_EQ(rect(right), (std::vector<LONG>{300, 30, 100, 250}));
    EXPECT_EQ(rect(splitter), (std::vector<LONG>{297, 30, 3, 250}));
    EXPECT_EQ(rect(client), (std::vector<LONG>{0, 30, 297, 250}));

    // Resizing the form lays the children out again; a hidden child gives its room away.
    form->SetClientSize(500, 300);
    EXPECT_EQ(rect(client), (std::vector<LONG>{0, 30, 397, 250}));
    right->SetVisible(false);
    EXPECT_EQ(rect(client), (std::vector<LONG>{0, 30, 497, 250}));
}

TEST_F(Framework, ModalLoopEndsWithTheButtonsResultAndReenablesTheOwner) {
    auto* owner = new TForm(nullptr);
    owner->Show();
    auto* dialog = new TForm(owner->Handle());
    auto* ok = new TButton(dialog, L"OK");
    ok->ModalResult = IDOK;
    bool ownerDisabledDuringLoop = false;
    // The click arrives through the message queue while the nested loop runs.
    ok->OnClick = [&](TButton&) { ownerDisabledDuringLoop = !::IsWindowEnabled(owner->Handle()); };
    // A safety net: a loop that never ends fails the test instead of hanging it.
    TTimer guard;
    guard.OnTimer = [&](TTimer& t) {
        t.Stop();
        dialog->ModalResult = -1;
    };
    guard.Start(5000);
    ::PostMessageW(dialog->Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(ok->Handle()), BN_CLICKED),
                   reinterpret_cast<LPARAM>(ok->Handle()));
    EXPECT_EQ(dialog->ShowModal(), IDOK);
    EXPECT_TRUE(ownerDisabledDuringLoop);
    EXPECT_TRUE(::IsWindowEnabled(owner->Handle()));
    EXPECT_FALSE(::IsWindowVisible(dialog->Handle())); // hidden, not freed
    // Closing a modal form without a result cancels it.
    ::PostMessageW(dialog->Handle(), WM_CLOSE, 0, 0);
    guard.Start(5000);
    EXPECT_EQ(dialog->ShowModal(), IDCANCEL);
}

// The host window closes while a parented form runs its modal loop: the host-window hook frees the form
// inside the loop, which must notice and return without touching it.
TEST_F(Framework, ModalLoopSurvivesItsFormBeingFreedWithTheHostWindow) {
    auto* host = new TForm(nullptr);
    host->Show();
    const HWND hostWindow = host->Handle();
    auto* dialog = new TParentedForm(hostWindow);
    EXPECT_TRUE(HostWindowHookInstalled()); // a form with a host window has the hook watch it
    bool destroyed = false;
    dialog->OnDestroy = [&](TForm&) { destroyed = true; };
    dialog->OnShow = [&](TForm&) { ::PostMessageW(hostWindow, WM_CLOSE, 0, 0); };
    host->OnClose = [](TForm&, TCloseAction& action) { action = TCloseAction::Free; };
    TTimer guard; // a loop that never ends fails the test instead of hanging it
    guard.OnTimer = [&](TTimer& t) {
        t.Stop();
        if (!destroyed) dialog->ModalResult = -1;
    };
    guard.Start(5000);
    EXPECT_EQ(dialog->ShowModal(), IDCANCEL);
    EXPECT_TRUE(destroyed);
    TForm::ProcessMessages();
    EXPECT_FALSE(::IsWindow(hostWindow));
}

// A failure while the modal form is being shown leaves its owner enabled.
TEST_F(Framework, ModalLoopReenablesTheOwnerWhenShowingFails) {
    auto* owner = new TForm(nullptr);
    owner->Show();
    auto* dialog = new TForm(owner->Handle());
    dialog->OnShow = [](TForm&) { throw std::runtime_error("show failed"); };
    EXPECT_THROW(dialog->ShowModal(), std::runtime_error);
    EXPECT_TRUE(::IsWindowEnabled(owner->Handle()));
}

// Every window and running timer of ours keeps the module loaded; none leaves a lock behind.
TEST_F(Framework, WindowsAndRunningTimersHoldModuleLocks) {
    const LONG baseline = qs::ModuleLockCount();
    auto* form = new TForm(nullptr);
    new TButton(form, L"OK");
    EXPECT_EQ(qs::ModuleLockCount(), baseline + 2);
    TTimer timer;
    timer.Start(60000);
    EXPECT_EQ(qs::ModuleLockCount(), baseline + 3);
    timer.Stop();
    timer.Stop();
    form->Free();
    EXPECT_EQ(qs::ModuleLockCount(), baseline);
}

// A form closed for good while its own code runs (a button's handler, a toolbar button's, a modal loop
// of its own) is hidden and waits: it is destroyed when the outermost of those returns, and the code
// on the stack sees it closed. The toolbar runs one handler per click, whatever the handler did.
TEST_F(Framework, AFormClosedUnderItsOwnCodeGoesWhenThatCodeReturns) {
    auto* form = new TForm(nullptr);
    form->Show();
    auto* button = new TButton(form, L"Close");
    button->ModalResult = IDOK;
    auto* bar = new TToolBar(form);
    bool destroyed = false, sawClosed = false;
    form->OnDestroy = [&](TForm&) { destroyed = true; };
    int ran = 0;
    const int id = bar->AddButton(L"Close", -1, [&] {
        ++ran;
        const TOwnCode own = form->EnterOwnCode();
        form->Free();
        sawClosed = own.Closed() && !destroyed && !::IsWindowVisible(form->Handle());
    });
    bar->Click(id);
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(sawClosed);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(TForm::AllForms().empty());

    // The same through a button's click message, whose handler closes the form as the user would.
    form = new TForm(nullptr);
    form->Show();
    button = new TButton(form, L"Close");
    button->ModalResult = IDOK;
    destroyed = false;
    form->OnDestroy = [&](TForm&) { destroyed = true; };
    form->OnClose = [](TForm&, TCloseAction& action) { action = TCloseAction::Free; };
    button->OnClick = [&](TButton&) { ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0); };
    ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button->Handle()), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button->Handle()));
    EXPECT_FALSE(destroyed); // the posted release destroys it
    TForm::ProcessMessages();
    EXPECT_TRUE(destroyed);
}

// A dialog asked by a form of ours disables that form as well as its owner window, and gives both back.
TEST_F(Framework, AModalDialogDisablesTheFormThatAskedAndItsOwner) {
    auto* owner = new TForm(nullptr);
    owner->Show();
    auto* caller = new TForm(nullptr);
    caller->Show();
    TFormHolder<TForm> dialog(owner->Handle());
    bool bothDisabled = false;
    TTimer answer;
    answer.OnTimer = [&](TTimer& t) {
        t.Stop();
        bothDisabled = !::IsWindowEnabled(owner->Handle()) && !::IsWindowEnabled(caller->Handle());
        dialog->ModalResult = IDOK;
    };
    answer.Start(50);
    EXPECT_EQ(dialog->ShowModal(caller), IDOK);
    EXPECT_TRUE(bothDisabled);
    EXPECT_TRUE(::IsWindowEnabled(owner->Handle()) && ::IsWindowEnabled(caller->Handle()));
    // Its owner destroyed under it, the held dialog answers IDCANCEL and stays readable until let go.
    answer.OnTimer = [&](TTimer& t) {
        t.Stop();
        owner->Free();
    };
    answer.Start(50);
    EXPECT_EQ(dialog->ShowModal(caller), IDCANCEL);
    EXPECT_TRUE(dialog.Closed());
    EXPECT_TRUE(::IsWindowEnabled(caller->Handle()));
}

TEST_F(Framework, ModalInterceptorDrivesTheFormInsteadOfTheUser) {
    auto* dialog = new TForm(nullptr);
    auto previous = SetModalInterceptor([](TForm& f) {
        EXPECT_TRUE(f.Modal());
        return IDRETRY;
    });
    EXPECT_EQ(dialog->ShowModal(), IDRETRY);
    SetModalInterceptor(previous);
}

TEST_F(Framework, CloseActions) {
    auto* hidden = new TForm(nullptr);
    hidden->Show();
    hidden->Close(); // the default action hides
    TForm::ProcessMessages();
    EXPECT_FALSE(::IsWindowVisible(hidden->Handle()));
    EXPECT_EQ(TForm::AllForms().size(), 1u);

    auto* freed = new TForm(nullptr);
    bool destroyed = false;
    freed->OnDestroy = [&](TForm&) { destroyed = true; };
    freed->OnClose = [](TForm&, TCloseAction& action) { action = TCloseAction::Free; };
    freed->Show();
    ::SendMessageW(freed->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(destroyed); // released only after the messages already queued
    TForm::ProcessMessages();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(TForm::AllForms().size(), 1u);
}

TEST_F(Framework, ParentedFormsFreeOnCloseUnlessMadeWithoutDesign) {
    auto* designed = new TParentedForm(nullptr);
    EXPECT_TRUE(designed->FreeOnClose());
    auto* bare = new TParentedForm(nullptr, TParentedForm::CreateNewTag{});
    EXPECT_FALSE(bare->FreeOnClose());
    designed->Show();
    bare->Show();
    designed->Close();
    bare->Close();
    TForm::ProcessMessages();
    ASSERT_EQ(TParentedForm::ParentedForms().size(), 1u);
    EXPECT_EQ(TParentedForm::ParentedForms()[0], bare);
    EXPECT_FALSE(::IsWindowVisible(bare->Handle()));
}

TEST_F(Framework, HiddenTabSheetsKeepTheirPlace) {
    auto* form = new TForm(nullptr);
    auto* pages = new TPageControl(form);
    auto* a = new TTabSheet(pages, L"A");
    auto* b = new TTabSheet(pages, L"B");
    auto* c = new TTabSheet(pages, L"C");
    pages->SetAlign(TAlign::Client);
    int changes = 0;
    pages->OnChange = [&](TPageControl&) { ++changes; };
    pages->SetActivePage(b);
    EXPECT_TRUE(::IsWindowVisible(b->Handle()) || !::IsWindowVisible(form->Handle()));
    b->SetTabVisible(false);
    EXPECT_EQ(pages->VisiblePages(), (std::vector<TTabSheet*>{a, c}));
    EXPECT_EQ(pages->ActivePage(), a); // the active sheet's tab went: the first visible one takes over
    EXPECT_EQ(TabCtrl_GetItemCount(pages->Handle()), 2);
    b->SetTabVisible(true);
    EXPECT_EQ(pages->VisiblePages(), (std::vector<TTabSheet*>{a, b, c}));
    // A user's tab change is reported.
    TabCtrl_SetCurSel(pages->Handle(), 2);
    NMHDR nm{pages->Handle(), 0, static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(pages->ActivePage(), c);
    EXPECT_EQ(changes, 1);
}

TEST_F(Framework, OwnerDataListBoxAsksForTheTextsItShows) {
    auto* form = new TForm(nullptr);
    auto* list = new TListBox(form, true);
    list->SetBounds(0, 0, 200, 200);
    int asked = 0;
    list->OnData = [&](TListBox&, int index) {
        ++asked;
        return L"item " + std::to_wstring(index);
    };
    list->SetCount(100000);
    EXPECT_EQ(list->Count(), 100000);
    EXPECT_EQ(list->ItemText(99999), L"item 99999");
    form->Show();
    ::UpdateWindow(list->Handle());
    EXPECT_LT(asked, 100); // drawing asks only for the visible items
}

TEST_F(Framework, ListViewReportsSelectionAndChecks) {
    auto* form = new TForm(nullptr);
    auto* list = new TListView(form, TListView::Options{.checkBoxes = true, .showHeader = false});
    list->AddColumn(L"Name", 100);
    int data = 7;
    list->AddItem(L"first", &data);
    list->AddItem(L"second");
    std::vector<std::pair<int, bool>> checks;
    int selected = -1;
    list->OnItemChecked = [&](TListView&, int item, bool checked) { checks.emplace_back(item, checked); };
    list->OnSelectItem = [&](TListView&, int item, bool isSelected) {
        if (isSelected) selected = item;
    };
    list->SetChecked(1, true);
    list->Select(0);
    EXPECT_EQ(checks, (std::vector<std::pair<int, bool>>{{1, true}}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(list->Data(0), &data);
    EXPECT_EQ(list->ItemText(1), L"second");
}

// A log box keeps its newest lines within both limits, dropping whole lines in chunks (down to 90%),
// from a batch too as soon as the batch alone is over; its first line counts every line dropped until
// Clear. Lines here are 11 characters with their line break, the limits 10 lines and 100 characters.
TEST_F(Framework, ALogBoxKeepsItsNewestLinesAndCountsTheOthers) {
    const struct {
        std::uint64_t count;
        const wchar_t* note;
    } notes[] = {{7, L"(7 earlier lines not shown)"},
                 {1000, L"(1,000 earlier lines not shown)"},
                 {1234567, L"(1,234,567 earlier lines not shown)"}};
    for (const auto& n : notes) EXPECT_EQ(TLogBox::DroppedNote(n.count), n.note);

    auto* form = new TForm(nullptr);
    auto* edit =
        new TEdit(form, TEdit::Options{.multiLine = true, .readOnly = true, .vScroll = true, .wordWrap = false});
    TLogBox log(edit, {10, 100});
    int appended = 0;
    const struct {
        int lines;
        std::uint64_t dropped;
        int kept;
    } steps[] = {
        {9, 0, 9},   // within both limits
        {1, 2, 8},   // over the characters: down to 88 of 90
        {1, 2, 9},
        {1, 4, 8},   // the count goes on
        {20, 24, 8}, // a batch over the limits by itself: the box and 12 of its lines go
    };
    for (const auto& step : steps) {
        std::wstring batch;
        for (int i = 0; i < step.lines; ++i) batch += L"line " + std::to_wstring(1000 + appended++) + L"\r\n";
        log.Append(batch);
        std::wstring expected = step.dropped ? TLogBox::DroppedNote(step.dropped) + L"\r\n" : L"";
        for (int i = appended - step.kept; i < appended; ++i)
            expected += L"line " + std::to_wstring(1000 + i) + L"\r\n";
        EXPECT_EQ(edit->Text(), expected) << appended;
        EXPECT_EQ(log.DroppedLines(), step.dropped) << appended;
    }
    log.Clear();
    log.Append(L"again\r\n");
    EXPECT_EQ(edit->Text(), L"again\r\n");
    EXPECT_EQ(log.DroppedLines(), 0u);
}

TEST_F(Framework, TimerFiresOnTheUiThread) {
    TTimer timer;
    int fired = 0;
    timer.OnTimer = [&](TTimer& t) {
        ++fired;
        t.Stop();
    };
    timer.Start(10);
    for (int i = 0; i < 100 && fired == 0; ++i) {
        ::Sleep(10);
        TForm::ProcessMessages();
    }
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.Running());
}

TEST_F(Framework, FileDialogsGoThroughTheSeam) {
    FileDialogRequest seen{};
    auto previous = SetFileDialogInterceptor([&](FileDialogRequest& r) {
        seen = r;
        r.fileName = L"C:\\scripts\\run.vbs";
        return true;
    });
    TSaveDialogEx save(reinterpret_cast<HWND>(0x1234));
    save.Filter = L"Visual Basic|*.vb;*.vbs|All Files|*.*";
    save.FileName = L"first.vbs";
    EXPECT_TRUE(save.Execute());
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(seen.owner, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(seen.fileName, L"first.vbs");
    EXPECT_EQ(save.FileName, L"C:\\scripts\\run.vbs");
    SetFileDialogInterceptor(previous);
}

TEST_F(Framework, ThemeActivatorActivatesTheModulesManifest) {
    {
        TThemeActivator theme(2, true);
        EXPECT_TRUE(theme.Activated());
        HANDLE current = nullptr;
        EXPECT_TRUE(::GetCurrentActCtx(&current));
        EXPECT_NE(current, nullptr);
        if (current) ::ReleaseActCtx(current);
    }
    TThemeActivator missing(77, true); // no such manifest: nothing activated, nothing fails
    EXPECT_FALSE(missing.Activated());
}

TEST_F(Framework, PreTranslationFindsTheFormOfAControl) {
    auto* form = new TForm(nullptr);
    auto* panel = new TPanel(form);
    auto* edit = new TEdit(panel);
    EXPECT_EQ(FindOwnControl(edit->Handle()), edit);
    EXPECT_EQ(FindOwnControl(edit->Handle())->Form(), form);
    EXPECT_EQ(FindOwnControl(::GetDesktopWindow()), nullptr);
    int shortcuts = 0;
    form->OnShortCut = [&](TForm&, const MSG& m) { return m.wParam == VK_F5 && ++shortcuts; };
    MSG msg{edit->Handle(), WM_KEYDOWN, VK_F5, 0};
    EXPECT_TRUE(PreTranslateFrameworkMessage(msg));
    EXPECT_EQ(shortcuts, 1);
    MSG other{::GetDesktopWindow(), WM_KEYDOWN, VK_F5, 0};
    EXPECT_FALSE(PreTranslateFrameworkMessage(other));
}

} // namespace
