// What the sprite engine's redraw of a dirty area costs over painting the
// same composite with Qt directly: 50 translucent 300 × 300 cards on a
// 1920 × 1080 window buffer, one 320 × 320 area redrawn.
//
// The engine's side is the canvas view's draw pass: the area is clipped
// and cleared (as the view clears it), and the canvas draws every sprite meeting it through the
// layer's draw pass, each with its display properties. The baseline is a
// program painting with a QPainter alone on the same buffer: clip, clear,
// and each card meeting the area drawn at its place. The two buffers are
// compared pixel by pixel before timing (and nothing may be drawn outside
// the area).
//
// The sides alternate round by round (which goes first alternating too),
// so a machine that slows down part-way affects both alike. Printed: the
// median of the rounds' ratios (engine / Qt) and the 95th percentile of
// each side's time.

#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SCSprite.h>
#include <SpriteEngine/SpriteEngineInitialization.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGContextQt.h>
#include <CoreGraphics/CGImageQt.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kCard = 300;
constexpr int kCards = 50;
constexpr int kDefaultRounds = 400;
const QRect kArea(800, 380, 320, 320);

// Spread over the buffer and overlapping, the same every run.
std::vector<QPoint> CardPositions()
{
    std::vector<QPoint> positions;
    for (int i = 0; i < kCards; ++i)
        positions.emplace_back((i * 337) % (kWidth - kCard), (i * 181) % (kHeight - kCard));
    return positions;
}

// A translucent card: a tinted body at 80 % with an opaque border.
QImage MakeCard(int index)
{
    QImage card(kCard, kCard, QImage::Format_ARGB32_Premultiplied);
    card.fill(QColor::fromRgbF(0.2f + 0.015f * float(index), 0.5f, 0.9f - 0.01f * float(index), 0.8f));
    QPainter painter(&card);
    painter.setPen(QPen(Qt::black, 4));
    painter.drawRect(2, 2, kCard - 4, kCard - 4);
    return card;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5));
    return values[index];
}

}  // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    InitializeSpriteEngineUnits();

    const std::vector<QPoint> positions = CardPositions();
    std::vector<QImage> cards;
    for (int i = 0; i < kCards; ++i)
        cards.push_back(MakeCard(i));

    // The engine: a canvas bound to a view, one layer of 50 sprites.
    HIViewRef view = nullptr;
    const HIRect frame = CGRectMake(0, 0, kWidth, kHeight);
    HIViewCreatePlain(&frame, &view);
    TSpriteCanvas* canvas = TSpriteCanvas::Create(CGSizeMake(kWidth, kHeight), kCanvasOptionProcessWhenHidden);
    canvas->SetView(view);
    TSpriteLayer* layer = TSpriteLayer::Create(0, true);
    canvas->AppendLayer(layer);
    std::vector<CFRef<CGImageRef>> images;
    for (int i = 0; i < kCards; ++i) {
        images.emplace_back(CGImageCreateWithQImage(cards[size_t(i)]));
        TSprite* sprite = TSprite::Create(layer);
        sprite->SetFrame(CGRectMake(positions[size_t(i)].x(), positions[size_t(i)].y(), kCard, kCard));
        sprite->SetImage(images.back().get());
        sprite->SetVerticalAxis(Float32(i));
    }
    canvas->ProcessLoop();
    layer->ClearDirtyRects();

    QImage engineBuffer(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    engineBuffer.fill(Qt::transparent);
    CGContextRef context = CGContextCreateWithQImage(&engineBuffer, true);
    const CGRect area = CGRectMake(kArea.x(), kArea.y(), kArea.width(), kArea.height());
    auto engine = [&] {
        CGContextSaveGState(context);
        CGContextClipToRect(context, area);
        CanvasFillRectCopy(context, area);
        canvas->SetContext(context);
        canvas->SetPaintArea(area);
        canvas->Draw();
        canvas->SetPaintArea(CGRectNull);
        canvas->SetContext(nullptr);
        CGContextRestoreGState(context);
    };

    QImage qtBuffer(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    qtBuffer.fill(Qt::transparent);
    auto qt = [&] {
        QPainter painter(&qtBuffer);
        painter.setClipRect(kArea);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(kArea, Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        for (int i = 0; i < kCards; ++i) {
            const QRect place(positions[size_t(i)], QSize(kCard, kCard));
            if (place.intersects(kArea))
                painter.drawImage(place.topLeft(), cards[size_t(i)]);
        }
    };

    engine();
    qt();
    int differing = 0;
    for (int y = kArea.top(); y <= kArea.bottom(); ++y)
        for (int x = kArea.left(); x <= kArea.right(); ++x) {
            const QRgb a = engineBuffer.pixel(x, y), b = qtBuffer.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 ||
                std::abs(qBlue(a) - qBlue(b)) > 1 || std::abs(qAlpha(a) - qAlpha(b)) > 1)
                ++differing;
        }
    // Nothing is drawn outside the area.
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (!kArea.contains(x, y) && (engineBuffer.pixel(x, y) != 0 || qtBuffer.pixel(x, y) != 0))
                ++differing;
        }
    if (differing != 0) {
        std::printf("the engine's pixels differ from Qt's in %d places\n", differing);
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    auto time = [](auto&& body) {
        const auto start = Clock::now();
        body();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    for (int i = 0; i < 20; ++i) {
        engine();
        qt();
    }
    // SPRITE_BENCHMARK_ROUNDS: more rounds, for a profiler.
    const char* roundsText = std::getenv("SPRITE_BENCHMARK_ROUNDS");
    const int rounds = roundsText != nullptr && std::atoi(roundsText) > 0 ? std::atoi(roundsText) : kDefaultRounds;
    std::vector<double> engineTimes, qtTimes, ratios;
    for (int round = 0; round < rounds; ++round) {
        double e = 0, q = 0;
        if (round % 2 == 0) {
            e = time(engine);
            q = time(qt);
        } else {
            q = time(qt);
            e = time(engine);
        }
        engineTimes.push_back(e);
        qtTimes.push_back(q);
        ratios.push_back(e / q);
    }
    std::printf("Redraw of a %d x %d area, %d translucent %d x %d cards on %d x %d, %d rounds\n", kArea.width(),
                kArea.height(), kCards, kCard, kCard, kWidth, kHeight, rounds);
    std::printf("  engine: median %.3f ms, p95 %.3f ms\n", Percentile(engineTimes, 0.5), Percentile(engineTimes, 0.95));
    std::printf("  QPainter: median %.3f ms, p95 %.3f ms\n", Percentile(qtTimes, 0.5), Percentile(qtTimes, 0.95));
    int meeting = 0;
    for (const QPoint& position : positions)
        meeting += QRect(position, QSize(kCard, kCard)).intersects(kArea) ? 1 : 0;
    std::printf("  cards meeting the area: %d\n", meeting);
    std::printf("  ratio engine / QPainter (median of rounds): %.2f (goal <= 2)\n", Percentile(ratios, 0.5));
    std::printf("  engine p95: %.3f ms (goal <= 4 ms)\n", Percentile(engineTimes, 0.95));

    CGContextRelease(context);
    layer->Release();
    canvas->Release();
    DisposeControl(view);
    CFRelease(view);
    return 0;
}
