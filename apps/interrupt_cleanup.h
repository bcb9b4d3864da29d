// What a program does when it is interrupted while it writes files: the temporary files that
// exist at that moment are removed, a note is printed and the process ends as the interruption
// asks. The mechanism is chosen at compile time: POSIX signals (SIGINT, SIGTERM, SIGHUP)
// through sigaction, or on Windows the console's control events (Ctrl-C, Ctrl-Break, the
// console closed) through SetConsoleCtrlHandler.
#ifndef MOTIONSEG_APPS_INTERRUPT_CLEANUP_H
#define MOTIONSEG_APPS_INTERRUPT_CLEANUP_H

#include <cstddef>
#include <string>

namespace interruptcleanup {

/// How many temporary files can be registered at once, and their longest name (with the
/// terminating zero).
constexpr std::size_t kSlots = 8;
constexpr std::size_t kNameCapacity = 4097;

/// Holds interruptions back for its lifetime: with POSIX signals by blocking them in the
/// calling thread (the only one that writes files); on Windows, where the handler runs in a
/// thread of its own, by a lock the handler takes before it reads the names. Not nested.
class Held {
 public:
  Held();
  ~Held();
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};

/// Registers the temporary file `name` in `slot` (< kSlots): removed if the process is
/// interrupted. Call with a Held in scope, right after the file was created. False, and
/// nothing registered, for a name of kNameCapacity characters or more.
bool setTemporary(std::size_t slot, const char* name);

/// Forgets the file of `slot` (it was removed or renamed). Call with a Held in scope.
void clearTemporary(std::size_t slot);

/// Installs the handler: on an interruption it removes the registered files, prints `message`
/// (if not empty, at most 511 bytes) on standard error and lets the process end as it would
/// have (with POSIX signals the signal is raised again with its default action, so the parent
/// sees it; on Windows the system's default handler ends the process with exit code
/// STATUS_CONTROL_C_EXIT). A POSIX signal the caller ignores (nohup) stays ignored.
void install(const std::string& message);

}  // namespace interruptcleanup

#endif  // MOTIONSEG_APPS_INTERRUPT_CLEANUP_H
