#include <LocalHTTPServer.h>

#include <CFNetwork/CFNetwork.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

CFRef<CFURLRef> MakeURL(const std::string& text)
{
    CFRef<CFStringRef> string(CFStringCreateWithUTF8(text));
    return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, string, nullptr));
}

CFRef<CFHTTPMessageRef> MakeRequest(const std::string& url, const char* method = "GET")
{
    return CFRef<CFHTTPMessageRef>(CFHTTPMessageCreateRequest(nullptr, CFSTR(method), MakeURL(url), kCFHTTPVersion1_1));
}

std::string Text(CFStringRef s)
{
    return CFStringToUTF8(s);
}

// Bytes that show where each one belongs.
std::string Pattern(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

// A client that logs every event and, unless told otherwise, reads once per
// bytes-available event with a buffer of `readSize`.
struct Client {
    CFReadStreamRef stream = nullptr;
    CFIndex readSize = 16384;
    bool readOnEvent = true;
    std::vector<CFStreamEventType> events;
    std::vector<CFIndex> reads;
    std::string body;
    std::function<void(Client&, CFStreamEventType)> after;

    static void Callback(CFReadStreamRef stream, CFStreamEventType type, void* info)
    {
        auto& client = *static_cast<Client*>(info);
        EXPECT_EQ(stream, client.stream);
        client.events.push_back(type);
        if (type == kCFStreamEventHasBytesAvailable && client.readOnEvent) {
            std::vector<UInt8> buffer(static_cast<size_t>(client.readSize));
            const CFIndex count = CFReadStreamRead(stream, buffer.data(), client.readSize);
            client.reads.push_back(count);
            if (count > 0)
                client.body.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(count));
        }
        if (client.after)
            client.after(client, type);
    }

    void Attach(CFOptionFlags events = 27)
    {
        CFStreamClientContext context{0, this, nullptr, nullptr, nullptr};
        ASSERT_TRUE(CFReadStreamSetClient(stream, events, &Client::Callback, &context));
    }

    bool Finished() const
    {
        return !events.empty() &&
               (events.back() == kCFStreamEventEndEncountered || events.back() == kCFStreamEventErrorOccurred);
    }
    size_t Count(CFStreamEventType type) const { return std::count(events.begin(), events.end(), type); }
};

// A server on a thread of its own that answers one request with a body of
// `length` bytes (a repeating pattern), sending as fast as the client takes
// them, and counts what it got rid of.
class FloodServer {
public:
    explicit FloodServer(size_t length) : length_(length)
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FloodServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        close(listener_);
    }
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    std::string URL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/flood"; }
    size_t Sent() const { return sent_; }
    static char PatternAt(size_t offset) { return static_cast<char>('a' + offset % 23); }

private:
    // Waits for the socket to be ready for `events`; false once told to stop.
    bool Wait(int fd, short events)
    {
        pollfd entry{fd, events, 0};
        while (!stop_) {
            if (poll(&entry, 1, 50) > 0)
                return true;
        }
        return false;
    }

    void Serve()
    {
        if (!Wait(listener_, POLLIN))
            return;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && Wait(connection, POLLIN)) {
            const ssize_t n = read(connection, buffer, sizeof buffer);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        std::string block(23 * 4096, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = PatternAt(i);
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length_) + "\r\nConnection: close\r\n\r\n";
        bool ok = send(connection, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
        while (ok && sent_ < length_ && Wait(connection, POLLOUT)) {
            const size_t at = sent_ % block.size();
            const size_t count = std::min(block.size() - at, length_ - sent_);
            const ssize_t n = send(connection, block.data() + at, count, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent_ += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                ok = false;
        }
        close(connection);
    }

    size_t length_;
    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> sent_{0};
    std::thread thread_;
};

class HTTPStream : public testing::Test {
protected:
    // A stream for the URL, with the client attached and scheduled, opened.
    CFReadStreamRef Start(Client& client, const std::string& url, bool followRedirects = false)
    {
        CFReadStreamRef stream = CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest(url));
        EXPECT_NE(stream, nullptr);
        if (followRedirects) {
            EXPECT_TRUE(CFReadStreamSetProperty(stream, kCFStreamPropertyHTTPShouldAutoredirect, kCFBooleanTrue));
        }
        client.stream = stream;
        client.Attach();
        CFReadStreamScheduleWithRunLoop(stream, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
        EXPECT_TRUE(CFReadStreamOpen(stream));
        EXPECT_TRUE(client.events.empty()) << "nothing is told from inside the open";
        streams_.emplace_back(stream);
        return stream;
    }

    static CFRef<CFHTTPMessageRef> ResponseHeader(CFReadStreamRef stream)
    {
        return CFRef<CFHTTPMessageRef>(static_cast<CFHTTPMessageRef>(
            const_cast<void*>(CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPResponseHeader))));
    }

    static CFIndex StatusCode(CFReadStreamRef stream)
    {
        return CFHTTPMessageGetResponseStatusCode(ResponseHeader(stream));
    }

    TestApplication app_;
    LocalHTTPServer server_;
    std::vector<CFRef<CFReadStreamRef>> streams_;
};

}  // namespace

