// Peak memory of a child process, from the kernel's account of it, through
// peak_of (beside the test programs).
#include "child_peak.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

namespace kestova::test {

PeakRun RunMeasuringPeak(const QString &program, const QStringList &args)
{
    PeakRun run;
#ifdef Q_OS_LINUX
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/peak_of"), QStringList{program} + args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        return run;
    // "exit STATUS peak KB" or "signal NUMBER peak KB"
    const QStringList words = QString::fromLatin1(p.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    if (words.size() != 4)
        return run;
    run.exited = words[0] == QLatin1String("exit");
    run.status = run.exited ? words[1].toInt() : -1;
    run.peakKb = words[3].trimmed().toLongLong();
#else
    Q_UNUSED(program);
    Q_UNUSED(args);
#endif
    return run;
}

} // namespace kestova::test
