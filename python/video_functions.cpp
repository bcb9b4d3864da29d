// The frames of a whole video for the Python module: the programs' own frame order and image
// reader, so that the Python video functions (video.py) give flow_video's flows bit for bit.
#include "python/module_parts.h"
#include "python/numpy_arguments.h"

#include "apps/frame_sequence.h"
#include "apps/image_io.h"
#include "flow/containers/CTensor.h"

#include <string>
#include <vector>

namespace py = pybind11;

namespace {

std::string pathArgument(const py::object& value) {
  std::string bytes = py::module_::import("os").attr("fsencode")(value).cast<std::string>();
  if (bytes.find('\0') != std::string::npos) npargs::valueError("Path must not hold a null byte.");
  return bytes;
}

/// Raises FileNotFoundError when nothing is at path, else OSError, with text.
[[noreturn]] void fileError(const std::string& path, const std::string& text) {
  PyObject* kind = PyExc_OSError;
  if (!py::module_::import("os").attr("path").attr("lexists")(py::bytes(path)).cast<bool>()) {
    kind = PyExc_FileNotFoundError;
  }
  PyErr_SetString(kind, text.c_str());
  throw py::error_already_set();
}

py::list listFrames(const py::object& sourceValue) {
  const std::string source = pathArgument(sourceValue);
  std::vector<std::string> frames;
  std::string problem;
  {
    py::gil_scoped_release release;
    problem = frameseq::listFrames(source, frames);
  }
  if (!problem.empty()) fileError(source, problem);
  if (frames.empty()) npargs::valueError(source + " holds no PNG or JPEG frames");
  py::list result;
  const py::object decode = py::module_::import("os").attr("fsdecode");
  for (const std::string& frame : frames)
    result.append(decode(py::bytes(frame)));
  return result;
}

py::array_t<float> readFrame(const py::object& pathValue) {
  const std::string path = pathArgument(pathValue);
  CTensor<float> image;
  std::string error;
  bool read = false;
  {
    py::gil_scoped_release release;
    read = imageio::readImage(path, image, imageio::Channels::Colour, error);
  }
  if (!read) fileError(path, error);
  // Planes (x fastest) into rows x columns x 3.
  const py::ssize_t rows = image.ySize(), cols = image.xSize();
  py::array_t<float> frame({rows, cols, py::ssize_t{3}});
  float* out = frame.mutable_data();
  const std::size_t plane = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  for (std::size_t p = 0; p < plane; ++p) {
    for (int c = 0; c < 3; ++c)
      *out++ = image.data()[p + c * plane];
  }
  return frame;
}

}  // namespace

void addVideoFunctions(py::module_& m) {
  m.def("list_frames", &listFrames, py::arg("source"),
        R"(list_frames(source)
--

The frames of a video as flow_video takes them: for a folder, its files ending in .png, .jpg
or .jpeg (any case; names starting with "." skipped) in natural order of their names
("frame2.png" before "frame10.png"); for a text file, the paths it lists one per line
(relative paths from the list's folder; empty lines and lines starting with "#" skipped).

source: str, bytes or os.PathLike.
Returns a list of paths (str).
Raises FileNotFoundError when source does not exist, OSError when it cannot be read,
ValueError when it names no frame.

Example:
    >>> motionseg.list_frames("video/frames")[:2]
    ['video/frames/frame1.png', 'video/frames/frame2.png']
)");

  m.def("read_frame", &readFrame, py::arg("path"),
        R"(read_frame(path)
--

Reads a PNG or JPEG frame as flow_video and flow_between read it: 8-bit samples as they are
(a 16-bit PNG sample s as s/257), palettes expanded, transparency dropped, a grey image
repeated in the three channels, no gamma or colour-space conversion.

path: str, bytes or os.PathLike.
Returns an H x W x 3 float32 array of red, green, blue on the 0..255 scale, the frame
dense_motion takes.
Raises FileNotFoundError for a missing file, OSError for one that cannot be read or decoded.

Example:
    >>> frame = motionseg.read_frame("frame1.png")
)");
}
