// POSIX's setenv and unsetenv for the tests, on Windows too (its C library has _putenv_s).
#ifndef MOTIONSEG_TESTS_PLATFORM_ENVIRONMENT_H
#define MOTIONSEG_TESTS_PLATFORM_ENVIRONMENT_H

#include <cstdlib>

#if defined(_WIN32)
inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}
// An empty value removes the variable from the environment.
inline int unsetenv(const char* name) {
  return _putenv_s(name, "") == 0 ? 0 : -1;
}
#endif

#endif  // MOTIONSEG_TESTS_PLATFORM_ENVIRONMENT_H
