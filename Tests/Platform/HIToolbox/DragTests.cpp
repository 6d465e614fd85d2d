// The Drag Manager: items and flavours with their status codes, drags
// carried from view to view by the scripted driver, and drags arriving
// from other programs as Qt drag data.
#include "HIToolboxTestSupport.h"

#include <HIToolbox/Drag.h>
#include <HIToolbox/DragTesting.h>
#include <HIToolbox/HIToolboxInternal.h>
#include <HIToolbox/HIToolboxTesting.h>

#include <FileFixtures.h>

#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstring>
#include <string>

namespace {

constexpr FlavorType kNode = FourCC("NODE");
constexpr FlavorType kText = FourCC("TEXT");

struct DragDeleter {
    void operator()(OpaqueDragRef* drag) const { DisposeDrag(drag); }
};
using DragHolder = std::unique_ptr<OpaqueDragRef, DragDeleter>;

DragHolder MakeDrag()
{
    DragRef drag = nullptr;
    EXPECT_EQ(NewDrag(&drag), noErr);
    return DragHolder(drag);
}

// Every item and flavour of a drag, as text: "ref:TYPE=bytes;…|…".
std::string Describe(DragRef drag)
{
    std::string text;
    UInt16 items = 0;
    if (CountDragItems(drag, &items) != noErr)
        return "no drag";
    for (UInt16 index = 1; index <= items; ++index) {
        DragItemRef item = 0;
        GetDragItemReferenceNumber(drag, index, &item);
        text += (index > 1 ? "|" : "") + std::to_string(item) + ":";
        UInt16 flavors = 0;
        CountDragItemFlavors(drag, item, &flavors);
        for (UInt16 f = 1; f <= flavors; ++f) {
            FlavorType type = 0;
            GetFlavorType(drag, item, f, &type);
            const char code[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
            Size size = 0;
            GetFlavorDataSize(drag, item, type, &size);
            std::string bytes(size_t(size), '\0');
            GetFlavorData(drag, item, type, bytes.data(), &size, 0);
            if (type == kDragFlavorTypeHFS)
                bytes = "(record)";
            text += std::string(f > 1 ? ";" : "") + code + "=" + bytes;
        }
    }
    return text;
}

}  // namespace

TEST(DragManager, ItemsAndFlavoursAnswerWithStatusesAndLeaveOutputsAloneOnFailure)
{
    DragHolder drag = MakeDrag();
    const char bytes[] = {'a', '\0', 'b'};  // data, not a C string
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 10, kText, bytes, sizeof bytes, 0), noErr);
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 10, kNode, "1234", 4, flavorSenderOnly), noErr);
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 20, typeUTF8Text, "hi", 2, 0), noErr);
    EXPECT_EQ(AddDragItemFlavor(drag.get(), 10, kText, "x", 1, 0), duplicateFlavorErr);
    EXPECT_EQ(Describe(drag.get()), std::string("10:TEXT=a") + '\0' + "b;NODE=1234|20:utf8=hi");

    DragRef gone = nullptr;
    NewDrag(&gone);
    DisposeDrag(gone);

    const UInt32 kUntouched = 0xDEADBEEF;
    struct Case {
        const char* name;
        std::function<OSErr(UInt32*)> call;
        OSErr status;
    };
    const Case cases[] = {
        {"item index 0", [&](UInt32* out) { return GetDragItemReferenceNumber(drag.get(), 0, out); }, badDragItemErr},
        {"item index past the end", [&](UInt32* out) { return GetDragItemReferenceNumber(drag.get(), 3, out); },
         badDragItemErr},
        {"flavour index past the end", [&](UInt32* out) { return GetFlavorType(drag.get(), 10, 3, out); },
         badDragFlavorErr},
        {"flavours of a missing item", [&](UInt32* out) { return GetFlavorFlags(drag.get(), 99, kText, out); },
         badDragItemErr},
        {"flags of a missing type", [&](UInt32* out) { return GetFlavorFlags(drag.get(), 20, kText, out); },
         badDragFlavorErr},
        {"size of a missing type",
         [&](UInt32* out) {
             Size size = Size(*out);
             const OSErr status = GetFlavorDataSize(drag.get(), 20, kNode, &size);
             *out = UInt32(size);
             return status;
         },
         badDragFlavorErr},
        {"a disposed drag", [&](UInt32* out) { return GetDragItemReferenceNumber(gone, 1, out); }, badDragRefErr},
        {"a nil drag", [&](UInt32* out) { return GetDragAttributes(nullptr, out); }, badDragRefErr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        UInt32 out = kUntouched;
        EXPECT_EQ(row.call(&out), row.status);
        EXPECT_EQ(out, kUntouched);
    }
    EXPECT_EQ(DisposeDrag(gone), badDragRefErr);
    const HIPoint offset = {-4, -4};
    EXPECT_EQ(SetDragImageWithCGImage(drag.get(), nullptr, &offset, 0), badImageErr);
}

