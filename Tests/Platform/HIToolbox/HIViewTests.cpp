#include "HIToolboxTestSupport.h"
#include <HIToolbox/HIToolboxInternal.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HIView.h>

#include <CoreGraphics/CGImageQt.h>

#include <QImage>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A window of 160 × 100 with the standard handler.
struct ViewWindow : TestWindow {
    ViewWindow() : TestWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, {100, 100, 200, 260}) {}
};

// A kind of the tests': a solid colour from its value (0 red, 1 green, 2
// blue), one part, a click that cycles the value, and the focus.
constexpr OSType kSwatch = FourCC("swch");

void RegisterSwatch()
{
    HIViewKindBehaviour swatch = {};
    swatch.kind = {kControlKindSignatureApple, kSwatch};
    swatch.draw = [](HIViewRef view, CGContextRef context) {
        HIRect bounds;
        HIViewGetBounds(view, &bounds);
        const SInt32 value = GetControl32BitValue(view);
        CGContextSetRGBFillColor(context, value == 0, value == 1, value == 2, 1);
        CGContextFillRect(context, bounds);
    };
    swatch.release = [](HIViewRef view, HIPoint, ControlPartCode part, UInt32) -> ControlPartCode {
        if (part != kControlNoPart)
            SetControl32BitValue(view, (GetControl32BitValue(view) + 1) % 3);
        return part;
    };
    swatch.focusable = true;
    HIViewRegisterKind(swatch);
}

HIViewRef NewSwatch(HIViewRef parent, HIRect frame, SInt32 value)
{
    HIViewRef view = HIViewCreateOfKind(kSwatch, nullptr, frame);
    SetControl32BitMaximum(view, 2);
    SetControl32BitValue(view, value);
    EXPECT_EQ(HIViewAddSubview(parent, view), noErr);
    CFRelease(view);
    return view;
}

class HIViewTest : public testing::Test {
protected:
    void SetUp() override { RegisterSwatch(); }
};

TEST_F(HIViewTest, TheTreeKeepsNibOrderAndRefusesLoops)
{
    ViewWindow window;
    HIViewRef content = window.Content();
    HIViewRef a = NewSwatch(content, {{0, 0}, {10, 10}}, 0);
    HIViewRef b = NewSwatch(content, {{10, 0}, {10, 10}}, 1);
    HIViewRef c = NewSwatch(a, {{0, 0}, {5, 5}}, 2);
    UInt16 count = 0;
    EXPECT_EQ(CountSubControls(content, &count), noErr);
    EXPECT_EQ(count, 2);
    ControlRef indexed = nullptr;
    EXPECT_EQ(GetIndexedSubControl(content, 1, &indexed), noErr);
    EXPECT_EQ(indexed, a);
    ControlRef untouched = reinterpret_cast<ControlRef>(0x1);
    EXPECT_EQ(GetIndexedSubControl(content, 0, &untouched), errUnknownControl);
    EXPECT_EQ(GetIndexedSubControl(content, 3, &untouched), errUnknownControl);
    EXPECT_EQ(untouched, reinterpret_cast<ControlRef>(0x1));
    EXPECT_EQ(HIViewGetNextView(a), b);
    EXPECT_EQ(HIViewGetPreviousView(b), a);
    EXPECT_EQ(HIViewGetSuperview(c), a);
    EXPECT_EQ(GetControlOwner(c), (WindowRef)window);

    EXPECT_EQ(HIViewAddSubview(c, a), errCantEmbedIntoSelf);
    EXPECT_EQ(HIViewAddSubview(a, a), errCantEmbedIntoSelf);
    EXPECT_EQ(HIViewAddSubview(a, HIViewGetRoot(window)), errCantEmbedRoot);

    EXPECT_EQ(HIViewSetZOrder(a, kHIViewZOrderAbove, b), noErr);
    EXPECT_EQ(HIViewGetFirstSubview(content), b);
    EXPECT_EQ(HIViewGetLastSubview(content), a);

    const ControlID id = {FourCC("test"), 7};
    SetControlID(c, &id);
    ControlRef found = nullptr;
    EXPECT_EQ(GetControlByID(window, &id, &found), noErr);
    EXPECT_EQ(found, c);

    // Moving a view to another superview keeps it alive.
    EXPECT_EQ(HIViewAddSubview(b, c), noErr);
    EXPECT_EQ(HIViewGetSuperview(c), b);
    EXPECT_TRUE(IsValidControlHandle(c));
}

