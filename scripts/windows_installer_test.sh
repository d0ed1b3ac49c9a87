#!/bin/sh
# The installers under Wine. NSIS: installs silently into Program Files with its Start-menu entries
# and its entry among the installed programs, the installed console program runs, and the silent
# uninstall removes all of that but leaves what the user made in the program's folder; a changed
# dictionary outlives an upgrade and a removal; an upgrade removes what the earlier version had
# and this one does not; while the window runs, the installer and the uninstaller refuse (status 2)
# and change nothing. MSI: an upgrade replaces the earlier package and its extra files, the
# installed console program runs, the removal leaves nothing but the dictionary, which stays
# (changed or not) and is not replaced by a later install.
# Usage: sh scripts/windows_installer_test.sh SETUP_EXE MSI EARLIER_SETUP_EXE EARLIER_MSI
#   the earlier ones made of the same folder with earlier.dll and earlier\earlier.txt more, as
#   `scripts/windows.sh test` makes them; WINEPREFIX as scripts/windows.sh sets. MSI "-" leaves
#   the MSI out. ARCH=x86 tests the 32-bit installer: in a 64-bit Windows it installs into
#   "Program Files (x86)" and registers in the 32-bit view of the registry.
set -e
[ $# -eq 4 ] || { echo "usage: sh $0 SETUP_EXE MSI EARLIER_SETUP_EXE EARLIER_MSI" >&2; exit 64; }
# The window, started to hold its mutex, needs a display.
[ -n "$DISPLAY" ] || exec xvfb-run -a sh "$0" "$@"
setup=$1 msi=$2 earlier_setup=$3 earlier_msi=$4
export WINEDEBUG=-all
# A folder of this run's own: other runs (other prefixes) may go on at the same time.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "installer test: $*" >&2
    exit 1
}
# The registry's view the installer writes to, named: with Wine's 32-bit part present, `wine reg`
# may be the 32-bit reg.exe, which would see the 32-bit view only.
program_files='C:\Program Files'
view=/reg:64
qt=Qt6
if [ "${ARCH:-x64}" = x86 ]; then
    qt=Qt5
    view=""
    if [ -d "$(winepath -u 'C:\Program Files (x86)' 2>/dev/null)" ]; then
        program_files='C:\Program Files (x86)'
        view=/reg:32
    fi
fi
folder=$(winepath -u "$program_files\dovi2tarvel" 2>/dev/null)
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\dovi2tarvel' 2>/dev/null)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\dovi2tarvel'
# An earlier run stopped halfway may have left an installation in the prefix: start from none.
rm -rf "$folder" "$menu"
wine reg delete "$key" $view /f >/dev/null 2>&1 || true
[ -e "$folder" ] && fail "$folder exists before the installation"
# What the program folder holds, with sizes and times: "nothing replaced" compares two of these.
listing() {
    (cd "$folder" && find . -mindepth 1 -printf '%p %s %T@\n' | sort)
}
left() {
    (cd "$folder" && find . -mindepth 1 | sort | tr '\n' ' ')
}
# The installed program finds its DLLs and its dictionary: the sample converts with faults.
validate_installed() {
    status=0
    wine "$folder/dovi2tarvel-cli.exe" validate "$program_files\dovi2tarvel\samples\lesnichestvo_03.txt" \
        > "$work/validate.txt" 2>/dev/null || status=$?
    [ "$status" -eq 1 ] || fail "$1: the installed console program ended with $status, not 1"
    grep -q "Количество выделов: 35" "$work/validate.txt" ||
        fail "$1: the installed console program did not count the sample's stands"
}

wine "$setup" /S
wineserver -w
for f in dovi2tarvel.exe dovi2tarvel-cli.exe uninstall.exe uninstall.lst sprav.mdb ${qt}Widgets.dll \
    platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ru.qm \
    help/import.htm samples/lesnichestvo_03.txt; do
    [ -f "$folder/$f" ] || fail "not installed: $f"
done
for f in "Конвертер dovi2tarvel.lnk" "Справка.lnk" "Удалить dovi2tarvel.lnk"; do
    [ -f "$menu/$f" ] || fail "no Start-menu entry $f"
done
for value in UninstallString DisplayVersion EstimatedSize DisplayIcon; do
    wine reg query "$key" $view /v $value >/dev/null 2>&1 || fail "the installed programs' entry lacks $value"
done
validate_installed NSIS

# What the user made there stays.
mkdir -p "$folder/reports"
echo report > "$folder/reports/les03_rep.txt"
echo table > "$folder/НСост.db"
wine "$folder/uninstall.exe" /S
wineserver -w
[ "$(left)" = "./reports ./reports/les03_rep.txt ./НСост.db " ] || fail "left after uninstalling: $(left)"
[ -e "$menu" ] && fail "the Start-menu folder is left"
wine reg query "$key" $view >/dev/null 2>&1 && fail "the entry among the installed programs is left"
rm -rf "$folder"

