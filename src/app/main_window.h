#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace converter {

class Ui;
class QtUi;
class HelpWindow;

// Outer heights of the window: the tab control alone, and with the report panel below it.
inline constexpr int kShortHeightTwips = 4215;
inline constexpr int kTallHeightTwips = 6615;
inline constexpr int kClientWidthTwips = 6960;
inline constexpr int TwipsToPixels(int twips) {
    return twips / 15;
}

// Tab indices of SSTab1.
inline constexpr int kImportTab = 0;
inline constexpr int kSpravTab = 1;
inline constexpr int kCheckTab = 2;
inline constexpr int kExportTab = 3;
inline constexpr int kAboutTab = 4;

// The program's only working window: five tabs (one per operation plus About) and the report
// panel below them. Widgets keep their design names and are public so that each tab's command
// wiring (in the tab's own file) can read them.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // The window talks to the user through its own Qt Ui.
    explicit MainWindow(int edition, QWidget* parent = nullptr);
    // The window talks through `ui` (tests pass a recording fake); `ui` must outlive it.
    MainWindow(int edition, Ui& ui, QWidget* parent = nullptr);
    ~MainWindow() override;

    Ui& ui() { return *ui_; }
    int programEdition() const { return edition_; }
    bool reportVisible() const { return reportVisible_; }
    HelpWindow* helpWindow() const { return helpWindow_.get(); }

    // The window's outer height (frame included once the window is shown), in pixels.
    int outerHeight() const;

    bool CheckDictionaryPresent();
    void cmdShowReport_Click(int index);
    void cmdHelp_Click(int index);
    void ShowHelpTopic(const QString& topic);
    void cmdClose_Click(int index);

    QTabWidget* SSTab1 = nullptr;
    QPlainTextEdit* txtReport = nullptr;

    // " Импорт"
    QLineEdit* txtFileNameImport = nullptr;
    QToolButton* cmdOpenImport = nullptr;
    QPushButton* cmdImport = nullptr;
    QLabel* lblStatusImport = nullptr;

    // " Справочник"
    QLineEdit* txtNsiPath = nullptr;
    QToolButton* cmdOpenDoviSprav = nullptr;
    QPushButton* cmdFormSprav = nullptr;
    QLabel* lblStatusSprav = nullptr;

    // " Проверка"
    QLineEdit* txtDbForCheck = nullptr;
    QToolButton* cmdOpenDbCheck = nullptr;
    QLineEdit* txtSparvCheck = nullptr;
    QToolButton* cmdOpenSpravCheck = nullptr;
    QPushButton* cmdCheckSprav = nullptr;
    QLabel* lblStatusCheck = nullptr;

    // " Экспорт"; each entry of cmbYear carries its year code as item data (an int).
    QLineEdit* txtFileNameExport = nullptr;
    QToolButton* cmdOpenExport = nullptr;
    QComboBox* cmbYear = nullptr;
    QPushButton* cmdExport = nullptr;
    QLabel* lblStatusExport = nullptr;

    // " О программе"
    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblContact = nullptr;
    QLabel* lblMail = nullptr;
    QLabel* lblDisclaimer = nullptr;

    // Button arrays, indexed by element as the click handlers receive it.
    std::array<QToolButton*, 5> cmdShowReport{};
    std::array<QToolButton*, 4> cmdHelp{};
    std::array<QPushButton*, 5> cmdClose{};

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void Form_Load();
    void applyEdition();
    void setOuterHeight(int twips);
    void hideTab(int index);

    // One per tab, each in the tab's own file: the widgets, then the wiring of its commands.
    QWidget* buildImportTab();
    QWidget* buildSpravTab();
    QWidget* buildCheckTab();
    QWidget* buildExportTab();
    QWidget* buildAboutTab();
    void connectImportCommands();
    void connectSpravCommands();
    void connectCheckCommands();
    void connectExportCommands();

    // The common row at the foot of a tab: report and help icons, the run button, "Закрыть".
    QWidget* buildButtonRow(int reportElement, int helpElement, int closeElement,
                            QPushButton* runButton);
    QToolButton* makeBrowseButton(const QString& objectName);
    QLabel* makeStatusLabel(const QString& objectName);

    int edition_;
    std::unique_ptr<QtUi> ownUi_;
    Ui* ui_ = nullptr;
    bool reportVisible_ = false;
    int heightTwips_ = kShortHeightTwips;
    bool centred_ = false;
    std::unique_ptr<HelpWindow> helpWindow_;

    friend class QtUi;
};

}  // namespace converter
