# Sourced by the start benchmarks: start_to_listening PROGRAM starts the program hidden on a
# virtual display, in the HOME and XDG folders already exported, prints the seconds from the
# launch until it listens for commands from other starts, then ends it with --quit.
start_to_listening() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    program=$1
    socket=$XDG_RUNTIME_DIR/$(basename "$program").sock
    start=$(date +%s.%N)
    "$program" /background 2>/dev/null &
    pid=$!
    until [ -S "$socket" ]; do
      kill -0 "$pid" 2>/dev/null || { echo "the program ended before listening" >&2; exit 1; }
      sleep 0.005
    done
    end=$(date +%s.%N)
    echo "$end - $start" | bc
    "$program" --quit
    wait "$pid"
  ' _ "$1"
}
