#pragma once

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

// Resident memory of this process in KiB.
inline long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

// A benchmark program with a widget application on the offscreen platform (unless another
// platform is asked for).
#define ZELVAR_BENCHMARK_MAIN()                                                   \
    int main(int argc, char** argv)                                               \
    {                                                                             \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                       \
            qputenv("QT_QPA_PLATFORM", "offscreen");                              \
        QApplication app(argc, argv);                                             \
        ::benchmark::Initialize(&argc, argv);                                     \
        if (::benchmark::ReportUnrecognizedArguments(argc, argv))                 \
            return 1;                                                             \
        ::benchmark::RunSpecifiedBenchmarks();                                    \
        ::benchmark::Shutdown();                                                  \
        return 0;                                                                 \
    }
