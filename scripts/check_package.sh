#!/usr/bin/env bash
# Installs the Debian package built by `make package` on this machine and
# checks what a desktop sees of it: the files, the desktop entry, the AppStream
# record, the manual pages, and the installed program playing the installed
# demo headless and closing on SIGTERM with its settings stored.
set -uo pipefail
cd "$(dirname "$0")/.."

deb=$(ls -t build/kelvo_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  echo "package: no build/kelvo_*.deb; run 'make package' first" >&2
  exit 1
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
echo "package: installing $deb"
# --reinstall: a rebuilt package of the same version replaces the installed one.
if ! "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --reinstall "./$deb" >/dev/null; then
  echo "package: apt-get install failed" >&2
  exit 1
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok   $1"; }
fail() { failed=$((failed + 1)); echo "  FAIL $1"; }

for f in /usr/bin/kelvo /usr/share/applications/kelvo.desktop \
         /usr/share/icons/hicolor/16x16/apps/kelvo.png /usr/share/icons/hicolor/32x32/apps/kelvo.png \
         /usr/share/icons/hicolor/48x48/apps/kelvo.png /usr/share/icons/hicolor/scalable/apps/kelvo.svg \
         /usr/share/metainfo/kelvo.metainfo.xml \
         /usr/share/man/man1/kelvo.1.gz /usr/share/man/ja/man1/kelvo.1.gz \
         /usr/share/kelvo/demo/demo.ini; do
  if dpkg -S "$f" >/dev/null 2>&1 && [ -s "$f" ]; then pass "$f"; else fail "$f not installed by kelvo"; fi
done

# Every entry of the installed demo names an installed file.
missing=$(tail -n +2 /usr/share/kelvo/demo/demo.ini 2>/dev/null | tr -d '\r' |
          while IFS= read -r p; do [ -f "$p" ] || echo "$p"; done)
if [ -z "$missing" ] && [ -s /usr/share/kelvo/demo/demo.ini ]; then
  pass "the demo's entries exist"
else
  fail "the demo names missing files: $missing"
fi

if out=$(desktop-file-validate /usr/share/applications/kelvo.desktop 2>&1); then
  pass "desktop-file-validate${out:+ ($out)}"
else
  fail "desktop-file-validate: $out"
fi

# appstreamcli exits non-zero on warnings too; only errors fail.
out=$(appstreamcli validate --no-net /usr/share/metainfo/kelvo.metainfo.xml 2>&1)
echo "$out" | sed 's/^/       /'
if echo "$out" | grep -q '^E:'; then fail "appstreamcli validate"; else pass "appstreamcli validate"; fi

for lang in C ja; do
  if page=$(man -L "$lang" -w kelvo 2>/dev/null) && [ -n "$page" ] &&
     LANG=C.UTF-8 man -l "$page" 2>/dev/null | grep -q '^NAME\|^名前'; then
    pass "man ($lang): $page"
  else
    fail "man ($lang) finds no kelvo page"
  fi
done

# The installed program on the installed demo, headless and silent.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK="fakesink sync=true" XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
/usr/bin/kelvo /usr/share/kelvo/demo/demo.ini 2>"$work/stderr" &
pid=$!
# Running once its SIGTERM handler is in place (bit 14 of the caught set);
# at most 30 s.
ready=0
for _ in $(seq 300); do
  caught=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  if (( (16#${caught:-0} >> 14) & 1 )); then ready=1; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$ready" -eq 1 ]; then pass "/usr/bin/kelvo runs on the demo"; else fail "/usr/bin/kelvo did not start"; fi
sleep 1  # a moment of playing
kill -TERM "$pid" 2>/dev/null
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  kill -KILL "$pid"
  fail "kelvo still ran 30 s after SIGTERM"
fi
status=0
wait "$pid" || status=$?
if [ "$status" -eq 0 ]; then pass "kelvo exits 0 on SIGTERM"; else fail "kelvo exit status $status"; fi
if grep -q '^RandomMenu=' "$XDG_CONFIG_HOME/Tessen/kelvo.conf" 2>/dev/null; then
  pass "settings written to \$XDG_CONFIG_HOME/Tessen/kelvo.conf"
else
  fail "no settings in \$XDG_CONFIG_HOME/Tessen/kelvo.conf"
fi
if [ "$failed" -ne 0 ] && [ -s "$work/stderr" ]; then
  echo "kelvo's standard error:"
  sed 's/^/       /' "$work/stderr"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
