#include <CarbonCore/CarbonEvents.h>
#include <CoreServices/AppleEvents.h>
#include <CoreServices/Files.h>
#include <CoreServices/Processes.h>
#include <Support/Diagnostics.h>

#include <FileFixtures.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

constexpr OSType kKeep = FourCC("keep");  // what an output held before a call that must leave it

// A descriptor disposed of at the end of the scope.
struct ScopedDesc {
    AEDesc desc{typeNull, nullptr};
    ~ScopedDesc() { AEDisposeDesc(&desc); }
    AEDesc* operator&() { return &desc; }
};

std::string DataOf(const AEDesc* desc)
{
    std::string bytes(static_cast<size_t>(AEGetDescDataSize(desc)), '\0');
    EXPECT_EQ(AEGetDescData(desc, bytes.data(), static_cast<Size>(bytes.size())), noErr);
    return bytes;
}

FSRef RefOf(const std::string& path)
{
    FSRef ref{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr) << path;
    return ref;
}

std::string FileURLOf(const std::string& path)
{
    const FSRef ref = RefOf(path);
    ScopedDesc url;
    EXPECT_EQ(AECoercePtr(typeFSRef, &ref, sizeof ref, typeFileURL, &url), noErr);
    return DataOf(&url.desc);
}

std::string NameOf(OSType code)
{
    const char chars[] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
    return chars;
}

}  // namespace

