#!/usr/bin/env bash
# The Windows installer under wine, in a prefix of its own on a virtual display: a silent
# install puts the program, the Start menu shortcut and the Uninstall entry in place; the
# installed program starts and writes its Run value; a silent uninstall, the program running,
# removes the program, the shortcut, the Uninstall entry and the Run value and keeps the
# settings; /REMOVESETTINGS removes them too.
# Needs WINEPREFIX (a fresh prefix) and DISPLAY.
# Usage: installer-under-wine.sh PATH/TO/verrelune-<version>-x86_64-setup.exe VERSION
set -uo pipefail
installateur=$1
version=$2
echec=0
faute() { echo "FAIL: $*"; echec=1; }
valeur() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n1; }
cle_existe() { wine reg query "$1" >/dev/null 2>&1; }
montrer() { echo "\$ wine reg query '$1' $2"; wine reg query "$1" $2 2>&1 | tr -d '\r' | grep -v '^$' | sed 's/^/  /'; }

desinstallation='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Verrelune'
demarrage='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
dossiers='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
local_appdata=$(valeur "$dossiers" 'Local AppData')
[ -n "$local_appdata" ] || { echo "FAIL: no Local AppData folder in this prefix"; exit 1; }
dossier="$local_appdata\\Programs\\Verrelune"
programme="$dossier\\verrelune.exe"
raccourci=$(winepath -u "$(valeur "$dossiers" Programs)\\Verrelune.lnk")
unix_programme=$(winepath -u "$programme")
unix_dossier=$(winepath -u "$dossier")

# Waits up to SECONDS for COMMAND to succeed.
attendre() {
  local secondes=$1
  shift
  for _ in $(seq $((secondes * 4))); do
    "$@" && return 0
    sleep 0.25
  done
  return 1
}
absent() { [ ! -e "$1" ]; }
cle_absente() { ! cle_existe "$1"; }

installer() {
  cp "$installateur" "$WINEPREFIX/drive_c/setup.exe"
  timeout 300 wine 'C:\setup.exe' /S >/dev/null 2>&1 || faute "the silent install ended with status $?"
  attendre 60 cle_existe "$desinstallation" || faute "no Uninstall entry after the install"
}

# The uninstaller runs from a copy of itself in the temporary folder and returns at once: the
# removal is over when the program's folder is gone.
desinstaller() {
  timeout 120 wine "$dossier\\uninstall.exe" /S "$@" >/dev/null 2>&1
  attendre 120 absent "$unix_dossier" || faute "the program's folder is still there after the uninstall"
  attendre 30 cle_absente "$desinstallation" || faute "the Uninstall entry is still there"
}

echo "== silent install: wine setup.exe /S"
installer
[ -x "$unix_programme" ] || [ -f "$unix_programme" ] || faute "no program at $programme"
[ -f "$unix_dossier/uninstall.exe" ] || faute "no uninstaller in $dossier"
[ -f "$raccourci" ] || faute "no Start menu shortcut at $raccourci"
montrer "$desinstallation" ""
for nom in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize UninstallString QuietUninstallString; do
  [ -n "$(valeur "$desinstallation" "$nom")" ] || faute "the Uninstall entry has no $nom"
done
[ "$(valeur "$desinstallation" DisplayVersion)" = "$version" ] || faute "DisplayVersion is not $version"
[ "$(valeur "$desinstallation" QuietUninstallString)" = "\"$dossier\\uninstall.exe\" /S" ] ||
  faute "QuietUninstallString: $(valeur "$desinstallation" QuietUninstallString)"
[ "$(wine "$programme" --version 2>/dev/null | tr -d '\r')" = "Verrelune $version" ] ||
  faute "the installed program's --version: $(wine "$programme" --version 2>&1 | tr -d '\r')"

echo "== the installed program starts and writes its Run value"
wine "$programme" /background >/dev/null 2>&1 &
lance=$!
attendu="\"$programme\" /background"
ecrit() { [ "$(valeur "$demarrage" Verrelune)" = "$attendu" ]; }
attendre 120 ecrit || faute "Run value: '$(valeur "$demarrage" Verrelune)', not '$attendu'"
attendre 60 cle_existe 'HKCU\Software\Verrelune' || faute "the program wrote no settings"
montrer "$demarrage" "/v Verrelune"

echo "== silent uninstall, the program running: uninstall.exe /S"
desinstaller
absent "$raccourci" || faute "the Start menu shortcut is still there"
[ -z "$(valeur "$demarrage" Verrelune)" ] || faute "the Run value is still there"
cle_existe 'HKCU\Software\Verrelune' || faute "the user's settings were removed without being asked"
attendre 30 eval '! kill -0 $lance 2>/dev/null' || faute "the installed program still runs"
wait "$lance" 2>/dev/null
montrer "$desinstallation" ""
montrer "$demarrage" "/v Verrelune"
montrer 'HKCU\Software\Verrelune' ""

echo "== install again, then uninstall.exe /S /REMOVESETTINGS"
installer
desinstaller /REMOVESETTINGS
cle_absente 'HKCU\Software\Verrelune' || faute "the settings are still there after /REMOVESETTINGS"

if [ $echec -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $echec
