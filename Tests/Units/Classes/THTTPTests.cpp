#include <LocalHTTPServer.h>
#include <Units/Classes/THTTPUnit.h>
#include <Units/Classes/TObjectRef.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// What the delegate heard, in order.
struct Heard {
    enum Kind { Data, Error, Complete } kind;
    std::optional<std::string> text;  // Data: nil as nullopt
    std::string bytes;                // Data: the chunk's bytes, from the response data
    CFStreamError error{0, 0};
};

class TListener : public TObject {
    BRINDLET_CLASS(TListener, TObject)

public:
    static TListener* Create() { return CreateInstance<TListener>(); }

    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("THTTP.Data", BRINDLET_METHOD(TListener, Data));
        RegisterMethod("THTTP.Error", BRINDLET_METHOD(TListener, Error));
        RegisterMethod("THTTP.Complete", BRINDLET_METHOD(TListener, Complete));
    }

    void Data(CFStringRef text)
    {
        Heard heard{Heard::Data, std::nullopt, {}, {}};
        if (text != nullptr)
            heard.text = CFStringToUTF8(text);
        // The chunk was added to the response data before the delegate heard of it.
        if (request != nullptr && TObject::IsLiveObject(request)) {
            CFDataRef data = request->GetResponseData();
            const auto length = static_cast<size_t>(CFDataGetLength(data));
            heard.bytes.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(data)) + seenBytes, length - seenBytes);
            seenBytes = length;
        }
        log.push_back(heard);
    }
    void Error(CFStreamError* record) { log.push_back({Heard::Error, std::nullopt, {}, *record}); }
    void Complete()
    {
        log.push_back({Heard::Complete, std::nullopt, {}, {}});
        if (request != nullptr) {
            CFDataRef data = request->GetResponseData();
            allBytes.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                            static_cast<size_t>(CFDataGetLength(data)));
            keptText = CFStringToUTF8(request->GetResponseText());
        }
    }

    bool Finished() const { return !log.empty() && log.back().kind != Heard::Data; }
    size_t Count(Heard::Kind kind) const
    {
        return std::count_if(log.begin(), log.end(), [&](const Heard& heard) { return heard.kind == kind; });
    }
    // The texts of the chunks, joined (nil chunks add nothing).
    std::string Texts() const
    {
        std::string joined;
        for (const Heard& heard : log)
            if (heard.kind == Heard::Data && heard.text)
                joined += *heard.text;
        return joined;
    }

    THTTP* request = nullptr;  // not retained: it frees itself
    size_t seenBytes = 0;
    std::vector<Heard> log;
    std::string allBytes;  // the response data as the request completed
    std::string keptText;
};

BRINDLET_DEFINE_CLASS(TListener, TObject)

CFRef<CFURLRef> MakeURL(const std::string& text)
{
    CFRef<CFStringRef> string(CFStringCreateWithUTF8(text));
    return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, string, nullptr));
}

std::string Pattern(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

bool IsUTF8(const std::string& bytes)
{
    CFStringRef s = CFStringCreateWithUTF8(bytes);
    if (s == nullptr)
        return false;
    CFRelease(s);
    return true;
}

class THTTPTest : public testing::Test {
protected:
    void SetUp() override { listener_ = TListener::Create(); }
    void TearDown() override { listener_->Release(); }

    // A request to the path on the test server with the listener as its
    // delegate, not sent yet.
    THTTP* Request(const std::string& url, const ShortString& method = "GET")
    {
        THTTP* request = THTTP::Create(MakeURL(url), method);
        request->SetDelegate(listener_);
        listener_->request = request;
        return request;
    }

    // Sends and waits for the end; answers whether it came in time.
    bool SendAndWait(THTTP* request)
    {
        request->SendRequest();
        return RunLoopUntil([&] { return listener_->Finished(); });
    }

    TestApplication app_;
    LocalHTTPServer server_;
    TListener* listener_ = nullptr;
};

}  // namespace

