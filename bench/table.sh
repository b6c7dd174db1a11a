# Formats the timer's results and checks them against the targets; sourced by
# bench/run.sh and bench/wine.sh. A results file holds groups of lines, each
# group a floor line ("floor|-") followed by one command on each store size
# ("COMMAND|SIZE"), with the medians of wall and processor time in
# milliseconds and the peak memory in kilobytes. An instructions file, when
# given, holds "LABEL<TAB>COUNT" lines for the same labels.
# Ratios are taken within a group: those cases ran side by side.

# print_table RESULTS [INSTRUCTIONS]
print_table() {
  awk -F'\t' '
    FILENAME == instructions_file { instructions[$1] = $2; next }
    NF != 4 { print "bench: not a line of timer results: " $0 > "/dev/stderr"; exit 1 }
    function count(label) { return label in instructions ? sprintf("%.3f", instructions[label] / 1e6) : "-" }
    function times(label, base) {
      if (!(label in instructions) || !(base in instructions) || instructions[base] == 0) return "-"
      return sprintf("%.2f", instructions[label] / instructions[base])
    }
    BEGIN {
      printf "%-20s %7s %9s %7s %7s %7s %8s %8s %7s %7s\n", "command", "presets", "median ms",
             "x floor", "x fresh", "cpu ms", "peak MB", "+MB flr", "M instr", "i x flr"
    }
    {
      split($1, label, "|")
      if (label[1] == "floor") {
        floor_ms = $2; floor_cpu = $3; floor_kb = $4; fresh_ms = 0; printed = 0
        next
      }
      if (fresh_ms == 0) fresh_ms = $2
      if (!printed) {
        printf "%-20s %7s %9.2f %7.2f %7s %7.2f %8.1f %8s %7s %7s\n", "(floor)", "-", floor_ms, 1,
               "-", floor_cpu, floor_kb / 1024, "-", count("floor|-"), "1"
        printed = 1
      }
      printf "%-20s %7s %9.2f %7.2f %7.2f %7.2f %8.1f %8.1f %7s %7s\n", label[1], label[2], $2,
             $2 / floor_ms, $2 / fresh_ms, $3, $4 / 1024, ($4 - floor_kb) / 1024, count($1),
             times($1, "floor|-")
    }' instructions_file="${2:-/dev/null}" "${2:-/dev/null}" "$1"
}

# check_targets RESULTS LARGEST_SIZE [INSTRUCTIONS]: one line per target,
# "met" or "MISSED".
check_targets() {
  awk -F'\t' -v largest="$2" '
    FILENAME == instructions_file { instructions[$1] = $2; next }
    NF != 4 { print "bench: not a line of timer results: " $0 > "/dev/stderr"; exit 1 }
    function verdict(text, value, limit) {
      printf "target: %-60s %9.2f (at most %s) %s\n", text, value, limit,
             value <= limit ? "met" : "MISSED"
    }
    {
      split($1, label, "|")
      if (label[1] == "floor") { floor_ms = $2; floor_kb = $4; fresh_ms = 0; next }
      if (fresh_ms == 0) {
        fresh_ms = $2
        fresh_cpu = $3
        fresh_label = $1
        if (label[1] == "view") verdict("view, fresh store, x floor", $2 / floor_ms, 1.3)
        if (label[1] ~ /^(edit|use)/) verdict(label[1] ", fresh store, x floor", $2 / floor_ms, 1.5)
      }
      if (label[2] != largest) next
      verdict(label[1] ", " largest " presets, MB above the floor", ($4 - floor_kb) / 1024, 3)
      if (label[1] == "view") {
        verdict("view, " largest " presets, x view on a fresh store", $2 / fresh_ms, 8)
        printf "  (in processor time rather than wall time: %.2f)\n", $3 / fresh_cpu
        if ($1 in instructions) {
          verdict("view, " largest " presets, instructions per preset", instructions[$1] / largest,
                  5000)
          printf "  (in instructions rather than wall time, x view on a fresh store: %.2f)\n",
                 instructions[$1] / instructions[fresh_label]
        }
      } else if (label[1] !~ /^view/) {
        verdict(label[1] ", " largest " presets, x the same on a fresh store", $2 / fresh_ms, 1.2)
        if ($1 in instructions)
          printf "  (in instructions rather than wall time: %.2f)\n",
                 instructions[$1] / instructions[fresh_label]
      }
    }' instructions_file="${3:-/dev/null}" "${3:-/dev/null}" "$1"
}
