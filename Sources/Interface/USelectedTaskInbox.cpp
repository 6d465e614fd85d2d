#include "USelectedTaskInbox.h"

#include "UScreen.h"

#include <Units/Classes/TDictionaryUnit.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <cstring>
#include <deque>

namespace brindlet::SelectedTaskInbox {

namespace {

// A request as it came: only texts travel on, whatever else it carried.
struct Request {
    CFStringRef sheet;  // may be nil: the screen says the sheet is missing
    CFStringRef task;   // may be nil
};

std::deque<Request> held;
TScreen* attached = nullptr;
EventLoopTimerRef deliveryTimer = nullptr;
bool listening = false;
int observerTag;

CFStringRef CopyTextValue(CFDictionaryRef info, const char* key)
{
    if (info == nullptr || CFGetTypeID(info) != CFDictionaryGetTypeID())
        return nullptr;
    CFStringRef name = CFStringCreateWithUTF8(key);
    CFTypeRef value = CFDictionaryGetValue(info, name);
    CFRelease(name);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return nullptr;
    return static_cast<CFStringRef>(CFRetain(value));
}

void Deliver(const Request& request, TScreen* screen)
{
    TTypeDictionary* details = TTypeDictionary::Create();
    if (request.sheet != nullptr)
        details->SetValue("sheet", request.sheet);
    if (request.task != nullptr)
        details->SetValue("task", request.task);
    screen->HandleSelectedTask(details);
    details->Release();
}

void Forget(Request& request)
{
    if (request.sheet != nullptr)
        CFRelease(request.sheet);
    if (request.task != nullptr)
        CFRelease(request.task);
}

void Receive(Request request)
{
    if (attached != nullptr && deliveryTimer == nullptr) {
        Deliver(request, attached);
        Forget(request);
        return;
    }
    held.push_back(request);
}

void DeliverHeld(EventLoopTimerRef timer, void*)
{
    RemoveEventLoopTimer(timer);
    deliveryTimer = nullptr;
    // A request may open a sheet and show alerts; what arrives meanwhile
    // is queued behind the ones still held.
    while (attached != nullptr && !held.empty()) {
        Request request = held.front();
        held.pop_front();
        Deliver(request, attached);
        Forget(request);
    }
}

void Received(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef userInfo)
{
    Receive(Request{CopyTextValue(userInfo, "sheet"), CopyTextValue(userInfo, "task")});
}

}  // namespace

void Listen()
{
    if (listening)
        return;
    listening = true;
    CFStringRef name = CFStringCreateWithUTF8(kSelectedTaskNotification);
    CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), &observerTag, Received, name, nullptr,
                                    CFNotificationSuspensionBehaviorDeliverImmediately);
    CFRelease(name);
}

void StopListening()
{
    if (!listening)
        return;
    listening = false;
    CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDistributedCenter(), &observerTag);
}

void Hold(CFStringRef sheet, CFStringRef task)
{
    Receive(Request{sheet != nullptr ? CFStringCreateCopy(nullptr, sheet) : nullptr,
                    task != nullptr ? CFStringCreateCopy(nullptr, task) : nullptr});
}

size_t HeldCount()
{
    return held.size();
}

void Attach(TScreen* screen)
{
    attached = screen;
    if (screen != nullptr && !held.empty() && deliveryTimer == nullptr)
        InstallEventLoopTimer(GetMainEventLoop(), 0, 0, DeliverHeld, nullptr, &deliveryTimer);
}

void Detach(TScreen* screen)
{
    if (attached != screen)
        return;
    attached = nullptr;
    if (deliveryTimer != nullptr)
        RemoveEventLoopTimer(deliveryTimer);
    deliveryTimer = nullptr;
}

bool TakeFromArguments(int& argc, char** argv, std::string& sheet, std::string& task)
{
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], kSelectedTaskOption) != 0)
            continue;
        if (index + 2 >= argc)
            return false;
        sheet = argv[index + 1];
        task = argv[index + 2];
        for (int rest = index; rest + 3 <= argc; ++rest)
            argv[rest] = argv[rest + 3];
        argc -= 3;
        return true;
    }
    return false;
}

void Post(CFStringRef sheet, CFStringRef task)
{
    CFMutableDictionaryRef info =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (sheet != nullptr)
        CFDictionarySetValue(info, CFSTR("sheet"), sheet);
    if (task != nullptr)
        CFDictionarySetValue(info, CFSTR("task"), task);
    CFStringRef name = CFStringCreateWithUTF8(kSelectedTaskNotification);
    CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), name, nullptr, info, true);
    CFRelease(name);
    CFRelease(info);
}

}  // namespace brindlet::SelectedTaskInbox
