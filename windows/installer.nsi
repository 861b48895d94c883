; The Windows installer: the programs under Program Files, the Alpaca
; server as a service that starts at boot and restarts on failure (as
; LocalService), firewall rules for it on private networks, and Start menu
; entries. makensis builds it on Linux (windows/build.sh):
;   makensis -DVERSION=3.14.16 -DSTAGE=folder-with-the-zip's-files -DOUTFILE=setup.exe
; Silent: setup.exe /S [/NOSTART] [/OPTIONS="server options"] [/D=folder];
; uninstall.exe /S [/KEEPSETTINGS]. /OPTIONS sets the service's command line
; (such as --port 8080), as the wizard's options field does; an install
; without it keeps the options the last one gave.
Target amd64-unicode  ; 64-bit, as the programs are (and as Wine runs without 32-bit support)
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include x64.nsh
!include WordFunc.nsh

!define SERVICE "LightDimmerAlpaca"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LightDimmer"
!define MENU "$SMPROGRAMS\Light Dimmer"
!define STATE "$APPDATA\light-dimmer"  ; %ProgramData%, for all users

Name "Light Dimmer ${VERSION}"
BrandingText "Light Dimmer ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Light Dimmer"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Var StartNow      ; 1: start the service now and at every boot
Var StartBox
Var KeepSettings  ; 1: the uninstaller leaves the state folder
Var KeepBox
Var Options       ; the server's options on the service's command line
Var OptionsBox
Var Port          ; the HTTP port those options choose, for the setup page's link

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
Page custom ServicePage ServicePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.SettingsPage un.SettingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Light Dimmer needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  StrCpy $StartNow 1
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${IfNot} ${Errors}
    StrCpy $StartNow 0
  ${EndIf}
  ReadRegStr $Options HKLM "${UNINSTALL_KEY}" "ServiceOptions"
  ClearErrors
  ${GetOptions} $0 "/OPTIONS=" $1
  ${IfNot} ${Errors}
    StrCpy $Options $1
  ${EndIf}
FunctionEnd

; The port after --port in the options ("--port 8080" or "--port=8080"),
; else the server's own, 11111.
Function FindPort
  StrCpy $Port 11111
  ${WordFind} "$Options " "--port=" "E+1}" $0
  ${If} ${Errors}
    ${WordFind} "$Options " "--port " "E+1}" $0
  ${EndIf}
  ${IfNot} ${Errors}
    ${WordFind} "$0" " " "+1" $Port
  ${EndIf}
FunctionEnd

Function ServicePage
  !insertmacro MUI_HEADER_TEXT "The Alpaca server" "It serves the dimmers to N.I.N.A. and other ASCOM clients."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "&Start the server now, and at every boot"
  Pop $StartBox
  ${NSD_SetState} $StartBox $StartNow
  ${NSD_CreateLabel} 0 20u 100% 30u "It runs as a Windows service, without a window. Its setup page is http://localhost:11111/setup; the Start menu has a link to it."
  Pop $0
  ${NSD_CreateLabel} 0 54u 100% 12u "Its &options, such as --port 8080 for another port (empty for the usual ones):"
  Pop $0
  ${NSD_CreateText} 0 68u 100% 12u "$Options"
  Pop $OptionsBox
  nsDialogs::Show
FunctionEnd

Function ServicePageLeave
  ${NSD_GetState} $StartBox $StartNow
  ${NSD_GetText} $OptionsBox $Options
FunctionEnd

; Stops the service if it runs, and waits up to ten seconds for it.
!macro StopService
  nsExec::Exec 'sc.exe stop ${SERVICE}'
  Pop $0
  StrCpy $1 0
  ${Do}
    nsExec::ExecToStack 'sc.exe query ${SERVICE}'
    Pop $0
    Pop $2
    ${If} $0 != 0
      ${Break}  ; no such service
    ${EndIf}
    ${WordFind} "$2" "STOPPED" "E+1{" $3
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 50
      ${Break}
    ${EndIf}
    Sleep 200
  ${Loop}
!macroend