TEST_F(HTTPStream, BodyComesInReadsNoLargerThanAskedThenOneEnd)
{
    CannedResponse response;
    response.body = Pattern(200000);
    response.pieces = {1000, 70000};
    response.headers = {{"X-Kind", "pattern"}};
    server_.Route("/big", response);

    Client client;
    client.readSize = 4096;
    CFReadStreamRef stream = Start(client, server_.URL("/big"));
    ASSERT_TRUE(RunLoopUntil([&] { return client.Finished(); }));
    RunLoopFor(0.1);

    EXPECT_EQ(client.events.front(), kCFStreamEventOpenCompleted);
    EXPECT_EQ(client.events.back(), kCFStreamEventEndEncountered);
    EXPECT_EQ(client.Count(kCFStreamEventEndEncountered), 1u);
    EXPECT_EQ(client.Count(kCFStreamEventErrorOccurred), 0u);
    EXPECT_EQ(client.body, response.body) << "every byte, in order";
    EXPECT_GE(client.reads.size(), response.body.size() / 4096) << "the remainder of each read was kept and told again";
    for (CFIndex count : client.reads) {
        EXPECT_GT(count, 0);
        EXPECT_LE(count, 4096);
    }
    EXPECT_EQ(CFReadStreamGetStatus(stream), kCFStreamStatusAtEnd);
    UInt8 byte;
    EXPECT_EQ(CFReadStreamRead(stream, &byte, 1), 0);

    CFRef<CFHTTPMessageRef> header = ResponseHeader(stream);
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(header), 200);
    CFRef<CFStringRef> kind(CFHTTPMessageCopyHeaderFieldValue(header, CFSTR("x-kind")));
    EXPECT_EQ(Text(kind), "pattern");
}

TEST_F(HTTPStream, ErrorStatusesAreResponsesWithABody)
{
    for (int status : {404, 500, 503, 401, 301}) {
        SCOPED_TRACE(status);
        CannedResponse response;
        response.status = status;
        response.reason = "Whatever";
        response.body = "page for " + std::to_string(status);
        if (status == 301)
            response.headers = {{"Location", "/elsewhere"}};
        const std::string path = "/status" + std::to_string(status);
        server_.Route(path, response);

        Client client;
        CFReadStreamRef stream = Start(client, server_.URL(path));
        ASSERT_TRUE(RunLoopUntil([&] { return client.Finished(); }));
        EXPECT_EQ(client.events.back(), kCFStreamEventEndEncountered);
        EXPECT_EQ(client.Count(kCFStreamEventErrorOccurred), 0u);
        EXPECT_EQ(client.body, response.body);
        EXPECT_EQ(StatusCode(stream), status);
        EXPECT_EQ(CFReadStreamGetError(stream).domain, 0);
    }
    EXPECT_EQ(server_.Requests().size(), 5u) << "the 301 was not followed: the property was not set";
}

