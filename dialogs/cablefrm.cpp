#include "dialogs/cablefrm.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <cstring>
#include <exception>
#include <utility>

#include "dialogs/createmodifysegfrm.h"
#include "model/cable.h"
#include "model/fileio.h"
#include "qtsupport/messages.h"

namespace {

enum TColumn { NameCol, FirstCol, LastCol, SpacingCol, RevCol, ColumnCount };
constexpr int HelpTopic = 300;

// A report-style list of segments (read-only, one whole row selected at a time, grid lines) sized to
// its font: wide enough for every column beside a vertical scroll bar.
void FitSegmentList(QTableWidget* t) {
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setSectionsClickable(false);
    t->horizontalHeader()->setHighlightSections(false);
    t->setColumnWidth(NameCol, 130);
    for (int c : {FirstCol, LastCol}) t->setColumnWidth(c, 52);
    t->setColumnWidth(SpacingCol, 70);
    t->setColumnWidth(RevCol, 44);
    t->horizontalHeader()->setStretchLastSection(true);
    int width = 2 * t->frameWidth() + t->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < ColumnCount; ++c) width += t->columnWidth(c);
    t->setMinimumSize(width, 220);
}

QString Folder(const TDialogServices& s) { return s.Workspace.CableFolder(); }

}  // namespace

TCableFrm::TCableFrm(QWidget* owner, TDialogServices services)
    : TCableFrm(owner, services, TCable(), false) {}

TCableFrm::TCableFrm(QWidget* owner, TDialogServices services, const QString& fileName)
    : TCableFrm(
          owner, services,
          [&] {
              TCable c;
              ReadCableFile(fileName.toStdString(), c);
              return c;
          }(),
          false) {}

TCableFrm::TCableFrm(QWidget* owner, TDialogServices services, const TCable& shown)
    : TCableFrm(owner, services, shown, true) {}

TCableFrm::TCableFrm(QWidget* owner, TDialogServices services, const TCable& cable, bool viewOnly)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      cable_(cable),
      shown_(cable),
      services_(services),
      viewOnly_(viewOnly) {
    BuildControls();
    if (viewOnly_) {
        for (QWidget* w : std::initializer_list<QWidget*>{OkBtn, CancelBtn, AddEditSegBtn, DeleteSegBtn})
            w->setVisible(false);
        // Nothing in the view may change the sequence's cable set.
        for (QWidget* w : std::initializer_list<QWidget*>{GroupBox1, GroupBox2, IncludeBtn, ExcludeBtn})
            w->setEnabled(false);
        CloseBtn->setDefault(true);
    } else {
        CloseBtn->setVisible(false);
        OkBtn->setDefault(true);
    }
    FillLists();
    CableEdt->setText(RecordText(cable_.CableName.Get()));
    shownName_ = CableEdt->text();
}

TCableFrm::~TCableFrm() = default;

bool TCableFrm::Changed() const {
    // The set's segments as Include and Exclude left them, or a name typed: work not written yet.
    return !viewOnly_ && !written_ &&
           (SegmentCount(cable_) != SegmentCount(shown_) ||
            std::memcmp(cable_.Segments, shown_.Segments, sizeof cable_.Segments) != 0 ||
            CableEdt->text() != shownName_);
}

void TCableFrm::reject() {
    if (Changed()) {
        const auto answer = services_.Prompts.Question(Msg::KeepCableSet, Msg::CableCaption,
                                                       TPrompts::TButtons::SaveDiscardCancel,
                                                       TPrompts::TIcon::Warning, TPrompts::TAnswer::Save);
        if (answer == TPrompts::TAnswer::Cancel) return;
        if (answer == TPrompts::TAnswer::Save) {
            OkBtnClick();  // stays open when OK refuses or its save dialog is cancelled
            return;
        }
    }
    QDialog::reject();
}

