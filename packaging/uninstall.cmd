@echo off
rem Removes Kestra's registration from both registry views (the x86 DLL's alone on
rem 32-bit Windows), then runs kestra doctor, which should find no class registered.
rem Run it from an elevated command prompt, in the folder install.cmd ran from.
setlocal
set "here=%~dp0"
set failed=0

net session >nul 2>&1
if errorlevel 1 (
  echo uninstall.cmd needs an elevated command prompt ^(Run as administrator^).
  exit /b 1
)

set "system64=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "system64=%SystemRoot%\Sysnative"

if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 goto windows32

call :unregister "%system64%\regsvr32.exe" "%here%x64\Kestra.dll" 64-bit
call :unregister "%SystemRoot%\SysWOW64\regsvr32.exe" "%here%x86\Kestra.dll" 32-bit
set "tool=%here%x64\kestra.exe"
goto doctor

:windows32
call :unregister "%SystemRoot%\System32\regsvr32.exe" "%here%x86\Kestra.dll" 32-bit
set "tool=%here%x86\kestra.exe"

:doctor
echo.
echo kestra doctor:
"%tool%" doctor
if errorlevel 1 set failed=1
exit /b %failed%

rem :unregister REGSVR32 DLL BITS
:unregister
"%~1" /u /s "%~2"
if errorlevel 1 (
  echo FAILED: %~2 was not unregistered for %3 processes ^(regsvr32 exit code %errorlevel%^)
  set failed=1
) else (
  echo Unregistered %~2 for %3 processes
)
exit /b 0
