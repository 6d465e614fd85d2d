#include "TasksInitialization.h"

#include <Sources/Tasks/UBrindlet.h>
#include <Sources/Tasks/UBrowser.h>
#include <Sources/Tasks/UTask.h>

namespace brindlet {

void InitializeTaskUnits()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    InitializeUTaskUnit();
    InitializeUBrowserUnit();
    InitializeUBrindletUnit();
}

}  // namespace brindlet
