#!/usr/bin/env bash
# The static check catches what it is for: a shell or process start planted in
# shipped code or in a test is reported; a comment naming one, and the listed
# test harness call, are not.
set -uo pipefail
check="$1"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/session" "$tree/tests/device" "$tree/platform/ui"

expect() {  # expect <status> <what>
  "$check" "$tree" >/dev/null 2>&1
  local status=$?
  if [[ $status != "$1" ]]; then
    echo "check-security gave $status, not $1: $2" >&2
    exit 1
  fi
}

echo '// Whether the X server is the window system (decided once).' > "$tree/platform/ui/keys.cpp"
echo '    execv(argv[0], argv.data());' > "$tree/tests/device/democam_process.cpp"
expect 0 "a comment and the listed harness call"

echo 'void Save(const char* name) { std::string c = "cp x "; c += name; system(c.c_str()); }' \
  > "$tree/session/Snapshot.cpp"
expect 1 "system() in shipped code"
rm "$tree/session/Snapshot.cpp"

echo 'FILE* p = popen("sh -c ls", "r");' > "$tree/tests/device/helper.cpp"
expect 1 "popen() in a test"
rm "$tree/tests/device/helper.cpp"

echo 'QProcess::startDetached("/bin/sh", {"-c", text});' > "$tree/platform/ui/open.cpp"
expect 1 "QProcess in shipped code"
echo "check-security catches every planted case"