TEST_F(HTTPStream, FailuresEndWithOneErrorAndNoEnd)
{
    CannedResponse cut;
    cut.body = "the first part";
    cut.announcedExtra = 1000;
    server_.Route("/cut", cut);

    struct Case {
        const char* name;
        std::string url;
        CFStreamError expected;
        std::string bodyBefore;
    };
    const Case cases[] = {
        {"refused",
         "http://127.0.0.1:" + std::to_string(LocalHTTPServer::ClosedPort()) + "/",
         {kCFStreamErrorDomainPOSIX, ECONNREFUSED},
         ""},
        {"cut short", server_.URL("/cut"), {kCFStreamErrorDomainPOSIX, ECONNRESET}, "the first part"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client client;
        CFReadStreamRef stream = Start(client, c.url);
        ASSERT_TRUE(RunLoopUntil([&] { return client.Finished(); }));
        RunLoopFor(0.1);
        EXPECT_EQ(client.events.back(), kCFStreamEventErrorOccurred);
        EXPECT_EQ(client.Count(kCFStreamEventErrorOccurred), 1u);
        EXPECT_EQ(client.Count(kCFStreamEventEndEncountered), 0u);
        EXPECT_EQ(client.body, c.bodyBefore) << "what came before the failure was read first";
        const CFStreamError error = CFReadStreamGetError(stream);
        EXPECT_EQ(error.domain, c.expected.domain);
        EXPECT_EQ(error.error, c.expected.error);
        EXPECT_EQ(CFReadStreamGetStatus(stream), kCFStreamStatusError);
        UInt8 byte;
        EXPECT_EQ(CFReadStreamRead(stream, &byte, 1), -1);
    }
}

TEST_F(HTTPStream, RedirectsAreFollowedOnlyWhenAsked)
{
    CannedResponse moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {{"Location", "/new"}};
    moved.body = "moved";
    server_.Route("/old", moved);
    CannedResponse target;
    target.body = "the new place";
    server_.Route("/new", target);

    Client following;
    CFReadStreamRef stream = Start(following, server_.URL("/old"), true);
    ASSERT_TRUE(RunLoopUntil([&] { return following.Finished(); }));
    EXPECT_EQ(following.events.back(), kCFStreamEventEndEncountered);
    EXPECT_EQ(following.body, "the new place") << "the redirect's own body is not read";
    EXPECT_EQ(StatusCode(stream), 200);
    CFRef<CFURLRef> finalURL(static_cast<CFURLRef>(CFReadStreamCopyProperty(stream, kCFStreamPropertyHTTPFinalURL)));
    EXPECT_EQ(Text(CFURLGetString(finalURL)), server_.URL("/new"));
    EXPECT_FALSE(CFReadStreamSetProperty(stream, kCFStreamPropertyHTTPShouldAutoredirect, kCFBooleanFalse))
        << "too late once open";

    Client staying;
    stream = Start(staying, server_.URL("/old"));
    ASSERT_TRUE(RunLoopUntil([&] { return staying.Finished(); }));
    EXPECT_EQ(staying.body, "moved");
    EXPECT_EQ(StatusCode(stream), 302);

    ASSERT_EQ(server_.Requests().size(), 3u);
    EXPECT_EQ(server_.Requests()[1].path, "/new");
}

TEST_F(HTTPStream, NothingIsToldAfterCloseClientRemovalOrUnscheduling)
{
    CannedResponse response;
    response.body = Pattern(50000);
    response.pieces = {100, 100, 100};
    server_.Route("/slow", response);

    // Closed and released from inside its own callback.
    Client closing;
    closing.after = [&](Client& client, CFStreamEventType type) {
        if (type == kCFStreamEventHasBytesAvailable) {
            CFReadStreamClose(client.stream);
            CFReadStreamSetClient(client.stream, 0, nullptr, nullptr);
            CFRelease(client.stream);
        }
    };
    CFReadStreamRef stream = CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest(server_.URL("/slow")));
    closing.stream = stream;
    closing.Attach();
    CFReadStreamScheduleWithRunLoop(stream, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    ASSERT_TRUE(CFReadStreamOpen(stream));
    ASSERT_TRUE(RunLoopUntil([&] { return closing.Count(kCFStreamEventHasBytesAvailable) > 0; }));
    RunLoopFor(0.3);
    EXPECT_EQ(closing.Count(kCFStreamEventHasBytesAvailable), 1u);
    EXPECT_FALSE(closing.Finished());

    // The client removed as the open is told, then set again; unscheduled,
    // then scheduled again.
    Client pausing;
    pausing.after = [](Client& client, CFStreamEventType type) {
        if (type == kCFStreamEventOpenCompleted)
            CFReadStreamSetClient(client.stream, 0, nullptr, nullptr);
    };
    stream = Start(pausing, server_.URL("/slow"));
    ASSERT_TRUE(RunLoopUntil([&] { return !pausing.events.empty(); }));
    RunLoopFor(0.3);
    EXPECT_EQ(pausing.events.size(), 1u);
    pausing.after = nullptr;
    pausing.Attach();
    ASSERT_TRUE(RunLoopUntil([&] { return pausing.body.size() > 1000; }));
    CFReadStreamUnscheduleFromRunLoop(stream, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    const size_t seen = pausing.events.size();
    RunLoopFor(0.3);
    EXPECT_EQ(pausing.events.size(), seen);
    CFReadStreamScheduleWithRunLoop(stream, CFRunLoopGetCurrent(), kCFRunLoopCommonModes);
    ASSERT_TRUE(RunLoopUntil([&] { return pausing.Finished(); }));
    EXPECT_EQ(pausing.body, response.body) << "nothing was lost while nobody listened";
}

TEST_F(HTTPStream, AClientThatDoesNotReadIsNotToldOverAndOver)
{
    CannedResponse response;
    response.body = Pattern(3000);
    response.pieces = {1000, 1000};
    server_.Route("/three", response);

    Client idle;
    idle.readOnEvent = false;
    Start(idle, server_.URL("/three"));
    RunLoopFor(0.5);
    EXPECT_GE(idle.Count(kCFStreamEventHasBytesAvailable), 1u);
    EXPECT_LE(idle.Count(kCFStreamEventHasBytesAvailable), 10u) << "when more arrive, not on every pass";
    EXPECT_FALSE(idle.Finished()) << "the end waits for the bytes to be read";

    UInt8 buffer[5000];
    EXPECT_EQ(CFReadStreamRead(idle.stream, buffer, sizeof buffer), 3000);
    ASSERT_TRUE(RunLoopUntil([&] { return idle.Finished(); }));
    EXPECT_EQ(idle.events.back(), kCFStreamEventEndEncountered);
}

// What the client does not read waits at the server: the stream holds no
// more than a buffer's worth, and every byte still comes once it reads.
TEST_F(HTTPStream, ABodyNobodyReadsIsNotBufferedWhole)
{
    const size_t length = 128u << 20;
    FloodServer flood(length);
    Client idle;
    idle.readOnEvent = false;
    Start(idle, flood.URL());
    RunLoopFor(1.0);
    EXPECT_LT(flood.Sent(), 32u << 20) << "bytes taken from the server while nobody read";

    std::vector<UInt8> buffer(1 << 20);
    size_t total = 0;
    bool intact = true;
    for (;;) {
        const CFIndex count = CFReadStreamRead(idle.stream, buffer.data(), CFIndex(buffer.size()));
        ASSERT_GE(count, 0);
        if (count == 0)
            break;
        for (CFIndex i = 0; i < count; i += 4099)
            intact = intact && static_cast<char>(buffer[size_t(i)]) == FloodServer::PatternAt(total + size_t(i));
        total += static_cast<size_t>(count);
    }
    EXPECT_EQ(total, length);
    EXPECT_TRUE(intact);
}

TEST_F(HTTPStream, UnscheduledStreamsReadByBlocking)
{
    CannedResponse response;
    response.body = Pattern(30000);
    response.pieces = {10, 5000};
    server_.Route("/blocking", response);

    CFRef<CFReadStreamRef> stream(CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest(server_.URL("/blocking"))));
    ASSERT_TRUE(CFReadStreamOpen(stream));
    std::string body;
    UInt8 buffer[1000];
    for (int reads = 0; reads < 1000; ++reads) {
        const CFIndex count = CFReadStreamRead(stream, buffer, sizeof buffer);
        ASSERT_GE(count, 0);
        if (count == 0)
            break;
        body.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
    }
    EXPECT_EQ(body, response.body);
    EXPECT_EQ(CFReadStreamGetStatus(stream), kCFStreamStatusAtEnd);
}

// A read waiting for the network runs the loop, and what runs there may
// drop the last reference the stream's owner had: the read still ends
// with what came, and the stream goes after it.
TEST_F(HTTPStream, AStreamReleasedWhileAReadWaitsLastsUntilTheReadIsOver)
{
    CannedResponse response;
    response.body = Pattern(3000);
    response.pieces = {0};
    response.pauseMilliseconds = 300;
    server_.Route("/late", response);

    CFReadStreamRef stream = CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest(server_.URL("/late")));
    ASSERT_TRUE(CFReadStreamOpen(stream));
    QTimer::singleShot(0, [stream] { CFRelease(stream); });
    UInt8 buffer[4096];
    const CFIndex count = CFReadStreamRead(stream, buffer, sizeof buffer);
    ASSERT_GT(count, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count)),
              response.body.substr(0, static_cast<size_t>(count)));
}

