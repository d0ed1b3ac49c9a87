#!/bin/sh
# The installer under Wine: installs silently into Program Files with its Start-menu entries and
# its entry among the installed programs, the installed console program runs, and the silent
# uninstall removes all of that but leaves what the user made in the program's folder, and a
# changed dictionary outlives an upgrade and a removal.
# Usage: sh scripts/windows_installer_test.sh SETUP_EXE   (WINEPREFIX as scripts/windows.sh sets)
set -e
setup=$1
export WINEDEBUG=-all
fail() {
    echo "installer test: $*" >&2
    exit 1
}
folder=$(winepath -u 'C:\Program Files\dovi2tarvel' 2>/dev/null)
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\dovi2tarvel' 2>/dev/null)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\dovi2tarvel'
[ -e "$folder" ] && fail "$folder exists before the installation"

wine "$setup" /S
wineserver -w
for f in dovi2tarvel.exe dovi2tarvel-cli.exe uninstall.exe sprav.mdb Qt6Widgets.dll \
    platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ru.qm \
    help/import.htm samples/lesnichestvo_03.txt; do
    [ -f "$folder/$f" ] || fail "not installed: $f"
done
for f in "Конвертер dovi2tarvel.lnk" "Справка.lnk" "Удалить dovi2tarvel.lnk"; do
    [ -f "$menu/$f" ] || fail "no Start-menu entry $f"
done
wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "no entry among the installed programs"

# The installed program finds its DLLs and its dictionary: the sample converts with faults.
status=0
wine "$folder/dovi2tarvel-cli.exe" validate 'C:\Program Files\dovi2tarvel\samples\lesnichestvo_03.txt' \
    > "${TMPDIR:-/tmp}/installed-validate.txt" 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "the installed console program ended with $status, not 1"
grep -q "Количество выделов: 35" "${TMPDIR:-/tmp}/installed-validate.txt" ||
    fail "the installed console program did not count the sample's stands"

# What the user made there stays.
mkdir -p "$folder/reports"
echo report > "$folder/reports/les03_rep.txt"
echo table > "$folder/НСост.db"
wine "$folder/uninstall.exe" /S
wineserver -w
left=$(cd "$folder" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./reports ./reports/les03_rep.txt ./НСост.db " ] || fail "left after uninstalling: $left"
[ -e "$menu" ] && fail "the Start-menu folder is left"
wine reg query "$key" >/dev/null 2>&1 && fail "the entry among the installed programs is left"

# An office's own dictionary put in the program folder outlives an upgrade and a removal.
office=${TMPDIR:-/tmp}/office-sprav.mdb
wine "$setup" /S
wineserver -w
printf office >> "$folder/sprav.mdb"
cp "$folder/sprav.mdb" "$office"
wine "$setup" /S
wineserver -w
cmp -s "$folder/sprav.mdb" "$office" || fail "the upgrade replaced a changed sprav.mdb"
wine "$folder/uninstall.exe" /S
wineserver -w
cmp -s "$folder/sprav.mdb" "$office" || fail "the removal took a changed sprav.mdb"
rm -rf "$folder" "$office"
echo "Installer: silent install, installed program, silent uninstall, changed dictionary kept: passed"
