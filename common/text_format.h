// printf-style formatting into a std::string, for the error and warning texts that every front
// end (plug-ins, programs, the Python module) words the same way.
#ifndef MOTIONSEG_COMMON_TEXT_FORMAT_H
#define MOTIONSEG_COMMON_TEXT_FORMAT_H

#include <cstdarg>
#include <cstdio>
#include <string>

namespace textformat {

// MinGW's vsnprintf is the Windows C library's unless __USE_MINGW_ANSI_STDIO is set, and that
// one knows no %zu or %lld (texts would lose their numbers): MinGW's own C99 formatter instead.
#if defined(__MINGW32__)
#define MOTIONSEG_VSNPRINTF __mingw_vsnprintf
#define MOTIONSEG_PRINTF_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#define MOTIONSEG_VSNPRINTF std::vsnprintf
#define MOTIONSEG_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define MOTIONSEG_VSNPRINTF std::vsnprintf
#define MOTIONSEG_PRINTF_FORMAT
#endif

/// The text std::vprintf would print for fmt and the arguments.
inline std::string formatList(const char* fmt, va_list args) {
  va_list again;
  va_copy(again, args);
  const int n = MOTIONSEG_VSNPRINTF(nullptr, 0, fmt, args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) + 1 : 1, '\0');
  if (n > 0) MOTIONSEG_VSNPRINTF(&text[0], text.size(), fmt, again);
  va_end(again);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

/// The text std::printf would print for fmt and the arguments.
MOTIONSEG_PRINTF_FORMAT inline std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = formatList(fmt, args);
  va_end(args);
  return text;
}

}  // namespace textformat

#endif  // MOTIONSEG_COMMON_TEXT_FORMAT_H
