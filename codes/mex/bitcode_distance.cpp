// bitcode_distance: pairwise Hamming distances between two sets of binary codes.
//
//   D = bitcode_distance(A, B)
#include "mex.h"

#include "codes/bitcode_distance.h"
#include "gateway/memory_guard.h"
#include "gateway/mex_gateway.h"

#include <cstdint>

namespace {

enum { IN_A, IN_B, IN_END };
enum { OUT_DISTANCE, OUT_END };

const char* const kTooLarge = "Code sets must have fewer than 2^31 rows and columns.";

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  gw::guarded([&] {
    // Further inputs are not read and stay accepted.
    if (nrhs < IN_END)
      gw::fail(gw::Kind::Nargin, "Two inputs are required: the code sets A and B.");
    const mxArray* a = prhs[IN_A];
    const mxArray* b = prhs[IN_B];
    // A sparse array's data holds only its nonzero elements, so it is refused with the classes.
    if (!gw::isRealFull(a, mxLOGICAL_CLASS))
      gw::fail(gw::Kind::Class, "Code set A must be a full logical matrix.");
    if (!gw::isRealFull(b, mxLOGICAL_CLASS))
      gw::fail(gw::Kind::Class, "Code set B must be a full logical matrix.");
    if (nlhs > OUT_END) gw::fail(gw::Kind::Nargout, "At most one output can be requested.");
    if (gw::rows(b) != gw::rows(a)) {
      gw::fail(gw::Kind::Size,
               gw::format("Code set A has %zu rows but code set B has %zu; both must have the "
                          "same number of rows.",
                          gw::rows(a), gw::rows(b)));
    }
    const int m = gw::toInt(mxGetM(a), kTooLarge);
    const int na = gw::toInt(mxGetN(a), kTooLarge);
    const int nb = gw::toInt(mxGetN(b), kTooLarge);

    gw::requireMemory("bitcode_distance",
                      codes::bitcodeDistanceBytes(static_cast<std::uint64_t>(na),
                                                  static_cast<std::uint64_t>(nb)));
    mxArray* distance =
        gw::createMatrix<double>(static_cast<std::size_t>(na), static_cast<std::size_t>(nb));
    // With no bits every distance is the zero the table was created with.
    if (m > 0 && na > 0 && nb > 0) {
      // Logical elements are read as their stored bytes and compared whole.
      codes::computeHamming(static_cast<const std::uint8_t*>(mxGetData(a)),
                            static_cast<const std::uint8_t*>(mxGetData(b)),
                            gw::mutableData<double>(distance), m, na, nb);
    }
    plhs[OUT_DISTANCE] = distance;
  });
}
