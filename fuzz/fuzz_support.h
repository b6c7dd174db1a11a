// What the fuzzers share: a temporary folder for their stores and files,
// removed when the fuzzer exits, and the way they report a broken rule.
#pragma once

#include <string>

namespace dovetune {

// Makes a new temporary folder (under $TMPDIR, else /tmp) that is removed
// with everything in it at exit, and returns its path; aborts when it cannot.
std::string MakeFuzzFolder();

// Prints |what| after the fuzzer's name and aborts, which the fuzzer reports
// as a crash with the input that caused it.
[[noreturn]] void FuzzFailure(const std::string& what);

}  // namespace dovetune
