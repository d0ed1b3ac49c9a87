// Our code-page tables against Qt's ICU converters, which the program used before it had tables
// of its own: every byte decodes and every UTF-16 unit encodes as ICU does it, with our "?" in
// place of ICU's substitution byte. Built only where Qt has ICU.
#include "common/code_page.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace converter;

namespace {

// ICU's IBM tables exchange three control codes (byte 0x1A reads as U+001C, 0x1C as U+007F, 0x7F
// as U+001A, and back); we keep ASCII there, as DOS means them.
bool IsExchangedControl(int page, int byteOrUnit) {
    return page < 1000 && (byteOrUnit == 0x1A || byteOrUnit == 0x1C || byteOrUnit == 0x7F);
}

QString Hex(int value) {
    return QString::number(value, 16).toUpper();
}

}  // namespace

class TestCodePageIcu : public QObject {
    Q_OBJECT
private slots:
    void pages_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QByteArray>("icuName");
        QTest::newRow("437") << 437 << QByteArray("IBM437");
        QTest::newRow("850") << 850 << QByteArray("IBM850");
        QTest::newRow("852") << 852 << QByteArray("IBM852");
        QTest::newRow("865") << 865 << QByteArray("IBM865");
        QTest::newRow("866") << 866 << QByteArray("IBM866");
        QTest::newRow("1250") << 1250 << QByteArray("windows-1250");
        QTest::newRow("1251") << 1251 << QByteArray("windows-1251");
        QTest::newRow("1252") << 1252 << QByteArray("windows-1252");
    }

    void decodesEveryByteAsIcu_data() { pages_data(); }
    void decodesEveryByteAsIcu() {
        QFETCH(int, page);
        QFETCH(QByteArray, icuName);
        const CodePage& ours = CodePageFor(page);
        QCOMPARE(ours.number(), page);
        QByteArray all;
        QString expected;
        for (int byte = 0; byte < 256; ++byte) {
            QStringDecoder icu(icuName.constData());
            QVERIFY(icu.isValid());
            const QString decoded = icu(QByteArray(1, static_cast<char>(byte)));
            QCOMPARE(decoded.size(), 1);
            all.append(static_cast<char>(byte));
            expected.append(IsExchangedControl(page, byte) ? QChar(byte) : decoded.at(0));
        }
        // One text of all 256 bytes, so the run of a text is checked as well as each byte.
        QCOMPARE(ours.decode(all.constData(), all.size()), expected);
    }

    void encodesEveryUnitAsIcu_data() { pages_data(); }
    void encodesEveryUnitAsIcu() {
        QFETCH(int, page);
        QFETCH(QByteArray, icuName);
        const CodePage& ours = CodePageFor(page);
        QVERIFY(QStringEncoder(icuName.constData()).isValid());
        QStringList differences;
        int mapped = 0;
        for (int unit = 0; unit <= 0xFFFF; ++unit) {
            // Halves of a pair on their own: ICU waits for the rest (see below).
            if (QChar::isSurrogate(static_cast<char32_t>(unit))) {
                continue;
            }
            const QString text(1, QChar(static_cast<char16_t>(unit)));
            // A fresh converter each time: once it has lost a character, Qt's stays in error.
            QStringEncoder icu(icuName.constData());
            QByteArray expected = icu.encode(text);
            const bool lost = icu.hasError();
            if (lost) {
                expected = "?";
            } else if (IsExchangedControl(page, unit)) {
                expected = QByteArray(1, static_cast<char>(unit));
            }
            mapped += lost ? 0 : 1;
            int count = 0;
            const QByteArray replaced = ours.encodeReplacing(text, &count);
            // A zero character is refused by encode, which fills fixed-size fields.
            const std::optional<QByteArray> strict = ours.encode(text);
            const bool strictAgrees = lost || unit == 0 ? !strict : strict == expected;
            if (replaced != expected || count != (lost ? 1 : 0) || !strictAgrees) {
                differences.append(
                    Hex(unit) + QStringLiteral(": ICU ") + QString::fromLatin1(expected.toHex()) +
                    QStringLiteral(", ours ") + QString::fromLatin1(replaced.toHex()));
            }
        }
        QCOMPARE(differences.mid(0, 8).join(QStringLiteral("; ")), QString());
        QCOMPARE(differences.size(), 0);
        // Every byte is some unit's, but 0xAA in 852, which has no character.
        QCOMPARE(mapped, page == 852 ? 255 : 256);
    }

    // A character outside the basic plane is one character lost, as ICU counts it, and so is half
    // a pair.
    void charactersOutsideTheBasicPlane_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QByteArray>("icuName");
        QTest::addColumn<QString>("text");
        const QString pair = QString::fromUcs4(U"а\U0001F600б");
        QTest::newRow("1251 pair") << 1251 << QByteArray("windows-1251") << pair;
        QTest::newRow("866 pair") << 866 << QByteArray("IBM866") << pair;
        QTest::newRow("1251 lone high half")
            << 1251 << QByteArray("windows-1251") << QString(QChar(0xD83D)) + QChar(u'я');
        QTest::newRow("866 lone low half")
            << 866 << QByteArray("IBM866") << QString(QChar(u'я')) + QChar(0xDE00);
    }
    void charactersOutsideTheBasicPlane() {
        QFETCH(int, page);
        QFETCH(QByteArray, icuName);
        QFETCH(QString, text);
        QStringEncoder icu(icuName.constData());
        const QByteArray icuBytes = icu.encode(text);
        QVERIFY(icu.hasError());
        int count = 0;
        const QByteArray ours = CodePageFor(page).encodeReplacing(text, &count);
        QCOMPARE(ours.size(), icuBytes.size());
        QCOMPARE(count, 1);
        QCOMPARE(ours.count('?'), 1);
        QVERIFY(!CodePageFor(page).encode(text));
    }
};

QTEST_GUILESS_MAIN(TestCodePageIcu)
#include "tst_code_page_icu.moc"
