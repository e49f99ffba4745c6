#include "app/mainfrm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <cstdio>
#include <utility>

#include "app/aboutboxfrm.h"
#include "app/configurationfrm.h"
#include "app/linkcontroller.h"
#include "app/optimisefrm.h"
#include "app/planningtools.h"
#include "charts/graphreportframe.h"
#include "dialogs/cablefrm.h"
#include "dialogs/editsequencefrm.h"
#include "dialogs/numerofrm.h"
#include "dialogs/sequencefrm.h"
#include "dialogs/setchartfrm.h"
#include "link/portctl.h"
#include "link/uploadcommands.h"
#include "model/fileio.h"
#include "qtsupport/helpviewer.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"
#include "storage/export.h"
#include "storage/filenames.h"
#include "storage/inversionformats.h"

namespace {

// Where the recent sets are kept, beside the historical settings.
constexpr const char* RecentSetsKey = "Teravox/RecentSets";
constexpr const char* ReopenLastKey = "Teravox/ReopenLastSet";

QString GeneralFormat(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return QString::fromLatin1(buf);
}

}  // namespace

TMainFrm::TMainFrm(TPrompts& prompts, QSettings& store, const QString& programFolder, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), store_(store), workspace_(programFolder, set_) {
    BuildControls();
    BuildMenus();
    statusBar();  // where the menus' hints show
    FitToScreen();

    // Settings: each value only if present; an error stops the reading with what was read so far.
    QString error = ReadSettings(store_, settings_);
    if (!error.isEmpty()) prompts_.Message(error, Msg::AppTitle, TPrompts::TIcon::Error);
    for (int i = 0; i < 4; ++i)
        SetComDevicePath(i + 1, settings_.ComDevice[static_cast<std::size_t>(i)].toStdString());

    ProgramFolder = programFolder.endsWith('/') ? programFolder : programFolder + "/";
    CableFolder = ProgramFolder + "Cable/";
    SequenceFolder = ProgramFolder + "Sequence/";
    for (const QString& folder : {ProgramFolder + "Varnel", CableFolder, SequenceFolder}) {
        if (!QDir().mkpath(folder)) throw TDirectoryError(Msg::DirectoryError);
    }
    BuildRecentSetsMenu();  // named relative to the sequence folder, now known
    TGraphReportFrame1->setEnabled(false);
    TGraphReportFrame1->SetPrompts(&prompts_);
    ApplySettingsToControls();

    // The upload panel starts off.
    UpLoadLbl->setEnabled(false);
    ProgressBar->setVisible(false);
    StopUpLoadBtn->setEnabled(false);

    link_ = new TLinkController(prompts_, settings_, TUploadPanel{UpLoadLbl, ProgressBar, StopUpLoadBtn},
                                Image2, this);
    connect(link_, &TLinkController::commandEnded, this, &TMainFrm::UpdateModemMenu);
    connect(link_, &TLinkController::closeRequested, this, &QWidget::close);
    UpdateModemMenu();
    ShowPortImage(false);  // the picture from the start; the link itself waits for activation
}

TMainFrm::~TMainFrm() = default;

void TMainFrm::BuildControls() {
    setupUi(this);
    TGraphReportFrame1->AddResolutionView();
    SetSplitter->setStretchFactor(1, 1);
    SetSplitter->setSizes({230, 560});
    // The four speed buttons side by side, never overlapping (measured with their texts, which the
    // form sets after the layouts first measured them).
    SpeedButtonLayout->invalidate();
    GroupBox4->setMinimumWidth(std::max(230, SpeedButtonLayout->minimumSize().width() + 24));

    connect(SequenceListBox, &QListWidget::itemClicked, this, [this] { SequenceListBoxClick(); });
    connect(SequenceListBox, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != current_ && !closing_) SequenceListBoxClick();
    });
    connect(ToolButton6, &QToolButton::clicked, this, &TMainFrm::ToolButton6Click);
    connect(TGraphReportFrame1, &TGraphReportFrame::viewChanged, this,
            &TMainFrm::TGraphReportFrame1ComboBox1Change);
    connect(TGraphReportFrame1, &TGraphReportFrame::tableRequested, this,
            &TMainFrm::TGraphReportFrame1ToolButton7Click);
    connect(NewSeqBtn, &QToolButton::clicked, this, &TMainFrm::NewSeqBtnClick);
    connect(ImportSeqBtn, &QToolButton::clicked, this, &TMainFrm::ImportSeqBtnClick);
    connect(ModifySeqBtn, &QToolButton::clicked, this, &TMainFrm::ModifySeqBtnClick);
    connect(DeleteSeqBtn, &QToolButton::clicked, this, &TMainFrm::DeleteSeqBtnClick);
    connect(StopUpLoadBtn, &QToolButton::clicked, this, &TMainFrm::StopUpLoadBtnClick);
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        std::vector<std::string> lines;
        const QString text = Memo1->toPlainText();
        if (!text.isEmpty())
            for (const QString& l : text.split('\n')) lines.push_back(l.toStdString());
        set_.SetComment(std::move(lines));
        // Filling the memo from a set blocks this signal: only the user's typing is a change.
        set_.MarkModified();
    });
}

