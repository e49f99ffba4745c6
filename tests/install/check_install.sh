#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR VERSION
# Installs BUILD_DIR into a fresh prefix, then checks that the installed programs run from there
# alone: the CLI's version and a generation on the installed demo cable set, the desktop program
# opening the installed demo data offscreen and closing, the help pages complete with every link
# between them resolving, the desktop entry and metainfo valid, the completion answering.
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log" >&2; exit 1; }

# Run from a folder of their own, with none of the build tree's hints, as a user would.
export HOME=$work/home TERAVOX_HOME=$work/data TERAVOX_SETTINGS=$work/home/settings.ini
unset TERAVOX_SHARE_DIR XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME" && cd "$HOME"
share=$prefix/share
app_id=example.brevik_instruments.Teravox2

for f in bin/teravox2-cli share/man/man1/teravox2-cli.1.gz share/bash-completion/completions/teravox2-cli \
    share/doc/teravox2/copyright share/doc/teravox2/changelog.gz; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done

# The command-line program.
out=$("$prefix/bin/teravox2-cli" --version)
[ "$out" = "teravox2-cli $version" ] && pass "teravox2-cli --version: $out" || fail "--version said: $out"
# The manual page is the CLI's own help: every option the help names is in it.
man=$(zcat "$share/man/man1/teravox2-cli.1.gz")
options=$("$prefix/bin/teravox2-cli" --help-all | grep -o -- '--[a-z0-9-]*' | sort -u)
[ "$(wc -l <<<"$options")" -gt 30 ] || fail "--help-all names too few options"
for o in $options; do
  grep -qF -- "${o//-/\\-}" <<<"$man" || fail "the manual page misses $o"
done
pass "the manual page holds the $(wc -l <<<"$options") options of --help-all"

