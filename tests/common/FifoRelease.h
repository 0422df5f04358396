#pragma once

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace vttest {

/// Opens a FIFO for writing after a few seconds unless dismissed first. That releases a
/// reader blocked in opening it, so a wrong open fails the test instead of hanging it.
class FifoRelease final {
public:
    explicit FifoRelease(std::string path) : m_path(std::move(path)), m_thread([this] { Watch(); }) {}
    ~FifoRelease() { Dismiss(); }
    FifoRelease(const FifoRelease&) = delete;
    FifoRelease& operator=(const FifoRelease&) = delete;

    /// Ends the watch; true when a blocked reader had to be released.
    bool Dismiss()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_bReleased;
    }

private:
    void Watch()
    {
        std::unique_lock lock(m_mutex);
        if (m_cv.wait_for(lock, std::chrono::seconds(5), [this] { return m_bDone; }))
            return;
        m_bReleased = true;
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }

    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bDone = false;
    bool m_bReleased = false;
    std::thread m_thread;
};

} // namespace vttest