TEST(AppleEventDescriptors, CreateCopyAndDisposeOwnTheirBytes)
{
    struct Row {
        const char* what;
        DescType type;
        const void* data;
        Size size;
        OSErr status;
    };
    const char text[] = "hello";
    const Row rows[] = {
        {"text", typeChar, text, 5, noErr},
        {"empty", typeChar, nullptr, 0, noErr},
        {"null", typeNull, nullptr, 0, noErr},
        {"negative size", typeChar, text, -1, paramErr},
        {"nil data with a size", typeChar, nullptr, 3, paramErr},
        {"a list is no plain type", typeAEList, text, 5, paramErr},
        {"nor an Apple event", typeAppleEvent, text, 5, paramErr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AEDesc desc{typeFSRef, reinterpret_cast<AEDataStorage>(0x1)};  // garbage the call must overwrite
        ASSERT_EQ(AECreateDesc(row.type, row.data, row.size, &desc), row.status);
        if (row.status != noErr) {
            EXPECT_EQ(desc.descriptorType, typeNull);
            EXPECT_EQ(desc.dataHandle, nullptr);
            continue;
        }
        EXPECT_EQ(desc.descriptorType, row.type);
        EXPECT_EQ(DataOf(&desc),
                  std::string(static_cast<const char*>(row.data ? row.data : ""), static_cast<size_t>(row.size)));
        ScopedDesc copy;
        ASSERT_EQ(AEDuplicateDesc(&desc, &copy), noErr);
        ASSERT_EQ(AEDisposeDesc(&desc), noErr);
        EXPECT_EQ(desc.descriptorType, typeNull);
        EXPECT_EQ(DataOf(&copy.desc),
                  std::string(static_cast<const char*>(row.data ? row.data : ""), static_cast<size_t>(row.size)));
    }

    // A stale copy of a disposed descriptor is recognised, not read or freed twice.
    AEDesc desc, stale;
    ASSERT_EQ(AECreateDesc(typeChar, text, 5, &desc), noErr);
    stale = desc;
    ASSERT_EQ(AEDisposeDesc(&desc), noErr);
    EXPECT_EQ(AEDisposeDesc(&stale), errAENotAEDesc);
    char buffer[8] = "ABCDEFG";
    EXPECT_EQ(AEGetDescData(&stale, buffer, sizeof buffer), errAENotAEDesc);
    EXPECT_STREQ(buffer, "ABCDEFG");
    long count = 77;
    EXPECT_EQ(AECountItems(&stale, &count), errAENotAEDesc);
    EXPECT_EQ(count, 77);
    ScopedDesc duplicate;
    EXPECT_EQ(AEDuplicateDesc(&stale, &duplicate), errAENotAEDesc);
}

TEST(AppleEventLists, ItemsByIndexAndTheIndexesOutside)
{
    ScopedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    EXPECT_EQ(list.desc.descriptorType, typeAEList);
    const SInt32 one = 1, two = 2, three = 3, twenty = 20;
    ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &one, sizeof one), noErr);  // 0 appends
    ASSERT_EQ(AEPutPtr(&list, 2, typeSInt32, &two, sizeof two), noErr);  // one past the end appends
    ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "three", 5), noErr);
    ASSERT_EQ(AEPutPtr(&list, 2, typeSInt32, &twenty, sizeof twenty), noErr);  // replaces
    EXPECT_EQ(AEPutPtr(&list, 5, typeSInt32, &three, sizeof three), errAEIllegalIndex);
    EXPECT_EQ(AEPutPtr(&list, -1, typeSInt32, &three, sizeof three), errAEIllegalIndex);
    long count = 0;
    ASSERT_EQ(AECountItems(&list, &count), noErr);
    EXPECT_EQ(count, 3);

    AEKeyword keyword = 0;
    DescType type = 0;
    SInt32 value = 0;
    Size size = 0;
    ASSERT_EQ(AEGetNthPtr(&list, 2, typeWildCard, &keyword, &type, &value, sizeof value, &size), noErr);
    EXPECT_EQ(keyword, typeWildCard);
    EXPECT_EQ(type, typeSInt32);
    EXPECT_EQ(value, 20);
    EXPECT_EQ(size, 4);

    // A buffer too small gets what fits; the size says how much there was.
    char shortBuffer[3] = {'x', 'x', 'x'};
    ASSERT_EQ(AEGetNthPtr(&list, 3, typeChar, nullptr, nullptr, shortBuffer, 2, &size), noErr);
    EXPECT_EQ(std::string(shortBuffer, 3), "thx");
    EXPECT_EQ(size, 5);

    for (long index : {0L, 4L, -3L}) {
        SCOPED_TRACE(index);
        AEKeyword keywordOut = kKeep;
        DescType typeOut = kKeep;
        SInt32 valueOut = -5;
        Size sizeOut = -5;
        EXPECT_EQ(AEGetNthPtr(&list, index, typeWildCard, &keywordOut, &typeOut, &valueOut, sizeof valueOut, &sizeOut),
                  errAEIllegalIndex);
        EXPECT_EQ(keywordOut, kKeep);
        EXPECT_EQ(typeOut, kKeep);
        EXPECT_EQ(valueOut, -5);
        EXPECT_EQ(sizeOut, -5);
        ScopedDesc item;
        EXPECT_EQ(AEGetNthDesc(&list, index, typeWildCard, nullptr, &item), errAEIllegalIndex);
        EXPECT_EQ(item.desc.descriptorType, typeNull);
    }

    ASSERT_EQ(AEDeleteItem(&list, 1), noErr);
    ASSERT_EQ(AEGetNthPtr(&list, 1, typeSInt32, nullptr, nullptr, &value, sizeof value, nullptr), noErr);
    EXPECT_EQ(value, 20);
    EXPECT_EQ(AEDeleteItem(&list, 3), errAEIllegalIndex);

    // A list put into a list is a copy: changing the inner one later leaves it.
    ScopedDesc outer;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &outer), noErr);
    ASSERT_EQ(AEPutDesc(&outer, 0, &list.desc), noErr);
    ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &three, sizeof three), noErr);
    ScopedDesc inner;
    ASSERT_EQ(AEGetNthDesc(&outer, 1, typeAEList, nullptr, &inner), noErr);
    ASSERT_EQ(AECountItems(&inner, &count), noErr);
    EXPECT_EQ(count, 2);
    // Lists have no bytes to copy out.
    EXPECT_EQ(AEGetNthPtr(&outer, 1, typeWildCard, nullptr, nullptr, &value, sizeof value, nullptr), errAECoercionFail);

    // What is no list.
    ScopedDesc plain, record;
    ASSERT_EQ(AECreateDesc(typeSInt32, &one, sizeof one, &plain), noErr);
    count = 9;
    EXPECT_EQ(AECountItems(&plain, &count), errAEWrongDataType);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(AEPutPtr(&plain, 0, typeSInt32, &one, sizeof one), errAEWrongDataType);
    ASSERT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
    EXPECT_EQ(record.desc.descriptorType, typeAERecord);
    EXPECT_EQ(AEPutPtr(&record, 0, typeSInt32, &one, sizeof one), errAEWrongDataType);
}

