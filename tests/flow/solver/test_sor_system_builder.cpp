// The linear system assembled from a level's planes: every field of the system points at its
// own plane, so a swapped or shifted plane is caught here rather than as a wrong flow.
#include "flow/solver/sor_system_builder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

using flowsolver::SorSystem;

TEST(SorSystemBuilder, EveryFieldPointsAtItsPlane) {
  const int nx = 5, ny = 3;
  const std::size_t n = nx * ny;
  // One block per kind of plane, of distinct sizes so that a pointer into the wrong block is
  // told apart from one into the right block at the wrong plane.
  std::vector<float> brightness(6 * n), gradient(6 * n), flow(2 * n), differences(8 * n);
  std::vector<float> horizontal(n), vertical(n), weights(5 * n);
  const SorSystem s = flowsolver::buildSorSystem(
      {nx, ny, brightness.data(), gradient.data(), flow.data(), differences.data(),
       horizontal.data(), vertical.data(), weights.data()},
      1.25f);
  struct Field {
    const char* name;
    const float* got;
    const std::vector<float>& block;
    int plane;
  };
  const Field fields[] = {
      {"j11", s.j11, brightness, 0},
      {"j22", s.j22, brightness, 1},
      {"j12", s.j12, brightness, 3},
      {"j13", s.j13, brightness, 4},
      {"j23", s.j23, brightness, 5},
      {"g11", s.g11, gradient, 0},
      {"g22", s.g22, gradient, 1},
      {"g12", s.g12, gradient, 3},
      {"g13", s.g13, gradient, 4},
      {"g23", s.g23, gradient, 5},
      {"u", s.u, flow, 0},
      {"v", s.v, flow, 1},
      {"uLeft", s.uLeft, differences, 0},
      {"uUp", s.uUp, differences, 1},
      {"uRight", s.uRight, differences, 2},
      {"uDown", s.uDown, differences, 3},
      {"vLeft", s.vLeft, differences, 4},
      {"vUp", s.vUp, differences, 5},
      {"vRight", s.vRight, differences, 6},
      {"vDown", s.vDown, differences, 7},
      {"horizontal", s.horizontal, horizontal, 0},
      {"vertical", s.vertical, vertical, 0},
      {"psiD", s.psiD, weights, 0},
      {"psiG", s.psiG, weights, 1},
      {"m", s.m, weights, 2},
      {"ru", s.ru, weights, 3},
      {"rv", s.rv, weights, 4},
  };
  for (const Field& f : fields)
    EXPECT_EQ(f.got, f.block.data() + f.plane * n) << f.name;
  EXPECT_EQ(s.xSize, nx);
  EXPECT_EQ(s.ySize, ny);
  EXPECT_EQ(s.omega, 1.25f);
}

TEST(SorSystemBuilder, WithoutDifferencesTheirFieldsAreNull) {
  // The sweeps that form the differences from the flow get none; everything else is set.
  std::vector<float> block(8 * 12);
  const SorSystem s =
      flowsolver::buildSorSystem({4, 3, block.data(), block.data(), block.data(), nullptr,
                                  block.data(), block.data(), block.data()},
                                 1.0f);
  for (const float* d : {s.uLeft, s.uUp, s.uRight, s.uDown, s.vLeft, s.vUp, s.vRight, s.vDown})
    EXPECT_EQ(d, nullptr);
  for (const float* p : {s.j11, s.g23, s.u, s.v, s.horizontal, s.vertical, s.psiD, s.rv})
    EXPECT_NE(p, nullptr);
}

}  // namespace
