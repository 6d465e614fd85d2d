// What our Core Graphics layer costs over painting with Qt directly, the
// way the sprite engine composites its cards: 50 translucent 300 × 200
// faces onto a 1920 × 1080 surface.
//
// The baseline is what a program painting with Qt alone would do on the
// same surface: one QPainter drawing the face, held in the surface's own
// layout, onto a surface of that layout (premultiplied ARGB32 for a window's
// buffer and a BGRA bitmap, premultiplied RGBA for an RGBA bitmap). Our side
// is every pairing our layer makes of a source and a context: an image made
// from bytes in either layout callers hand us (premultiplied BGRA first, as
// the windows hold pixels; premultiplied RGBA last, as the units make bitmap
// contexts), a snapshot of a bitmap context of either layout, and a layer
// made for the context; drawn into a bitmap context of either layout, or
// into a window's buffer. Each row's pixels are compared with its
// baseline's, byte for byte.
//
// Google Benchmark reports the time of each side. The ratio table at the
// end comes from a second measurement in the same run that alternates the
// sides round by round (which side goes first alternating too), so a
// machine that slows down part-way affects both sides alike; each ratio is
// the median of the rounds' ratios, timed in processor time.

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGContextQt.h>
#include <CoreGraphics/CoreGraphics.h>

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kCanvasWidth = 1920;
constexpr int kCanvasHeight = 1080;
constexpr int kFaceWidth = 300;
constexpr int kFaceHeight = 200;
constexpr int kFaces = 50;

// Where the faces go, in Qt's pixels (top-left origin): spread over the
// surface and overlapping, the same every run.
std::vector<QPoint> FacePositions()
{
    std::vector<QPoint> positions;
    for (int i = 0; i < kFaces; ++i)
        positions.emplace_back((i * 337) % (kCanvasWidth - kFaceWidth), (i * 181) % (kCanvasHeight - kFaceHeight));
    return positions;
}

