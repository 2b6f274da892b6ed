# Shell helpers of the end-to-end checks under Wine; sourced, not run.

failed=0
# A failed check is reported and the run goes on, so that one run names every fault.
fail() {
  echo "FAILED: $*"
  failed=1
}

# A port in the unassigned range that nothing listens on.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  echo "no free port" >&2
  exit 1
}
