// Reading PNG and JPEG files into float images and writing PNG files, for the command-line
// programs and benchmarks (the plug-ins take their images from the host instead).
#ifndef MOTIONSEG_APPS_IMAGE_IO_H
#define MOTIONSEG_APPS_IMAGE_IO_H

#include "flow/containers/CTensor.h"

#include <string>
#include <vector>

namespace imageio {

/// Which planes a read returns.
enum class Channels {
  AsStored,  ///< 1 plane for a grey file, 3 (red, green, blue) for a colour file
  Colour,    ///< 3 planes; a grey file is repeated in all three
  Grey,      ///< 1 plane; a colour file gives the mean of its three channels
};

/// Reads a PNG or JPEG file (told apart by its first bytes, not by its name) into `image`:
/// x fastest, one plane per channel, values on the 0..255 scale of 8-bit samples (a 16-bit
/// PNG sample s becomes s/257). Palettes are expanded; transparency (an alpha channel or a
/// tRNS chunk) is dropped; the samples are taken as stored, without gamma or colour-space
/// conversion. Every file gives 1 (grey) or 3 (colour) planes as stored. On failure returns
/// false, leaves `image` unchanged and puts a one-line reason into `error`.
bool readImage(const std::string& path, CTensor<float>& image, Channels channels,
               std::string& error);

/// Reads only the header of a PNG or JPEG file: its width and height, with the same size
/// limits and messages as readImage. On failure returns false and puts a one-line reason into
/// `error`.
bool readImageSize(const std::string& path, int& width, int& height, std::string& error);

/// Writes a 1-plane (grey) or 3-plane (red, green, blue) image as an 8-bit PNG: each value
/// rounded to the nearest whole number and clamped to 0..255, a value that is not a number
/// written as 0. The file is written under a temporary name and renamed into place when
/// complete (safeout::writeFile), so a failure leaves any earlier file of that name intact.
/// On failure returns false and puts a one-line reason into `error`.
bool writePng(const std::string& path, const CTensor<float>& image, std::string& error);

/// The PNG file writePng writes, as bytes. On failure returns false and puts a one-line
/// reason into `error` (naming `path`).
bool encodePng(const CTensor<float>& image, std::vector<unsigned char>& bytes,
               const std::string& path, std::string& error);

/// Largest width and height accepted by readImage; a file announcing more is refused before
/// any pixel memory is allocated.
constexpr int kMaxSide = 32767;
/// Largest number of pixels accepted by readImage (so that three float planes stay well
/// within the containers' 32-bit element count).
constexpr long long kMaxPixels = 200LL * 1000 * 1000;

}  // namespace imageio

#endif  // MOTIONSEG_APPS_IMAGE_IO_H
