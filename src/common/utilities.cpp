#include "common/utilities.h"

#include "common/file_errors.h"

#include "common/safe_write.h"
#include "common/ui.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <algorithm>
#include <numeric>

namespace converter {

namespace {

constexpr int kSecondsPerDay = 86400;

// Russian plural forms: one (1, 21, 101), few (2-4, 22-24) and many (0, 5-20, 11-14, 111-114).
QString PluralWord(int n, const QString& one, const QString& few, const QString& many) {
    const int lastTwo = n % 100;
    if (lastTwo >= 11 && lastTwo <= 14) {
        return many;
    }
    const int last = n % 10;
    if (last == 1) {
        return one;
    }
    if (last >= 2 && last <= 4) {
        return few;
    }
    return many;
}

bool IsSeparator(QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

}  // namespace

void ShowErrorBox(Ui& ui, const std::optional<Failure>& error, const QString& text) {
    if (!error) {
        return;
    }
    QString message;
    if (!text.isEmpty()) {
        message += text + QLatin1Char('\r');
    }
    if (error->source() != kApplicationTitle) {
        message += QStringLiteral("Источник ошибки: ") + error->source() + QLatin1Char('\r');
    }
    message += QStringLiteral("Описание ошибки:") + error->description();
    // The user knows the files by their own names, not by those of the staging step.
    ui.showMessage(WithoutInternalNames(message), QStringLiteral("Ошибка"), MessageIcon::Warning);
}

QString FormatElapsedTime(int seconds) {
    if (seconds < 0) {
        seconds += kSecondsPerDay;
    }
    seconds = std::max(seconds, 0);
    const int minutes = seconds / 60;
    const int rest = seconds % 60;
    QString result = QStringLiteral("На обработку затрачено: ");
    if (minutes > 0) {
        result += QString::number(minutes) + QLatin1Char(' ') +
                  PluralWord(minutes, QStringLiteral("минута"), QStringLiteral("минуты"),
                             QStringLiteral("минут")) +
                  QStringLiteral(" и ");
    }
    result += QString::number(rest) + QLatin1Char(' ') +
              PluralWord(rest, QStringLiteral("секунда"), QStringLiteral("секунды"),
                         QStringLiteral("секунд"));
    return result;
}

int SecondsSinceMidnight() {
    const int msecs = QTime::currentTime().msecsSinceStartOfDay();
    return ((msecs + 500) / 1000) % kSecondsPerDay;
}

namespace {
qint64& WaitedMilliseconds() {
    static qint64 waited = 0;
    return waited;
}
}  // namespace

int ElapsedSeconds(int startTime) {
    int elapsed = SecondsSinceMidnight() - startTime;
    if (elapsed < 0) {
        elapsed += kSecondsPerDay;
    }
    return std::max(0, elapsed - static_cast<int>((WaitedMilliseconds() + 500) / 1000));
}

int StartOperationClock() {
    WaitedMilliseconds() = 0;
    return SecondsSinceMidnight();
}

UserWait::UserWait() : start_(QDateTime::currentMSecsSinceEpoch()) {}

UserWait::~UserWait() {
    WaitedMilliseconds() += std::max<qint64>(0, QDateTime::currentMSecsSinceEpoch() - start_);
}

QString GetFileFilter(int kind) {
    switch (kind) {
        case kTarvelDatabaseFile:
            return QStringLiteral("Базы данных ГИС Вельтара (*.db)|*.db");
        case kTextFile:
            return QStringLiteral("Текстовые файлы (*.txt)|*.txt");
        case kDoviReferenceFile:
            return QStringLiteral("Справочники ДОВИ (*.000)|*.000");
        default:
            return {};
    }
}

QString ShowOpenDialog(Ui& ui, const QString& filter, const QString& initialName) {
    QString path = ui.chooseOpenFile(filter, initialName);
    ui.processEvents();
    return path;
}

QString ShowSaveDialog(Ui& ui, const QString& filter, const QString& initialName) {
    QString path = ui.chooseSaveFile(filter, initialName);
    ui.processEvents();
    return path;
}

QString SplitPath(const QString& path, int part) {
    if (path.isEmpty()) {
        return {};
    }
    // The last character is not examined, so a trailing separator never leaves an empty file
    // name. Unlike on Windows the first character is examined: "/les.db" lies in the root.
    qsizetype slash = -1;
    for (qsizetype i = path.size() - 2; i >= 0; --i) {
        if (IsSeparator(path.at(i))) {
            slash = i;
            break;
        }
    }
    if (slash < 0) {
        return {};
    }
    const QString folder = path.left(slash + 1);
    const QString fileName = path.mid(slash + 1);

    // Dovi files often have no extension: then the whole name is the name without extension.
    qsizetype dot = -1;
    for (qsizetype i = fileName.size() - 2; i >= 0; --i) {
        if (fileName.at(i) == QLatin1Char('.')) {
            dot = i;
            break;
        }
    }
    const QString baseName = dot < 0 ? fileName : fileName.left(dot);
    const QString extension = dot < 0 ? QString() : fileName.mid(dot + 1);

    switch (part) {
        case kPathFolder:
            return folder;
        case kPathFileName:
            return fileName;
        case kPathBaseName:
            return baseName;
        case kPathExtension:
            return extension;
        case kPathFolderAndBaseName:
            return folder + baseName;
        default:
            return {};
    }
}

bool DeleteTarvelDatabase(Ui& ui, const QString& path) {
    if (path.isEmpty()) {
        return true;
    }
    // A bare file name lies in the current folder; without this its parts would all be empty.
    const QString fullPath =
        std::any_of(path.begin(), path.end(), IsSeparator) ? path : QStringLiteral("./") + path;
    const QString folder = SplitPath(fullPath, kPathFolder);
    const QString baseName = SplitPath(fullPath, kPathBaseName);
    QStringList names{SplitPath(fullPath, kPathFileName)};
    for (const char* suffix : {".px", "Сост.db", "Сост.px", "_TI.db", "_TI.px"}) {
        names.append(baseName + QString::fromUtf8(suffix));
    }
    for (const QString& name : names) {
        // Exactly the files the table engine would take: "Les.db" stays when "les.db" exists.
        const QString file = EngineFile(folder, name);
        if (!file.isEmpty()) {
            if (!QFile::remove(file)) {
                ui.showMessage(QStringLiteral("Ошибка при удалении базы данных: ") + path, {},
                               MessageIcon::Warning);
                return false;
            }
        }
    }
    return true;
}

void SortKeysWithCompanion(std::vector<int>& keys, std::vector<int>& companion, bool ascending) {
    if (companion.size() != keys.size()) {
        throw Failure(QStringLiteral("Массивы ключей и значений разной длины"));
    }
    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return ascending ? keys[a] < keys[b] : keys[a] > keys[b];
    });
    std::vector<int> sortedKeys, sortedCompanion;
    sortedKeys.reserve(keys.size());
    sortedCompanion.reserve(keys.size());
    for (size_t i : order) {
        sortedKeys.push_back(keys[i]);
        sortedCompanion.push_back(companion[i]);
    }
    keys.swap(sortedKeys);
    companion.swap(sortedCompanion);
}

}  // namespace converter
