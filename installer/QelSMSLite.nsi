; The installer of the Qel SMS/MMS Gateway Lite Edition: puts the staged installation folder
; into the 32-bit Program Files folder, adds the Start menu shortcuts and the entry in
; Add/Remove Programs, and offers to run the Setup Wizard at the end. Built by CMake
; (installer/CMakeLists.txt):
;
;   makensis /DVERSION=2015.03.13 /DVERSION_NUMBERS=2015.3.13.0 /DSTAGE=<staged folder>
;            /DSOURCE=<source tree> /DOUTFILE=<QelSMSLiteSetup.exe> QelSMSLite.nsi
;
; It writes nothing but its files, the shortcuts and the uninstall entry; the gateway's
; services are installed by the program itself (the wizard, or "-INSTALLSERVICE").

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin   ; the services need administrator rights

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include StrFunc.nsh
${StrStr}

!define PRODUCT "Qel SMS/MMS Gateway Lite Edition"
!define PUBLISHER "Qel"
!define PROGRAM "QELCONF.EXE"
!define HELP "QelSMS Lite.pdf"
!define MENU_FOLDER "$SMPROGRAMS\QelSMS Lite"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelSMS Lite"
!define SC '"$SYSDIR\sc.exe"'

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\QelSMS"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${SOURCE}/resources/qel.ico"
!define MUI_UNICON "${SOURCE}/resources/qel.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!define MUI_FINISHPAGE_RUN_PARAMETERS "-WIZARD"
!define MUI_FINISHPAGE_RUN_TEXT "Run the Setup Wizard now"
!define MUI_FINISHPAGE_RUN_NOTCHECKED   ; only when the administrator asks for it
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The files of the staged installation folder, each named, so that the uninstaller removes
; exactly these and leaves what else lies in the folder (the gateway's service programs).
!macro ProductFiles action
    !insertmacro ${action} "${PROGRAM}"
    !insertmacro ${action} "GWCORE.DLL"
    !insertmacro ${action} "MMCORE.DLL"
    !insertmacro ${action} "TLSLINK.DLL"
    !insertmacro ${action} "${HELP}"
    !insertmacro ${action} "MMSTEST.MMS"
!macroend
!macro InstallFile name
    File "${STAGE}/${name}"
!macroend
!macro RemoveFile name
    Delete "$INSTDIR\${name}"
!macroend

Var smsState     ; what the service manager says of QelSMS: missing, running or stopped
Var mmscState    ; the same of QelMMSC

Function .onInit
    SetShellVarContext all    ; shortcuts for every user
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; Asks the service manager about the service named on the stack; leaves missing, running or
; stopped on the stack ("sc query" fails for a service that is not installed).
Function ServiceState
    Exch $0
    Push $1
    nsExec::ExecToStack '${SC} query $0'
    Pop $1
    Pop $0
    ${If} $1 != 0
        StrCpy $0 "missing"
    ${Else}
        ${StrStr} $1 $0 "RUNNING"
        ${If} $1 == ""
            StrCpy $0 "stopped"
        ${Else}
            StrCpy $0 "running"
        ${EndIf}
    ${EndIf}
    Pop $1
    Exch $0
FunctionEnd

; The uninstaller's question: leaves 1 on the stack when the service named there is still
; installed, 0 when the service manager knows it no more.
Function un.ServiceInstalled
    Exch $0
    Push $1
    nsExec::ExecToStack '${SC} query $0'
    Pop $1     ; the exit code
    Pop $0     ; the output, not needed
    ${If} $1 == 0
        StrCpy $0 1
    ${Else}
        StrCpy $0 0
    ${EndIf}
    Pop $1
    Exch $0
FunctionEnd

; Stops one service through the service manager and waits, at most 120 s, until it has.
Function StopOneService
    Exch $0
    Push $1
    Push $2
    nsExec::ExecToStack '${SC} stop $0'
    Pop $1
    Pop $1
    StrCpy $2 0
    ${Do}
        Push $0
        Call ServiceState
        Pop $1
        ${If} $1 != "running"
        ${OrIf} $2 >= 120
            ${Break}
        ${EndIf}
        Sleep 1000
        IntOp $2 $2 + 1
    ${Loop}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; An installation over a running gateway: the services hold GWCORE.DLL, so whichever of the
; two is installed and running is stopped while the files are replaced and started again
; afterwards. With both installed the program stops them (it also asks the SMS service to
; stop through its status block); the program's verb stops only a complete pair, so a single
; service is stopped through the service manager.
Function StopRunningServices
    Push "QelSMS"
    Call ServiceState
    Pop $smsState
    Push "QelMMSC"
    Call ServiceState
    Pop $mmscState
    ${If} $smsState != "missing"
    ${AndIf} $mmscState != "missing"
    ${AndIf} ${FileExists} "$INSTDIR\${PROGRAM}"
        ${If} $smsState == "running"
        ${OrIf} $mmscState == "running"
            ExecWait '"$INSTDIR\${PROGRAM}" -STOPSERVICE'
        ${EndIf}
        Return
    ${EndIf}
    ${If} $smsState == "running"
        Push "QelSMS"
        Call StopOneService
    ${EndIf}
    ${If} $mmscState == "running"
        Push "QelMMSC"
        Call StopOneService
    ${EndIf}
FunctionEnd

Function StartWhatRan
    ${If} $smsState == "running"
        nsExec::ExecToStack '${SC} start QelSMS'
        Pop $0
        Pop $0
    ${EndIf}
    ${If} $mmscState == "running"
        nsExec::ExecToStack '${SC} start QelMMSC'
        Pop $0
        Pop $0
    ${EndIf}
FunctionEnd

Section "-Program"
    Call StopRunningServices

    SetOutPath "$INSTDIR"
    !insertmacro ProductFiles InstallFile
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    CreateDirectory "${MENU_FOLDER}"
    CreateShortcut "${MENU_FOLDER}\QelSMS Lite.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    CreateShortcut "${MENU_FOLDER}\QelSMS Lite Help.lnk" "$INSTDIR\${HELP}"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

    Call StartWhatRan
SectionEnd

Section "-un.Services"
    ; The program stops and removes both services itself; the service manager then tells
    ; whether they are gone. A service left behind outlives the program that controls it:
    ; it is named, and the uninstaller ends with exit code 2.
    ${If} ${FileExists} "$INSTDIR\${PROGRAM}"
        ExecWait '"$INSTDIR\${PROGRAM}" -REMOVESERVICE -QUIET'
    ${EndIf}
    StrCpy $1 ""
    Push "QelSMS"
    Call un.ServiceInstalled
    Pop $0
    ${If} $0 == 1
        StrCpy $1 "QelSMS"
    ${EndIf}
    Push "QelMMSC"
    Call un.ServiceInstalled
    Pop $0
    ${If} $0 == 1
        ${If} $1 != ""
            StrCpy $1 "$1 and "
        ${EndIf}
        StrCpy $1 "$1QelMMSC"
    ${EndIf}
    ${If} $1 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "The gateway service $1 could not be removed and is still installed. Stop and remove it in the Services console (or with $\"sc delete$\") before the gateway's service programs are deleted." /SD IDOK
        SetErrorLevel 2
    ${EndIf}
SectionEnd

; Not chosen unless the administrator ticks it; the program asks once more before it
; deletes. It deletes the private data directory (counters and error notes); SMSGW.INI,
; MMSC.INI, the queues and the logs stay.
Section /o "un.Delete the gateway's counters and error notes (the Private data folder)" DeleteData
    ${If} ${FileExists} "$INSTDIR\${PROGRAM}"
        ExecWait '"$INSTDIR\${PROGRAM}" -DELETEDATADIR'
    ${EndIf}
SectionEnd

Section "-un.Program"
    !insertmacro ProductFiles RemoveFile
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"          ; only when nothing else is left in it
    Delete "${MENU_FOLDER}\QelSMS Lite.lnk"
    Delete "${MENU_FOLDER}\QelSMS Lite Help.lnk"
    RMDir "${MENU_FOLDER}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
