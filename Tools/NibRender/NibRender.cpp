// nib-render: loads a nib file and writes each of its windows, as it
// shows, to "<window name>.png" in an output folder. For reviewing nibs by
// eye; runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
//   nib-render <path/Name.nib> <output folder> [window name ...]
//
// The nib's folder is taken as its bundle (images are found there). Exit
// status 0 when every window asked for was written, 1 otherwise.
#include <HIToolbox/Nibs.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFURL.h>
#include <CoreGraphics/CGImageQt.h>

#include <Support/FileAccess.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A whole PNG or none: an earlier rendering is replaced only by a complete one.
bool WritePNG(const QImage& image, const std::string& path)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") &&
           FileAccess::WriteAtomically(path, bytes.constData(), static_cast<size_t>(bytes.size())) == 0;
}

// Lets the window's widgets settle (shown, laid out, painted).
void Settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "nib-render: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Fail("usage: nib-render <path/Name.nib> <output folder> [window name ...]");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const std::filesystem::path nibPath = std::filesystem::absolute(argv[1]);
    const std::filesystem::path output = argv[2];
    if (nibPath.extension() != ".nib")
        return Fail("not a .nib file: " + nibPath.string());
    for (const std::string& problem : IBLintNibFile(nibPath.string()))
        std::fprintf(stderr, "nib-render: %s\n", problem.c_str());

    const std::string folder = nibPath.parent_path().string();
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(folder.c_str()),
                                                                CFIndex(folder.size()), true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, url));
    CFRef<CFStringRef> name(CFStringCreateWithUTF8(nibPath.stem().string()));
    IBNibRef nib = nullptr;
    if (!bundle || !name || CreateNibReferenceWithCFBundle(bundle, name, &nib) != noErr)
        return Fail("cannot open " + nibPath.string());

    std::vector<std::string> windows(argv + 3, argv + argc);
    if (windows.empty())
        windows = IBCopyNibObjectNames(nib, "Window");
    std::error_code error;
    std::filesystem::create_directories(output, error);
    int status = 0;
    for (const std::string& windowName : windows) {
        CFRef<CFStringRef> cfName(CFStringCreateWithUTF8(windowName));
        WindowRef window = nullptr;
        const OSStatus made = cfName ? CreateWindowFromNib(nib, cfName, &window) : paramErr;
        if (made != noErr) {
            status = Fail("window \"" + windowName + "\" not made (error " + std::to_string(made) + ")");
            continue;
        }
        ShowWindow(window);
        Settle();
        CFRef<CGImageRef> image(IBCopyWindowImage(window));
        std::string fileName = windowName;
        for (char& c : fileName) {
            if (c == '/')
                c = '_';
        }
        const std::filesystem::path file = output / (fileName + ".png");
        if (!image || !WritePNG(CGImageGetQImage(image), file.string()))
            status = Fail("cannot write " + file.string());
        else
            std::printf("%s\n", file.c_str());
        DisposeWindow(window);
    }
    DisposeNibReference(nib);
    return status;
}
