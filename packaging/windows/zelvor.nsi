; The Windows installer: zelvor-setup-<version>.exe (scripts/windows package).
;   makensis -DVERSION=x.y.z -DDIST=<folder laid out by scripts/windows build>
;            -DOUTFILE=<installer> zelvor.nsi
;
; Installs the programs into Program Files, keeps config.ini and the state
; (exports in log\, the run records, the run lock, the run log) in
; %ProgramData%\Zelvor, which only administrators and the local group "Zelvor
; Operators" may change, and registers the scheduled run. Silent: /S;
; /OPERATOR=NAME[,NAME...] adds accounts to the group (the installing one is
; always added) and runs the task as the first. The uninstaller keeps
; config.ini, the exports and the run records unless asked with /PURGE (or Yes
; when it asks); the group stays, with its members.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include FileFunc.nsh
!include LogicLib.nsh
!include WordFunc.nsh
!include x64.nsh

!define TASK "Zelvor scheduled run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelvor"
; The local group of the accounts that run the program and change its settings.
!define OPERATORS "Zelvor Operators"

; Signed (scripts/windows package --sign): the installer once written, and the
; uninstaller before it is packed into the installer.
!ifdef SIGN
!finalize '"${SIGN}" "%1"'
!uninstfinalize '"${SIGN}" "%1"'
!endif

Name "Zelvor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Zelvor"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var DataDir
Var Helper
; /OPERATOR=NAME[,NAME...]: accounts that run the program besides the one
; installing; the first is the scheduled task's account.
Var Operators
Var TaskAccount

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "Zelvor needs 64-bit Windows."
        Abort
    ${EndIf}
    SetRegView 64
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/OPERATOR=" $Operators
    ${If} ${Errors}
        StrCpy $Operators ""
    ${EndIf}
FunctionEnd

; Runs a step of zelvor-install-helper ($Helper); its lines go to the details.
; A refusal stops the installer (or uninstaller) with the helper's status (3
; refused, 4 not done) and its message; the step's output is left in $1.
!macro Helper un
Function ${un}Helper
    Exch $R9
    nsExec::ExecToStack '"$Helper" $R9'
    Pop $0
    Pop $1
    Pop $R9
    DetailPrint $1
    ${If} $0 == "error"
        StrCpy $0 4
        StrCpy $1 "$Helper could not be started."
    ${EndIf}
    ${If} $0 != 0
        SetErrorLevel $0
        ${IfNot} ${Silent}
            MessageBox MB_OK|MB_ICONSTOP $1
        ${EndIf}
        Abort $1
    ${EndIf}
FunctionEnd
!macroend
!insertmacro Helper ""
!insertmacro Helper "un."
!define Helper `!insertmacro CallHelper ""`
!define un.Helper `!insertmacro CallHelper "un."`
!macro CallHelper un arguments
    Push `${arguments}`
    Call ${un}Helper
!macroend

!macro SetDataDir
    SetShellVarContext all
    StrCpy $DataDir "$APPDATA\Zelvor"
!macroend

; Writes the scheduled task's definition (UTF-16 with its byte-order mark, as
; the Task Scheduler reads it) beside the programs, where it stays for an
; administrator who registers it again by hand, and registers it. The task runs zelvor.exe 1
; every 30 minutes from 06:00 to 22:00, every day, and once when a
; run was missed (the machine was off), as the systemd timer does. It runs as
; one named account ($TaskAccount: the first /OPERATOR=, else the installing
; one), whether or not anyone is logged on, without elevation and without a
; stored password (S4U): DevStatus goes to the HKEY_CURRENT_USER of the clerk
; whose suite reads it; such a logon has no network credentials, so the
; database is reached with its own login, not Windows authentication. At most
; one runs at a time; its working folder is the data folder.
!macro Line text
    FileWriteUTF16LE $0 `${text}$\r$\n`
!macroend
; $R0: the text given in $R0 with XML's special characters escaped (a folder
; may be named "R&D").
Function XmlEscape
    ${WordReplace} $R0 "&" "&amp;" "+" $R0
    ${WordReplace} $R0 "<" "&lt;" "+" $R0
    ${WordReplace} $R0 ">" "&gt;" "+" $R0
