// TDrag: items by index, flavours by type, the program's values packed
// into flavours and read back, after a drop as well as before.
#include <ApplicationFramework/Classes/TDragUnit.h>

#include <Units/CrossPlatform/ToolboxAll.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CGUtilities.h>

#include <CGTestSupport.h>
#include <FileFixtures.h>

#include <CarbonCore/MacMemory.h>
#include <CoreServices/UTCoreTypes.h>
#include <HIToolbox/DragTesting.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr FlavorType kCard = FourCC("card");

std::string Text(CFStringRef text)
{
    if (!text)
        return "(nil)";
    char buffer[256] = {};
    CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8);
    CFRelease(text);
    return buffer;
}

CFRef<CGImageRef> SolidImage(Qt::GlobalColor colour)
{
    QImage pixels(2, 2, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(colour);
    return CFRef<CGImageRef>(CGImageCreateWithQImage(pixels));
}

QColor TopLeft(CGImageRef image)
{
    const QColor colour = image ? CGImageGetQImage(image).pixelColor(0, 0) : QColor();
    if (image)
        CGImageRelease(image);
    return colour;
}

}  // namespace

TEST(TDrag, FlavoursAreFoundByItemIndexAndType)
{
    TDrag* drag = TDrag::Create();
    for (DragItemRef item : {7, 8})
        drag->AddFlavor(item, typeUTF8Text, "x", 1);
    const SInt32 card = 42;
    drag->AddFlavor(9, kCard, &card, sizeof card);
    drag->AddFlavor(9, kCard, &card, sizeof card);  // once only

    EXPECT_EQ(drag->GetCount(), 3);
    EXPECT_TRUE(drag->ContainsFlavor(kCard));  // only the third item has it
    EXPECT_FALSE(drag->ContainsFlavor(1, kCard));
    EXPECT_FALSE(drag->ContainsFlavor(FourCC("none")));
    EXPECT_EQ(drag->GetFlavorSize(3, kCard), Size(sizeof card));
    EXPECT_EQ(drag->GetFlavorSize(4, kCard), 0);

    SInt32 read = -1;
    EXPECT_TRUE(drag->GetFlavor(3, kCard, &read, sizeof read));
    EXPECT_EQ(read, 42);
    // A buffer too small for the flavour is left alone.
    SInt16 small = -1;
    EXPECT_FALSE(drag->GetFlavor(3, kCard, &small, sizeof small));
    EXPECT_EQ(small, -1);

    TPointerArray* cards = drag->CopyFlavorArray(kCard);
    ASSERT_EQ(cards->Count(), 3);
    EXPECT_EQ(cards->GetValue(0), nullptr);
    EXPECT_EQ(cards->GetValue(1), nullptr);
    ASSERT_NE(cards->GetValue(2), nullptr);
    EXPECT_EQ(std::memcmp(cards->GetValue(2), &card, sizeof card), 0);
    cards->Release();

    TPointerDictionary* flavors = drag->CopyFlavors(3);
    EXPECT_EQ(flavors->Count(), 1);
    EXPECT_NE(flavors->GetValue(ShortString("card")), nullptr);
    flavors->Release();
    flavors = drag->CopyFlavors(5);
    EXPECT_EQ(flavors->Count(), 0);
    flavors->Release();
    drag->Release();
}

TEST(TDrag, TextIsExactlyTheFlavoursBytesAndImagesPreferTIFF)
{
    TDrag* drag = TDrag::Create(nullptr);
    drag->Release();

    drag = TDrag::Create();
    // Text flavours carry no terminator; a stray NUL-less buffer is read by its size.
    drag->AddFlavor(1, typeUTF8Text, "héllo wörld", Size(std::strlen("héllo wörld")));
    drag->AddFlavor(2, FourCC("TEXT"), "abc", 3);
    EXPECT_EQ(Text(drag->CopyCFStringFlavor(1)), "héllo wörld");
    EXPECT_EQ(Text(drag->CopyCFStringFlavor(2, FourCC("TEXT"))), "abc");
    EXPECT_EQ(Text(drag->CopyCFStringFlavor(2)), "(nil)");

    CFRef<CGImageRef> red = SolidImage(Qt::red), blue = SolidImage(Qt::blue);
    Ptr tiff = CGImageCopyBytes(red, kUTTypeTIFF), png = CGImageCopyBytes(blue, kUTTypePNG);
    ASSERT_TRUE(tiff && png);
    drag->AddFlavor(3, kScrapFlavorTypePNG, png, GetPtrSize(png));
    drag->AddFlavor(3, kScrapFlavorTypeTIFF, tiff, GetPtrSize(tiff));
    drag->AddFlavor(4, kScrapFlavorTypePNG, png, GetPtrSize(png));
    ReleasePtr(tiff);
    ReleasePtr(png);
    EXPECT_EQ(TopLeft(drag->CopyCGImageFlavor(3)), QColor(Qt::red));
    EXPECT_EQ(TopLeft(drag->CopyCGImageFlavor(4)), QColor(Qt::blue));
    EXPECT_EQ(drag->CopyCGImageFlavor(1), nullptr);
    drag->Release();
}

