// Size preconditions of the solver's operations. An operand whose size disagrees would be read
// or written past its end, so it is refused before anything is computed.
#ifndef MOTIONSEG_FLOW_SOLVER_SOLVER_CHECKS_H
#define MOTIONSEG_FLOW_SOLVER_SOLVER_CHECKS_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"

#include <stdexcept>
#include <string>

namespace flowsolver {

inline std::string sizeText(int x, int y) {
  return std::to_string(x) + " x " + std::to_string(y);
}

/// The tensor must be nx × ny with at least minChannels channels; otherwise std::invalid_argument
/// with a text such as "COpticFlow::warp: the flow is 4 x 3 x 1, expected 4 x 3 x 2 or more".
template <typename T>
void requireTensor(const CTensor<T>& t, int nx, int ny, int minChannels, const char* operation,
                   const char* operand) {
  if (t.xSize() != nx || t.ySize() != ny || t.zSize() < minChannels ||
      (t.data() == nullptr && t.size() > 0)) {
    throw std::invalid_argument(std::string(operation) + ": the " + operand + " is " +
                                sizeText(t.xSize(), t.ySize()) + " x " + std::to_string(t.zSize()) +
                                ", expected " + sizeText(nx, ny) + " x " +
                                std::to_string(minChannels) + " or more");
  }
}

/// The matrix must be nx × ny; otherwise std::invalid_argument as above.
template <typename T>
void requireMatrix(const CMatrix<T>& m, int nx, int ny, const char* operation,
                   const char* operand) {
  if (m.xSize() != nx || m.ySize() != ny || (m.data() == nullptr && m.size() > 0)) {
    throw std::invalid_argument(std::string(operation) + ": the " + operand + " is " +
                                sizeText(m.xSize(), m.ySize()) + ", expected " + sizeText(nx, ny));
  }
}

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOLVER_CHECKS_H
