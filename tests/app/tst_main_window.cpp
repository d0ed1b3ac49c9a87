#include "app/help_window.h"
#include "app/main_window.h"
#include "common/program_folder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

using namespace converter;
using converter::testing::FakeUi;

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;

    void putDictionary() {
        QFile dictionary(folder_.filePath("sprav.mdb"));
        QVERIFY(dictionary.open(QIODevice::WriteOnly));
    }

private slots:
    void init() {
        QVERIFY(folder_.isValid());
        SetProgramFolder(folder_.path());
        QFile::remove(folder_.filePath("sprav.mdb"));
        QDir(folder_.filePath("help")).removeRecursively();
    }
    void cleanupTestCase() { SetProgramFolder({}); }

    void editionDecidesTabsAndCaptions_data() {
        QTest::addColumn<int>("edition");
        QTest::addColumn<QList<int>>("visibleTabs");
        QTest::addColumn<int>("selectedTab");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("title");
        QTest::newRow("import edition")
            << 1 << QList<int>{0, 1, 2, 4} << 0 << "Dovi to Tarvel Converter"
            << "Преобразование повыдельной базы данных ДОВИ в формат ГИС \"Вельтара\"";
        QTest::newRow("export edition")
            << 2 << QList<int>{3, 4} << 3 << "Экспорт текущих изменений"
            << "Экспорт текущих изменений  повыдельной базы данных ГИС \"Вельтара\"  в ДОВИ";
        QTest::newRow("full edition")
            << 3 << QList<int>{0, 1, 2, 3, 4} << 0 << "Dovi2Tarvel Converter"
            << "Создание/проверка/экспорт повыдельной базы данных ГИС \"Вельтара\"";
        QTest::newRow("unknown edition changes nothing")
            << 7 << QList<int>{0, 1, 2, 3, 4} << 0 << "Dovi2Tarvel Converter"
            << "Dovi2Tarvel Converter";
    }
    void editionDecidesTabsAndCaptions() {
        QFETCH(int, edition);
        QFETCH(QList<int>, visibleTabs);
        QFETCH(int, selectedTab);
        QFETCH(QString, caption);
        QFETCH(QString, title);
        putDictionary();
        FakeUi ui;
        MainWindow window(edition, ui);
        window.show();
        QList<int> visible;
        for (int i = 0; i < window.SSTab1->count(); ++i) {
            if (window.SSTab1->isTabVisible(i)) {
                visible.append(i);
            }
        }
        QCOMPARE(visible, visibleTabs);
        QCOMPARE(window.SSTab1->currentIndex(), selectedTab);
        QCOMPARE(window.windowTitle(), caption);
        QCOMPARE(window.lblTitle->text(), title);
        QCOMPARE(window.lblVersion->text(), QStringLiteral("Версия 1.0"));
        QVERIFY(ui.messages.isEmpty());

        // The pages of another edition are sealed: the keyboard and the wheel over the tab bar
        // walk the visible tabs only, in both directions, and the pages take no input.
        QTabBar* bar = window.SSTab1->tabBar();
        for (int i = 0; i < window.SSTab1->count(); ++i) {
            QCOMPARE(window.SSTab1->widget(i)->isEnabled(), visibleTabs.contains(i));
        }
        QList<int> reached;
        const auto note = [&] {
            if (!reached.contains(window.SSTab1->currentIndex())) {
                reached.append(window.SSTab1->currentIndex());
            }
        };
        for (int step = 0; step < 6; ++step) {
            QTest::keyClick(window.SSTab1, Qt::Key_Tab, Qt::ControlModifier);
            note();
            QTest::keyClick(window.SSTab1, Qt::Key_Backtab,
                            Qt::ControlModifier | Qt::ShiftModifier);
            note();
            QTest::keyClick(window.SSTab1, Qt::Key_Tab, Qt::ControlModifier);
            note();
        }
        for (const int delta : {-120, -120, -120, -120, 120, 120, 120, 120, 120}) {
            const QPointF centre = QRectF(bar->rect()).center();
            QWheelEvent wheel(centre, bar->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
            note();
        }
        std::sort(reached.begin(), reached.end());
        QCOMPARE(reached, visibleTabs);
    }

    void designTexts() {
        putDictionary();
        FakeUi ui;
        MainWindow window(3, ui);
        const QStringList titles = {" Импорт", " Справочник", " Проверка", " Экспорт",
                                    " О программе"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(window.SSTab1->tabText(i), titles.at(i));
            QCOMPARE(window.cmdClose[i]->text(), QStringLiteral("Закрыть"));
            QCOMPARE(window.cmdShowReport[i]->toolTip(), QStringLiteral("Показать отчет"));
        }
        for (QToolButton* help : window.cmdHelp) {
            QCOMPARE(help->toolTip(), QStringLiteral("Справка"));
        }
        QCOMPARE(window.cmdImport->text(), QStringLiteral("Импорт"));
        QCOMPARE(window.cmdFormSprav->text(), QStringLiteral("Создать"));
        QCOMPARE(window.cmdCheckSprav->text(), QStringLiteral("Проверить"));
        QCOMPARE(window.cmdExport->text(), QStringLiteral("Экспорт"));
        window.show();
        for (QLabel* status : {window.lblStatusImport, window.lblStatusSprav, window.lblStatusCheck,
                               window.lblStatusExport}) {
            QVERIFY(!status->isVisible());
            QCOMPARE(status->text(), QStringLiteral("Статус..."));
        }
        QCOMPARE(window.txtNsiPath->text(), folder_.path() + "/nsi");
    }

    void missingDictionaryWarnsOnceAndStartUpGoesOn() {
        FakeUi ui;
        MainWindow window(2, ui);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text,
                 "Не найден файл справочника: SPRAV.MDB\rПуть: " + folder_.path());
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(window.SSTab1->currentIndex(), kExportTab);
        QCOMPARE(window.txtNsiPath->text(), folder_.path() + "/nsi");
    }

    void reportPanelTogglesHeightAndTooltips() {
        putDictionary();
        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.outerHeight(), 281);
        // The frame is taken off the client area from the start: no strip below the tabs.
        QCOMPARE(window.height(),
                 281 - (window.frameGeometry().height() - window.geometry().height()));
        QCOMPARE(window.width(), 464);
        QCOMPARE(window.minimumSize(), window.maximumSize());  // not resizable
        QVERIFY(!window.reportVisible());
        QVERIFY(!window.txtReport->isVisible());

        window.cmdShowReport[1]->click();
        QCOMPARE(window.outerHeight(), 441);
        QVERIFY(window.txtReport->isVisible());
        QCOMPARE(window.minimumSize(), window.maximumSize());
        for (QToolButton* button : window.cmdShowReport) {
            QCOMPARE(button->toolTip(), QStringLiteral("Скрыть отчет"));
        }
        // The panel belongs to the window, not to a tab: another tab's button hides it.
        window.SSTab1->setCurrentIndex(kAboutTab);
        window.cmdShowReport[4]->click();
        QCOMPARE(window.outerHeight(), 281);
        for (QToolButton* button : window.cmdShowReport) {
            QCOMPARE(button->toolTip(), QStringLiteral("Показать отчет"));
        }
    }

    void helpOpensBesideTheWindow() {
        putDictionary();
        QVERIFY(QDir(folder_.path()).mkpath("help"));
        for (const char* page : {"import.htm", "formsprav.htm", "checksprav.htm", "export.htm"}) {
            const QString target = folder_.filePath(QStringLiteral("help/") + page);
            QFile::remove(target);
            QVERIFY2(QFile::copy(testing::SourceDir() + "/data/help/" + page, target), page);
        }
        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        const QStringList pages = {"import.htm", "formsprav.htm", "checksprav.htm", "export.htm"};
        for (int i = 0; i < 4; ++i) {
            window.cmdHelp[i]->click();
            QVERIFY(window.helpWindow() != nullptr);
            QVERIFY(window.helpWindow()->isVisible());
            QCOMPARE(window.helpWindow()->currentPage(), folder_.filePath("help/" + pages[i]));
            // A real page in Russian, not a blank window.
            QVERIFY(!window.helpWindow()->browser->documentTitle().isEmpty());
            QVERIFY(window.helpWindow()->browser->toPlainText().contains(QStringLiteral("Отчёт")));
        }
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(window.isEnabled());

        window.cmdHelp_Click(7);  // no topic: nothing happens
        QVERIFY(ui.messages.isEmpty());

        // Beside the main window, never over it.
        QVERIFY(!window.helpWindow()->frameGeometry().intersects(window.frameGeometry()));

        window.cmdClose[0]->click();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.helpWindow()->isVisible());  // the program ends with its main window

        // The export edition does not offer the pages of its hidden tabs, the import edition
        // keeps the links to its own pages.
        MainWindow exportEdition(2, ui);
        exportEdition.show();
        exportEdition.cmdHelp_Click(3);
        const QString exportPage = exportEdition.helpWindow()->browser->toHtml();
        QVERIFY(!exportPage.contains("import.htm") && !exportPage.contains("checksprav.htm"));
        QVERIFY(!exportEdition.helpWindow()->browser->toPlainText().contains("См. также"));
        MainWindow importEdition(1, ui);
        importEdition.cmdHelp_Click(0);
        const QString importPage = importEdition.helpWindow()->browser->toHtml();
        QVERIFY(!importPage.contains("export.htm"));
        QVERIFY(importPage.contains("formsprav.htm") && importPage.contains("checksprav.htm"));
        QVERIFY(importEdition.helpWindow()->browser->toPlainText().contains(
            QStringLiteral("Создание справочника, Проверка базы.")));
        QVERIFY(ui.messages.isEmpty());
    }

    void missingHelpPageSaysSo() {
        putDictionary();
        FakeUi ui;
        MainWindow window(3, ui);
        window.cmdHelp_Click(3);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.contains(folder_.filePath("help/export.htm")));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QVERIFY(window.helpWindow() == nullptr || !window.helpWindow()->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