FunctionEnd

Function RegisterTask
    StrCpy $R0 "$INSTDIR"
    Call XmlEscape
    StrCpy $R1 $R0
    StrCpy $R0 "$DataDir"
    Call XmlEscape
    StrCpy $R2 $R0
    StrCpy $R0 "$TaskAccount"
    Call XmlEscape
    StrCpy $R3 $R0
    FileOpen $0 "$INSTDIR\zelvor-task.xml" w
    FileWriteWord $0 0xFEFF
    !insertmacro Line '<?xml version="1.0" encoding="UTF-16"?>'
    !insertmacro Line '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    !insertmacro Line '  <RegistrationInfo><Description>Zelvor: moves the punches of every terminal in config.ini into the HR database</Description></RegistrationInfo>'
    !insertmacro Line '  <Triggers><CalendarTrigger>'
    !insertmacro Line '    <StartBoundary>2024-01-01T06:00:00</StartBoundary>'
    !insertmacro Line '    <Repetition><Interval>PT30M</Interval><Duration>PT16H1M</Duration><StopAtDurationEnd>false</StopAtDurationEnd></Repetition>'
    !insertmacro Line '    <RandomDelay>PT1M</RandomDelay>'
    !insertmacro Line '    <ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay>'
    !insertmacro Line '  </CalendarTrigger></Triggers>'
    !insertmacro Line '  <Principals><Principal id="Clerk"><UserId>$R3</UserId><LogonType>S4U</LogonType><RunLevel>LeastPrivilege</RunLevel></Principal></Principals>'
    !insertmacro Line '  <Settings>'
    !insertmacro Line '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
    !insertmacro Line '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    !insertmacro Line '    <StartWhenAvailable>true</StartWhenAvailable>'
    !insertmacro Line '    <ExecutionTimeLimit>PT2H</ExecutionTimeLimit>'
    !insertmacro Line '  </Settings>'
    !insertmacro Line '  <Actions Context="Clerk"><Exec><Command>"$R1\zelvor.exe"</Command><Arguments>1</Arguments><WorkingDirectory>$R2</WorkingDirectory></Exec></Actions>'
    !insertmacro Line '</Task>'
    FileClose $0
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /F /TN "${TASK}" /XML "$INSTDIR\zelvor-task.xml"'
    Pop $0
    ; "error" when schtasks could not be started at all.
    ${If} $0 != "0"
        DetailPrint "The scheduled task could not be registered (status $0)."
        SetErrorLevel 3
    ${EndIf}
FunctionEnd

; Before files are replaced or removed: the scheduled task's running instance is ended
; (the run it started stops where a stopped run stops: nothing posted twice,
; the next run goes on from the last success), and a run still holding the run
; lock (one typed in a console) is waited for, up to 10 minutes.
!macro EndRunningRun un
Function ${un}EndRunningRun
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /End /TN "${TASK}"'
    Pop $0
    StrCpy $1 0
    ${DoWhile} ${FileExists} "$DataDir\.zelvor-run.lock"
        ClearErrors
        Delete "$DataDir\.zelvor-run.lock"
        ${IfNot} ${Errors}
            ${ExitDo}
        ${EndIf}
        ${If} $1 == 0
            DetailPrint "Waiting for the running zelvor to end (it holds $DataDir\.zelvor-run.lock)."
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 > 600
            DetailPrint "A zelvor run still holds $DataDir\.zelvor-run.lock after 10 minutes."
            SetErrorLevel 4
            Abort "A zelvor run is still running; end it and try again."
        ${EndIf}
        Sleep 1000
    ${Loop}
FunctionEnd
!macroend
!insertmacro EndRunningRun ""
!insertmacro EndRunningRun "un."

