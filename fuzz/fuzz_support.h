// What the fuzzers share: a working folder for their stores and files, a
// stack at a fixed address to run each input on, and the way they report a
// broken rule. The first two keep two runs from the same seed on the same
// inputs: libFuzzer takes the values the program compares into the inputs it
// makes, and a path or address that differs from run to run would make them
// differ too.
#pragma once

#include <functional>
#include <string>

namespace dovetune {

// Makes the working folder of the fuzzer |name|, empty, and returns its path:
// $TMPDIR (else /tmp) /dovetune-fuzz-|name|, which depends on nothing else
// (not on chance, the process or the clone), since the program compares the
// paths of its store and files. The folder is
// locked for the run and removed at exit; when another run of the same fuzzer
// holds it, the next free one of -2, -3, ... is taken, and said so. Aborts,
// saying why, when the path is anything but this user's own folder.
std::string MakeFuzzFolder(const std::string& name);

// Runs |run| on a thread whose stack lies at one fixed address, and returns
// when it is done. The main thread's stack moves from run to run with address
// space randomisation and the size of the environment, and clang traces
// comparisons of stack addresses too (UBSan's null checks among them). Warns
// once, and runs on a stack wherever the system puts it, when that address
// is taken.
void RunOnFixedStack(const std::function<void()>& run);

// Prints |what| after the name of the fuzzer's folder (dovetune-fuzz-NAME,
// or dovetune-fuzz before there is one) and aborts, which the fuzzer reports
// as a crash with the input that caused it.
[[noreturn]] void FuzzFailure(const std::string& what);

}  // namespace dovetune
