#pragma once

// A handler for hot-key events on one target that records what arrived
// (kind and EventHotKeyID) and answers a chosen status.

#include <CarbonCore/CarbonEvents.h>

#include <functional>
#include <ostream>
#include <vector>

struct HotKeyRecorder {
    struct Delivery {
        EventKind kind;
        OSType signature;
        UInt32 id;
        bool operator==(const Delivery&) const = default;
    };

    std::vector<Delivery> deliveries;
    OSStatus answer = noErr;
    std::function<void()> onDelivery;
    EventHandlerRef handler = nullptr;

    HotKeyRecorder() = default;
    HotKeyRecorder(const HotKeyRecorder&) = delete;
    HotKeyRecorder& operator=(const HotKeyRecorder&) = delete;
    ~HotKeyRecorder() { Remove(); }

    void Install(EventTargetRef target)
    {
        const EventTypeSpec types[] = {{kEventClassKeyboard, kEventHotKeyPressed},
                                       {kEventClassKeyboard, kEventHotKeyReleased}};
        InstallEventHandler(target, Handle, 2, types, this, &handler);
    }
    void Remove()
    {
        if (handler)
            RemoveEventHandler(handler);
        handler = nullptr;
    }

    static OSStatus Handle(EventHandlerCallRef, EventRef event, void* userData)
    {
        auto* self = static_cast<HotKeyRecorder*>(userData);
        EventHotKeyID id{0, 0};
        EventParamType actualType = 0;
        UInt32 actualSize = 0;
        if (GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, &actualType, sizeof id, &actualSize,
                              &id) != noErr ||
            actualType != typeEventHotKeyID || actualSize != sizeof id)
            return eventNotHandledErr;
        self->deliveries.push_back({GetEventKind(event), id.signature, id.id});
        if (self->onDelivery)
            self->onDelivery();
        return self->answer;
    }
};

// For readable failures.
inline void PrintTo(const HotKeyRecorder::Delivery& delivery, std::ostream* out)
{
    *out << (delivery.kind == kEventHotKeyPressed    ? "pressed"
             : delivery.kind == kEventHotKeyReleased ? "released"
                                                     : "other")
         << " '" << char(delivery.signature >> 24) << char(delivery.signature >> 16) << char(delivery.signature >> 8)
         << char(delivery.signature) << "' " << delivery.id;
}
