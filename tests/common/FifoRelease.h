#pragma once

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace vttest {

/// Opens a FIFO for writing after a few seconds unless dismissed first. That releases a
/// reader blocked in opening it, so a wrong open fails the test instead of hanging it.
class FifoRelease final {
public:
    explicit FifoRelease(const std::string& path)
        : m_thread([this, path](std::stop_token stop) {
              for (int i = 0; i < 500 && !stop.stop_requested(); ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (!stop.stop_requested()) {
                  m_bReleased = true;
                  ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
              }
          })
    {
    }

    /// Ends the watch; true when a blocked reader had to be released.
    bool Dismiss()
    {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
        return m_bReleased;
    }

private:
    std::atomic<bool> m_bReleased = false;
    std::jthread m_thread;
};

} // namespace vttest
