#pragma once

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTest>

namespace converter::testing {

// The folder of real files written by other programs; tests skip when it is absent.
inline QString SamplesDir() {
    return QStringLiteral(SAMPLES_DIR);
}
inline QString SourceDir() {
    return QStringLiteral(SOURCE_DIR);
}

// Windows finds a file by its name in any letter case: there two names that differ only in case
// are one file, and a replaced file may keep the case of its old name.
#ifdef Q_OS_WIN
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr bool kNamesIgnoreCase = false;
#endif

// Names as the file system tells them apart: in lower case where it ignores case.
inline QStringList AsFileSystemSees(QStringList names) {
    if (kNamesIgnoreCase) {
        for (QString& name : names) {
            name = name.toLower();
        }
    }
    names.sort();
    return names;
}

}  // namespace converter::testing

// Skips the test with a clear message when a sample file is missing.
#define REQUIRE_SAMPLE(relativePath)                                                            \
    do {                                                                                        \
        if (!QFile::exists(converter::testing::SamplesDir() + QLatin1Char('/') + relativePath)) \
            QSKIP(qPrintable(QStringLiteral("sample file absent: ") + relativePath));           \
    } while (false)
