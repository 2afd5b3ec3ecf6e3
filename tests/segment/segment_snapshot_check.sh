#!/bin/sh
# Runs in the video fleet's segment: dravenkit-cli snapshot writes a PNG of a
# device's picture and names each failure as the monitoring window does.
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0

out=$("$cli" snapshot 10.77.1.1 --port 555 --channel 2 --password 'pa ss@:/w' --out "$dir/a.png") ||
  { echo "snapshot failed: $out"; fail=1; }
case $out in
  "480x270, first frame after "*" ms, written to $dir/a.png") ;;
  *) echo "snapshot: unexpected output '$out'"; fail=1 ;;
esac
# A PNG signature, and far more bytes than a uniform picture compresses to.
[ "$(head -c 8 "$dir/a.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || { echo "not a PNG"; fail=1; }
size=$(wc -c < "$dir/a.png")
[ "$size" -gt 20000 ] || { echo "PNG of $size bytes: picture looks empty"; fail=1; }

check() {  # expected status, expected text, arguments...
  want=$1 text=$2; shift 2
  err=$("$cli" snapshot "$@" --out "$dir/x.png" 2>&1 >/dev/null); code=$?
  [ "$code" -eq "$want" ] || { echo "snapshot $*: status $code, want $want ($err)"; fail=1; }
  case $err in *"$text"*) ;; *) echo "snapshot $*: '$err' lacks '$text'"; fail=1 ;; esac
  [ ! -e "$dir/x.png" ] || { echo "snapshot $*: wrote a file"; fail=1; }
}
check 1 "wrong ID or password" 10.77.1.1 --port 554 --password tulp
check 1 "too many viewers" 10.77.1.2 --port 554
check 1 "no answer" 10.77.1.3 --port 554 --timeout 1.5
check 2 "channel" 10.77.1.1 --channel 5
check 2 "not an IPv4 address" 10.77.1 --port 554
[ $fail -eq 0 ] && echo "segment snapshot: picture and failures as expected"
exit $fail
