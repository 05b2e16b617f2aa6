// A program run to its end in a child process of its own, with the most
// memory it held at once (its peak resident set), for tests that bound what
// the work in that process may take.
#pragma once

#include <QStringList>

namespace kestova::test {

struct PeakRun {
    bool exited = false; // ended by exit(), not by a signal
    int status = -1;     // its exit status
    qint64 peakKb = 0;
};

// Runs program with args, its output discarded; Linux only (peakKb stays 0
// elsewhere). The peak is the program's own, whatever the test holds.
PeakRun RunMeasuringPeak(const QString &program, const QStringList &args);

} // namespace kestova::test
