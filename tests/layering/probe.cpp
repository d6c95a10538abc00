// One file of a layer that includes one header, named by the build (ZUMALO_PROBE_HEADER).
// tests/layering/CMakeLists.txt compiles it with the settings of each layer in turn.
#include ZUMALO_PROBE_HEADER
