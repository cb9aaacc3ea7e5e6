#!/usr/bin/env bash
# The program as a desktop runs it, ended by signals, with preferences files that cannot be
# written, cannot be read or are very large. Each case copies the program into a folder of its
# own (the preferences live beside it), starts it on the offscreen platform and ends it.
#   prefs_check.sh PROGRAM
set -uo pipefail
program=$(realpath "$1")
# A mount namespace of its own, where one can be had, so that the small disk mounted below goes
# away with the test however it ends.
if [ -z "${PREFS_CHECK_NS:-}" ] && unshare -m --propagation private true 2>/dev/null; then
  PREFS_CHECK_NS=1 exec unshare -m --propagation private "$0" "$program"
fi
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-prefs.XXXXXX")
chmod 755 "$work"  # the unprivileged user below must reach the program
mounted=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  [ -n "$mounted" ] && umount "$mounted"
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT HUP

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# As root, permissions bind nobody: the program runs as an unprivileged user where it must.
as_user=()
if [ "$(id -u)" = 0 ]; then
  if command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  else
    as_user=(false)
  fi
fi

# A configuration folder that can never be made: its parent is a file.
: >"$work/not-a-folder"
export XDG_CONFIG_HOME=$work/not-a-folder/config

# start DIR [COMMAND PREFIX...]: runs DIR/stereolux, with its standard error in DIR/err, and
# waits until it handles SIGTERM, which it does from the moment its window is made. Until the
# program is running, the process is a copy of this shell, which catches SIGTERM for its trap:
# only the program's own handler counts, so the name is read first (a process that has become
# the program stays the program).
handles_sigterm() {
  local caught
  [ "$(cat "/proc/$1/comm" 2>/dev/null)" = stereolux ] &&
    caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) &&
    ((0x${caught:-0} & 0x4000))
}

start() {
  local dir=$1
  shift
  "$@" "$dir/stereolux" 2>"$dir/err" &
  pid=$!
  local tries=0
  while [ -e "/proc/$pid" ] && ! handles_sigterm "$pid"; do
    if [ $tries -ge 600 ]; then
      fail "$dir: the program did not come up"
      kill -KILL "$pid"
      pid=""
      cat "$dir/err"
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    fail "$dir: the program ended on its own"
    cat "$dir/err"
    pid=""
    return 1
  fi
}

# finish LIMIT_MS: waits for the started program; sets status and elapsed (ms since the call).
finish() {
  local limit=$1 t0 now
  t0=$(date +%s%N)
  while kill -0 "$pid" 2>/dev/null; do
    now=$(date +%s%N)
    if [ $(((now - t0) / 1000000)) -gt "$limit" ]; then
      fail "still running $limit ms after the signal"
      kill -KILL "$pid"
      break
    fi
    sleep 0.02
  done
  wait "$pid"
  status=$?
  elapsed=$((($(date +%s%N) - t0) / 1000000))
  pid=""
}

new_case() {
  case_dir=$work/$1
  mkdir -p "$case_dir"
  chmod 755 "$case_dir"
  cp "$program" "$case_dir/stereolux"
  ini=$case_dir/stereolux.ini
}

expect_status() {
  [ "$status" = "$1" ] || fail "$case_dir: exit status $status, expected $1"
}

expect_err() {
  grep -qF -- "$1" "$case_dir/err" || {
    fail "$case_dir: standard error lacks: $1"
    sed 's/^/  | /' "$case_dir/err"
  }
}

# The C library's text for an error number, as the program gives it.
reason_of() { perl -e '$! = shift; print "$!"' "$1"; }

echo "--- an INI that is a folder: SIGTERM ends the program, the reason on standard error"
new_case folder
mkdir "$ini"
start "$case_dir" && {
  kill -TERM "$pid"
  finish 1000
  expect_status 1
  expect_err "Impossible de lire $ini : $(reason_of 21)"
  expect_err "Impossible d'écrire dans $ini : $(reason_of 21)"
  [ -d "$ini" ] || fail "the folder in the INI's place was replaced"
}

echo "--- a read-only INI in a read-only folder, as an ordinary user"
if [ "${as_user[0]:-}" = false ]; then
  echo "skipped: running as root without setpriv to leave it"
else
  new_case readonly
  printf '[AudioSource]\nInLevelCoefLeft=50\n' >"$ini"
  chmod 444 "$ini"
  chmod 555 "$case_dir"
  start "$case_dir" "${as_user[@]}" && {
    kill -TERM "$pid"
    finish 1000
    expect_status 1
    expect_err "Impossible d'écrire dans $ini : $(reason_of 13)"
    [ "$(cat "$ini")" = "$(printf '[AudioSource]\nInLevelCoefLeft=50')" ] || fail "the INI changed"
  }
fi

echo "--- the same, with a configuration folder of the user's: nothing is lost"
if [ "${as_user[0]:-}" = false ]; then
  echo "skipped: running as root without setpriv to leave it"
