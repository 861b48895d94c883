# Sourced by the virtual machines' run scripts. guest_verdict STATUS
# TIMEOUT CONSOLE RESULT WHAT: the verdict on a guest that qemu left with
# exit STATUS, having been given TIMEOUT seconds, whose console is the file
# CONSOLE and whose "VM-RESULT: N passed, N failed" line is RESULT (empty
# when it printed none). Prints it, with WHAT after the result, and fails
# when the guest hung, gave no result, or reported a failure.
guest_verdict() {
  local status=$1 timeout_seconds=$2 console=$3 result=$4 what=$5
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "FAIL: the guest did not finish within ${timeout_seconds}s; its console is $console"
    return 1
  fi
  if [ -z "$result" ]; then
    echo "FAIL: the guest gave no result (qemu exited with $status); its console:"
    tail -n 30 "$console"
    return 1
  fi
  echo "$result ($what)"
  [[ "$result" == *" 0 failed" ]]
}
