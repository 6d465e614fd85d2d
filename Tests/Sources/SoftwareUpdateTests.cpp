// The software update: the appcast's versions, and the check that has no
// address to go to.
#include "BrindletTestSupport.h"

#include <Sources/SoftwareUpdate.h>

#include <LocalHTTPServer.h>
#include <RunUntil.h>

namespace {

TEST(SoftwareUpdate, TheNewestVersionOfTheAppcastIsFound)
{
    struct Case {
        const char* name;
        const char* appcast;
        const char* newest;
    };
    const Case cases[] = {
        {"attributes", R"(<item><enclosure sparkle:version="1.2" url="a"/></item>
                          <item><enclosure sparkle:version="1.10" url="b"/></item>)",
         "1.10"},
        {"elements",
         "<item><sparkle:version>2.0.1</sparkle:version></item><item><sparkle:version> 2.0 "
         "</sparkle:version></item>",
         "2.0.1"},
        {"single quotes", "<enclosure sparkle:version='3'/>", "3"},
        {"none", "<rss><channel><title>Nothing</title></channel></rss>", ""},
        {"no value", R"(<enclosure sparkle:version=""/>)", ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(brindlet::NewestAppcastVersion(row.appcast), row.newest);
    }
}

TEST(SoftwareUpdate, VersionsCompareNumberByNumber)
{
    struct Case {
        const char* a;
        const char* b;
        bool later;
    };
    const Case cases[] = {
        {"1.10", "1.9", true},  {"1.9", "1.10", false}, {"0.1", "0.1.0", false},
        {"0.1.1", "0.1", true}, {"2", "10", false},     {"1.0", "1", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        EXPECT_EQ(brindlet::IsLaterVersion(row.a, row.b), row.later);
    }
}

TEST(SoftwareUpdate, WithoutAnAddressNothingIsCheckedAndThatIsSaidOnce)
{
    BrindletScope scope;
    Diagnostics::Capture capture;
    StartedBrindlet application;
    SUSparkleCheckForUpdates(true);
    SUSparkleCheckForUpdates(false);
    int notices = 0;
    for (const std::string& line : capture.Lines())
        notices += line.find("no appcast address is configured") != std::string::npos;
    // The first start checked already (automatic updates are on by default)
    // unless an earlier test of this program said it.
    EXPECT_LE(notices, 1);
    capture.Clear();
    SUSparkleCheckForUpdates(true);
    EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace

namespace {

TEST(SoftwareUpdate, TheConfiguredAppcastIsReadAndItsNewestVersionReported)
{
    struct Case {
        const char* path;
        std::string body;
        const char* line;
    };
    const Case cases[] = {
        {"/newer.xml", R"(<rss><item><enclosure sparkle:version="99.1" url="x"/></item></rss>)",
         "Software update: version 99.1 is available."},
        {"/same.xml", R"(<rss><item><enclosure sparkle:version="0.1" url="x"/></item></rss>)",
         "Software update: version 0.1 is up to date."},
        {"/none.xml", "<rss></rss>", "Warning: The appcast ^ names no version."},
        {"/not a url.xml", "", "Warning: The appcast address ^ is not a URL."},
    };
    BrindletScope scope;
    LocalHTTPServer server;
    StartedBrindlet application;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.path);
        const std::string path = row.path;
        CannedResponse response;
        response.body = row.body;
        server.Route(path, response);
        TApplication::Prefs()->SetStringValue("SUFeedURL", ShortString(server.URL(path)));
        std::string expected = row.line;
        if (const size_t mark = expected.find('^'); mark != std::string::npos)
            expected.replace(mark, 1, server.URL(path));
        Diagnostics::Capture capture;
        SUSparkleCheckForUpdates(false);
        RunUntil([&] { return !capture.Lines().empty(); }, 10);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{expected});
    }
    TApplication::Prefs()->RemoveValue("SUFeedURL");
}

}  // namespace