void TMainFrm::BuildMenus() {
    const std::pair<QAction*, void (TMainFrm::*)()> handlers[] = {
        {NewSeq, &TMainFrm::NewSeqClick},
        {OpenSeq, &TMainFrm::OpenSeqClick},
        {SaveSeq, &TMainFrm::SaveSeqClick},
        {Saveas1, &TMainFrm::Saveas1Click},
        {UploadZenda, &TMainFrm::VarnelUpLoad},
        {UploadOptra, &TMainFrm::VarnelTarskOptra1Click},
        {Pelmar1, &TMainFrm::Pelmar1Click},
        {Spreadsheet1, &TMainFrm::Spreadsheet1Click},
        {Seq1, &TMainFrm::Seq1Click},
        {PyGimli1, &TMainFrm::PyGimli1Click},
        {Protocol1, &TMainFrm::Protocol1Click},
        {ModemConnect, &TMainFrm::ModemConnectClick},
        {ModemDisconnect, &TMainFrm::ModemDisconnectClick},
        {ModemView, &TMainFrm::ModemViewClick},
        {ModemStart, &TMainFrm::ModemStartClick},
        {ModemDelete, &TMainFrm::ModemDeleteClick},
        {Configuration1, &TMainFrm::Configuration1Click},
        {AppendReciprocals1, &TMainFrm::AppendReciprocals1Click},
        {ReciprocalsOnly1, &TMainFrm::ReciprocalsOnly1Click},
        {OrderForIp1, &TMainFrm::OrderForIp1Click},
        {OrderForChannels1, &TMainFrm::OrderForChannels1Click},
        {OptimisedSequence1, &TMainFrm::OptimisedSequence1Click},
        {WholeSet1, &TMainFrm::WholeSet1Click},
        {NewCable, &TMainFrm::NewCableClick},
        {ModifyCable, &TMainFrm::ModifyCableClick},
        {HelponTeravox1, &TMainFrm::HelponTeravox1Click},
        {Helponarraytype1, &TMainFrm::Helponarraytype1Click},
        {Homepage1, &TMainFrm::Homepage1Click},
        {Productsupport1, &TMainFrm::Productsupport1Click},
        {Lastupdate1, &TMainFrm::Lastupdate1Click},
        {About1, &TMainFrm::About1Click}};
    for (const auto& [action, handler] : handlers) connect(action, &QAction::triggered, this, handler);
    connect(Quit1, &QAction::triggered, this, &QWidget::close);
    ReopenLastSet1->setChecked(store_.value(ReopenLastKey, false).toBool());
    connect(ReopenLastSet1, &QAction::toggled, this, [this](bool on) {
        store_.setValue(ReopenLastKey, on);
        store_.sync();
    });
    BuildRecentSetsMenu();
    // The instrument family an upload is for, and the separator character of each item.
    UploadZenda->setData(1);
    UploadOptra->setData(2);
    ModemUpload->setData(2);
    separatorGroup_ = new QActionGroup(this);
    separatorGroup_->setExclusive(true);
    for (const auto& [item, tag] : {std::pair{Comma, 44}, {Space, 32}, {Tabulation, 9}}) {
        item->setData(tag);
        separatorGroup_->addAction(item);
    }
    connect(separatorGroup_, &QActionGroup::triggered, this, &TMainFrm::OpttionSpreadSheetClick);

    // F1: the help of the window in front, modal dialogs included (a shortcut of this window would
    // be blocked by them), through its own Help button; the contents otherwise.
    qApp->installEventFilter(this);

    // A tool bar of a form holds actions only: the upload button with its menu is added here.
    auto* uploadBtn = new QToolButton(ToolBar2);
    uploadBtn->setObjectName("UploadTBtn");
    uploadBtn->setText("&Upload");
    uploadBtn->setToolTip("Upload a set of sequences");
    uploadBtn->setMenu(UploadMenu);
    uploadBtn->setPopupMode(QToolButton::InstantPopup);
    ToolBar2->addWidget(uploadBtn);
}

void TMainFrm::ApplySettingsToControls() {
    NewSeqBtn->setEnabled(settings_.NewEnabled);
    ModifySeqBtn->setEnabled(settings_.ModifyEnabled);
    ImportSeqBtn->setEnabled(settings_.ImportEnabled);
    DeleteSeqBtn->setEnabled(settings_.DeleteEnabled);
    if (settings_.TabSeparateur == 9)
        Tabulation->setChecked(true);
    else if (settings_.TabSeparateur == 44)
        Comma->setChecked(true);
    else {
        settings_.TabSeparateur = 32;
        Space->setChecked(true);
    }
}

void TMainFrm::ReadSettingsFromControls() {
    settings_.NewEnabled = NewSeqBtn->isEnabled();
    settings_.ModifyEnabled = ModifySeqBtn->isEnabled();
    settings_.ImportEnabled = ImportSeqBtn->isEnabled();
    settings_.DeleteEnabled = DeleteSeqBtn->isEnabled();
}

