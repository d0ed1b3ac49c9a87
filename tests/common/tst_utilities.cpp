#include "common/qt_compat.h"
#include "common/responsive_call.h"
#include "common/utilities.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace converter;
using converter::testing::FakeUi;

namespace {
void Touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}
}  // namespace

class TestUtilities : public QObject {
    Q_OBJECT
private slots:
    void elapsedTimeTexts_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        const QString prefix = QStringLiteral("На обработку затрачено: ");
        QTest::newRow("zero") << 0 << prefix + "0 секунд";
        QTest::newRow("one") << 1 << prefix + "1 секунда";
        QTest::newRow("59") << 59 << prefix + "59 секунд";
        QTest::newRow("60") << 60 << prefix + "1 минута и 0 секунд";
        QTest::newRow("125") << 125 << prefix + "2 минуты и 5 секунд";
        QTest::newRow("teen seconds") << 11 << prefix + "11 секунд";
        QTest::newRow("14 seconds") << 14 << prefix + "14 секунд";
        QTest::newRow("22 seconds") << 22 << prefix + "22 секунды";
        QTest::newRow("11 minutes 10 s") << 670 << prefix + "11 минут и 10 секунд";
        QTest::newRow("21 minutes 1 s") << 1261 << prefix + "21 минута и 1 секунда";
        QTest::newRow("101 minutes") << 101 * 60 + 3 << prefix + "101 минута и 3 секунды";
        QTest::newRow("111 minutes") << 111 * 60 << prefix + "111 минут и 0 секунд";
        QTest::newRow("114 minutes") << 114 * 60 + 44 << prefix + "114 минут и 44 секунды";
        QTest::newRow("passed midnight") << -86400 + 65 << prefix + "1 минута и 5 секунд";
    }
    void elapsedTimeTexts() {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatElapsedTime(seconds), text);
    }

    void elapsedSecondsWrapOverMidnight() {
        const int now = SecondsSinceMidnight();
        QVERIFY(now >= 0 && now < 86400);
        // A start time just "after" now can only mean the day turned since.
        const int elapsed = ElapsedSeconds((now + 10) % 86400);
        QVERIFY2(elapsed >= 86390 - 2 || elapsed <= 2, qPrintable(QString::number(elapsed)));
        QVERIFY(ElapsedSeconds(now) <= 2);

        // Time spent waiting for the user in a dialog is not processing time.
        const int start = StartOperationClock();
        {
            const UserWait wait;
            QTest::qSleep(1600);
        }
        QCOMPARE(ElapsedSeconds(start), 0);
        QVERIFY(ElapsedSeconds((start + 86400 - 100) % 86400) >= 97);
    }

    void errorBoxLines() {
        FakeUi ui;
        ShowErrorBox(ui, std::nullopt, QStringLiteral("Ошибка при чтении файла"));
        QVERIFY(ui.messages.isEmpty());

        ShowErrorBox(ui, Failure(QStringLiteral("Таблица занята"), QStringLiteral("Paradox")),
                     QStringLiteral("Ошибка при чтении файла"));
        QCOMPARE(ui.lastMessage().text, QStringLiteral("Ошибка при чтении файла\r"
                                                       "Источник ошибки: Paradox\r"
                                                       "Описание ошибки:Таблица занята"));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);

        // The program's own errors name no source; an empty headline adds no line.
        ShowErrorBox(ui, Failure(QStringLiteral("Нет поля")), {});
        QCOMPARE(ui.lastMessage().text, QStringLiteral("Описание ошибки:Нет поля"));
    }

    void fileFilters() {
        QCOMPARE(GetFileFilter(kTarvelDatabaseFile),
                 QStringLiteral("Базы данных ГИС Вельтара (*.db)|*.db"));
        QCOMPARE(GetFileFilter(kTextFile), QStringLiteral("Текстовые файлы (*.txt)|*.txt"));
        QCOMPARE(GetFileFilter(kDoviReferenceFile),
                 QStringLiteral("Справочники ДОВИ (*.000)|*.000"));
        QVERIFY(GetFileFilter(3).isEmpty());
    }

    void dialogsGoThroughTheUi() {
        FakeUi ui;
        ui.openFileAnswers = {QStringLiteral("/data/les.txt")};
        QCOMPARE(ShowOpenDialog(ui, GetFileFilter(kTextFile)), QStringLiteral("/data/les.txt"));
        QCOMPARE(ui.openFilters, QStringList{GetFileFilter(kTextFile)});
        QCOMPARE(ShowSaveDialog(ui, GetFileFilter(kTarvelDatabaseFile), "/data/les.db"), QString());
        QCOMPARE(ui.saveInitialNames, QStringList{QStringLiteral("/data/les.db")});
        QCOMPARE(ui.eventsProcessed, 2);
    }

    void pathParts_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("parts");  // parts 1, 2, 3, 4, 6
        QTest::newRow("backslashes")
            << "D:\\data\\les 2008.db"
            << QStringList{"D:\\data\\", "les 2008.db", "les 2008", "db", "D:\\data\\les 2008"};
        QTest::newRow("slashes") << "/home/user/les 2008.db"
                                 << QStringList{"/home/user/", "les 2008.db", "les 2008", "db",
                                                "/home/user/les 2008"};
        QTest::newRow("mixed") << "/mnt/d\\data\\lesСост.db"
                               << QStringList{"/mnt/d\\data\\", "lesСост.db", "lesСост", "db",
                                              "/mnt/d\\data\\lesСост"};
        QTest::newRow("last dot counts")
            << "/d/les.2008.txt"
            << QStringList{"/d/", "les.2008.txt", "les.2008", "txt", "/d/les.2008"};
        QTest::newRow("no extension")
            << "/d/LES01" << QStringList{"/d/", "LES01", "LES01", "", "/d/LES01"};
        QTest::newRow("dot in folder only")
            << "/d.old/les" << QStringList{"/d.old/", "les", "les", "", "/d.old/les"};
        QTest::newRow("root") << "/les.db" << QStringList{"/", "les.db", "les", "db", "/les"};
        QTest::newRow("no folder") << "les.db" << QStringList{"", "", "", "", ""};
        QTest::newRow("empty") << "" << QStringList{"", "", "", "", ""};
    }
    void pathParts() {
        QFETCH(QString, path);
        QFETCH(QStringList, parts);
        const int kinds[] = {kPathFolder, kPathFileName, kPathBaseName, kPathExtension,
                             kPathFolderAndBaseName};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(SplitPath(path, kinds[i]), parts.at(i));
        }
    }

    void deleteRemovesExactlyTheSixFiles() {
        QTemporaryDir dir;
        const QString base = dir.path() + "/les";
        const QStringList own = {"les.db",     "les.px",    "lesСост.db",
                                 "LESСОСТ.PX", "les_TI.db", "les_TI.px"};
        const QStringList others = {"les2.db", "les.txt", "les_rep.txt", "other.db", "les_TI.val"};
        for (const QString& name : own + others) {
            Touch(dir.filePath(name));
        }
        FakeUi ui;
        QVERIFY(DeleteTarvelDatabase(ui, base + ".db"));
        QVERIFY(ui.messages.isEmpty());
        QStringList left = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QStringList expected = others;
        expected.sort();
        QCOMPARE(left, expected);

        // Nothing there at all is not an error either.
        QVERIFY(DeleteTarvelDatabase(ui, base + ".db"));
        QVERIFY(ui.messages.isEmpty());
    }

    void deleteReportsAFileItCannotRemove() {
        QTemporaryDir dir;
        const QString path = dir.filePath("les.db");
        Touch(path);
        // A non-empty folder in the place of the elements table cannot be removed as a file,
        // even by an administrator.
        QVERIFY(QDir(dir.path()).mkpath("lesСост.db/inside"));
        FakeUi ui;
        QVERIFY(!DeleteTarvelDatabase(ui, path));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text, QStringLiteral("Ошибка при удалении базы данных: ") + path);
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QVERIFY(ui.lastMessage().title.isEmpty());
        QVERIFY(!QFile::exists(path));  // what went before the failure stays deleted
    }

    void sortCarriesTheCompanion() {
        std::vector<int> keys{30, 10, 20};
        std::vector<int> companion{1, 2, 3};
        SortKeysWithCompanion(keys, companion);
        QCOMPARE(keys, (std::vector<int>{10, 20, 30}));
        QCOMPARE(companion, (std::vector<int>{2, 3, 1}));

        keys = {5, -1, 7, 5, 0};
        companion = {50, -10, 70, 51, 0};
        SortKeysWithCompanion(keys, companion, false);
        QCOMPARE(keys, (std::vector<int>{7, 5, 5, 0, -1}));
        for (size_t i = 0; i < keys.size(); ++i) {
            QCOMPARE(companion[i] / 10, keys[i]);  // each companion still with its key
        }

        std::vector<int> empty, none;
        SortKeysWithCompanion(empty, none);
        QVERIFY(empty.empty());

        std::vector<int> shorter{1};
        QVERIFY_THROWS_EXCEPTION(Failure, SortKeysWithCompanion(keys, shorter));
    }

    void responsiveWorkReachesItsEnd() {
        // Without a runner (the console) the work runs in place and its failure reaches us.
        const std::thread::id caller = std::this_thread::get_id();
        RunResponsively([caller] { QVERIFY(std::this_thread::get_id() == caller); });
        QVERIFY_THROWS_EXCEPTION(Failure, RunResponsively([] { throw Failure("занят"); }));
        // A runner never sees the failure, and is not asked again from inside its own work.
        int started = 0, ended = 0;
        SetResponsiveRunner([&](const std::function<void()>& work) { ++started, work(), ++ended; });
        QVERIFY_THROWS_EXCEPTION(
            Failure, RunResponsively([] { RunResponsively([] { throw Failure("занят"); }); }));
        SetResponsiveRunner({});
        QCOMPARE(std::pair(started, ended), std::pair(1, 1));
    }
};

QTEST_GUILESS_MAIN(TestUtilities)
#include "tst_utilities.moc"
