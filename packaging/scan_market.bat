@echo off
rem 周期带止损线：扫描全市场。双击本文件即可运行。
rem 它先找通达信终端的文件夹：本文件所在的文件夹或其上级文件夹中有 vipdoc 的那一个（把解压出的文件夹放进终端的文件夹时就是这样）；
rem 找不到时问一次，并把回答记在本文件旁的“终端文件夹.txt”中，下次直接使用（要改，删掉或改写这个文件即可）。
rem 然后用 tarvok-run.exe 扫描，把表格（.csv）和网页（.html）写进本文件旁的“扫描结果”文件夹，文件名为扫描的日期和时间，
rem 最后用默认浏览器打开网页。
rem 本文件为 GBK 编码、CR LF 换行，中文 Windows 的命令提示符直接能读；修改后请仍以 ANSI（GBK）编码保存。
rem 环境变量 TARVOK_OPEN_WITH 有值时，用它所指的程序代替默认浏览器打开网页（供测试使用）。
rem 写法：一行只写一条语句，不用 & 和 ||（Wine 的 cmd 不能正确处理 for 和 if 之后用 & 连起的语句，call 之后的 || 也不行）；
rem 变量的截取和替换（如取最后一个字符）只在括号之外用百分号展开（Wine 的 cmd 在感叹号展开中不支持它们）；
rem 路径在括号之内只用感叹号展开，这样路径中的括号（如 Program Files (x86)）不会打断语句。
setlocal EnableExtensions EnableDelayedExpansion

rem 要用别的设置扫描，把选项写在下一行的等号后面，例如 set "OPTIONS=--period 20 --multiplier 2.5"，
rem 然后用记事本“另存为”，编码选 ANSI 保存。选项见使用说明中的“在命令提示符（cmd）中运行”。
set "OPTIONS="

set "HERE=%~dp0"
set "HERE=%HERE:~0,-1%"
set "TOOL=%HERE%\tarvok-run.exe"
set "REMEMBERED=%HERE%\终端文件夹.txt"
set "RESULTS=%HERE%\扫描结果"
set "STATUS=0"

echo 周期带止损线：扫描全市场
echo.
if exist "%TOOL%" goto find_terminal
echo 找不到 tarvok-run.exe。请先把压缩包全部解压，再双击解压出的文件夹中的本文件：
echo 本文件必须与 tarvok-run.exe 放在同一个文件夹中。
set "STATUS=2"
goto done

rem 本文件所在的文件夹，以及它的每一级上级文件夹，看其中有没有 vipdoc。
:find_terminal
set "FOLDER=%HERE%"
:search_up
set "TDX=%FOLDER%"
if exist "%FOLDER%\vipdoc\" goto scan
set "PARENT=%FOLDER%"
for %%P in ("%FOLDER%\..") do set "PARENT=%%~fP"
if "%PARENT:~-1%"=="\" set "PARENT=%PARENT:~0,-1%"
if /i "%PARENT%"=="%FOLDER%" goto remembered
set "FOLDER=%PARENT%"
goto search_up

rem 上次记下的终端文件夹：“终端文件夹.txt”的第一行。
:remembered
set "TDX="
if not exist "%REMEMBERED%" goto ask
rem 用 set /p 读第一行：Wine 的 cmd 中 for /f 不按 GBK 读文件。
set /p TDX=<"%REMEMBERED%"
call :check_folder
if not errorlevel 1 goto scan
echo 上次记下的终端文件夹（记在“终端文件夹.txt”中）里没有 vipdoc 文件夹：
echo   !TDX!
echo.

:ask
echo 在本文件所在的文件夹及其上级文件夹中，没有找到通达信终端的 vipdoc 文件夹。
echo 请输入终端所在的文件夹，然后按回车。终端的文件夹可以这样找到：
echo 在终端的桌面图标上单击右键，选“打开文件所在的位置”，打开的就是它，例如 C:\new_tdx 或 D:\通达信。
echo 也可以把这个文件夹从资源管理器拖进本窗口，再按回车。
echo.
set "TDX="
set /p "TDX=终端文件夹："
echo.
if defined TDX goto check_answer
echo 没有输入文件夹，扫描没有进行。
set "STATUS=2"
goto done
:check_answer
call :check_folder
if not errorlevel 1 goto remember
echo 这个文件夹中没有 vipdoc 文件夹，不是通达信终端的文件夹：
echo   !TDX!
echo 请确认后重新运行本文件。
set "STATUS=2"
goto done
:remember
>"%REMEMBERED%" echo !TDX!
if errorlevel 1 goto scan
echo 已把终端文件夹记在“终端文件夹.txt”中，下次不再询问。
echo.

:scan
call :stamp
if not exist "%RESULTS%\" mkdir "%RESULTS%"
if exist "%RESULTS%\" goto run
echo 无法新建“扫描结果”文件夹：
echo   !RESULTS!
echo 请把解压出的文件夹放到可以写入的地方（例如桌面或 D 盘），再运行本文件。
set "STATUS=1"
goto done

