#include <CFTestSupport.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/PCRERegex/PCRERegex.h>

#include <CoreFoundation/CFStringUTF8.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Group {
    std::string text;
    CFIndex location;
    CFIndex length;
};

std::string Repeat(std::string_view piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Element 0 is never filled by a match; elements 1... are the groups.
void ExpectGroups(const PCREMatchesArray& matches, const std::vector<Group>& groups)
{
    ASSERT_EQ(matches.size(), groups.size() + 1);
    EXPECT_TRUE(matches[0].text.IsEmpty());
    EXPECT_EQ(matches[0].range.location, 0);
    EXPECT_EQ(matches[0].range.length, 0);
    for (size_t n = 0; n < groups.size(); ++n) {
        SCOPED_TRACE("group " + std::to_string(n + 1));
        EXPECT_EQ(matches[n + 1].text.ToString(), groups[n].text);
        EXPECT_EQ(matches[n + 1].range.location, groups[n].location);
        EXPECT_EQ(matches[n + 1].range.length, groups[n].length);
    }
}

std::vector<Group> FortyGroups()
{
    std::vector<Group> groups;
    for (CFIndex i = 0; i < 40; ++i)
        groups.push_back({"a", i, 1});
    return groups;
}

const char* const kConflictedCopy = "\\((.*)conflicted[[:space:]]+copy[[:space:]]+[0-9]+-[0-9]+-[0-9]+\\)\\.brproj$";

}  // namespace

TEST(RegexTest, MatchesAndGroups)
{
    struct Case {
        const char* name;
        std::string pattern;
        std::string subject;
        bool matches;
        std::vector<Group> groups;
    };
    const Case cases[] = {
        {"caseless by default", "^message:", "MESSAGE: hi", true, {}},
        {"caseless beyond ASCII", "^äpfel (\\w+)$", "ÄPFEL rot", true, {{"rot", 6, 3}}},
        {"no match", "^x", "abc", false, {}},
        {"two groups", "(.*) - (.*)", "a - b", true, {{"a", 0, 1}, {"b", 4, 1}}},
        {"ranges in UTF-16 units after non-ASCII and non-BMP characters",
         "^(\\S+) (\\S+) (\\S+) (\\w+)$",
         "Grüße 日本語 😀 ende",
         true,
         {{"Grüße", 0, 5}, {"日本語", 6, 3}, {"😀", 10, 2}, {"ende", 13, 4}}},
        {"unset middle group keeps its place", "(a)(x)?(b)", "ab", true, {{"a", 0, 1}, {"", 0, 0}, {"b", 1, 1}}},
        {"empty group that took part", "(a)(x*)(b)", "ab", true, {{"a", 0, 1}, {"", 1, 0}, {"b", 1, 1}}},
        {"unset last group still has an element", "(a)|(b)", "a", true, {{"a", 0, 1}, {"", 0, 0}}},
        {"more than 32 groups", Repeat("(a)", 40), Repeat("a", 40), true, FortyGroups()},
        {"text cut to 255 bytes, range whole", "(.*)", Repeat("é", 300), true, {{Repeat("é", 127), 0, 300}}},
        {"conflicted copy",
         kConflictedCopy,
         "Sheet (Anna's conflicted copy 2024-01-05).brproj",
         true,
         {{"Anna's ", 7, 7}}},
        {"not a conflicted copy", kConflictedCopy, "Sheet.brproj", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ShortString pattern(c.pattern);
        auto subject = MakeString(c.subject);
        EXPECT_EQ(Regex(pattern, subject), c.matches);
        PCREMatchesArray matches;
        EXPECT_EQ(Regex(pattern, subject, matches), c.matches);
        ExpectGroups(matches, c.groups);
    }
}

TEST(RegexTest, FailuresWarnAndLeaveNoStaleState)
{
    PCREMatchesArray matches;
    ASSERT_TRUE(Regex("(a)", MakeString("a"), matches));
    ASSERT_EQ(matches.size(), 2u);

    // The subject "a" would match the pattern compiled before.
    Diagnostics::Capture capture;
    EXPECT_FALSE(Regex("(unclosed", MakeString("a"), matches));
    EXPECT_FALSE(Regex("(unclosed", MakeString("a")));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>(2, "Warning: PCRE failed: (unclosed (missing ))"));
    EXPECT_EQ(matches.size(), 1u) << "no groups of the earlier match";

    // A lone surrogate has no UTF-8 form.
    capture.Clear();
    const UniChar lone[] = {'a', 0xD800};
    CFRef<CFStringRef> unconvertible(CFStringCreateWithCharacters(nullptr, lone, 2));
    EXPECT_FALSE(Regex("a", unconvertible));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Warning: PCRE failed to copy subject string."});

    capture.Clear();
    EXPECT_FALSE(Regex("^$", nullptr));
    EXPECT_FALSE(Regex("^$", MakeString(""), matches));
    EXPECT_TRUE(capture.Lines().empty());
}

