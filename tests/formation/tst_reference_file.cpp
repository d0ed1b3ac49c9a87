#include "common/failure.h"
#include "common/qt_compat.h"
#include "formation/reference_file.h"

#include <QTest>

using namespace converter;

namespace {

NsiBook StandartBook(qint32 number = 12) {
    NsiBook book;
    book.Code = number;
    book.Type = QStringLiteral("standart");
    return book;
}

// Code in 1..4, short name in 6..10, name from 12 (to the end unless lenText is given).
NsiBook CustomBook(QVariant lenText = QVariant(), QVariant lenShort = 5) {
    NsiBook book;
    book.Code = 7;
    book.Type = QStringLiteral("custom");
    book.PosCode = 1;
    book.LenCode = 4;
    book.PosShort = 6;
    book.LenShort = lenShort;
    book.PosText = 12;
    book.LenText = lenText;
    return book;
}

}  // namespace

class TestReferenceFile : public QObject {
    Q_OBJECT

private slots:
    void codeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<int>("code");
        QTest::newRow("digits") << "123" << true << 123;
        QTest::newRow("signed") << "-45" << true << -45;
        QTest::newRow("plus") << "+7" << true << 7;
        QTest::newRow("comma fraction up") << "1,6" << true << 2;
        QTest::newRow("half to even down") << "2.5" << true << 2;
        QTest::newRow("half to even up") << "3,5" << true << 4;
        QTest::newRow("negative half") << "-2.5" << true << -2;
        QTest::newRow("leading point") << ".4" << true << 0;
        QTest::newRow("exponent") << "1e3" << true << 1000;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("cyrillic letter") << "1А" << false << 0;
        QTest::newRow("inner blank") << "1 2" << false << 0;
        QTest::newRow("two separators") << "1.2.3" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
    }

    void codeNumbers() {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(int, code);
        const auto result = ReadCodeNumber(text);
        QCOMPARE(result.has_value(), isNumber);
        if (isNumber) {
            QCOMPARE(*result, code);
        }
    }

    void codeOutsideRangeStopsTheRun_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("above") << "2147483648";
        QTest::newRow("below") << "-2147483649";
        QTest::newRow("rounded above") << "2147483647.5";
        QTest::newRow("huge exponent") << "1e999";
    }

    void codeOutsideRangeStopsTheRun() {
        QFETCH(QString, text);
        QVERIFY_THROWS_EXCEPTION(Failure, ReadCodeNumber(text));
    }

    void standartLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fault");
        QTest::newRow("full") << "    " + QStringLiteral("       101   ") + "  Сосна обыкновенная  "
                              << 101 << "Сосна обыкновенная"
                              << "";
        QTest::newRow("11 characters") << "    1234567" << 1234567 << ""
                                       << "";
        QTest::newRow("17 characters") << "    12         34" << 0 << ""
                                       << "12 - строка 9 - 12         34";
        QTest::newRow("name glued to code") << "    0000000000042Дуб" << 42 << "Дуб"
                                            << "";
        QTest::newRow("blank code") << QString(17, QLatin1Char(' ')) + "Без кода" << 0 << "Без кода"
                                    << "12 - строка 9 - ";
        QTest::newRow("letter code") << "    1А           Ель" << 0 << "Ель"
                                     << "12 - строка 9 - 1А";
    }

    void standartLines() {
        QFETCH(QString, line);
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(QString, fault);
        const ReferenceLine read = ReadReferenceLine(line, StandartBook(), BookLayout::Standart, 9);
        QCOMPARE(read.entry.SpNum, 12);
        QCOMPARE(read.entry.Code, code);
        QCOMPARE(read.entry.Name, name);
        QCOMPARE(read.entry.ShortName, QString());
        QCOMPARE(read.codeFault, fault);
    }

    void customLines_data() {
        QTest::addColumn<QVariant>("lenText");
        QTest::addColumn<QVariant>("lenShort");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<QString>("name");
        QTest::newRow("all present")
            << QVariant(6) << QVariant(5) << "  15 СОС   Сосна обычная" << 15 << "СОС"
            << "Сосна";
        QTest::newRow("empty LenText: to the end")
            << QVariant() << QVariant(5) << "  15 СОС   Сосна обычная  " << 15 << "СОС"
            << "Сосна обычная";
        QTest::newRow("empty LenShort: no short names")
            << QVariant() << QVariant() << "  15 СОС   Сосна" << 15 << ""
            << "СОС   Сосна";
        QTest::newRow("line ends just before name")
            << QVariant() << QVariant(5) << "  15 СОС   " << 15 << "СОС"
            << "";
        QTest::newRow("name start beyond the end")
            << QVariant(10) << QVariant(5) << "  15 СОС" << 15 << "СОС"
            << "";
    }

    void customLines() {
        QFETCH(QVariant, lenText);
        QFETCH(QVariant, lenShort);
        QFETCH(QString, line);
        QFETCH(int, code);
        QFETCH(QString, shortName);
        QFETCH(QString, name);
        NsiBook book = CustomBook(lenText, lenShort);
        if (lenShort.isNull()) {
            book.PosShort = QVariant();  // not read when there are no short names
            book.PosText = 6;
        }
        const ReferenceLine read = ReadReferenceLine(line, book, BookLayout::Custom, 1);
        QCOMPARE(read.entry.SpNum, 7);
        QCOMPARE(read.entry.Code, code);
        QCOMPARE(read.entry.ShortName, shortName);
        QCOMPARE(read.entry.Name, name);
        QVERIFY(read.codeFault.isEmpty());
    }

    void badCustomLayoutStopsTheRun_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("PosCode empty") << "PosCode" << QVariant() << "  15 СОС   Сосна";
        QTest::newRow("PosCode zero") << "PosCode" << QVariant(0) << "  15 СОС   Сосна";
        QTest::newRow("LenCode empty") << "LenCode" << QVariant() << "  15 СОС   Сосна";
        QTest::newRow("LenCode negative") << "LenCode" << QVariant(-1) << "  15 СОС   Сосна";
        QTest::newRow("PosText empty") << "PosText" << QVariant() << "  15 СОС   Сосна";
        QTest::newRow("PosShort empty with LenShort")
            << "PosShort" << QVariant() << "  15 СОС   Сосна";
        QTest::newRow("PosText not a number")
            << "PosText" << QVariant(QStringLiteral("x")) << "  15 СОС   Сосна";
        // Name to the end of the line, but the line stops two characters before it starts.
        QTest::newRow("negative name length") << "" << QVariant() << "  15 СОС  ";
    }

    void badCustomLayoutStopsTheRun() {
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, line);
        NsiBook book = CustomBook();
        if (column == QLatin1String("PosCode"))
            book.PosCode = value;
        if (column == QLatin1String("LenCode"))
            book.LenCode = value;
        if (column == QLatin1String("PosText"))
            book.PosText = value;
        if (column == QLatin1String("PosShort"))
            book.PosShort = value;
        QVERIFY_THROWS_EXCEPTION(Failure, ReadReferenceLine(line, book, BookLayout::Custom, 1));
    }

    void dictionaryValuesAsText() {
        // A dictionary may keep the positions as texts; they read like the codes.
        NsiBook book = CustomBook();
        book.PosCode = QStringLiteral(" 1 ");
        book.LenCode = QStringLiteral("4");
        const ReferenceLine read =
            ReadReferenceLine(QStringLiteral("  15 СОС   Сосна"), book, BookLayout::Custom, 1);
        QCOMPARE(read.entry.Code, 15);
    }

    void bookTypes_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("layout");  // -1: undetermined
        QTest::newRow("standart") << "standart" << int(BookLayout::Standart);
        QTest::newRow("Standart") << "Standart" << int(BookLayout::Standart);
        QTest::newRow("CUSTOM") << "CUSTOM" << int(BookLayout::Custom);
        QTest::newRow("std") << "std" << -1;
        QTest::newRow("padded") << "custom " << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void bookTypes() {
        QFETCH(QString, type);
        QFETCH(int, layout);
        NsiBook book;
        book.Type = type;
        const auto result = BookLayoutOf(book);
        QCOMPARE(result ? int(*result) : -1, layout);
    }

    void fileNames() {
        QCOMPARE(ReferenceFilePath(QStringLiteral("/data/nsi"), 12),
                 QStringLiteral("/data/nsi/12.000"));
        // A folder picked in the dialog ends with its separator; the name keeps both.
        QCOMPARE(ReferenceFilePath(QStringLiteral("/data/nsi/"), 13000002),
                 QStringLiteral("/data/nsi//13000002.000"));
    }
};

QTEST_GUILESS_MAIN(TestReferenceFile)
#include "tst_reference_file.moc"
