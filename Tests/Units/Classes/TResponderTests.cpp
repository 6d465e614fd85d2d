#include <CFTestSupport.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TResponderUnit.h>
#include <Units/RuntimeProfile.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

namespace {

// Records what reaches it.
class TListener : public TResponder {
    BRINDLET_CLASS(TListener, TResponder)

public:
    static TListener* Create() { return CreateInstance<TListener>(); }

    void HandleChange(TNotification* details)
    {
        ++calls;
        received = details ? details->ClassName() : "(nil)";
        lastName = details ? details->GetStringValue("notification").ToString() : "";
        lastValue = details ? details->GetIntegerValue("value") : -1;
        if (details)
            details->SetIntegerValue("value", 99);  // each observer has its own copy
    }
    // Cocoa centers hand over a plain TDictionary, so this handler takes the base.
    void HandleOther(TDictionary*) { ++otherCalls; }
    void RemoveSelf(TNotification*)
    {
        ++calls;
        if (victim)
            victim->RemoveObservedNotifications();
    }
    void Act(void* param) { actions.push_back(param); }

    int calls = 0, otherCalls = 0;
    std::string received, lastName;
    SInt32 lastValue = 0;
    TListener* victim = nullptr;
    std::vector<void*> actions;
};

BRINDLET_DEFINE_CLASS(TListener, TResponder)

// A notification class of the program's own.
class TTaskChange : public TNotification {
    BRINDLET_CLASS(TTaskChange, TNotification)

public:
    static TTaskChange* Create() { return NewTable<TTaskChange>(); }
};

BRINDLET_DEFINE_CLASS(TTaskChange, TNotification)

// A registered class that is not a notification.
class TStranger : public TTypeDictionary {
    BRINDLET_CLASS(TStranger, TTypeDictionary)
};

BRINDLET_DEFINE_CLASS(TStranger, TTypeDictionary)

class TResponderTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RegisterClass(TTaskChange::StaticClass());
        RegisterClass(TStranger::StaticClass());
    }
};

}  // namespace

TEST_F(TResponderTest, DetailsArriveAsTheClassThePosterUsed)
{
    auto first = TObjectRef<TListener>::Adopt(TListener::Create());
    auto second = TObjectRef<TListener>::Adopt(TListener::Create());
    first->ObserveNotification("Sheet.Changed", BRINDLET_METHOD(TListener, HandleChange));
    first->ObserveNotification("Sheet.Changed", BRINDLET_METHOD(TListener, HandleOther));  // the first handler stays
    second->ObserveNotification("Sheet.Changed", BRINDLET_METHOD(TListener, HandleChange));

    TResponder::PostNotification("Sheet.Changed");
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(first->otherCalls, 0);
    EXPECT_EQ(first->received, "(nil)") << "no details, nil for the handler";

    auto plain = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    plain->SetIntegerValue("value", 7);
    TResponder::PostNotification("Sheet.Changed", plain);
    EXPECT_EQ(first->received, "TNotification");
    EXPECT_EQ(first->lastName, "Sheet.Changed");
    EXPECT_EQ(second->lastValue, 7) << "the first handler's change did not reach the second";
    EXPECT_EQ(plain->GetIntegerValue("value"), 7) << "the poster keeps its own details";
    EXPECT_FALSE(plain->ContainsKey("com.theorvandel.TResponder.notificationKey"));
    plain.Reset();

    auto change = TObjectRef<TTaskChange>::Adopt(TTaskChange::Create());
    TResponder::PostNotification("Sheet.Changed", change);
    EXPECT_EQ(second->received, "TTaskChange");
    change.Reset();

    // Details naming a class that is not a notification arrive as a TNotification.
    auto forged = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    forged->SetStringValue("com.theorvandel.TResponder.notificationKey", "TStranger");
    CFNotificationCenterPostNotification(CFNotificationCenterGetLocalCenter(), CFSTR("Sheet.Changed"), nullptr,
                                         forged->CFType(), true);
    EXPECT_EQ(second->received, "TNotification");
    forged.Reset();

    first.Reset();
    second.Reset();
}