TEST_F(HTTPStream, TheRequestGoesOutAsWritten)
{
    server_.Route("/form", CannedResponse{});
    CFRef<CFHTTPMessageRef> request = MakeRequest(server_.URL("/form"), "POST");
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("Content-Type"), CFSTR("text/plain; charset=utf-8"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("X-Token"), CFSTR("first"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("x-token"), CFSTR("s\u00e9cond"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("Content-Length"), CFSTR("2"));  // ours is sent
    const std::string text = "name=J\u00fcrgen";
    CFRef<CFDataRef> body(
        CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), static_cast<CFIndex>(text.size())));
    CFHTTPMessageSetBody(request, body);

    Client client;
    client.stream = CFReadStreamCreateForHTTPRequest(nullptr, request);
    streams_.emplace_back(client.stream);
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("X-Late"), CFSTR("not sent"));
    client.Attach();
    CFReadStreamScheduleWithRunLoop(client.stream, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    ASSERT_TRUE(CFReadStreamOpen(client.stream));
    ASSERT_TRUE(RunLoopUntil([&] { return client.Finished(); }));

    ASSERT_EQ(server_.Requests().size(), 1u);
    const RecordedRequest& seen = server_.Requests()[0];
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/form");
    EXPECT_EQ(seen.body, text);
    EXPECT_EQ(seen.headers.at("x-token"), "s\u00e9cond");
    EXPECT_EQ(seen.headers.at("content-length"), std::to_string(text.size()));
    EXPECT_EQ(seen.headers.count("x-late"), 0u) << "the stream sends its own copy";
}

