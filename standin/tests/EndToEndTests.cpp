// End-to-end tests: the stand-in host (officehost.exe, next to this executable) registers the add-in DLL,
// loads it from the registry as Office does, draws its tab and clicks its buttons; these tests read the
// host's log. Each run is a process of its own, so a crash anywhere fails the run, not this executable.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<std::string> lines;

    bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    // The lines that start with `prefix`, in order.
    std::vector<std::string> Starting(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& l : lines)
            if (l.compare(0, prefix.size(), prefix) == 0) found.push_back(l);
        return found;
    }
    std::string Text() const {
        std::string all;
        for (const std::string& l : lines) all += l + "\n";
        return all;
    }
};

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

// The build tree as a Windows path (QS_BUILD_DIR is the Unix path that ctest passes).
std::wstring BuildDir() {
    wchar_t unixPath[MAX_PATH] = L"";
    if (::GetEnvironmentVariableW(L"QS_BUILD_DIR", unixPath, MAX_PATH) == 0) return {};
    std::wstring path = unixPath[0] == L'/' ? L"Z:" + std::wstring(unixPath) : std::wstring(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring HostExe() {
    wchar_t self[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"officehost.exe";
}

// Runs the stand-in host with `args` (after registering the add-in) and collects its log.
HostRun RunHost(const std::string& args) {
    HostRun run;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"\"" + HostExe() + L"\" --register \"" + BuildDir() + L"\\quillspar.dll\" " + Widen(args);
    PROCESS_INFORMATION pi{};
    const BOOL started =
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        ADD_FAILURE() << "cannot start the stand-in host: error " << ::GetLastError();
        return run;
    }
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    ::CloseHandle(readEnd);
    if (::WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 99);
        ADD_FAILURE() << "the stand-in host did not end";
    }
    ::GetExitCodeProcess(pi.hProcess, &run.exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run.lines.push_back(line);
        start = end + 1;
    }
    return run;
}

// One object button and what clicking it opens: the window's caption (the object's type name) and,
// where the add-in switches pages, the page shown.
struct Button {
    const char* id;
    const char* opens;
    const char* page = "Properties";
};

struct Host {
    const char* name;
    const char* group; // the object-model group's label
    std::vector<Button> buttons;
};

const std::vector<Host>& Hosts() {
    static const std::vector<Host> hosts = {
        {"word",
         "Word Object Model",
         {{"Application", "_Application"},
          {"ApplicationOptions", "Options"},
          {"Window", "Window"},
          {"Document", "_Document"},
          {"Selection", "Selection"},
          {"Style", "Style"},
          {"Range", "Range"}}},
        {"excel",
         "Excel Object Model",
         {{"Application", "_Application"},
          {"Window", "Window"},
          {"Workbook", "_Workbook"},
          {"Worksheet", "_Worksheet"},
          {"Chart", "_Chart"},
          {"Selection", "Range"},
          {"Cell", "Range"},
          {"Style", "Style"}}},
        {"powerpoint",
         "PowerPoint Object Model",
         {{"Application", "_Application"},
          {"Window", "DocumentWindow"},
          {"Presentation", "_Presentation"},
          {"View", "View"},
          {"Slide", "_Slide"},
          {"Selection", "Selection"}}},
        {"onenote", "OneNote Object Model", {{"Application", "IApplication"}, {"Window", "Window"}}},
        {"publisher",
         "Publisher Object Model",
         {{"Application", "_Application"},
          {"Window", "Window"},
          {"Document", "_Document"},
          {"View", "View"},
          {"Page", "Page"},
          {"Selection", "Selection"}}},
        {"access",
         "Access Object Model",
         {{"Application", "_Application"},
          {"CurrentProject", "CurrentProject"},
          {"DoCmd", "DoCmd", "Functions"},
          {"Screen", "Screen"},
          {"ActiveControl", "Control"},
          {"DBEngine", "_DBEngine"},
          {"Connection", "_Connection"},
          {"Workspace", "Workspace"},
          {"Database", "Database"},
          {"TableDefs", "TableDefs", "IEnumVariant"}}},
        {"infopath", "InfoPath Object Model", {{"Application", "_Application"}}},
        {"visio",
         "Visio Object Model",
         {{"Application", "IVApplication"},
          {"ApplicationSettings", "IVApplicationSettings"},
          {"Window", "IVWindow"},
          {"Page", "IVPage"},
          {"Document", "IVDocument"},
          {"Selection", "IVSelection"},
          {"Shape", "IVShape"}}},
        {"project",
         "Project Object Model",
         {{"Application", "_MSProject"},
          {"Window", "Window"},
          {"Project", "_IProjectDoc"},
          {"Selection", "Selection"},
          {"Cell", "Cell"},
          {"Task", "Task"}}},
    };
    return hosts;
}

std::string ClickLine(const std::string& id, const std::string& opened) {
    return "click Quillspar_" + id + ": 0x00000000; opened " + opened;
}

void PrintTo(const Host& host, std::ostream* out) {
    *out << host.name;
}

class EveryHost : public ::testing::TestWithParam<Host> {};

// The add-in loads from the registry; its tab has the editor, every object button and About, each with
// its image; every object button opens a browser window on the right object, on the right page.
TEST_P(EveryHost, LoadsDrawsEveryButtonAndEachOpensItsObject) {
    const Host& host = GetParam();
    const std::wstring buildDir = BuildDir();
    std::string args = std::string("--app ") + host.name + " --exit-after 1500 --screenshot \"" +
                       std::string(buildDir.begin(), buildDir.end()) + "\\screenshots\\standin-" + host.name + ".png\"";
    for (const Button& b : host.buttons) args += std::string(" --click Quillspar_") + b.id;
    const HostRun run = RunHost(args);
    SCOPED_TRACE(run.Text());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Has("loaded Quillspar.Addin"));
    if (std::string(host.name) == "word") {
        // Each document's window is a window of its own; the active one is made first.
        EXPECT_EQ(run.Starting("document window "),
                  (std::vector<std::string>{"document window \"Report.docx\"", "document window \"Letter.docx\""}));
    }

    EXPECT_TRUE(run.Has("button Quillspar_ScriptEditor \"Editor\" in \"Script\" with image"));
    for (const Button& b : host.buttons) {
        const std::string prefix = "button Quillspar_" + std::string(b.id) + " \"";
        const auto found = run.Starting(prefix);
        ASSERT_EQ(found.size(), 1u) << b.id;
        EXPECT_NE(found[0].find(" with image"), std::string::npos) << found[0];
        EXPECT_TRUE(found[0].find(std::string("\" in \"") + host.group + "\"") != std::string::npos ||
                    std::string(host.name) == "access")
            << found[0];
    }
    EXPECT_EQ(run.Starting("button Quillspar_About \"About\" in \"Tools\"").size(), 1u);
    EXPECT_EQ(run.Starting("button ").size(), host.buttons.size() + 2);
    for (const std::string& line : run.Starting("button "))
        EXPECT_NE(line.find(" with image"), std::string::npos) << line;

    for (const Button& b : host.buttons) {
        std::string opened = "\"" + std::string(b.opens) + "\" page \"" + b.page + "\"";
        EXPECT_TRUE(run.Has(ClickLine(b.id, opened))) << b.id << " should open " << opened;
    }
    EXPECT_TRUE(run.Starting("dialog ").empty());
    // Every browser window and the add-in gave their references back.
    EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
}