TEST_F(TResponderTest, RemovedAndFreedObserversReceiveNothing)
{
    auto remover = TObjectRef<TListener>::Adopt(TListener::Create());
    auto removed = TObjectRef<TListener>::Adopt(TListener::Create());
    remover->victim = removed;
    remover->ObserveNotification("Order", BRINDLET_METHOD(TListener, RemoveSelf));
    removed->ObserveNotification("Order", BRINDLET_METHOD(TListener, HandleChange));
    TResponder::PostNotification("Order");
    EXPECT_EQ(remover->calls, 1);
    EXPECT_EQ(removed->calls, 0) << "removed during the delivery";

    // A responder observing on another center is removed from it when freed.
    auto gone = TObjectRef<TListener>::Adopt(TListener::Create());
    CFNotificationCenterRef local = CFNotificationCenterGetLocalCenter();
    gone->SetNotificationCenter(nullptr);
    gone->ObserveNotification(local, "Order", BRINDLET_METHOD(TListener, HandleChange));
    gone.Reset();
    TResponder::PostNotification("Order");  // must not reach the freed object (ASan would say)
    remover.Reset();
    removed.Reset();
}

TEST_F(TResponderTest, ActionsAndTheirWarnings)
{
    auto target = TObjectRef<TListener>::Adopt(TListener::Create());
    auto responder = TObjectRef<TResponder>::Adopt(TResponder::Create());
    responder->SetTarget(target);
    responder->SetAction(BRINDLET_METHOD(TListener, Act));
    int param = 0;
    responder->InvokeAction(&param);
    EXPECT_EQ(target->actions, std::vector<void*>{&param});
    target->RegisterMethod("Listener.Act", BRINDLET_METHOD(TListener, Act));
    responder->SetAction("Listener.Act");
    responder->InvokeAction();
    EXPECT_EQ(target->actions.size(), 3u) << "by name, then by code";

    ResponderActionInfo info;
    TResponder::DefineAction(BRINDLET_METHOD(TListener, Act), target, info);
    info.parameter = &param;
    TResponder::InvokeAction(info);
    EXPECT_EQ(target->actions.back(), &param);

    struct Case {
        bool target, name, code, warn;
        RuntimeProfile profile;
        const char* expected;  // nullptr for silence
    } cases[] = {
        {true, false, false, false, RuntimeProfile::Desktop, nullptr},
        {true, false, false, true, RuntimeProfile::Desktop, "Warning: There is no action specified for TResponder"},
        {true, false, false, false, RuntimeProfile::Helper, "Warning: There is no action specified for TResponder"},
        {false, true, false, false, RuntimeProfile::Desktop, "Warning: There is no target specified for TResponder"},
        {false, false, true, false, RuntimeProfile::Desktop, nullptr},
        {false, false, true, true, RuntimeProfile::Desktop, "Warning: There is no target specified for TResponder"},
        {false, false, false, true, RuntimeProfile::Desktop, nullptr},
    };
    for (const Case& c : cases) {
        auto r = TObjectRef<TResponder>::Adopt(TResponder::Create());
        if (c.target)
            r->SetTarget(target);
        if (c.name)
            r->SetAction("Nobody.Home");
        if (c.code)
            r->SetAction(BRINDLET_METHOD(TListener, Act));
        r->SetWarnMissingMethods(c.warn);
        SetRuntimeProfile(c.profile);
        Diagnostics::Capture capture;
        r->InvokeAction();
        SetRuntimeProfile(RuntimeProfile::Desktop);
        if (c.expected)
            EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.expected});
        else
            EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
    }
}

TEST_F(TResponderTest, CocoaNotificationsReachObserversUntilTheyGo)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    auto listener = TObjectRef<TListener>::Adopt(TListener::Create());
    listener->ObserveNotification(center, "Volume.Changed", BRINDLET_METHOD(TListener, HandleOther));
    listener->ObserveNotification(center, "Volume.Changed", BRINDLET_METHOD(TListener, HandleOther));
    CFRef<CFMutableDictionaryRef> info(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(info, CFSTR("NSDevicePath"), CFSTR("/media/disk"));
    center->postNotificationName(NSString::stringWithUTF8String("Volume.Changed"), nullptr, info);
    EXPECT_EQ(listener->otherCalls, 2) << "two registrations, two calls";
    listener.Reset();
    // Both registrations went with the object: nothing dangles.
    center->postNotificationName(NSString::stringWithUTF8String("Volume.Changed"), nullptr, info);

    auto later = TObjectRef<TListener>::Adopt(TListener::Create());
    later->ObserveNotification(center, "Volume.Changed", BRINDLET_METHOD(TListener, HandleOther));
    center->postNotificationName(NSString::stringWithUTF8String("Volume.Changed"), nullptr, nullptr);
    EXPECT_EQ(later->otherCalls, 1) << "a name observed again is delivered without a new registration";
    later.Reset();
    pool->release();
}
