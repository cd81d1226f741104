#!/usr/bin/env bash
# A user who may not open the drive's device images it through the UDisks2 service when polkit
# allows it, and is refused with the service's reason when it does not. The test starts its own
# system bus (on a private socket), polkitd, udisksd and, when none runs, systemd-udevd, and
# stops exactly those. Usage: udisks_test.sh TAVREL_CLI ANSWER_PROMPTS [TAVREL], the last the
# dialog when it is built.
set -uo pipefail
cli=$1
answer=$2
dialog=${3:-}

skip() {
  if [ "${CI:-}" = "true" ]; then echo "FAIL: CI=true and a facility is missing: $1" >&2; exit 1; fi
  echo "SKIP: $1"; exit 77
}
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || skip "needs root (to start the system services and make a test user)"
polkitd=/usr/lib/polkit-1/polkitd
udisksd=/usr/libexec/udisks2/udisksd
udevd=/lib/systemd/systemd-udevd
for tool in flock dbus-daemon busctl udevadm losetup mkfs.fat mkfs.ext2 mount umount mcopy setpriv \
            useradd userdel chpasswd pkttyagent mkfifo pkill perl timeout strace "$polkitd" "$udisksd" \
            "$udevd"; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -d /etc/polkit-1/rules.d ] || skip "polkitd is not installed (no /etc/polkit-1/rules.d)"

# The user, the rule and the helper's socket belong to the machine: runs from other build
# trees take turns.
exec 9>/run/lock/tavrel-udisks-test.lock
flock -w 100 9 || skip "another run of this test kept the machine for 100 s"

user=tavrel-udisks-test
rule=/etc/polkit-1/rules.d/49-tavrel-udisks-test.rules
dir=$(mktemp -d)
chmod 755 "$dir"
pids=()   # started services, stopped in reverse order
loops=()
mounted=
made_user=   # what cleanup may remove: only what this run made
made_rule=
# polkit's password helper is setuid, so it ignores DBUS_SYSTEM_BUS_ADDRESS and looks for the
# bus where a system bus lives. Where none runs, ours listens there too.
helper_socket=/run/dbus/system_bus_socket
own_helper_socket=
busctl --address="unix:path=$helper_socket" status >/dev/null 2>&1 ||
  own_helper_socket=$helper_socket

# Ends a process we started: TERM, then KILL when it is not gone within 10 s.
stop() {
  local pid=$1 deadline=$((SECONDS + 10))
  kill "$pid" 2>/dev/null || return 0
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  [ -n "$mounted" ] && umount "$mounted"
  for loop in "${loops[@]}"; do losetup -d "$loop"; done
  [ -n "$made_rule" ] && rm -f "$rule"
  [ -n "$own_helper_socket" ] && rm -f "$own_helper_socket"
  [ -n "$made_user" ] && userdel "$user"
  rm -rf "$dir"
}
trap cleanup EXIT

# Waits for a condition (a command) with a deadline in seconds.
until_true() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}
on_bus() { busctl --system list --no-legend 2>/dev/null | grep -q "^$1 "; }

