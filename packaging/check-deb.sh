#!/usr/bin/env bash
# Checks a built package: its file list, its dependencies, and that what it installs works:
# extracted into a scratch folder, `quilo read all --simulate` runs from there, the manual
# page renders, the completion offers the data sets, and the collection's service and timer
# pass systemd-analyze verify. As root with CI=true (or
# QUILO_PACKAGE_INSTALL=1) it also installs the package with dpkg -i, runs the installed
# programs, `man quilo` and the completion as bash-completion loads it, checks the service's
# user and that nothing was enabled, and removes the package again; a package that was
# installed before is left alone.
# Usage: packaging/check-deb.sh PACKAGE.deb
set -uo pipefail
deb=$1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

[[ -f $deb ]] || { echo "no package at $deb"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in \
  /usr/bin/quilo-readout /usr/bin/quilo /usr/bin/quilo-sim \
  /usr/share/applications/quilo-readout.desktop \
  /usr/share/mime/packages/quilo-readout.xml \
  /usr/share/icons/hicolor/scalable/apps/quilo-readout.svg \
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-quilo-document.svg \
  /usr/share/icons/hicolor/48x48/apps/quilo-readout.png \
  /usr/share/icons/hicolor/256x256/apps/quilo-readout.png \
  /usr/share/icons/hicolor/48x48/mimetypes/application-x-quilo-document.png \
  /usr/share/man/man1/quilo.1.gz /usr/share/man/man1/quilo-sim.1.gz /usr/share/man/man1/quilo-readout.1.gz \
  /usr/share/bash-completion/completions/quilo \
  /usr/lib/systemd/system/quilo-serve.service \
  /usr/share/quilo-readout/translations/ \
  /usr/share/quilo-readout/wtarvel.rtf /usr/share/quilo-readout/wtarvel_hu.rtf \
  /usr/lib/systemd/system/quilo-collect.service /usr/lib/systemd/system/quilo-collect.timer \
  /etc/quilo/units.conf; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
# Debian's file triggers do what maintainer scripts would; postinst only makes the collection's
# user, and nothing enables the service or the timer (the units are listed first).
for script in preinst prerm postrm; do
  dpkg-deb --info "$deb" "$script" >/dev/null 2>&1 && fail "the package has a $script script"
done
postinst=$(dpkg-deb --info "$deb" postinst 2>/dev/null) || fail "the package has no postinst (the service's user)"
grep -q "adduser --quiet --system --group" <<<"$postinst" || fail "postinst does not make the system user"
grep -v "^ *#" <<<"$postinst" | grep -Eq "systemctl|deb-systemd-helper|deb-systemd-invoke" && fail "postinst enables or starts something"
[[ $(dpkg-deb --info "$deb" conffiles 2>/dev/null) == "/etc/quilo/units.conf" ]] || fail "units.conf is not a conffile"
service=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/quilo-collect.service)
for option in "User=quilo" "SupplementaryGroups=dialout" "NoNewPrivileges=yes" "ProtectSystem=strict" "PrivateTmp=yes" \
  "ExecStart=/usr/bin/quilo collect --units /etc/quilo/units.conf"; do
  grep -qxF "$option" <<<"$service" || fail "quilo-collect.service lacks $option"
done
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libqt6serialport6 libqt6svg6 libssl3 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
version=$(dpkg-deb --field "$deb" Version)
[[ $("$root/usr/bin/quilo" --version) == "quilo $version" ]] || fail "the extracted quilo is not version $version"
"$root/usr/bin/quilo" read all --simulate -f csv -o "$scratch/unit.csv" 2>"$scratch/read.err" \
  || fail "quilo read all --simulate from the package: $(cat "$scratch/read.err")"
[[ $(wc -l <"$scratch/unit.csv") -gt 100 ]] || fail "quilo read all --simulate wrote too little"
man -l "$root/usr/share/man/man1/quilo.1.gz" 2>&1 | grep -q "QUILO_PORTS" || fail "man -l quilo.1.gz does not render"
offered=$(bash --norc -c 'source "$1"; COMP_WORDS=("$2" read ""); COMP_CWORD=2; _quilo; echo "${COMPREPLY[*]}"' \
  _ "$root/usr/share/bash-completion/completions/quilo" "$root/usr/bin/quilo")