TEST_F(HIViewTest, PointsConvertBetweenViewsWindowAndScreen)
{
    ViewWindow window;
    HIViewRef outer = NewSwatch(window.Content(), {{20, 10}, {100, 80}}, 0);
    HIViewRef inner = NewSwatch(outer, {{5, 6}, {20, 20}}, 0);
    HIViewSetBoundsOrigin(outer, 100, 200);  // outer scrolled

    struct Row {
        const char* trace;
        HIViewRef from, to;
        HIPoint in, out;
    };
    const Row rows[] = {
        {"view to window", inner, nullptr, {1, 2}, {20 + 5 - 100 + 1, 10 + 6 - 200 + 2}},
        {"window to view", nullptr, inner, {20 + 5 - 100 + 1, 10 + 6 - 200 + 2}, {1, 2}},
        {"outer to inner", outer, inner, {5, 6}, {0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace);
        HIPoint point = row.in;
        EXPECT_EQ(HIViewConvertPoint(&point, row.from, row.to), noErr);
        EXPECT_FLOAT_EQ(point.x, row.out.x);
        EXPECT_FLOAT_EQ(point.y, row.out.y);
    }
    HIPoint point = {0, 0};
    HIPointConvert(&point, kHICoordSpaceView, inner, kHICoordSpace72DPIGlobal, nullptr);
    EXPECT_FLOAT_EQ(point.x, 100 + 20 + 5 - 100);
    EXPECT_FLOAT_EQ(point.y, 100 + 10 + 6 - 200);
    HIPointConvert(&point, kHICoordSpace72DPIGlobal, nullptr, kHICoordSpaceWindow, (WindowRef)window);
    EXPECT_FLOAT_EQ(point.x, 25 - 100);
}

TEST_F(HIViewTest, VisibilityValuesPropertiesAndDisposal)
{
    ViewWindow window;
    ShowWindow(window);
    HIViewRef outer = NewSwatch(window.Content(), {{0, 0}, {50, 50}}, 0);
    HIViewRef inner = NewSwatch(outer, {{0, 0}, {10, 10}}, 0);
    EXPECT_TRUE(HIViewIsVisible(inner));
    HIViewSetVisible(outer, false);
    EXPECT_FALSE(HIViewIsVisible(inner));
    EXPECT_TRUE(HIViewIsLatentlyVisible(inner));
    HIViewSetVisible(outer, true);

    // A value is kept in range; a change is reported at once, once.
    Handlers handlers;
    int changes = 0;
    handlers.Install(GetControlEventTarget(inner), {{kEventClassControl, kEventControlValueFieldChanged}},
                     [&](EventRef) { return ++changes, noErr; });
    SetControl32BitValue(inner, 7);
    EXPECT_EQ(GetControl32BitValue(inner), 2);
    EXPECT_EQ(changes, 1);
    SetControl32BitValue(inner, 2);
    EXPECT_EQ(changes, 1);
    SetControl32BitMaximum(inner, 1);
    EXPECT_EQ(GetControl32BitValue(inner), 1);
    EXPECT_EQ(changes, 2);

    // Properties of any size; a missing one leaves the outputs alone.
    const std::vector<UInt8> data(3000, 7);
    EXPECT_EQ(SetControlProperty(inner, FourCC("TCON"), FourCC("DATA"), data.size(), data.data()), noErr);
    ByteCount size = 0;
    EXPECT_EQ(GetControlPropertySize(inner, FourCC("TCON"), FourCC("DATA"), &size), noErr);
    EXPECT_EQ(size, 3000u);
    UInt32 untouched = 0xABCD;
    ByteCount untouchedSize = 5;
    EXPECT_EQ(GetControlProperty(inner, FourCC("TCON"), FourCC("none"), 4, &untouchedSize, &untouched),
              controlPropertyNotFoundErr);
    EXPECT_EQ(untouched, 0xABCDu);
    EXPECT_EQ(untouchedSize, 5u);
    EXPECT_EQ(SetControlData(inner, 0, FourCC("size"), 0, nullptr), errDataNotSupported);

    // Disposal: subviews first, each told; the handles go stale.
    std::vector<std::string> log;
    for (auto [view, name] : {std::pair{outer, "outer"}, std::pair{inner, "inner"}})
        handlers.Install(GetControlEventTarget(view), {{kEventClassControl, kEventControlDispose}},
                         [&log, name = std::string(name)](EventRef) { return log.push_back(name), noErr; });
    DisposeControl(outer);
    EXPECT_EQ(log, (std::vector<std::string>{"inner", "outer"}));
    EXPECT_FALSE(IsValidControlHandle(outer));
    EXPECT_FALSE(IsValidControlHandle(inner));
    EXPECT_EQ(HIViewSetVisible(inner, true), paramErr);
}

// A user's click: value changed, then hit with the part, then the command,
// which climbs from the view to the window and the application.
TEST_F(HIViewTest, AClickGivesValueChangedHitThenTheCommand)
{
    ViewWindow window;
    ShowWindow(window);
    HIViewRef swatch = NewSwatch(window.Content(), {{10, 10}, {40, 20}}, 0);
    SetControlCommandID(swatch, FourCC("swch"));
    Handlers handlers;
    std::vector<std::string> log;
    handlers.Install(
        GetControlEventTarget(swatch),
        {{kEventClassControl, kEventControlValueFieldChanged}, {kEventClassControl, kEventControlHit}},
        [&](EventRef event) {
            ControlPartCode part = 0;
            GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
            log.push_back(GetEventKind(event) == kEventControlHit ? "hit " + std::to_string(part) : "value changed");
            return eventNotHandledErr;
        });
    handlers.Install(GetWindowEventTarget(window), {{kEventClassCommand, kEventCommandProcess}}, [&](EventRef event) {
        HICommandExtended command = {};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
        EXPECT_EQ(command.attributes, UInt32(kHICommandFromControl));
        EXPECT_EQ(command.source.control, swatch);
        log.push_back("command in the window");
        return eventNotHandledErr;
    });
    handlers.Install(GetApplicationEventTarget(), {{kEventClassCommand, kEventCommandProcess}}, [&](EventRef) {
        log.push_back("command in the application");
        return noErr;
    });
    TestClick(window, {20, 15});
    EXPECT_EQ(log, (std::vector<std::string>{"value changed", "hit 10", "command in the window",
                                             "command in the application"}));
    EXPECT_EQ(GetControl32BitValue(swatch), 1);

    // A release off the view counts for nothing.
    log.clear();
    TestMousePress(window, {20, 15});
    TestMouseMove(window, {150, 90});
    TestMouseRelease(window, {150, 90});
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(GetControl32BitValue(swatch), 1);

    // A click handler answering noErr takes the click over.
    handlers.Install(GetControlEventTarget(swatch), {{kEventClassControl, kEventControlClick}},
                     [](EventRef) { return noErr; });
    TestClick(window, {20, 15});
    EXPECT_TRUE(log.empty());
}

TEST_F(HIViewTest, FocusAdvancesInNibOrderAndKeysGoToTheFocus)
{
    ViewWindow window;
    ShowWindow(window);
    SelectWindow(window);
    HIViewRef group = NewSwatch(window.Content(), {{0, 0}, {100, 50}}, 0);
    HIViewRef first = NewSwatch(group, {{0, 0}, {10, 10}}, 0);
    HIViewRef second = NewSwatch(window.Content(), {{0, 60}, {10, 10}}, 0);
    HIViewRef hidden = NewSwatch(window.Content(), {{0, 80}, {10, 10}}, 0);
    HIViewSetVisible(hidden, false);
    std::vector<HIViewRef> visited;
    for (int step = 0; step < 4; ++step) {
        EXPECT_EQ(HIViewAdvanceFocus(HIViewGetRoot(window), 0), noErr);
        ControlRef focus = nullptr;
        GetKeyboardFocus(window, &focus);
        visited.push_back(focus);
    }
    EXPECT_EQ(visited, (std::vector<HIViewRef>{group, first, second, group}));
    HIViewAdvanceFocus(HIViewGetRoot(window), shiftKey);
    ControlRef focus = nullptr;
    GetKeyboardFocus(window, &focus);
    EXPECT_EQ(focus, second);

    Handlers handlers;
    int keys = 0;
    handlers.Install(GetControlEventTarget(second), {{kEventClassKeyboard, kEventRawKeyDown}},
                     [&](EventRef) { return ++keys, noErr; });
    TestKeyClick(window, Qt::Key_X);
    EXPECT_EQ(keys, 1);
    EXPECT_EQ(GetUserFocusEventTarget(), GetControlEventTarget(second));
    ClearKeyboardFocus(window);
    TestKeyClick(window, Qt::Key_X);
    EXPECT_EQ(keys, 1);
}

// A subclass registered by identifier: construct hands over the new view
// and answers the instance data later calls receive; destruct at the end.
struct Instance {
    HIViewRef view = nullptr;
    std::vector<std::string>* log = nullptr;
};

OSStatus CanvasClassHandler(EventHandlerCallRef, EventRef event, void* data)
{
    if (GetEventClass(event) == kEventClassHIObject && GetEventKind(event) == kEventHIObjectConstruct) {
        auto* instance = new Instance;
        instance->log = static_cast<std::vector<std::string>*>(data);
        GetEventParameter(event, kEventParamHIObjectInstance, typeHIObjectRef, nullptr, sizeof instance->view, nullptr,
                          &instance->view);
        SetEventParameter(event, kEventParamHIObjectInstance, typeVoidPtr, sizeof instance, &instance);
        instance->log->push_back("construct");
        return noErr;
    }
    auto* instance = static_cast<Instance*>(data);
    switch (GetEventKind(event)) {
    case kEventHIObjectInitialize:
        instance->log->push_back(GetEventClass(event) == kEventClassHIObject ? "initialize" : "?");
        return noErr;
    case kEventHIObjectDestruct:
        if (GetEventClass(event) == kEventClassHIObject) {
            instance->log->push_back("destruct");
            delete instance;
            return noErr;
        }
        return eventNotHandledErr;
    case kEventControlDraw: {
        CGContextRef context = nullptr;
        GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
        CGContextSetRGBFillColor(context, 1, 1, 0, 1);
        CGContextFillRect(context, CGRectMake(0, 0, 1000, 1000));
        instance->log->push_back("draw");
        return noErr;
    }
    default:
        return eventNotHandledErr;
    }
}

TEST_F(HIViewTest, RegisteredSubclassesLiveThroughTheirEvents)
{
    std::vector<std::string> log;
    const EventTypeSpec events[] = {{kEventClassControl, kEventControlDraw}};
    HIObjectClassRef objectClass = nullptr;
    ASSERT_EQ(HIObjectRegisterSubclass(CFSTR("com.example.canvas"), nullptr, 0, CanvasClassHandler, 1, events, &log,
                                       &objectClass),
              noErr);
    EXPECT_EQ(HIObjectRegisterSubclass(CFSTR("com.example.canvas"), nullptr, 0, CanvasClassHandler, 0, nullptr, nullptr,
                                       nullptr),
              hiObjectClassExistsErr);
    {
        ViewWindow window;
        ShowWindow(window);
        EventRef init = nullptr;
        CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectInitialize, 0, 0, &init);
        const HIRect bounds = {{0, 0}, {30, 30}};
        SetEventParameter(init, kEventParamBounds, typeHIRect, sizeof bounds, &bounds);
        HIObjectRef view = nullptr;
        ASSERT_EQ(HIObjectCreate(CFSTR("com.example.canvas"), init, &view), noErr);
        ReleaseEvent(init);
        EXPECT_TRUE(HIObjectIsOfClass(view, CFSTR("com.example.canvas")));
        ASSERT_NE(HIObjectDynamicCast(view, CFSTR("com.example.canvas")), nullptr);
        EXPECT_EQ(static_cast<Instance*>(HIObjectDynamicCast(view, CFSTR("com.example.canvas")))->view, view);
        HIRect frame;
        HIViewGetFrame(view, &frame);
        EXPECT_EQ(frame.size.width, 30);
        HIViewAddSubview(window.Content(), view);
        CFRelease(view);
        EXPECT_EQ(HIObjectUnregisterClass(objectClass), hiObjectClassHasInstancesErr);
        TestRunUntilIdle();
    }  // the window goes, and the view with it
    EXPECT_EQ(log, (std::vector<std::string>{"construct", "initialize", "draw", "destruct"}));
    EXPECT_EQ(HIObjectUnregisterClass(objectClass), noErr);
}

