#include "app/main_window.h"
#include "app/qt_translations.h"
#include "app/qt_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/qt_compat.h"
#include "common/responsive_call.h"
#include "modal_answers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace converter;
using converter::testing::ModalAnswers;
using converter::testing::Press;

class TestQtUi : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    std::unique_ptr<MainWindow> window_;
    bool translated_ = false;

    QtUi& ui() { return static_cast<QtUi&>(window_->ui()); }

private slots:
    void initTestCase() {
        translated_ = InstallQtTranslations(*qApp);
        SetProgramFolder(folder_.path());
        QFile dictionary(folder_.filePath("sprav.mdb"));
        QVERIFY(dictionary.open(QIODevice::WriteOnly));
        window_ = std::make_unique<MainWindow>(3);
        window_->show();
    }
    void cleanupTestCase() {
        window_.reset();
        SetProgramFolder({});
    }

    void filtersInQtForm_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qtFilter");
        QTest::newRow("database") << "Базы данных ГИС Вельтара (*.db)|*.db"
                                  << "Базы данных ГИС Вельтара (*.db)";
        QTest::newRow("pattern not in description") << "Текст|*.txt"
                                                    << "Текст (*.txt)";
        QTest::newRow("two pairs") << "Таблицы (*.db)|*.db|Все файлы|*"
                                   << "Таблицы (*.db);;Все файлы (*)";
        QTest::newRow("empty") << ""
                               << "";
    }
    void filtersInQtForm() {
        QFETCH(QString, filter);
        QFETCH(QString, qtFilter);
        QCOMPARE(QtFileFilter(filter), qtFilter);
    }

    void messagesShowCrAsLineBreaks() {
        QMessageBox::StandardButton button = QMessageBox::Ok;
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        const ModalAnswers answers([&](QDialog& shown) {
            auto* box = qobject_cast<QMessageBox*>(&shown);
            QVERIFY(box != nullptr);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            Press(*box, button);
        });
        ui().showMessage("Не найден файл:\r/data/les.txt\r\nконец", {}, MessageIcon::Warning);
        QCOMPARE(text, QStringLiteral("Не найден файл:\n/data/les.txt\nконец"));
        QCOMPARE(title, QStringLiteral("Converter"));
        QCOMPARE(icon, QMessageBox::Warning);

        button = QMessageBox::No;
        QVERIFY(!ui().askYesNo("Перезаписать?", "Перезаписать файл?"));
        QCOMPARE(title, QStringLiteral("Перезаписать файл?"));
        QCOMPARE(icon, QMessageBox::Question);
        button = QMessageBox::Yes;
        QVERIFY(ui().askYesNo("Перезаписать?", {}));
        QCOMPARE(answers.leftOpen(), 0);
    }

    void questionsAnswerInRussian() {
        // The set-up installs Qt's translations; only a machine without them may skip.
        if (!QFile::exists(QtTranslationFile())) {
            QSKIP("Qt's Russian translations are not installed");
        }
        QVERIFY2(translated_, qPrintable(QtTranslationFile()));
        QString yes, no;
        int width = 0, titleWidth = 0;
        const ModalAnswers answers([&](QDialog& shown) {
            auto* box = qobject_cast<QMessageBox*>(&shown);
            QVERIFY(box && box->button(QMessageBox::Yes) && box->button(QMessageBox::No));
            yes = box->button(QMessageBox::Yes)->text().remove(QLatin1Char('&'));
            no = box->button(QMessageBox::No)->text().remove(QLatin1Char('&'));
            width = box->width();
            titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            Press(*box, QMessageBox::No);
        });
        QVERIFY(!ui().askYesNo("Да?", "Обнаружены недостатки справочника"));
        QCOMPARE(yes, QStringLiteral("Да"));
        QCOMPARE(no, QStringLiteral("Нет"));
        QVERIFY2(width > titleWidth, qPrintable(QString::number(width)));  // a short text
        QCOMPARE(answers.leftOpen(), 0);
    }

    void statusReportAndBusyReachTheWindow() {
        ui().setStatus(StatusLabel::Check, "Проверка поля MUK");
        ui().setStatusVisible(StatusLabel::Check, true);
        QCOMPARE(window_->lblStatusCheck->text(), QStringLiteral("Проверка поля MUK"));
        QVERIFY(!window_->lblStatusCheck->isHidden());
        ui().setStatusVisible(StatusLabel::Check, false);
        QVERIFY(window_->lblStatusCheck->isHidden());

        ui().showReport("Файл: les.db\r\n\r\nстрока 1\r\n", "/tmp/les_rep.txt");
        QCOMPARE(window_->txtReport->toPlainText(), QStringLiteral("Файл: les.db\n\nстрока 1\n"));
        QVERIFY(window_->reportVisible());  // a recorded report opens the panel by itself
        QCOMPARE(window_->reportPath(), QStringLiteral("/tmp/les_rep.txt"));
        QVERIFY(window_->cmdOpenReportFolder->isEnabled());
        window_->cmdCopyReport->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), window_->txtReport->toPlainText());

        ui().setBusy(true);
        ui().setBusy(true);  // nested calls do not stack the cursor
        QVERIFY(!window_->SSTab1->isEnabled());
        // The progress caption stays readable on the disabled tab.
        const QPalette status = window_->lblStatusCheck->palette();
        QCOMPARE(status.color(QPalette::Disabled, QPalette::WindowText),
                 status.color(QPalette::Active, QPalette::WindowText));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui().processEvents();
        ui().setBusy(false);
        QVERIFY(window_->SSTab1->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void longStepLeavesWindowAnswering() {
        // The work waits for the window's timer: it ends only while the busy window answers.
        std::atomic<bool> released = false;
        bool heldBusy = false;
        QTimer::singleShot(10, window_.get(), [&] {
            heldBusy = ui().isBusy() && !window_->SSTab1->isEnabled() && !window_->close();
            released = true;
        });
        std::thread::id ranOn;
        RunResponsively([&] {
            ranOn = std::this_thread::get_id();
            for (QDeadlineTimer deadline(5000); !released && !deadline.hasExpired();) {
                std::this_thread::yield();
            }
        });
        QVERIFY(released && heldBusy);
        QVERIFY(ranOn != std::this_thread::get_id());
        QTRY_VERIFY(!window_->isVisible());  // the close asked for meanwhile, carried out now
        window_->show();
        // A failure on the work's thread reaches the caller; a busy state it found stays.
        ui().setBusy(true);
        QVERIFY_THROWS_EXCEPTION(Failure, RunResponsively([] { throw Failure("Файл занят"); }));
        QVERIFY(ui().isBusy());
        ui().setBusy(false);
    }
};

QTEST_MAIN(TestQtUi)
#include "tst_qt_ui.moc"
