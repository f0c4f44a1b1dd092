// The program each library is linked into, whole and with only the libraries
// below it, to prove that it needs nothing from above (see CMakeLists.txt).
int main() { return 0; }
