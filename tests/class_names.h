// The name of an array class as scripts write it ("double", "uint8", ...), for the tests that
// describe or hash arrays: the enumeration's numbers are the host's business.
#ifndef MOTIONSEG_TESTS_CLASS_NAMES_H
#define MOTIONSEG_TESTS_CLASS_NAMES_H

#include "gateway/standalone/host.h"

namespace plugintest {

inline const char* className(mxClassID id) {
  switch (id) {
    case mxCELL_CLASS:
      return "cell";
    case mxLOGICAL_CLASS:
      return "logical";
    case mxCHAR_CLASS:
      return "char";
    case mxDOUBLE_CLASS:
      return "double";
    case mxSINGLE_CLASS:
      return "single";
    case mxINT8_CLASS:
      return "int8";
    case mxUINT8_CLASS:
      return "uint8";
    case mxINT16_CLASS:
      return "int16";
    case mxUINT16_CLASS:
      return "uint16";
    case mxINT32_CLASS:
      return "int32";
    case mxUINT32_CLASS:
      return "uint32";
    case mxINT64_CLASS:
      return "int64";
    case mxUINT64_CLASS:
      return "uint64";
    default:
      return "?";
  }
}

}  // namespace plugintest

#endif  // MOTIONSEG_TESTS_CLASS_NAMES_H
