#pragma once

// A manual-reset event over an eventfd: once signalled it stays signalled, and its descriptor
// stays readable, so a thread can wait for it alone or poll it beside other descriptors.
// All members may be called from any thread.

namespace sdk {

class StopEvent {
  public:
    // Throws std::system_error when no eventfd can be made.
    StopEvent();
    ~StopEvent();
    StopEvent(const StopEvent&) = delete;
    StopEvent& operator=(const StopEvent&) = delete;

    void signal();
    bool isSignalled() const;
    // Blocks until signalled.
    void wait() const;
    // Readable (POLLIN) once signalled. Never read from it: that would reset the event.
    int fd() const { return fd_; }

  private:
    int fd_;
};

}  // namespace sdk
