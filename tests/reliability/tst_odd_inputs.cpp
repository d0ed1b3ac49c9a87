// Big and odd inputs: each ends with the program's own behaviour or a clear message, never a
// crash, and what is read is what the file says.
#include "reliability_fixture.h"

#include "export/export_commands.h"
#include "export/export_writer.h"
#include "formation/fill_sptab.h"
#include "import/dovi_file.h"
#include "storage/database.h"

#include <QRandomGenerator>
#include <QtTest>

#include <functional>

#include <sys/stat.h>

using namespace converter;
using namespace converter::testing;

namespace {

QByteArray SampleBytes() {
    return FileBytes(ProgramFixture::SampleDoviFile());
}

// Only the first: the sample repeats most items in every stand.
void ReplaceFirst(QByteArray& bytes, const QByteArray& what, const QByteArray& with) {
    const qsizetype at = bytes.indexOf(what);
    QVERIFY(at >= 0);
    bytes.replace(at, what.size(), with);
}

using Rows = std::vector<std::vector<QVariant>>;

Rows TableRows(const QString& dbPath) {
    const paradox::ParadoxTable table = paradox::ParadoxTable::Load(dbPath);
    Rows rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        std::vector<QVariant> row;
        for (int f = 0; f < table.fieldCount(); ++f) {
            row.push_back(table.decodeValue(table.row(r), f));
        }
        rows.push_back(row);
    }
    return rows;
}

// Rewrites the table with `column` of another stored type, its values converted by `convert`.
void RetypeColumn(const QString& dbPath, const QString& column, std::uint8_t type,
                  std::uint8_t size, const std::function<QVariant(const QVariant&)>& convert) {
    const paradox::ParadoxTable old = paradox::ParadoxTable::Load(dbPath);
    std::vector<paradox::ParadoxField> fields;
    int retyped = -1;
    for (int f = 0; f < old.fieldCount(); ++f) {
        const paradox::ParadoxField& field = old.fields()[static_cast<size_t>(f)];
        if (field.name.compare(column, Qt::CaseInsensitive) == 0) {
            retyped = f;
            fields.push_back(paradox::MakeField(field.name, type, size));
        } else {
            fields.push_back(paradox::MakeField(field.name, field.type, field.sizeByte));
        }
    }
    QVERIFY(retyped >= 0);
    paradox::ParadoxTable table(dbPath, fields);
    table.setKeyFieldCount(old.keyFieldCount());
    QByteArray record(table.recordSize(), '\0');
    for (int r = 0; r < old.rowCount(); ++r) {
        record.fill('\0');
        for (int f = 0; f < old.fieldCount(); ++f) {
            const QVariant value = old.decodeValue(old.row(r), f);
            table.encodeValue(record.data(), f, f == retyped ? convert(value) : value);
        }
        table.appendRow(record.constData());
    }
    table.save();
}

}  // namespace

