#include "import/forest_unit.h"
#include "support/fake_ui.h"

#include <QTest>

using namespace converter;
using converter::testing::FakeUi;

Q_DECLARE_METATYPE(converter::MessageIcon)

class TestForestUnit : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetLastLeshozCode(QString()); }

    void okChecksInOrder_data() {
        QTest::addColumn<QString>("leshoz");
        QTest::addColumn<QString>("lesnich");
        QTest::addColumn<QString>("message");
        QTest::addColumn<MessageIcon>("icon");

        const QString length = "Код лесхоза должен состоять из 8 цифр";
        const QString leshozDigits = "Код лесхоза может содержать только цифры";
        const QString lesnichDigits = "Код лесничества может содержать только цифры";
        const QString range = "Номер лесничества должен быть целым числом от 1 до 25";
        const auto info = MessageIcon::Information;
        QTest::newRow("seven digits") << "1234567"
                                      << "5" << length << info;
        QTest::newRow("nine digits") << "123456789"
                                     << "5" << length << info;
        // The length check comes first, so a bad forestry box is not mentioned yet.
        QTest::newRow("empty enterprise, empty forestry") << ""
                                                          << "" << length << info;
        QTest::newRow("seven digits and a point") << "1234567."
                                                  << "5" << leshozDigits << info;
        QTest::newRow("forestry empty") << "12345678"
                                        << "" << lesnichDigits << info;
        QTest::newRow("forestry with a blank") << "12345678"
                                               << " 5" << lesnichDigits << info;
        QTest::newRow("forestry 0") << "12345678"
                                    << "0" << range << MessageIcon::None;
        QTest::newRow("forestry 26") << "12345678"
                                     << "26" << range << MessageIcon::None;
        QTest::newRow("pasted huge forestry")
            << "12345678"
            << "99999999999999999999999" << range << MessageIcon::None;
        QTest::newRow("forestry 25") << "12345678"
                                     << "25" << QString() << MessageIcon::None;
        QTest::newRow("forestry 07") << "12345678"
                                     << "07" << QString() << MessageIcon::None;
    }

    void okChecksInOrder() {
        QFETCH(QString, leshoz);
        QFETCH(QString, lesnich);
        QFETCH(QString, message);
        QFETCH(MessageIcon, icon);
        const auto problem = CheckForestUnitInput(leshoz, lesnich);
        if (message.isEmpty()) {
            QVERIFY(!problem.has_value());
            return;
        }
        QVERIFY(problem.has_value());
        QCOMPARE(problem->message, message);
        QCOMPARE(problem->icon, icon);
    }

    void keyFilter_data() {
        QTest::addColumn<QChar>("character");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("selection");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("digit in a short box") << QChar('7') << 3 << false << false << true;
        QTest::newRow("letter") << QChar('a') << 3 << false << false << false;
        QTest::newRow("ninth digit") << QChar('9') << 8 << false << false << false;
        QTest::newRow("ninth digit over a selection") << QChar('9') << 8 << true << false << true;
        QTest::newRow("letter over a selection") << QChar('x') << 8 << true << false << false;
        QTest::newRow("point in a full box") << QChar('.') << 8 << false << false << true;
        QTest::newRow("backspace in a full box") << QChar(0x08) << 8 << false << false << true;
        QTest::newRow("ctrl+v in a full box") << QChar(0x16) << 8 << false << true << true;
    }

    void keyFilter() {
        QFETCH(QChar, character);
        QFETCH(int, length);
        QFETCH(bool, selection);
        QFETCH(bool, ctrl);
        QFETCH(bool, accepted);
        QCOMPARE(AcceptKeyPress(character, length, selection, ctrl, kLeshozMaxLength), accepted);
    }

    void forestryCodeRule() {
        QCOMPARE(ForestryCode("12345678", "5"), std::optional<qint32>(34567805));
        QCOMPARE(ForestryCode("12345678", "12"), std::optional<qint32>(34567812));
        QCOMPARE(ForestryCode("12345678", "7"), std::optional<qint32>(34567807));
    }

    void getInputGivesCodesAndRemembersTheEnterprise() {
        FakeUi ui;
        ui.forestUnitAnswers.push_back(ForestUnitInput{"12345678", "7"});
        const auto codes = GetInput(ui);
        QVERIFY(codes.has_value());
        QCOMPARE(codes->enterpriseCode, 12345678);
        QCOMPARE(codes->forestryCode, 34567807);
        QCOMPARE(LastLeshozCode(), QStringLiteral("12345678"));

        // A cancel keeps the remembered code.
        QVERIFY(!GetInput(ui).has_value());
        QCOMPARE(LastLeshozCode(), QStringLiteral("12345678"));
        QVERIFY(ui.messages.isEmpty());
    }

    void getInputRefusesTextsThatMakeNoCode() {
        FakeUi ui;
        ui.forestUnitAnswers.push_back(ForestUnitInput{"12x45678", "7"});
        QVERIFY(!GetInput(ui).has_value());
        QCOMPARE(ui.messageTexts(), QStringList{"Ошибка при выводе окна параметров"});
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(LastLeshozCode(), QString());
    }
};

QTEST_GUILESS_MAIN(TestForestUnit)
#include "tst_forest_unit.moc"
