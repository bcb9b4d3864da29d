// Noticing the user's interrupt (Ctrl-C) during a long call, where the host offers a supported
// way to do so, and ending the call the way the host ends an interrupted one.
//
// - GNU Octave: octave_quit() (quit.h, the call Octave asks long-running compiled code to make
//   between steps) raises octave::interrupt_exception when an interrupt is pending; ending the
//   call with that exception returns the user to the prompt, with the session intact.
// - MATLAB: its documented MEX interface has no such call, so a call cannot be interrupted
//   there; interruptPending() is always false.
// - The standalone test host: a test requests an interrupt (host::requestInterrupt) and sees
//   the call end as interrupted.
//
// Only the calling thread may poll: the host's state is not meant for other threads.
#ifndef MOTIONSEG_GATEWAY_INTERRUPT_H
#define MOTIONSEG_GATEWAY_INTERRUPT_H

#include "mex.h"

#include "gateway/mex_gateway.h"

#if defined(HAVE_OCTAVE)
#include <octave/quit.h>
#endif

namespace gw {

/// True when the user has interrupted the call and the host lets a plug-in notice it. The
/// interrupt is taken over by the caller, who must then end the call with endInterrupted().
inline bool interruptPending() {
#if defined(HAVE_OCTAVE)
  try {
    octave_quit();
  } catch (const octave::interrupt_exception&) {
    return true;
  }
  return false;
#elif defined(MOTIONSEG_STANDALONE_MEX_H)
  return mexStandaloneInterruptPending();
#else
  return false;
#endif
}

/// Ends the call as the host ends an interrupted one. It may be called inside gw::guarded: the
/// host's interrupt is none of the exceptions guarded() catches.
[[noreturn]] inline void endInterrupted() {
#if defined(HAVE_OCTAVE)
  throw octave::interrupt_exception();
#elif defined(MOTIONSEG_STANDALONE_MEX_H)
  mexStandaloneInterrupt();
#else
  fail(Kind::Internal, "Interrupted.");  // not reached: interruptPending() is never true here
#endif
}

}  // namespace gw

#endif  // MOTIONSEG_GATEWAY_INTERRUPT_H