TEST(TDrag, AWrappedDragOutlivesItsObjectAndAnOwnedOneGoesWithIt)
{
    DragRef made = nullptr;
    NewDrag(&made);
    TDrag* wrapper = TDrag::Create(made, 5);
    wrapper->AddCFString(CFSTR("kept"));
    wrapper->Release();
    UInt16 count = 0;
    EXPECT_EQ(CountDragItems(made, &count), noErr);
    EXPECT_EQ(count, 1);
    DragItemRef item = 0;
    GetDragItemReferenceNumber(made, 1, &item);
    EXPECT_EQ(item, 5u);
    DisposeDrag(made);

    TDrag* owner = TDrag::Create();
    DragRef owned = owner->GetDragRef();
    owner->Release();
    EXPECT_EQ(CountDragItems(owned, &count), badDragRefErr);
}

// A file, a text and an image carried to a view and read there as the
// callers read them.
TEST(TDrag, WhatTheAddersPutInIsReadBackAfterADrop)
{
    ScratchFolder folder;
    folder.Write("note.txt", "n");
    FSRef file;
    const std::string path = folder / "note.txt";
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &file, nullptr), noErr);

    Rect bounds = {100, 100, 300, 400};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    ShowWindow(window);
    SetAutomaticControlDragTrackingEnabledForWindow(window, true);
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    HIRect frame = {{0, 0}, {100, 100}};
    HIViewRef view = nullptr;
    HIViewCreatePlain(&frame, &view);
    HIViewAddSubview(content, view);
    CFRelease(view);
    SetControlDragTrackingEnabled(view, true);

    struct Seen {
        std::string path, text;
        QColor colour;
        CGPoint mouse;
    } seen;
    const EventTypeSpec types[] = {{kEventClassControl, kEventControlDragEnter},
                                   {kEventClassControl, kEventControlDragReceive}};
    EventHandlerRef handler = nullptr;
    InstallEventHandler(
        GetControlEventTarget(view),
        [](EventHandlerCallRef, EventRef event, void* data) -> OSStatus {
            DragRef dragRef = nullptr;
            GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof dragRef, nullptr, &dragRef);
            if (GetEventKind(event) == kEventControlDragEnter) {
                const Boolean yes = true;
                return SetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, sizeof yes, &yes);
            }
            auto* seen = static_cast<Seen*>(data);
            TDrag* drag = TDrag::Create(dragRef);
            FSRef ref;
            if (drag->GetFSRefFlavor(1, ref))
                seen->path = ref.path;
            seen->text = Text(drag->CopyCFStringFlavor(2));
            seen->colour = TopLeft(drag->CopyCGImageFlavor(3));
            seen->mouse = drag->GetMouse();
            drag->Release();
            return noErr;
        },
        2, types, &seen, &handler);

    TDrag* drag = TDrag::Create();
    drag->AddFSRef(1, file);
    drag->AddCFString(2, CFSTR("a task"));
    CFRef<CGImageRef> image = SolidImage(Qt::green);
    drag->AddCGImage(3, image);
    {
        TestDragScript script({{150, 150}, {160, 170}});
        EventRef down = nullptr;
        CreateEvent(nullptr, kEventClassMouse, kEventMouseDown, 0, 0, &down);
        const HIPoint at = {150, 150};
        SetEventParameter(down, kEventParamMouseLocation, typeHIPoint, sizeof at, &at);
        drag->Track(down);
        ReleaseEvent(down);
    }
    EXPECT_EQ(seen.path, path);
    EXPECT_EQ(seen.text, "a task");
    EXPECT_EQ(seen.colour, QColor(Qt::green));
    EXPECT_EQ(seen.mouse.x, 160);
    EXPECT_EQ(seen.mouse.y, 170);
    EXPECT_EQ(drag->GetOrigin().x, 150);
    drag->Release();
    DisposeWindow(window);
}
