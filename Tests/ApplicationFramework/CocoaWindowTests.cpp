#include "FrameworkTestSupport.h"

#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Cocoa/UFadeWindowController.h>
#include <Units/Cocoa/UObjectWrapper.h>
#include <Units/Cocoa/UTransparentWindow.h>

#include <CFTestSupport.h>
#include <RunUntil.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr NSRect kFrame{{100, 100}, {240, 160}};

// Drains what the test autoreleased when it ends.
class AutoreleasePool {
public:
    AutoreleasePool() : pool_(NSAutoreleasePool::newPool()) {}
    ~AutoreleasePool() { pool_->release(); }
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

private:
    NSAutoreleasePool* pool_;
};

// A titled window with a fading controller whose fades are short.
class FadeWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = NSWindow::newWindow(kFrame, NSTitledWindowMask | NSClosableWindowMask);
        window_->setReleasedWhenClosed(false);
        controller_ = NSFadeWindowController::newWithWindow(window_);
        ASSERT_NE(controller_, nullptr);
        CAAnimation* fade = window_->animationForKey("alphaValue");
        ASSERT_NE(fade, nullptr);
        fade->setDuration(0.05);
    }
    void TearDown() override
    {
        controller_->release();
        window_->release();
    }

    // Shows the window and lets the fade in end.
    void ShowFully()
    {
        controller_->showWindow(nullptr);
        ASSERT_TRUE(RunUntil([&] { return window_->alphaValue() >= 1; }, 5));
        ASSERT_TRUE(window_->isVisible());
    }

    NSWindow* window_ = nullptr;
    NSFadeWindowController* controller_ = nullptr;
};

TEST_F(FadeWindowTest, SetUpLeavesTheWindowInFrontAndClearWithTheFadeInstalled)
{
    EXPECT_EQ(window_->alphaValue(), 0);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->delegate(), controller_);
    EXPECT_EQ(window_->animationForKey("alphaValue")->delegate(), controller_);

    // Showing starts from clear and fades in, not at once.
    controller_->showWindow(nullptr);
    EXPECT_LT(window_->alphaValue(), 1);
    EXPECT_TRUE(RunUntil([&] { return window_->alphaValue() >= 1; }, 5));
}

TEST_F(FadeWindowTest, ClosingTwiceFadesFirstAndThenCloses)
{
    ShowFully();

    controller_->close();
    // The first close only starts the fade.
    EXPECT_TRUE(window_->isVisible());
    EXPECT_GT(window_->alphaValue(), 0);
    ASSERT_TRUE(RunUntil([&] { return window_->alphaValue() <= 0; }, 5));
    // At clear, the end of the fade closes the window.
    EXPECT_TRUE(RunUntil([&] { return !window_->isVisible(); }, 5));

    // At alpha 0 a close closes at once: a fresh controller's window is
    // clear from its set-up.
    NSWindow* other = NSWindow::newWindow(kFrame, NSTitledWindowMask);
    other->setReleasedWhenClosed(false);
    NSFadeWindowController* second = NSFadeWindowController::newWithWindow(other);
    ASSERT_TRUE(other->isVisible());
    second->close();
    EXPECT_FALSE(other->isVisible());
    // And again, on a closed window: nothing more happens.
    second->close();
    EXPECT_FALSE(other->isVisible());
    second->release();
    other->release();
}

TEST_F(FadeWindowTest, TheCloseButtonStartsTheFadeInsteadOfClosing)
{
    ShowFully();
    window_->performClose();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(RunUntil([&] { return !window_->isVisible(); }, 5));
    EXPECT_EQ(window_->alphaValue(), 0);
}

TEST_F(FadeWindowTest, ShowingWhileFadingOutKeepsTheWindow)
{
    ShowFully();
    controller_->close();
    controller_->showWindow(nullptr);
    ASSERT_TRUE(RunUntil([&] { return window_->alphaValue() >= 1; }, 5));
    // Let any stray end of the cut fade pass.
    RunUntil([] { return false; }, 0.1);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->alphaValue(), 1);
}

TEST(FadeWindowLifetimeTest, AWindowOutlivingItsControllerFadesWithoutIt)
{
    NSWindow* window = NSWindow::newWindow(kFrame, NSTitledWindowMask);
    window->setReleasedWhenClosed(false);
    NSFadeWindowController* controller = NSFadeWindowController::newWithWindow(window);
    window->animationForKey("alphaValue")->setDuration(0.05);
    controller->showWindow(nullptr);
    controller->release();
    EXPECT_EQ(window->delegate(), nullptr);
    EXPECT_EQ(window->animationForKey("alphaValue")->delegate(), nullptr);
    // The fade started by the controller ends with nobody to tell.
    EXPECT_TRUE(RunUntil([&] { return window->alphaValue() >= 1; }, 5));
    EXPECT_TRUE(window->isVisible());
    window->release();
}

