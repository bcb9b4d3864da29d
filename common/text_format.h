// printf-style formatting into a std::string, for the error and warning texts that every front
// end (plug-ins, programs, the Python module) words the same way.
#ifndef MOTIONSEG_COMMON_TEXT_FORMAT_H
#define MOTIONSEG_COMMON_TEXT_FORMAT_H

#include <cstdarg>
#include <cstdio>
#include <string>

namespace textformat {

/// The text std::printf would print for fmt and the arguments.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string
format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size(), fmt, again);
  va_end(again);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

}  // namespace textformat

#endif  // MOTIONSEG_COMMON_TEXT_FORMAT_H
