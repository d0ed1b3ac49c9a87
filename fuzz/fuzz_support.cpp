#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace converter::fuzz {

const QString& ScratchFolder() {
    static const QString folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        auto* dir = new QTemporaryDir(base + QStringLiteral("/dovi2tarvel-fuzz-XXXXXX"));
        if (!dir->isValid()) {
            std::abort();
        }
        // Removed at exit, also when libFuzzer stops the run through exit().
        static std::unique_ptr<QTemporaryDir> owner(dir);
        return dir->path();
    }();
    return folder;
}

QString WriteScratchFile(const QString& name, const QByteArray& bytes) {
    const QString path = ScratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
    return path;
}

void RemoveScratchFile(const QString& name) {
    QFile::remove(ScratchFolder() + QLatin1Char('/') + name);
}

std::vector<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size,
                                   const std::vector<QByteArray>& separators) {
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<QByteArray> parts(separators.size() + 1);
    qsizetype start = 0;
    std::size_t part = 0;
    for (std::size_t i = 0; i < separators.size(); ++i) {
        const qsizetype found = input.indexOf(separators[i], start);
        if (found < 0) {
            continue;
        }
        parts[part] = input.mid(start, found - start);
        start = found + separators[i].size();
        part = i + 1;
    }
    parts[part] = input.mid(start);
    return parts;
}

}  // namespace converter::fuzz
