# Sourced by the QEMU tests. wait_for_serial FILE MESSAGE PID: waits up to a
# minute (WAIT_SECONDS) for MESSAGE to appear in the serial output FILE of
# the QEMU started as PID, then ends that QEMU. Succeeds when the message
# came.
wait_for_serial() {
  local file=$1 message=$2 pid=$3 found=1
  for _ in $(seq 1 $((2 * ${WAIT_SECONDS:-60}))); do
    if grep -q "$message" "$file" 2>/dev/null; then
      found=0
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return $found
}
