// The current keyboard layout on a real X server (run through
// scripts/with-x11.sh): read from the server's keyboard, not the built-in one.
#include <CFTestSupport.h>
#include <CarbonCore/UnicodeUtilities.h>
#include <HIToolbox/TextInputSources.h>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QString>

#include <array>
#include <string>

namespace {

std::string Typed(const UCKeyboardLayout* layout, UInt16 keyCode, UInt32 modifiers)
{
    std::array<UniChar, 4> buffer{};
    UniCharCount length = 0;
    UInt32 state = 0;
    if (UCKeyTranslate(layout, keyCode, kUCKeyActionDown, modifiers, 0, 0, &state, buffer.size(), &length,
                       buffer.data()) != noErr)
        return "<refused>";
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()), qsizetype(length)).toStdString();
}

TEST(TextInputSourcesX11Test, TheCurrentLayoutIsTheServersKeyboard)
{
    ASSERT_EQ(QGuiApplication::platformName(), QLatin1String("xcb"));
    CFRef<TISInputSourceRef> source(TISCopyCurrentKeyboardLayoutInputSource());
    const std::string identifier =
        UTF8Of(static_cast<CFStringRef>(TISGetInputSourceProperty(source, kTISPropertyInputSourceID)));
    EXPECT_TRUE(identifier.starts_with("xkb.x11.")) << identifier;
    auto data = static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
    ASSERT_NE(data, nullptr);
    const auto* layout = reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data));

    // Xvfb's keyboard is a plain US one: letters and shifted digits as on
    // any US keyboard, and option (its third level, which it lacks) types
    // what the key types alone, unlike the built-in layout's "å".
    EXPECT_EQ(Typed(layout, 0, 0), "a");
    EXPECT_EQ(Typed(layout, 0, 0x02), "A");
    EXPECT_EQ(Typed(layout, 18, 0x02), "!");
    EXPECT_EQ(Typed(layout, 0, 0x08), "a");
    EXPECT_EQ(Typed(layout, 36, 0), "\r");
    EXPECT_EQ(Typed(layout, 10, 0), "<refused>");
}

}  // namespace
