#include "common/failure.h"
#include "common/qt_compat.h"
#include "common/text_file.h"
#include "import/dovi_file.h"
#include "import/dovi_number.h"
#include "support/fake_ui.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace converter;
using converter::testing::FakeUi;

namespace {

// The items of a line as "NAME=VALUE", "no =" or "two =".
QStringList Items(const QString& line, bool* elementLine = nullptr) {
    DoviLine split;
    SplitDoviLine(line, split);
    if (elementLine) {
        *elementLine = split.elementLine;
    }
    QStringList items;
    for (const DoviItem& item : split.items) {
        switch (item.kind) {
            case DoviItem::Kind::Pair:
                items.append(item.name.toString() + "=" + item.value.toString());
                break;
            case DoviItem::Kind::MissingEquals:
                items.append("no =");
                break;
            case DoviItem::Kind::MissingTab:
                items.append("two =");
                break;
        }
    }
    return items;
}

}  // namespace

class TestDoviFile : public QObject {
    Q_OBJECT

private slots:
    void splitting_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("elementLine");
        QTest::addColumn<QStringList>("items");

        QTest::newRow("element line with one pair")
            << "M#10\tE1=12\t" << true << QStringList{"E1=12"};
        QTest::newRow("other markers are skipped")
            << "M#3\tP1=1\tM#11\t" << false << QStringList{"P1=1"};
        QTest::newRow("M#100 is an element line too") << "M#100\t" << true << QStringList{};
        QTest::newRow("missing equals and missing tab")
            << "P1\tA=1B=2\tC=3" << false << QStringList{"no =", "two =", "C=3"};
        QTest::newRow("items trimmed, name and value kept apart")
            << "  KV=12 \t VYDEL= 3\t\t" << false << QStringList{"KV=12", "VYDEL= 3"};
        QTest::newRow("empty value") << "P1=\t=5" << false << QStringList{"P1=", "=5"};
    }

    void splitting() {
        QFETCH(QString, line);
        QFETCH(bool, elementLine);
        QFETCH(QStringList, items);
        bool isElementLine = false;
        QCOMPARE(Items(line, &isElementLine), items);
        QCOMPARE(isElementLine, elementLine);
    }

    void readingTrimsBlanksKeepsTabsAndCountsLines() {
        QTemporaryDir dir;
        const QString path = dir.filePath("les.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // CR LF, a lone CR, a lone LF, a last line without an end and DOS end marks.
        file.write(EncodeText("\t\r\n  \r \t \t\n  KV=1\tПОР=ель\t  \n\r\n end \x1A\x1A",
                              TextCodec::Windows1251));
        file.close();

        FakeUi ui;
        DoviLines lines;
        QCOMPARE(ReadDoviFile(ui, path, lines), DoviReadResult::Read);
        // Tabs and blanks alone make an empty line, which ends a stand.
        QCOMPARE(lines.toList(), QStringList({"", "", "", "KV=1\tПОР=ель\t", "", "end"}));
        QVERIFY(ui.messages.isEmpty());
    }

    // Lines are read from the file through a window of a megabyte: lines across its edges and a
    // line longer than it come whole; a file written to after it was opened is refused, and one
    // cut short is a read error when a line beyond its new end is asked for, never a crash or a
    // line made up.
    void readingThroughTheWindowAndAfterTheFileChanged() {
        QTemporaryDir dir;
        const QString path = dir.filePath("les.txt");
        QStringList expected;
        QByteArray bytes;
        for (int i = 0; i < 60000; ++i) {
            const QString line = i == 30000 ? QString(1500000, QLatin1Char('X'))
                                            : QStringLiteral("KV=%1\tВЫД=%2").arg(i).arg(i % 97);
            expected.append(line);
            bytes += EncodeText(line, TextCodec::Windows1251) + (i % 2 != 0 ? "\r\n" : "\n");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();

        FakeUi ui;
        DoviLines lines;
        QCOMPARE(ReadDoviFile(ui, path, lines), DoviReadResult::Read);
        QCOMPARE(lines.toList(), expected);
        QCOMPARE(lines[1], expected[1]);

        // An edit in place that keeps the size is seen by the modification time.
        lines.checkUnchanged();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY_THROWS_EXCEPTION(Failure, lines.checkUnchanged());
        QVERIFY(file.resize(bytes.size() / 2));
        QCOMPARE(lines[2], expected[2]);
        try {
            lines.last();
            QFAIL("no failure");
        } catch (const Failure& failure) {
            QVERIFY(failure.description().startsWith("Ошибка при чтении файла: " + path));
        }
    }

    void readingEmptyOrMissingFiles() {
        QTemporaryDir dir;
        QFile empty(dir.filePath("empty.txt"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        FakeUi ui;
        DoviLines lines;
        QCOMPARE(ReadDoviFile(ui, dir.filePath("empty.txt"), lines), DoviReadResult::Empty);
        QCOMPARE(ReadDoviFile(ui, dir.filePath("absent.txt"), lines), DoviReadResult::Missing);
        QVERIFY(ui.messages.isEmpty());
    }

    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plain");  // empty: not a number
        QTest::addColumn<QString>("tenth");  // divided by ten, one decimal, half to even
        QTest::addColumn<int>("whole");      // rounded half to even

        QTest::newRow("12") << "12"
                            << "12"
                            << "1.2" << 12;
        QTest::newRow("125") << "125"
                             << "125"
                             << "12.5" << 125;
        QTest::newRow("comma") << "2,5"
                               << "2.5"
                               << "0.2" << 2;
        QTest::newRow("tie up to even") << "3.5"
                                        << "3.5"
                                        << "0.4" << 4;
        QTest::newRow("above the tie") << "2.51"
                                       << "2.51"
                                       << "0.3" << 3;
        QTest::newRow("carry") << "99.5"
                               << "99.5"
                               << "10" << 100;
        QTest::newRow("negative") << "-7"
                                  << "-7"
                                  << "-0.7" << -7;
        QTest::newRow("minus zero") << "-0"
                                    << "0"
                                    << "0" << 0;
        QTest::newRow("minus zero with decimals") << "-0,00"
                                                  << "0"
                                                  << "0" << 0;
        QTest::newRow("negative zero") << "-0.4"
                                       << "-0.4"
                                       << "0" << 0;
        QTest::newRow("signs and blanks") << " +007 "
                                          << "7"
                                          << "0.7" << 7;
        QTest::newRow("leading point") << ".5"
                                       << "0.5"
                                       << "0" << 0;
        QTest::newRow("letters") << "1A"
                                 << ""
                                 << "" << 0;
        QTest::newRow("exponent") << "1E3"
                                  << ""
                                  << "" << 0;
        QTest::newRow("empty") << ""
                               << ""
                               << "" << 0;
        QTest::newRow("sign only") << "-"
                                   << ""
                                   << "" << 0;
        QTest::newRow("two separators") << "1.2.3"
                                        << ""
                                        << "" << 0;
        QTest::newRow("inner blank") << "1 2"
                                     << ""
                                     << "" << 0;
        // The short way (straight into a double) must give what the long way's text gives.
        QTest::newRow("tie down to even") << "14.5"
                                          << "14.5"
                                          << "1.4" << 14;
        QTest::newRow("trailing point") << "-5."
                                        << "-5"
                                        << "-0.5" << -5;
        QTest::newRow("15 digits") << "123456789012.345"
                                   << "123456789012.345"
                                   << "12345678901.2" << 0;
        QTest::newRow("16 digits") << "1234567890123.456"
                                   << "1234567890123.456"
                                   << "123456789012.3" << 0;
        QTest::newRow("32 characters") << "0.000000000000000000000000000001"
                                       << "0.000000000000000000000000000001"
                                       << "0" << 0;
    }

    void numbers() {
        QFETCH(QString, text);
        QFETCH(QString, plain);
        QFETCH(QString, tenth);
        QFETCH(int, whole);
        const std::optional<DoviNumber> number = ParseDoviNumber(text);
        const std::optional<double> shortPlain = PlainDecimalValue(text);
        const std::optional<double> shortTenth = PlainDecimalTenth(text);
        if (plain.isEmpty()) {
            QVERIFY(!number.has_value());
            QVERIFY(!shortPlain && !shortTenth);
            return;
        }
        QVERIFY(number.has_value());
        QCOMPARE(DoviNumberText(*number), plain);
        QCOMPARE(DoviNumberText(DivideByTenRounded(*number)), tenth);
        if (std::abs(number->digits.toDouble()) < 1e9) {
            QCOMPARE(DoviNumberToInt32(*number), std::optional<qint32>(whole));
        }
        // Bit for bit, so that a "-0" would show; declining is allowed only beyond the limits.
        const auto bits = [](double value) {
            return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
        };
        if (text.size() <= 31) {
            QVERIFY(shortPlain.has_value());
            QCOMPARE(bits(*shortPlain), bits(QLocale::c().toDouble(plain)));
        } else {
            QVERIFY(!shortPlain.has_value());
        }
        if (number->digits.size() <= 15) {
            QVERIFY(shortTenth.has_value());
            QCOMPARE(bits(*shortTenth), bits(QLocale::c().toDouble(tenth)));
        } else {
            QVERIFY(!shortTenth.has_value());
        }
    }

    void wholeNumbersBeyond32Bits() {
        QVERIFY(!DoviNumberToInt32(*ParseDoviNumber(u"2147483648")).has_value());
        QCOMPARE(DoviNumberToInt32(*ParseDoviNumber(u"-2147483648")),
                 std::optional<qint32>(-2147483647 - 1));
        QVERIFY(!DoviNumberToInt32(*ParseDoviNumber(u"123456789012345678901234567890")));
    }
};

QTEST_GUILESS_MAIN(TestDoviFile)
#include "tst_dovi_file.moc"