[[ " $offered " == *" daily "* && " $offered " == *" key-table "* ]] || fail "the packaged completion offers '$offered'"
"$root/usr/bin/quilo" collect --units "$root/etc/quilo/units.conf" >"$scratch/collect.out" 2>&1
[[ $? -eq 64 ]] && grep -q "no units to read" "$scratch/collect.out" \
  || fail "quilo collect on the example list (nothing listed): $(cat "$scratch/collect.out")"
# The units as systemd reads them, the program pointed at the extracted copy.
mkdir -p "$scratch/units"
sed "s|/usr/bin/quilo |$root/usr/bin/quilo |" "$root/usr/lib/systemd/system/quilo-collect.service" \
  >"$scratch/units/quilo-collect.service"
cp "$root/usr/lib/systemd/system/quilo-collect.timer" "$scratch/units/"
verified=$(cd "$scratch/units" && SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
  ./quilo-collect.service ./quilo-collect.timer 2>&1 | grep -v "^$")
[[ -z $verified ]] || fail "systemd-analyze verify: $verified"

want_install=${QUILO_PACKAGE_INSTALL:-}
[[ -z $want_install && ${CI:-} == true ]] && want_install=1
if [[ $want_install == 1 ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "not root: the package was not installed (its extracted copy was checked)"
  elif dpkg-query -W -f='${Status}' quilo-readout 2>/dev/null | grep -q "install ok installed"; then
    echo "quilo-readout is installed already: left as it is (its extracted copy was checked)"
  else
    if dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1; then
      [[ $(command -v quilo) == /usr/bin/quilo ]] || fail "quilo is not on the PATH after dpkg -i"
      (cd "$scratch" && /usr/bin/quilo read all --simulate >/dev/null 2>"$scratch/read2.err") \
        || fail "the installed quilo read all --simulate: $(cat "$scratch/read2.err")"
      if grep -qs "^path-exclude=/usr/share/man" /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
        echo "dpkg here leaves out manual pages (path-exclude): man quilo not tried"
      else
        man -w quilo 2>/dev/null | grep -q "^/usr/share/man/man1/quilo.1.gz$" || fail "man quilo does not find the page"
      fi
      env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/quilo-readout --version >/dev/null || fail "quilo-readout --version"
      /usr/bin/quilo-sim --version >/dev/null || fail "quilo-sim --version"
      loaded=$(bash --norc -c 'source /usr/share/bash-completion/bash_completion; _completion_loader quilo
                                complete -p quilo; COMP_WORDS=(quilo read key-table ""); COMP_CWORD=3
                                COMP_LINE="quilo read key-table "; COMP_POINT=${#COMP_LINE}; _quilo; echo "${COMPREPLY[*]}"' 2>&1)
      grep -q "complete -F _quilo quilo" <<<"$loaded" && grep -q "LAB" <<<"$loaded" \
        || fail "bash-completion does not load the installed completion: $loaded"
      id -nG quilo 2>/dev/null | tr ' ' '\n' | grep -qx dialout || fail "no system user quilo in dialout after dpkg -i"
      [[ $(getent passwd quilo | cut -d: -f3) -lt 1000 ]] || fail "the user quilo is not a system user"
      ls /etc/systemd/system/*.wants/quilo-collect.* >/dev/null 2>&1 && fail "dpkg -i enabled the collection"
      [[ -f /etc/quilo/units.conf ]] || fail "no /etc/quilo/units.conf after dpkg -i"
      [[ -f /usr/share/mime/packages/quilo-readout.xml ]] && command -v update-mime-database >/dev/null \
        && { grep -q "application/x-quilo-document" /usr/share/mime/globs2 || fail "the mime database lacks *.quilo after dpkg -i"; }
    else
      fail "dpkg -i: $(cat "$scratch/dpkg.log")"
    fi
    dpkg -r quilo-readout >/dev/null 2>&1 || fail "dpkg -r quilo-readout"
  fi
fi

if [[ $failed -eq 0 ]]; then
  echo "$(basename "$deb"): $(wc -l <<<"$contents") entries, $(du -k "$deb" | cut -f1) KiB, checked"
fi
exit $failed
