// A program that does nothing but carry a version resource (versioned_program.rc), so that the
// tests can offer node.exe files of chosen releases.
int main() { return 0; }
