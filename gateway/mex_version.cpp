// mexVersion: the host interface version some plug-ins report on Linux.
#include "mex.h"

extern "C" const char* mexVersion() {
  return "MATLAB R14 native";
}
