// Saves the open sheet again and again, as fast as it can, for the crash
// test (sheet-kill.sh), which kills it at random moments. Each generation
// gives every task-list card of the sheet the title "gen <n>" (and, up to
// twenty, one more row), saves through the screen as the desktop program
// does, and then writes "saved <n>" to standard output.
//
//     brindlet-sheet-churn <first generation>
#include <Sources/Cards/UGenericCard.h>
#include <Sources/Interface/UMainWindow.h>
#include <Sources/Interface/UScreen.h>
#include <Sources/Tasks/TasksInitialization.h>
#include <Sources/Tasks/UBrindlet.h>
#include <Sources/UBrindletApplication.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/RuntimeProfile.h>

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Sources/Globals.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: brindlet-sheet-churn <first generation>\n");
        return 2;
    }
    long generation = std::strtol(argv[1], nullptr, 10);
    QApplication qtApplication(argc, argv);
    SetRuntimeProfile(RuntimeProfile::Desktop);
    InitializeSpriteEngineUnits();
    InitializeUGenericCardUnit();
    brindlet::InitializeTaskUnits();
    CFBundleSetMainBundleResourcesPath(BRINDLET_SHARE_DIR);

    auto* application =
        TApplication::Create<brindlet::TBrindletApplication>(kBrindletSignature, BrindletBundleIdentifier());
    if (application->StartUp() != 0 || application->GetWindow() == nullptr)
        return 3;
    brindlet::TScreen* screen = application->GetWindow()->GetScreen();
    if (screen == nullptr || !screen->IsSheetOpen())
        return 4;
    std::vector<brindlet::TBrindlet*> cards;
    auto collect = [&] {
        cards.clear();
        TObjectArray* sprites = screen->CopySprites();
        for (void* sprite : *sprites) {
            if (MemberOfClass(static_cast<TObject*>(sprite), brindlet::TBrindlet::StaticClass()))
                cards.push_back(static_cast<brindlet::TBrindlet*>(sprite));
        }
        sprites->Release();
    };
    collect();
    if (cards.empty()) {
        for (int count = 0; count < 3; ++count)
            brindlet::TBrindlet::CreateUntitled(screen->GetMainLayer());
        screen->StopEditing();
        collect();
    }
    for (;; ++generation) {
        const std::string title = "gen " + std::to_string(generation);
        CFStringRef text = CFStringCreateWithUTF8(title);
        for (brindlet::TBrindlet* card : cards) {
            card->SetTitle(text);
            TObjectArray* rows = card->GetRootTask() != nullptr ? card->GetRootTask()->GetChildren() : nullptr;
            if (rows == nullptr || rows->Count() < 20)
                card->AddTask(text, brindlet::kInsertLast);
        }
        CFRelease(text);
        TResponder::PostNotification("SyncSheetChanged");
        screen->SaveSheet();
        if (screen->IsModified())
            return 5;
        std::printf("saved %ld\n", generation);
        std::fflush(stdout);
    }
}
