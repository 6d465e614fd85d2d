// Starting programs without a shell. Every program the system runs is
// started with an argument vector, so no text from a file, a preference or a
// user ever reaches a shell's parser.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Process {

// Splits a command line into words the way a shell splits simple commands:
// blanks separate words, '...' and "..." group, a backslash keeps the next
// character (inside double quotes only before \ " $ and `). Nothing is
// expanded or substituted: "$(x)", "|", ";" and ">" are plain text. False
// for an unterminated quote or a trailing backslash.
bool SplitCommandLine(std::string_view line, std::vector<std::string>* words);

// Runs argv[0] (looked up in PATH when it has no slash) with the given
// arguments, standard input from /dev/null, standard error shared with us,
// and waits for it alone. With `output`, its standard output is read while
// it runs (so a program that writes a lot never blocks) and what it left in
// the pipe is taken once it ends; programs it started in the background
// keep running and no longer tie the caller. Without, its output goes to
// /dev/null. Answers the wait status (as waitpid gives it): 0 for success,
// 127 << 8 when the program cannot be found or started, -1 when no process
// could be made at all.
int Run(const std::vector<std::string>& argv, std::string* output);

}  // namespace Process
