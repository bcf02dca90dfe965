; The Skarvel installer: 64-bit, into Program Files, with a Start menu entry, an uninstaller in
; Apps & features, an optional start at log-on and firewall rules for the Alpaca ports.
; build-setup passes VERSION, EXE (the built skarvel.exe) and OUTDIR.
Unicode true
Target amd64-unicode
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION: pass the version of CMake's project() with -DVERSION=..."
!endif
!ifndef EXE
  !error "EXE: pass the path of the built skarvel.exe with -DEXE=..."
!endif
!ifndef OUTDIR
  !define OUTDIR .
!endif

; The Alpaca server's and its discovery's default ports (automation.ini: alpacaPort, discoveryPort).
!define ALPACA_PORT 11111
!define DISCOVERY_PORT 32227
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Skarvel"
!define PUBLISHER "Skarvel"

!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "Skarvel"
OutFile "${OUTDIR}\skarvel-${VERSION}-setup.exe"
InstallDir "$PROGRAMFILES64\Skarvel"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
Icon "skarvel.ico"
UninstallIcon "skarvel.ico"
SetCompressor /SOLID lzma

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Skarvel"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Skarvel ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "Skarvel developers"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

!macro FirewallRules un
Function ${un}RemoveFirewallRules
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Skarvel Alpaca (TCP ${ALPACA_PORT})"'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall delete rule name="Skarvel Alpaca discovery (UDP ${DISCOVERY_PORT})"'
  Pop $0
FunctionEnd
!macroend
!insertmacro FirewallRules ""
!insertmacro FirewallRules "un."

Section "Skarvel" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=skarvel.exe" "${EXE}"
  ; The licence of the charting library built into the dashboard.
  File "/oname=dygraphs-copyright.txt" "/usr/share/doc/libjs-dygraphs/copyright"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Skarvel.lnk" "$INSTDIR\skarvel.exe" "" "$INSTDIR\skarvel.exe" 0

  ; Other observatory software reaches the monitor over Alpaca from other machines.
  Call RemoveFirewallRules
  nsExec::Exec 'netsh advfirewall firewall add rule name="Skarvel Alpaca (TCP ${ALPACA_PORT})" dir=in action=allow protocol=TCP localport=${ALPACA_PORT}'
  Pop $0
  nsExec::Exec 'netsh advfirewall firewall add rule name="Skarvel Alpaca discovery (UDP ${DISCOVERY_PORT})" dir=in action=allow protocol=UDP localport=${DISCOVERY_PORT}'
  Pop $0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Skarvel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\skarvel.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; An observatory computer that restarts at night should come back monitoring, so this is on
; unless it is unticked.
Section "Start Skarvel at log-on" SecStartup
  CreateShortcut "$SMSTARTUP\Skarvel.lnk" "$INSTDIR\skarvel.exe" "" "$INSTDIR\skarvel.exe" 0
SectionEnd

Section "-Leave no start-up entry behind" SecNoStartup
  ${IfNot} ${SectionIsSelected} ${SecStartup}
    Delete "$SMSTARTUP\Skarvel.lnk"
  ${EndIf}
SectionEnd

; The settings, logs and pictures live in the user's folder (%LOCALAPPDATA%\Skarvel when installed
; here) and stay; so does anything else found in the install folder.
Section "Uninstall"
  Delete "$SMSTARTUP\Skarvel.lnk"
  Delete "$SMPROGRAMS\Skarvel.lnk"
  Call un.RemoveFirewallRules
  Delete "$INSTDIR\skarvel.exe"
  Delete "$INSTDIR\dygraphs-copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