TEST(HTTPMessage, RefusesWhatWouldChangeTheShapeOfTheRequest)
{
    const std::string url = "http://127.0.0.1:9/";
    for (const char* method : {"GE T", "GET\r\nX-Injected: 1", "", "G\u00c9T"})
        EXPECT_EQ(MakeRequest(url, method).get(), nullptr) << method;
    EXPECT_EQ(CFHTTPMessageCreateRequest(nullptr, CFSTR("GET"), nullptr, kCFHTTPVersion1_1), nullptr);
    EXPECT_EQ(CFHTTPMessageCreateRequest(nullptr, CFSTR("GET"), MakeURL("relative/path"), kCFHTTPVersion1_1), nullptr);
    EXPECT_EQ(CFHTTPMessageCreateRequest(nullptr, CFSTR("GET"), MakeURL(url), CFSTR("HTTP/9")), nullptr);

    CFRef<CFHTTPMessageRef> request = MakeRequest(url, "PROPFIND");
    ASSERT_NE(request.get(), nullptr);
    CFRef<CFStringRef> method(CFHTTPMessageCopyRequestMethod(request));
    EXPECT_EQ(Text(method), "PROPFIND");
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("Accept"), CFSTR("text/plain"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("Accept"), CFSTR("text/html\r\nX-Injected: 1"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("Bad Name"), CFSTR("x"));
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("X-Nul"), CFSTR("a\nb"));
    CFRef<CFStringRef> accept(CFHTTPMessageCopyHeaderFieldValue(request, CFSTR("ACCEPT")));
    EXPECT_EQ(Text(accept), "text/plain");
    CFRef<CFDictionaryRef> all(CFHTTPMessageCopyAllHeaderFields(request));
    EXPECT_EQ(CFDictionaryGetCount(all), 1);
    CFHTTPMessageSetHeaderFieldValue(request, CFSTR("accept"), nullptr);
    EXPECT_EQ(CFHTTPMessageCopyHeaderFieldValue(request, CFSTR("Accept")), nullptr);

    EXPECT_EQ(CFReadStreamCreateForHTTPRequest(nullptr, nullptr), nullptr);
    CFRef<CFHTTPMessageRef> response(CFHTTPMessageCreateResponse(nullptr, 404, CFSTR("Not Found"), kCFHTTPVersion1_1));
    EXPECT_EQ(CFReadStreamCreateForHTTPRequest(nullptr, response), nullptr);
    CFRef<CFStringRef> line(CFHTTPMessageCopyResponseStatusLine(response));
    EXPECT_EQ(Text(line), "HTTP/1.1 404 Not Found");
}