// "Editor" opens a Script Editor owned by the host's window; F5 runs the typed script against the
// host's Application.
TEST_P(EveryHost, EditorOpensAScriptEditorThatRunsAgainstTheApplication) {
    const Host& host = GetParam();
    const HostRun run = RunHost(std::string("--app ") + host.name +
                                " --exit-after 1500 --click Quillspar_ScriptEditor --script \"Debug.Print Application.Name\"");
    SCOPED_TRACE(run.Text());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Has(ClickLine("ScriptEditor", "\"Script Editor\"")));
    if (std::string(host.name) == "onenote") {
        // OneNote's Application has no Name: the run fails with the error box, and closing the host
        // under the box ends cleanly.
        EXPECT_EQ(run.Starting("window \"Script Error\"").size(), 1u);
        EXPECT_TRUE(run.Has("script editor owned by the host window; debug: \"\""));
        return;
    }
    const auto editors = run.Starting("script editor owned by the host window; debug: \"Microsoft ");
    ASSERT_EQ(editors.size(), 1u);
    EXPECT_EQ(editors[0].find('|'), std::string::npos) << "one line: " << editors[0];
    if (std::string(host.name) == "excel") {
        EXPECT_TRUE(run.Has("script editor owned by the host window; debug: \"Microsoft Excel\""));
    }
}