else
  new_case fallback
  printf '; kept\n[AudioSource]\nInLevelCoefLeft=50\n' >"$ini"
  chmod 444 "$ini"
  chmod 555 "$case_dir"
  mkdir "$work/config"
  [ "$(id -u)" = 0 ] && chown 65534:65534 "$work/config"
  config=$work/config/stereolux/stereolux.ini
  XDG_CONFIG_HOME=$work/config start "$case_dir" "${as_user[@]}" && {
    kill -TERM "$pid"
    finish 1000
    expect_status 1
    expect_err "Impossible d'écrire dans $ini : $(reason_of 13)"
    expect_err "Les préférences ont été enregistrées dans $config"
    grep -q '^; kept$' "$config" && grep -q '^InLevelCoefLeft=50$' "$config" &&
      grep -q '^GUIShowPnlConfig=1$' "$config" || fail "the preferences did not reach $config"
  }
  # The next start reads the newer file there, and writes there.
  sed -i 's/^InLevelCoefLeft=50$/InLevelCoefLeft=0x46/' "$config"
  touch "$config"
  XDG_CONFIG_HOME=$work/config start "$case_dir" "${as_user[@]}" && {
    kill -TERM "$pid"
    finish 1000
    expect_status 0
    grep -q '^InLevelCoefLeft=70$' "$config" || fail "the newer file was not the one read"
    grep -q '^InLevelCoefLeft=50$' "$ini" || fail "the INI beside the program changed"
  }
fi

echo "--- a second signal while the first is being served ends the program at once"
new_case second
mkdir "$ini"  # a save that would fail, so the first signal alone would end with status 1
start "$case_dir" && {
  # Stopped, the process receives both at once when it goes on: the second one finds the first
  # still being served.
  kill -STOP "$pid"
  kill -TERM "$pid"
  kill -INT "$pid"
  kill -CONT "$pid"
  finish 1000
  [ "$status" = 130 ] || [ "$status" = 143 ] || fail "exit status $status, expected 130 or 143"
  grep -q "Impossible d'écrire" "$case_dir/err" && fail "the second signal waited for the save"
}

echo "--- a full disk"
full=$work/full
mkdir -p "$full"
if mount -t tmpfs -o size=24m,mode=755 stereolux-prefs-test "$full" 2>/dev/null; then
  mounted=$full
  new_case full/disk
  printf '[GUI]\nGUIShowPnlLevel=1\n; the rest of the disk is filled below\n' >"$ini"
  cp "$ini" "$work/full-before"
  start "$case_dir" && {
    dd if=/dev/zero of="$full/filler" bs=64k 2>/dev/null
    kill -TERM "$pid"
    finish 1000
    expect_status 1
    expect_err "Impossible d'écrire dans $ini : $(reason_of 28)"
    cmp -s "$ini" "$work/full-before" || fail "the old INI was damaged"
    [ "$(find "$case_dir" -name '.stereolux.ini.tmp*' | wc -l)" = 0 ] ||
      fail "a temporary file was left behind"
  }
  umount "$full" && mounted=""
else
  echo "skipped: no tmpfs can be mounted here (needs root in a namespace that may mount)"
fi

echo "--- a symbolic link to an INI that does not exist yet"
new_case link
mkdir "$case_dir/dotfiles"
ln -s dotfiles/stereolux.ini "$ini"
start "$case_dir" && {
  kill -TERM "$pid"
  finish 1000
  expect_status 0
  [ -L "$ini" ] || fail "the link was replaced"
  grep -q '^GUIShowPnlConfig=1$' "$case_dir/dotfiles/stereolux.ini" 2>/dev/null ||
    fail "the link's target did not receive the preferences"
}

# The largest use of memory while the program runs with an INI of SIZE_MB megabytes of blank
# lines, under an address-space limit that such a file read line by line into memory would
# break; and what the INI looks like afterwards.
echo "--- large INI files under a memory limit"
new_case empty
start "$case_dir" && {
  base_kb=$(awk '/^VmPeak:/ { print $2 }' "/proc/$pid/status")
  kill -TERM "$pid"
  finish 1000
}
limit_kb=$((base_kb + 300 * 1024))
for size_mb in 15 50; do
  new_case "large$size_mb"
  {
    head -c $((size_mb * 1000000)) /dev/zero | tr '\0' '\n'
    printf '[AudioSource]\nInLevelCoefLeft=0x50\n'
  } >"$ini"
  sum=$(md5sum <"$ini")
  start "$case_dir" prlimit --as=$((limit_kb * 1024)) -- && {
    hwm_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill -TERM "$pid"
    finish 3000
    echo "${size_mb} MB of blank lines: peak resident memory ${hwm_kb} kB"
    [ "$hwm_kb" -lt $((200 * 1024)) ] || fail "$size_mb MB INI: $hwm_kb kB resident"
    if [ $size_mb = 15 ]; then
      expect_status 0
      grep -q '^InLevelCoefLeft=80$' "$ini" || fail "the 15 MB INI was not read"
    else
      expect_status 1
      expect_err "Impossible de lire $ini : $(reason_of 27)"
      [ "$(md5sum <"$ini")" = "$sum" ] || fail "the 50 MB INI was written over"
    fi
  }
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
