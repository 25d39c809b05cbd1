; Installs the shell extension with its help file, the stand-in note-taker and the console front
; end into the 64-bit program folder and registers the extension; the
; uninstaller takes all of it away again.
; makensis -DDLL=... -DCHM=... -DSIM=... -DCLI=... -DOUTFILE=... -DVERSION=... Pellor.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellor"
!define SETTINGS_KEY "Software\Vostrel\Pellor"

Name "Pellor"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pellor"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Pellor"
  SetOutPath "$INSTDIR"
  File "/oname=Pellor.dll" "${DLL}"
  ; The module opens its help from its own folder.
  File "/oname=Pellor.chm" "${CHM}"
  File "/oname=pellor-sim.exe" "${SIM}"
  File "/oname=pellor.exe" "${CLI}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ClearErrors
  RegDLL "$INSTDIR\Pellor.dll"
  IfErrors 0 +3
    DetailPrint "Pellor.dll could not be registered."
    Abort "Pellor.dll could not be registered."

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pellor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vostrel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Pellor.dll,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Unregistering loads the module, which saves the settings when it is
  ; unloaded, so the settings go after it.
  UnRegDLL "$INSTDIR\Pellor.dll"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Vostrel"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; Explorer may still hold the module: then it goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\Pellor.dll"
  Delete "$INSTDIR\Pellor.chm"
  Delete "$INSTDIR\pellor-sim.exe"
  Delete "$INSTDIR\pellor.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
