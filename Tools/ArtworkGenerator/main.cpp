// brindlet-artwork: paints the stretchable artwork of the bundle's
// resources, and a sheet for reviewing it by eye. The PNG files are
// committed; run it again after changing a look and review the sheet.
//
//   brindlet-artwork write <Resources folder>
//       writes "Images/..." inside the folder, each file at 1x and as
//       "<name>@2x.png"
//   brindlet-artwork sheet <Resources folder> <sheet.png>
//       draws every set read back through the theme loaders
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "ArtworkPainting.h"

#include <QGuiApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (!((command == "write" && argc == 3) || (command == "sheet" && argc == 4))) {
        std::fprintf(stderr, "usage: brindlet-artwork write <Resources folder>\n"
                             "       brindlet-artwork sheet <Resources folder> <sheet.png>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    const std::filesystem::path resources = std::filesystem::absolute(argv[2]);
    if (command == "write") {
        const std::filesystem::path images = resources / "Images";
        artwork::WriteCardFrames(images);
        artwork::WritePaneArtwork(images);
        artwork::WriteSheetBoxes(images);
        artwork::WriteCustomButtons(images);
        artwork::WriteTabImages(images);
        artwork::WriteCardAndTaskImages(images);
        artwork::WriteWarningImage(images);
        artwork::WriteTransitionImages(images);
        return 0;
    }
    if (!artwork::WriteReviewSheet(resources, argv[3])) {
        std::fprintf(stderr, "brindlet-artwork: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
