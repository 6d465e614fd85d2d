// The desktop program's entry: the units, the single instance, and the
// application's Main.
#include "Globals.h"
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
#include <QTimer>

#include <csignal>
#include <cstdlib>

#include <pthread.h>

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

}  // namespace

int main(int argc, char** argv)
{
    QApplication qtApplication(argc, argv);
    SetRuntimeProfile(RuntimeProfile::Desktop);
    InitializeSpriteEngineUnits();  // the framework's units first
    InitializeUGenericCardUnit();
    brindlet::InitializeTaskUnits();
    RunEmptyThread();
    std::signal(SIGINT, SIG_DFL);

    // A second launch hands its files to the running program and ends.
    CFStringRef identifier = CFStringCreateWithUTF8(BrindletBundleIdentifier());
    const bool handedOver = LaunchSingleInstance(identifier, argc, argv);
    CFRelease(identifier);
    if (handedOver)
        return EXIT_SUCCESS;

    ScheduleScreenshot();
    return brindlet::TBrindletApplication::Main();
}
