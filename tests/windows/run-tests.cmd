@echo off
rem Runs UpdateAccessKey's Windows tests from this folder, keeps each program's output and XML
rem results in results\, and ends with the line "N passed, N failed, N skipped".
setlocal EnableDelayedExpansion
cd /d "%~dp0"
if not exist results mkdir results
set /a passed=0, failed=0, skipped=0
for %%p in (StorageWin32Test Form1WindowTest) do (
  echo ==^> %%p
  %%p.exe --gtest_output=xml:results\%%p.xml >results\%%p.log 2>&1
  set status=!errorlevel!
  type results\%%p.log
  set failed_before=!failed!
  rem GoogleTest's totals: "[  PASSED  ] 12 tests.", "[  FAILED  ] 1 test, listed below:".
  for /f "usebackq tokens=1-5" %%a in ("results\%%p.log") do (
    set unit=%%e
    if "%%a"=="[" if "!unit:~0,4!"=="test" (
      if "%%b"=="PASSED" set /a passed+=%%d
      if "%%b"=="FAILED" set /a failed+=%%d
      if "%%b"=="SKIPPED" set /a skipped+=%%d
    )
  )
  rem A program that fails without saying how many tests failed, as when it crashes, is one failure.
  if !status! neq 0 if !failed! equ !failed_before! set /a failed+=1
)
echo %passed% passed, %failed% failed, %skipped% skipped
if %failed% gtr 0 exit /b 1
