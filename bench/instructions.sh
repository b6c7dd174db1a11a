# Counts the instructions a whole run executes in user space, the dynamic
# loader included: a figure that, unlike time, does not depend on how busy
# the machine is. Sourced by bench/run.sh. Uses the processor's counter
# through perf where the machine offers one (not in most virtual machines),
# and otherwise counts under callgrind, which is slower but counts the same.
#
#   instructions_counter           # prints "perf" or "callgrind"
#   count_instructions COUNTER PROGRAM ARG...   # prints the count

instructions_counter() {
  local count
  count="$(perf stat -x, -e instructions:u true 2>&1 >/dev/null | cut -d, -f1 || true)"
  if [[ "$count" =~ ^[0-9]+$ ]]; then echo perf; else echo callgrind; fi
}

count_instructions() {
  local counter="$1"
  shift
  if [ "$counter" = perf ]; then
    perf stat -x, -e instructions:u "$@" 2>&1 >/dev/null | awk -F, '/instructions/ { print $1 }'
  else
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
      awk '/Collected :/ { print $NF }'
  fi
}
