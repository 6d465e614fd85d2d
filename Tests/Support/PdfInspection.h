// Looks at printed PDF files through poppler's command-line tools, run
// with an argument vector: the page count, a page's size and the title,
// and a page as pixels at 72 dots per inch (one pixel per point, y down
// from the top of the paper).
#pragma once

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>

struct PdfInfo {
    bool read = false;
    int pages = 0;
    double width = 0;  // of the page asked for, points
    double height = 0;
    std::string title;
};

inline QString RunTool(const QString& tool, const QStringList& arguments, bool* ok)
{
    QProcess process;
    process.start(tool, arguments);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool HavePopplerTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

inline bool StartsAsPdf(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

inline PdfInfo InspectPdf(const std::string& path, int page = 1)
{
    PdfInfo info;
    bool ok = false;
    const QString text = RunTool(QStringLiteral("pdfinfo"),
                                 {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                  QString::number(page), QString::fromStdString(path)},
                                 &ok);
    if (!ok)
        return info;
    info.read = true;
    const auto pages =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption).match(text);
    info.pages = pages.hasMatch() ? pages.captured(1).toInt() : 0;
    const auto size = QRegularExpression(QStringLiteral("^Page\\s+%1 size:\\s+([\\d.]+) x ([\\d.]+) pts").arg(page),
                                         QRegularExpression::MultilineOption)
                          .match(text);
    if (size.hasMatch()) {
        info.width = size.captured(1).toDouble();
        info.height = size.captured(2).toDouble();
    }
    const auto title =
        QRegularExpression(QStringLiteral("^Title:\\s+(.*)$"), QRegularExpression::MultilineOption).match(text);
    if (title.hasMatch())
        info.title = title.captured(1).trimmed().toStdString();
    return info;
}

inline QImage RasterisePdfPage(const std::string& path, int page = 1)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return QImage();
    const QString prefix = folder.filePath(QStringLiteral("page"));
    bool ok = false;
    RunTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), QStringLiteral("-png"), QStringLiteral("-singlefile"),
             QString::fromStdString(path), prefix},
            &ok);
    if (!ok)
        return QImage();
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel that is not (nearly) white;
// empty for a blank page.
inline QRect InkBounds(const QImage& page)
{
    QRect bounds;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QRgb pixel = page.pixel(x, y);
            if (qRed(pixel) < 200 || qGreen(pixel) < 200 || qBlue(pixel) < 200)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}
