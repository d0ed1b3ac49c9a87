#include "common/failure.h"
#include "common/qt_compat.h"
#include "common/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;

namespace {
QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
}  // namespace

class TestTextFile : public QObject {
    Q_OBJECT
private slots:
    void codePagesKnowCyrillic_data() {
        QTest::addColumn<int>("codec");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        const QString sample = QStringLiteral("Ель ёЁ №5 Я");
        QTest::newRow("windows-1251") << int(TextCodec::Windows1251) << sample
                                      << QByteArray(
                                             "\xC5\xEB\xFC \xB8\xA8 \xB9"
                                             "5 \xDF");
        QTest::newRow("cp866") << int(TextCodec::Cp866) << sample
                               << QByteArray(
                                      "\x85\xAB\xEC \xF1\xF0 \xFC"
                                      "5 \x9F");
        QTest::newRow("cp866 box drawing")
            << int(TextCodec::Cp866) << QStringLiteral("╔═╗│") << QByteArray("\xC9\xCD\xBB\xB3");
    }
    void codePagesKnowCyrillic() {
        QFETCH(int, codec);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        int lost = 0;
        QCOMPARE(EncodeText(text, TextCodec(codec), &lost), bytes);
        QCOMPARE(lost, 0);
        QCOMPARE(DecodeText(bytes, TextCodec(codec)), text);
    }

    void everyByteRoundTrips() {
        for (TextCodec codec : {TextCodec::Windows1251, TextCodec::Cp866}) {
            QByteArray all;
            for (int b = 0; b < 256; ++b) {
                if (codec == TextCodec::Windows1251 && b == 0x98) {
                    continue;  // the one byte the code page leaves undefined
                }
                all.append(char(b));
            }
            int lost = 0;
            QCOMPARE(EncodeText(DecodeText(all, codec), codec, &lost), all);
            QCOMPARE(lost, 0);
        }
    }

    void unmappableCharactersAreReplacedAndCounted() {
        int lost = 0;
        // Chinese, a character outside the basic plane (two UTF-16 units) and the euro sign,
        // which cp866 lacks but windows-1251 has.
        const QString text = QStringLiteral("a中b") + QString::fromUcs4(U"\U0001F332") + "€";
        QCOMPARE(EncodeText(text, TextCodec::Cp866, &lost), QByteArray("a?b??"));
        QCOMPARE(lost, 3);
        lost = 0;
        QCOMPARE(EncodeText(text, TextCodec::Windows1251, &lost), QByteArray("a?b?\x88"));
        QCOMPARE(lost, 2);
    }

    void linesEndWithAnyLineBreak_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codec");
        QTest::addColumn<QStringList>("lines");
        const int ansi = int(TextCodec::Windows1251);
        QTest::newRow("every kind of end")
            << QByteArray("\xCA\xC2=1\r\nB\rC\n\r\n  D \t\r\nlast") << ansi
            << QStringList{"КВ=1", "B", "C", "", "  D \t", "last"};
        QTest::newRow("one line") << QByteArray("one\r\n") << ansi << QStringList{"one"};
        QTest::newRow("two empty lines") << QByteArray("\r\n\r\n") << ansi << QStringList{"", ""};
        QTest::newRow("no bytes") << QByteArray() << ansi << QStringList{};
        QTest::newRow("cp866") << QByteArray("\x8F\xAE\xE0\xAE\xA4\xA0") << int(TextCodec::Cp866)
                               << QStringList{QStringLiteral("Порода")};
        QTest::newRow("DOS end-of-file mark")
            << QByteArray("a\r\nb\r\n\x1A") << ansi << QStringList{"a", "b"};
        QTest::newRow("mark after the last line")
            << QByteArray("a\r\nb\x1A\x1A") << ansi << QStringList{"a", "b"};
        QTest::newRow("NUL padding")
            << QByteArray("a\r\n\x1A\0\0\0", 7) << ansi << QStringList{"a"};
        QTest::newRow("a mark inside stays")
            << QByteArray("a\x1A b\r\n") << ansi << QStringList{"a\x1A b"};
        QTest::newRow("only marks") << QByteArray("\x1A\0", 2) << ansi << QStringList{};
        QTest::newRow("CR CR LF throughout")
            << QByteArray("a\r\r\n\r\r\nb\r\r\nc") << ansi << QStringList{"a", "", "b", "c"};
        QTest::newRow("CR CR LF beside CR LF")
            << QByteArray("a\r\r\nb\r\n") << ansi << QStringList{"a", "", "b"};
        QTest::newRow("CR CR LF beside a lone CR")
            << QByteArray("a\r\r\nb\rc") << ansi << QStringList{"a", "", "b", "c"};
    }

    void linesEndWithAnyLineBreak() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codec);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath("dovi.txt");
        WriteBytes(path, bytes);
        QCOMPARE(ReadTextLines(path, TextCodec(codec)), lines);
        // Fed a byte at a time, every line end falls between two pieces.
        const QByteArrayView text = TextEnd(bytes);
        LineStartFinder finder;
        for (const char byte : text) {
            finder.feed(QByteArrayView(&byte, 1));
        }
        QStringList pieced;
        for (const quint32 start : finder.finish()) {
            pieced.append(
                DecodeText(text.sliced(start, LineEnd(text, start) - start), TextCodec(codec)));
        }
        QCOMPARE(pieced, lines);
    }

    void unreadableFileIsAFailureNamingIt() {
        QTemporaryDir dir;
        for (const QString& path : {QStringLiteral("/nonexistent/folder/les.txt"), dir.path()}) {
            try {
                ReadTextLines(path, TextCodec::Windows1251);
                QFAIL("no failure");
            } catch (const Failure& failure) {
                QVERIFY(failure.description().contains(path));
            }
        }
    }

    void writerWritesWindows1251WithCrLf() {
        QTemporaryDir dir;
        const QString path = dir.filePath("report.txt");
        {
            TextFileWriter writer(path);
            writer.writeLine(QStringLiteral("Отчет"));
            writer.writeLine(QString());
            writer.writeLine(QStringLiteral("ель 中"));
            writer.commit();
            QCOMPARE(writer.unmappableCount(), 1);
        }
        QCOMPARE(ReadBytes(path), QByteArray("\xCE\xF2\xF7\xE5\xF2\r\n\r\n\xE5\xEB\xFC ?\r\n"));

        TextFileWriter appender(path, TextFileWriter::Mode::Append);
        appender.writeLine(QStringLiteral("Итого"));
        appender.commit();
        QVERIFY(ReadBytes(path).endsWith("?\r\n\xC8\xF2\xEE\xE3\xEE\r\n"));

        // Appending to a file that is not there yet creates it.
        const QString fresh = dir.filePath("fresh.txt");
        TextFileWriter freshAppender(fresh, TextFileWriter::Mode::Append);
        freshAppender.writeLine("x");
        freshAppender.commit();
        QCOMPARE(ReadBytes(fresh), QByteArray("x\r\n"));
    }

    void uncommittedReplacementLeavesTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("les.txt");
        WriteBytes(path, "old\r\n");
        {
            TextFileWriter writer(path);
            writer.writeLine("new");
        }
        QCOMPARE(ReadBytes(path), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"les.txt"});
    }

    void unwritableTargetIsAFailure() {
        QVERIFY_THROWS_EXCEPTION(Failure, TextFileWriter("/nonexistent/folder/x.txt"));
        QVERIFY_THROWS_EXCEPTION(
            Failure, TextFileWriter("/nonexistent/folder/x.txt", TextFileWriter::Mode::Append));
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_text_file.moc"
