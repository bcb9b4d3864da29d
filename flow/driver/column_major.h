// Conversion between the host's column-major arrays (row fastest, then column, then page)
// and the flow's x-fastest tensors, in which host rows become y, host columns x and pages z.
#ifndef MOTIONSEG_FLOW_DRIVER_COLUMN_MAJOR_H
#define MOTIONSEG_FLOW_DRIVER_COLUMN_MAJOR_H

#include "flow/containers/CTensor.h"

/// Resizes `image` to cols × rows × pages and fills it from the column-major array `host`
/// (host element (row i, column j, page k) at i + j·rows + k·rows·cols becomes tensor element
/// (x = j, y = i, z = k)), rounding every value to single precision. The host array is read
/// in its own order.
inline void columnMajorToTensor(const double* host, int rows, int cols, int pages,
                                CTensor<float>& image) {
  image.setSize(cols, rows, pages);
  float* out = image.data();
  const long long plane = static_cast<long long>(rows) * cols;
  for (int k = 0; k < pages; ++k) {
    for (int j = 0; j < cols; ++j) {
      for (int i = 0; i < rows; ++i)
        out[j + static_cast<long long>(i) * cols + k * plane] = static_cast<float>(*host++);
    }
  }
}

/// Writes every channel of `t` into the column-major array `host` of ySize rows, xSize
/// columns and zSize pages, widening each value to double; the host index runs sequentially.
inline void tensorToColumnMajor(const CTensor<float>& t, double* host) {
  const int rows = t.ySize(), cols = t.xSize();
  const long long plane = static_cast<long long>(rows) * cols;
  const float* in = t.data();
  for (int k = 0; k < t.zSize(); ++k) {
    for (int j = 0; j < cols; ++j) {
      for (int i = 0; i < rows; ++i)
        *host++ = static_cast<double>(in[j + static_cast<long long>(i) * cols + k * plane]);
    }
  }
}

#endif  // MOTIONSEG_FLOW_DRIVER_COLUMN_MAJOR_H