:run
set "PAGE=%RESULTS%\%STAMP%.html"
set "TABLE=%RESULTS%\%STAMP%.csv"
rem 终端文件夹是盘符的根（如 D:\）时，"D:" 会被当作 D 盘的当前文件夹，所以写成 "D:\."。
set "SCAN_DIR=%TDX%"
if "%TDX:~2%"=="" set "SCAN_DIR=%TDX%\."
echo 终端文件夹：!TDX!
echo 正在扫描全市场的日线文件，请稍候……
echo.
"%TOOL%" --scan "%SCAN_DIR%" %OPTIONS% --html "%PAGE%" >"%TABLE%"
set "STATUS=%errorlevel%"
echo.
if "%STATUS%"=="0" goto finished
if exist "%TABLE%" del "%TABLE%" >nul 2>&1
if exist "%PAGE%" del "%PAGE%" >nul 2>&1
echo 扫描没有完成：tarvok-run 的退出状态为 %STATUS%，原因见上面的提示。
if "%STATUS%"=="2" echo 状态 2 通常表示终端文件夹中没有日线文件（.day）：请先在终端中下载盘后数据（日线）。
if "%STATUS%"=="1" echo 状态 1 表示结果无法写出：磁盘已满，或“扫描结果”文件夹不能写入。
goto done

:finished
echo 扫描完成，结果在“扫描结果”文件夹中：
echo   表格：!TABLE!
echo   网页：!PAGE!
if defined TARVOK_OPEN_WITH goto open_with
echo 正在用默认浏览器打开网页……
start "" "%PAGE%"
goto done
:open_with
call "%TARVOK_OPEN_WITH%" "%PAGE%"
goto done

rem TDX 是终端的文件夹（其中有 vipdoc）时返回 0，否则返回 1。
rem 先去掉拖入时带的引号、末尾的空格和 \；给的是 vipdoc 文件夹本身时，改用它的上级文件夹。
:check_folder
if not defined TDX exit /b 1
set "TDX=%TDX:"=%"
:trim_end
if not defined TDX exit /b 1
if not "%TDX:~-1%"==" " goto trim_backslash
set "TDX=%TDX:~0,-1%"
goto trim_end
:trim_backslash
if not "%TDX:~-1%"=="\" goto vipdoc_itself
set "TDX=%TDX:~0,-1%"
goto trim_end
:vipdoc_itself
for %%F in ("%TDX%") do if /i "%%~nxF"=="vipdoc" set "TDX=%%~dpF"
if "%TDX:~-1%"=="\" set "TDX=%TDX:~0,-1%"
if exist "%TDX%\vipdoc\" exit /b 0
exit /b 1

rem STAMP：扫描的日期和时间，例如 2026-12-08_153005。系统日期的格式随系统设置而不同（2026/12/08 周二、2026-12-08、12/08/2026 等），
rem 所以取其中的数：第一个数是四位时按年、月、日，第三个数是四位时按月、日、年；都不是时把全部数字连在一起。
:stamp
set "N1="
set "N2="
set "N3="
set "ALL="
for /f "tokens=1-4 delims=/-.,年月日 " %%a in ("%date%") do (
  for %%x in (%%a %%b %%c %%d) do call :add_number %%x
)
set "STAMP=%ALL%"
if not defined N3 goto stamp_clock
if "%N1:~4%"=="" if not "%N1:~3%"=="" goto stamp_ymd
if "%N3:~4%"=="" if not "%N3:~3%"=="" goto stamp_mdy
goto stamp_clock
:stamp_ymd
set "YEAR=%N1%"
set "MONTH=0%N2%"
set "DAY=0%N3%"
goto stamp_date
:stamp_mdy
set "YEAR=%N3%"
set "MONTH=0%N1%"
set "DAY=0%N2%"
:stamp_date
set "STAMP=%YEAR%-%MONTH:~-2%-%DAY:~-2%"
:stamp_clock
if not defined STAMP set "STAMP=扫描"
set "T1="
set "T2="
set "T3="
for /f "tokens=1-3 delims=:., " %%a in ("%time%") do (
  set "T1=0%%a"
  set "T2=%%b"
  set "T3=%%c"
)
if not defined T1 exit /b 0
set "CLOCK=%T1:~-2%%T2%"
call :is_number "%T3%"
if not errorlevel 1 set "CLOCK=%CLOCK%%T3%"
call :is_number "%CLOCK%"
if not errorlevel 1 set "STAMP=%STAMP%_%CLOCK%"
exit /b 0

:add_number
call :is_number "%~1"
if errorlevel 1 exit /b 0
set "ALL=%ALL%%~1"
if not defined N1 (
  set "N1=%~1"
) else if not defined N2 (
  set "N2=%~1"
) else if not defined N3 (
  set "N3=%~1"
)
exit /b 0

rem 参数非空且全由数字组成时返回 0。
:is_number
if "%~1"=="" exit /b 1
for /f "delims=0123456789" %%x in ("%~1") do exit /b 1
exit /b 0

:done
echo.
pause
exit /b %STATUS%