void TCableFrm::BuildControls() {
    setupUi(this);
    for (QTableWidget* list : {CableSegLst, SegmentStG}) FitSegmentList(list);
    const std::pair<QPushButton*, QStyle::StandardPixmap> glyphs[] = {
        {IncludeBtn, QStyle::SP_ArrowLeft},       {ExcludeBtn, QStyle::SP_ArrowRight},
        {OkBtn, QStyle::SP_DialogOkButton},       {CancelBtn, QStyle::SP_DialogCancelButton},
        {CloseBtn, QStyle::SP_DialogCloseButton}, {BitBtn1, QStyle::SP_MessageBoxQuestion}};
    for (const auto& [button, glyph] : glyphs) button->setIcon(style()->standardIcon(glyph));

    connect(IncludeBtn, &QPushButton::clicked, this, &TCableFrm::IncludeBtnClick);
    connect(ExcludeBtn, &QPushButton::clicked, this, &TCableFrm::ExcludeBtnClick);
    connect(AddEditSegBtn, &QPushButton::clicked, this, &TCableFrm::AddEditSegBtnClick);
    connect(DeleteSegBtn, &QPushButton::clicked, this, &TCableFrm::DeleteSegBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &TCableFrm::OkBtnClick);
    // Cancel says what the user wants: no question.
    connect(CancelBtn, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(BitBtn1, &QPushButton::clicked, this, &TCableFrm::BitBtn1Click);
}

int TCableFrm::SelectedRow(const QTableWidget* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int TCableFrm::RowSource(const QTableWidget* list, int row) {
    return list->item(row, NameCol)->data(Qt::UserRole).toInt();
}

void TCableFrm::SetRow(QTableWidget* list, int row, const TSegment& s, int source) {
    const char d = services_.Workspace.Decimal();
    const QString texts[ColumnCount] = {RecordText(s.Name.Get()), QString::number(s.FirstNode),
                                        QString::number(s.LastNode), FixedTwoText(s.NodeSpacing, d),
                                        s.Reversible != 0 ? "yes" : "no"};
    for (int c = 0; c < ColumnCount; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        if (c != NameCol) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        list->setItem(row, c, item);
    }
    // Which library record the row came from (-1 for one added here), for the rewrite.
    list->item(row, NameCol)->setData(Qt::UserRole, source);
}

bool TCableFrm::RowSegment(const QTableWidget* list, int row, TSegment& segment) {
    auto text = [&](int c) { return list->item(row, c)->text(); };
    const auto first = ReadTypedInteger(text(FirstCol));
    const auto last = ReadTypedInteger(text(LastCol));
    const auto spacing = ReadTypedNumber(text(SpacingCol), services_.Workspace.Decimal());
    if (!first || !last || !spacing || *first < INT16_MIN || *first > INT16_MAX || *last < INT16_MIN ||
        *last > INT16_MAX) {
        services_.Prompts.Message(Msg::DecimalSymbol, Msg::CableCaption, TPrompts::TIcon::Error);
        segment.MakeEmpty();
        return false;
    }
    segment.Name.Set(RecordField(text(NameCol)));
    segment.FirstNode = static_cast<int16_t>(*first);
    segment.LastNode = static_cast<int16_t>(*last);
    segment.NodeSpacing = static_cast<float>(*spacing);
    segment.Reversible = text(RevCol) == "yes" ? 1 : 0;
    return true;
}

bool TCableFrm::SelectedSegment(const QTableWidget* list, TSegment& segment) {
    const int row = SelectedRow(list);
    if (row < 0) {
        services_.Prompts.Message(Msg::ItemNotSelected, Msg::CableCaption, TPrompts::TIcon::Information);
        return false;
    }
    return RowSegment(list, row, segment);
}

void TCableFrm::FillLists() {
    const std::string folder = Folder(services_).toStdString();
    try {
        if (!FileExists(folder + SegmentLibraryFileName))
            services_.Prompts.Message(Msg::CreateSegmentsOrg, Msg::CableCaption,
                                      TPrompts::TIcon::Information);
        library_ = ReadLibrary(folder);
        libraryRead_ = true;
    } catch (const std::exception& e) {
        // The library list stays empty and the library is not rewritten from it.
        library_.clear();
        libraryRead_ = false;
        services_.Prompts.Message(QString::fromStdString(e.what()), Msg::CableCaption,
                                  TPrompts::TIcon::Error);
    }

    const int used = SegmentCount(cable_);
    CableSegLst->clearContents();
    CableSegLst->setRowCount(used);
    QStringList usedNames;
    for (int i = 0; i < used; ++i) {
        SetRow(CableSegLst, i, cable_.Segments[i], i);
        usedNames << CableSegLst->item(i, NameCol)->text();
    }

    SegmentStG->clearContents();
    SegmentStG->setRowCount(0);
    usedBySet_.assign(library_.size(), false);
    for (std::size_t i = 0; i < library_.size(); ++i) {
        if (usedNames.contains(RecordText(library_[i].Name.Get()), Qt::CaseInsensitive)) {
            usedBySet_[i] = true;
            continue;
        }
        const int row = SegmentStG->rowCount();
        SegmentStG->insertRow(row);
        SetRow(SegmentStG, row, library_[i], static_cast<int>(i));
    }
}

void TCableFrm::IncludeBtnClick() {
    if (viewOnly_) return;
    TSegment segment;
    segment.MakeEmpty();
    if (SelectedSegment(SegmentStG, segment)) {
        const TIncludeOutcome outcome = IncludeSegment(cable_, segment);
        if (outcome.Result == TIncludeResult::Overlap) {
            services_.Prompts.Message(RecordText(segment.Name.Get()) + Msg::IncompatibleWith +
                                          RecordText(cable_.Segments[outcome.ClashIndex].Name.Get()),
                                      Msg::DuplicateNodes, TPrompts::TIcon::Error);
        } else if (outcome.Result != TIncludeResult::Included) {
            // A full set, or a segment that can never be laid (empty, nodes out of range).
            services_.Prompts.Message(QString::fromStdString(IncludeRefusalText(cable_, segment, outcome)),
                                      Msg::CableErrorCaption, TPrompts::TIcon::Error);
        }
    }
    FillLists();
}

void TCableFrm::ExcludeBtnClick() {
    if (viewOnly_) return;
    const int row = SelectedRow(CableSegLst);
    if (row >= 0) ExcludeSegment(cable_, row);
    FillLists();
}

bool TCableFrm::LibraryHolds(const QString& name) const {
    for (int row = 0; row < SegmentStG->rowCount(); ++row)
        if (SegmentStG->item(row, NameCol)->text().compare(name, Qt::CaseInsensitive) == 0) return true;
    for (std::size_t i = 0; i < library_.size(); ++i)
        if (usedBySet_[i] && RecordText(library_[i].Name.Get()).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void TCableFrm::AddEditSegBtnClick() {
    const int row = SelectedRow(SegmentStG);
    // No selection starts a new segment.
    TSegment segment;
    segment.MakeEmpty();
    SelectedSegment(SegmentStG, segment);
    int result = 0;
    {
        TCreateModifySegFrm form(this, segment, services_);
        result = form.exec();
    }
    if (result != TCreateModifySegFrm::AddResult && result != TCreateModifySegFrm::ModifyResult) return;
    if (result == TCreateModifySegFrm::ModifyResult && row >= 0) {
        SetRow(SegmentStG, row, segment, RowSource(SegmentStG, row));
    } else {
        const QString name = RecordText(segment.Name.Get());
        if (LibraryHolds(name)) {
            // Two records of one name could not be told apart in the lists.
            services_.Prompts.Message(Msg::SegmentNameTaken + name, Msg::CableErrorCaption,
                                      TPrompts::TIcon::Error);
            SegmentStG->clearSelection();
            return;
        }
        const int added = SegmentStG->rowCount();
        SegmentStG->insertRow(added);
        SetRow(SegmentStG, added, segment, -1);
    }
    RewriteLibrary();
    SegmentStG->clearSelection();
}

void TCableFrm::DeleteSegBtnClick() {
    const int row = SelectedRow(SegmentStG);
    // The last library segment stays.
    if (row < 0 || SegmentStG->rowCount() <= 1) return;
    const auto answer = services_.Prompts.Question(Msg::DeleteWhat + SegmentStG->item(row, NameCol)->text(),
                                                   Msg::AreYouSure, TPrompts::TButtons::OkCancel,
                                                   TPrompts::TIcon::Question, TPrompts::TAnswer::Cancel);
    if (answer != TPrompts::TAnswer::Ok) return;
    SegmentStG->removeRow(row);
    RewriteLibrary();
    SegmentStG->clearSelection();
}

void TCableFrm::RewriteLibrary() {
    if (!libraryRead_) {
        // Without the records the set uses, a rewrite would drop them.
        services_.Prompts.Message(Msg::LibraryNotRewritten + QString(SegmentLibraryFileName),
                                  Msg::CableErrorCaption, TPrompts::TIcon::Error);
        return;
    }
    const int rows = SegmentStG->rowCount();
    std::vector<TSegment> fromRows(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row)
        if (!RowSegment(SegmentStG, row, fromRows[static_cast<std::size_t>(row)])) return;

    // Rows keep the order of the records they came from, new rows last; the records the set uses
    // stay where they were.
    std::vector<TSegment> out;
    std::vector<bool> outUsed;
    int next = 0;
    for (std::size_t i = 0; i < library_.size(); ++i) {
        if (usedBySet_[i]) {
            out.push_back(library_[i]);
            outUsed.push_back(true);
        } else if (next < rows && RowSource(SegmentStG, next) == static_cast<int>(i)) {
            out.push_back(fromRows[static_cast<std::size_t>(next++)]);
            outUsed.push_back(false);
        }
    }
    for (; next < rows; ++next) {
        out.push_back(fromRows[static_cast<std::size_t>(next)]);
        outUsed.push_back(false);
    }

    const std::string folder = Folder(services_).toStdString();
    try {
        if (!WriteLibrary(folder, out)) {
            services_.Prompts.Message(
                Msg::LibraryNotRewritten + QString::fromStdString(folder + SegmentLibraryFileName),
                Msg::CableErrorCaption, TPrompts::TIcon::Error);
            return;
        }
    } catch (const std::exception& e) {
        services_.Prompts.Message(QString::fromStdString(e.what()), Msg::CableErrorCaption,
                                  TPrompts::TIcon::Error);
        return;
    }
    library_ = std::move(out);
    usedBySet_ = std::move(outUsed);
    int row = 0;
    for (std::size_t i = 0; i < library_.size(); ++i)
        if (!usedBySet_[i]) SegmentStG->item(row++, NameCol)->setData(Qt::UserRole, static_cast<int>(i));
}

void TCableFrm::OkBtnClick() {
    const QString name = CableEdt->text().trimmed();
    if (name.isEmpty() || name.contains("NoName")) {
        services_.Prompts.Message(Msg::EnterCableSetName, Msg::CableErrorCaption, TPrompts::TIcon::Error);
        return;
    }
    if (SegmentCount(cable_) == 0) {
        written_ = true;  // nothing to write: nothing is lost
        accept();
        return;
    }
    cable_.CableName.Set(RecordField(name));
    auto file = services_.Prompts.ChooseSaveFile(
        "Save the cable set", Folder(services_) + RecordText(cable_.CableName.Get()) + ".cbl",
        "Cable set (*.cbl)");
    if (!file) return;
    QString path = *file;
    if (!path.section('/', -1).contains('.')) path += ".cbl";
    try {
        WriteCableFile(path.toStdString(), cable_);
    } catch (const std::exception& e) {
        services_.Prompts.Message(QString::fromStdString(e.what()), Msg::CableErrorCaption,
                                  TPrompts::TIcon::Error);
        return;
    }
    written_ = true;
    accept();
}

void TCableFrm::BitBtn1Click() { services_.Help.ShowTopic(HelpTopic, this); }
