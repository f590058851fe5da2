// The shared parts of waiting system calls.

#include "script/waits.h"

#include "platform/platform.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {

int32_t as_deadline(int64_t time) {
  int32_t deadline = int32_t(uint32_t(time));
  if (deadline == 0 || deadline == kNoDeadline) deadline = 1;
  return deadline;
}

void end_wait(CallArgs& args) {
  Frame& frame = args.thread.frame();
  frame.wait_deadline = 0;
  frame.waiting = false;
  args.machine.fast_mode = false;
}

CallStatus finish_wait(CallArgs& args, int32_t result) {
  end_wait(args);
  return args.done(result);
}

bool dialog_is_open(const CallArgs& args) { return args.thread.frame().waiting && args.thread.open_dialog != 0; }

std::optional<platform::DialogOutcome> run_dialog(CallArgs& args, const platform::DialogRequest& request) {
  Thread& thread = args.thread;
  Frame& frame = thread.frame();
  if (!dialog_is_open(args)) {
    frame.waiting = true;
    thread.open_dialog = args.machine.platform.open_dialog(request);
  }
  platform::DialogOutcome outcome = args.machine.platform.poll_dialog(thread.open_dialog);
  if (outcome.status == platform::DialogStatus::Pending) return std::nullopt;
  thread.open_dialog = 0;
  end_wait(args);
  return outcome;
}

CallStatus poll_again(CallArgs& args) {
  args.thread.frame().wait_deadline = as_deadline(int64_t(args.machine.clock.held) + 1);
  args.thread.input_deadline = 0;
  return CallStatus::Again;
}

CallStatus poll_for_input(CallArgs& args) {
  CallStatus status = poll_again(args);
  args.thread.input_deadline = args.thread.frame().wait_deadline;
  return status;
}

}  // namespace tavelo::script
