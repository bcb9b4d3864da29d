#!/usr/bin/env bash
# tools/install-packages as a user meets it, on a list with a package this machine lacks: a
# user who cannot install (not root, no sudo) gets the exact command to run and a failure;
# only the requested sets count; with everything installed it does nothing.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# A copy the unprivileged user can read wherever the checkout lies (a private temporary
# folder, a home directory).
script=$work/install-packages
cp "$1/tools/install-packages" "$script"
chmod 755 "$script"
failures=0
check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}

# A PATH with what the script uses and without sudo.
mkdir "$work/bin"
for tool in bash env dirname dpkg-query dpkg grep id cat; do
  ln -s "$(command -v "$tool")" "$work/bin/$tool"
done
present=$(dpkg-query -W -f='${Package}\n' bash coreutils 2>/dev/null | head -n 1)
cat >"$work/list.txt" <<LIST
# a test list
demo: $present motionseg-test-missing-one
test: motionseg-test-missing-two   # a comment
cross: motionseg-test-missing-three:motionsegarch
LIST
chmod 644 "$work/list.txt"

# Not root: as the unprivileged user nobody when this runs as root, else as this user.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() {
  (cd "$work" && "${as_user[@]}" env -i PATH="$work/bin" MOTIONSEG_PACKAGE_LIST="$work/list.txt" "$@" \
    bash "$script" "${sets[@]}" >"$work/out" 2>&1)
}

sets=(demo)
run
status=$?
check "a user who cannot install fails" test "$status" -eq 1
check "the exact command for the missing package of the set" \
  grep -qx "  apt-get update && apt-get install -y motionseg-test-missing-one" "$work/out"
check "no installed package and no other set in it" \
  bash -c "! grep -q '$present \|missing-two' '$work/out'"

sets=(demo test)
run
check "both sets" grep -qx \
  "  apt-get update && apt-get install -y motionseg-test-missing-one motionseg-test-missing-two" \
  "$work/out"

# A package of an architecture not enabled: the command enables it first.
sets=(cross)
run
check "another architecture is enabled before the update" grep -qx \
  "  dpkg --add-architecture motionsegarch && apt-get update && apt-get install -y motionseg-test-missing-three:motionsegarch" \
  "$work/out"

sets=(demo)
run MOTIONSEG_NO_INSTALL=1
status=$?
check "MOTIONSEG_NO_INSTALL only names the packages" test "$status" -eq 0

printf 'demo: %s\n' "$present" >"$work/list.txt"
run
status=$?
check "nothing missing: nothing done, nothing printed" test "$status" -eq 0 -a ! -s "$work/out"

echo "$((7 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