INSTANTIATE_TEST_SUITE_P(StandinHost, EveryHost, ::testing::ValuesIn(Hosts()),
                         [](const ::testing::TestParamInfo<Host>& info) { return std::string(info.param.name); });

// Paths that reach Nothing open no window and show nothing; a failed read is the click's failure, shown
// in an "Error" box by Access and Project only.
TEST(StandinHostPaths, NothingOnThePathOpensNothing) {
    const struct {
        const char* args;
        const char* click;
    } cases[] = {
        {"--app word --nil ActiveDocument", "Document"},
        {"--app word --nil Selection", "Style"},
        {"--app excel --nil ActiveChart", "Chart"},
        {"--app visio --empty ActiveWindow.Selection", "Shape"},
        {"--app access --empty Workspace.Databases", "Database"},
        {"--app access --empty Workspace.Databases", "TableDefs"},
        {"--app access --empty DBEngine.Workspaces", "Workspace"},
        {"--app publisher --nil ActiveDocument", "Page"},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(std::string(c.args) + " --exit-after 300 --click Quillspar_" + c.click);
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u) << c.args;
        EXPECT_TRUE(run.Has(ClickLine(c.click, "nothing"))) << c.args << " " << c.click;
        EXPECT_TRUE(run.Starting("dialog ").empty()) << c.args;
    }
}

TEST(StandinHostPaths, AccessAndProjectShowErrorsTheOthersFailTheCallback) {
    {
        const HostRun run =
            RunHost("--app access --fail DBEngine.Workspaces --exit-after 300 --click Quillspar_Workspace");
        SCOPED_TRACE(run.Text());
        EXPECT_TRUE(run.Has("dialog \"Error\": The stand-in host cannot read DBEngine.Workspaces."));
        EXPECT_TRUE(run.Has(ClickLine("Workspace", "nothing")));
        EXPECT_EQ(run.exitCode, 0u);
    }
    {
        const HostRun run = RunHost("--app project --fail ActiveProject --exit-after 300 --click Quillspar_Project");
        SCOPED_TRACE(run.Text());
        EXPECT_TRUE(run.Has("dialog \"Error\": The stand-in host cannot read ActiveProject."));
        EXPECT_TRUE(run.Has(ClickLine("Project", "nothing")));
        EXPECT_EQ(run.exitCode, 0u);
    }
    {
        const HostRun run = RunHost("--app excel --fail ActiveWorkbook --exit-after 300 --click Quillspar_Workbook");
        SCOPED_TRACE(run.Text());
        EXPECT_TRUE(run.Starting("dialog ").empty());
        const auto clicks = run.Starting("click Quillspar_Workbook: 0x80004005");
        ASSERT_EQ(clicks.size(), 1u);
        EXPECT_NE(clicks[0].find("The stand-in host cannot read ActiveWorkbook."), std::string::npos);
        EXPECT_EQ(run.exitCode, 2u); // a failed click is the host's failure
    }
}

