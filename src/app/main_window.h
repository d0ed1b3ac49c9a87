#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

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
struct YearList;
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
    int frameHeight() const;

    // The report of the running command, written to `path`: shown in the panel, which opens
    // by itself.
    void showOperationReport(const QString& text, const QString& path);
    // The running command entered the busy state: an operation starts, and the report of the
    // last one leaves the panel.
    void noteBusy();
    // The busy state ended: a close the user asked for meanwhile is carried out once the
    // command that ran has ended too.
    void noteIdle();
    // The folder of the report shown in the panel, opened in the desktop's file manager; the
    // panel's text to the clipboard.
    void openReportFolder();
    void copyReport();
    QString reportPath() const { return reportPath_; }

    void cmdShowReport_Click(int index);
    void cmdHelp_Click(int index);
    void ShowHelpTopic(const QString& topic);
    void cmdClose_Click(int index);

    QTabWidget* SSTab1 = nullptr;
    QPlainTextEdit* txtReport = nullptr;
    QPushButton* cmdOpenReportFolder = nullptr;
    QPushButton* cmdCopyReport = nullptr;

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
    // The dictionary file in use, which an office may keep outside the program folder.
    QLabel* lblDictionary = nullptr;

    // Button arrays, indexed by element as the click handlers receive it.
    std::array<QToolButton*, 5> cmdShowReport{};
    std::array<QToolButton*, 4> cmdHelp{};
    std::array<QPushButton*, 5> cmdClose{};

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void Form_Load();
    void applyEdition();
    // `centre` places the window's frame in the middle of the screen in the same request.
    void setOuterHeight(int twips, bool centre = false);
    QRect centredClientRect(const QSize& clientSize, const QMargins& frame) const;
    void buildReportPanel();
    void setReportPanelVisible(bool visible);
    void layoutReportPanel();
    void focusFirstBox();
    void hideTab(int index);
    QStringList hiddenHelpPages() const;
    void placeHelpWindow();

    // Runs one tab's command. An operation that recorded no faults leaves an empty report panel,
    // so an old report is never taken for the new one.
    void runCommand(const std::function<void()>& command);
    void closeIfRequested();
    // Enter in `box` (a text box or a drop-down list) presses `run` (once `ready` agrees), and
    // `run` shows the default frame while Enter would press it.
    void runOnEnter(QWidget* box, QPushButton* run, const std::function<bool()>& ready = {});
    void markDefaultButton(QWidget* focus);
    // The year list for a database path typed into txtFileNameExport.
    void loadTypedExportDatabase();
    void showYearList(const YearList& years);

    // One per tab, each in the tab's own file: the widgets, then the wiring of its commands.
    QWidget* buildImportTab();
    QWidget* buildSpravTab();
    QWidget* buildCheckTab();
    QWidget* buildExportTab();
    QWidget* buildAboutTab();
    void showDictionaryInUse();
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
    bool placed_ = false;
    bool placementPending_ = false;  // centred once more when the window manager framed it
    bool filterInstalled_ = false;
    int frameHeight_ = 0;
    std::unique_ptr<HelpWindow> helpWindow_;
    bool commandRunning_ = false;
    bool closeRequested_ = false;  // the user closed the window while it was busy
    QString reportPath_;           // the file of the report shown in the panel
    std::vector<std::pair<QWidget*, QPushButton*>> enterTargets_;
    QMetaObject::Connection focusConnection_;
    QString yearListPath_;        // the database whose years cmbYear holds
    bool yearListReady_ = false;  // that database passed its checks

    friend class QtUi;
};

}  // namespace converter
