// Live and peak bytes of the global allocation functions, which counting_new.cpp replaces in
// the test executable that links it: tests weigh memory estimates against real use with it.
#ifndef MOTIONSEG_TESTS_COMMON_COUNTING_NEW_H
#define MOTIONSEG_TESTS_COMMON_COUNTING_NEW_H

#include <cstdint>

namespace countingnew {

/// Bytes allocated through operator new and not yet freed: usable sizes as malloc gives them,
/// on Linux the bytes asked for of a block aligned by the aligned forms.
long long live();

/// Starts a measurement: the peak is reset to what is live now.
void resetPeak();

/// The most bytes live at once since resetPeak, minus those live at that call.
std::uint64_t peakSinceReset();

}  // namespace countingnew

#endif  // MOTIONSEG_TESTS_COMMON_COUNTING_NEW_H
