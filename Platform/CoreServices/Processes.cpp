#include "Processes.h"

#include "SingleInstanceInternal.h"

#include <CarbonCore/CarbonEvents.h>

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Serial numbers of real processes have 1 in their high word, so that no
// PID can be mistaken for kSystemProcess or kCurrentProcess.
constexpr UInt32 kProcessTag = 1;

// What a file of /proc holds, at most `limit` bytes; false when it cannot be read.
bool ReadProcFile(pid_t pid, const char* name, std::string* text, size_t limit = 4096)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    if (!file)
        return false;
    text->assign(limit, '\0');
    file.read(text->data(), static_cast<std::streamsize>(limit));
    text->resize(static_cast<size_t>(file.gcount()));
    return !file.bad();
}

// Running: its status can be read and it has not ended (a zombie has).
bool IsRunning(pid_t pid)
{
    std::string stat;
    if (!ReadProcFile(pid, "stat", &stat) || stat.empty())
        return false;
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

std::vector<pid_t> RunningPIDs()
{
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return pids;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && pid > 0)
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool PIDOf(const ProcessSerialNumber* psn, pid_t* pid)
{
    if (psn == nullptr)
        return false;
    if (psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kCurrentProcess) {
        *pid = getpid();
        return true;
    }
    if (psn->highLongOfPSN != kProcessTag || psn->lowLongOfPSN == 0)
        return false;
    *pid = static_cast<pid_t>(psn->lowLongOfPSN);
    return true;
}

// The kernel keeps at most 15 bytes of a command name.
constexpr size_t kCommandNameLimit = 15;

bool ProcessName(pid_t pid, std::string* name)
{
    std::string comm;
    if (!ReadProcFile(pid, "comm", &comm, 64))
        return false;
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0'))
        comm.pop_back();
    if (comm.empty())
        return false;
    *name = comm;
    if (comm.size() < kCommandNameLimit)
        return true;
    // Cut short: the file the program was started as tells the rest.
    std::string arguments;
    if (ReadProcFile(pid, "cmdline", &arguments)) {
        std::string first = arguments.substr(0, arguments.find('\0'));
        first = first.substr(first.rfind('/') == std::string::npos ? 0 : first.rfind('/') + 1);
        if (first.size() > comm.size() && first.compare(0, comm.size(), comm) == 0)
            *name = first;
    }
    return true;
}

// This process's part: whether it is hidden, and the window layer's hook.
// Main thread only.
struct ApplicationState {
    bool hidden = false;
    bool hooked = false;
    ApplicationWindowsHook hook{};
};

ApplicationState& Application()
{
    static auto* state = new ApplicationState;
    return *state;
}

bool IsThisProcess(pid_t pid)
{
    return pid == getpid();
}

// Which process a serial number names, checked: paramErr for nil or a
// number that names none, procNotFound for one that is not running.
OSErr RunningPIDOf(const ProcessSerialNumber* psn, pid_t* pid)
{
    if (!PIDOf(psn, pid))
        return paramErr;
    return IsRunning(*pid) ? noErr : procNotFound;
}

bool ApplicationIsActive()
{
    const ApplicationState& state = Application();
    if (state.hooked && state.hook.isApplicationActive)
        return state.hook.isApplicationActive(state.hook.refCon);
    const auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return gui != nullptr && QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void SendApplicationEvent(EventKind kind)
{
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassApplication, kind, GetCurrentEventTime(), kEventAttributeNone, &event) != noErr)
        return;
    SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
}

void SetApplicationVisible(bool visible)
{
    ApplicationState& state = Application();
    if (state.hidden == !visible)
        return;
    state.hidden = !visible;
    if (state.hooked && state.hook.setApplicationHidden)
        state.hook.setApplicationHidden(!visible, state.hook.refCon);
    SendApplicationEvent(visible ? kEventAppShown : kEventAppHidden);
}

}  // namespace

OSErr GetNextProcess(ProcessSerialNumber* PSN)
{
    if (PSN == nullptr)
        return paramErr;
    pid_t after = 0;
    if (!(PSN->highLongOfPSN == 0 && PSN->lowLongOfPSN == kNoProcess) && !PIDOf(PSN, &after))
        return paramErr;
    for (pid_t pid : RunningPIDs()) {
        if (pid > after && IsRunning(pid)) {
            *PSN = {kProcessTag, static_cast<UInt32>(pid)};
            return noErr;
        }
    }
    *PSN = {0, kNoProcess};
    return procNotFound;
}