# A user of its own, in no group that could open the devices.
id "$user" >/dev/null 2>&1 && userdel "$user"
useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || fail "useradd"
made_user=1
# Runs a command as the user, in the output folder, with only what it needs of our environment.
user_command() {
  (cd "$dir/out" && setpriv --reuid="$user" --regid="$user" --clear-groups \
    env -i PATH=/usr/bin:/bin DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" \
    HOME="$dir/out" QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="${ASAN_OPTIONS:-}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    LSAN_OPTIONS="suppressions=$(dirname "$0")/../lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    "$@")
}
run_as_user() { user_command timeout 60 "$@" </dev/null >"$dir/stdout" 2>"$dir/stderr"; }
as_user() { run_as_user "$cli" "$@"; }
# The same at a terminal of its own, where a person answers polkit's password question.
at_terminal() { user_command timeout 60 "$answer" "$password" "$@"; }
mkdir "$dir/out" && chown "$user" "$dir/out"

# drives --scan lists the source diskette's loop device, found where SOURCE says.
scan_lists_source() {
  as_user drives --scan &&
    grep -qx "Found $1" "$dir/stdout" &&
    grep -q "^$source_dev \+loop \+1\.44 MB \+yes " "$dir/stdout"
}

# The diskettes: one with files to read, one freshly formatted to write, and one of another
# system's format to mount (this kernel may have no FAT driver).
mkfs.fat -C "$dir/source.raw" 1440 >/dev/null || fail "mkfs.fat"
head -c 300000 /dev/urandom >"$dir/payload"
MTOOLS_SKIP_CHECK=1 mcopy -i "$dir/source.raw" "$dir/payload" ::PAYLOAD.BIN || fail "mcopy"
mkfs.fat -C "$dir/target.raw" 1440 >/dev/null || fail "mkfs.fat"
cp "$dir/target.raw" "$dir/target.before"
mkfs.ext2 -q -F "$dir/mounted.raw" 1440 >/dev/null || fail "mkfs.ext2"
for image in source target mounted; do
  loop=$(losetup -f --show "$dir/$image.raw") || skip "no loop device: losetup is not allowed here"
  loops+=("$loop")
done
source_dev=${loops[0]}
target_dev=${loops[1]}
mounted_dev=${loops[2]}

# The bus first, on a private socket.
cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/bus</listen>
  ${own_helper_socket:+<listen>unix:path=$own_helper_socket</listen>}
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/bus
[ -n "$own_helper_socket" ] && mkdir -p "$(dirname "$own_helper_socket")"

# No bus at all: the job fails at once with the system's refusal, as for any drive it may not open.
as_user compress "$source_dev" none.tvl
rc=$?
[ $rc = 2 ] || fail "without a bus: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "Drive Error: Permission denied" "$dir/stderr" || fail "without a bus: $(cat "$dir/stderr")"
grep -q "UDisks2" "$dir/stderr" && fail "without a bus: $(cat "$dir/stderr")"
[ ! -e "$dir/out/none.tvl" ] || fail "without a bus: none.tvl was written"
scan_lists_source "in /sys" || fail "without a bus, scan: $(cat "$dir/stdout" "$dir/stderr")"

dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/dbus.log" 2>&1 &
pids+=($!)
until_true 10 busctl --system status org.freedesktop.DBus >/dev/null 2>&1 ||
  fail "the bus did not start: $(cat "$dir/dbus.log")"

# udisksd knows the devices udev has seen; udev must see ours.
if ! udevadm control --ping >/dev/null 2>&1; then
  "$udevd" >"$dir/udevd.log" 2>&1 &
  pids+=($!)
  until_true 10 udevadm control --ping >/dev/null 2>&1 ||
    fail "systemd-udevd did not start: $(cat "$dir/udevd.log")"
fi
for loop in "${loops[@]}"; do
  udevadm trigger --action=add "/sys/class/block/${loop#/dev/}" || fail "udevadm trigger $loop"
done
udevadm settle --timeout=20 || fail "udevadm settle"

start_polkitd() {
  "$polkitd" >>"$dir/polkitd.log" 2>&1 &
  polkit_pid=$!
  pids+=($polkit_pid)
  until_true 15 on_bus org.freedesktop.PolicyKit1 || fail "polkitd did not start: $(cat "$dir/polkitd.log")"
}
rm -f "$rule"
start_polkitd

# A bus without UDisks2: still the plain refusal.
as_user compress "$source_dev" none.tvl
rc=$?
[ $rc = 2 ] || fail "without UDisks2: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "Drive Error: Permission denied" "$dir/stderr" || fail "without UDisks2: $(cat "$dir/stderr")"
grep -q "UDisks2" "$dir/stderr" && fail "without UDisks2: $(cat "$dir/stderr")"
scan_lists_source "in /sys" || fail "without UDisks2, scan: $(cat "$dir/stdout" "$dir/stderr")"

"$udisksd" >"$dir/udisksd.log" 2>&1 &
udisks_pid=$!
pids+=($udisks_pid)
for loop in "${loops[@]}"; do
  until_true 20 busctl --system introspect org.freedesktop.UDisks2 \
    "/org/freedesktop/UDisks2/block_devices/${loop#/dev/}" >/dev/null 2>&1 ||
    fail "UDisks2 does not show $loop: $(cat "$dir/udisksd.log")"
done
# The service fills in an object's interfaces as it learns them: wait for the scan to see it all.
until_true 10 scan_lists_source "through UDisks2" ||
  fail "scan through UDisks2: $(cat "$dir/stdout" "$dir/stderr")"

# No rule: polkit says no at once, nothing is read or written.
"$cli" -q compress "$source_dev" "$dir/source.tvl" || fail "compress as root"
chmod 644 "$dir/source.tvl"
as_user compress "$source_dev" out.tvl
rc=$?
[ $rc = 2 ] || fail "refused compress: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "Not authorized" "$dir/stderr" || fail "refused compress says: $(cat "$dir/stderr")"
[ ! -e "$dir/out/out.tvl" ] || fail "refused compress left out.tvl"
as_user expand "$dir/source.tvl" "$target_dev"
rc=$?
[ $rc = 2 ] || fail "refused expand: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "Not authorized" "$dir/stderr" || fail "refused expand says: $(cat "$dir/stderr")"
cmp -s "$dir/target.raw" "$dir/target.before" || fail "refused expand wrote to the drive"

# polkitd reads its rules when it starts: restart it with a rule giving the user RESULT.
set_rule() {
  stop "$polkit_pid"
  until_true 10 bash -c "! busctl --system list --no-legend 2>/dev/null | grep -q '^org.freedesktop.PolicyKit1 '" ||
    fail "polkitd did not leave the bus"
  made_rule=1
  cat >"$rule" <<EOF
polkit.addRule(function(action, subject) {
  if (action.id.indexOf("org.freedesktop.udisks2.open-device") == 0 && subject.user == "$user")
    return polkit.Result.$1;
});
EOF
  start_polkitd
}
set_rule YES

# The service's own open calls show the access each job asked for: only an expand writes.
strace -f -e trace=open,openat -o "$dir/udisksd.trace" -p "$udisks_pid" 2>"$dir/strace.log" &
strace_pid=$!
pids+=($strace_pid)
until_true 10 grep -qs attached "$dir/strace.log" || skip "cannot trace udisksd: $(cat "$dir/strace.log")"
as_user compress "$source_dev" out.tvl
rc=$?
[ $rc = 0 ] || fail "allowed compress: exit $rc: $(cat "$dir/stderr")"
cmp -s "$dir/out/out.tvl" "$dir/source.tvl" || fail "the user's image differs from root's"
as_user verify out.tvl "$source_dev"
rc=$?
[ $rc = 0 ] || fail "allowed verify of the source: exit $rc: $(cat "$dir/stderr")"
as_user expand out.tvl "$target_dev"
rc=$?
[ $rc = 0 ] || fail "allowed expand: exit $rc: $(cat "$dir/stderr")"
cmp -s "$dir/target.raw" "$dir/source.raw" || fail "the expanded drive differs from the source"
stop "$strace_pid"
opened() { grep -q "\"$1\", $2" "$dir/udisksd.trace"; }
opened "$source_dev" O_RDONLY && ! opened "$source_dev" O_RDWR && opened "$target_dev" O_RDWR ||
  fail "compress and verify must ask for reading only, expand for writing:" \
    "$(grep /dev/loop "$dir/udisksd.trace")"
as_user verify out.tvl "$target_dev"
rc=$?
[ $rc = 0 ] || fail "allowed verify: exit $rc: $(cat "$dir/stderr")"

# A drive another program holds (as a mount does: an exclusive open) is refused even when the
# service would open it.
coproc holder { perl -MFcntl -e 'sysopen(my $d, $ARGV[0], O_RDONLY | O_EXCL) or die "$!\n";
  $| = 1; print "held\n"; <STDIN>;' "$target_dev"; }
pids+=($holder_PID)
read -r -t 10 held <&"${holder[0]}"
[ "${held:-}" = held ] || fail "cannot hold $target_dev exclusively"
as_user verify out.tvl "$target_dev"
rc=$?
[ $rc = 2 ] || fail "held drive: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "busy" "$dir/stderr" || fail "held drive says: $(cat "$dir/stderr")"

stop "$holder_PID"

# A mounted drive: the same refusal.
mkdir "$dir/mnt"
mount "$mounted_dev" "$dir/mnt" || skip "cannot mount an ext2 file system here"
mounted=$dir/mnt
as_user compress "$mounted_dev" mounted.tvl
rc=$?
[ $rc = 2 ] || fail "mounted drive: exit $rc, not 2: $(cat "$dir/stderr")"
grep -q "busy" "$dir/stderr" || fail "mounted drive says: $(cat "$dir/stderr")"
[ ! -e "$dir/out/mounted.tvl" ] || fail "mounted drive: mounted.tvl was written"
umount "$mounted" && mounted=

# Where polkit wants the user's own password: at a terminal its text agent asks there, and the
# answer opens the drive; a script is never asked, even with an agent there to ask.
if [ -n "$own_helper_socket" ]; then
  set_rule AUTH_SELF_KEEP
  password=tavrel-$RANDOM$RANDOM
  echo "$user:$password" | chpasswd || fail "chpasswd"
  at_terminal "$cli" compress "$source_dev" tty.tvl >"$dir/tty.log" 2>&1
  rc=$?
  [ $rc = 0 ] || fail "compress at a terminal: exit $rc: $(cat "$dir/tty.log")"
  grep -q "AUTHENTICATING FOR org.freedesktop.udisks2.open-device" "$dir/tty.log" ||
    fail "compress at a terminal was not asked: $(cat "$dir/tty.log")"
  cmp -s "$dir/out/tty.tvl" "$dir/source.tvl" || fail "the terminal's image differs from root's"

  # The script runs at the same terminal as an agent that would ask, with its input elsewhere.
  asked=$(grep -c "Operator of" "$dir/polkitd.log")
  at_terminal bash -c 'mkfifo agent.ready &&
      { pkttyagent --process $$ --notify-fd 3 3>agent.ready & } && cat agent.ready &&
      exec "$@" </dev/null' script "$cli" compress "$source_dev" script.tvl >"$dir/script.log" 2>&1
  rc=$?
  pkill -u "$user" -x pkttyagent
  [ $rc = 2 ] || fail "compress from a script beside an agent: exit $rc: $(cat "$dir/script.log")"
  grep -q "Not authorized" "$dir/script.log" || fail "script beside an agent says: $(cat "$dir/script.log")"
  [ "$(grep -c "Operator of" "$dir/polkitd.log")" = "$asked" ] ||
    fail "a script's call had the agent ask: $(tail -n 3 "$dir/polkitd.log")"
  [ ! -e "$dir/out/script.tvl" ] || fail "compress from a script wrote script.tvl"

  # "tavrel-cli ... &" keeps the terminal as its input, but its agent could not ask there
  # (SIGTTOU stops it): a background job is not asked, and fails at once.
  user_command timeout 30 "$answer" --background "$password" "$cli" compress "$source_dev" bg.tvl \
    >"$dir/bg.log" 2>&1
  rc=$?
  pkill -u "$user" -x pkttyagent
  [ $rc = 2 ] || fail "compress in the background of a terminal: exit $rc: $(cat "$dir/bg.log")"
  grep -q "Not authorized" "$dir/bg.log" || fail "background job says: $(cat "$dir/bg.log")"
  set_rule YES
else
  echo "NOTE: a system bus runs at $helper_socket: the password prompt at a terminal is not tried"
fi

# The dialog finds the drive through the service, gives it the letter the console tool
# proposes, and images it for the user.
if [ -n "$dialog" ]; then
  as_user drives --scan || fail "scan before the dialog: $(cat "$dir/stderr")"
  letter=$(awk -v dev="$source_dev" '$1 == dev { print substr($NF, 1, 1) }' "$dir/stdout")
  [ -n "$letter" ] || fail "no letter proposed for $source_dev: $(cat "$dir/stdout")"
  run_as_user "$dialog" /O:COMPRESS "/D:$letter" /F:dialog.img /A /N
  rc=$?
  [ $rc = 0 ] || fail "the dialog's compress of $letter: exit $rc: $(cat "$dir/stderr")"
  cmp -s "$dir/out/dialog.img" "$dir/source.tvl" || fail "the dialog's image differs from root's"
fi

# A box of diskettes imaged and verified through the service: after the first, the loop device
# is detached and the next diskette's file attached to it at once, too quickly for a poll to
# see the drive empty: the user, who may not open the device, tells the two apart by the file
# behind it.
mkfs.fat -C "$dir/second.raw" 1440 >/dev/null || fail "mkfs.fat"
MTOOLS_SKIP_CHECK=1 mcopy -i "$dir/second.raw" "$dir/payload" ::SECOND.BIN || fail "mcopy"
"$cli" -q compress "$dir/second.raw" "$dir/second.tvl" || fail "compress of second.raw as root"
user_command timeout 60 "$cli" batch "$source_dev" box --count 2 </dev/null >"$dir/batch.out" \
  2>"$dir/batch.err" &
batch_pid=$!
pids+=($batch_pid)
until_true 30 grep -q "^disk-001: " "$dir/batch.out" ||
  fail "batch, first diskette: $(cat "$dir/batch.out" "$dir/batch.err")"
losetup -d "$source_dev" || fail "losetup -d $source_dev"
# udev's and the service's own looks may hold the device a moment after it was let go.
until_true 10 losetup "$source_dev" "$dir/second.raw" 2>/dev/null || fail "losetup $source_dev"
wait "$batch_pid"
rc=$?
[ $rc = 0 ] || fail "batch: exit $rc: $(cat "$dir/batch.out" "$dir/batch.err")"
grep -q "^disk-002: done, .*" "$dir/batch.out" || fail "batch: $(cat "$dir/batch.out")"
cmp -s "$dir/out/box/disk-001.tvl" "$dir/source.tvl" || fail "the batch's first image differs"
cmp -s "$dir/out/box/disk-002.tvl" "$dir/second.tvl" || fail "the batch's second image differs"
grep -q "^verify: same$" "$dir/out/box/disk-002.info" || fail "batch: $(cat "$dir/out/box/disk-002.info")"
as_user check box || fail "check of the batch's folder: $(cat "$dir/stdout" "$dir/stderr")"

echo "PASS: through UDisks2 as $user: scan, refused without the rule, compress/expand/verify" \
  "with it, read-only but for expand${dialog:+ (and from the dialog)}${own_helper_socket:+,}" \
  "${own_helper_socket:+asked at a terminal and not from a script or a background job,}" \
  "held and mounted drives refused, a batch of two diskettes swapped in a loop device"
