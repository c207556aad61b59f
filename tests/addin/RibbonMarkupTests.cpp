// The ribbon markup of the nine hosts, compared with the whole expected text of each: CR LF line
// breaks, two spaces per level, attributes in their order, the character references as written.
#include "AddinHosts.h"

#include <gtest/gtest.h>

using namespace qs;
using namespace qs::test;

namespace {

// The lines joined with CR LF, no break after the last.
std::wstring Lines(std::initializer_list<const wchar_t*> lines) {
    std::wstring text;
    for (const wchar_t* line : lines) {
        if (!text.empty()) text += L"\r\n";
        text += line;
    }
    return text;
}

const std::wstring kWordMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Word Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the Word Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_ApplicationOptions" label="Options" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.Options" supertip="Displays the value of the Application.Options object" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow" supertip="Displays the value of the Application.ActiveWindow object" />)xml",
    LR"xml(          <button id="Quillspar_Document" label="Document" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveDocument" supertip="Displays the value of the Application.ActiveDocument object" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="Selection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.Selection" supertip="Displays the value of the Application.Selection object" />)xml",
    LR"xml(          <button id="Quillspar_Style" label="Style" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.Selection.Style" supertip="Displays the value of the Application.Selection.Style object" />)xml",
    LR"xml(          <button id="Quillspar_Range" label="Range" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.Selection.Range" supertip="Displays the value of the Application.Selection.Range object" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kExcelMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Excel Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the Excel Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow" supertip="Displays the value of the Application.ActiveWindow object" />)xml",
    LR"xml(          <button id="Quillspar_Workbook" label="Workbook" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWorkbook" supertip="Displays the value of the Application.ActiveWorkbook object" />)xml",
    LR"xml(          <button id="Quillspar_Worksheet" label="Worksheet" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveSheet" supertip="Displays the value of the Application.ActiveSheet object" />)xml",
    LR"xml(          <button id="Quillspar_Chart" label="Chart" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveChart" supertip="Displays the value of the Application.ActiveChart object" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="Selection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.Selection" supertip="Displays the value of the Application.Selection object" />)xml",
    LR"xml(          <button id="Quillspar_Cell" label="Cell" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveCell" supertip="Displays the value of the Application.ActiveCell object" />)xml",
    LR"xml(          <button id="Quillspar_Style" label="Style" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveCell.Style" supertip="Displays the value of the Application.ActiveCell.Style object" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kPowerPointMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="PowerPoint Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the PowerPoint Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Document Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow" supertip="Displays the value of the Application.ActiveWindow object" />)xml",
    LR"xml(          <button id="Quillspar_Presentation" label="Presentation" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow.Presentation" supertip="Displays the value of the Application.ActivePresentation object" />)xml",
    LR"xml(          <button id="Quillspar_View" label="View" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow.View" supertip="Displays the value of the Application.ActiveWindow.View object" />)xml",
    LR"xml(          <button id="Quillspar_Slide" label="Slide" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow.View.Slide" supertip="Displays the value of the Application.ActiveWindow.View.Slide object" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="Selection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application.ActiveWindow.Selection" supertip="Displays the value of the Application.ActiveWindow.Selection object" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kOneNoteMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="OneNote Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the OneNote Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Window" supertip="Active Window object from the Application.Windows collection" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kPublisherMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Publisher Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the Publisher Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Window" supertip="Active Window object returned from the Application.ActiveWindows property" />)xml",
    LR"xml(          <button id="Quillspar_Document" label="Document" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Document" supertip="Active Document object returned from the Application.ActiveDocument property" />)xml",
    LR"xml(          <button id="Quillspar_View" label="View" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="View" supertip="Active View object returned from the Application.ActiveDocument.ActiveView property" />)xml",
    LR"xml(          <button id="Quillspar_Page" label="Page" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Page" supertip="Active Page object returned from the Application.ActiveDocument.ActiveView.ActivePage property" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="Selection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Selection" supertip="Selection object returned from the Application.Selection property" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kAccessMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Access Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the Access Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_CurrentProject" label="CurrentProject" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="CurrentProject" supertip="CurrentProject object from the Application.CurrentProject property" />)xml",
    LR"xml(          <button id="Quillspar_DoCmd" label="DoCmd" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="DoCmd" supertip="DoCmd object from the Application.DoCmd property" />)xml",
    LR"xml(          <button id="Quillspar_Screen" label="Screen" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Screen" supertip="Screen object from the Application.Screen property" />)xml",
    LR"xml(          <button id="Quillspar_ActiveControl" label="ActiveControl" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="ActiveControl" supertip="Active control object from the Application.Screen.ActiveControl property" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="DataAccessObjectsGroup" label="Data Access Objects" visible="1">)xml",
    LR"xml(          <button id="Quillspar_DBEngine" label="DBEngine" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="DBEngine" supertip="DBEngine object from the Application.DBEngine property" />)xml",
    LR"xml(          <button id="Quillspar_Connection" label="Connection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Connection" supertip="Connection object from the Application.CurrentProject.Connection property" />)xml",
    LR"xml(          <button id="Quillspar_Workspace" label="Workspace" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Workspace" supertip="Workspace object from Application.DBEngine.Workspaces(0)" />)xml",
    LR"xml(          <button id="Quillspar_Database" label="Database" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Database" supertip="Database object from Application.DBEngine.Workspaces(0).Databases(0)" />)xml",
    LR"xml(          <button id="Quillspar_TableDefs" label="TableDefs" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="TableDefs" supertip="TableDefs object from Application.DBEngine.Workspaces(0).Databases(0).TableDefs" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kInfoPathMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="InfoPath Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="Application" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Application" supertip="Application - the root object of the InfoPath Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kVisioMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Visio Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="IVApplication" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVApplication" supertip="IVApplication - the root object of the Visio Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_ApplicationSettings" label="IVApplicationSettings" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVApplicationSettings" supertip="Displays the value of the Application.Settings property" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="IVWindow" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVWindow" supertip="Displays the value of the Application.ActiveWindow property" />)xml",
    LR"xml(          <button id="Quillspar_Page" label="IVPage" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVPage" supertip="Displays the value of the Application.ActivePage property" />)xml",
    LR"xml(          <button id="Quillspar_Document" label="IVDocument" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVDocument" supertip="Displays the value of the Application.ActiveDocument property" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="IVSelection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVSelection" supertip="Displays the value of the Application.ActiveWindow.Selection property" />)xml",
    LR"xml(          <button id="Quillspar_Shape" label="IVShape" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="IVShape" supertip="Displays the value of the Application.ActiveWindow.Selection.Item(1) property" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

