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

!define PRODUCT "Qel SMS/MMS Gateway Lite Edition"
!define PUBLISHER "Qel"
!define PROGRAM "QELCONF.EXE"
!define HELP "QelSMS Lite.pdf"
!define MENU_FOLDER "$SMPROGRAMS\QelSMS Lite"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelSMS Lite"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\QelSMS"

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

Var servicesStopped

Function .onInit
    SetShellVarContext all    ; shortcuts for every user
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "-Program"
    ; An installation over a running gateway: the services hold GWCORE.DLL, so they are
    ; stopped while the files are replaced and started again afterwards.
    StrCpy $servicesStopped 0
    ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$INSTDIR\${PROGRAM}"
        ExecWait '"$INSTDIR\${PROGRAM}" -STOPSERVICE'
        StrCpy $servicesStopped 1
    ${EndIf}

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

    ${If} $servicesStopped == 1
        ExecWait '"$INSTDIR\${PROGRAM}" -STARTSERVICE'
    ${EndIf}
SectionEnd

Section "-un.Services"
    ; The program stops and removes both services itself.
    ${If} ${FileExists} "$INSTDIR\${PROGRAM}"
        ExecWait '"$INSTDIR\${PROGRAM}" -REMOVESERVICE -QUIET'
    ${EndIf}
SectionEnd

; Not chosen unless the administrator ticks it; the program asks once more before it deletes.
Section /o "un.Delete the gateway's configuration files" DeleteData
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
