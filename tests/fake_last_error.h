#ifndef TESTS_FAKE_LAST_ERROR_H_
#define TESTS_FAKE_LAST_ERROR_H_

// The last-error bookkeeping the fakes of the platform's handles share. `Interface` is a
// handle interface with `int LastError()`, the system error of its last failed call.
template <typename Interface>
class FakeWithLastError : public Interface {
 public:
  int LastError() override { return lastError; }

 protected:
  // Records `error` as the last error and returns false, for a failing call to return.
  bool Fail(int error) {
    lastError = error;
    return false;
  }

  int lastError = 0;
};

#endif  // TESTS_FAKE_LAST_ERROR_H_
