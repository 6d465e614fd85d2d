#pragma once

// Runs ArchiveCheck.py (Python's own property-list reader) on an archive the
// program wrote and the one it was read from: its exit status (0 when they
// agree) and what it wrote, one line per difference.

#include <QProcess>
#include <QStringList>

#include <string>
#include <utility>

inline std::pair<int, std::string> RunArchiveCheck(const std::string& expected, const std::string& actual)
{
    QProcess checker;
    checker.setProcessChannelMode(QProcess::MergedChannels);
    checker.start("python3",
                  {QStringLiteral(ARCHIVE_CHECK), QString::fromStdString(expected), QString::fromStdString(actual)});
    if (!checker.waitForFinished(60000))
        return {-1, "the archive checker did not finish"};
    const int status = checker.exitStatus() == QProcess::NormalExit ? checker.exitCode() : -1;
    return {status, checker.readAll().toStdString()};
}
