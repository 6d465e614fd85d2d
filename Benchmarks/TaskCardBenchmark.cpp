// What one long task-list card costs the desktop program: a card of 500
// rows (a fifth of them nested, a third with due dates) on the screen of
// the running program.
//
// - Composite: the card laid out and drawn into its image, as the sprite
//   engine rebuilds a card (TSprite::CompositeImage: a bitmap of the
//   card's size, the card's HandleDrawComposite, the image made). Goal: 8
//   ms. Baseline: a bare QPainter drawing the same 500 row texts, one line
//   each, into a fresh image of the same size.
// - Typing: one character typed into a row being edited (through the
//   window system, as a user's key arrives) until the screen has redrawn
//   what the field covers. Goal: 2 ms. Baseline: a bare QTextEdit of the
//   field's size and text in a window of its own, the same key typed until
//   it has repainted. The canvas's frame is run as soon as the field has
//   marked the screen dirty, rather than when its frame timer next fires:
//   what is timed is the work, not the wait for the next frame. After each
//   timed key a Backspace (untimed, also waited for) puts the text back.
//
// A card grows no taller than the screen, so it shows the rows that fit
// (about 40 on the offscreen screen); the others are still its rows, and
// what walks all rows (the overdue count) walks all 500.
//
// Before timing: the card's image is checked for its size and the rows in
// sight for their places inside the card (the image is saved as a PNG, over
// grey, when TASKCARD_BENCHMARK_PNG names a file), and the typed key is seen
// in the field. The sides alternate round by round (which goes first
// alternating too). Printed: the medians and 95th percentiles, the ratio
// ours / baseline (median of the rounds' ratios) and the ratio to each goal.
// Google Benchmark first reports each side on its own.

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Sources/Cards/UGenericCard.h>
#include <Sources/Globals.h>
#include <Sources/Interface/UMainWindow.h>
#include <Sources/Interface/UScreen.h>
#include <Sources/Tasks/TasksInitialization.h>
#include <Sources/Tasks/UBrindlet.h>
#include <Sources/UBrindletApplication.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/RuntimeProfile.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/CarbonEvents.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <Foundation/NSDate.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include "BrindletBenchmarkSupport.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 500;
constexpr int kEditedRow = 6;
constexpr double kCompositeGoalMs = 8;
constexpr double kTypingGoalMs = 2;
constexpr int kDefaultRounds = 60;

using namespace BrindletBenchmark;

std::string TextOf(CFStringRef text)
{
    return text != nullptr ? CFStringToUTF8(text) : std::string();
}

// Dark pixels: the ink of the texts.
int InkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(line[x]) != 0 && qGray(line[x]) < 128;
    }
    return inked;
}

// The ours side of the typing: the key into the window, then the loop run
// until the field has marked the screen dirty and the screen has drawn it.
// The canvas frame is run at once when it is due to run.
bool TypeIntoScreen(WindowRef window, brindlet::TScreen* screen, Qt::Key key)
{
    TSpriteLayer* layer = screen->GetMainLayer();
    TestKeyClick(window, key);
    bool marked = false;
    QElapsedTimer limit;
    limit.start();
    while (limit.elapsed() < 2000) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        DispatchQueuedEvents();
        if (layer->GetDirtyRectCount() > 0) {
            marked = true;
            screen->ProcessLoop();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        if (marked && layer->GetDirtyRectCount() == 0)
            return true;
    }
    return false;
}

// Counts the paint events of a widget (seen before it paints; the loop
// returns once it has painted).
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The baseline side of the typing: the key into the bare text edit's
// window, the loop run until its viewport has painted.
bool TypeIntoTextEdit(QTextEdit& edit, PaintCounter& counter, Qt::Key key)
{
    const int before = counter.paints;
    QTest::keyClick(edit.windowHandle(), key);
    QElapsedTimer limit;
    limit.start();
    while (counter.paints == before && limit.elapsed() < 2000) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return counter.paints != before;
}

struct Comparison {
    std::vector<double> ours, baseline, ratios;
};

// Alternating rounds, the first side alternating too.
Comparison Compare(int rounds, const std::function<double()>& ours, const std::function<double()>& baseline)
{
    Comparison result;
    for (int round = 0; round < rounds; ++round) {
        double o = 0, b = 0;
        if (round % 2 == 0) {
            o = ours();
            b = baseline();
        } else {
            b = baseline();
            o = ours();
        }
        result.ours.push_back(o);
        result.baseline.push_back(b);
        result.ratios.push_back(o / b);
    }
    return result;
}