TEST(DragManager, GetFlavorDataNeverWritesPastTheBufferItIsGiven)
{
    DragHolder drag = MakeDrag();
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 1, kText, "0123456789", 10, 0), noErr);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    Size size = 4;
    ASSERT_EQ(GetFlavorData(drag.get(), 1, kText, buffer, &size, 3), noErr);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(std::string(buffer, sizeof buffer), "3456####");

    size = 100;  // more than is left after the offset
    ASSERT_EQ(GetFlavorData(drag.get(), 1, kText, buffer, &size, 8), noErr);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(std::string(buffer, 2), "89");

    size = 4;
    EXPECT_EQ(GetFlavorData(drag.get(), 1, kText, nullptr, &size, 0), paramErr);
    EXPECT_EQ(GetFlavorData(drag.get(), 1, kText, buffer, nullptr, 0), paramErr);
    EXPECT_EQ(size, 4);

    // Data promised and written later, in pieces.
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 1, kNode, nullptr, 0, 0), noErr);
    EXPECT_EQ(GetFlavorData(drag.get(), 1, kNode, buffer, &size, 0), cantGetFlavorErr);
    ASSERT_EQ(SetDragItemFlavorData(drag.get(), 1, kNode, "cd", 2, 2), noErr);
    ASSERT_EQ(SetDragItemFlavorData(drag.get(), 1, kNode, "ab", 2, 0), noErr);
    size = sizeof buffer;
    ASSERT_EQ(GetFlavorData(drag.get(), 1, kNode, buffer, &size, 0), noErr);
    EXPECT_EQ(std::string(buffer, size_t(size)), "abcd");
    EXPECT_EQ(SetDragItemFlavorData(drag.get(), 2, kNode, "x", 1, 0), badDragItemErr);
}

// ---- drags carried over views ----

namespace {

// A shown window with views side by side: A (where drags start), B and C
// (which track drags; C refuses them), D (which does not track).
class DragWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ShowWindow(window_);
        ASSERT_EQ(SetAutomaticControlDragTrackingEnabledForWindow(window_, true), noErr);
        a_ = AddView({{0, 0}, {50, 50}});
        b_ = AddView({{60, 0}, {50, 50}});
        c_ = AddView({{120, 0}, {50, 50}});
        d_ = AddView({{180, 0}, {50, 50}});
        for (HIViewRef view : {b_, c_})
            ASSERT_EQ(SetControlDragTrackingEnabled(view, true), noErr);
        Record(b_, "B", true);
        Record(c_, "C", false);
        Record(d_, "D", true);
    }

    HIViewRef AddView(HIRect frame)
    {
        HIViewRef view = nullptr;
        EXPECT_EQ(HIViewCreatePlain(&frame, &view), noErr);
        HIViewAddSubview(window_.Content(), view);
        CFRelease(view);
        return view;
    }

    // The drag events a view gets, in order; the drop's items and flavours.
    void Record(HIViewRef view, std::string name, bool accepts)
    {
        handlers_.Install(
            GetControlEventTarget(view),
            {{kEventClassControl, kEventControlDragEnter},
             {kEventClassControl, kEventControlDragWithin},
             {kEventClassControl, kEventControlDragLeave},
             {kEventClassControl, kEventControlDragReceive}},
            [this, name, accepts](EventRef event) {
                DragRef drag = nullptr;
                GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof drag, nullptr, &drag);
                switch (GetEventKind(event)) {
                case kEventControlDragEnter: {
                    events_ += name + ".enter ";
                    const Boolean yes = accepts;
                    SetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, sizeof yes, &yes);
                    return noErr;
                }
                case kEventControlDragWithin: {
                    Point mouse = {};
                    GetDragMouse(drag, &mouse, nullptr);
                    events_ += name + ".within(" + std::to_string(mouse.h) + ") ";
                    return noErr;
                }
                case kEventControlDragLeave:
                    events_ += name + ".leave ";
                    return noErr;
                default:
                    events_ += name + ".receive ";
                    received_ = Describe(drag);
                    return noErr;
                }
            });
    }

    // A global point of the content at (x, y).
    static HIPoint At(CGFloat x, CGFloat y) { return {100 + x, 100 + y}; }

    OSErr Track(DragRef drag, std::vector<HIPoint> path, bool drop = true)
    {
        TestDragScript script(std::move(path), drop);
        EventRecord start = {mouseDown, 0, 0, {SInt16(125), SInt16(125)}, 0};
        return TrackDrag(drag, &start, nullptr);
    }

    TestWindow window_;
    Handlers handlers_;
    HIViewRef a_ = nullptr, b_ = nullptr, c_ = nullptr, d_ = nullptr;
    std::string events_;
    std::string received_;
};

}  // namespace

