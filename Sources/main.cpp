// The desktop program's entry: the units, the single instance, and the
// application's Main.
#include "Globals.h"
#include "Interface/USelectedTaskInbox.h"
#include "UBrindletApplication.h"

#include <Sources/Cards/UGenericCard.h>
#include <Sources/Tasks/TasksInitialization.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/RuntimeProfile.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreServices/SingleInstance.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdlib>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// With BRINDLET_SCREENSHOT set, the whole screen is written there as a PNG
// once the desktop has been shown (replacing the file in one step).
void ScheduleScreenshot()
{
    const char* path = std::getenv("BRINDLET_SCREENSHOT");
    if (path == nullptr || *path == '\0')
        return;
    const QString target = QString::fromLocal8Bit(path);
    QTimer::singleShot(1500, [target] {
        QScreen* screen = QGuiApplication::primaryScreen();
        QSaveFile file(target);
        const bool written = screen != nullptr && file.open(QIODevice::WriteOnly) &&
                             screen->grabWindow(0).save(&file, "PNG") && file.commit();
        Diagnostics::WriteLine(written ? "Screenshot: " + target.toStdString()
                                       : "Warning: The screenshot " + target.toStdString() + " was not written.");
    });
}

// One thread that does nothing, with a stack of 4 MB, started and waited
// for before the application starts: the threads the program makes later
// are then known to be possible.
void RunEmptyThread()
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 4194304);
    pthread_t thread;
    if (pthread_create(
            &thread, &attributes, [](void*) -> void* { return nullptr; }, nullptr) == 0)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// The end the system asks for (SIGTERM, SIGHUP at the end of a session,
// SIGINT at a terminal) leaves the event loop like Quit, so that the
// pending save is written; a second signal while that runs ends the
// program at once.
int terminationPipe[2] = {-1, -1};

void HandleTerminationSignal(int signalNumber)
{
    const char byte = char(signalNumber);
    // Nothing more can be done in a handler when the write fails.
    [[maybe_unused]] const ssize_t written = write(terminationPipe[1], &byte, 1);
    std::signal(signalNumber, SIG_DFL);
}

void CatchTerminationSignals()
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (read(terminationPipe[0], &byte, 1) == 1)
            QuitApplicationEventLoop();
    });
    struct sigaction action {};
    action.sa_handler = HandleTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signalNumber, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication qtApplication(argc, argv);
    SetRuntimeProfile(RuntimeProfile::Desktop);
    InitializeSpriteEngineUnits();  // the framework's units first
    InitializeUGenericCardUnit();
    brindlet::InitializeTaskUnits();
    RunEmptyThread();

    // The helper's request to show a task may come with the launch; and
    // requests sent while the program starts are held from now on, before
    // the program takes its single-instance name (the helper looks for
    // that name to know the program listens).
    std::string selectedSheet;
    std::string selectedTask;
    const bool selecting = brindlet::SelectedTaskInbox::TakeFromArguments(argc, argv, selectedSheet, selectedTask);
    brindlet::SelectedTaskInbox::Listen();

    // A second launch hands its files to the running program and ends.
    CFStringRef identifier = CFStringCreateWithUTF8(BrindletBundleIdentifier());
    const bool handedOver = LaunchSingleInstance(identifier, argc, argv);
    CFRelease(identifier);
    CFStringRef sheet = selecting ? CFStringCreateWithUTF8(selectedSheet) : nullptr;
    CFStringRef task = selecting ? CFStringCreateWithUTF8(selectedTask) : nullptr;
    if (handedOver) {
        brindlet::SelectedTaskInbox::StopListening();
        if (selecting)
            brindlet::SelectedTaskInbox::Post(sheet, task);
    } else if (selecting) {
        brindlet::SelectedTaskInbox::Hold(sheet, task);
    }
    for (CFStringRef text : {sheet, task}) {
        if (text != nullptr)
            CFRelease(text);
    }
    if (handedOver)
        return EXIT_SUCCESS;

    CatchTerminationSignals();
    ScheduleScreenshot();
    const int status = brindlet::TBrindletApplication::Main();
    // The answers to the last requests leave before the name does.
    EndSingleInstance();
    return status;
}
