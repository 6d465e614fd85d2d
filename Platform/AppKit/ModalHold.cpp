#include "ModalHold.h"

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFNotificationCenter.h>

void BeginModalHold()
{
    SuspendEventLoopTimers();
    CFNotificationCenterHoldDistributedDelivery();
}

void EndModalHold()
{
    CFNotificationCenterResumeDistributedDelivery();
    ResumeEventLoopTimers();
}
