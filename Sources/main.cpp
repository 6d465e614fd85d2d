// The desktop program: the application object on the framework, its menu
// bar and desktop window from the bundle's nib "main", and the event loop.
#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <ApplicationFramework/FrameworkInitialization.h>
#include <Units/RuntimeProfile.h>

#include <CoreServices/FloatingPointMask.h>
#include <CoreServices/SingleInstance.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>

#include <cstdlib>

namespace {

constexpr UInt32 kBrindletSignature = FourCC("ovbr");

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

}  // namespace

int main(int argc, char** argv)
{
    QApplication qtApplication(argc, argv);
    SetRuntimeProfile(RuntimeProfile::Desktop);
    InitializeFrameworkUnits();
    if (LaunchSingleInstance(CFSTR("org.brindlet.Brindlet"), argc, argv))
        return EXIT_SUCCESS;

    TApplication* application = TApplication::Create(kBrindletSignature, "org.brindlet.Brindlet");
    TWindow* desktop = TWindow::Create("Desktop", application->GetNibRef());
    if (desktop->GetWindowRef() != nullptr) {
        desktop->Show();
        SelectWindow(desktop->GetWindowRef());
    }
    ScheduleScreenshot();
    application->Run();
    return EXIT_SUCCESS;
}
