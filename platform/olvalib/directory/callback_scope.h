// Marks the stretch in which the library runs a caller's callback on the current thread, so
// that an operation that would wait for that very callback to finish refuses instead.
#ifndef OLVALIB_DIRECTORY_CALLBACK_SCOPE_H
#define OLVALIB_DIRECTORY_CALLBACK_SCOPE_H

namespace olva::dir {

class CallbackScope {
 public:
  CallbackScope() { ++depth_; }
  ~CallbackScope() { --depth_; }
  CallbackScope(const CallbackScope &) = delete;
  CallbackScope &operator=(const CallbackScope &) = delete;

  static bool Active() { return depth_ != 0; }

 private:
  static inline thread_local int depth_ = 0;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_CALLBACK_SCOPE_H