void TMainFrm::ShowError(const QString& text) {
    prompts_.Message(text, Msg::AppTitle, TPrompts::TIcon::Error);
}

int TMainFrm::ListIndexOf(const QString& name) const {
    for (int row = 0; row < SequenceListBox->count() && row < set_.Count(); ++row)
        if (SequenceListBox->item(row)->text() == name) return row;
    return -1;
}

void TMainFrm::RefreshList() {
    const bool was = closing_;
    closing_ = true;  // no selection handler while the list is rebuilt
    SequenceListBox->clear();
    for (const std::string& n : set_.Names()) SequenceListBox->addItem(RecordText(n));
    closing_ = was;
}

void TMainFrm::ShowSequence(int index) {
    if (index < 0 || index >= set_.Count()) return;
    const TSequence& seq = set_.Sequence(index);
    TGraphReportFrame1->setEnabled(false);
    SequenceNameLbl->setText(RecordText(seq.Name.Get()));
    SpacingLbl->setText(GeneralFormat(seq.Spacing[0]));
    CableLbl->setText(RecordText(seq.CableName.Get()));
    current_ = index;
    const bool was = closing_;
    closing_ = true;
    SequenceListBox->setFocus();
    SequenceListBox->setCurrentRow(index);
    closing_ = was;
    DrawShown(seq);
    TGraphReportFrame1->setEnabled(true);
    NbOfSequenceLbl->setText(QString::number(index + 1));
    ShowPlan(seq, settings_.Channels, *PlanLbl);
}

