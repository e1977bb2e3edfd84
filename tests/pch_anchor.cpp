// Holds the test executables' precompiled header (tests/CMakeLists.txt);
// the program does nothing.
int main() { return 0; }
