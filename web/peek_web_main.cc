// The WebAssembly module of the web page: the binding (web/peek_web.h) and nothing that
// runs by itself.
int main() { return 0; }