// Patterns that recurse once a character, or scan to the end from every
// start, on a subject of a megabyte: each ends quickly with no match and
// one warning, never with a crash or minutes of work.
TEST(RegexTest, RunawayPatternsStopWithAWarning)
{
    const std::string megabyte = Repeat("ab", 512 * 1024);
    CFRef<CFStringRef> subject(CFStringCreateWithUTF8(megabyte));
    for (const char* pattern : {"(a|b)*c", "(?:a|b)*c", "(\\w|\\s)*x", "[ab]*c"}) {
        SCOPED_TRACE(pattern);
        Diagnostics::Capture capture;
        const auto started = std::chrono::steady_clock::now();
        PCREMatchesArray matches;
        EXPECT_FALSE(Regex(pattern, subject, matches));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_EQ(capture.Lines()[0].rfind("Warning: PCRE stopped matching " + std::string(pattern), 0), 0u)
            << capture.Lines()[0];
    }

    // The same limits leave ordinary matches on long subjects alone: a
    // pattern found far into the subject, on a thread of its own too.
    const std::string words = Repeat("lorem ipsum ", 1024 * 1024 / 12);
    CFRef<CFStringRef> needle(CFStringCreateWithUTF8(words + "mail me at someone@example.com"));
    PCREMatchesArray matches;
    Diagnostics::Capture capture;
    EXPECT_TRUE(Regex("(\\w+)@(\\w+)\\.com", needle, matches));
    const auto at = static_cast<CFIndex>(words.size());
    ExpectGroups(matches, {{"someone", at + 11, 7}, {"example", at + 19, 7}});
    std::thread([&] {
        CFRef<CFStringRef> deep(CFStringCreateWithUTF8(Repeat("ab", 2000) + "c"));
        EXPECT_TRUE(Regex("^(a|b)*c$", deep));
    }).join();
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(RegexTest, SubjectOptionsAndEncoding)
{
    const auto regex = TObjectRef<TPCRERegex>::Adopt(TPCRERegex::Create());
    EXPECT_EQ(regex->GetOptions(), 0x801u);
    EXPECT_EQ(regex->GetEncoding(), kCFStringEncodingUTF8);
    EXPECT_TRUE(regex->HasCompiledExpression()) << "the empty pattern";
    EXPECT_TRUE(regex->MatchWithSubject(MakeString(""))) << "an empty subject is a subject";

    regex->SetOptions(PCRE_UTF8);
    regex->SetExpression("^message:");
    EXPECT_FALSE(regex->MatchWithSubject(MakeString("MESSAGE: hi")));
    EXPECT_TRUE(regex->MatchWithSubject(MakeString("message: hi")));

    // A held subject stays until released; Match works on it.
    auto first = MakeString("first");
    regex->ReleaseSubject();
    regex->SetSubject(first);
    regex->SetSubject(MakeString("second"));
    EXPECT_EQ(UTF8Of(regex->GetSubject()), "first");
    PCREMatchesArray matches;
    regex->SetExpression("^(f)");
    EXPECT_TRUE(regex->Match(matches));
    ExpectGroups(matches, {{"f", 0, 1}});
    EXPECT_TRUE(regex->MatchWithSubject(regex->GetSubject())) << "handing back the held subject";
    EXPECT_FALSE(regex->Match("^(f)", MakeString("second"), matches));
    EXPECT_EQ(UTF8Of(regex->GetSubject()), "second");

    // A study goes with its pattern.
    regex->Study();
    regex->SetExpression("(nd)$");
    regex->Study();
    EXPECT_TRUE(regex->Match(matches));
    ExpectGroups(matches, {{"nd", 4, 2}});

    // One byte a character: the groups' texts are still UTF-8.
    regex->SetEncoding(kCFStringEncodingMacRoman);
    regex->SetOptions(PCRE_CASELESS);
    EXPECT_TRUE(regex->Match("^(\\S+) (AU)", MakeString("café au lait"), matches));
    ExpectGroups(matches, {{"café", 0, 4}, {"au", 5, 2}});
}

TEST(RegexTest, ShowVectorsStaysInsideTheVector)
{
    const auto regex = TObjectRef<TPCRERegex>::Adopt(TPCRERegex::Create());
    Diagnostics::Capture capture;
    regex->ShowVectors(3);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"\tmatches: 2"}) << "no vector yet";

    PCREMatchesArray matches;
    ASSERT_TRUE(regex->Match("(.*) - (.*)", MakeString("a - b"), matches));
    capture.Clear();
    regex->ShowVectors(3);
    const std::vector<std::string> lines = capture.Lines();
    const std::vector<std::string> head(lines.begin(), lines.begin() + 7);
    EXPECT_EQ(head, (std::vector<std::string>{"\tmatches: 2", "#0: 0", "#1: 5", "#2: 0", "#3: 1", "#4: 4", "#5: 5"}));
    EXPECT_EQ(lines.size(), 14u);

    capture.Clear();
    regex->ShowVectors(1000);
    EXPECT_EQ(capture.Lines().size(), regex->GetVector().size() + 1);
}

