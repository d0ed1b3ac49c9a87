#include "common/program_folder.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"

#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

// A CodeValues table with the given rows (Field, Code, Name) and its columns in this order.
DictionaryBuilder CodeValues(const std::vector<std::vector<QVariant>>& rows,
                             Jet4Type codeType = Jet4Type::Long) {
    DictionaryBuilder builder;
    builder.table(QStringLiteral("CodeValues"), {{QStringLiteral("Name"), Jet4Type::Text, 50},
                                                 {QStringLiteral("Field"), Jet4Type::Text, 20},
                                                 {QStringLiteral("Code"), codeType}});
    for (const auto& r : rows) {
        builder.row({r[2], r[0], r[1]});
    }
    return builder;
}

QString Decoded(const QString& field, const QString& code, bool* found = nullptr) {
    QString value = code;
    const bool ok = DecodeValue(field, value);
    if (found) {
        *found = ok;
    }
    return value;
}

QString Encoded(const QString& field, const QString& name, bool* found = nullptr) {
    QString value = name;
    const bool ok = EncodeValue(field, value);
    if (found) {
        *found = ok;
    }
    return value;
}

}  // namespace

class TestCodeLists : public QObject {
    Q_OBJECT

    QTemporaryDir* folder_ = nullptr;

    bool build(const DictionaryBuilder& builder, FakeUi& ui) {
        builder.writeInto(folder_->path());
        return BuildCodeLists(ui);
    }

private slots:
    void init() {
        folder_ = new QTemporaryDir;
        SetProgramFolder(folder_->path());
        ClearCodeLists();
    }

    void cleanup() {
        SetProgramFolder(QString());
        delete folder_;
    }