void Print(const char* title, const Comparison& comparison, const char* baselineName, double goal)
{
    std::printf("%s\n", title);
    std::printf("  ours: median %.3f ms, p95 %.3f ms\n", Median(comparison.ours), Percentile(comparison.ours, 0.95));
    std::printf("  %s: median %.3f ms, p95 %.3f ms\n", baselineName, Median(comparison.baseline),
                Percentile(comparison.baseline, 0.95));
    std::printf("  ratio ours / %s (median of rounds): %.2f\n", baselineName, Median(comparison.ratios));
    std::printf("  ratio to the %.0f ms goal: %.2f (%s)\n", goal, Median(comparison.ours) / goal,
                Median(comparison.ours) <= goal ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;
    // TASKCARD_BENCHMARK_ROUNDS: more rounds, for a profiler.
    const int rounds = RoundsFrom("TASKCARD_BENCHMARK_ROUNDS", kDefaultRounds);

    const StartedProgram program("taskcard-benchmark", argc, argv);
    brindlet::TScreen* screen = program.Screen();
    WindowRef window = program.Window();

    // The card: 500 rows, every fifth nested in the row before it, every
    // third with a due date, every seventh done.
    Diagnostics::Capture quiet;
    screen->ClearCards();
    brindlet::TBrindlet* card = brindlet::TBrindlet::CreateUntitled(screen->GetMainLayer());
    if (card == nullptr)
        Fail("a task-list card could not be made");
    screen->StopEditing();
    card->SetLocation(40, 40);
    card->SetTitle(CFSTR("Everything for the move"));
    Random random(0x436172644ULL);
    std::vector<std::string> texts;
    std::vector<brindlet::TTask*> rows;
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    brindlet::TTask* parent = nullptr;
    for (int row = 0; row < kRows; ++row) {
        const std::string text = RowText(random);
        CFRef<CFStringRef> string(CFStringCreateWithUTF8(text));
        brindlet::TTask* task = AddBenchmarkRow(card, string, row, parent, random, now);
        texts.push_back(text);
        rows.push_back(task);
    }
    screen->StopEditing();
    // The card grows to its rows on its first composites; timed is the
    // composite of a card that has its size.
    for (int pass = 0; pass < 3; ++pass)
        card->CompositeImage();
    screen->ProcessLoop();
    RunLoopPass();

    // ---- the composite ----
    CGImageRef image = card->GetImage();
    const CGRect inset = card->GetFrameWithInset();
    if (image == nullptr || CGImageGetWidth(image) != size_t(inset.size.width) ||
        CGImageGetHeight(image) != size_t(inset.size.height))
        Fail("the card's image is missing or not of the card's size");
    const QImage cardImage = CGImageGetQImage(image);
    // The rows the card shows got their places inside it as they were drawn.
    int shownRows = 0;
    for (brindlet::TTask* row : rows) {
        const CGRect text = row->GetTextFrame();
        shownRows += !CGRectIsEmpty(text) && CGRectContainsRect(card->GetBounds(), text);
    }
    if (const char* dump = std::getenv("TASKCARD_BENCHMARK_PNG")) {
        // Over a grey desktop, so that what is translucent shows.
        QImage shown(cardImage.size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(QColor(96, 96, 96));
        QPainter(&shown).drawImage(0, 0, cardImage);
        shown.save(QString::fromUtf8(dump));
    }
    const QSize size(int(inset.size.width), int(inset.size.height));
    QFont font = QApplication::font();
    font.setPointSize(11);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 4;
    auto paintBaseline = [&] {
        QImage bare(size, QImage::Format_ARGB32_Premultiplied);
        bare.fill(Qt::transparent);
        QPainter painter(&bare);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (int row = 0; row < kRows; ++row)
            painter.drawText(QPointF(30, 40 + row * lineHeight + metrics.ascent()),
                             QString::fromStdString(texts[size_t(row)]));
        painter.end();
        return bare;
    };
    const int baselineInk = InkedPixels(paintBaseline());
    if (shownRows < 20 || baselineInk < 20 * 20)
        Fail("the card shows " + std::to_string(shownRows) + " rows, the baseline " + std::to_string(baselineInk) +
             " inked pixels: not drawn");
    std::printf("Card: %d rows, image %d x %d (the card as tall as the screen lets it grow), %d rows in sight\n", kRows,
                size.width(), size.height(), shownRows);

    // ---- the editing session ----
    brindlet::TTask* edited = rows[kEditedRow];
    const std::string editedText = texts[kEditedRow];
    TestActivateWindow(window);
    edited->Select();
    edited->BeginEditing();
    RunLoopPass();
    if (!TEditSession::IsEditing())
        Fail("the row did not start editing");
    TestKeyClick(window, Qt::Key_End);  // the text was selected as a whole
    RunLoopPass();
    if (!TypeIntoScreen(window, screen, Qt::Key_X))
        Fail("the typed key brought no redraw of the screen");
    if (TextOf(TEditSession::GetString()) != editedText + "x")
        Fail("the field holds \"" + TextOf(TEditSession::GetString()) + "\", not the row's text and the key");
    if (!TypeIntoScreen(window, screen, Qt::Key_Backspace) || TextOf(TEditSession::GetString()) != editedText)
        Fail("Backspace did not put the row's text back");

    // The baseline's field: a bare text edit of the field's size, font and text.
    TCanvasTextView* fieldView = TEditSession::SharedTextView();
    QTextEdit bareEdit;
    bareEdit.setFont(fieldView->font());
    bareEdit.setPlainText(QString::fromStdString(editedText));
    bareEdit.resize(fieldView->size());
    bareEdit.show();
    PaintCounter counter;
    bareEdit.viewport()->installEventFilter(&counter);
    bareEdit.activateWindow();
    bareEdit.setFocus();
    bareEdit.moveCursor(QTextCursor::End);
    if (!QTest::qWaitForWindowExposed(&bareEdit))
        Fail("the bare text edit's window was not shown");
    RunLoopPass();
    if (!TypeIntoTextEdit(bareEdit, counter, Qt::Key_X) ||
        bareEdit.toPlainText() != QString::fromStdString(editedText + "x") ||
        !TypeIntoTextEdit(bareEdit, counter, Qt::Key_Backspace))
        Fail("the bare text edit did not take the key");
    std::printf("Field: %d x %d, font %s %.0f pt, text \"%s\"\n", fieldView->width(), fieldView->height(),
                fieldView->font().family().toUtf8().constData(), fieldView->font().pointSizeF(), editedText.c_str());
    std::fflush(stdout);

    auto typeOurs = [&] {
        const double ms = MillisecondsOf([&] {
            if (!TypeIntoScreen(window, screen, Qt::Key_X))
                Fail("a typed key brought no redraw");
        });
        if (!TypeIntoScreen(window, screen, Qt::Key_Backspace))
            Fail("Backspace brought no redraw");
        quiet.Clear();
        return ms;
    };
    auto typeBaseline = [&] {
        const double ms = MillisecondsOf([&] {
            if (!TypeIntoTextEdit(bareEdit, counter, Qt::Key_X))
                Fail("the bare text edit did not repaint");
        });
        TypeIntoTextEdit(bareEdit, counter, Qt::Key_Backspace);
        return ms;
    };
    auto compositeOurs = [&] {
        const double ms = MillisecondsOf([&] { card->CompositeImage(); });
        RunLoopPass();
        return ms;
    };
    auto compositeBaseline = [&] {
        const double ms = MillisecondsOf([&] { benchmark::DoNotOptimize(paintBaseline()); });
        RunLoopPass();
        return ms;
    };

    // Each side on its own first. The field stays open over the canvas while
    // the card's image is rebuilt under it, as when the card changes while
    // the user types.
    benchmark::RegisterBenchmark("Composite/Card", [&](benchmark::State& state) {
        for (auto _ : state)
            card->CompositeImage();
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Composite/QPainter", [&](benchmark::State& state) {
        for (auto _ : state)
            benchmark::DoNotOptimize(paintBaseline());
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Typing/Screen",
                                 [&](benchmark::State& state) {
                                     for (auto _ : state) {
                                         if (!TypeIntoScreen(window, screen, Qt::Key_X))
                                             Fail("a typed key brought no redraw");
                                         state.PauseTiming();
                                         TypeIntoScreen(window, screen, Qt::Key_Backspace);
                                         quiet.Clear();
                                         state.ResumeTiming();
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(50);
    benchmark::RegisterBenchmark("Typing/QTextEdit",
                                 [&](benchmark::State& state) {
                                     for (auto _ : state) {
                                         if (!TypeIntoTextEdit(bareEdit, counter, Qt::Key_X))
                                             Fail("the bare text edit did not repaint");
                                         state.PauseTiming();
                                         TypeIntoTextEdit(bareEdit, counter, Qt::Key_Backspace);
                                         state.ResumeTiming();
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(50);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const Comparison composite = Compare(rounds, compositeOurs, compositeBaseline);
    const Comparison typing = Compare(rounds, typeOurs, typeBaseline);
    if (!TEditSession::IsEditing() || TextOf(TEditSession::GetString()) != editedText)
        Fail("the edited row's text changed over the rounds");

    std::printf("\n");
    Print("Composite of a card of 500 rows (layout and drawing into its image), vs QPainter drawing the 500 texts",
          composite, "QPainter", kCompositeGoalMs);
    Print("Typing one character into an edited row until the screen has redrawn, vs a bare QTextEdit", typing,
          "QTextEdit", kTypingGoalMs);
    std::printf("%d rounds each\n", rounds);
    std::fflush(stdout);

    TEditSession::StopEditing();
    bareEdit.hide();
    return EXIT_SUCCESS;
}