TEST_F(DragWindowTest, ADragFromViewAToViewBDeliversEnterWithinAndReceiveWithEveryItemAndFlavour)
{
    DragHolder drag = MakeDrag();
    const void* node = this;  // a pointer flavour, meaningful here only
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 1, kNode, &node, sizeof node, 0), noErr);
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 1, typeUTF8Text, "one", 3, 0), noErr);
    ASSERT_EQ(AddDragItemFlavor(drag.get(), 2, typeUTF8Text, "two", 3, 0), noErr);
    const std::string made = Describe(drag.get());

    EXPECT_EQ(Track(drag.get(), {At(25, 25), At(70, 25), At(80, 25)}), noErr);
    EXPECT_EQ(events_, "B.enter B.within(170) B.within(180) B.receive ");
    EXPECT_EQ(received_, made);
    DragActions action = 0;
    GetDragDropAction(drag.get(), &action);
    EXPECT_NE(action, kDragActionNothing);
    Point origin = {};
    GetDragOrigin(drag.get(), &origin);
    EXPECT_EQ(origin.h, 125);
}

TEST_F(DragWindowTest, OnlyViewsThatOptedInAndAcceptedHearOfTheDrag)
{
    struct Case {
        const char* name;
        std::vector<HIPoint> path;
        bool drop;
        const char* events;
        OSErr status;
    };
    const Case cases[] = {
        {"over B and away to D (which does not track)",
         {At(70, 25), At(190, 25)},
         true,
         "B.enter B.within(170) B.leave ",
         userCanceledErr},
        {"dropped on C, which refused at enter", {At(130, 25), At(140, 25)}, true, "C.enter ", userCanceledErr},
        {"from C to B", {At(130, 25), At(70, 25)}, true, "C.enter B.enter B.within(170) B.receive ", noErr},
        {"taken away over B", {At(70, 25)}, false, "B.enter B.within(170) B.leave ", userCanceledErr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        events_.clear();
        DragHolder drag = MakeDrag();
        AddDragItemFlavor(drag.get(), 1, typeUTF8Text, "x", 1, 0);
        EXPECT_EQ(Track(drag.get(), row.path, row.drop), row.status);
        EXPECT_EQ(events_, row.events);
    }

    // A window that did not opt in hears nothing.
    events_.clear();
    SetAutomaticControlDragTrackingEnabledForWindow(window_, false);
    DragHolder drag = MakeDrag();
    AddDragItemFlavor(drag.get(), 1, typeUTF8Text, "x", 1, 0);
    EXPECT_EQ(Track(drag.get(), {At(70, 25)}), userCanceledErr);
    EXPECT_EQ(events_, "");
}

// A window whose widget already has children (an edit field, say) when it
// opts in still gets drags from other programs.
TEST_F(DragWindowTest, AWindowWithChildrenStillReceivesDrops)
{
    TestWindow other(kDocumentWindowClass, kWindowStandardDocumentAttributes | kWindowStandardHandlerAttribute,
                     Rect{400, 600, 500, 800});
    ShowWindow(other);
    new QObject(HIWindowGetWidget(other));
    ASSERT_EQ(SetAutomaticControlDragTrackingEnabledForWindow(other, true), noErr);
    HIRect frame = {{0, 0}, {50, 50}};
    HIViewRef view = nullptr;
    ASSERT_EQ(HIViewCreatePlain(&frame, &view), noErr);
    HIViewAddSubview(other.Content(), view);
    CFRelease(view);
    ASSERT_EQ(SetControlDragTrackingEnabled(view, true), noErr);
    Record(view, "E", true);
    // Over the window's own view, where the first window does not reach.
    QMimeData data;
    data.setText(QStringLiteral("dropped"));
    EXPECT_TRUE(TestDropMimeData(&data, {HIPoint{610, 410}, HIPoint{615, 415}}));
    EXPECT_NE(events_.find("E.enter"), std::string::npos) << events_;
}

TEST_F(DragWindowTest, TheStartersInputProcMovesTheMouseBeforeTheViewsHearOfIt)
{
    DragHolder drag = MakeDrag();
    AddDragItemFlavor(drag.get(), 1, typeUTF8Text, "x", 1, 0);
    SetDragInputProc(
        drag.get(),
        [](Point* mouse, SInt16*, void*, DragRef) -> OSErr {
            mouse->h += 1;
            return noErr;
        },
        nullptr);
    Track(drag.get(), {At(70, 25)}, false);
    EXPECT_EQ(events_, "B.enter B.within(171) B.leave ");
}

TEST_F(DragWindowTest, FilesDroppedFromAnotherProgramArriveAsFileURLsAndHFSRecords)
{
    ScratchFolder folder;
    folder.Write("dropped file.txt", "content");
    const std::string path = folder / "dropped file.txt";
    QMimeData data;  // what a file manager puts on its drag
    data.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(path)), QUrl::fromLocalFile(QStringLiteral("/nonexistent"))});
    data.setText(QString::fromStdString(path));

    DragRef seen = nullptr;
    std::string url;
    std::string hfsPath;
    UInt16 items = 0;
    handlers_.Install(GetControlEventTarget(b_), {{kEventClassControl, kEventControlDragReceive}}, [&](EventRef event) {
        GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof seen, nullptr, &seen);
        CountDragItems(seen, &items);
        Size size = 0;
        GetFlavorDataSize(seen, 1, typeFileURL, &size);
        url.resize(size_t(size));
        GetFlavorData(seen, 1, typeFileURL, url.data(), &size, 0);
        HFSFlavor record = {};
        Size recordSize = sizeof record;
        if (GetFlavorData(seen, 1, kDragFlavorTypeHFS, &record, &recordSize, 0) == noErr)
            hfsPath = record.fileRef.path;
        return eventNotHandledErr;  // the recorder below answers
    });
    EXPECT_TRUE(TestDropMimeData(&data, {At(70, 25), At(75, 25)}));
    EXPECT_EQ(items, 2);  // no item of its own for the text: it names the files
    EXPECT_EQ(url, QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded().toStdString());
    EXPECT_EQ(hfsPath, path);
    // The second file is not there: its URL comes, no 'hfs ' record.
    EXPECT_NE(received_.find("|2:furl=file:///nonexistent"), std::string::npos);
    EXPECT_EQ(received_.find("|2:furl=file:///nonexistent;hfs "), std::string::npos);
    // The drag made for the drop went with it.
    UInt16 count = 0;
    EXPECT_EQ(CountDragItems(seen, &count), badDragRefErr);
}

TEST_F(DragWindowTest, TextAndImagesFromAnotherProgramArriveAsOneItem)
{
    QMimeData data;
    data.setText(QStringLiteral("héllo"));
    data.setData(QStringLiteral("image/png"), QByteArray("PNGBYTES"));
    EXPECT_TRUE(TestDropMimeData(&data, {At(70, 25)}));
    EXPECT_EQ(received_, "1:utf8=héllo;PNGf=PNGBYTES");
}