TEST_F(HTTPStream, OpeningFailsAtOnceAndSaysWhy)
{
    Client client;
    CFRef<CFReadStreamRef> stream(CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest("ftp://127.0.0.1/file")));
    client.stream = stream;
    client.Attach();
    CFReadStreamScheduleWithRunLoop(stream, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    UInt8 byte;
    EXPECT_EQ(CFReadStreamRead(stream, &byte, 1), -1) << "not open yet";
    EXPECT_FALSE(CFReadStreamOpen(stream));
    EXPECT_EQ(CFReadStreamGetStatus(stream), kCFStreamStatusError);
    EXPECT_EQ(CFReadStreamGetError(stream).domain, kCFStreamErrorDomainHTTP);
    EXPECT_EQ(CFReadStreamGetError(stream).error, kCFStreamErrorHTTPBadURL);
    RunLoopFor(0.1);
    EXPECT_TRUE(client.events.empty()) << "a failed open is not told again";

    server_.Route("/", CannedResponse{});
    CFRef<CFReadStreamRef> opened(CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest(server_.URL("/"))));
    EXPECT_TRUE(CFReadStreamOpen(opened));
    EXPECT_FALSE(CFReadStreamOpen(opened)) << "twice";
    CFReadStreamClose(opened);
    EXPECT_EQ(CFReadStreamGetStatus(opened), kCFStreamStatusClosed);
    EXPECT_EQ(CFReadStreamRead(opened, &byte, 1), -1);
}

TEST(HTTPStreamWithoutApplication, DoesNotOpen)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    CFRef<CFReadStreamRef> stream(CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest("http://127.0.0.1:9/")));
    EXPECT_FALSE(CFReadStreamOpen(stream));
    EXPECT_EQ(CFReadStreamGetError(stream).domain, kCFStreamErrorDomainPOSIX);
    EXPECT_EQ(CFReadStreamGetError(stream).error, ENOTSUP);
}

TEST(HTTPStreamClient, ContextInfoIsRetainedAndReleased)
{
    struct Counts {
        int retains = 0;
        int releases = 0;
    };
    Counts first, second;
    auto retain = [](void* info) -> void* {
        ++static_cast<Counts*>(info)->retains;
        return info;
    };
    auto release = [](void* info) { ++static_cast<Counts*>(info)->releases; };
    auto callback = [](CFReadStreamRef, CFStreamEventType, void*) {};

    CFReadStreamRef stream = CFReadStreamCreateForHTTPRequest(nullptr, MakeRequest("http://127.0.0.1:9/"));
    CFStreamClientContext context{0, &first, retain, release, nullptr};
    EXPECT_TRUE(CFReadStreamSetClient(stream, kCFStreamEventEndEncountered, callback, &context));
    EXPECT_TRUE(CFReadStreamSetClient(stream, kCFStreamEventEndEncountered, callback, &context));
    EXPECT_EQ(first.retains, 2);
    EXPECT_EQ(first.releases, 1) << "the same info again: retained before the old one is released";
    context.info = &second;
    CFReadStreamSetClient(stream, kCFStreamEventEndEncountered, callback, &context);
    EXPECT_EQ(first.releases, 2);
    CFRelease(stream);
    EXPECT_EQ(second.retains, 1);
    EXPECT_EQ(second.releases, 1);
}
