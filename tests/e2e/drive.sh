# What the end-to-end scripts share: one probe process that works the program's window, and the
# poll that every wait for the program goes through.
# shellcheck shell=bash

# poll SECONDS COMMAND...: runs COMMAND until it succeeds, for up to SECONDS.
poll() {
  local tries=$(($1 * 20))
  shift
  until "$@"; do
    ((--tries > 0)) || return 1
    sleep 0.05
  done
}

# start_probe: runs `wine ${probe_command[@]}` as the probe, in the locale that LOCALE names,
# until stop_probe; the program it starts inherits its environment.
probe_pid=
start_probe() {
  stop_probe
  coproc PROBE { exec env LC_ALL="$LOCALE" wine "${probe_command[@]}"; }
  # Copies that pipelines may use too, as a coprocess's own are closed in them.
  probe_pid=$PROBE_PID
  exec {probe_in}>&"${PROBE[1]}" {probe_out}<&"${PROBE[0]}"
  local input=${PROBE[1]} line
  exec {input}>&-
  # Once the probe says it is ready, Wine's server is up: two Wine processes that start it at once
  # may find its folder gone.
  IFS= read -r line <&"$probe_out" && [ "$line" = $'\x1fok' ]
}
stop_probe() {
  [ -n "$probe_pid" ] || return 0
  # At the end of its input the probe ends the program, if it still runs, and itself.
  exec {probe_in}>&- {probe_out}<&-
  wait "$probe_pid" || true
  probe_pid=
}

# start_program: the probe starts $program and prints what showed first: window or message-box;
# start_window: the window, and no message box instead.
start_program() { probe start "Z:$program"; }
start_window() {
  local shown
  shown=$(start_program)
  [ "$shown" = window ] || { echo "the program started with a $shown, not its window" >&2 && return 1; }
}

# probe COMMAND ARG...: the probe runs the command and its output is printed; fails if it failed.
probe() {
  local IFS=$'\t' line
  printf '%s\n' "$*" >&"$probe_in"
  while IFS= read -r line <&"$probe_out"; do
    if [[ $line == $'\x1f'* ]]; then
      [ "$line" = $'\x1fok' ]
      return
    fi
    printf '%s\n' "$line"
  done
  echo "the probe ended" >&2
  return 1
}