TEST(AppleEventCoercions, FileItemsBecomeFileReferencesOnlyForFilesThatExist)
{
    ScratchFolder folder;
    folder.Write("Notes Ä & co.txt", "x");
    const std::string path = folder / "Notes Ä & co.txt";
    const std::string url = FileURLOf(path);
    EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
    EXPECT_EQ(url.find(' '), std::string::npos) << "a URL's text is escaped: " << url;

    ScopedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    const std::string missing = "file://" + folder.Path() + "/gone.txt";
    const std::string notAFile = "https://example.org/a.txt";
    const std::string garbage = "\xff\xfe not a url";
    for (const std::string& item : {url, missing, notAFile, garbage})
        ASSERT_EQ(AEPutPtr(&list, 0, typeFileURL, item.data(), static_cast<Size>(item.size())), noErr);

    FSRef ref{};
    DescType type = 0;
    Size size = 0;
    ASSERT_EQ(AEGetNthPtr(&list, 1, typeFSRef, nullptr, &type, &ref, sizeof ref, &size), noErr);
    EXPECT_EQ(type, typeFSRef);
    EXPECT_EQ(size, Size(sizeof ref));
    const FSRef expected = RefOf(path);
    EXPECT_EQ(FSCompareFSRefs(&ref, &expected), noErr);

    for (long index = 2; index <= 4; ++index) {
        SCOPED_TRACE(index);
        FSRef untouched;
        std::memset(&untouched, 0xAB, sizeof untouched);
        FSRef out = untouched;
        EXPECT_EQ(AEGetNthPtr(&list, index, typeFSRef, nullptr, nullptr, &out, sizeof out, nullptr), errAECoercionFail);
        EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0);
    }

    // The other way, and what cannot go that way.
    ScopedDesc back;
    ASSERT_EQ(AECoercePtr(typeFSRef, &expected, sizeof expected, typeFileURL, &back), noErr);
    EXPECT_EQ(DataOf(&back.desc), url);
    ScopedDesc refused;
    EXPECT_EQ(AECoercePtr(typeFSRef, &expected, 12, typeFileURL, &refused), errAECoercionFail);
    EXPECT_EQ(AECoercePtr(typeSInt32, &size, 4, typeFSRef, &refused), errAECoercionFail);
    EXPECT_EQ(refused.desc.descriptorType, typeNull);

    // One item where a list is wanted reads as a list of one.
    ScopedDesc event;
    ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, nullptr, kAutoGenerateReturnID, kAnyTransactionID,
                                 &event),
              noErr);
    ASSERT_EQ(AEPutParamPtr(&event, keyDirectObject, typeFileURL, url.data(), static_cast<Size>(url.size())), noErr);
    ScopedDesc single;
    ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeAEList, &single), noErr);
    long count = 0;
    ASSERT_EQ(AECountItems(&single, &count), noErr);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(AEGetNthPtr(&single, 1, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr), noErr);
    EXPECT_EQ(FSCompareFSRefs(&ref, &expected), noErr);
}