// Three views drawn into the window's buffer: each kind's look where no
// handler drew, a handler's own drawing where one answered noErr, later
// subviews on top, children clipped to their parent.
TEST_F(HIViewTest, ATreeRendersAsTheGolden)
{
    ViewWindow window;
    ShowWindow(window);
    HIViewRef back = NewSwatch(window.Content(), {{10, 10}, {100, 60}}, 0);   // red
    HIViewRef child = NewSwatch(back, {{80, 40}, {40, 40}}, 1);               // green, clipped by its parent
    HIViewRef custom = NewSwatch(window.Content(), {{60, 30}, {60, 60}}, 2);  // would be blue
    (void)child;
    Handlers handlers;
    handlers.Install(GetControlEventTarget(custom), {{kEventClassControl, kEventControlDraw}}, [](EventRef event) {
        CGContextRef context = nullptr;
        GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
        CGContextSetRGBFillColor(context, 0, 0, 0, 1);
        CGContextFillRect(context, CGRectMake(0, 0, 30, 60));  // the left half black, the rest not drawn
        return noErr;
    });
    TestRunUntilIdle();
    CGImageRef image = HIWindowCopyContentImage(window);
    const QImage pixels = CGImageGetQImage(image).convertToFormat(QImage::Format_RGB32);
    CGImageRelease(image);
    const QImage golden(QStringLiteral(BRINDLET_FIXTURES_DIR "/Graphics/hiview-tree.png"));
    if (qEnvironmentVariableIsSet("BRINDLET_WRITE_GOLDEN"))
        pixels.save(QStringLiteral(BRINDLET_FIXTURES_DIR "/Graphics/hiview-tree.png"));
    ASSERT_FALSE(golden.isNull());
    EXPECT_EQ(pixels, golden.convertToFormat(QImage::Format_RGB32));
    // Spot checks that say what the golden shows.
    EXPECT_EQ(QColor(pixels.pixel(15, 15)), QColor(Qt::red));
    EXPECT_EQ(QColor(pixels.pixel(75, 65)), QColor(Qt::black));   // the handler's half, on top
    EXPECT_EQ(QColor(pixels.pixel(100, 60)), QColor(Qt::green));  // its undrawn half shows what is below
    EXPECT_EQ(QColor(pixels.pixel(105, 20)), QColor(Qt::red));
    EXPECT_EQ(QColor(pixels.pixel(100, 75)), QColor(Qt::white));  // the green child clipped by its red parent
    EXPECT_EQ(QColor(pixels.pixel(5, 5)), QColor(Qt::white));     // the window's background
}

}  // namespace