// The picture of the Script Editor with a highlighted script and its output.
TEST(StandinHostScriptEditor, ScreenshotOfAScriptAndItsOutput) {
    const std::wstring buildDir = BuildDir();
    const HostRun run = RunHost(
        "--app excel --exit-after 2500 --click Quillspar_ScriptEditor --screenshot \"" +
        std::string(buildDir.begin(), buildDir.end()) + "\\screenshots\\script-editor-excel.png\" --script "
        "\"' Prints the host's name and a few squares\\nDim i\\nDebug.Print Application.Name\\n"
        "For i = 1 To 3\\n    Debug.Print \\\"Square of \\\" & i & \\\": \\\" & (i * i)\\nNext\"");
    SCOPED_TRACE(run.Text());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Has("script editor owned by the host window; debug: "
                        "\"Microsoft Excel|Square of 1: 1|Square of 2: 4|Square of 3: 9\""));
}

TEST(StandinHostLoading, InfoPathWithoutApplication2FailsTheConnection) {
    const HostRun run = RunHost("--app infopath --no-application2 --exit-after 300");
    SCOPED_TRACE(run.Text());
    EXPECT_TRUE(run.Has("OnConnection Quillspar.Addin: 0x80004002"));
    EXPECT_TRUE(run.Starting("button ").empty());
    EXPECT_EQ(run.exitCode, 1u);
}

TEST(StandinHostLoading, AnUnknownHostGetsAnEmptyRibbonAndNoFailure) {
    const HostRun run = RunHost("--app unknown --exit-after 300");
    SCOPED_TRACE(run.Text());
    EXPECT_TRUE(run.Has("loaded Quillspar.Addin"));
    EXPECT_TRUE(run.Has("Quillspar.Addin adds nothing to the ribbon"));
    EXPECT_TRUE(run.Starting("button ").empty());
    EXPECT_EQ(run.exitCode, 0u);
}

TEST(StandinHostAutomation, UnknownButtonsAndEventsMakeTheExitCodeReportIt) {
    {
        const HostRun run = RunHost("--app word --exit-after 300 --click Quillspar_NoSuchButton");
        EXPECT_TRUE(run.Has("click Quillspar_NoSuchButton: no such button"));
        EXPECT_EQ(run.exitCode, 2u);
    }
    {
        const HostRun run = RunHost("--app word --exit-after 300 --fire NoSuchEvent --fire DocumentOpen");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.Starting("fire NoSuchEvent: ").size(), 1u);
        EXPECT_TRUE(run.Has("fire DocumentOpen: _Application.DocumentOpen fired to 0 sinks"));
        EXPECT_EQ(run.exitCode, 4u);
    }
    {
        const HostRun run = RunHost("--app word --nil NoSuchPath.Member --exit-after 300");
        EXPECT_EQ(run.exitCode, 64u);
    }
}

// A window open on the Application connects to its events: what the host fires reaches the window's
// event log with its arguments, and the sink is gone again when the host shuts down.
TEST(StandinHostEvents, TheApplicationWindowLogsTheHostsEvents) {
    {
        const std::wstring buildDir = BuildDir();
        const HostRun run = RunHost("--app word --click Quillspar_Application --fire NewDocument --fire Quit "
                                    "--page Events --event-log --exit-after 1500 --screenshot \"" +
                                    std::string(buildDir.begin(), buildDir.end()) +
                                    "\\screenshots\\events-page-word.png\"");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("fire NewDocument: _Application.NewDocument fired to 1 sink"));
        const auto logged = run.Starting("event log \"_Application\": ");
        ASSERT_EQ(logged.size(), 2u);
        // The new document is the event's one argument.
        EXPECT_EQ(logged[0].rfind("event log \"_Application\": NewDocument (", 0), 0u);
        EXPECT_NE(logged[0], "event log \"_Application\": NewDocument ()");
        EXPECT_EQ(logged[1], "event log \"_Application\": Quit ()");
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
    {
        const HostRun run =
            RunHost("--app excel --click Quillspar_Application --fire SheetChange --event-log --exit-after 300");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        const auto logged = run.Starting("event log \"_Application\": ");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].rfind("event log \"_Application\": SheetChange (", 0), 0u);
    }
}

