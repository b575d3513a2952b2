# Shared by the scripts that drive kelvo over MPRIS with playerctl. The caller
# sets `passed=0 failed=0` and CHECK_TRIES (tenths of a second to retry).

# check NAME EXPECTED COMMAND...: retries until the output matches.
check() {
  local name=$1 expected=$2 got=""
  shift 2
  for _ in $(seq "${CHECK_TRIES:-50}"); do
    got=$("$@" 2>/dev/null)
    [ "$got" = "$expected" ] && { passed=$((passed + 1)); return; }
    sleep 0.1
  done
  failed=$((failed + 1))
  echo "FAIL: $name: expected '$expected', got '$got'"
}
pc() { timeout 5 playerctl -p kelvo "$@"; }