# An office's own dictionary put in the program folder outlives an upgrade and a removal.
office=$work/office-sprav.mdb
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
rm -rf "$folder"

# An upgrade removes the files and folders only the earlier version had.
wine "$earlier_setup" /S
wineserver -w
[ -f "$folder/earlier/earlier.txt" ] || fail "the earlier installer did not install earlier\\earlier.txt"
wine "$setup" /S
wineserver -w
[ -e "$folder/earlier.dll" ] || [ -e "$folder/earlier" ] && fail "the upgrade left the earlier version's files"

# While the window runs (it holds the mutex before it shows), neither the installer nor the
# uninstaller (run in place, _?=, to give its status; the split keeps Wine from quoting it) does
# anything.
wine "$folder/dovi2tarvel.exe" &
window=$!
tries=0
until xwininfo -root -tree | grep '"dovi2tarvel.exe" "dovi2tarvel.exe"' | grep -vq 'Default IME'; do
    tries=$((tries + 1))
    [ $tries -lt 120 ] || fail "the window did not open"
    sleep 1
done
# A file the installed version listed and this one lacks: an installer going ahead removes it first.
echo stale > "$folder/stale.txt"
printf 'stale.txt\r\n' | iconv -f UTF-8 -t UTF-16LE >> "$folder/uninstall.lst"
before=$(listing)
status=0
wine "$setup" /S || status=$?
[ "$status" -eq 2 ] || fail "the installer ended with $status while the program ran, not 2"
[ "$(listing)" = "$before" ] || fail "the installer changed files while the program ran"
status=0
set -f  # split at the spaces, no globbing
# shellcheck disable=SC2086
wine "$folder/uninstall.exe" /S _?=$program_files\\dovi2tarvel || status=$?
set +f
[ "$status" -eq 2 ] || fail "the uninstaller ended with $status while the program ran, not 2"
[ "$(listing)" = "$before" ] || fail "the uninstaller changed files while the program ran"
wine reg query "$key" $view >/dev/null 2>&1 || fail "the uninstaller refusing removed the entry"
kill $window
{ wait $window; } 2>/dev/null || true
wine "$setup" /S
wineserver -w
[ -e "$folder/stale.txt" ] && fail "the installer did not go ahead once the program ended"
wine "$folder/uninstall.exe" /S
wineserver -w
[ -e "$folder" ] && fail "left after the uninstall: $(left)"

if [ "$msi" = - ]; then
    echo "Installer ($program_files): silent install, installed program, silent uninstall, changed" \
        "dictionary kept, upgrade removing the earlier files, refusals while the program runs: passed"
    exit 0
fi

# The MSI: a newer package replaces the earlier one (its extra files too), silently, both ways.
# (Wine puts per-machine shortcuts into the user's Start menu; Windows into the common one.)
user_menu=$(winepath -u 'C:\users\'"$(id -un)"'\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\dovi2tarvel')
products() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' $view /s 2>/dev/null |
        grep -a -c 'DisplayName.*dovi2tarvel' || true
}
wine msiexec /i "$(winepath -w "$earlier_msi")" /qn
[ -f "$folder/earlier/earlier.txt" ] || fail "the earlier MSI did not install earlier\\earlier.txt"
wine msiexec /i "$(winepath -w "$msi")" /qn
wineserver -w
[ -e "$folder/earlier.dll" ] || [ -e "$folder/earlier" ] && fail "the MSI upgrade left the earlier version's files"
[ "$(products)" -eq 1 ] || fail "$(products) entries among the installed programs after the MSI upgrade"
for f in "Конвертер dovi2tarvel.lnk" "Справка.lnk"; do
    [ -f "$user_menu/$f" ] || fail "the MSI made no Start-menu entry $f"
done
validate_installed MSI
printf office >> "$folder/sprav.mdb"
cp "$folder/sprav.mdb" "$office"
wine msiexec /x "$(winepath -w "$msi")" /qn
wineserver -w
[ "$(left)" = "./sprav.mdb " ] || fail "left after the MSI removal: $(left)"
[ -e "$user_menu" ] && fail "the MSI removal left the Start-menu folder"
[ "$(products)" -eq 0 ] || fail "the MSI removal left the entry among the installed programs"
wine msiexec /i "$(winepath -w "$msi")" /qn
wineserver -w
cmp -s "$folder/sprav.mdb" "$office" || fail "the MSI replaced a changed sprav.mdb"
wine msiexec /x "$(winepath -w "$msi")" /qn
wineserver -w
[ "$(left)" = "./sprav.mdb " ] || fail "left after the second MSI removal: $(left)"
rm -rf "$folder"
echo "Installer: silent install, installed program, silent uninstall, changed dictionary kept, upgrade" \
    "removing the earlier files, refusals while the program runs, MSI upgrade and removal: passed"
