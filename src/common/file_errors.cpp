#include "common/file_errors.h"

#include "common/failure.h"
#include "common/platform_files.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

namespace converter {

namespace {

// A name component: anything but separators and line ends.
const QString kPart = QStringLiteral("[^/\\\\\\r\\n]");

}  // namespace

// The same on every system: the C library's codes, to which the Windows layer maps its own.
namespace platform {

ErrorKind ErrorKindOf(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return ErrorKind::NoPermission;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:  // a quota: not in every C library
#endif
        case EFBIG:
            return ErrorKind::NoSpace;
        case EROFS:
            return ErrorKind::ReadOnly;
        case EBUSY:
        case ETXTBSY:
            return ErrorKind::InUse;
        case ENOENT:
        case ENOTDIR:
            return ErrorKind::Missing;
        case EIO:
            return ErrorKind::InputOutput;
        default:
            return ErrorKind::Other;
    }
}

QString OwnErrorWords(int error) {
    switch (error) {
        case EACCES:
            return QStringLiteral("Отказано в доступе");
        case EPERM:
            return QStringLiteral("Операция не разрешена");
        case ENOENT:
            return QStringLiteral("Файл или папка не найдены");
        case EEXIST:
            return QStringLiteral("Файл уже существует");
        case EISDIR:
            return QStringLiteral("На месте файла находится папка");
        case ENOTDIR:
            return QStringLiteral("Часть пути не является папкой");
        case ENOTEMPTY:
            return QStringLiteral("Папка не пуста");
        case ENOSPC:
            return QStringLiteral("Недостаточно места на диске");
        case EFBIG:
            return QStringLiteral("Файл слишком велик");
        case EROFS:
            return QStringLiteral("Диск доступен только для чтения");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("Файл занят другой программой");
        case EIO:
            return QStringLiteral("Ошибка ввода-вывода (сбой диска)");
        case EXDEV:
            return QStringLiteral("Файлы находятся на разных дисках");
        case ENOTSUP:
#if defined(EOPNOTSUPP) && EOPNOTSUPP != ENOTSUP
        case EOPNOTSUPP:
#endif
        case ENOSYS:
            return QStringLiteral("Операция не поддерживается файловой системой");
        case EMLINK:
            return QStringLiteral("Слишком много имён у одного файла");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("Открыто слишком много файлов");
        case ENAMETOOLONG:
            return QStringLiteral("Слишком длинное имя файла или путь");
        case EAGAIN:
            return QStringLiteral("Файл временно недоступен");
        case EINVAL:
            return QStringLiteral("Недопустимое имя файла или действие");
        default:
            return {};
    }
}

}  // namespace platform

QString WithoutInternalNames(const QString& text) {
    static const QRegularExpression lock(
        QStringLiteral("[/\\\\]\\.%1*\\.dovi2tarvel-lock").arg(kPart));
    // A staging folder, with the folder of old files inside it.
    static const QRegularExpression staging(
        QStringLiteral("[/\\\\]\\.%1*\\.dovi2tarvel-new(?:[/"
                       "\\\\](?:old|\\.journal(?:\\.part|\\.undo)?))?(?=[/\\\\]|$|[\\r\\n:])")
            .arg(kPart),
        QRegularExpression::MultilineOption);
    static const QRegularExpression temporary(
        QStringLiteral("([/\\\\])\\.(%1+)\\.[0-9]+\\.dovi2tarvel-tmp").arg(kPart));
    static const QRegularExpression tableTemporary(QStringLiteral("\\.tmp~"));
    QString shown = text;
    shown.replace(lock, QString());
    shown.replace(staging, QString());
    shown.replace(temporary, QStringLiteral("\\1\\2"));
    shown.replace(tableTemporary, QString());
    return shown;
}

QString ShownPath(const QString& path) {
    QString shown = WithoutInternalNames(QDir::fromNativeSeparators(path));
    if (shown.isEmpty()) {
        shown = QStringLiteral("/");
    }
    return QDir::toNativeSeparators(shown);
}

QString WriteErrorReason(int error, const QString& path) {
    const QString file = ShownPath(path);
    const QFileInfo info(QDir::fromNativeSeparators(file));
    const QString folder =
        QDir::toNativeSeparators(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    switch (platform::ErrorKindOf(error)) {
        case platform::ErrorKind::NoPermission:
            return QStringLiteral("Нет прав на запись в папку: ") + folder;
        case platform::ErrorKind::NoSpace:
            return QStringLiteral("Недостаточно места на диске для записи в папку: ") + folder;
        case platform::ErrorKind::ReadOnly:
            return QStringLiteral("Диск доступен только для чтения, папка: ") + folder;
        case platform::ErrorKind::InUse:
            // One of our own files held for a moment (a virus scanner): not the user's file.
            if (QDir::toNativeSeparators(path) != file) {
                return QStringLiteral(
                           "Временный файл программы занят другой программой "
                           "(возможно, антивирусом), повторите попытку: ") +
                       file;
            }
            return QStringLiteral("Файл занят другой программой: ") + file;
        case platform::ErrorKind::Missing:
            return QStringLiteral("Файл или папка не найдены: ") + file;
        case platform::ErrorKind::InputOutput:
            return QStringLiteral("Ошибка ввода-вывода (сбой диска) при записи в папку: ") + folder;
        case platform::ErrorKind::Other:
            break;
    }
    return platform::SystemErrorText(error);
}

void ThrowFileError(const QString& what, const QString& path, int error) {
    throw Failure(what + ShownPath(path) + QLatin1Char('\r') + WriteErrorReason(error, path));
}

}  // namespace converter
