// Linked with the whole of one layer's library and only the layers it names: a call into
// a layer above it (or one it does not name) leaves a symbol undefined and fails the build.
int main() { return 0; }
