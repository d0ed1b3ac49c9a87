#pragma once

#include <QDir>
#include <QString>
#include <QTest>

namespace converter::testing {

// The folder of real files written by other programs; tests skip when it is absent.
inline QString SamplesDir() { return QStringLiteral(SAMPLES_DIR); }
inline QString SourceDir() { return QStringLiteral(SOURCE_DIR); }

}  // namespace converter::testing

// Skips the test with a clear message when a sample file is missing.
#define REQUIRE_SAMPLE(relativePath)                                                           \
    do {                                                                                       \
        if (!QFile::exists(converter::testing::SamplesDir() + QLatin1Char('/') + relativePath)) \
            QSKIP(qPrintable(QStringLiteral("sample file absent: ") + relativePath));          \
    } while (false)