desktop=no
[ -x "$prefix/bin/teravox2" ] && desktop=yes
if [ "$desktop" = yes ]; then
  cable=$share/teravox2/demo/Cable/"Two reels 48 x 5 m.cbl"
  [ -f "$cable" ] || fail "demo cable set not installed"
  out=$("$prefix/bin/teravox2-cli" generate --cable "$cable" --array dd --spacing 5 --levels 1-6 \
    --name Check -o "$work/Check.sqx")
  [ "$out" = "Check: 48 electrodes, 255 quadripoles" ] && pass "generation: $out" || fail "generation said: $out"
  "$prefix/bin/teravox2-cli" show "$work/Check.sqx" --json | grep -q '"nb_quadripole": *255' \
    && pass "the generated file reads back" || fail "the generated file does not read back"

  # The desktop program: a first start copies the installed demo data into the empty data folder,
  # opens the demo set, saves its pictures and quits.
  for f in bin/teravox2 share/man/man1/teravox2.1.gz share/applications/$app_id.desktop \
      share/metainfo/$app_id.metainfo.xml share/icons/hicolor/scalable/apps/teravox2.svg; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
  done
  for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/teravox2.png
    [ "$(file -b "$png" 2>/dev/null | grep -o "$size x $size")" = "$size x $size" ] || fail "icon $size missing or wrong size"
  done
  status=0
  QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/teravox2" --demo --screenshots "$work/shots" \
    >"$work/desktop.log" 2>&1 || status=$?
  if [ "$status" -eq 0 ] && [ -f "$TERAVOX_HOME/Sequence/Demo/Comment.Txt" ] && ls "$work"/shots/*.png >/dev/null 2>&1; then
    pass "teravox2 opened the installed demo set offscreen and closed"
  else
    cat "$work/desktop.log" >&2
    fail "teravox2 did not open and close (status $status)"
  fi
  # No path of the build or source tree is compiled into the installed programs' data (debug
  # information may name them; it is not read at run time). A sanitized build keeps the names of its
  # source files for its reports, and only those are allowed there.
  for exe in teravox2 teravox2-cli; do
    objcopy -O binary --only-section=.rodata "$prefix/bin/$exe" "$work/rodata"
    found=$(strings -n 4 "$work/rodata" | grep -F -e "$build" -e "$source" || true)
    if readelf -d "$prefix/bin/$exe" | grep -qE 'NEEDED.*lib(a|ub)san'; then
      found=$(grep -vE '^/.*\.(c|cc|cpp|cxx|h|hh|hpp|hxx)$' <<<"$found" || true)
    fi
    [ -z "$found" ] || fail "$exe names the build or source tree: $(head -n 1 <<<"$found")"
  done

  # Help: a page for every map id the program opens, every link between pages resolving (to a page
  # and, with #name, to an anchor in it), and every page reachable from the contents.
  help=$share/teravox2/help
  ids=$(sed -n 's/.*HelpMapIds\[\] *= *{\([^}]*\)}.*/\1/p' "$source/qtsupport/helpviewer.h" | tr -d ' ' | tr ',' ' ')
  [ -n "$ids" ] || fail "no map ids found in qtsupport/helpviewer.h"
  for id in $ids; do [ -f "$help/$id.html" ] || fail "no help page for map id $id"; done
  links=0
  for page in "$help"/*.html; do
    for href in $(grep -o 'href="[^"]*"' "$page" | sed 's/^href="//; s/"$//'); do
      case $href in http:* | https:* | mailto:*) continue ;; esac
      file=${href%%#*}
      anchor=
      [[ $href == *#* ]] && anchor=${href#*#}
      target=$help/${file:-$(basename "$page")}
      links=$((links + 1))
      if [ ! -f "$target" ]; then
        fail "$(basename "$page"): link to $href: no such page"
      elif [ -n "$anchor" ] && ! grep -qE "(id|name)=\"$anchor\"" "$target"; then
        fail "$(basename "$page"): link to $href: no such anchor"
      fi
    done
  done
  reached=" 100.html "
  queue=(100.html)
  while [ ${#queue[@]} -gt 0 ]; do
    page=${queue[0]}
    queue=("${queue[@]:1}")
    for file in $(grep -o 'href="[^"#:]*\.html' "$help/$page" | sed 's/^href="//' | sort -u); do
      if [[ $reached != *" $file "* ]] && [ -f "$help/$file" ]; then
        reached="$reached$file "
        queue+=("$file")
      fi
    done
  done
  for page in "$help"/*.html; do
    [[ $reached == *" $(basename "$page") "* ]] || fail "help page $(basename "$page") is not reached from 100.html"
  done
  pass "help: $(ls "$help" | wc -l) pages, $links links between them checked"

  # The desktop integration files, as the distribution's own tools see them.
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$share/applications/$app_id.desktop" && pass "desktop-file-validate" \
      || fail "desktop-file-validate"
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$share/metainfo/$app_id.metainfo.xml" >"$work/as.log" 2>&1 \
      && pass "appstreamcli validate" || { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
  fi
fi

# The completion, with the two helpers of bash-completion stood in for.
completion() {
  bash -c '
    _init_completion() { words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; cur=${words[cword]}; prev=${words[cword-1]}; }
    _filedir() { :; }
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _teravox2_cli
    echo "${COMPREPLY[*]}"' _ "$share/bash-completion/completions/teravox2-cli" "$prefix/bin/teravox2-cli" "$@"
}
[ "$(completion gen)" = generate ] || fail "completion of gen: $(completion gen)"
[ "$(completion export sp)" = spreadsheet ] || fail "completion of export sp: $(completion export sp)"
[ "$(completion generate --roll)" = --roll-along ] || fail "completion of generate --roll: $(completion generate --roll)"
[ "$(completion generate --array w)" = "wenner ws" ] || fail "completion of --array w: $(completion generate --array w)"
[ "$(completion generate --array g)" = gradient ] || fail "completion of --array g: $(completion generate --array g)"
[ "$(completion generate --gr)" = --grid ] || fail "completion of generate --gr: $(completion generate --gr)"
pass "bash completion"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install: all checks passed"
