# Shell helper of the peer checks against kelvarian-sim; sourced, not run.

# Waits until the simulator whose output goes to FILE says "ready"; says what
# it printed instead and fails when it never does.
wait_for_sim() {
  local out=$1 _
  for _ in $(seq 100); do
    grep -q '^ready' "$out" && return 0
    sleep 0.1
  done
  echo "kelvarian-sim did not start:"
  cat "$out"
  return 1
}
