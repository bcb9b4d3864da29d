#include "apps/interrupt_cleanup.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>

#include <mutex>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace interruptcleanup {
namespace {

// The registered names, set and cleared only while interruptions are held back, read only
// by the handler.
char gTemporary[kSlots][kNameCapacity];
volatile std::sig_atomic_t gTemporaryExists[kSlots] = {};
char gMessage[512];
std::size_t gMessageLength = 0;

#if defined(_WIN32)

// The handler runs in a thread the system starts for the event, so it can wait for the
// writer: it takes this lock and never gives it back (the process ends).
std::mutex& writerLock() {
  static std::mutex m;
  return m;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  writerLock().lock();
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (gTemporaryExists[i]) DeleteFileA(gTemporary[i]);
  }
  if (gMessageLength > 0) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), gMessage, static_cast<DWORD>(gMessageLength),
              &written, nullptr);
  }
  return FALSE;  // on to the system's default handler, which ends the process
}

#else

const int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The mask before the Held of this thread.
thread_local sigset_t tPrevious;

void onSignal(int signal) {
  // Only async-signal-safe calls here. SA_RESETHAND has restored the default action; the
  // signal raised again stays blocked until the handler returns and then ends the process.
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (gTemporaryExists[i]) unlink(gTemporary[i]);
  }
  if (gMessageLength > 0) {
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, gMessage, gMessageLength);
  }
  raise(signal);
}

#endif

}  // namespace

#if defined(_WIN32)

Held::Held() {
  writerLock().lock();
}

Held::~Held() {
  writerLock().unlock();
}

void install(const std::string& message) {
  gMessageLength = std::min(message.size(), sizeof gMessage);
  std::memcpy(gMessage, message.data(), gMessageLength);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

#else

Held::Held() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kHandledSignals)
    sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, &tPrevious);
}

Held::~Held() {
  pthread_sigmask(SIG_SETMASK, &tPrevious, nullptr);
}

void install(const std::string& message) {
  gMessageLength = std::min(message.size(), sizeof gMessage);
  std::memcpy(gMessage, message.data(), gMessageLength);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int s : kHandledSignals)
    sigaddset(&action.sa_mask, s);
  action.sa_flags = SA_RESETHAND;
  for (int s : kHandledSignals) {
    // A signal ignored by the caller (nohup) stays ignored.
    struct sigaction old;
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}

#endif

bool setTemporary(std::size_t slot, const char* name) {
  const std::size_t length = std::strlen(name);
  if (length >= kNameCapacity) return false;
  std::memcpy(gTemporary[slot], name, length + 1);
  gTemporaryExists[slot] = 1;
  return true;
}

void clearTemporary(std::size_t slot) {
  gTemporaryExists[slot] = 0;
}

}  // namespace interruptcleanup
