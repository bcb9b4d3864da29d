// Where the flow carries each pixel of a frame: the landing walk shared by the flow-based
// superpixel graphs.
#ifndef MOTIONSEG_SUPERPIXEL_GRAPHS_FLOW_LANDING_H
#define MOTIONSEG_SUPERPIXEL_GRAPHS_FLOW_LANDING_H

#include <cstddef>
#include <cstdint>

namespace superpixel {

/// Calls visit(p, q) for every pixel p of a height-by-width frame whose flow carries it inside
/// the frame, q being the column-major index where it lands; flow is height-by-width-by-2 int16,
/// plane 0 added to the row and plane 1 to the column. Pixels are visited column by column
/// (memory order). visit returns false to stop the walk; forEachLanding then returns false.
template <class Visit>
bool forEachLanding(const std::int16_t* flow, std::size_t height, std::size_t width,
                    Visit&& visit) {
  const std::size_t plane = height * width;
  for (std::size_t x = 0; x < width; ++x) {
    for (std::size_t y = 0; y < height; ++y) {
      const std::size_t p = y + x * height;
      // Negative coordinates wrap to huge unsigned values and fail the same test.
      const auto ty = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(y) + flow[p]);
      const auto tx = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) + flow[p + plane]);
      if (ty >= height || tx >= width) continue;
      if (!visit(p, ty + tx * height)) return false;
    }
  }
  return true;
}

}  // namespace superpixel

#endif  // MOTIONSEG_SUPERPIXEL_GRAPHS_FLOW_LANDING_H
