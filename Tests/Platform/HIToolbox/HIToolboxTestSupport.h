#pragma once

// What the window, view, menu and control tests share: a window of the test
// and handlers written as lambdas, both gone at the test's end.

#include <HIToolbox/HIView.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// A window of the test, disposed at its end unless the test did.
class TestWindow {
public:
    explicit TestWindow(WindowClass windowClass = kDocumentWindowClass,
                        WindowAttributes attributes = kWindowStandardDocumentAttributes |
                                                      kWindowStandardHandlerAttribute,
                        Rect bounds = {100, 100, 300, 400})
    {
        EXPECT_EQ(CreateNewWindow(windowClass, attributes, &bounds, &window_), noErr);
    }
    ~TestWindow() { DisposeWindow(window_); }  // nothing for a window gone already
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    operator WindowRef() const { return window_; }

    // The view the window's controls go in.
    HIViewRef Content() const
    {
        HIViewRef content = nullptr;
        EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content), noErr);
        return content;
    }

private:
    WindowRef window_ = nullptr;
};

// Handlers of one test, on any target, removed at its end (the
// application's target outlives the test).
class Handlers {
public:
    using Body = std::function<OSStatus(EventRef)>;

    Handlers() = default;
    Handlers(const Handlers&) = delete;
    Handlers& operator=(const Handlers&) = delete;
    ~Handlers()
    {
        for (EventHandlerRef handler : handlers_)
            RemoveEventHandler(handler);  // paramErr for those gone with their target
    }

    void Install(EventTargetRef target, std::vector<EventTypeSpec> types, Body body)
    {
        bodies_.push_back(std::make_unique<Body>(std::move(body)));
        EventHandlerRef handler = nullptr;
        EXPECT_EQ(InstallEventHandler(target, Run, types.size(), types.data(), bodies_.back().get(), &handler), noErr);
        handlers_.push_back(handler);
    }

private:
    static OSStatus Run(EventHandlerCallRef, EventRef event, void* body) { return (*static_cast<Body*>(body))(event); }

    std::vector<std::unique_ptr<Body>> bodies_;
    std::vector<EventHandlerRef> handlers_;
};
