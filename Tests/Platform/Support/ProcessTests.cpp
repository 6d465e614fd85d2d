#include <Support/Process.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

TEST(Process, SplitCommandLineLikeASimpleShellCommand)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"open -a Brindlet", {"open", "-a", "Brindlet"}},
        {"  spaced\t out  ", {"spaced", "out"}},
        {"say 'single $(quoted)' \"double \\\"esc\\\" $x\"", {"say", "single $(quoted)", "double \"esc\" $x"}},
        {"a\\ b c", {"a b", "c"}},
        {"x;rm -rf y|z", {"x;rm", "-rf", "y|z"}},
        {"''", {""}},
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        ASSERT_TRUE(Process::SplitCommandLine(c.line, &words)) << c.line;
        EXPECT_EQ(words, c.words) << c.line;
    }
    std::vector<std::string> words;
    EXPECT_FALSE(Process::SplitCommandLine("unterminated 'quote", &words));
    EXPECT_FALSE(Process::SplitCommandLine("unterminated \"quote", &words));
    EXPECT_FALSE(Process::SplitCommandLine("trailing\\", &words));
}

TEST(Process, RunReadsAllOutputAndReportsStatus)
{
    std::string output;
    // Far more than a pipe holds: the child must never block on a full pipe.
    int status = Process::Run({"head", "-c", "3000000", "/dev/zero"}, &output);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output.size(), 3000000u);

    output.clear();
    status = Process::Run({"sh", "-c", "echo partial; exit 3"}, &output);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(output, "partial\n");

    EXPECT_EQ(Process::Run({"/nonexistent/program"}, nullptr), 127 << 8);
    EXPECT_EQ(Process::Run({}, nullptr), -1);
}