Section "Zelvor"
    !insertmacro SetDataDir
    InitPluginsDir
    ; Checked before anything changes: the accounts named exist, no junction
    ; or symbolic link could send the steps below elsewhere, and nobody but
    ; administrators owns an existing data folder.
    StrCpy $Helper "$PLUGINSDIR\zelvor-install-helper.exe"
    File "/oname=$Helper" "${DIST}\zelvor-install-helper.exe"
    ${Helper} `accounts "$Operators"`
    ; The account's name, without the line's end.
    StrCpy $TaskAccount $1
    ${Do}
        StrCpy $0 $TaskAccount 1 -1
        ${If} $0 != "$\r"
        ${AndIf} $0 != "$\n"
            ${ExitDo}
        ${EndIf}
        StrCpy $TaskAccount $TaskAccount -1
    ${Loop}
    ${Helper} `check-paths "$DataDir" "$INSTDIR"`
    Call EndRunningRun
    ; A program folder outside Program Files gets Program Files' rights before
    ; anything is put in it: users read and run, only administrators change.
    CreateDirectory "$INSTDIR"
    StrLen $0 "$PROGRAMFILES64\"
    StrCpy $1 "$INSTDIR\" $0
    ${If} $1 != "$PROGRAMFILES64\"
        ${Helper} `secure-programs "$INSTDIR"`
    ${EndIf}
    SetOutPath "$INSTDIR"
    File /r "${DIST}\*.*"
    ; config.ini and the state live in the data folder, which only
    ; administrators and the operators' group may change; the programs' folder
    ; stays for administrators only.
    FileOpen $0 "$INSTDIR\zelvor-data-folder" w
    FileClose $0
    CreateDirectory "$DataDir\log"
    ; A config.ini found beside the programs (a site's copy, or a folder that
    ; ran as it was) moves into the data folder, unless that has one.
    ${If} ${FileExists} "$INSTDIR\config.ini"
    ${AndIfNot} ${FileExists} "$DataDir\config.ini"
        Rename "$INSTDIR\config.ini" "$DataDir\config.ini"
        DetailPrint "Moved config.ini into $DataDir."
    ${EndIf}
    ; A new installation starts with an empty device list (the byte-order mark alone).
    ${IfNot} ${FileExists} "$DataDir\config.ini"
        FileOpen $0 "$DataDir\config.ini" w
        FileWriteWord $0 0xFEFF
        FileClose $0
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\config.ini"
        DetailPrint "config.ini is both in $INSTDIR and in $DataDir: the one in $INSTDIR is used, and only administrators may change it there. Move it into $DataDir (replacing the one there) so operators can save."
    ${EndIf}
    ${Helper} `operators "${OPERATORS}" "$Operators"`
    ${Helper} `secure-data "$DataDir" "${OPERATORS}"`
    Call RegisterTask

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zelvor"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Var Purge

Function un.onInit
    SetRegView 64
    StrCpy $Purge 0
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PURGE" $1
    ${IfNot} ${Errors}
        StrCpy $Purge 1
    ${ElseIfNot} ${Silent}
        MessageBox MB_YESNO|MB_DEFBUTTON2 "Remove the settings (config.ini) and the exported files too?" IDNO +2
        StrCpy $Purge 1
    ${EndIf}
FunctionEnd

Section "Uninstall"
    !insertmacro SetDataDir
    ; Nothing is removed through a junction or symbolic link.
    StrCpy $Helper "$INSTDIR\zelvor-install-helper.exe"
    ${un.Helper} `check-links "$DataDir" "$INSTDIR"`
    Call un.EndRunningRun
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /F /TN "${TASK}"'
    Pop $0
    ; The files the installer put here, and nothing else.
    Delete "$INSTDIR\zelvor.exe"
    Delete "$INSTDIR\zelvor.com"
    Delete "$INSTDIR\zelvor-settings.exe"
    Delete "$INSTDIR\zelvor-install-helper.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\qt.conf"
    Delete "$INSTDIR\zelvor-data-folder"
    Delete "$INSTDIR\zelvor-task.xml"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\sqldrivers"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\translations"
    RMDir /r "$INSTDIR\docs"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$DataDir\.zelvor-run.lock"
    ${If} $Purge == 1
        Delete "$DataDir\config.ini"
        RMDir /r "$DataDir\log"
        RMDir /r "$DataDir\run-state"
        Delete "$DataDir\zelvor-run.log"
        Delete "$DataDir\zelvor-run.log.1"
    ${EndIf}
    ; Empty folders go; a kept config.ini or export keeps its folder.
    RMDir "$DataDir\log"
    RMDir "$DataDir"
SectionEnd
