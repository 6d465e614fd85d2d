// Drags between two real processes. The offscreen platform has no
// window-system drag and drop, so the other process hands over the Qt drag
// data it would put on the wire (every format of its QMimeData, as bytes),
// and this process drops exactly that data on its own view: the same
// decoding a drop from that process meets under X11.
#include "HIToolboxTestSupport.h"

#include <HIToolbox/Drag.h>
#include <HIToolbox/DragInternal.h>
#include <HIToolbox/DragTesting.h>

#include <ChildProcess.h>
#include <FileFixtures.h>

#include <QByteArray>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr FlavorType kNode = FourCC("NODE");

// Every format of the data, as the window system carries them.
void WriteFormats(const QMimeData& data, const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    for (const QString& format : data.formats())
        out << format << data.data(format);
}

std::unique_ptr<QMimeData> ReadFormats(const std::string& path)
{
    auto data = std::make_unique<QMimeData>();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return data;
    QDataStream in(&file);
    while (!in.atEnd()) {
        QString format;
        QByteArray bytes;
        in >> format >> bytes;
        data->setData(format, bytes);
    }
    return data;
}

// The types of every flavour of the drag, "TYPE TYPE|TYPE".
std::string Types(DragRef drag)
{
    std::string text;
    UInt16 items = 0;
    CountDragItems(drag, &items);
    for (UInt16 index = 1; index <= items; ++index) {
        DragItemRef item = 0;
        GetDragItemReferenceNumber(drag, index, &item);
        UInt16 flavors = 0;
        CountDragItemFlavors(drag, item, &flavors);
        text += index > 1 ? "|" : "";
        for (UInt16 f = 1; f <= flavors; ++f) {
            FlavorType type = 0;
            GetFlavorType(drag, item, f, &type);
            text += std::string(f > 1 ? " " : "") + char(type >> 24) + char(type >> 16) + char(type >> 8) + char(type);
        }
    }
    return text;
}

// What a view of a shown window sees of a drop of `data`.
std::string DropOnAView(const QMimeData& data)
{
    TestWindow window;
    ShowWindow(window);
    SetAutomaticControlDragTrackingEnabledForWindow(window, true);
    HIRect frame = {{10, 10}, {50, 50}};
    HIViewRef view = nullptr;
    HIViewCreatePlain(&frame, &view);
    HIViewAddSubview(window.Content(), view);
    CFRelease(view);
    SetControlDragTrackingEnabled(view, true);
    std::string seen = "nothing";
    Handlers handlers;
    handlers.Install(GetControlEventTarget(view),
                     {{kEventClassControl, kEventControlDragEnter}, {kEventClassControl, kEventControlDragReceive}},
                     [&](EventRef event) {
                         const Boolean yes = true;
                         SetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, sizeof yes, &yes);
                         DragRef drag = nullptr;
                         GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof drag, nullptr,
                                           &drag);
                         seen = Types(drag);
                         return noErr;
                     });
    EXPECT_TRUE(TestDropMimeData(&data, {{120, 120}}));
    return seen;
}

}  // namespace

// The other program: a drag of ours with a private pointer flavour, a text
// and a file; and a file manager's drag of the same file.
TEST(DragPeer, DISABLED_WritesItsDragData)
{
    const char* out = std::getenv("BRINDLET_DRAG_OUT");
    const char* file = std::getenv("BRINDLET_DRAG_FILE");
    ASSERT_TRUE(out && file);
    DragRef drag = nullptr;
    NewDrag(&drag);
    const void* node = &drag;
    AddDragItemFlavor(drag, 1, kNode, &node, sizeof node, 0);
    AddDragItemFlavor(drag, 1, typeUTF8Text, "a task", 6, 0);
    const QByteArray url = QUrl::fromLocalFile(QString::fromUtf8(file)).toEncoded();
    AddDragItemFlavor(drag, 2, typeFileURL, url.constData(), url.size(), 0);
    std::unique_ptr<QMimeData> ours(HIDragCreateMimeData(drag));
    DisposeDrag(drag);
    WriteFormats(*ours, QString::fromUtf8(out) + ".ours");

    QMimeData fileManager;
    fileManager.setUrls({QUrl::fromLocalFile(QString::fromUtf8(file))});
    WriteFormats(fileManager, QString::fromUtf8(out) + ".files");
}

TEST(DragBetweenProcesses, AnotherProcesssPrivateFlavoursAreInvisibleAndItsFilesArriveAsFileURLsAndHFSRecords)
{
    ScratchFolder folder;
    folder.Write("attachment.txt", "content");
    ChildProcess::Options options;
    options.environment = {{"BRINDLET_DRAG_OUT", folder / "drag"}, {"BRINDLET_DRAG_FILE", folder / "attachment.txt"}};
    ChildProcess peer("DragPeer.DISABLED_WritesItsDragData", std::move(options));
    ASSERT_TRUE(peer.Wait() && peer.Succeeded()) << peer.Report();

    const auto ours = ReadFormats(folder / "drag.ours");
    ASSERT_TRUE(ours->hasFormat(QLatin1String(kHIDragPrivateMimeType)));  // it travelled, and is refused
    EXPECT_EQ(DropOnAView(*ours), "furl hfs |utf8");
    EXPECT_EQ(DropOnAView(*ReadFormats(folder / "drag.files")), "furl hfs ");

    // The same drag made here keeps its private flavour.
    DragRef drag = nullptr;
    NewDrag(&drag);
    const void* node = &drag;
    AddDragItemFlavor(drag, 1, kNode, &node, sizeof node, 0);
    AddDragItemFlavor(drag, 1, typeUTF8Text, "a task", 6, 0);
    std::unique_ptr<QMimeData> here(HIDragCreateMimeData(drag));
    DisposeDrag(drag);
    QMimeData copy;  // not our own object: decoded from its bytes
    for (const QString& format : here->formats())
        copy.setData(format, here->data(format));
    EXPECT_EQ(DropOnAView(copy), "NODE utf8");
}