namespace {
// The busy cursor while the window cannot take input (a set written, a resolution worked out).
class TBusyCursor {
   public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
}  // namespace

void TMainFrm::DrawShown(const TSequence& seq) {
    if (TGraphReportFrame1->ViewIndex() != TGraphReportFrame::ResolutionView) {
        TGraphReportFrame1->DrawSequence(seq);
        return;
    }
    TResolutionPicture picture;
    QString refused;
    bool drawn = false;
    {
        std::optional<TBusyCursor> busy;
        if (!resolution_.Holds(seq)) busy.emplace();
        drawn = resolution_.Of(seq, picture, refused);
    }
    if (drawn)
        TGraphReportFrame1->DrawResolution(picture);
    else
        TGraphReportFrame1->ShowResolutionRefused(QString::fromStdString(RecordTextUtf8(seq.Name.Get())),
                                                  refused);
}

void TMainFrm::ClearShown() {
    TGraphReportFrame1->ClearChart();
    SequenceNameLbl->clear();
    SpacingLbl->clear();
    CableLbl->clear();
    PlanLbl->clear();
    NbOfSequenceLbl->clear();
    current_ = -1;
}

void TMainFrm::SequenceListBoxClick() {
    int row = SequenceListBox->currentRow();
    if (row < 0 || row >= set_.Count()) return;
    ShowSequence(row);
}

void TMainFrm::TGraphReportFrame1ComboBox1Change(int) {
    int row = SequenceListBox->currentRow();
    if (row < 0 || row >= set_.Count() || SequenceListBox->selectedItems().isEmpty()) {
        prompts_.Message(Msg::SelectValidSequence);
        return;
    }
    current_ = row;
    DrawShown(set_.Sequence(row));
}

void TMainFrm::ToolButton6Click() {
    int index = ListIndexOf(SequenceNameLbl->text());
    if (SequenceNameLbl->text().isEmpty() || index < 0) return;
    // Nothing can be changed in view mode; the dialog gets a copy all the same.
    TSequence copy = set_.Sequence(index);
    TSequenceFrm dialog(this, true, false, copy, Services());
    dialog.exec();
}

void TMainFrm::TGraphReportFrame1ToolButton7Click() {
    int index = ListIndexOf(SequenceNameLbl->text());
    if (SequenceNameLbl->text().isEmpty() || index < 0) return;
    TEditSequenceFrm tables(this, set_.Sequence(index));
    tables.exec();
}

TDialogServices TMainFrm::Services() { return TDialogServices{workspace_, prompts_, *help_}; }

void TMainFrm::NewSeqBtnClick() {
    const int selected = SequenceListBox->selectedItems().isEmpty() ? -1 : SequenceListBox->currentRow();
    std::unique_ptr<TSequence> record = set_.NewSequenceStart(selected < set_.Count() ? selected : -1);
    if (!record) return;
    {
        TSequenceFrm dialog(this, true, true, *record, Services());
        if (dialog.exec() != QDialog::Accepted) return;
    }
    const std::string name = record->Name.Get();
    const int index = set_.AddNewSequence(std::move(record));
    RefreshList();
    if (index >= 0)
        ShowSequence(index);
    else
        prompts_.Message(RecordText(name) + Msg::NameNotAdded, Msg::SequenceCaption,
                         TPrompts::TIcon::Warning);
}

void TMainFrm::ModifySeqBtnClick() {
    const int row = SequenceListBox->currentRow();
    if (row < 0 || row >= set_.Count()) return;
    auto edited = std::make_unique<TSequence>(set_.Sequence(row));
    {
        TSequenceFrm dialog(this, false, true, *edited, Services());
        if (dialog.exec() != QDialog::Accepted) return;
    }
    const std::string wanted = edited->Name.Get();
    if (set_.ModifySequence(row, *edited) == TModifyResult::NameNotUnique)
        prompts_.Message(
            Msg::NameKept + RecordText(set_.Sequence(row).Name.Get()) + " (" + RecordText(wanted) + ")",
            Msg::SequenceCaption, TPrompts::TIcon::Warning);
    RefreshList();
    ShowSequence(row);
}

void TMainFrm::ImportSeqBtnClick() {
    auto file =
        prompts_.ChooseOpenFile("Open or import a sequence", SequenceFolder,
                                "Teravox sequence (*.sqx);;Text sequence (*.txt);;Teravox V1 (*.seq);;"
                                "pyGIMLi / BERT data (*.ohm *.shm *.dat);;R2 / ResIPy protocol (*.dat)");
    if (!file) return;
    try {
        const char decimal = workspace_.Decimal();
        // A protocol.dat holds no positions: the electrodes go on a line at the spacing typed.
        float spacing = DefaultProtocolSpacing;
        if (InversionFormatOfFile(file->toStdString()) == TInversionFormat::Protocol) {
            auto typed = AskProtocolSpacing(prompts_, decimal);
            if (!typed) return;
            spacing = *typed;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        int index = -1;
        try {
            index = set_.ImportFile(file->toStdString(), decimal, spacing);
        } catch (...) {
            QApplication::restoreOverrideCursor();
            throw;
        }
        QApplication::restoreOverrideCursor();
        if (index < 0) return;
        RefreshList();
        ShowSequence(index);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
}

void TMainFrm::DeleteSeqBtnClick() {
    const int row = SequenceListBox->selectedItems().isEmpty() ? -1 : SequenceListBox->currentRow();
    if (row < 0 || row >= set_.Count()) {
        ClearShown();
        return;
    }
    int next = set_.DeleteSequence(row);
    set_.MarkModified();  // the next Save removes its file; until then quitting must ask
    RefreshList();
    if (next >= 0)
        ShowSequence(next);
    else
        ClearShown();
}

void TMainFrm::SetCaptionForFolder() {
    GroupBox4->setTitle(set_.SetFolder().empty() ? QString()
                                                 : QString::fromStdString(SetFolderCaption(
                                                       set_.SetFolder(), SequenceFolder.toStdString())));
}

void TMainFrm::NewSeqClick() {
    if (!MayDropSet(Msg::BeforeNewSet)) return;
    set_.NewSet();
    RefreshList();
    SetCaptionForFolder();
    ClearShown();
    const QSignalBlocker block(Memo1);
    Memo1->clear();
}

void TMainFrm::OpenSetFolder(const QString& folder) {
    TOpenReport report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        set_.NewSet();
        report = set_.Open(folder.toStdString());
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        ShowError(QString::fromStdString(e.what()));
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    RefreshList();
    SetCaptionForFolder();
    ClearShown();
    {
        const QSignalBlocker block(Memo1);
        QStringList lines;
        for (const auto& l : set_.Comment()) lines << QString::fromStdString(l);
        Memo1->setPlainText(lines.join('\n'));
    }
    if (set_.Count() > 0) ShowSequence(set_.Count() - 1);
    QApplication::restoreOverrideCursor();
    if (!set_.SetFolder().empty()) RememberSet(QString::fromStdString(set_.SetFolder()));
    for (const auto& r : report.Refused) ShowError(QString::fromStdString(r));
    if (!report.StoppedAt.empty())
        ShowError(QString::fromStdString(report.StoppedAt) +
                  ": its name cannot be made unique; the files after it were not read");
    if (report.FinishedInterruptedSave)
        prompts_.Message(folder +
                             ": a save of this set had been cut short after it was decided; it was finished "
                             "before the set was opened, so the set is the one that save wrote.",
                         Msg::AppTitle, TPrompts::TIcon::Information);
    if (!report.CommentNote.empty())
        prompts_.Message(QString::fromStdString(report.CommentNote), Msg::AppTitle, TPrompts::TIcon::Warning);
}

void TMainFrm::OpenSeqClick() {
    if (!MayDropSet(Msg::BeforeOpening)) return;
    auto folder = prompts_.ChooseFolder("Open a set of sequences", SequenceFolder, false);
    if (!folder) return;
    OpenSetFolder(*folder);
}

bool TMainFrm::MayDropSet(const char* before) {
    if (!set_.SetModified()) return true;
    const auto answer = prompts_.Question(QString(Msg::SaveSetBefore).arg(before), Msg::AppTitle,
                                          TPrompts::TButtons::SaveDiscardCancel, TPrompts::TIcon::Warning,
                                          TPrompts::TAnswer::Save);
    if (answer == TPrompts::TAnswer::Discard) return true;
    if (answer == TPrompts::TAnswer::Save) return SaveSet();
    return false;
}

void TMainFrm::SaveSeqClick() { SaveSet(); }

bool TMainFrm::SaveSet() {
    TSaveResult result;
    try {
        TBusyCursor busy;
        result = set_.Save();
    } catch (const TFileError& e) {
        // Every failure of a save (a file not written, the set busy or changed on disk) says why.
        ShowError(QString::fromStdString(e.what()));
        return false;
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
        return false;
    }
    if (result == TSaveResult::NeedsFolder) return SaveSetAs();
    return true;
}

void TMainFrm::Saveas1Click() { SaveSetAs(); }

bool TMainFrm::SaveSetAs() {
    for (;;) {
        auto folder =
            prompts_.ChooseFolder("Save the set of sequences into a new folder", SequenceFolder, true);
        if (!folder) return false;
        TSaveAsResult r;
        try {
            TBusyCursor busy;
            std::string problem;
            r = set_.SaveAs(folder->toStdString(), &problem);
        } catch (const TFileError& e) {
            ShowError(QString::fromStdString(e.what()));
            return false;
        } catch (const std::exception& e) {
            ShowError(QString::fromStdString(e.what()));
            return false;
        }
        if (r == TSaveAsResult::Saved) {
            SetCaptionForFolder();
            RememberSet(QString::fromStdString(set_.SetFolder()));
            return true;
        }
        if (r == TSaveAsResult::FolderExists)
            prompts_.Message(Msg::CreateNewDirectory);
        else
            prompts_.Message(Msg::DirectoryError, Msg::AppTitle, TPrompts::TIcon::Error);
    }
}

QStringList TMainFrm::RecentSets() const { return store_.value(RecentSetsKey).toStringList(); }

void TMainFrm::RememberSet(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList recent = RecentSets();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > RecentSetCount) recent.removeLast();
    store_.setValue(RecentSetsKey, recent);
    store_.sync();
    BuildRecentSetsMenu();
}

void TMainFrm::BuildRecentSetsMenu() {
    RecentSetsMenu->clear();
    const QStringList recent = RecentSets();
    int number = 1;
    for (const QString& folder : recent) {
        // Alt+1 to Alt+8 pick them; the folder as the user knows it, relative to the sequence folder.
        const QString shown =
            QString::fromStdString(SetFolderCaption(folder.toStdString(), SequenceFolder.toStdString()));
        QAction* a =
            RecentSetsMenu->addAction(QString("&%1 %2").arg(number++).arg(QString(shown).replace('&', "&&")));
        a->setStatusTip(folder);
        a->setData(folder);
        connect(a, &QAction::triggered, this, [this, folder] { OpenRecentSet(folder); });
    }
    RecentSetsMenu->setEnabled(!recent.isEmpty());
}

void TMainFrm::OpenRecentSet(const QString& folder) {
    if (!QDir(folder).exists()) {
        prompts_.Message(QString(Msg::SetFolderGone).arg(folder), Msg::AppTitle, TPrompts::TIcon::Warning);
        QStringList recent = RecentSets();
        recent.removeAll(folder);
        store_.setValue(RecentSetsKey, recent);
        BuildRecentSetsMenu();
        return;
    }
    if (!MayDropSet(Msg::BeforeOpening)) return;
    OpenSetFolder(folder);
}

void TMainFrm::ReopenLastSet() {
    const QStringList recent = RecentSets();
    if (!ReopenLastSet1->isChecked() || recent.isEmpty() || !QDir(recent.first()).exists()) return;
    OpenSetFolder(recent.first());
}

void TMainFrm::WholeSet1Click() {
    TSetChartFrm chart(this, Services());
    chart.exec();
}

void TMainFrm::OpttionSpreadSheetClick(QAction* item) {
    item->setChecked(true);
    settings_.TabSeparateur = item->data().toInt();
}

namespace {
// The names of the set offered one after another, each chosen name leaving the list.
class TSequencePicker {
   public:
    explicit TSequencePicker(const QListWidget& list, int count) {
        for (int row = 0; row < list.count() && row < count; ++row) {
            names_ << list.item(row)->text();
            rows_.push_back(row);
        }
    }
    // The index in the set of the next name chosen; none when the list is empty or on Quit.
    std::optional<int> Next(TPrompts& prompts) {
        if (names_.isEmpty()) return std::nullopt;
        auto pick = prompts.ChooseItem(Msg::SelectSequenceCaption, names_, false);
        if (!pick) return std::nullopt;
        const auto at = names_.indexOf(*pick);
        if (at < 0) return std::nullopt;
        names_.removeAt(at);
        const int row = rows_[static_cast<std::size_t>(at)];
        rows_.erase(rows_.begin() + at);
        return row;
    }

   private:
    QStringList names_;
    std::vector<int> rows_;
};
}  // namespace

std::optional<QString> TMainFrm::ChooseExportFolder(const QString& start) {
    for (;;) {
        auto folder = prompts_.ChooseFolder("Export into folder", start, true);
        if (!folder) return std::nullopt;
        QDir().mkpath(*folder);
        if (QDir(*folder).exists()) return folder;
        prompts_.Message(Msg::CreateNewDirectory);
    }
}

void TMainFrm::ExportEach(
    const std::function<void(const TSequence&, const std::string&, const std::string&)>& write) {
    TSequencePicker picker(*SequenceListBox, set_.Count());
    QString folder = ProgramFolder;  // then the folder chosen last, for this export only
    while (auto index = picker.Next(prompts_)) {
        auto chosen = ChooseExportFolder(folder);
        if (!chosen) return;
        folder = *chosen;
        try {
            write(set_.Sequence(*index), folder.toStdString(), set_.FileStem(*index));
        } catch (const std::exception& e) {
            ShowError(QString::fromStdString(e.what()));
            return;
        }
    }
}

void TMainFrm::Pelmar1Click() {
    const char decimal = workspace_.Decimal();
    ExportEach([decimal](const TSequence& seq, const std::string& folder, const std::string& stem) {
        ExportPelmar(seq, folder, stem, decimal);
    });
}

void TMainFrm::Spreadsheet1Click() {
    const char decimal = workspace_.Decimal();
    const char separator = static_cast<char>(settings_.TabSeparateur);
    ExportEach(
        [decimal, separator](const TSequence& seq, const std::string& folder, const std::string& stem) {
            ExportSpreadsheet(seq, folder, stem, separator, decimal);
        });
}

void TMainFrm::Seq1Click() {
    auto file = prompts_.ChooseOpenFile("Export in the older format", SequenceFolder, "Sequence (*)");
    if (!file) return;
    // The sequences chosen one after another go into the file together, all or nothing: a refusal
    // (an append of another electrode count) leaves the file as it was.
    TSequencePicker picker(*SequenceListBox, set_.Count());
    std::vector<const TSequence*> chosen;
    while (auto index = picker.Next(prompts_)) chosen.push_back(&set_.Sequence(*index));
    if (chosen.empty()) return;
    try {
        ExportV1Sequences(chosen, file->toStdString());
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
}

std::vector<TSequence> TMainFrm::SetCopy() const {
    std::vector<TSequence> copy;
    copy.reserve(static_cast<std::size_t>(set_.Count()));
    for (int i = 0; i < set_.Count(); ++i) copy.push_back(set_.Sequence(i));
    return copy;
}

void TMainFrm::VarnelUpLoad() { link_->UploadFamily1(SetCopy(), (ProgramFolder + "Varnel/").toStdString()); }

void TMainFrm::VarnelTarskOptra1Click() { link_->UploadFamily2(SetCopy()); }

void TMainFrm::StopUpLoadBtnClick() { link_->Stop(); }

void TMainFrm::UpdateModemMenu() {
    const bool connected = link_->ModemConnected();
    ModemConnect->setEnabled(!connected);
    ModemDisconnect->setEnabled(connected);
    ModemView->setEnabled(connected);
    ModemUpload->setEnabled(false);  // created disabled; nothing enables it
    ModemStart->setEnabled(connected);
    ModemDelete->setEnabled(connected);
}

void TMainFrm::ModemConnectClick() {
    if (link_->Busy() || link_->ModemConnected()) return;
    QString phone;
    {
        TNumeroFrm directory(this, phone, Services());
        if (directory.exec() != QDialog::Accepted) return;
    }
    link_->ModemConnect(phone.toStdString());
}

void TMainFrm::ModemDisconnectClick() { link_->ModemDisconnect(); }
void TMainFrm::ModemViewClick() { link_->ModemView(); }
void TMainFrm::ModemStartClick() { link_->ModemStart(); }
void TMainFrm::ModemDeleteClick() { link_->ModemDelete(); }

int TMainFrm::ShowPortImage(bool recreate) { return link_->ShowPortImage(recreate); }
int TMainFrm::PortImageIndex() const { return link_->PortImageIndex(); }

void TMainFrm::Configuration1Click() {
    const bool locked = link_->Locked();
    TConfigurationFrm dialog(this, *help_);
    dialog.NewCB->setChecked(NewSeqBtn->isEnabled());
    dialog.ModifyCB->setChecked(ModifySeqBtn->isEnabled());
    dialog.ImportCB->setChecked(ImportSeqBtn->isEnabled());
    dialog.DeleteCB->setChecked(DeleteSeqBtn->isEnabled());
    // While a link is open the dialog shows what will be in force at the next start.
    const TPortSettings& shown =
        nextStart_ ? *nextStart_
                   : TPortSettings{settings_.PortNumVarnel, settings_.PortNumModem, settings_.ComDevice};
    dialog.SetPorts(shown.Varnel, shown.Modem, shown.Devices);
    dialog.SetProgramFolder(ProgramFolder);
    dialog.SetPortInForce(settings_.PortNumVarnel);
    dialog.SetPortsLocked(locked);
    dialog.SetChannels(settings_.Channels);
    if (dialog.exec() == QDialog::Accepted) {
        NewSeqBtn->setEnabled(dialog.NewCB->isChecked());
        ModifySeqBtn->setEnabled(dialog.ModifyCB->isChecked());
        ImportSeqBtn->setEnabled(dialog.ImportCB->isChecked());
        DeleteSeqBtn->setEnabled(dialog.DeleteCB->isChecked());
        ReadSettingsFromControls();
        settings_.Channels = dialog.Channels();
        if (current_ >= 0) ShowPlan(set_.Sequence(current_), settings_.Channels, *PlanLbl);
        const TPortSettings chosen{dialog.VarnelPort(), dialog.ModemPort(), dialog.ComDevices()};
        if (!locked) {
            nextStart_.reset();
            settings_.PortNumVarnel = chosen.Varnel;
            settings_.PortNumModem = chosen.Modem;
            settings_.ComDevice = chosen.Devices;
            for (int i = 0; i < 4; ++i)
                SetComDevicePath(i + 1, settings_.ComDevice[static_cast<std::size_t>(i)].toStdString());
        } else {
            // Nothing typed is lost: what the open link cannot take now is kept for the next start.
            const bool changed = chosen.Varnel != settings_.PortNumVarnel ||
                                 chosen.Modem != settings_.PortNumModem ||
                                 chosen.Devices != settings_.ComDevice;
            if (changed)
                nextStart_ = chosen;
            else
                nextStart_.reset();
            prompts_.Message(changed ? QString(Msg::PortLocked) + "\n" + Msg::PortsAtNextStart
                                     : QString(Msg::PortLocked));
        }
    }
    ShowPortImage(true);
}

void TMainFrm::NewCableClick() {
    TCableFrm dialog(this, Services());
    dialog.exec();
}

void TMainFrm::ModifyCableClick() {
    auto file = prompts_.ChooseOpenFile("Modify a cable set", CableFolder, "Cable set (*.cbl)");
    if (!file) return;
    // A file that cannot be read opens no dialog.
    std::unique_ptr<TCableFrm> dialog;
    try {
        dialog = std::make_unique<TCableFrm>(this, Services(), *file);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
        return;
    }
    dialog->exec();
}

void TMainFrm::HelponTeravox1Click() { help_->ShowTopic(100, this); }
void TMainFrm::Helponarraytype1Click() { help_->ShowTopic(500, this); }

QString TMainFrm::HomePageUrl() { return "https://www.brevik-instruments.example"; }

void TMainFrm::OpenUrl(const QString& url) {
    emit urlOpened(url);
    if (QGuiApplication::platformName() != "offscreen") QDesktopServices::openUrl(QUrl(url));
}

void TMainFrm::Homepage1Click() { OpenUrl(HomePageUrl() + "/"); }
void TMainFrm::Productsupport1Click() { OpenUrl(HomePageUrl() + "/Support/support.html"); }
void TMainFrm::Lastupdate1Click() { OpenUrl(HomePageUrl() + "/Support/Download/Download_geophy.html"); }

void TMainFrm::About1Click() {
    TAboutBoxFrm about(this);
    connect(&about, &TAboutBoxFrm::urlOpened, this, &TMainFrm::OpenUrl);
    about.exec();
}

void TMainFrm::HandleArgument(const QString& argument) {
    // Only an argument with a folder part names a place to open.
    if (!argument.contains('/')) return;
    const QString folder = QFileInfo(argument).path();
    if (folder.isEmpty()) return;
    SequenceFolder = folder;
    OpenSeqClick();
}

bool TMainFrm::FormCloseQuery() {
    // During a transfer the transfer is stopped first; the window closes once the command has ended.
    if (!link_->RequestClose()) return false;
    if (!MayDropSet(Msg::BeforeQuitting)) return false;
    closing_ = true;
    set_.NewSet();
    SequenceListBox->clear();
    ReadSettingsFromControls();
    if (nextStart_) {
        settings_.PortNumVarnel = nextStart_->Varnel;
        settings_.PortNumModem = nextStart_->Modem;
        settings_.ComDevice = nextStart_->Devices;
    }
    QString error = WriteSettings(store_, settings_, ProgramFolder);
    if (!error.isEmpty()) prompts_.Message(error, Msg::AppTitle, TPrompts::TIcon::Error);
    link_->CloseLink();
    return true;
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TMainFrm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowPortImage(true);
    QMainWindow::changeEvent(event);
}

void TMainFrm::SaveScreenshots(const QString& folder) {
    QDir().mkpath(folder);
    const char* names[] = {"level", "investigation-depth", "geometric-factor", "cable-array", "median-depth"};
    for (int view = 4; view >= 0; --view) {
        TGraphReportFrame1->SetViewIndex(view);
        if (current_ >= 0) DrawShown(set_.Sequence(current_));
        QCoreApplication::processEvents();
        grab().save(folder + "/main-" + names[view] + ".png");
    }
    // The hover readout on a quadripole a third of the way along the first level, with its hint inside
    // the window: a picture of the screen, since the hint is a window of its own.
    if (current_ >= 0 && TGraphReportFrame1->SeriesPointCount(1) > 0) {
        const int middle = TGraphReportFrame1->SeriesPointCount(1) / 3;
        TGraphReportFrame1->HoverAt(TGraphReportFrame1->PointPixel(1, middle));
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        if (QScreen* shown = screen()) {
            const QRect area = frameGeometry();
            shown->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                .save(folder + "/main-hover.png");
        }
    }
    if (current_ >= 0) SaveResolutionScreenshots(folder);
}

void TMainFrm::SaveResolutionScreenshots(const QString& folder) {
    // The Resolution view of the sequence shown, then of an optimised design with as many readings on
    // the same electrodes, and the optimiser's dialog half-way through it. Nothing joins the set.
    QToolTip::hideText();
    const TSequence& standard = set_.Sequence(current_);
    TGraphReportFrame1->SetViewIndex(TGraphReportFrame::ResolutionView);
    DrawShown(standard);
    QCoreApplication::processEvents();
    grab().save(folder + "/main-resolution-standard.png");

    TOptimiseFrm dialog(this, workspace_, prompts_);
    dialog.CableLst->setCurrentIndex(dialog.CableLst->findText(RecordText(standard.CableName.Get())));
    dialog.SpacingSpn->setValue(standard.Spacing[0]);
    dialog.FirstSpn->setValue(standard.FirstElectrode);
    dialog.ElectrodesSpn->setValue(standard.NbElectrode);
    dialog.ReadingsSpn->setValue(standard.NbQuadripole);
    dialog.NameEdt->setText("Optimised");
    dialog.show();
    bool taken = false;
    dialog.ProgressShown = [&] {
        if (taken || dialog.ProgressBar->value() < standard.NbQuadripole / 2) return;
        taken = true;
        dialog.grab().save(folder + "/optimise-progress.png");
    };
    dialog.OptimiseBtn->click();
    if (const std::unique_ptr<TSequence> made = dialog.TakeResult()) {
        DrawShown(*made);
        QCoreApplication::processEvents();
        grab().save(folder + "/main-resolution-optimised.png");
    }
    TGraphReportFrame1->SetViewIndex(0);
    DrawShown(standard);
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && watched->isWidgetType()) {
        HelpOfWindowInFront();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFrm::RunPlanningTool(const std::function<int(int)>& tool) {
    const int row = SequenceListBox->selectedItems().isEmpty() ? -1 : SequenceListBox->currentRow();
    if (row < 0 || row >= set_.Count()) {
        prompts_.Message(Msg::SelectValidSequence);
        return;
    }
    const int added = tool(row);
    RefreshList();
    ShowSequence(added >= 0 ? added : row);
}

void TMainFrm::AppendReciprocals1Click() {
    RunPlanningTool(
        [this](int row) { return AddReciprocalSequence(set_, row, TReciprocalMode::Append, prompts_); });
}

void TMainFrm::ReciprocalsOnly1Click() {
    RunPlanningTool(
        [this](int row) { return AddReciprocalSequence(set_, row, TReciprocalMode::Only, prompts_); });
}

void TMainFrm::OrderForIp1Click() {
    RunPlanningTool([this](int row) { return AddIpOrderedSequence(set_, row, prompts_); });
}

void TMainFrm::OrderForChannels1Click() {
    RunPlanningTool(
        [this](int row) { return AddChannelOrderedSequence(set_, row, settings_.Channels, prompts_); });
}

void TMainFrm::OptimisedSequence1Click() {
    TOptimiseFrm dialog(this, workspace_, prompts_);
    if (dialog.exec() != QDialog::Accepted) return;
    const int added = AddMadeSequence(set_, dialog.TakeResult(), prompts_);
    RefreshList();
    if (added >= 0) ShowSequence(added);
}

void TMainFrm::PyGimli1Click() {
    ExportEach([](const TSequence& seq, const std::string& folder, const std::string& stem) {
        ExportUnified(seq, folder, stem);
    });
}

void TMainFrm::Protocol1Click() {
    ExportEach([](const TSequence& seq, const std::string& folder, const std::string& stem) {
        ExportProtocol(seq, folder, stem);
    });
}

void TMainFrm::HelpOfWindowInFront() {
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) front = QApplication::activeWindow();
    if (front != nullptr && front != this) {
        for (QAbstractButton* b : front->findChildren<QAbstractButton*>()) {
            if (QString(b->text()).remove('&').trimmed() == "Help" && b->isVisible() && b->isEnabled()) {
                b->click();
                return;
            }
        }
    }
    HelponTeravox1Click();
}

void TMainFrm::FitToScreen() {
    // 800 x 619 where the screen has room; on a small screen (1366 x 768 at a scale of 1.5 leaves
    // about 910 x 480 for a window) the window takes what there is.
    QSize size(800, 619);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        size = size.boundedTo(QSize(free.width() - 16, free.height() - 40));
    }
    resize(size.expandedTo(minimumSizeHint()));
}
