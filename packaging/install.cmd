@echo off
rem Registers Quillspar for the current user (no administrator needed), for the bitness of the
rem installed Office. Run it from the unpacked package folder. Usage: install.cmd [/x64 ^| /x86]
setlocal EnableExtensions
set "BITS="
if /i "%~1"=="/x64" set "BITS=x64"
if /i "%~1"=="/x86" set "BITS=x86"
if not "%~1"=="" if not defined BITS (
    echo Unknown argument "%~1". Usage: install.cmd [/x64 ^| /x86]
    exit /b 2
)
if defined BITS (
    echo Installing the %BITS% add-in, as asked.
    goto :register
)

rem Click-to-Run Office names its platform; an MSI Office names the bitness of its Outlook.
for %%v in (64 32) do if not defined BITS call :query "HKLM\SOFTWARE\Microsoft\Office\ClickToRun\Configuration" Platform %%v
for %%o in (16.0 15.0 14.0) do for %%v in (64 32) do if not defined BITS call :query "HKLM\SOFTWARE\Microsoft\Office\%%o\Outlook" Bitness %%v
if not defined BITS (
    echo No installation of Office was found on this computer: nothing was registered.
    echo If Office is installed, name its bitness: install.cmd /x64 or install.cmd /x86
    exit /b 1
)
echo Found %BITS% Office: installing the %BITS% add-in.

:register
set "DLL=%~dp0%BITS%\quillspar.dll"
if not exist "%DLL%" (
    echo The add-in "%DLL%" is missing: unpack the whole package and run install.cmd from its folder.
    exit /b 1
)
rem A DLL is registered by the regsvr32 of its own bitness; from a 32-bit prompt the 64-bit one is
rem reached through Sysnative.
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if "%BITS%"=="x64" if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
if "%BITS%"=="x86" if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
"%REGSVR%" /s /n /i:user "%DLL%"
if errorlevel 1 (
    echo Installation FAILED: regsvr32 could not register "%DLL%" ^(exit code %errorlevel%^).
    exit /b 1
)
echo Quillspar is installed for %USERNAME%. Restart Office to see its Quillspar tab.
exit /b 0

rem :query key value view - sets BITS to the value (x86 or x64) when the key holds it in that registry view.
:query
for /f "tokens=1,2,*" %%a in ('reg query "%~1" /v %2 /reg:%3 2^>nul') do (
    if /i "%%a"=="%2" if /i "%%c"=="x64" set "BITS=x64"
    if /i "%%a"=="%2" if /i "%%c"=="x86" set "BITS=x86"
)
exit /b 0
