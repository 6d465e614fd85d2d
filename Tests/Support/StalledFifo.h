// A named pipe that nobody writes to, where a file is expected. A reader
// that opens it the blocking way waits for a writer; so that such a reader
// fails its test instead of hanging it, a writer comes along after a while
// and goes again at once (the reader then reads nothing).
#pragma once

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class StalledFifo {
public:
    explicit StalledFifo(std::string path, std::chrono::milliseconds release = std::chrono::seconds(3))
        : path_(std::move(path))
    {
        made_ = mkfifo(path_.c_str(), 0600) == 0;
        releaser_ = std::thread([this, release] {
            const auto start = std::chrono::steady_clock::now();
            while (!stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() - start < release)
                    continue;
                // Opens only while a reader waits on the other end.
                const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    close(fd);
            }
        });
    }
    ~StalledFifo()
    {
        stop_ = true;
        releaser_.join();
        unlink(path_.c_str());
    }
    StalledFifo(const StalledFifo&) = delete;
    StalledFifo& operator=(const StalledFifo&) = delete;

    bool Made() const { return made_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool made_ = false;
    std::atomic<bool> stop_{false};
    std::thread releaser_;
};

// How long a call takes.
template <typename Call>
std::chrono::milliseconds TimeOf(Call&& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}
