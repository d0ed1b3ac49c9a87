#include "app/help_window.h"
#include "app/main_window.h"
#include "common/program_folder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
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

namespace {

// A caption as shown: the accelerator's marker taken out.
QString Shown(QString text) {
    return text.remove(QLatin1Char('&'));
}

// The accelerator letters of the labels and buttons `page` shows, in lower case.
QStringList Accelerators(const QList<QWidget*>& widgets) {
    QStringList letters;
    for (QWidget* widget : widgets) {
        if (!widget->isVisible()) {
            continue;
        }
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
        }
        const qsizetype marker = text.indexOf(QLatin1Char('&'));
        if (marker >= 0 && marker + 1 < text.size()) {
            letters.append(text.at(marker + 1).toLower());
        }
    }
    return letters;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;

    void putHelp() {
        QVERIFY(QDir(folder_.path()).mkpath("help"));
        for (const char* page : {"import.htm", "formsprav.htm", "checksprav.htm", "export.htm"}) {
            const QString target = folder_.filePath(QStringLiteral("help/") + page);
            QFile::remove(target);
            QVERIFY2(QFile::copy(testing::SourceDir() + "/data/help/" + page, target), page);
        }
    }

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
            QWheelEvent wheel(centre, bar->mapToGlobal(QPoint()) + centre, QPoint(),
                              QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
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
            QCOMPARE(Shown(window.cmdClose[i]->text()), QStringLiteral("Закрыть"));
            QCOMPARE(window.cmdShowReport[i]->toolTip(), QStringLiteral("Показать отчет"));
        }
        for (QToolButton* help : window.cmdHelp) {
            QCOMPARE(help->toolTip(), QStringLiteral("Справка"));
        }
        QCOMPARE(Shown(window.cmdImport->text()), QStringLiteral("Импорт"));
        QCOMPARE(Shown(window.cmdFormSprav->text()), QStringLiteral("Создать"));
        QCOMPARE(Shown(window.cmdCheckSprav->text()), QStringLiteral("Проверить"));
        QCOMPARE(Shown(window.cmdExport->text()), QStringLiteral("Экспорт"));
        window.show();
        for (QLabel* status : {window.lblStatusImport, window.lblStatusSprav, window.lblStatusCheck,
                               window.lblStatusExport}) {
            QVERIFY(!status->isVisible());
            QCOMPARE(status->text(), QStringLiteral("Статус..."));
        }
        QCOMPARE(window.txtNsiPath->text(), QDir::toNativeSeparators(folder_.path() + "/nsi"));
    }

    void missingDictionaryWarnsOnceAndStartUpGoesOn() {
        FakeUi ui;
        MainWindow window(2, ui);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text, "Не найден файл справочника: SPRAV.MDB\rПуть: " +
                                            QDir::toNativeSeparators(folder_.path()));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(window.SSTab1->currentIndex(), kExportTab);
        QCOMPARE(window.txtNsiPath->text(), QDir::toNativeSeparators(folder_.path() + "/nsi"));
        QCOMPARE(window.lblDictionary->text(), QStringLiteral("Справочник: не найден"));
        putDictionary();
        window.SSTab1->setCurrentIndex(kAboutTab);
        QCOMPARE(window.lblDictionary->text(),
                 "Справочник: " + QDir::toNativeSeparators(folder_.filePath("sprav.mdb")));
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
        QVERIFY(window.cmdOpenReportFolder->isVisible() && window.cmdCopyReport->isVisible());
        // The panel's buttons sit inside the tall height, under the text.
        QVERIFY(window.cmdCopyReport->geometry().bottom() < window.height());
        QVERIFY(window.txtReport->geometry().bottom() < window.cmdCopyReport->geometry().top());
        // Taller for a long report, never narrower, wider or shorter.
        QCOMPARE(window.minimumWidth(), window.maximumWidth());
        QCOMPARE(window.minimumHeight(), window.height());
        QVERIFY(window.maximumHeight() > 1000);
        const int textHeight = window.txtReport->height();
        window.resize(window.width(), window.height() + 200);
        QCOMPARE(window.txtReport->height(), textHeight + 200);
        QCOMPARE(window.txtReport->width(), 443);
        for (QToolButton* button : window.cmdShowReport) {
            QCOMPARE(button->toolTip(), QStringLiteral("Скрыть отчет"));
        }
        // The panel belongs to the window, not to a tab: another tab's button hides it.
        window.SSTab1->setCurrentIndex(kAboutTab);
        window.cmdShowReport[4]->click();
        QCOMPARE(window.outerHeight(), 281);
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(!window.cmdCopyReport->isVisible());
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

    void startUpFocusPlaceAndF1_data() {
        QTest::addColumn<int>("edition");
        QTest::addColumn<QString>("firstBox");
        QTest::addColumn<QString>("page");
        QTest::newRow("import edition") << 1 << "txtFileNameImport"
                                        << "import.htm";
        QTest::newRow("export edition") << 2 << "txtFileNameExport"
                                        << "export.htm";
        QTest::newRow("full edition") << 3 << "txtFileNameImport"
                                      << "import.htm";
    }
    void startUpFocusPlaceAndF1() {
        QFETCH(int, edition);
        QFETCH(QString, firstBox);
        QFETCH(QString, page);
        putDictionary();
        putHelp();
        FakeUi ui;
        MainWindow window(edition, ui);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(QApplication::focusWidget() != nullptr);
        QCOMPARE(QApplication::focusWidget()->objectName(), firstBox);
        // Centred on the screen, frame included.
        const QPoint centre = window.screen()->availableGeometry().center();
        QVERIFY2((window.frameGeometry().center() - centre).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2")
                                .arg(window.frameGeometry().x())
                                .arg(window.frameGeometry().y())));

        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(window.helpWindow() != nullptr && window.helpWindow()->isVisible());
        QCOMPARE(window.helpWindow()->currentPage(), folder_.filePath("help/" + page));
        window.helpWindow()->close();
        window.SSTab1->setCurrentIndex(kAboutTab);  // a tab without a page
        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(!window.helpWindow()->isVisible());
        QVERIFY(ui.messages.isEmpty());
    }

    // Each edition's help speaks only of the tabs that edition shows.
    void helpNamesOnlyTheEditionsTabs_data() {
        QTest::addColumn<int>("edition");
        QTest::newRow("import edition") << 1;
        QTest::newRow("export edition") << 2;
        QTest::newRow("full edition") << 3;
    }
    void helpNamesOnlyTheEditionsTabs() {
        QFETCH(int, edition);
        putDictionary();
        putHelp();
        FakeUi ui;
        MainWindow window(edition, ui);
        window.show();
        const QStringList tabNames = {"«Импорт»", "«Справочник»", "«Проверка»", "«Экспорт»"};
        const QStringList pages = {"import.htm", "formsprav.htm", "checksprav.htm", "export.htm"};
        int shownPages = 0;
        for (int tab = 0; tab < 4; ++tab) {
            if (!window.SSTab1->isTabVisible(tab)) {
                continue;
            }
            window.cmdHelp_Click(tab);
            ++shownPages;
            const QString text = window.helpWindow()->browser->toPlainText();
            const QString html = window.helpWindow()->browser->toHtml();
            for (int other = 0; other < 4; ++other) {
                const bool shown = window.SSTab1->isTabVisible(other);
                QVERIFY2(shown || !text.contains(tabNames[other]),
                         qPrintable(pages[tab] + " names " + tabNames[other]));
                QVERIFY2(shown || !html.contains(pages[other]),
                         qPrintable(pages[tab] + " links " + pages[other]));
            }
        }
        QCOMPARE(shownPages, edition == 2 ? 1 : edition == 1 ? 3 : 4);
        // The sentence that lost its tail still ends as a sentence.
        if (edition == 2) {
            QVERIFY(window.helpWindow()->browser->toPlainText().contains(
                QStringLiteral("в файл не попадает.")));
        }
    }

    void helpWindowGoesBackAndForward() {
        putDictionary();
        putHelp();
        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        window.cmdHelp_Click(0);
        HelpWindow* help = window.helpWindow();
        QVERIFY(!help->cmdBack->isEnabled() && !help->cmdForward->isEnabled());
        window.cmdHelp_Click(3);
        QVERIFY(help->cmdBack->isEnabled());
        help->cmdBack->click();
        QCOMPARE(help->currentPage(), folder_.filePath("help/import.htm"));
        QVERIFY(!help->cmdBack->isEnabled() && help->cmdForward->isEnabled());
        help->cmdForward->click();
        QCOMPARE(help->currentPage(), folder_.filePath("help/export.htm"));
        QVERIFY(!help->cmdForward->isEnabled());
    }

    // Every caption of a page has its underlined letter, no two alike on one page (the report
    // panel's buttons are on every page), and a label's letter leads to its box.
    void acceleratorsOnEveryPage_data() {
        QTest::addColumn<int>("edition");
        QTest::newRow("import edition") << 1;
        QTest::newRow("export edition") << 2;
        QTest::newRow("full edition") << 3;
    }
    void acceleratorsOnEveryPage() {
        QFETCH(int, edition);
        putDictionary();
        FakeUi ui;
        MainWindow window(edition, ui);
        window.show();
        window.cmdShowReport_Click(0);
        for (int tab = 0; tab < window.SSTab1->count(); ++tab) {
            if (!window.SSTab1->isTabVisible(tab)) {
                continue;
            }
            window.SSTab1->setCurrentIndex(tab);
            QList<QWidget*> widgets = window.SSTab1->widget(tab)->findChildren<QWidget*>();
            widgets << window.cmdOpenReportFolder << window.cmdCopyReport;
            const QStringList letters = Accelerators(widgets);
            QStringList unique = letters;
            unique.removeDuplicates();
            QCOMPARE(unique, letters);
            for (QWidget* widget : widgets) {
                if (auto* button = qobject_cast<QPushButton*>(widget)) {
                    QVERIFY2(button->text().contains(QLatin1Char('&')), qPrintable(button->text()));
                }
                auto* label = qobject_cast<QLabel*>(widget);
                QVERIFY(label == nullptr || !label->text().contains(QLatin1Char('&')) ||
                        label->buddy() != nullptr);
            }
        }
        if (edition == 2) {
            // Alt and the letter: "Выберите &год ..." leads to the year list.
            QVERIFY(QTest::qWaitForWindowActive(&window));
            window.SSTab1->setCurrentIndex(kExportTab);
            QTest::sendKeyEvent(QTest::Click, &window, Qt::Key(QChar(u'Г').unicode()),
                                QStringLiteral("г"), Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), window.cmbYear);
        }
    }

    void missingHelpPageSaysSo() {
        putDictionary();
        FakeUi ui;
        MainWindow window(3, ui);
        window.cmdHelp_Click(3);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.contains(
            QDir::toNativeSeparators(folder_.filePath("help/export.htm"))));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QVERIFY(window.helpWindow() == nullptr || !window.helpWindow()->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
