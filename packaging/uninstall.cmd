@echo off
rem Removes Quillspar's registration for the current user: each of the package's two add-ins that is
rem registered is unregistered by the regsvr32 of its bitness. Run it from the unpacked package folder.
setlocal EnableExtensions
set "CLASS=HKCU\Software\Classes\CLSID\{7C0BD4A5-6014-4E6C-BA95-4BBD7D4F96C0}\InprocServer32"
set "FOUND="
set "FAILED="

set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
rem 32-bit Windows has no 64-bit view.
set "WIN64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 set "WIN64="
if defined WIN64 (
    reg query "%CLASS%" /reg:64 >nul 2>&1
    if not errorlevel 1 call :unregister x64
)

set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
reg query "%CLASS%" /reg:32 >nul 2>&1
if not errorlevel 1 call :unregister x86

if not defined FOUND (
    echo Quillspar is not installed for %USERNAME%: nothing to remove.
    exit /b 0
)
if defined FAILED (
    echo Uninstallation FAILED for the%FAILED% add-in.
    exit /b 1
)
echo Quillspar is uninstalled for %USERNAME%.
exit /b 0

rem :unregister bits - unregisters the package's add-in of that bitness.
:unregister
set "FOUND=1"
set "DLL=%~dp0%1\quillspar.dll"
if not exist "%DLL%" (
    echo The %1 add-in is registered but "%DLL%" is missing: run the uninstall.cmd of the package it came from.
    set "FAILED=%FAILED% %1"
    exit /b 0
)
"%REGSVR%" /s /u /n /i:user "%DLL%"
if errorlevel 1 (
    echo regsvr32 could not unregister "%DLL%".
    set "FAILED=%FAILED% %1"
) else (
    echo Removed the %1 add-in.
)
exit /b 0