OSStatus CopyProcessName(const ProcessSerialNumber* psn, CFStringRef* name)
{
    if (name == nullptr)
        return paramErr;
    *name = nullptr;
    pid_t pid = 0;
    if (!PIDOf(psn, &pid))
        return paramErr;
    std::string text;
    if (!IsRunning(pid) || !ProcessName(pid, &text))
        return procNotFound;
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    *name = CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(decoded.utf16()), decoded.size());
    return noErr;
}

OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid)
{
    if (pid == nullptr)
        return paramErr;
    pid_t found = 0;
    if (!PIDOf(psn, &found))
        return paramErr;
    if (!IsRunning(found))
        return procNotFound;
    *pid = found;
    return noErr;
}

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn)
{
    if (psn == nullptr || pid <= 0)
        return paramErr;
    if (!IsRunning(pid))
        return procNotFound;
    *psn = {kProcessTag, static_cast<UInt32>(pid)};
    return noErr;
}

OSErr GetCurrentProcess(ProcessSerialNumber* PSN)
{
    if (PSN == nullptr)
        return paramErr;
    *PSN = {kProcessTag, static_cast<UInt32>(getpid())};
    return noErr;
}

OSErr SameProcess(const ProcessSerialNumber* PSN1, const ProcessSerialNumber* PSN2, Boolean* result)
{
    pid_t first = 0, second = 0;
    if (result == nullptr || !PIDOf(PSN1, &first) || !PIDOf(PSN2, &second))
        return paramErr;
    *result = first == second;
    return noErr;
}

OSErr GetFrontProcess(ProcessSerialNumber* PSN)
{
    if (PSN == nullptr)
        return paramErr;
    if (ApplicationIsActive())
        return GetCurrentProcess(PSN);
    const ApplicationState& state = Application();
    const pid_t front = state.hooked && state.hook.frontProcessID ? state.hook.frontProcessID(state.hook.refCon) : 0;
    if (front <= 0 || !IsRunning(front))
        return procNotFound;
    *PSN = {kProcessTag, static_cast<UInt32>(front)};
    return noErr;
}

OSErr SetFrontProcess(const ProcessSerialNumber* PSN)
{
    pid_t pid = 0;
    if (const OSErr status = RunningPIDOf(PSN, &pid))
        return status;
    const ApplicationState& state = Application();
    if (IsThisProcess(pid)) {
        SetApplicationVisible(true);
        if (state.hooked && state.hook.activateApplication)
            state.hook.activateApplication(state.hook.refCon);
        return noErr;
    }
    if (SingleInstanceInternal::AskInstanceOfProcess(pid, SingleInstanceInternal::Request::Activate, nullptr))
        return noErr;
    if (state.hooked && state.hook.activateProcess && state.hook.activateProcess(pid, state.hook.refCon))
        return noErr;
    return procNotFound;
}

OSErr ShowHideProcess(const ProcessSerialNumber* psn, Boolean visible)
{
    pid_t pid = 0;
    if (const OSErr status = RunningPIDOf(psn, &pid))
        return status;
    if (IsThisProcess(pid)) {
        SetApplicationVisible(visible);
        return noErr;
    }
    using SingleInstanceInternal::Request;
    if (SingleInstanceInternal::AskInstanceOfProcess(pid, visible ? Request::Show : Request::Hide, nullptr))
        return noErr;
    const ApplicationState& state = Application();
    if (state.hooked && state.hook.setProcessHidden && state.hook.setProcessHidden(pid, !visible, state.hook.refCon))
        return noErr;
    return procNotFound;
}

Boolean IsProcessVisible(const ProcessSerialNumber* psn)
{
    pid_t pid = 0;
    if (RunningPIDOf(psn, &pid) != noErr)
        return false;
    if (IsThisProcess(pid))
        return !Application().hidden;
    bool visible = true;
    if (SingleInstanceInternal::AskInstanceOfProcess(pid, SingleInstanceInternal::Request::IsVisible, &visible))
        return visible;
    return true;
}

void SetApplicationWindowsHook(const ApplicationWindowsHook* hook)
{
    ApplicationState& state = Application();
    state.hooked = hook != nullptr;
    state.hook = hook ? *hook : ApplicationWindowsHook{};
}
