@echo off
rem Runs UpdateAccessKey's Windows tests from this folder, keeps each program's output and XML
rem results in results\, and ends with the line "N passed, N failed, N skipped".
setlocal
cd /d "%~dp0"
if not exist results mkdir results
set /a passed=0, failed=0, skipped=0
call :run StorageWin32Test
call :run Form1WindowTest
echo %passed% passed, %failed% failed, %skipped% skipped
if %failed% gtr 0 exit /b 1
exit /b 0

:run
echo ==^> %1
%1.exe --gtest_output=xml:results\%1.xml >results\%1.log 2>&1
set status=%errorlevel%
type results\%1.log
set failed_before=%failed%
rem GoogleTest's totals: "[  PASSED  ] 12 tests.", "[  FAILED  ] 1 test, listed below:".
for /f "usebackq tokens=1-5 delims=,. " %%a in ("results\%1.log") do (
  if "%%a"=="[" if "%%e"=="test" call :count %%b %%d
  if "%%a"=="[" if "%%e"=="tests" call :count %%b %%d
)
rem A program that fails without saying how many tests failed, as when it crashes, is one failure.
if %status% neq 0 if %failed% equ %failed_before% set /a failed+=1
exit /b

:count
if "%1"=="PASSED" set /a passed+=%2
if "%1"=="FAILED" set /a failed+=%2
if "%1"=="SKIPPED" set /a skipped+=%2
exit /b