TEST(RegexTest, CopyingAndReleasingGroupStrings)
{
    auto subject = MakeString("a - b");
    PCREMatchesArray matches;
    ASSERT_TRUE(Regex("(.*) - (.*)", subject, matches));
    EXPECT_EQ(&RegexMatchesCopyStrings(subject, matches), &matches);
    RegexMatchesCopyStrings(subject, matches);  // replaces, never leaks
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(UTF8Of(matches[0].string), "");
    EXPECT_EQ(UTF8Of(matches[1].string), "a");
    EXPECT_EQ(UTF8Of(matches[2].string), "b");

    // Copies hold their own reference.
    PCREMatchesArray kept = matches;
    RegexMatchesRelease(matches);
    ASSERT_EQ(matches.size(), 3u);
    for (const PCREMatchInfo& info : matches) {
        EXPECT_EQ(info.string, nullptr);
        EXPECT_TRUE(info.text.IsEmpty());
        EXPECT_EQ(info.range.location, 0);
        EXPECT_EQ(info.range.length, 0);
    }
    EXPECT_EQ(UTF8Of(kept[2].string), "b");

    // A range outside the subject (another subject's groups) gives nil.
    kept[2].range = CFRangeMake(4, 2);
    RegexMatchesCopyStrings(subject, kept);
    EXPECT_EQ(kept[2].string, nullptr);
    RegexMatchesCopyStrings(nullptr, kept);
    EXPECT_EQ(kept[1].string, nullptr);

    // A match drops the strings of the elements it no longer needs.
    ASSERT_TRUE(Regex("(.*) - (.*)", subject, kept));
    RegexMatchesCopyStrings(subject, kept);
    EXPECT_FALSE(Regex("^x", subject, kept));
    EXPECT_EQ(kept.size(), 1u);
}

TEST(RegexTest, SharedRegexFromManyThreadsWithTheSwitchOn)
{
    ASSERT_FALSE(IsRegexThreadSafe()) << "off unless turned on";
    SetRegexThreadSafe(true);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            const std::string name = "t" + std::to_string(t);
            const ShortString pattern("^(" + name + ")-(\\d+)$");
            for (int i = 0; i < 300; ++i) {
                const std::string number = std::to_string(i);
                PCREMatchesArray matches;
                const bool ok = Regex(pattern, MakeString(name + "-" + number), matches) && matches.size() == 3 &&
                                matches[1].text == name && matches[2].text == number &&
                                !Regex(pattern, MakeString("x" + name));
                if (!ok)
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    SetRegexThreadSafe(false);
    EXPECT_EQ(wrong.load(), 0);
}
