#!/bin/sh
# Runs in a simulated segment's PC namespace (scripts/segment --devices 1
# --event-log ...): a password given by file or by environment reaches the
# device unchanged, and the argument wins over both, the file over the
# environment. The passwords are wrong ones, so each factory-default request
# is refused at once (401) and nothing resets.
set -u
cli=$1
log=${DK_SEG_EVENT_LOG:?needs --event-log}
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
fail=0
mac=02:44:4B:00:00:00
# Only the first line counts, without its CR LF.
printf 'Fi!e_pw-1\r\nsecond line\n' >"$tmp/pw"

run() {  # name, expected PWD, cli args... (the environment is the caller's)
  name=$1 want=$2
  shift 2
  before=$(grep -c '"ev":"http_request"' "$log")
  "$cli" factory-default --mac "$mac" --user root "$@" >"$tmp/out" 2>&1
  rc=$?
  got=$(grep '"ev":"http_request"' "$log" | tail -n +$((before + 1)) | grep -o 'PWD=[^&]*' | head -n 1)
  if [ "$rc" -ne 1 ] || [ "$got" != "PWD=$want" ]; then
    echo "$name: status $rc (want 1), sent '$got' (want 'PWD=$want')"; cat "$tmp/out"; fail=1
  fi
}

DRAVENKIT_PASSWORD='Env_pw.2' run "environment" 'Env_pw.2'
DRAVENKIT_PASSWORD='Env_pw.2' run "file over environment" 'Fi!e_pw-1' --password-file "$tmp/pw"
DRAVENKIT_PASSWORD='Env_pw.2' run "argument over both" 'Arg_pw~3' --password-file "$tmp/pw" --password 'Arg_pw~3'
run "file alone" 'Fi!e_pw-1' --password-file "$tmp/pw"

# The inventory: the right password from a file opens every request (the
# mode query's JSON body too); a wrong one from the environment reaches the
# value requests as given (the devices refuse them with 401).
printf 'tulp\n' >"$tmp/right"
"$cli" inventory --all --json --password-file "$tmp/right" >"$tmp/inv" 2>&1
rc=$?
if [ $rc -ne 0 ] || ! grep -q '"system_mode":"encoder","firmware_version":"2.4.1"' "$tmp/inv"; then
  echo "inventory with the password file: status $rc"; cat "$tmp/inv"; fail=1
fi
before=$(grep -c '"ev":"http_request"' "$log")
DRAVENKIT_PASSWORD='Env_pw.2' "$cli" inventory --all --json >"$tmp/inv" 2>&1
got=$(grep '"ev":"http_request"' "$log" | tail -n +$((before + 1)) | grep -o 'PWD=[^&]*' | sort -u)
refused=$(tail -n +$((before + 1)) "$log" | grep -c '"ev":"http_auth_refused"')
if [ "$got" != "PWD=Env_pw.2" ] || [ "$refused" -lt 3 ]; then
  echo "inventory with the environment: sent '$got', $refused refused (want 3)"; cat "$tmp/inv"; fail=1
fi

[ $fail -eq 0 ] && echo "segment password: every source reached the device as given"
exit $fail