class TestOddInputs : public QObject {
    Q_OBJECT

private slots:
    // Line ends of other systems, end marks and padding, and a file saved as UTF-8 read as the
    // same stands.
    void lineEndsAndEncodings_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("sameRows");
        QByteArray crOnly = SampleBytes();
        crOnly.replace("\r\n", "\r");
        QByteArray lfOnly = SampleBytes();
        lfOnly.replace("\r\n", "\n");
        QTest::newRow("CR only") << crOnly << true;
        QTest::newRow("LF only") << lfOnly << true;
        // The file is read through a window of 1 MiB, from its end back to the text.
        const qsizetype window = 1024 * 1024;
        QByteArray mixed;
        while (mixed.size() < 2 * window + 3) {
            mixed += QByteArray("\0\x1A\0\0\x1A", 5);
        }
        QTest::newRow("NUL padding then an end mark")
            << SampleBytes() + QByteArray(4096, '\0') + "\x1A" << true;
        QTest::newRow("end marks and NULs mixed")
            << SampleBytes() + QByteArray("\x1A\0\x1A\x1A\0", 5) << true;
        QTest::newRow("1 MiB of NUL padding") << SampleBytes() + QByteArray(window, '\0') << true;
        QTest::newRow("1 MiB and one byte of NUL padding")
            << SampleBytes() + QByteArray(window + 1, '\0') << true;
        QTest::newRow("over 2 MiB of mixed padding") << SampleBytes() + mixed << true;
        QTest::newRow("UTF-8") << DecodeText(SampleBytes(), TextCodec::Windows1251).toUtf8()
                               << false;
    }
    void lineEndsAndEncodings() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, sameRows);
        ProgramFixture fixture;
        FakeUi reference;
        const QString expected = fixture.path(QStringLiteral("expected.db"));
        QVERIFY(ProgramFixture::Import(reference, ProgramFixture::SampleDoviFile(), expected));

        const QString text = fixture.path(QStringLiteral("odd.txt"));
        WriteBytes(text, bytes);
        FakeUi ui;
        const QString db = fixture.path(QStringLiteral("odd.db"));
        bool hadErrors = false;
        QVERIFY(ProgramFixture::Import(ui, text, db, &hadErrors));
        const Rows rows = TableRows(db);
        QCOMPARE(rows.size(), TableRows(expected).size());
        if (sameRows) {
            QCOMPARE(hadErrors, !reference.report.isEmpty());
            QCOMPARE(QString(ui.report).replace(db, expected), reference.report);
            QCOMPARE(rows, TableRows(expected));
            QCOMPARE(TableRows(ProgramFixture::ElementsPath(db)),
                     TableRows(ProgramFixture::ElementsPath(expected)));
        } else {
            // Cyrillic values read as other letters are faults of the data, reported.
            QVERIFY(hadErrors);
            QVERIFY(!ui.report.isEmpty());
        }
    }

    // Binary garbage and a 1 MB line end in a message or a report, not a crash. A file with NUL
    // bytes (other than trailing padding) is not text: it is refused and the old database kept.
    void garbageAndLongLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("refused");
        QByteArray garbage(256 * 1024, '\0');
        QRandomGenerator random(10);
        for (char& c : garbage) {
            c = static_cast<char>(random.bounded(256));
        }
        QTest::newRow("binary garbage") << garbage << true;
        QTest::newRow("zero bytes") << QByteArray(100000, '\0') << true;
        QTest::newRow("one NUL inside the text") << SampleBytes().insert(200, '\0') << true;
        QTest::newRow("a NUL and an end mark inside the text")
            << SampleBytes().insert(200, QByteArray("\0\x1A", 2)) << true;
        QTest::newRow("padding without text") << QByteArray("\x1A\0\x1A", 3) << true;
        QTest::newRow("NUL padding after the text")
            << SampleBytes() + QByteArray(4096, '\0') << false;
        QByteArray longValue = SampleBytes();
        ReplaceFirst(longValue, "NP=", "NP=" + QByteArray(1024 * 1024, 'X'));
        QTest::newRow("1 MB value") << longValue << false;
        QByteArray longName = SampleBytes();
        ReplaceFirst(longName, "KV=1\t", QByteArray(1024 * 1024, 'K') + "=1\tKV=1\t");
        QTest::newRow("1 MB name") << longName << false;
        QByteArray manyItems = SampleBytes();
        QByteArray items;
        while (items.size() < 1024 * 1024) {
            items += "PL=5\t";
        }
        ReplaceFirst(manyItems, "PL=90\t", items);
        QTest::newRow("1 MB of items") << manyItems << false;
    }
    void garbageAndLongLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, refused);
        ProgramFixture fixture;
        const QString text = fixture.path(QStringLiteral("odd.txt"));
        WriteBytes(text, bytes);
        const QString db = fixture.path(QStringLiteral("odd.db"));
        FakeUi oldUi;
        QVERIFY(ProgramFixture::Import(oldUi, ProgramFixture::SampleDoviFile(), db));
        const auto before = FolderPicture(fixture.path(QString()));
        FakeUi ui;
        bool hadErrors = false;
        const bool done = ProgramFixture::Import(ui, text, db, &hadErrors);
        if (refused) {
            QVERIFY(!done);
            QCOMPARE(
                ui.messageTexts(),
                QStringList{QStringLiteral("Файл не является текстовым файлом ДОВИ:\r") + text});
            QCOMPARE(FolderPicture(fixture.path(QString())), before);
        } else if (done) {
            // Without a stand in it, the file gives an empty database and nothing to report.
            QVERIFY(hadErrors || TableRows(db).empty());
            QCOMPARE(hadErrors, !ui.report.isEmpty());
        } else {
            QVERIFY(!ui.messages.isEmpty());
        }
        QCOMPARE(UnreadableTables(fixture.path(QString())), QStringList());
    }

    // An output that is one of the operation's own inputs is refused before anything is written.
    void outputThatIsAnInput_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("output");
        QTest::newRow("export onto the main table") << "export"
                                                    << "les.db";
        QTest::newRow("export onto the elements table") << "export"
                                                        << "lesСост.db";
        QTest::newRow("export onto an index in upper case") << "export"
                                                            << "LES.PX";
        QTest::newRow("export onto the dictionary") << "export"
                                                    << "sprav.mdb";
        QTest::newRow("export through a link to the table") << "export"
                                                            << "link.txt";
        QTest::newRow("import onto its source") << "import"
                                                << "source.txt";
        QTest::newRow("import onto the dictionary") << "import"
                                                    << "sprav.mdb";
        QTest::newRow("export onto the office's dictionary") << "export"
                                                             << "office/sprav.mdb";
        QTest::newRow("import onto the office's dictionary") << "import"
                                                             << "office/SPRAV.MDB";
        QTest::newRow("import whose report is its source") << "import"
                                                           << "source.db";
    }
    void outputThatIsAnInput() {
        QFETCH(QString, operation);
        QFETCH(QString, output);
        ProgramFixture fixture;
        const QString db = fixture.path(QStringLiteral("les.db"));
        FakeUi setupUi;
        QVERIFY(ProgramFixture::Import(setupUi, ProgramFixture::SampleDoviFile(), db));
        QVERIFY(QFile::link(db, fixture.path(QStringLiteral("link.txt"))));
        // "source_rep.txt" is the report of a database "source.db".
        const QString source =
            fixture.path(output == QLatin1String("source.db") ? QStringLiteral("source_rep.txt")
                                                              : QStringLiteral("source.txt"));
        QFile::copy(ProgramFixture::SampleDoviFile(), source);
        if (output.startsWith("office/")) {
            SetOfficeFolders(QStringList{fixture.makeFolder("office")});
            QVERIFY(QFile::copy(fixture.path("sprav.mdb"), fixture.path(output)));
        }
        const auto before = FolderPicture(fixture.path(QString()));

        FakeUi ui;
        const QString target = fixture.path(output);
        if (operation == QLatin1String("export")) {
            QVERIFY(!ExportCurrentChanges(ui, {target, db, ProgramFixture::ElementsPath(db),
                                               ProgramFixture::FirstYear(db), 0}));
        } else {
            QVERIFY(!ProgramFixture::Import(ui, source, target));
        }
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.lastMessage().text.startsWith(
                     QStringLiteral("Файл результата совпадает с исходным файлом:")),
                 qPrintable(ui.lastMessage().text));
        QCOMPARE(FolderPicture(fixture.path(QString())), before);
    }

    // A Dovi file that another program changes while the import reads it (the person may work
    // while the import lets events run) is refused, and the old database stays.
    void doviFileChangedDuringImport_data() {
        QTest::addColumn<bool>("sameSize");
        QTest::newRow("a line appended") << false;
        QTest::newRow("rewritten at the same size") << true;
    }
    void doviFileChangedDuringImport() {
        QFETCH(bool, sameSize);
        ProgramFixture fixture;
        const QString db = fixture.makeFolder(QStringLiteral("db")) + QStringLiteral("/les.db");
        FakeUi oldUi;
        QVERIFY(ProgramFixture::Import(oldUi, ProgramFixture::SampleDoviFile(), db));
        const auto before = FolderPicture(fixture.path(QStringLiteral("db")));
        const QString text = fixture.path(QStringLiteral("source.txt"));
        const QByteArray sample = FileBytes(ProgramFixture::SampleDoviFile());
        WriteBytes(text, sample);

        FakeUi ui;
        ui.onProcessEvents = [&] {
            if (ui.eventsProcessed == 1) {
                QByteArray changed = sample;
                if (sameSize) {
                    changed[changed.lastIndexOf("KV=") + 3] = '9';
                } else {
                    changed += "KV=900\tVYDEL=1\t\r\n";
                }
                WriteBytes(text, changed);
            }
        };
        QVERIFY(!ProgramFixture::Import(ui, text, db));
        QVERIFY(ui.eventsProcessed > 0);
        QVERIFY2(ui.messageTexts()
                     .join(QLatin1Char(' '))
                     .contains(QStringLiteral("Файл был изменен во время импорта")),
                 qPrintable(ui.messageTexts().join(QStringLiteral(" | "))));
        QCOMPARE(FolderPicture(fixture.path(QStringLiteral("db"))), before);
    }

    // A value book of exactly the size limit is read (its padding is no text); the refusal of
    // one byte more is a row of unboundedValueBook.
    void valueBookOfTheSizeLimit() {
        ProgramFixture fixture;
        const QString books = fixture.makeFolder(QStringLiteral("nsi"));
        for (const QFileInfo& file :
             QDir(ProgramFixture::SampleValueBooks()).entryInfoList(QDir::Files)) {
            QFile::copy(file.filePath(), books + QLatin1Char('/') + file.fileName());
        }
        const QString plain = fixture.makeFolder(QStringLiteral("plain"));
        FakeUi plainUi;
        QVERIFY(ProgramFixture::Form(plainUi, plain, books));
        {
            // Sparse: NUL padding up to the limit.
            QFile file(books + QStringLiteral("/13000002.000"));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(kMaxValueBookSize));
        }
        FakeUi ui;
        const QString target = fixture.makeFolder(QStringLiteral("sprav"));
        QVERIFY2(ProgramFixture::Form(ui, target, books),
                 qPrintable(ui.messageTexts().join(QStringLiteral(" | "))));
        QCOMPARE(TableBytes(target + QStringLiteral("/sptab.db")),
                 TableBytes(plain + QStringLiteral("/sptab.db")));
    }

    // A value book that never ends, blocks or is far too big is refused with its name, and the
    // old reference tables stay.
    void unboundedValueBook_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("named pipe") << "pipe";
        QTest::newRow("folder") << "folder";
        QTest::newRow("64 MB and one byte") << "big";
    }
    void unboundedValueBook() {
        QFETCH(QString, kind);
        ProgramFixture fixture;
        const QString books = fixture.makeFolder(QStringLiteral("nsi"));
        for (const QFileInfo& file :
             QDir(ProgramFixture::SampleValueBooks()).entryInfoList(QDir::Files)) {
            QFile::copy(file.filePath(), books + QLatin1Char('/') + file.fileName());
        }
        const QString target = fixture.makeFolder(QStringLiteral("sprav"));
        FakeUi oldUi;
        QVERIFY(ProgramFixture::Form(oldUi, target, books));
        const auto before = FolderPicture(target);

        const QString book = books + QStringLiteral("/13000002.000");
        QVERIFY(QFile::remove(book));
        if (kind == QLatin1String("zero")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), book));
        } else if (kind == QLatin1String("pipe")) {
            QCOMPARE(::mkfifo(QFile::encodeName(book).constData(), 0600), 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(book));
        } else {
            // Sparse: the size counts, not the blocks.
            QFile file(book);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(kMaxValueBookSize + 1));
        }
        FakeUi ui;
        QVERIFY(!ProgramFixture::Form(ui, target, books));
        QVERIFY2(ui.messageTexts().join(QLatin1Char(' ')).contains(QStringLiteral("/13000002.000")),
                 qPrintable(ui.messageTexts().join(QStringLiteral(" | "))));
        QCOMPARE(FolderPicture(target), before);
        QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
    }

    // A million lines are read completely, and in bounded time.
    void millionLines() {
        ProgramFixture fixture;
        const QString text = fixture.path(QStringLiteral("big.txt"));
        {
            QFile file(text);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray chunk;
            for (int i = 0; i < 1000; ++i) {
                chunk += "KV=" + QByteArray::number(i) + "\tVYDEL=1\tPL=90\t\r\n";
            }
            for (int i = 0; i < 1000; ++i) {
                QCOMPARE(file.write(chunk), chunk.size());
            }
        }
        FakeUi ui;
        DoviLines lines;
        QCOMPARE(ReadDoviFile(ui, text, lines), DoviReadResult::Read);
        QCOMPARE(lines.size(), 1000000);
        QCOMPARE(lines.last(), QStringLiteral("KV=999\tVYDEL=1\tPL=90\t"));
    }

    // A value book of 100,000 lines gives 100,000 entries (and its "нет" row).
    void bigValueBook() {
        ProgramFixture fixture;
        const QString books = fixture.makeFolder(QStringLiteral("nsi"));
        for (const QFileInfo& file :
             QDir(ProgramFixture::SampleValueBooks()).entryInfoList(QDir::Files)) {
            QFile::copy(file.filePath(), books + QLatin1Char('/') + file.fileName());
        }
        const QString book = books + QStringLiteral("/13000002.000");
        const QStringList sample = ReadTextLines(book, TextCodec::Cp866);
        QVERIFY(!sample.isEmpty());
        QByteArray big;
        const QByteArray pattern = EncodeText(sample.first(), TextCodec::Cp866);
        for (int i = 1; i <= 100000; ++i) {
            QByteArray line = pattern;
            // The code of a standard line stands in columns 5 to 17.
            line.replace(4, 13, QByteArray::number(i).leftJustified(13, ' '));
            big += line + "\r\n";
        }
        WriteBytes(book, big);

        FakeUi ui;
        const QString target = fixture.makeFolder(QStringLiteral("sprav"));
        QVERIFY(ProgramFixture::Form(ui, target, books));
        RecordsetPtr sptab = OpenRecordset(
            BuildConnectionString(kParadoxFolder, target + QStringLiteral("/sptab.db")),
            QStringLiteral("SELECT * FROM [sptab] WHERE [SpNum] = 13000002"), kSourceSql);
        QCOMPARE(sptab->recordCount(), 100001);
    }

    // The change year stored in any type a table may hold: the year list and the export either
    // work or say why; numbers and digit texts give the years they hold.
    void changeYearOfEveryType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("keepsYears");
        using namespace paradox;
        QTest::newRow("short") << int(kShort) << 2 << true;
        QTest::newRow("long") << int(kLong) << 4 << true;
        QTest::newRow("number") << int(kNumber) << 8 << true;
        QTest::newRow("currency") << int(kCurrency) << 8 << true;
        QTest::newRow("bcd") << int(kBcd) << 2 << true;
        QTest::newRow("autoincrement") << int(kAutoIncrement) << 4 << false;
        QTest::newRow("alpha") << int(kAlpha) << 10 << true;
        QTest::newRow("logical") << int(kLogical) << 1 << false;
        QTest::newRow("date") << int(kDate) << 4 << false;
        QTest::newRow("time") << int(kTime) << 4 << false;
        QTest::newRow("timestamp") << int(kTimestamp) << 8 << false;
        QTest::newRow("bytes") << int(kBytes) << 4 << false;
    }
    void changeYearOfEveryType() {
        QFETCH(int, type);
        QFETCH(int, size);
        QFETCH(bool, keepsYears);
        ProgramFixture fixture;
        FakeUi importUi;
        const QString db = fixture.path(QStringLiteral("les.db"));
        QVERIFY(ProgramFixture::Import(importUi, ProgramFixture::SampleDoviFile(), db));
        FakeUi listUi;
        const std::optional<YearList> original = GetYearsList(listUi, db);
        QVERIFY(original && !original->entries.empty());

        int row = 0;
        RetypeColumn(db, QStringLiteral("AKTM"), static_cast<std::uint8_t>(type),
                     static_cast<std::uint8_t>(size), [&](const QVariant& year) -> QVariant {
                         ++row;
                         switch (type) {
                             case paradox::kAlpha:
                                 return year.toString();
                             case paradox::kLogical:
                                 return year.isNull() ? QVariant() : QVariant(row % 2 == 0);
                             case paradox::kDate:
                                 return QDate(2000 + year.toInt() % 100, 1, 1);
                             case paradox::kTime:
                                 return QTime(row % 24, 0);
                             case paradox::kTimestamp:
                                 return QDateTime(QDate(2020, 1, 1), QTime(1, 2));
                             case paradox::kBytes:
                                 return QByteArray("\x01\x02\x03\x04", 4);
                             case paradox::kAutoIncrement:
                                 return row;
                             default:
                                 return year;
                         }
                     });

        FakeUi ui;
        const std::optional<YearList> years = GetYearsList(ui, db);
        if (keepsYears) {
            QVERIFY(years);
            QCOMPARE(years->entries.size(), original->entries.size());
            for (size_t i = 0; i < years->entries.size(); ++i) {
                QCOMPARE(years->entries[i].value, original->entries[i].value);
            }
        } else if (type != paradox::kAutoIncrement) {
            // Values that are not whole numbers are refused with a message.
            QVERIFY(!ui.messages.isEmpty());
        }
        if (!years || years->entries.empty()) {
            QVERIFY(!ui.messages.isEmpty());
            return;
        }
        const QString output = fixture.path(QStringLiteral("out.txt"));
        FakeUi exportUi;
        const bool done = ExportCurrentChanges(
            exportUi, {output, db, ProgramFixture::ElementsPath(db), years->entries[0].value, 0});
        QCOMPARE(exportUi.messages.size(), 1);
        QCOMPARE(QFileInfo::exists(output), done);
    }
};

QTEST_GUILESS_MAIN(TestOddInputs)
#include "tst_odd_inputs.moc"
