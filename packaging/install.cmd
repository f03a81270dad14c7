@echo off
rem Registers Kestra for this machine's web application pools and script hosts: on
rem 64-bit Windows the x64 DLL in the 64-bit registry view and the x86 DLL in the 32-bit
rem view, on 32-bit Windows the x86 DLL alone; then runs kestra doctor. Run it from an
rem elevated command prompt, in the folder that stays the DLLs' home: the registration
rem records each DLL's full path.
setlocal
set "here=%~dp0"
set failed=0

net session >nul 2>&1
if errorlevel 1 (
  echo install.cmd needs an elevated command prompt ^(Run as administrator^).
  exit /b 1
)

rem A 32-bit prompt on 64-bit Windows sees SysWOW64 under the name System32; Sysnative
rem reaches the 64-bit one.
set "system64=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "system64=%SystemRoot%\Sysnative"

if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 goto windows32

call :register "%system64%\regsvr32.exe" "%here%x64\Kestra.dll" 64-bit
call :register "%SystemRoot%\SysWOW64\regsvr32.exe" "%here%x86\Kestra.dll" 32-bit
set "tool=%here%x64\kestra.exe"
goto doctor

:windows32
call :register "%SystemRoot%\System32\regsvr32.exe" "%here%x86\Kestra.dll" 32-bit
set "tool=%here%x86\kestra.exe"

:doctor
echo.
echo kestra doctor:
"%tool%" doctor
if errorlevel 1 set failed=1
exit /b %failed%

rem :register REGSVR32 DLL BITS
:register
"%~1" /s "%~2"
if errorlevel 1 (
  echo FAILED: %~2 was not registered for %3 processes ^(regsvr32 exit code %errorlevel%^)
  set failed=1
) else (
  echo Registered %~2 for %3 processes
)
exit /b 0
