# Sourced by the scripts that start orvanta on loopback.

# Prints a port nobody listens on right now, below the range the kernel hands out to clients.
pick_port() {
  local port attempt
  for attempt in $(seq 1 100); do
    port=$((20000 + RANDOM % 12000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}
