// The floor of the timing runs: a C++ program that does nothing, built and
// started exactly as the tool is, so that what a run of the tool costs beyond
// starting a process can be told apart.

int main() { return 0; }
