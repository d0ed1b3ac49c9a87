#include "common/code_page.h"
#include "common/text_file.h"
#include "support/dictionary_builder.h"
#include "support/test_paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace converter::testing;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
    QByteArray outBytes;
};

}  // namespace

// The console front end, run as a program: exit statuses, message blocks, written files.
class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder_;

    // `variables` set ("NAME=value") or remove ("NAME") variables of the environment.
    Run cli(const QStringList& args, const QString& program = PROGRAM_DIR "/dovi2tarvel-cli",
            const QStringList& variables = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LANGUAGE");  // the language is the locale's the test sets
        for (const QString& variable : variables) {
            if (variable.contains('=')) {
                environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
            } else {
                environment.remove(variable);
            }
        }
        process.setProcessEnvironment(environment);
        process.start(program, args);
        process.waitForFinished(120000);
        const QByteArray out = process.readAllStandardOutput();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(out), QString::fromUtf8(process.readAllStandardError()), out};
    }

    // The global options for a program folder with the test dictionary and value books.
    QStringList withFolder(QStringList args) {
        return QStringList{QStringLiteral("--program-folder"), folder_} + args;
    }

    // Every file under a folder with its size and time, to see that nothing was left or touched.
    static QStringList listing(const QString& folder) {
        QStringList entries;
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            entries << info.filePath() + ' ' + QString::number(info.size()) + ' ' +
                           QString::number(info.lastModified().toMSecsSinceEpoch());
        }
        entries.sort();
        return entries;
    }

    QString sampleDovi() const { return SourceDir() + "/data/samples/lesnichestvo_03.txt"; }
    QString db() const { return folder_ + "/les03.db"; }

    Run importSample(const QString& leshoz = "50010203", bool overwrite = false) {
        QStringList args{"import", sampleDovi(), db(), "--leshoz", leshoz, "--lesnich", "3"};
        if (overwrite) {
            args << "--overwrite";
        }
        return cli(withFolder(args));
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        folder_ = dir_.path();
        WriteStandardDictionary(folder_);
        QVERIFY(QFile::exists(sampleDovi()));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"convert"};
        QTest::newRow("import without lesnich")
            << QStringList{"import", "a.txt", "a.db", "--leshoz", "50010203"};
        QTest::newRow("option without value") << QStringList{"import", "a.txt", "a.db", "--leshoz"};
        QTest::newRow("year not a number") << QStringList{"export", "a.db", "x", "o.txt"};
        QTest::newRow("overwrite on check") << QStringList{"check", "a.db", "f", "--overwrite"};
        QTest::newRow("mdb dump without table") << QStringList{"dump", "sprav.mdb"};
        QTest::newRow("folder without value") << QStringList{"--program-folder"};
        QTest::newRow("separator neither point nor comma")
            << QStringList{"export", "a.db", "5", "o.txt", "--decimal-separator", ";"};
        QTest::newRow("separator without value")
            << QStringList{"export", "a.db", "5", "o.txt", "--decimal-separator"};
        QTest::newRow("separator on import") << QStringList{
            "import", "a.txt", "a.db", "--leshoz", "1", "--lesnich", "2", "--decimal-separator",
            ","};
        QTest::newRow("validate without file") << QStringList{"validate", "--program-folder", "f"};
        QTest::newRow("folder after command without value")
            << QStringList{"years", "a.db", "--program-folder"};
        QTest::newRow("folder on dump") << QStringList{"dump", "a.db", "--program-folder", "f"};
    }

    void usageErrors() {
        QFETCH(QStringList, args);
        const Run run = cli(args);
        QCOMPARE(run.status, 64);
        QVERIFY(run.err.contains("usage:"));
    }

    void helpAndVersion() {
        Run run = cli({"--help"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains("dovi2tarvel-cli dump TABLE_FILE [TABLE]"));
        QVERIFY(run.out.contains(
            "(default: " + QDir::toNativeSeparators(QFileInfo(PROGRAM_DIR).absoluteFilePath()) +
            ")"));
        run = cli({"--version"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.startsWith("dovi2tarvel-cli 1.0"));
    }

#ifndef Q_OS_WIN
    // A Windows program takes its language and code pages from the user's settings (under Wine
    // from the locale Wine was started in), which no variable given to a child changes; there
    // scripts/windows_compare.sh compares these outputs with Linux's from outside.

    // The program's own texts in the user's language: Russian by LC_ALL, LC_MESSAGES or LANG in
    // that order, whether or not the locale is installed; English otherwise.
    void language_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");  // on standard output for 0, else on error
        const QStringList ru{"LC_ALL=ru_RU.UTF-8"};
        QTest::newRow("help, Russian") << ru << QStringList{"--help"} << 0
                                       << "использование:\n  dovi2tarvel-cli import ФАЙЛ_DOVI";
        QTest::newRow("help, C") << QStringList{"LC_ALL=C"} << QStringList{"--help"} << 0
                                 << "usage:\n  dovi2tarvel-cli import DOVI_FILE";
        QTest::newRow("LC_ALL before LANG") << QStringList{"LC_ALL=C", "LANG=ru_RU.UTF-8"}
                                            << QStringList{"--help"} << 0 << "\nexit status:\n";
        QTest::newRow("LC_MESSAGES before LANG")
            << QStringList{"LC_ALL", "LC_MESSAGES=ru_RU.UTF-8", "LANG=C.UTF-8"}
            << QStringList{"--help"} << 0 << "\nкоды завершения:\n";
        QTest::newRow("usage error, Russian")
            << ru << QStringList{"convert"} << 64
            << "dovi2tarvel-cli: неизвестная команда convert\nиспользование:\n";
        QTest::newRow("usage error, C") << QStringList{"LC_ALL=C"} << QStringList{"convert"} << 64
                                        << "dovi2tarvel-cli: unknown command convert\nusage:\n";
        QTest::newRow("encoding unknown") << ru << QStringList{"--help", "--encoding", "koi8-r"}
                                          << 64 << "--encoding: нужно oem, ansi или utf-8\n";
        QTest::newRow("encoding without value") << ru << QStringList{"years", "--encoding"} << 64
                                                << "--encoding: нужно oem, ansi или utf-8\n";
    }

    void language() {
        QFETCH(QStringList, environment);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, expected);
        const Run run = cli(args, PROGRAM_DIR "/dovi2tarvel-cli", environment);
        QCOMPARE(run.status, status);
        QVERIFY2((status == 0 ? run.out : run.err).contains(expected),
                 qPrintable(run.out + run.err));
    }

    // --encoding: the bytes a Windows shell expects of redirected output, for Russian text.
    void encoding_data() {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<int>("codePage");  // 0: UTF-8
        QTest::newRow("oem") << "oem" << 866;
        QTest::newRow("ansi") << "ANSI" << 1251;
        QTest::newRow("utf-8") << "utf-8" << 0;
    }

    void encoding() {
        QFETCH(QString, encoding);
        QFETCH(int, codePage);
        const QStringList ru{"LC_ALL=ru_RU.UTF-8"};
        const Run utf8 = cli({"--help"}, PROGRAM_DIR "/dovi2tarvel-cli", ru);
        QVERIFY(utf8.out.contains("коды завершения"));
        const Run run = cli({"--encoding", encoding, "--help"}, PROGRAM_DIR "/dovi2tarvel-cli", ru);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.outBytes, codePage ? converter::CodePageFor(codePage).encodeReplacing(utf8.out)
                                        : utf8.outBytes);
    }
