#include "UTask.h"

#include <Units/Utilities/CGUtilities.h>

namespace brindlet {

// ---- artwork ----

namespace {

struct TaskArtwork {
    CGImageRef buttons[2][4] = {};
    CGImageRef icons[5] = {};
    CGImageRef flags[5] = {};
    CGImageRef statuses[3] = {};
};

TaskArtwork* gArtwork = nullptr;

template <size_t N>
CGImageRef ImageAt(CGImageRef (&images)[N], SInt32 index)
{
    return index >= 0 && static_cast<size_t>(index) < N ? images[index] : nullptr;
}

void LoadArtwork()
{
    gArtwork = new TaskArtwork;
    const char* buttons[] = {"radio_button.png", "check.png", "arrow_open.png", "arrow_closed.png"};
    for (SInt32 i = 0; i < 4; ++i) {
        gArtwork->buttons[0][i] = CGImageLoadFromResource(buttons[i], "Images/Card");
        gArtwork->buttons[1][i] = CGImageLoadFromResource(buttons[i], "Images/Printing");
    }
    const char* icons[] = {"note.png", "notify.png", "overdue.png", "timer_running.png", "timer_paused.png"};
    for (SInt32 i = 0; i < 5; ++i)
        gArtwork->icons[i] = CGImageLoadFromResource(icons[i], "Images/Task");
    const char* flags[] = {"flag_red.png", "flag_yellow.png", "flag_green.png", "flag_blue.png", "flag_gray.png"};
    for (SInt32 i = 0; i < 5; ++i)
        gArtwork->flags[i] = CGImageLoadFromResource(flags[i], "Images/Task");
    gArtwork->statuses[0] = CGImageLoadFromResource("status_inprogress.png", "Images/Status");
    gArtwork->statuses[1] = CGImageLoadFromResource("status_canceled.png", "/Images/Status");
    gArtwork->statuses[2] = CGImageLoadFromResource("status_delayed.png", "/Images/Status");
}

}  // namespace

CGImageRef GetTaskButtonImage(SInt32 button, bool printing)
{
    return gArtwork != nullptr ? ImageAt(gArtwork->buttons[printing ? 1 : 0], button) : nullptr;
}

CGImageRef GetTaskIconImage(SInt32 icon)
{
    return gArtwork != nullptr ? ImageAt(gArtwork->icons, icon) : nullptr;
}

CGImageRef GetTaskFlagImage(SInt32 index)
{
    return gArtwork != nullptr ? ImageAt(gArtwork->flags, index) : nullptr;
}

CGImageRef GetTaskStatusImage(SInt32 index)
{
    return gArtwork != nullptr ? ImageAt(gArtwork->statuses, index) : nullptr;
}

void InitializeUTaskUnit()
{
    RegisterClass(TTask::StaticClass());
    if (gArtwork == nullptr)
        LoadArtwork();
}

}  // namespace brindlet