    void keysAreUpperCasedAndLookupsKeepCase() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{"ab", 12, "ель"}}), ui));
        QVERIFY(ui.messages.isEmpty());
        const CodeLists& lists = CurrentCodeLists();
        QCOMPARE(lists.nameByCode.value({"AB", "12"}), QStringLiteral("ЕЛЬ"));
        QCOMPARE(lists.codeByName.value({"AB", QStringLiteral("ЕЛЬ")}), QStringLiteral("12"));

        bool found = false;
        QCOMPARE(Decoded("ab", "12", &found), QStringLiteral("ЕЛЬ"));
        QVERIFY(found);
        QCOMPARE(Decoded("AB", "12 ", &found), QStringLiteral("0"));  // no trimming
        QVERIFY(!found);
        QCOMPARE(Encoded("AB", QStringLiteral("ель"), &found), QStringLiteral("0"));
        QVERIFY(!found);
        QCOMPARE(Encoded("AB", QStringLiteral("ЕЛЬ"), &found), QStringLiteral("12"));
        QVERIFY(found);
        QCOMPARE(Encoded("ab", QStringLiteral("ЕЛЬ")), QStringLiteral("0"));
    }

    // Joining indicator and value without a separator would make A1+23 and A12+3 one key.
    void indicatorsWhoseJoinedKeysWouldCollideStayApart() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{"A1", 23, "сосна"}, {"A12", 3, "береза"}}), ui));
        QCOMPARE(Decoded("A1", "23"), QStringLiteral("СОСНА"));
        QCOMPARE(Decoded("A12", "3"), QStringLiteral("БЕРЕЗА"));
        QCOMPARE(Decoded("A1", "3"), QStringLiteral("0"));
        QCOMPARE(Encoded("A1", QStringLiteral("БЕРЕЗА")), QStringLiteral("0"));
        QCOMPARE(Encoded("A12", QStringLiteral("БЕРЕЗА")), QStringLiteral("3"));
    }

    void firstRowOwnsAKey() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{"POR", 1, "С"},
                                  {"POR", 1, "сосна"},
                                  {"POR", 7, "Б"},
                                  {"POR", 8, "Б"},
                                  {"POR", 7, "берёза"}}),
                      ui));
        // Same field and name, two codes: encoding keeps the first code, decoding knows both.
        QCOMPARE(Encoded("POR", QStringLiteral("Б")), QStringLiteral("7"));
        QCOMPARE(Decoded("POR", "7"), QStringLiteral("Б"));
        QCOMPARE(Decoded("POR", "8"), QStringLiteral("Б"));
        // Same field and code, two names: decoding keeps the first, encoding knows both.
        QCOMPARE(Decoded("POR", "1"), QStringLiteral("С"));
        QCOMPARE(Encoded("POR", QStringLiteral("СОСНА")), QStringLiteral("1"));
        QCOMPARE(Encoded("POR", QStringLiteral("БЕРЁЗА")), QStringLiteral("7"));
        QCOMPARE(CurrentCodeLists().nameByCode.size(), 3);
        QCOMPARE(CurrentCodeLists().codeByName.size(), 4);
    }

    void codesAreWrittenAsPlainDigits_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("long") << int(Jet4Type::Long) << QVariant(10100001) << "10100001";
        QTest::newRow("negative") << int(Jet4Type::Integer) << QVariant(-5) << "-5";
        QTest::newRow("whole double") << int(Jet4Type::Double) << QVariant(5.0) << "5";
        QTest::newRow("fraction") << int(Jet4Type::Double) << QVariant(2.5) << "2.5";
        QTest::newRow("text") << int(Jet4Type::Text) << QVariant("07") << "07";
    }

    void codesAreWrittenAsPlainDigits() {
        QFETCH(int, type);
        QFETCH(QVariant, code);
        QFETCH(QString, text);
        const auto jetType = static_cast<Jet4Type>(type);
        DictionaryBuilder builder = CodeValues({}, jetType);
        if (jetType == Jet4Type::Text) {
            builder.tableNamed("CodeValues").columns[2].size = 10;
        }
        builder.row({QStringLiteral("Осина"), QStringLiteral("POR"), code});
        FakeUi ui;
        QVERIFY(build(builder, ui));
        QCOMPARE(Encoded("POR", QStringLiteral("ОСИНА")), text);
        QCOMPARE(Decoded("POR", text), QStringLiteral("ОСИНА"));
    }

    void rowsWithoutFieldCodeOrNameAreLeftOut() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{QVariant(), 1, "С"},
                                  {"POR", QVariant(), "Е"},
                                  {"POR", 3, QVariant()},
                                  {"POR", 4, ""}}),
                      ui));
        QCOMPARE(CurrentCodeLists().nameByCode.size(), 1);
        QCOMPARE(Decoded("POR", "4"), QString());
        QCOMPARE(Encoded("POR", QString()), QStringLiteral("4"));
    }

    void emptyTableGivesEmptyListsAndRebuildReplaces() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{"POR", 1, "С"}}), ui));
        QCOMPARE(Decoded("POR", "1"), QStringLiteral("С"));
        QVERIFY(build(CodeValues({}), ui));
        QVERIFY(CurrentCodeLists().nameByCode.isEmpty());
        QVERIFY(CurrentCodeLists().codeByName.isEmpty());
        QCOMPARE(Decoded("POR", "1"), QStringLiteral("0"));
        QCOMPARE(Encoded("POR", QStringLiteral("С")), QStringLiteral("0"));
        QVERIFY(ui.messages.isEmpty());
    }

    void failedCheckShowsItsMessageAndKeepsTheLists() {
        FakeUi ui;
        QVERIFY(build(CodeValues({{"POR", 1, "С"}}), ui));
        DictionaryBuilder broken = CodeValues({{"POR", 2, "Е"}});
        broken.removeColumn("CodeValues", "Field");
        QVERIFY(!build(broken, ui));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Отсутствуют поля справочника VALUES: Field\r")));
        QCOMPARE(Decoded("POR", "1"), QStringLiteral("С"));

        QFile::remove(folder_->path() + QStringLiteral("/sprav.mdb"));
        QVERIFY(!BuildCodeLists(ui));
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Не найден файл справочника: SPRAV.MDB")));
        QCOMPARE(Encoded("POR", QStringLiteral("С")), QStringLiteral("1"));
    }

    void shippedDictionaryDecodesItsTextIndicators() {
        FakeUi ui;
        DictionaryBuilder::Standard().writeInto(folder_->path());
        QVERIFY(BuildCodeLists(ui));
        QCOMPARE(Encoded("POR", QStringLiteral("БЕРЕЗА")), QStringLiteral("7"));
        QCOMPARE(Decoded("por", "7"), QStringLiteral("Б"));
        QCOMPARE(Encoded("TLU", QStringLiteral("В2")), QStringLiteral("5"));
        // The same word means different things to different indicators.
        QCOMPARE(Encoded("PROIS", QStringLiteral("ПОР")), QStringLiteral("2"));
        QCOMPARE(Encoded("POR", QStringLiteral("ПОР")), QStringLiteral("0"));
    }

    void upperCasingCoversCyrillic() {
        QCOMPARE(UpperCaseText(QStringLiteral("ёлка, ель и abc")),
                 QStringLiteral("ЁЛКА, ЕЛЬ И ABC"));
    }
};

QTEST_GUILESS_MAIN(TestCodeLists)
#include "tst_code_lists.moc"
