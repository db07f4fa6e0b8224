@echo off
rem Installs QNMuroWPS: registers the 32-bit server (the form the word processor loads) and,
rem on a 64-bit Windows, the 64-bit one; writes the add-in keys that make the word processor
rem load it at start-up (for the current user); makes the work directory C:\OAWork.
rem   install.cmd              install
rem   install.cmd /uninstall   remove the add-in keys and both registrations
setlocal
set here=%~dp0
if /i "%~1"=="/uninstall" goto uninstall
if not exist C:\OAWork mkdir C:\OAWork
regsvr32 /s "%here%x86\QNMuroWPS.dll"
if errorlevel 1 goto failed
regsvr32 /s /n /i "%here%x86\QNMuroWPS.dll"
if errorlevel 1 goto failed
if not defined ProgramFiles(x86) goto installed
regsvr32 /s "%here%x64\QNMuroWPS.dll"
if errorlevel 1 goto failed
:installed
echo QNMuroWPS installed.
exit /b 0
:uninstall
regsvr32 /s /n /u /i "%here%x86\QNMuroWPS.dll"
regsvr32 /s /u "%here%x86\QNMuroWPS.dll"
if defined ProgramFiles(x86) regsvr32 /s /u "%here%x64\QNMuroWPS.dll"
echo QNMuroWPS removed.
exit /b 0
:failed
echo QNMuroWPS could not be registered (run as administrator).
exit /b 1
