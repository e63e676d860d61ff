// Faults the tests inject into the write path through the environment, so
// that every failure the path guards against can be made on demand, without
// root and without timing. None is set in normal use; each is read once.
//
//   VELDRA_TEST_DISK_BYTES=N      writes fail with "No space left on device"
//                                 past N bytes of a file (a full disk)
//   VELDRA_TEST_FAIL=STEP,...     the steps named (fsync, close, rename)
//                                 fail with EIO
//   VELDRA_TEST_STALL_WRITE=S     a file's bytes written, it waits S seconds
//                                 before being flushed (a signal arrives
//                                 while the frame is being written)
//   VELDRA_TEST_STALL_UNTIL=PATH  a file's bytes written, it waits until PATH
//                                 exists before it is flushed and renamed
//                                 into place (a race made to happen in the
//                                 order a test chooses)
//   VELDRA_TEST_STALL_ONLY=TEXT   ...either only for files whose path ends
//                                 in TEXT (".png": frames are slow, records
//                                 not)
//   VELDRA_TEST_PREDICTABLE_NAMES=1  temporary files are named
//                                 .veldra-0000000000000000.tmp, ...1, ...2 in
//                                 the order made, so that a test can plant
//                                 files where they will be made
#pragma once

#include <cstddef>
#include <string>

// The bytes a file may hold before writes fail; SIZE_MAX when unset.
std::size_t SimulatedDiskBytes();

// True when VELDRA_TEST_FAIL names `step`.
bool InjectedFailure(const std::string& step);

// Waits as VELDRA_TEST_STALL_WRITE and VELDRA_TEST_STALL_UNTIL say for the
// file `path`; returns at once when they are unset.
void StallWhenAsked(const std::string& path);

// The next number of a predictable name, or -1 when names are random.
long long PredictableNameNumber();