const std::wstring kProjectMarkup = Lines({
    LR"xml(<customUI xmlns="http://schemas.microsoft.com/office/2006/01/customui" onLoad="OnLoadRibbon">)xml",
    LR"xml(  <ribbon startFromScratch="false">)xml",
    LR"xml(    <tabs>)xml",
    LR"xml(      <tab id="QuillsparTab" label="Quillspar" visible="1">)xml",
    LR"xml(        <group id="ScriptGroup" label="Script" visible="1">)xml",
    LR"xml(          <button id="Quillspar_ScriptEditor" label="Editor" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Script Editor" supertip="You can run VB or Java script from this window.&#13;&#10;&#13;&#10;Type or paste the script and click the 'Run' button." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ObjectModelGroup" label="Project Object Model" visible="1">)xml",
    LR"xml(          <button id="Quillspar_Application" label="MSProject" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="MSProject" supertip="MSProject - the root object of the Project Object Model.&#13;&#10;&#13;&#10;" />)xml",
    LR"xml(          <button id="Quillspar_Window" label="Window" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Window" supertip="Displays the value of the MSProject.ActiveWindow property" />)xml",
    LR"xml(          <button id="Quillspar_Project" label="Project" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Project" supertip="Displays the value of the MSProject.ActiveProject property" />)xml",
    LR"xml(          <button id="Quillspar_Selection" label="Selection" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Selection" supertip="Displays the value of the MSProject.ActiveSelection property" />)xml",
    LR"xml(          <button id="Quillspar_Cell" label="Cell" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Cell" supertip="Displays the value of the MSProject.ActiveCell property" />)xml",
    LR"xml(          <button id="Quillspar_Task" label="Task" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="Task" supertip="Displays the value of the MSProject.ActiveCell.Task property" />)xml",
    LR"xml(        </group>)xml",
    LR"xml(        <group id="ToolsGroup" label="Tools" visible="1">)xml",
    LR"xml(          <button id="Quillspar_About" label="About" size="large" onAction="OnButtonClick" getImage="OnGetButtonImage" screentip="About Quillspar" supertip="Shows the version of Quillspar and what it does." />)xml",
    LR"xml(        </group>)xml",
    LR"xml(      </tab>)xml",
    LR"xml(    </tabs>)xml",
    LR"xml(  </ribbon>)xml",
    LR"xml(</customUI>)xml",
});