// A card face as the sprite engine caches it: a translucent rounded body
// with soft shading over clear corners, premultiplied ARGB32.
QImage MakeFace()
{
    QImage face(kFaceWidth, kFaceHeight, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    QPainter painter(&face);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shading(0, 0, 0, kFaceHeight);
    shading.setColorAt(0, QColor(250, 220, 90, 230));
    shading.setColorAt(1, QColor(200, 150, 40, 150));
    painter.setBrush(shading);
    painter.setPen(QPen(QColor(60, 40, 10, 200), 2));
    painter.drawRoundedRect(QRectF(4, 4, kFaceWidth - 8, kFaceHeight - 8), 18, 18);
    painter.setPen(QColor(30, 30, 30, 220));
    painter.drawLine(30, 60, kFaceWidth - 30, 60);
    painter.drawLine(30, 100, kFaceWidth - 60, 100);
    return face;
}

// A desktop under the cards: opaque, with some texture.
QImage MakeBackground()
{
    QImage background(kCanvasWidth, kCanvasHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&background);
    QLinearGradient sky(0, 0, kCanvasWidth, kCanvasHeight);
    sky.setColorAt(0, QColor(30, 60, 120));
    sky.setColorAt(1, QColor(140, 90, 60));
    painter.fillRect(background.rect(), sky);
    return background;
}

enum class Layout { BGRA, RGBA };

const char* NameOf(Layout layout)
{
    return layout == Layout::BGRA ? "BGRA" : "RGBA";
}

CGBitmapInfo BitmapInfoOf(Layout layout)
{
    return layout == Layout::BGRA ? (kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little)
                                  : CGBitmapInfo(kCGImageAlphaPremultipliedLast);
}

QImage::Format FormatOf(Layout layout)
{
    return layout == Layout::BGRA ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGBA8888_Premultiplied;
}

CFRef<CGColorSpaceRef> RGBSpace()
{
    return CFRef<CGColorSpaceRef>(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
}

// The face as a caller hands it over: bytes in `layout`, made into an image.
CFRef<CGImageRef> ImageFromBytes(const QImage& face, Layout layout)
{
    const QImage bytes = face.convertToFormat(FormatOf(layout));
    CFRef<CFDataRef> data(CFDataCreate(nullptr, bytes.constBits(), CFIndex(bytes.sizeInBytes())));
    CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithCFData(data));
    return CFRef<CGImageRef>(CGImageCreate(size_t(kFaceWidth), size_t(kFaceHeight), 8, 32, size_t(bytes.bytesPerLine()),
                                           RGBSpace(), BitmapInfoOf(layout), provider, nullptr, true,
                                           kCGRenderingIntentDefault));
}

// The face drawn into a bitmap context of `layout`, and the snapshot taken.
CFRef<CGImageRef> SnapshotOf(const QImage& face, Layout layout)
{
    CFRef<CGContextRef> context(CGBitmapContextCreate(nullptr, size_t(kFaceWidth), size_t(kFaceHeight), 8, 0,
                                                      RGBSpace(), BitmapInfoOf(layout)));
    CFRef<CGImageRef> image = ImageFromBytes(face, layout);
    CGContextSetBlendMode(context, kCGBlendModeCopy);
    CGContextDrawImage(context, CGRectMake(0, 0, kFaceWidth, kFaceHeight), image);
    return CFRef<CGImageRef>(CGBitmapContextCreateImage(context));
}

// A surface to draw on, through our layer: a bitmap context of either
// layout over bytes of ours, or a window's buffer.
class Surface {
public:
    enum class Kind { Bitmap, Window };

    Surface(Kind kind, Layout layout) : kind_(kind), layout_(layout)
    {
        if (kind == Kind::Window) {
            // Unflipped, like the bitmaps: only the layout differs.
            window_ = QImage(kCanvasWidth, kCanvasHeight, QImage::Format_ARGB32_Premultiplied);
            context_.Reset(CGContextCreateWithQImage(&window_, false));
        } else {
            bytes_.resize(size_t(kCanvasWidth) * kCanvasHeight * 4);
            context_.Reset(CGBitmapContextCreate(bytes_.data(), kCanvasWidth, kCanvasHeight, 8, kCanvasWidth * 4,
                                                 RGBSpace(), BitmapInfoOf(layout)));
        }
        if (!context_) {
            std::fprintf(stderr, "CoreGraphicsBenchmark: cannot make the %s context\n", Name().c_str());
            std::exit(EXIT_FAILURE);
        }
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    std::string Name() const { return kind_ == Kind::Window ? "window" : std::string(NameOf(layout_)) + " bitmap"; }
    CGContextRef Context() const { return context_; }

    // The faces' rectangle in the context's user space (y up) for a
    // top-left position in Qt's pixels.
    CGRect RectAt(QPoint at) const
    {
        return CGRectMake(at.x(), kCanvasHeight - at.y() - kFaceHeight, kFaceWidth, kFaceHeight);
    }

    void Load(const QImage& background)
    {
        if (kind_ == Kind::Window) {
            window_ = background.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            return;
        }
        const QImage pixels = background.convertToFormat(FormatOf(layout_));
        for (int y = 0; y < kCanvasHeight; ++y)
            std::copy_n(pixels.constScanLine(y), kCanvasWidth * 4, &bytes_[size_t(y) * kCanvasWidth * 4]);
    }

    // The surface's own layout, which its baseline draws in.
    QImage::Format Format() const
    {
        return kind_ == Kind::Window ? QImage::Format_ARGB32_Premultiplied : FormatOf(layout_);
    }

    // The pixels drawn, as they lie in the surface's memory.
    QImage Picture() const
    {
        if (kind_ == Kind::Window)
            return window_.copy();
        return QImage(bytes_.data(), kCanvasWidth, kCanvasHeight, kCanvasWidth * 4, FormatOf(layout_)).copy();
    }

private:
    Kind kind_;
    Layout layout_;
    std::vector<UInt8> bytes_;
    QImage window_;
    CFRef<CGContextRef> context_;
};

struct Pairing {
    std::string source;
    std::unique_ptr<Surface> surface;
    CFRef<CGImageRef> image;  // nil when the source is a layer
    CFRef<CGLayerRef> layer;

    std::string Name() const { return source + " -> " + surface->Name(); }

    // One frame: every face, through our layer.
    void Draw(const std::vector<QPoint>& positions) const
    {
        CGContextRef context = surface->Context();
        for (const QPoint& at : positions) {
            if (layer)
                CGContextDrawLayerAtPoint(context, surface->RectAt(at).origin, layer);
            else
                CGContextDrawImage(context, surface->RectAt(at), image);
        }
    }
};

// What Qt alone does on a surface of one layout: the face, held in that
// layout, drawn with one QPainter onto a canvas of that layout.
struct Baseline {
    Baseline(QImage::Format layout, const QImage& face, const QImage& background)
        : format(layout), face(face.convertToFormat(layout)), canvas(background.convertToFormat(layout))
    {}

    void DrawFrame(QImage& target, const std::vector<QPoint>& positions) const
    {
        QPainter painter(&target);
        for (const QPoint& at : positions)
            painter.drawImage(at, face);
    }

    QImage::Format format;
    QImage face;
    QImage canvas;
};

struct Scene {
    Scene() : face(MakeFace()), background(MakeBackground()), positions(FacePositions())
    {
        for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888_Premultiplied})
            baselines.push_back(std::make_unique<Baseline>(format, face, background));
        struct SurfaceKind {
            Surface::Kind kind;
            Layout layout;
        };
        for (SurfaceKind kind :
             {SurfaceKind{Surface::Kind::Bitmap, Layout::BGRA}, SurfaceKind{Surface::Kind::Bitmap, Layout::RGBA},
              SurfaceKind{Surface::Kind::Window, Layout::BGRA}}) {
            for (Layout layout : {Layout::BGRA, Layout::RGBA}) {
                Add(std::string("image of ") + NameOf(layout) + " bytes", kind.kind, kind.layout,
                    ImageFromBytes(face, layout));
                Add(std::string("snapshot of ") + NameOf(layout) + " bitmap", kind.kind, kind.layout,
                    SnapshotOf(face, layout));
            }
            Pairing pairing;
            pairing.source = "layer made for it";
            pairing.surface = std::make_unique<Surface>(kind.kind, kind.layout);
            pairing.layer.Reset(
                CGLayerCreateWithContext(pairing.surface->Context(), CGSizeMake(kFaceWidth, kFaceHeight), nullptr));
            CGContextRef layerContext = CGLayerGetContext(pairing.layer);
            CGContextSetBlendMode(layerContext, kCGBlendModeCopy);
            CGContextDrawImage(layerContext, CGRectMake(0, 0, kFaceWidth, kFaceHeight),
                               ImageFromBytes(face, Layout::BGRA));
            pairings.push_back(std::move(pairing));
        }
        for (Pairing& pairing : pairings)
            pairing.surface->Load(background);
    }

    void Add(const std::string& source, Surface::Kind kind, Layout layout, CFRef<CGImageRef> image)
    {
        Pairing pairing;
        pairing.source = source;
        pairing.surface = std::make_unique<Surface>(kind, layout);
        pairing.image = std::move(image);
        pairings.push_back(std::move(pairing));
    }

    Baseline& BaselineFor(const Surface& surface)
    {
        for (const auto& baseline : baselines)
            if (baseline->format == surface.Format())
                return *baseline;
        std::fprintf(stderr, "CoreGraphicsBenchmark: no baseline for the %s\n", surface.Name().c_str());
        std::exit(EXIT_FAILURE);
    }

    QImage face;
    QImage background;
    std::vector<QPoint> positions;
    std::vector<std::unique_ptr<Baseline>> baselines;
    std::vector<Pairing> pairings;
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

// The pixels that differ between one frame of the pairing and one frame of
// its baseline, from the same background.
long DifferingPixels(Scene& scene, const Pairing& pairing)
{
    pairing.surface->Load(scene.background);
    pairing.Draw(scene.positions);
    const QImage ours = pairing.surface->Picture();
    const Baseline& baseline = scene.BaselineFor(*pairing.surface);
    QImage bare = scene.background.convertToFormat(baseline.format);
    baseline.DrawFrame(bare, scene.positions);
    if (ours.format() != bare.format())
        return long(kCanvasWidth) * kCanvasHeight;
    long differing = 0;
    for (int y = 0; y < kCanvasHeight; ++y) {
        const auto* a = reinterpret_cast<const uint32_t*>(ours.constScanLine(y));
        const auto* b = reinterpret_cast<const uint32_t*>(bare.constScanLine(y));
        for (int x = 0; x < kCanvasWidth; ++x)
            differing += a[x] != b[x];
    }
    return differing;
}

// The processor time this process has taken, all threads together: on an
// idle machine the same as the wall clock, on a busy one without the waits
// for a processor, which would land on whichever side was running.
double ProcessorSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double SecondsFor(const std::function<void()>& frame, int runs)
{
    const double start = ProcessorSeconds();
    for (int i = 0; i < runs; ++i)
        frame();
    return ProcessorSeconds() - start;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Ratio {
    double value = 0;  // median of the rounds' ratios, our time / bare
    double ours = 0;   // median seconds per frame
    double bare = 0;
    int rounds = 0;
};

// Rounds of a block of our frames and a block of bare ones, about 20 ms
// each, the first side alternating; at least kMinimumRounds of them.
Ratio Compare(const std::function<void()>& oursFrame, const std::function<void()>& bareFrame)
{
    constexpr double kSampleSeconds = 0.02;
    constexpr double kBudgetSeconds = 1.5;
    constexpr int kMinimumRounds = 11;
    constexpr int kMaximumRounds = 61;
    auto runsFor = [&](const std::function<void()>& frame) {
        SecondsFor(frame, 2);
        const double once = std::max(SecondsFor(frame, 1), 1e-7);
        return std::max(1, static_cast<int>(kSampleSeconds / once));
    };
    const int oursRuns = runsFor(oursFrame);
    const int bareRuns = runsFor(bareFrame);
    std::vector<double> ratios, ours, bare;
    double spent = 0;
    while (ratios.size() < size_t(kMinimumRounds) ||
           (spent < kBudgetSeconds && ratios.size() < size_t(kMaximumRounds))) {
        double oursSeconds = 0, bareSeconds = 0;
        auto timeOurs = [&] { oursSeconds = SecondsFor(oursFrame, oursRuns) / oursRuns; };
        auto timeBare = [&] { bareSeconds = SecondsFor(bareFrame, bareRuns) / bareRuns; };
        const auto start = std::chrono::steady_clock::now();
        if (ratios.size() % 2) {
            timeBare();
            timeOurs();
        } else {
            timeOurs();
            timeBare();
        }
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ratios.push_back(oursSeconds / bareSeconds);
        ours.push_back(oursSeconds);
        bare.push_back(bareSeconds);
    }
    return Ratio{Median(ratios), Median(ours), Median(bare), static_cast<int>(ratios.size())};
}

constexpr double kTarget = 1.2;

void PrintRatioTable()
{
    Scene& scene = TheScene();
    std::printf("\nTime ratio, ours / bare QPainter drawing the face in the surface's own layout onto it\n"
                "%d faces of %d x %d onto %d x %d, per frame (median of alternating rounds, same run)\n",
                kFaces, kFaceWidth, kFaceHeight, kCanvasWidth, kCanvasHeight);
    std::printf("%-52s %8s %10s %10s %7s  %-16s %s\n", "source -> context", "ratio", "ours us", "bare us", "rounds",
                "pixels", "target");
    bool allMet = true;
    for (const Pairing& pairing : scene.pairings) {
        const long differing = DifferingPixels(scene, pairing);
        Baseline& baseline = scene.BaselineFor(*pairing.surface);
        const Ratio ratio = Compare([&] { pairing.Draw(scene.positions); },
                                    [&] { baseline.DrawFrame(baseline.canvas, scene.positions); });
        const bool met = ratio.value <= kTarget && differing == 0;
        allMet = allMet && met;
        const std::string pixels = differing == 0 ? "equal" : std::to_string(differing) + " differ";
        std::printf("%-52s %7.3fx %10.1f %10.1f %7d  %-16s <= %.1fx, pixels equal: %s\n", pairing.Name().c_str(),
                    ratio.value, ratio.ours * 1e6, ratio.bare * 1e6, ratio.rounds, pixels.c_str(), kTarget,
                    met ? "met" : "NOT met");
        std::fflush(stdout);
    }
    std::printf("%s\n", allMet ? "All targets met." : "Some targets are NOT met.");
}

void MeasureOurs(benchmark::State& state, const Pairing* pairing)
{
    const std::vector<QPoint>& positions = TheScene().positions;
    for (auto _ : state)
        pairing->Draw(positions);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFaces);
}

void MeasureBare(benchmark::State& state, Baseline* baseline)
{
    const std::vector<QPoint>& positions = TheScene().positions;
    for (auto _ : state)
        baseline->DrawFrame(baseline->canvas, positions);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFaces);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;
    for (const auto& baseline : TheScene().baselines) {
        const char* layout = baseline->format == QImage::Format_ARGB32_Premultiplied ? "ARGB32" : "RGBA8888";
        benchmark::RegisterBenchmark((std::string("Frame/QPainter/") + layout).c_str(), MeasureBare, baseline.get())
            ->Unit(benchmark::kMicrosecond);
    }
    for (const Pairing& pairing : TheScene().pairings)
        benchmark::RegisterBenchmark(("Frame/Ours/" + pairing.Name()).c_str(), MeasureOurs, &pairing)
            ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatioTable();
    return EXIT_SUCCESS;
}