TEST(TransparentWindowTest, ABorderlessClearWindowThatTakesTheKeyboard)
{
    AutoreleasePool pool;
    NSTransparentWindow* window = NSTransparentWindow::newWithContentRect(kFrame);
    EXPECT_EQ(window->styleMask(), NSBorderlessWindowMask);
    EXPECT_TRUE(CGRectEqualToRect(window->frame(), kFrame));
    EXPECT_FALSE(window->isOpaque());
    EXPECT_FALSE(window->hasShadow());
    EXPECT_FALSE(window->isMovableByWindowBackground());
    ASSERT_NE(window->backgroundColor(), nullptr);
    EXPECT_EQ(window->backgroundColor()->alphaComponent(), 0);
    EXPECT_TRUE(window->canBecomeKeyWindow());
    EXPECT_FALSE(window->isVisible());

    // A plain borderless window cannot take the keyboard.
    NSWindow* plain = NSWindow::newWindow(kFrame, NSBorderlessWindowMask);
    EXPECT_FALSE(plain->canBecomeKeyWindow());
    plain->release();
    window->release();
}

// The integer an archive holds under "wrappedObject".
int64_t ArchivedPointer(CFDataRef data)
{
    CFRef<CFPropertyListRef> list(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr));
    if (!list || CFGetTypeID(list) != CFDictionaryGetTypeID())
        return -1;
    CFTypeRef value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(list.get()), CFSTR("wrappedObject"));
    int64_t pointer = -1;
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &pointer))
        return -1;
    return pointer;
}

TEST(ObjectWrapperTest, AnArchivedWrapperComesBackWithTheWholePointer)
{
    FrameworkScope scope;
    AutoreleasePool pool;
    TTypeDictionary* object = TTypeDictionary::Create();
    NSObjectWrapper* wrapper = NSObjectWrapper::wrapperWithObject(object);
    EXPECT_EQ(wrapper->wrappedObject(), object);

    CFRef<CFDataRef> archive(NSKeyedArchiver::archivedDataWithRootObject(wrapper));
    ASSERT_TRUE(archive);
    // Every bit of the address is kept, not only the low 32.
    EXPECT_EQ(ArchivedPointer(archive), int64_t(reinterpret_cast<intptr_t>(object)));

    auto* back = dynamic_cast<NSObjectWrapper*>(NSKeyedUnarchiver::unarchiveObjectWithData(archive));
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back, wrapper);
    EXPECT_EQ(back->wrappedObject(), object);

    NSObjectWrapper* copy = wrapper->copy();
    EXPECT_EQ(copy->wrappedObject(), object);
    copy->release();

    // Once the object is gone the archive names nothing.
    object->Release();
    auto* stale = dynamic_cast<NSObjectWrapper*>(NSKeyedUnarchiver::unarchiveObjectWithData(archive));
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(stale->wrappedObject(), nullptr);
}

TEST(ObjectWrapperTest, WhatIsNoWrapperArchiveIsRefused)
{
    FrameworkScope scope;
    AutoreleasePool pool;
    // A pointer cut to 32 bits, or one that never was an object, is no
    // object: the wrapper comes back empty.
    TTypeDictionary* object = TTypeDictionary::Create();
    for (int64_t pointer : {int64_t(uint32_t(reinterpret_cast<intptr_t>(object))), int64_t(0x1234), int64_t(0)}) {
        SCOPED_TRACE(pointer);
        const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                 "<key>$class</key><string>NSObjectWrapper</string>"
                                 "<key>wrappedObject</key><integer>" +
                                 std::to_string(pointer) + "</integer></dict></plist>";
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), CFIndex(text.size())));
        auto* wrapper = dynamic_cast<NSObjectWrapper*>(NSKeyedUnarchiver::unarchiveObjectWithData(data));
        ASSERT_NE(wrapper, nullptr);
        EXPECT_EQ(wrapper->wrappedObject(), nullptr);
    }
    object->Release();

    // Not an archive, or of a class nobody decodes: nil.
    const char* refused[] = {
        "not a property list",
        "<plist version=\"1.0\"><array/></plist>",
        "<plist version=\"1.0\"><dict><key>$class</key><string>NSNoSuchClass</string></dict></plist>",
        "<plist version=\"1.0\"><dict><key>$class</key><integer>3</integer></dict></plist>",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text), CFIndex(std::strlen(text))));
        EXPECT_EQ(NSKeyedUnarchiver::unarchiveObjectWithData(data), nullptr);
    }
    EXPECT_EQ(NSKeyedUnarchiver::unarchiveObjectWithData(nullptr), nullptr);
    // An object that cannot be archived makes no archive.
    EXPECT_EQ(NSKeyedArchiver::archivedDataWithRootObject(NSColor::clearColor()), nullptr);
    EXPECT_EQ(NSKeyedArchiver::archivedDataWithRootObject(nullptr), nullptr);
}

}  // namespace