#endif

    void wrongLeshozIsTheDialogsMessageAndLeavesNoDatabase() {
        const Run run = importSample("5001020");
        QCOMPARE(run.status, 2);
        QVERIFY2(
            run.err.contains("[information] Converter\nКод лесхоза должен состоять из 8 цифр\n\n"),
            qPrintable(run.err));
        QVERIFY(!QFile::exists(db()));
    }

    void importWithFaultsThenRefusedOverwrite() {
        Run run = importSample();
        QVERIFY2(run.status == 1, qPrintable(run.err));
        QVERIFY2(run.err.startsWith("[warning] Импорт выполнен с ошибками\nФайл: " +
                                    QDir::toNativeSeparators(db()) + "\n"),
                 qPrintable(run.err));
        QVERIFY(run.err.contains("Количество выделов: 35\n"));
        QVERIFY(QFile::exists(folder_ + "/les03Сост.db"));
        QVERIFY(QFile::exists(folder_ + "/reports/создание базы.txt"));

        const QByteArray before = [&] {
            QFile f(db());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        run = importSample();
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("[question] Перезаписать?\nФайл с таким именем существует: "
                                    "les03.db\nЖелаете перезаписть?\n-> No\n\n"),
                 qPrintable(run.err));
        {
            // Closed before the next import: Windows refuses to replace a file held open.
            QFile f(db());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }

        run = importSample("50010203", true);
        QVERIFY2(run.status == 1, qPrintable(run.err));
        QVERIFY(run.err.contains("-> Yes\n"));
    }

    void yearsThenExportOfTheFirstYear() {
        Run run = cli(withFolder({"years", db()}));
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines) {
            QCOMPARE(line.count('\t'), 1);
        }
        const QString year = lines.first().section('\t', 1);

        // A main table without its elements table is named as the system writes paths.
        const QString alone = folder_ + "/alone";
        QVERIFY(QDir().mkpath(alone));
        QVERIFY(QFile::copy(db(), alone + "/les03.db"));
        run = cli(withFolder({"years", alone + "/les03.db"}));
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("Не найден файл по элементам леса:\n" +
                                  QDir::toNativeSeparators(alone + "/les03Сост.db") + "\n"),
                 qPrintable(run.err));

        const QString output = folder_ + "/export.txt";
        run = cli(withFolder({"export", db(), year, output}));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.startsWith("[information] Экспорт выполнен\n"), qPrintable(run.err));
        QVERIFY(QFileInfo(output).size() > 0);

        // The file exists now: without --overwrite the question is answered No and nothing runs.
        run = cli(withFolder({"export", db(), year, output}));
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.contains("[question] Перезаписать файл?\n"));
        QVERIFY(run.err.contains("-> No\n"));
        QVERIFY(QFile::exists(output));

        run = cli(
            withFolder({"export", db(), year, output, "--overwrite", "--decimal-separator", ","}));
        QCOMPARE(run.status, 0);
    }

    void formThenCheck() {
        const QString nsi = folder_ + "/nsi";
        QDir().mkpath(nsi);
        for (const QString& name : QDir(SourceDir() + "/data/nsi").entryList({"*.000"})) {
            QVERIFY(QFile::copy(SourceDir() + "/data/nsi/" + name, nsi + "/" + name));
        }
        // A named folder that does not exist is made; a run refused (here for want of a
        // dictionary) leaves none behind.
        const QString target = folder_ + "/named/sprav";
        Run run = cli({"--program-folder", folder_ + "/nsi", "form", nsi, target});
        QCOMPARE(run.status, 2);
        QVERIFY(!QFileInfo::exists(target));
        run = cli(withFolder({"form", nsi, target}));
        QVERIFY2(run.status == 0 || run.status == 1, qPrintable(run.err));
        QVERIFY(QFile::exists(target + "/sptab.db"));
        QVERIFY(QFile::exists(target + "/spfield.db"));

        run = cli(withFolder({"check", db(), target}));
        QVERIFY2(run.status == 0 || run.status == 1, qPrintable(run.err));
        QCOMPARE(QFile::exists(folder_ + "/reports/проверка.txt"), run.status == 1);

        run = cli(withFolder({"check", folder_ + "/missing.db", target}));
        QCOMPARE(run.status, 2);
    }

    // validate: the import's own report text per file, nothing left behind, the worst status.
    void validate_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("status");
        QTest::newRow("clean") << QStringList{"clean"} << false << 0;
        QTest::newRow("faults of several sections") << QStringList{"sample"} << false << 1;
        QTest::newRow("missing") << QStringList{"missing"} << false << 2;
        QTest::newRow("a folder") << QStringList{"folder"} << false << 2;
        QTest::newRow("empty") << QStringList{"empty"} << false << 2;
        QTest::newRow("a stand repeated") << QStringList{"repeated"} << false << 2;
        QTest::newRow("clean and faults") << QStringList{"clean", "sample"} << false << 1;
        QTest::newRow("worst of three") << QStringList{"missing", "clean", "sample"} << false << 2;
        // The name arrives whole through the command line and comes back whole on the output.
        QTest::newRow("Cyrillic path") << QStringList{"cyrillic"} << false << 0;
        // Installed: bin/ and share/dovi2tarvel/ with the dictionary, no --program-folder.
        QTest::newRow("installed") << QStringList{"clean"} << true << 0;
    }

    void validate() {
        QFETCH(QStringList, files);
        QFETCH(bool, installed);
        QFETCH(int, status);
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QString sources = scratch.filePath("sources");
        const QString tmp = scratch.filePath("tmp");
        QVERIFY(QDir().mkpath(sources) && QDir().mkpath(tmp) && QDir().mkpath(sources + "/d"));
        const QByteArray stands = QByteArray("\t\r\n").repeated(7) +
                                  "\r\nKV=1\tVYDEL=1\tPL=90\t\r\n\r\nKV=1\tVYDEL=2\tPL=125\t\r\n";
        QFile clean(sources + "/clean.txt");
        QVERIFY(clean.open(QIODevice::WriteOnly));
        clean.write(stands);
        clean.close();
        // The import fails on the primary key: no count, as an unread file.
        QFile repeated(sources + "/repeated.txt");
        QVERIFY(repeated.open(QIODevice::WriteOnly));
        repeated.write(stands + "\r\nKV=1\tVYDEL=2\t\r\n");
        repeated.close();
        QVERIFY(QDir().mkpath(sources + "/Лесничество"));
        const QString cyrillic = sources + "/Лесничество/Выделы №3.txt";
        QVERIFY(QFile::copy(clean.fileName(), cyrillic));
        QFile empty(sources + "/empty.txt");
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        const QMap<QString, QString> paths{{"clean", clean.fileName()},
                                           {"sample", sampleDovi()},
                                           {"missing", sources + "/missing.txt"},
                                           {"folder", sources + "/d"},
                                           {"empty", empty.fileName()},
                                           {"repeated", repeated.fileName()},
                                           {"cyrillic", cyrillic}};

        QStringList args{"validate"};
        QStringList expected;
        for (const QString& file : files) {
            args << paths[file];
            const QString shown = QFileInfo(paths[file]).absoluteFilePath();
            QStringList block{"Файл: " + QDir::toNativeSeparators(shown)};
            if (file == "clean" || file == "cyrillic") {
                block << "Количество выделов: 2";
            } else if (file == "sample") {
                // The report the import writes for the same file, headed by the file instead.
                const QString db = scratch.filePath("imported.db");
                QCOMPARE(cli(withFolder({"import", sampleDovi(), db, "--leshoz", "50010203",
                                         "--lesnich", "3"}))
                             .status,
                         1);
                const QStringList report = converter::ReadTextLines(
                    scratch.filePath("imported_rep.txt"), converter::TextCodec::Windows1251);
                QVERIFY(report.count(QString()) >= 6);  // two sections or more
                block << report.mid(1) << "Количество выделов: 35";
            }
            expected << block.join('\n') + '\n';
        }

        QString program = PROGRAM_DIR "/dovi2tarvel-cli";
        if (installed) {
            // The installed layout: on Linux share/dovi2tarvel beside bin/, on Windows the
            // program's own folder.
            const QString data =
                QDir::cleanPath(scratch.filePath("usr/bin/" INSTALLED_DATA_FOLDER_FROM_BIN));
            QVERIFY(QDir().mkpath(data) && QDir().mkpath(scratch.filePath("usr/bin")));
            QVERIFY(QFile::copy(folder_ + "/sprav.mdb", data + "/sprav.mdb"));
            program = scratch.filePath("usr/bin/dovi2tarvel-cli" EXECUTABLE_SUFFIX);
            QVERIFY(QFile::copy(PROGRAM_DIR "/dovi2tarvel-cli" EXECUTABLE_SUFFIX, program));
        } else {
            args << "--program-folder" << folder_;
        }
        const QStringList before = listing(folder_) + listing(sources);
        const Run run = cli(args, program, {"TMPDIR=" + tmp});
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, expected.join('\n'));
        QCOMPARE(listing(folder_) + listing(sources), before);
        QCOMPARE(listing(tmp), QStringList());
        if (files.contains("missing")) {
            QVERIFY2(run.err.contains("[warning] Converter\nНе найден файл:\n" +
                                      QDir::toNativeSeparators(paths["missing"])),
                     qPrintable(run.err));
        }
    }

    void dumpOfTablesAndOfADamagedFile() {
        Run run = cli({"dump", db()});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 36);  // header and 35 stands
        QVERIFY(lines.first().split('\t').contains("KV"));

        run = cli({"dump", folder_ + "/sprav.mdb", "makets"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.count('\n') > 1);

        const QString damaged = folder_ + "/damaged.db";
        QFile source(db());
        QVERIFY(source.open(QIODevice::ReadOnly));
        QFile target(damaged);
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write(source.read(300));
        target.close();
        run = cli({"dump", damaged});
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.startsWith(damaged + ": "));
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
