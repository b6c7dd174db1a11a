# Formats the timer's results and checks them against the targets; sourced by
# bench/run.sh and bench/wine.sh. A results file holds groups of lines, each
# group a floor line ("floor|-") followed by one command on each store size
# ("COMMAND|SIZE"), with the medians of wall and processor time in
# milliseconds and the peak memory in kilobytes.
# Ratios are taken within a group: those cases ran side by side.

print_table() {
  awk -F'\t' '
    NF != 4 { print "bench: not a line of timer results: " $0 > "/dev/stderr"; exit 1 }
    BEGIN {
      printf "%-20s %8s %10s %8s %8s %8s %9s %9s\n", "command", "presets", "median ms", "x floor",
             "x fresh", "cpu ms", "peak MB", "+MB floor"
    }
    {
      split($1, label, "|")
      if (label[1] == "floor") {
        floor_ms = $2; floor_cpu = $3; floor_kb = $4; fresh_ms = 0; printed = 0
        next
      }
      if (fresh_ms == 0) fresh_ms = $2
      if (!printed) {
        printf "%-20s %8s %10.2f %8.2f %8s %8.2f %9.1f %9s\n", "(floor)", "-", floor_ms, 1, "-",
               floor_cpu, floor_kb / 1024, "-"
        printed = 1
      }
      printf "%-20s %8s %10.2f %8.2f %8.2f %8.2f %9.1f %9.1f\n", label[1], label[2], $2,
             $2 / floor_ms, $2 / fresh_ms, $3, $4 / 1024, ($4 - floor_kb) / 1024
    }' "$1"
}

# check_targets RESULTS LARGEST_SIZE: one line per target, "met" or "MISSED".
check_targets() {
  awk -F'\t' -v largest="$2" '
    NF != 4 { print "bench: not a line of timer results: " $0 > "/dev/stderr"; exit 1 }
    function verdict(text, value, limit) {
      printf "target: %-58s %7.2f (at most %s) %s\n", text, value, limit,
             value <= limit ? "met" : "MISSED"
    }
    {
      split($1, label, "|")
      if (label[1] == "floor") { floor_ms = $2; floor_kb = $4; fresh_ms = 0; next }
      if (fresh_ms == 0) {
        fresh_ms = $2
        fresh_cpu = $3
        if (label[1] == "view") verdict("view, fresh store, x floor", $2 / floor_ms, 2.0)
      }
      if (label[2] != largest) next
      if (label[1] == "view") {
        verdict("view, " largest " presets, x view on a fresh store", $2 / fresh_ms, 25)
        verdict("view, " largest " presets, MB above the floor", ($4 - floor_kb) / 1024, 10)
        printf "  (in processor time rather than wall time: %.2f)\n", $3 / fresh_cpu
      } else if (label[1] !~ /^view/) {
        verdict(label[1] ", " largest " presets, x the same on a fresh store", $2 / fresh_ms, 2.0)
      }
    }' "$1"
}
