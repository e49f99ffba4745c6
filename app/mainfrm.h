// The main window: owns the open set of sequences, shows the selected one in the chart frame, and
// carries the menus, tool bars and speed buttons from which the rest of the program is reached.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/resolutionview.h"
#include "app/settings.h"
#include "qtsupport/dialogservices.h"
#include "qtsupport/helpopener.h"
#include "qtsupport/workspace.h"
#include "storage/sequenceset.h"
#include "ui_mainfrm.h"

class QActionGroup;
class QSettings;
class TLinkController;
class TPrompts;

// Construction failed because a working folder is missing and cannot be created.
class TDirectoryError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

class TMainFrm : public QMainWindow, public Ui::TMainFrm {
    Q_OBJECT
   public:
    // `programFolder` is the data folder (ends with "/"); `store` holds the settings. Throws
    // TDirectoryError ("Directory Error") when "Varnel", "Cable" or "Sequence" cannot be created.
    TMainFrm(TPrompts& prompts, QSettings& store, const QString& programFolder, QWidget* parent = nullptr);
    ~TMainFrm() override;

    // --- state read by the rest of the program ---
    QString ProgramFolder, CableFolder, SequenceFolder;
    TSequenceSet& Set() { return set_; }
    // What the dialogs get: the folders, the open set and the decimal separator.
    TWorkspace& Workspace() { return workspace_; }
    // Where help goes; the program's help pages unless a test records it instead.
    THelpOpener& Help() { return *help_; }
    void SetHelpOpener(THelpOpener& help) { help_ = &help; }
    // What a dialog opened from the window is given.
    TDialogServices Services();
    const TAppSettings& Settings() const { return settings_; }
    int TabSeparateur() const { return settings_.TabSeparateur; }
    int PortNumVarnel() const { return settings_.PortNumVarnel; }
    int PortNumModem() const { return settings_.PortNumModem; }
    int CurrentSequence() const { return current_; }

    // Shows the record at `index` of the set.
    void ShowSequence(int index);
    // Re-reads the list box from the set (after an operation changed it).
    void RefreshList();
    // The start-up argument: a file or folder inside a set opens the folder chooser on its folder.
    void HandleArgument(const QString& argument);
    // Opens the set in `folder` directly (used by the demo start).
    void OpenSetFolder(const QString& folder);
    // Creates or keeps CurrentLink and draws the port picture. Returns the picture index (0 USB
    // without adapter, 1 USB with adapter, 2..5 Com 1..4, -1 none).
    int ShowPortImage(bool recreate);
    int PortImageIndex() const;
    // Writes the window in each of the four chart views (main-level.png, ...) and the chart alone.
    void SaveScreenshots(const QString& folder);
    // The Resolution view of the sequence shown and of an optimised one, and the optimiser's progress.
    void SaveResolutionScreenshots(const QString& folder);

    // --- handlers ---
    void SequenceListBoxClick();
    void ToolButton6Click();
    void TGraphReportFrame1ComboBox1Change(int view);
    void TGraphReportFrame1ToolButton7Click();
    void NewSeqBtnClick();
    void ImportSeqBtnClick();
    void ModifySeqBtnClick();
    void DeleteSeqBtnClick();
    void NewSeqClick();
    void OpenSeqClick();
    void SaveSeqClick();
    void Saveas1Click();
    void Pelmar1Click();
    void Spreadsheet1Click();
    void Seq1Click();
    void PyGimli1Click();
    void Protocol1Click();
    void OpttionSpreadSheetClick(QAction* item);
    void VarnelUpLoad();
    void VarnelTarskOptra1Click();
    void StopUpLoadBtnClick();
    void ModemConnectClick();
    void ModemDisconnectClick();
    void ModemViewClick();
    void OptimisedSequence1Click();
    void ModemStartClick();
    void ModemDeleteClick();
    void Configuration1Click();
    void NewCableClick();
    void ModifyCableClick();
    void HelponTeravox1Click();
    void Helponarraytype1Click();
    void Homepage1Click();
    void Productsupport1Click();
    void Lastupdate1Click();
    void About1Click();
    // The whole set (or the sequences ticked) on one chart, each sequence in its colour.
    void WholeSet1Click();
    // The sets opened or saved last, newest first (at most RecentSetCount), and the one reopened at start.
    static constexpr int RecentSetCount = 8;
    QStringList RecentSets() const;
    void OpenRecentSet(const QString& folder);
    // At start without an argument: reopens the last set when the user asked for it.
    void ReopenLastSet();
    // Tools on the selected sequence, each adding a new sequence to the set.
    void AppendReciprocals1Click();
    void ReciprocalsOnly1Click();
    void OrderForIp1Click();
    void OrderForChannels1Click();
    // F1: the help of the window in front.
    void HelpOfWindowInFront();

    // The controls, menus and actions are the form's (app/mainfrm.ui), named as the program's forms
    // name them. PlanLbl holds the plan of the shown sequence for the configured channels (injections
    // and acquisition time); ReopenLastSet1 is checked to reopen the last set at start.

    // Web addresses of the maker (placeholder host).
    static QString HomePageUrl();

   signals:
    // A web page or mail address was asked for (tests listen instead of a browser opening).
    void urlOpened(const QString& url);

   protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

   public:
    // The close prompt and the closing steps; false when the close is refused.
    bool FormCloseQuery();
    // Before the open set is replaced or the window closes: when the set has unsaved changes, asks
    // Save, Discard or Cancel. True when the set may go (saved, or its changes discarded).
    bool MayDropSet(const char* before);

   private:
    // What the form cannot hold (the upload button's menu, the splitter's sizes, the actions' data and
    // the separators' group) and the handlers' connections.
    void BuildMenus();
    void FitToScreen();
    void RunPlanningTool(const std::function<int(int)>& tool);
    void BuildControls();
    void ApplySettingsToControls();
    void ReadSettingsFromControls();
    void SetCaptionForFolder();
    void ClearShown();
    // Draws the sequence in the chart's view: the "Resolution" view from the resolution cache.
    void DrawShown(const TSequence& seq);
    void OpenUrl(const QString& url);
    void ShowError(const QString& text);
    // Save in place (Save as for a set without folder); true when the set was written.
    bool SaveSet();
    bool SaveSetAs();
    void RememberSet(const QString& folder);
    void BuildRecentSetsMenu();
    std::vector<TSequence> SetCopy() const;
    void UpdateModemMenu();
    int ListIndexOf(const QString& name) const;
    std::optional<QString> ChooseExportFolder(const QString& start);
    void ExportEach(
        const std::function<void(const TSequence&, const std::string&, const std::string&)>& write);

    TPrompts& prompts_;
    QSettings& store_;
    TSequenceSet set_;
    TWorkspace workspace_;
    TPageHelpOpener pageHelp_;
    THelpOpener* help_ = &pageHelp_;
    TAppSettings settings_;
    int current_ = -1;
    bool closing_ = false;
    TResolutionCache resolution_;
    QActionGroup* separatorGroup_ = nullptr;
    TLinkController* link_ = nullptr;  // owned as a child; the link's whole life is there
    // Ports chosen while a link was open: written with the settings at close, in force at the next start.
    struct TPortSettings {
        int Varnel;
        int Modem;
        std::array<QString, 4> Devices;
    };
    std::optional<TPortSettings> nextStart_;  // none while nothing waits for the next start
};
