// A small library for the binder's tests: three functions with known results.
extern "C" int tf1() { return 11; }
extern "C" int tf2() { return 22; }
extern "C" int tf3() { return 33; }
