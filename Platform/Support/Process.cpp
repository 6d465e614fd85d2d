#include "Process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
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

int Run(const std::vector<std::string>& argv, std::string* output)
{
    if (argv.empty() || argv[0].empty())
        return -1;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    pid_t child = -1;
    const int spawnError = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawnError != 0) {
        close(pipeEnds[0]);
        return spawnError == ENOENT || spawnError == EACCES || spawnError == ENOEXEC ? (127 << 8) : -1;
    }

    char buffer[65536];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n > 0) {
            if (output)
                output->append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);

    int status = -1;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

}  // namespace Process
