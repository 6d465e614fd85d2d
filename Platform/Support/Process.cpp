#include "Process.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Process {

bool SplitCommandLine(std::string_view line, std::vector<std::string>* words)
{
    words->clear();
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words->push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            if (end == std::string_view::npos)
                return false;
            word.append(line.substr(i + 1, end - i - 1));
            i = end;
            inWord = true;
        } else if (c == '"') {
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    std::string_view("\\\"$`").find(line[j + 1]) != std::string_view::npos)
                    ++j;
                word.push_back(line[j]);
            }
            if (j >= line.size())
                return false;
            i = j;
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 >= line.size())
                return false;
            word.push_back(line[++i]);
            inWord = true;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words->push_back(std::move(word));
    return true;
}

namespace {

int WaitFor(pid_t child)
{
    int status = -1;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

// Reads what the pipe holds now; false once it is at its end.
bool ReadAvailable(int fd, std::string* output)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            output->append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            return false;
        else if (errno != EINTR)
            return errno == EAGAIN;
    }
}

// Reads the command's output until the command itself ends (or the pipe
// does), then takes what is left in the pipe without waiting for more: a
// program the command started in the background may hold the pipe open
// for as long as it runs, and we wait for the command, not for it.
int ReadUntilExit(pid_t child, int readEnd, std::string* output)
{
    const int exitWatch = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) | O_NONBLOCK);
    for (;;) {
        pollfd watched[2] = {{readEnd, POLLIN, 0}, {exitWatch, POLLIN, 0}};
        // Without a process descriptor (an old kernel), look for the exit
        // every tenth of a second.
        const int ready = poll(watched, exitWatch >= 0 ? 2 : 1, exitWatch >= 0 ? -1 : 100);
        if (ready < 0 && errno != EINTR)
            break;
        if ((watched[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadAvailable(readEnd, output)) {
            // The pipe ended: nothing can hold it any more.
            if (exitWatch >= 0)
                close(exitWatch);
            return WaitFor(child);
        }
        int status = 0;
        const bool exited =
            exitWatch >= 0 ? (watched[1].revents & POLLIN) != 0 : waitpid(child, &status, WNOHANG) == child;
        if (exited) {
            ReadAvailable(readEnd, output);
            if (exitWatch < 0)
                return status;
            close(exitWatch);
            return WaitFor(child);
        }
    }
    if (exitWatch >= 0)
        close(exitWatch);
    return WaitFor(child);
}

}  // namespace

int Run(const std::vector<std::string>& argv, std::string* output)
{
    if (argv.empty() || argv[0].empty())
        return -1;
    // Output nobody reads goes nowhere: a pipe would tie the caller to every
    // program that inherits it.
    int pipeEnds[2] = {-1, -1};
    if (output && pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    pid_t child = -1;
    const int spawnError = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output)
        close(pipeEnds[1]);
    if (spawnError != 0) {
        if (output)
            close(pipeEnds[0]);
        return spawnError == ENOENT || spawnError == EACCES || spawnError == ENOEXEC ? (127 << 8) : -1;
    }
    if (!output)
        return WaitFor(child);
    const int status = ReadUntilExit(child, pipeEnds[0], output);
    close(pipeEnds[0]);
    return status;
}

}  // namespace Process
