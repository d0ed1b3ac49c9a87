// What the user reads when a write fails: our own words for the common system errors, and the
// user's file or folder, never an internal staging, temporary or lock name.
#include "common/file_errors.h"
#include "common/platform_files.h"

#include <QtTest>

#include <cerrno>

using namespace converter;

class TestFileErrors : public QObject {
    Q_OBJECT

private slots:
    void internalNamesShownAsTheUsersFiles_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("staged table") << "/x/db/.les.db.dovi2tarvel-new/les.db"
                                      << "/x/db/les.db";
        QTest::newRow("table written under its temporary name")
            << "/x/db/.les.db.dovi2tarvel-new/lesСост.px.tmp~"
            << "/x/db/lesСост.px";
        QTest::newRow("old file kept aside")
            << "/x/sp/.reference-tables.dovi2tarvel-new/old/sptab.db"
            << "/x/sp/sptab.db";
        QTest::newRow("staging folder itself") << "/x/db/.les.db.dovi2tarvel-new/"
                                               << "/x/db/";
        QTest::newRow("journal") << "/x/db/.les.db.dovi2tarvel-new/.journal.part"
                                 << "/x/db";
        QTest::newRow("temporary export file") << "/x/out/.итог 2007.txt.4711.dovi2tarvel-tmp"
                                               << "/x/out/итог 2007.txt";
        QTest::newRow("lock file") << "/x/db/.les.db.dovi2tarvel-lock"
                                   << "/x/db";
        QTest::newRow("user's own hidden file kept") << "/x/.les.db"
                                                     << "/x/.les.db";
    }
    void internalNamesShownAsTheUsersFiles() {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        QCOMPARE(ShownPath(path), QDir::toNativeSeparators(shown));
        // Inside a message, up to the colon and line end that follow a path.
        QCOMPARE(WithoutInternalNames("Файл " + path + ": x\r" + path),
                 "Файл " + shown + ": x\r" + shown);
    }

    void reasonInTheUsersWords_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        // The reason names the folder in full: on Windows with the current drive's letter.
        const QString folder = QDir::toNativeSeparators(QFileInfo("/x/db/les.db").absolutePath());
        const QString file = QDir::toNativeSeparators("/x/db/les.db");
        QTest::newRow("no permission") << EACCES << "Нет прав на запись в папку: " + folder;
        QTest::newRow("operation not permitted")
            << EPERM << "Нет прав на запись в папку: " + folder;
        QTest::newRow("no space") << ENOSPC
                                  << "Недостаточно места на диске для записи в папку: " + folder;
#ifdef EDQUOT  // Windows' C library has no quota code: its quota error is told as ENOSPC.
        QTest::newRow("quota") << EDQUOT
                               << "Недостаточно места на диске для записи в папку: " + folder;
#endif
        QTest::newRow("read-only medium")
            << EROFS << "Диск доступен только для чтения, папка: " + folder;
        QTest::newRow("our own file in use, held by a scanner")
            << ETXTBSY
            << "Временный файл программы занят другой программой (возможно, антивирусом), "
               "повторите попытку: " +
                   file;
        QTest::newRow("missing") << ENOENT << "Файл или папка не найдены: " + file;
        QTest::newRow("input/output")
            << EIO << "Ошибка ввода-вывода (сбой диска) при записи в папку: " + folder;
        QTest::newRow("a file on the way where a folder should be")
            << ENOTDIR << "Файл или папка не найдены: " + file;
        // In Russian on every system, though the C library of Windows speaks English.
        QTest::newRow("anything else, the system's reason")
            << EMLINK << "Слишком много имён у одного файла";
        QTest::newRow("a folder where the file should be")
            << EISDIR << "На месте файла находится папка";
        // A path that is an existing folder is that folder, not its parent.
        const QString temp = QDir::toNativeSeparators(QDir::tempPath());
        QTest::newRow("existing folder") << -EACCES << "Нет прав на запись в папку: " + temp;
    }
    void reasonInTheUsersWords() {
        QFETCH(int, error);
        QFETCH(QString, reason);
        const QString path =
            error < 0 ? QDir::tempPath() : "/x/db/.les.db.dovi2tarvel-new/les.db.tmp~";
        QCOMPARE(WriteErrorReason(std::abs(error), path), reason);
    }
    void usersOwnFileInUse() {
        QCOMPARE(WriteErrorReason(EBUSY, "/x/db/les.db"),
                 "Файл занят другой программой: " + QDir::toNativeSeparators("/x/db/les.db"));
    }
};

QTEST_GUILESS_MAIN(TestFileErrors)
#include "tst_file_errors.moc"
