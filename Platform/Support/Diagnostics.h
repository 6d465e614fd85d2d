// The one writer of the system's diagnostic lines ("Warning: ..."): each
// line goes whole to standard output and is flushed at once, so that lines
// from the units, the platform layer and background threads never mix.
// Tests capture the lines instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Diagnostics {

// Writes `line` and a newline.
void WriteLine(std::string_view line);

// For the boundaries where a handler's exception must not escape (timers,
// event handlers): call inside a catch block. Writes one line,
// "<where>:<what()>:<address of the exception object>", with "unknown
// exception" as the message when the object is not a std::exception. The
// address tells apart two reports of the same message.
void ReportException(std::string_view where);

// While a Capture exists, lines are collected by it instead of being written
// (the innermost capture wins). Captures are not shared between threads'
// expectations: any thread's lines reach the current capture.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<std::string> Lines() const;
    // All lines, each followed by a newline.
    std::string Text() const;
    void Clear();

private:
    friend void WriteLine(std::string_view line);
    Capture* outer_;
    std::vector<std::string> lines_;
};

}  // namespace Diagnostics
