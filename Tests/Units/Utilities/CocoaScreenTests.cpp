#include <Units/Utilities/CocoaUtilities.h>

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

// A desktop of two screens side by side: 1440×900 at the origin, and a
// 1920×1080 one to its right, 100 pixels lower (Qt's coordinates).
class TwoScreens : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" BRINDLET_FIXTURES_DIR "/Screens/two-screens.json", 1);
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        pool_ = NSAutoreleasePool::newPool();
    }
    void TearDown() override
    {
        pool_->release();
        app_.reset();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    int argc_ = 1;
    char name_[16] = "CocoaScreens";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
    NSAutoreleasePool* pool_ = nullptr;
};

void ExpectRect(NSRect rect, CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    EXPECT_EQ(rect.origin.x, x);
    EXPECT_EQ(rect.origin.y, y);
    EXPECT_EQ(rect.size.width, width);
    EXPECT_EQ(rect.size.height, height);
}

}  // namespace

TEST_F(TwoScreens, FramesInBothCoordinateSystems)
{
    const std::vector<NSScreen*> screens = NSScreen::screens();
    ASSERT_EQ(screens.size(), 2u);
    // y grows upwards from the primary screen's bottom edge.
    ExpectRect(screens[0]->frame(), 0, 0, 1440, 900);
    ExpectRect(screens[1]->frame(), 1440, 900 - 100 - 1080, 1920, 1080);
    for (NSScreen* screen : screens)
        EXPECT_EQ(QtRectFromNSRect(screen->frame(), 900), screen->qScreen()->geometry()) << "and back";

    EXPECT_TRUE(NSScreenUtilities::baseScreen()->isEqual(screens[0]));
    ExpectRect(NSScreenUtilities::boundingFrameForDevices(), 0, -280, 3360, 1180);
    ExpectRect(NSScreenUtilities::frameExcludingMenuBar(screens[0]), 0, 0, 1440, 878);
    ExpectRect(NSScreenUtilities::frameExcludingMenuBar(screens[1]), 1440, -280, 1920, 1080);
    ExpectRect(NSScreenUtilities::localFrame(screens[0]), 0, 22, 1440, 878);
    ExpectRect(NSScreenUtilities::localFrame(screens[1]), 1440, 100, 1920, 1080);

    EXPECT_TRUE(NSScreenUtilities::screenForDisplay(screens[1]->displayID())->isEqual(screens[1]));
    EXPECT_EQ(NSScreenUtilities::screenForDisplay(0xDEADBEEF), nullptr);
}
