// Captures what the code under test writes to std::cerr while the object lives.
#ifndef MOTIONSEG_TESTS_FLOW_CAPTURE_CERR_H
#define MOTIONSEG_TESTS_FLOW_CAPTURE_CERR_H

#include <iostream>
#include <sstream>
#include <string>

class CaptureCerr {
 public:
  CaptureCerr() : mOld(std::cerr.rdbuf(mBuffer.rdbuf())) {}
  ~CaptureCerr() { std::cerr.rdbuf(mOld); }
  CaptureCerr(const CaptureCerr&) = delete;
  CaptureCerr& operator=(const CaptureCerr&) = delete;
  std::string text() const { return mBuffer.str(); }

 private:
  std::ostringstream mBuffer;
  std::streambuf* mOld;
};

#endif  // MOTIONSEG_TESTS_FLOW_CAPTURE_CERR_H
