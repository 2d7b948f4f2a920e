#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace lorimet::testing {

// One run of a command-line tool to its end: how it exited (-1 when it crashed or did not finish) and what
// it printed.
struct ToolRun {
    int exitCode = -1;
    QString out, err;
    QByteArray rawOut; // stdout as bytes, for output that is not UTF-8
};

inline ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(timeoutMs)) << program.toStdString() << " did not finish";
    ToolRun t;
    t.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    t.rawOut = p.readAllStandardOutput();
    t.out = QString::fromUtf8(t.rawOut);
    t.err = QString::fromUtf8(p.readAllStandardError());
    return t;
}

} // namespace lorimet::testing
