// The helper's requests to show a task ("com.orvandel.Brindlet.selectedTask"
// with the sheet's full path under "sheet" and the row's identifier under
// "task"). The helper may ask while the program is still starting (it may
// just have launched it): the inbox listens from the program's first
// moments, before the program takes its single-instance name, holds what
// arrives, and hands it to the screen once the first sheet is open. A
// request can also come as launch arguments, so the helper never has to
// guess whether the program already listens:
//
//     brindlet --selected-task <sheet path> <task identifier>
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace brindlet {

class TScreen;

namespace SelectedTaskInbox {

inline constexpr const char* kSelectedTaskNotification = "com.orvandel.Brindlet.selectedTask";
inline constexpr const char* kSelectedTaskOption = "--selected-task";

// Listens on the distributed center until StopListening.
void Listen();
void StopListening();
// Holds a request (copies of the texts) for the screen to come.
void Hold(CFStringRef sheet, CFStringRef task);
// How many requests wait for a screen.
size_t HeldCount();
// From now on the screen handles every request; what was held reaches it
// on the next pass of the main loop, in the order it came.
void Attach(TScreen* screen);
// The screen goes: requests are held again. Nothing for another screen.
void Detach(TScreen* screen);

// Takes "--selected-task <sheet> <task>" out of the arguments (the rest
// keep their order); true when it was there with both values.
bool TakeFromArguments(int& argc, char** argv, std::string& sheet, std::string& task);
// Sends a request to the running program, as the helper does.
void Post(CFStringRef sheet, CFStringRef task);

}  // namespace SelectedTaskInbox
}  // namespace brindlet