// The Functions page acts on Word: Documents.Add, called with the parameters dialog answered, adds a
// document (the Application window logs NewDocument with it, and Documents.Count grows) and opens the
// new document's window; Documents.Item(2) opens the second document's window.
TEST(StandinHostFunctions, CallsFromTheFunctionsPageChangeTheHostAndOpenTheResult) {
    {
        const HostRun run = RunHost("--app word --click Quillspar_Application --browse Documents --call Add "
                                    "--page-script \"Debug.Print Application.Documents.Count & Document.Name\" "
                                    "--page-run --event-log --exit-after 1500");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("dialog \"Function Parameters - Add()\""));
        EXPECT_TRUE(run.Has("call Add: opened \"_Document\" page \"Properties\""));
        EXPECT_TRUE(run.Has("script page \"_Document\" debug: \"3Document2\""));
        const auto logged = run.Starting("event log \"_Application\": ");
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged[0], "event log \"_Application\": NewDocument (IDispatch)");
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
    {
        const HostRun run = RunHost("--app word --click Quillspar_Application --browse Documents --call \"Item(2)\" "
                                    "--page-script \"Debug.Print Document.Name\" --page-run --exit-after 1500");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("call Item: opened \"_Document\" page \"Properties\""));
        EXPECT_TRUE(run.Has("script page \"_Document\" debug: \"Letter.docx\""));
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
}

// A browser window's Script page in Word: a document window's Document_Close procedure runs when the
// document fires Close, before the log line; an Application_DocumentBeforeClose procedure that sets
// Cancel keeps the document open; the host library's constants are known by name. Every run gives the
// Application's references back.
TEST(StandinHostScriptPage, ProceduresHandleTheHostsEventsAndSeeItsConstants) {
    {
        const std::wstring buildDir = BuildDir();
        const HostRun run = RunHost(
            "--app word --click Quillspar_Document --page Script --page-script "
            "\"Sub Document_Close()\\nDebug.Print \\\"closing \\\" & Document.Name\\nEnd Sub\" "
            "--fire ActiveDocument.Close --event-log --exit-after 1500 --screenshot \"" +
            std::string(buildDir.begin(), buildDir.end()) + "\\screenshots\\script-page-word.png\"");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("script page \"_Document\" debug: \"closing Report.docx\""));
        EXPECT_TRUE(run.Has("event log \"_Document\": Close ()"));
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
    {
        const HostRun run = RunHost(
            "--app word --click Quillspar_Application --page Script --page-script "
            "\"Sub Application_DocumentBeforeClose(Doc, Cancel)\\nCancel = True\\nDebug.Print \\\"kept \\\" & "
            "Doc.Name\\nEnd Sub\" --click Quillspar_ScriptEditor --script \"On Error Resume Next\\nn = "
            "Application.Documents.Count\\nApplication.ActiveDocument.Close\\nDebug.Print Err.Description & n & "
            "Application.Documents.Count\" --exit-after 2000");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("script page \"_Application\" debug: \"kept Report.docx\""));
        EXPECT_TRUE(run.Has("script editor owned by the host window; debug: \"Command failed22\""));
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
    {
        const HostRun run = RunHost("--app excel --click Quillspar_Workbook --page Script --page-script "
                                    "\"Debug.Print xlWorkbookNormal & Workbook.Name\" --page-run --exit-after 1500");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("script page \"_Workbook\" debug: \"-4143Budget.xlsx\""));
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
}