TEST(AppleEventParameters, ByKeywordWithTheirErrors)
{
    ScopedDesc event;
    ASSERT_EQ(AECreateAppleEvent(FourCC("test"), FourCC("kind"), nullptr, kAutoGenerateReturnID, 42, &event), noErr);
    EXPECT_EQ(event.desc.descriptorType, typeAppleEvent);
    OSType code = 0;
    ASSERT_EQ(AEGetAttributePtr(&event, keyEventClassAttr, typeType, nullptr, &code, sizeof code, nullptr), noErr);
    EXPECT_EQ(NameOf(code), "test");
    ASSERT_EQ(AEGetAttributePtr(&event, keyEventIDAttr, typeType, nullptr, &code, sizeof code, nullptr), noErr);
    EXPECT_EQ(NameOf(code), "kind");
    SInt32 transaction = 0;
    ASSERT_EQ(
        AEGetAttributePtr(&event, keyTransactionIDAttr, typeSInt32, nullptr, &transaction, sizeof transaction, nullptr),
        noErr);
    EXPECT_EQ(transaction, 42);
    AEReturnID first = 0, second = 0;
    ScopedDesc other;
    ASSERT_EQ(AECreateAppleEvent(FourCC("test"), FourCC("kind"), nullptr, kAutoGenerateReturnID, 0, &other), noErr);
    AEGetAttributePtr(&event, keyReturnIDAttr, typeSInt16, nullptr, &first, sizeof first, nullptr);
    AEGetAttributePtr(&other, keyReturnIDAttr, typeSInt16, nullptr, &second, sizeof second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first, kAutoGenerateReturnID);

    const SInt32 seven = 7, eight = 8;
    ASSERT_EQ(AEPutParamPtr(&event, FourCC("sevn"), typeSInt32, &seven, sizeof seven), noErr);
    ASSERT_EQ(AEPutParamPtr(&event, FourCC("sevn"), typeSInt32, &eight, sizeof eight), noErr);  // replaces
    long count = 0;
    ASSERT_EQ(AECountItems(&event, &count), noErr);
    EXPECT_EQ(count, 1);
    DescType type = 0;
    Size size = 0;
    ASSERT_EQ(AESizeOfParam(&event, FourCC("sevn"), &type, &size), noErr);
    EXPECT_EQ(type, typeSInt32);
    EXPECT_EQ(size, 4);

    ScopedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    struct Row {
        const char* what;
        const AEDesc* desc;
        AEKeyword keyword;
        DescType desired;
        OSErr status;
    };
    const Row rows[] = {
        {"missing", &event.desc, FourCC("none"), typeSInt32, errAEDescNotFound},
        {"cannot be coerced", &event.desc, FourCC("sevn"), typeFSRef, errAECoercionFail},
        {"a list has no parameters", &list.desc, FourCC("sevn"), typeSInt32, errAEWrongDataType},
        {"nil", nullptr, FourCC("sevn"), typeSInt32, paramErr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SInt32 value = -1;
        DescType actual = kKeep;
        Size actualSize = -1;
        EXPECT_EQ(AEGetParamPtr(row.desc, row.keyword, row.desired, &actual, &value, sizeof value, &actualSize),
                  row.status);
        EXPECT_EQ(value, -1);
        EXPECT_EQ(actual, kKeep);
        EXPECT_EQ(actualSize, -1);
        ScopedDesc result;
        EXPECT_EQ(AEGetParamDesc(row.desc, row.keyword, row.desired, &result), row.status);
        EXPECT_EQ(result.desc.descriptorType, typeNull);
    }
    SInt32 value = 0;
    EXPECT_EQ(AEGetAttributePtr(&list, keyEventClassAttr, typeType, nullptr, &value, sizeof value, nullptr),
              errAENotAppleEvent);
    EXPECT_EQ(AEDeleteParam(&event, FourCC("sevn")), noErr);
    EXPECT_EQ(AEDeleteParam(&event, FourCC("sevn")), errAEDescNotFound);

    // Records take keyword items too.
    ScopedDesc record;
    ASSERT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
    ASSERT_EQ(AEPutKeyPtr(&record, FourCC("sevn"), typeSInt32, &seven, sizeof seven), noErr);
    AEKeyword keyword = 0;
    ASSERT_EQ(AEGetNthPtr(&record, 1, typeSInt32, &keyword, nullptr, &value, sizeof value, nullptr), noErr);
    EXPECT_EQ(NameOf(keyword), "sevn");
    EXPECT_EQ(value, 7);
}

namespace {

struct Calls {
    std::vector<std::string> log;
};

OSErr PassingHandler(const AppleEvent*, AppleEvent*, SRefCon refCon)
{
    static_cast<Calls*>(refCon)->log.push_back("passing");
    return errAEEventNotHandled;
}

OSErr TakingHandler(const AppleEvent* event, AppleEvent* reply, SRefCon refCon)
{
    static_cast<Calls*>(refCon)->log.push_back("taking");
    SInt32 answer = 0;
    if (AEGetParamPtr(event, keyDirectObject, typeSInt32, nullptr, &answer, sizeof answer, nullptr) == noErr)
        AEPutParamPtr(reply, keyDirectObject, typeSInt32, &answer, sizeof answer);
    return noErr;
}

OSErr FailingHandler(const AppleEvent*, AppleEvent*, SRefCon refCon)
{
    static_cast<Calls*>(refCon)->log.push_back("failing");
    return -1234;
}

// Removes every handler a test installed.
struct ScopedHandlers {
    std::vector<std::tuple<AEEventClass, AEEventID, AEEventHandlerUPP, bool>> installed;
    void Install(AEEventClass c, AEEventID i, AEEventHandlerUPP h, Calls* calls, bool system = false)
    {
        ASSERT_EQ(AEInstallEventHandler(c, i, h, calls, system), noErr);
        installed.emplace_back(c, i, h, system);
    }
    ~ScopedHandlers()
    {
        for (const auto& [c, i, h, system] : installed)
            AERemoveEventHandler(c, i, h, system);
    }
};

OSErr SendAndWait(AEEventClass eventClass, AEEventID eventID, AppleEvent* reply, SInt32 direct = 5)
{
    AppleEvent event;
    AECreateAppleEvent(eventClass, eventID, nullptr, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEPutParamPtr(&event, keyDirectObject, typeSInt32, &direct, sizeof direct);
    const OSErr status = AESend(&event, reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
    AEDisposeDesc(&event);
    return status;
}

}  // namespace

TEST(AppleEventHandlers, ExactBeforeWildcardsApplicationBeforeSystemAndPassingOn)
{
    Calls calls;
    ScopedHandlers handlers;
    handlers.Install(FourCC("tst1"), FourCC("exct"), PassingHandler, &calls);
    handlers.Install(FourCC("tst1"), typeWildCard, TakingHandler, &calls);
    handlers.Install(FourCC("tst1"), FourCC("exct"), FailingHandler, &calls, /*system=*/true);

    ScopedDesc reply;
    EXPECT_EQ(SendAndWait(FourCC("tst1"), FourCC("exct"), &reply, 99), noErr);
    EXPECT_EQ(calls.log, (std::vector<std::string>{"passing", "taking"}));
    SInt32 answer = 0;
    ASSERT_EQ(AEGetParamPtr(&reply, keyDirectObject, typeSInt32, nullptr, &answer, sizeof answer, nullptr), noErr);
    EXPECT_EQ(answer, 99);
    OSType code = 0;
    AEGetAttributePtr(&reply, keyEventIDAttr, typeType, nullptr, &code, sizeof code, nullptr);
    EXPECT_EQ(code, kAEAnswer);

    // Installing again replaces; removing needs the handler that is there.
    EXPECT_EQ(AERemoveEventHandler(FourCC("tst1"), typeWildCard, PassingHandler, false), errAEHandlerNotFound);
    handlers.Install(FourCC("tst1"), typeWildCard, PassingHandler, &calls);
    AEEventHandlerUPP found = nullptr;
    SRefCon refCon = nullptr;
    ASSERT_EQ(AEGetEventHandler(FourCC("tst1"), typeWildCard, &found, &refCon, false), noErr);
    EXPECT_EQ(found, PassingHandler);
    EXPECT_EQ(refCon, &calls);

    // Nothing takes it now but the failing system handler, whose error
    // reaches both the sender and the reply.
    calls.log.clear();
    ScopedDesc failed;
    EXPECT_EQ(SendAndWait(FourCC("tst1"), FourCC("exct"), &failed), -1234);
    EXPECT_EQ(calls.log, (std::vector<std::string>{"passing", "passing", "failing"}));
    SInt32 number = 0;
    ASSERT_EQ(AEGetParamPtr(&failed, keyErrorNumber, typeSInt32, nullptr, &number, sizeof number, nullptr), noErr);
    EXPECT_EQ(number, -1234);

    ScopedDesc unhandled;
    EXPECT_EQ(SendAndWait(FourCC("tst2"), FourCC("none"), &unhandled), errAEEventNotHandled);
}

TEST(AppleEventHandlers, SendingReachesOnlyThisProcess)
{
    Calls calls;
    ScopedHandlers handlers;
    handlers.Install(FourCC("tst3"), FourCC("addr"), TakingHandler, &calls);
    const pid_t self = getpid(), parent = getppid();
    struct Row {
        const char* what;
        DescType type;
        const void* data;
        Size size;
        OSErr status;
    };
    const ProcessSerialNumber current{0, kCurrentProcess};
    const Row rows[] = {
        {"this process's PID", typeKernelProcessID, &self, sizeof self, noErr},
        {"the current process", typeProcessSerialNumber, &current, sizeof current, noErr},
        {"another process", typeKernelProcessID, &parent, sizeof parent, procNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        calls.log.clear();
        ScopedDesc target, event, reply;
        ASSERT_EQ(AECreateDesc(row.type, row.data, row.size, &target), noErr);
        ASSERT_EQ(AECreateAppleEvent(FourCC("tst3"), FourCC("addr"), &target, kAutoGenerateReturnID, kAnyTransactionID,
                                     &event),
                  noErr);
        EXPECT_EQ(AESend(&event, &reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr),
                  row.status);
        EXPECT_EQ(calls.log.size(), row.status == noErr ? 1u : 0u);
    }
    ScopedDesc event, reply, badTarget;
    ASSERT_EQ(
        AECreateAppleEvent(FourCC("tst3"), FourCC("addr"), nullptr, kAutoGenerateReturnID, kAnyTransactionID, &event),
        noErr);
    EXPECT_EQ(AESend(&event, &reply, 0, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), errAEUnknownSendMode);
    ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &badTarget), noErr);
    ScopedDesc refused;
    EXPECT_EQ(AECreateAppleEvent(FourCC("tst3"), FourCC("addr"), &badTarget, kAutoGenerateReturnID, kAnyTransactionID,
                                 &refused),
              errAEUnknownAddressType);
}

namespace {

std::vector<std::string> gOpened;     // the paths of the last open-documents event
std::vector<std::string> gDelivered;  // the IDs of the core events delivered

OSErr RecordCoreEvent(const AppleEvent* event, AppleEvent*, SRefCon)
{
    OSType id = 0;
    AEGetAttributePtr(event, keyEventIDAttr, typeType, nullptr, &id, sizeof id, nullptr);
    gDelivered.push_back(NameOf(id));
    AEDescList list;
    if (AEGetParamDesc(event, keyDirectObject, typeAEList, &list) != noErr)
        return noErr;
    long count = 0;
    AECountItems(&list, &count);
    gOpened.clear();
    for (long i = 1; i <= count; ++i) {
        FSRef ref;
        if (AEGetNthPtr(&list, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr) == noErr)
            gOpened.push_back(ref.path);
    }
    AEDisposeDesc(&list);
    return noErr;
}

std::vector<std::string> gCarried;  // what an application handler saw of the carrying Carbon events

OSStatus WatchCarriers(EventHandlerCallRef, EventRef event, void*)
{
    OSType id = 0;
    GetEventParameter(event, kEventParamAEEventID, typeType, nullptr, sizeof id, nullptr, &id);
    gCarried.push_back(NameOf(id));
    return eventNotHandledErr;
}

}  // namespace

TEST(AppleEventQueue, QueuedEventsArriveThroughTheApplicationTargetOnce)
{
    gDelivered.clear();
    gCarried.clear();
    ScopedHandlers handlers;
    handlers.Install(kCoreEventClass, typeWildCard, RecordCoreEvent, nullptr);
    FlushEventQueue(GetMainEventQueue());

    ScopedDesc event, reply;
    ASSERT_EQ(
        AECreateAppleEvent(kCoreEventClass, FourCC("tst4"), nullptr, kAutoGenerateReturnID, kAnyTransactionID, &event),
        noErr);
    ASSERT_EQ(AESend(&event, &reply, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
    EXPECT_EQ(reply.desc.descriptorType, typeNull);
    EXPECT_TRUE(gDelivered.empty()) << "queued events wait for the loop";

    // An application handler installed after the first delivery sees the
    // carrier first and passes it on.
    EventHandlerRef watcher = nullptr;
    const EventTypeSpec kinds[] = {{kEventClassAppleEvent, kEventAppleEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(WatchCarriers, 1, kinds, nullptr, &watcher), noErr);
    EXPECT_EQ(DispatchQueuedEvents(), 1);
    EXPECT_EQ(gDelivered, (std::vector<std::string>{"tst4"}));
    EXPECT_EQ(gCarried, (std::vector<std::string>{"tst4"}));

    // A flushed event is never delivered, and later ones still are.
    ASSERT_EQ(AESend(&event, &reply, kAEQueueReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
    FlushEventQueue(GetMainEventQueue());
    ASSERT_EQ(AEPutParamPtr(&event, FourCC("mark"), typeChar, "2", 1), noErr);
    ASSERT_EQ(AESend(&event, &reply, kAENoReply, kAEHighPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
    EXPECT_EQ(DispatchQueuedEvents(), 1);
    EXPECT_EQ(gDelivered, (std::vector<std::string>{"tst4", "tst4"}));
    EXPECT_EQ(DispatchQueuedEvents(), 0);
    RemoveEventHandler(watcher);
}

TEST(LaunchDocuments, CommandLineFilesBecomeOneOpenDocumentsEvent)
{
    ScratchFolder folder;
    folder.Write("a.txt", "a");
    folder.Write("-dash.txt", "d");
    folder.MakeFolder("folder");
    const std::string before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    ScopedHandlers handlers;
    handlers.Install(kCoreEventClass, typeWildCard, RecordCoreEvent, nullptr);
    FlushEventQueue(GetMainEventQueue());

    struct Row {
        const char* what;
        std::vector<const char*> argv;
        const char* event;
        std::vector<std::string> opened;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"no arguments", {"prog"}, "oapp", {}, {}},
        {"a relative file", {"prog", "a.txt"}, "odoc", {folder / "a.txt"}, {}},
        {"options are no files; after -- everything is",
         {"prog", "-psn_0_42", "--verbose", "a.txt", "--", "-dash.txt", "folder"},
         "odoc",
         {folder / "a.txt", folder / "-dash.txt", folder / "folder"},
         {}},
        {"a missing file is left out and reported",
         {"prog", "gone.txt"},
         "oapp",
         {},
         {"Warning: The file gone.txt does not exist and is not opened."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gDelivered.clear();
        gOpened.clear();
        Diagnostics::Capture capture;
        ASSERT_EQ(AEDeliverLaunchDocuments(static_cast<int>(row.argv.size()), row.argv.data()), noErr);
        EXPECT_EQ(DispatchQueuedEvents(), 1);
        EXPECT_EQ(gDelivered, (std::vector<std::string>{row.event}));
        EXPECT_EQ(gOpened, row.opened);
        EXPECT_EQ(capture.Lines(), row.lines);
    }
    EXPECT_EQ(AEDeliverLaunchDocuments(-1, nullptr), paramErr);
    std::filesystem::current_path(before);
}