TEST_F(THTTPTest, ChunksArriveThenCompleteThenTheRequestIsFreed)
{
    CannedResponse response;
    response.body = Pattern(100000);
    response.pieces = {500, 40000};
    server_.Route("/list/join", response);

    THTTP* request = Request(server_.URL("/list/join"));
    ASSERT_TRUE(SendAndWait(request));
    RunLoopFor(0.1);

    EXPECT_EQ(listener_->Count(Heard::Complete), 1u);
    EXPECT_EQ(listener_->log.back().kind, Heard::Complete);
    EXPECT_EQ(listener_->Count(Heard::Error), 0u);
    EXPECT_GE(listener_->Count(Heard::Data), 100000u / 16384 + 1);
    for (const Heard& heard : listener_->log) {
        if (heard.kind == Heard::Data) {
            EXPECT_LE(heard.bytes.size(), 16384u);
        }
    }
    EXPECT_EQ(listener_->Texts(), response.body);
    EXPECT_EQ(listener_->allBytes, response.body);
    EXPECT_FALSE(TObject::IsLiveObject(request));
    EXPECT_EQ(listener_->GetRetainCount(), 1) << "the delegate was released with the request";
}

TEST_F(THTTPTest, AnErrorPageIsAResponse)
{
    CannedResponse missing;
    missing.status = 404;
    missing.reason = "Not Found";
    missing.body = "<html>No such list</html>";
    server_.Route("/gone", missing);

    THTTP* request = Request(server_.URL("/gone"));
    ASSERT_TRUE(SendAndWait(request));
    EXPECT_EQ(listener_->Count(Heard::Error), 0u);
    EXPECT_EQ(listener_->log.back().kind, Heard::Complete);
    EXPECT_EQ(listener_->Texts(), missing.body);
    EXPECT_FALSE(TObject::IsLiveObject(request));
}