// A document closed through the object model (Close on its browser window's Functions page) or from its
// window's close box takes its window with it, and with that the add-in's window opened on it; a Cancel
// from DocumentBeforeClose, or a window that refuses to close, keeps the document's window.
TEST(StandinHostDocuments, ClosingADocumentClosesItsWindowUnlessCancelledOrRefused) {
    const struct {
        const char* args;
        bool closes;
        const char* line; // logged on the way, when not null
    } cases[] = {
        {"--click Quillspar_Document --call Close", true, nullptr},
        {"--click Quillspar_Document --close-document", true, "close-document \"Report.docx\""},
        {"--click Quillspar_Application --page Script --page-script "
         "\"Sub Application_DocumentBeforeClose(Doc, Cancel)\\nCancel = True\\nEnd Sub\" "
         "--click Quillspar_Document --call Close",
         false, nullptr},
        {"--refuse-close --click Quillspar_Document --close-document", false, "close refused: \"Report.docx\""},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(std::string("--app word --exit-after 1000 ") + c.args);
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u) << c.args;
        EXPECT_EQ(run.Has("document window closed \"Report.docx\""), c.closes) << c.args;
        // The browser window on the document goes with its window, and stays when the close is
        // cancelled or refused (the user's Cancel to "save changes?" loses no window of ours).
        EXPECT_EQ(run.Starting("window \"_Document\"").empty(), c.closes) << c.args;
        if (c.line) {
            EXPECT_TRUE(run.Has(c.line)) << c.args;
        }
        EXPECT_TRUE(run.Has("Application references after shutdown: 1")) << c.args;
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

// In Excel, a runaway loop in the Script Editor stops at Ctrl+Break with the stop reported like any
// error, and the host goes on (it exits normally afterwards); a failing Workbook_SheetChange under a
// storm of changes shows one box and logs the other failures as lines of the event log.
TEST(StandinHostScripts, ARunawayScriptStopsAtCtrlBreakAndAStormOfFailuresShowsOneBox) {
    {
        const HostRun run = RunHost("--app excel --click Quillspar_ScriptEditor --script \"Do: Debug.Print 1: Loop\" "
                                    "--ctrl-break-after 1000 --exit-after 3000");
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.Starting("dialog \"Script Error\": Error executing script: E_ABORT").size(), 1u);
        EXPECT_EQ(run.Starting("Script stopped").size(), 1u);
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
    {
        const HostRun run = RunHost(
            "--app excel --click Quillspar_Workbook --page Script --page-script "
            "\"Sub Workbook_SheetChange(Sh, Target)\\nx = 1 / 0\\nEnd Sub\" --storm ActiveWorkbook.SheetChange:30 "
            "--event-log --exit-after 3000");
        SCOPED_TRACE(run.Text());
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.Has("storm ActiveWorkbook.SheetChange: 30 fired, 0 failed"));
        EXPECT_EQ(run.Starting("dialog \"Script Error\"").size(), 1u);
        EXPECT_EQ(run.Starting("event log \"_Workbook\": SheetChange (").size(), 30u);
        EXPECT_EQ(run.Starting("event log \"_Workbook\": (Workbook_SheetChange failed: ").size(), 29u);
        EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
    }
}

// In Excel, typing "Application.ActiveSheet." in the Script Editor lists the worksheet's members,
// although ActiveSheet is declared as a plain object: the sheet is read on the running Application.
TEST(StandinHostScripts, TypingADotListsTheMembersOfTheLiveObject) {
    const HostRun run =
        RunHost("--app excel --click Quillspar_ScriptEditor --type Application.ActiveSheet. --exit-after 2000");
    SCOPED_TRACE(run.Text());
    EXPECT_EQ(run.exitCode, 0u);
    const auto lists = run.Starting("completion list: ");
    ASSERT_EQ(lists.size(), 1u);
    for (const char* name : {" UsedRange", " Cells", " Activate"}) EXPECT_NE(lists[0].find(name), std::string::npos) << name;
    EXPECT_TRUE(run.Has("Application references after shutdown: 1"));
}

} // namespace