Section "Install"
  SetRegView 64
  !insertmacro StopService

  SetOutPath "$INSTDIR"
  File "${STAGE}\alpaca_light_dimmer.exe"
  File "${STAGE}\quorlet.exe"
  File "${STAGE}\orvane.exe"
  File "${STAGE}\hidapi.dll"
  File "${STAGE}\LICENSE"
  File "${STAGE}\README.md"
  File "${STAGE}\hidapi-LICENSE-bsd.txt"
  File "${STAGE}\boost-LICENSE.txt"
  File "${STAGE}\nlohmann-json-copyright.txt"
  File "${STAGE}\windows-copyright.txt"
  SetOutPath "$INSTDIR\docs"
  File /r "${STAGE}\docs\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The state (each dimmer's device number and UniqueID, the log) is the
  ; machine's, kept over upgrades; LocalService may write it.
  CreateDirectory "${STATE}"
  nsExec::Exec 'icacls "${STATE}" /grant *S-1-5-19:(OI)(CI)M'
  Pop $0

  ; The service: created, or pointed at the new files on an upgrade.
  ${If} $StartNow == 1
    StrCpy $1 auto
  ${Else}
    StrCpy $1 demand
  ${EndIf}
  StrCpy $2 '\"$INSTDIR\alpaca_light_dimmer.exe\" --service'
  ${If} $Options != ""
    StrCpy $2 "$2 $Options"
  ${EndIf}
  nsExec::Exec 'sc.exe query ${SERVICE}'
  Pop $0
  ${If} $0 == 0
    nsExec::Exec 'sc.exe config ${SERVICE} binPath= "$2" start= $1'
  ${Else}
    nsExec::Exec 'sc.exe create ${SERVICE} binPath= "$2" start= $1 obj= "NT AUTHORITY\LocalService" DisplayName= "Light Dimmer Alpaca Server"'
  ${EndIf}
  Pop $0
  nsExec::Exec 'sc.exe description ${SERVICE} "Serves the USB light dimmers to ASCOM Alpaca clients. Options: the service command line (see the README)."'
  Pop $0
  nsExec::Exec 'sc.exe failure ${SERVICE} reset= 86400 actions= restart/5000/restart/5000/restart/60000'
  Pop $0
  nsExec::Exec 'sc.exe failureflag ${SERVICE} 1'
  Pop $0

  ; Firewall: the server's HTTP port and discovery, on private networks
  ; only. The rules name the program rather than the ports, so that they
  ; follow the ports its options choose.
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Light Dimmer Alpaca Server (HTTP)"'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Light Dimmer Alpaca Server (discovery)"'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall add rule name="Light Dimmer Alpaca Server (HTTP)" dir=in action=allow protocol=TCP profile=private program="$INSTDIR\alpaca_light_dimmer.exe"'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall add rule name="Light Dimmer Alpaca Server (discovery)" dir=in action=allow protocol=UDP profile=private program="$INSTDIR\alpaca_light_dimmer.exe"'
  Pop $0

  CreateDirectory "${MENU}"
  Call FindPort
  WriteINIStr "${MENU}\Light Dimmer setup page.url" "InternetShortcut" "URL" "http://localhost:$Port/setup"
  ; In Notepad: Windows opens .md files with nothing of its own.
  CreateShortcut "${MENU}\Light Dimmer README.lnk" "$WINDIR\notepad.exe" '"$INSTDIR\README.md"'
  CreateShortcut "${MENU}\Uninstall Light Dimmer.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Light Dimmer ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Light Dimmer"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "ServiceOptions" "$Options"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ${If} $StartNow == 1
    nsExec::Exec 'sc.exe start ${SERVICE}'
    Pop $0
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $KeepSettings 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/KEEPSETTINGS" $1
  ${IfNot} ${Errors}
    StrCpy $KeepSettings 1
  ${EndIf}
FunctionEnd

Function un.SettingsPage
  !insertmacro MUI_HEADER_TEXT "Settings" "What the server keeps about your dimmers."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 24u "Keep the settings: each dimmer's device number and UniqueID, so that ASCOM clients find them again after a new install"
  Pop $KeepBox
  ${NSD_SetState} $KeepBox $KeepSettings
  nsDialogs::Show
FunctionEnd

Function un.SettingsPageLeave
  ${NSD_GetState} $KeepBox $KeepSettings
FunctionEnd

Section "Uninstall"
  SetRegView 64
  !insertmacro StopService
  nsExec::Exec 'sc.exe delete ${SERVICE}'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Light Dimmer Alpaca Server (HTTP)"'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Light Dimmer Alpaca Server (discovery)"'
  Pop $0

  Delete "${MENU}\Light Dimmer setup page.url"
  Delete "${MENU}\Light Dimmer README.lnk"
  Delete "${MENU}\Uninstall Light Dimmer.lnk"
  RMDir "${MENU}"

  RMDir /r "$INSTDIR\docs"
  Delete "$INSTDIR\alpaca_light_dimmer.exe"
  Delete "$INSTDIR\quorlet.exe"
  Delete "$INSTDIR\orvane.exe"
  Delete "$INSTDIR\hidapi.dll"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\hidapi-LICENSE-bsd.txt"
  Delete "$INSTDIR\boost-LICENSE.txt"
  Delete "$INSTDIR\nlohmann-json-copyright.txt"
  Delete "$INSTDIR\windows-copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $KeepSettings != 1
    RMDir /r "${STATE}"
  ${EndIf}
SectionEnd