TEST_F(THTTPTest, FailuresAreReportedOnceAndFreeTheRequest)
{
    struct Case {
        const char* name;
        std::function<THTTP*()> make;
        CFStreamError expected;
    };
    const Case cases[] = {
        {"refused",
         [&] { return Request("http://127.0.0.1:" + std::to_string(LocalHTTPServer::ClosedPort()) + "/"); },
         {kCFStreamErrorDomainPOSIX, ECONNREFUSED}},
        {"not http", [&] { return Request("ftp://127.0.0.1/list"); }, {2, -1}},
        {"no URL",
         [&] {
             THTTP* request = THTTP::Create(nullptr, "GET");
             request->SetDelegate(listener_);
             return request;
         },
         {2, -1}},
        {"not a method", [&] { return Request(server_.URL("/"), "GET /x"); }, {2, -1}},
        {"made by name",
         [&] {
             auto* request = static_cast<THTTP*>(AllocateClass("THTTP"));
             request->RequestInitialization();
             request->SetDelegate(listener_);
             return request;
         },
         {2, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        listener_->log.clear();
        THTTP* request = c.make();
        ASSERT_NE(request, nullptr);
        ASSERT_TRUE(SendAndWait(request));
        RunLoopFor(0.1);
        ASSERT_EQ(listener_->log.size(), 1u) << "the error alone";
        EXPECT_EQ(listener_->log[0].kind, Heard::Error);
        EXPECT_EQ(listener_->log[0].error.domain, c.expected.domain);
        EXPECT_EQ(listener_->log[0].error.error, c.expected.error);
        EXPECT_FALSE(TObject::IsLiveObject(request));
    }
    EXPECT_EQ(listener_->GetRetainCount(), 1);
}

TEST_F(THTTPTest, RedirectsAreFollowedSilently)
{
    CannedResponse moved;
    moved.status = 301;
    moved.reason = "Moved Permanently";
    moved.headers = {{"Location", "/v2/join"}};
    moved.body = "see /v2/join";
    server_.Route("/join", moved);
    CannedResponse joined;
    joined.body = "welcome";
    server_.Route("/v2/join", joined);

    ASSERT_TRUE(SendAndWait(Request(server_.URL("/join"))));
    ASSERT_EQ(listener_->log.size(), 2u);
    EXPECT_EQ(listener_->log[0].text, "welcome");
    EXPECT_EQ(listener_->log[1].kind, Heard::Complete);
    EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(THTTPTest, ACharacterSplitBetweenReadsGivesNilTextButNoByteIsLost)
{
    std::string body;
    for (int i = 0; i < 40000; ++i)
        body += "\u20ac";  // three bytes: 16384 reads cut characters
    CannedResponse response;
    response.body = body;
    response.pieces = {16385};
    response.pauseMilliseconds = 200;
    server_.Route("/euros", response);

    THTTP* request = Request(server_.URL("/euros"));
    request->SetKeepText(true);
    ASSERT_TRUE(SendAndWait(request));

    size_t nilChunks = 0;
    for (const Heard& heard : listener_->log) {
        if (heard.kind != Heard::Data)
            continue;
        EXPECT_LE(heard.bytes.size(), 16384u);
        EXPECT_EQ(heard.text.has_value(), IsUTF8(heard.bytes)) << "nil exactly when the chunk alone is not UTF-8";
        if (heard.text) {
            EXPECT_EQ(*heard.text, heard.bytes);
        } else {
            ++nilChunks;
        }
    }
    EXPECT_GE(nilChunks, 1u);
    EXPECT_EQ(listener_->allBytes, body) << "the response data holds every byte";
    EXPECT_EQ(listener_->keptText, body) << "the kept text holds every character";
}

TEST_F(THTTPTest, TheKeptTextIsSavedAtTheEnd)
{
    const std::string body = "Gr\u00fc\u00dfe \u2014 line one\nline two\n";
    CannedResponse response;
    response.body = body;
    server_.Route("/text", response);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path = folder.filePath("saved.txt").toStdString();

    THTTP* request = Request(server_.URL("/text"));
    request->SetKeepText(true);
    CFRef<CFStringRef> savePath(CFStringCreateWithUTF8(path));
    request->SetSavePath(savePath);
    ASSERT_TRUE(SendAndWait(request));
    QFile saved(QString::fromStdString(path));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), body);

    // No save path: nothing is written anywhere, and the end still comes.
    listener_->log.clear();
    listener_->seenBytes = 0;
    request = Request(server_.URL("/text"));
    request->SetKeepText(true);
    EXPECT_EQ(request->Save(), noErr);
    ASSERT_TRUE(SendAndWait(request));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1);

    // A path that cannot be written: said, and the end still comes.
    listener_->log.clear();
    listener_->seenBytes = 0;
    request = Request(server_.URL("/text"));
    request->SetKeepText(true);
    CFRef<CFStringRef> badPath(CFStringCreateWithUTF8(folder.filePath("missing/saved.txt").toStdString()));
    request->SetSavePath(badPath);
    Diagnostics::Capture capture;
    ASSERT_TRUE(SendAndWait(request));
    EXPECT_EQ(listener_->log.back().kind, Heard::Complete);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("Warning: THTTP could not save the response to ", 0), 0u) << capture.Text();
}

TEST_F(THTTPTest, SavingWritesTheTextToAnyPath)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CannedResponse response;
    response.body = "first\nsecond\n";
    server_.Route("/lines", response);
    THTTP* request = Request(server_.URL("/lines"));
    request->SetKeepText(true);
    auto kept = TObjectRef<THTTP>::Retain(request);  // kept past the end to save again
    ASSERT_TRUE(SendAndWait(request));
    ASSERT_TRUE(TObject::IsLiveObject(request));
    CFRef<CFStringRef> path(CFStringCreateWithUTF8(folder.filePath("copy.txt").toStdString()));
    EXPECT_EQ(request->Save(path), noErr);
    kept.Reset();
    QFile saved(folder.filePath("copy.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), response.body);
}

TEST_F(THTTPTest, SendingTwiceSendsOnce)
{
    CannedResponse response;
    response.body = "once";
    server_.Route("/once", response);
    THTTP* request = Request(server_.URL("/once"));
    request->SendRequest();
    request->SendRequest();
    ASSERT_TRUE(RunLoopUntil([&] { return listener_->Finished(); }));
    RunLoopFor(0.1);
    EXPECT_EQ(listener_->Texts(), "once");
    EXPECT_EQ(listener_->Count(Heard::Error), 0u);
    EXPECT_EQ(server_.Requests().size(), 1u);
    EXPECT_FALSE(TObject::IsLiveObject(request));
}
