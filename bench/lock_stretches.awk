# How long a run held wineserver's byte (byte 0 of each lock file), from the
# lines of `strace -y -ttt -e trace=fcntl,exit_group` (close may be traced
# too): each stretch lasts from taking the byte in the first lock file to
# letting it go (unlocking it, closing the file or ending the process) in
# the last. Prints the stretches' sum in milliseconds, a tab, and the
# stretches joined by "+" ("-" when there was none).
function take(fd, t) {
  if (!held[fd]++ && count++ == 0) start = t
}
function drop(fd, t) {
  if (!held[fd]) return
  held[fd] = 0
  if (--count > 0) return
  total += t - start
  parts = parts sep sprintf("%.1f", (t - start) * 1000)
  sep = "+"
}
# Lines of `strace -f` lead with the process id, padded with spaces.
$1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+\.[0-9]+$/ {
  sub(/^[0-9]+ +/, "")
}
/^[0-9.]+ (fcntl|close)\([0-9]+<[^>]*\/lock>/ {
  fd = $2
  sub(/^[^(]*\(/, "", fd)
  sub(/<.*/, "", fd)
  if ($0 ~ /F_SETLK, \{l_type=F_WRLCK, l_whence=SEEK_SET, l_start=0,/ && $0 ~ / = 0$/) take(fd, $1)
  else if ($0 ~ /F_SETLK, \{l_type=F_UNLCK, l_whence=SEEK_SET, l_start=0,/) drop(fd, $1)
  else if ($2 ~ /^close\(/) drop(fd, $1)
}
/^[0-9.]+ exit_group\(/ {
  for (fd in held) drop(fd, $1)
}
END { printf "%.2f\t%s\n", total * 1000, parts == "" ? "-" : parts }
