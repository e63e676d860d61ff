// Compiled once per probe in tests/layers/CMakeLists.txt, with
// PROBE_HEADER set to a header the probe's target may or may not see.
#include PROBE_HEADER
