# The table of bench/wine_grown.sh, its targets and its growth law. Reads, in
# order: the sizes ("SIZE<TAB>BYTES" of each user.reg, the fresh prefix
# first, the largest last), the measures ("LABEL<TAB>INSTRUCTIONS<TAB>LOCK
# MS<TAB>STRETCHES") and the timer's results ("LABEL<TAB>WALL MS<TAB>CPU
# MS<TAB>PEAK KB"), where a label is "COMMAND|SIZE".
BEGIN { FS = "\t" }
FILENAME == ARGV[1] { order[++sizes] = $1; bytes[$1] = $2; next }
FILENAME == ARGV[2] { instructions[$1] = $2; lock[$1] = $3; stretches[$1] = $4; next }
{
  ms[$1] = $2; cpu[$1] = $3; kb[$1] = $4
  split($1, label, "|")
  if (!(label[1] in seen)) { commands[++ncommands] = label[1]; seen[label[1]] = 1 }
}
function mb(value) { return value / 1048576 }
function verdict(text, value, limit) {
  printf "target: %-58s %8.2f (at most %s) %s\n", text, value, limit,
         value <= limit ? "met" : "MISSED"
}
function row(command, size, id) {
  id = command "|" size
  if (!(id in ms)) return
  printf "%-26s %6s %9.2f %8.2f %8.1f %9s %9s  %s\n", command, size, ms[id], cpu[id],
         kb[id] / 1024, id in instructions ? sprintf("%.1f", instructions[id] / 1e6) : "-",
         lock[id] == "" ? "-" : lock[id], stretches[id] == "-" ? "" : stretches[id]
}
END {
  printf "%-26s %6s %9s %8s %8s %9s %9s  %s\n", "command", "size", "median ms", "cpu ms",
         "peak MB", "M instr", "lock ms", "(stretches)"
  for (s = 1; s <= sizes; s++) {
    size = order[s]
    printf "-- %s prefix: user.reg of %.2f MB\n", size == "fresh" ? "a fresh wineboot" : "a grown",
           mb(bytes[size])
    for (c = 1; c <= ncommands; c++) row(commands[c], size)
  }
  largest = order[sizes]
  at = ", " largest " MB"
  read_ms = ms["cat|" largest] - ms["floor|" largest]
  write_ms = ms["copy|" largest] - ms["floor|" largest]
  printf "floors on the %s MB prefix: reading the file %.2f ms (cat less the floor); reading,\n",
         largest, read_ms
  printf "  writing and syncing it %.2f ms (the copy less the floor)\n", write_ms
  for (c = 1; c <= ncommands; c++) {
    command = commands[c]
    id = command "|" largest
    if (command ~ /^(floor|cat|scan|copy|sqlite)/ || !(id in ms)) continue
    if (command ~ /^view/) {
      verdict(command at ", x cat user.reg", ms[id] / ms["cat|" largest], 3)
      printf "  (in processor time rather than wall time: %.2f)\n", cpu[id] / cpu["cat|" largest]
      verdict(command at ", instructions x the key-header scan",
              instructions[id] / instructions["scan|" largest], 5)
      verdict(command at ", peak MB", kb[id] / 1024, 8)
      verdict(command at ", lock held x reading the file", lock[id] / read_ms, 2)
    } else {
      verdict(command at ", x copy + sync + rename + sync", ms[id] / ms["copy|" largest], 1.5)
      printf "  (in processor time rather than wall time: %.2f)\n", cpu[id] / cpu["copy|" largest]
      verdict(command at ", peak MB above the file's size", kb[id] / 1024 - mb(bytes[largest]),
              8)
      verdict(command at ", lock held x read + write + syncs", lock[id] / write_ms, 1.2)
    }
  }
  for (c = 1; c <= ncommands; c++) {
    command = commands[c]
    if (!(("sqlite " command "|fresh") in instructions)) continue
    verdict(command ", fresh prefix, instructions x the SQLite store",
            instructions[command "|fresh"] / instructions["sqlite " command "|fresh"], 1.5)
  }
  print "growth: each figure on a size over the same on the size before"
  for (c = 1; c <= ncommands; c++) {
    command = commands[c]
    if (command ~ /^(floor|sqlite)/) continue
    for (s = 3; s <= sizes; s++) {
      a = command "|" order[s - 1]
      b = command "|" order[s]
      if (!(a in ms) || !(b in ms)) continue
      printf "  %-20s %2s->%2s MB: file x%.1f, time x%.1f, cpu x%.1f, instr x%s, memory x%.1f, lock x%s\n",
             command, order[s - 1], order[s], bytes[order[s]] / bytes[order[s - 1]], ms[b] / ms[a],
             (cpu[a] > 0 ? cpu[b] / cpu[a] : 0),
             (instructions[a] > 0 ? sprintf("%.1f", instructions[b] / instructions[a]) : "-"),
             kb[b] / kb[a], (lock[a] > 0 ? sprintf("%.1f", lock[b] / lock[a]) : "-")
    }
  }
}