struct MarkupCase {
    const char* host;
    const std::wstring* expected;
};

const MarkupCase kMarkupCases[] = {
    {"Word", &kWordMarkup},         {"Excel", &kExcelMarkup},         {"PowerPoint", &kPowerPointMarkup},
    {"OneNote", &kOneNoteMarkup},   {"Publisher", &kPublisherMarkup}, {"Access", &kAccessMarkup},
    {"InfoPath", &kInfoPathMarkup}, {"Visio", &kVisioMarkup},         {"Project", &kProjectMarkup},
};

} // namespace

TEST(RibbonMarkup, EveryHostReturnsItsWholeText) {
    for (const MarkupCase& c : kMarkupCases) {
        SCOPED_TRACE(c.host);
        THostGraph host = MakeHost(c.host);
        std::unique_ptr<TGenericAddin> addin = CreateHostAddin(c.host, host.Application());
        ASSERT_TRUE(addin);
        EXPECT_EQ(addin->GetCustomUI(L"Microsoft.Word.Document"), *c.expected);
        // One constant text whatever ribbon is asked for.
        EXPECT_EQ(addin->GetCustomUI(L""), *c.expected);
        EXPECT_EQ(addin->GetCustomUI(L"Some.Other.Ribbon"), *c.expected);
    }
}

TEST(RibbonMarkup, LineBreaksAreCrLfOnly) {
    for (const MarkupCase& c : kMarkupCases) {
        SCOPED_TRACE(c.host);
        THostGraph host = MakeHost(c.host);
        const std::wstring xml = CreateHostAddin(c.host, host.Application())->GetCustomUI(L"");
        for (size_t i = 0; i < xml.size(); ++i) {
            if (xml[i] == L'\n') {
                EXPECT_TRUE(i > 0 && xml[i - 1] == L'\r') << "bare LF at " << i;
            }
            if (xml[i] == L'\r') {
                EXPECT_TRUE(i + 1 < xml.size() && xml[i + 1] == L'\n') << "bare CR at " << i;
            }
            EXPECT_NE(xml[i], L'\t');
        }
    }
}

TEST(RibbonMarkup, TheBaseAddinHasNoRibbon) {
    TGenericAddin base(nullptr);
    EXPECT_EQ(base.GetCustomUI(L"Microsoft.Word.Document"), L"");
    auto control = TRibbonControlStub::Create(L"Quillspar_Application");
    EXPECT_EQ(base.OnGetButtonImage(control.Get()), nullptr);
    EXPECT_NO_THROW(base.OnButtonClick(control.Get()));
    EXPECT_EQ(base.GetActiveHwnd(), ::GetForegroundWindow());
}
