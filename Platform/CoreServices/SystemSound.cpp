#include "SystemSound.h"

#include "FilesInternal.h"

#include <Support/Diagnostics.h>

#include <canberra.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct SoundState {
    std::mutex mutex;
    std::map<SystemSoundActionID, std::string> actions;
    SystemSoundActionID nextAction = 1;
    ca_context* context = nullptr;
    bool failureReported = false;
};

SoundState& State()
{
    static auto* state = new SoundState;
    return *state;
}

bool Exists(const std::string& path)
{
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// Whether anything could make a sound: a PulseAudio or PipeWire server of
// this session, or a sound card ALSA could open. Asking first keeps ALSA
// from filling standard error with its complaints on machines with neither.
bool SoundOutputAvailable()
{
    if (const char* server = std::getenv("PULSE_SERVER"); server && server[0])
        return true;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        const std::string folder(runtime);
        if (Exists(folder + "/pulse/native") || Exists(folder + "/pipewire-0"))
            return true;
    }
    return Exists("/dev/snd/controlC0");
}

// Call with the state locked.
void ReportFailure(SoundState& state, const std::string& why)
{
    if (state.failureReported)
        return;
    state.failureReported = true;
    Diagnostics::WriteLine("Warning: Sounds are silent: " + why + ".");
}

// Call with the state locked. An empty file name plays the theme's bell.
void Play(SoundState& state, const std::string& file)
{
    if (!SoundOutputAvailable()) {
        ReportFailure(state, "no sound server or sound card is available");
        return;
    }
    if (state.context == nullptr) {
        const int created = ca_context_create(&state.context);
        if (created != CA_SUCCESS) {
            state.context = nullptr;
            ReportFailure(state, ca_strerror(created));
            return;
        }
        ca_context_change_props(state.context, CA_PROP_APPLICATION_NAME, "Brindlet", nullptr);
    }
    const int played = file.empty() ? ca_context_play(state.context, 0, CA_PROP_EVENT_ID, "bell",
                                                      CA_PROP_EVENT_DESCRIPTION, "Alert", nullptr)
                                    : ca_context_play(state.context, 0, CA_PROP_MEDIA_FILENAME, file.c_str(),
                                                      CA_PROP_EVENT_DESCRIPTION, "Alert", nullptr);
    if (played != CA_SUCCESS) {
        ReportFailure(state, ca_strerror(played));
        return;
    }
    state.failureReported = false;
}

}  // namespace

OSStatus SystemSoundGetActionID(const FSRef* userFile, SystemSoundActionID* outAction)
{
    if (outAction == nullptr)
        return paramErr;
    struct stat info;
    if (const OSErr status = FilesInternal::StatRef(userFile, &info))
        return status;
    struct stat target;
    if (stat(userFile->path, &target) != 0 || !S_ISREG(target.st_mode))
        return notAFileErr;
    SoundState& state = State();
    std::lock_guard lock(state.mutex);
    SystemSoundActionID action = state.nextAction++;
    if (action == 0)
        action = state.nextAction++;
    state.actions[action] = userFile->path;
    *outAction = action;
    return noErr;
}

OSStatus SystemSoundRemoveActionID(SystemSoundActionID inAction)
{
    SoundState& state = State();
    std::lock_guard lock(state.mutex);
    return state.actions.erase(inAction) == 1 ? noErr : paramErr;
}

void AlertSoundPlayCustomSound(SystemSoundActionID inAction)
{
    SoundState& state = State();
    std::lock_guard lock(state.mutex);
    auto it = state.actions.find(inAction);
    if (it != state.actions.end())
        Play(state, it->second);
}

void AlertSoundPlay()
{
    SoundState& state = State();
    std::lock_guard lock(state.mutex);
    Play(state, {});
}

void SysBeep(short)
{
    AlertSoundPlay();
}

void SystemSoundResetFailureReport()
{
    SoundState& state = State();
    std::lock_guard lock(state.mutex);
    state.failureReported = false;
}
