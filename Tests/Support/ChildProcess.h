#pragma once

// Runs this test program again in a role: one of its own tests (a disabled
// one, kept for the purpose), picked by a filter, in a child process with a
// few environment variables changed. The child is the very program running,
// started through /proc/self/exe, so it is the same build even when a new
// one has replaced the file meanwhile. Its standard output and error go to
// files read once it has ended, so a chatty child never stalls on a full
// pipe. A child still running when the object goes is killed and reaped.
//
//     ChildProcess::Options options;
//     options.environment = {{"BRINDLET_PEER", "1"}};
//     ChildProcess peer("Peer.DISABLED_AnswersARequest", std::move(options));
//     ...
//     EXPECT_TRUE(peer.Wait() && peer.Succeeded()) << peer.Report();

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    struct Options {
        // Variables set in the child (nullopt: removed from it); the rest of
        // this process's environment is passed on unchanged.
        std::vector<std::pair<std::string, std::optional<std::string>>> environment;
        // Descriptors of this process the child must not keep (ends of pipes
        // meant for another child, say). Others without close-on-exec are
        // inherited under their numbers.
        std::vector<int> closeInChild;
    };

    // Starts the program running only `test` ("Suite.DISABLED_Name").
    explicit ChildProcess(const std::string& test, Options options = {})
    {
        output_ = TemporaryFile();
        errors_ = TemporaryFile();
        if (output_ < 0 || errors_ < 0) {
            ADD_FAILURE() << "cannot make files for a child's output";
            return;
        }
        std::vector<std::string> arguments = {"/proc/self/exe", "--gtest_filter=" + test,
                                              "--gtest_also_run_disabled_tests"};
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view variable(*entry);
            const std::string_view name = variable.substr(0, variable.find('='));
            bool changed = false;
            for (const auto& change : options.environment)
                changed = changed || change.first == name;
            if (!changed)
                environment.emplace_back(variable);
        }
        for (const auto& [name, value] : options.environment)
            if (value)
                environment.push_back(name + "=" + *value);

        std::vector<char*> argv, envp;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output_, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errors_, STDERR_FILENO);
        for (int fd : options.closeInChild)
            posix_spawn_file_actions_addclose(&actions, fd);
        const int error = posix_spawn(&pid_, "/proc/self/exe", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << test << " in a child: " << std::strerror(error);
        }
    }
    ~ChildProcess()
    {
        if (Started() && !ended_) {
            kill(pid_, SIGKILL);
            Reap(0);
        }
        for (int fd : {output_, errors_})
            if (fd >= 0)
                close(fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Waits up to `seconds` for the child to end; false when it has not
    // (it keeps running until killed or the object goes).
    bool Wait(double seconds = 60)
    {
        if (!Started())
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!ended_ && !Reap(WNOHANG) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ended_;
    }
    void Kill(int signal = SIGKILL)
    {
        if (Started() && !ended_)
            kill(pid_, signal);
    }

    // How it ended (meaningful once Wait answered true).
    bool Exited() const { return ended_ && WIFEXITED(status_); }
    int ExitCode() const { return Exited() ? WEXITSTATUS(status_) : -1; }
    bool Signalled() const { return ended_ && WIFSIGNALED(status_); }
    int Signal() const { return Signalled() ? WTERMSIG(status_) : 0; }
    // It ended on its own with status 0: the test it ran passed (or skipped).
    bool Succeeded() const { return Exited() && ExitCode() == 0; }

    // What it wrote to standard output and error, once it has ended.
    const std::string& Output() const { return outputText_; }
    const std::string& Errors() const { return errorsText_; }
    // How it ended and what it wrote, for a failure message.
    std::string Report() const
    {
        std::string how = !Started()    ? "the child never started"
                          : !ended_     ? "the child is still running"
                          : Signalled() ? "the child ended by signal " + std::to_string(Signal())
                                        : "the child exited with status " + std::to_string(ExitCode());
        return how + "\n--- its output:\n" + outputText_ + "--- its errors:\n" + errorsText_;
    }

private:
    static int TemporaryFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/brindlet-child.XXXXXX";
        const int fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0)
            unlink(pattern.c_str());
        return fd;
    }
    static std::string ReadAll(int fd)
    {
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        lseek(fd, 0, SEEK_SET);
        while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                text.append(buffer, size_t(n));
        return text;
    }
    // Collects the child's status; true once it has ended.
    bool Reap(int flags)
    {
        pid_t done = 0;
        while ((done = waitpid(pid_, &status_, flags)) < 0 && errno == EINTR) {}
        if (done != pid_)
            return false;
        ended_ = true;
        outputText_ = ReadAll(output_);
        errorsText_ = ReadAll(errors_);
        return true;
    }

    pid_t pid_ = -1;
    int output_ = -1, errors_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string outputText_, errorsText_;
};
