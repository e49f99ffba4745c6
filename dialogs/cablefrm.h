// The cable set dialog: a cable set built from the segment library "Segments.org" of the cable folder
// and saved as a .cbl file. The left list holds the segments of the set in line order; the right one
// the library segments the set does not use (by name, letter case ignored). Include and Exclude change
// only the set in memory; Create / Modify and Delete rewrite the library, keeping the records the set
// uses at their places; OK writes the set to the file the user chooses.
//
// Used three ways: new (a set with every default), modify (a .cbl file read over a new set; the
// constructor throws TFileError when the file cannot be read, and no dialog exists), and view (a
// sequence's cable set: nothing can be changed, Close only). exec() gives QDialog::Accepted after OK
// and Rejected otherwise.
#pragma once

#include <QDialog>
#include <vector>

#include "model/sequence.h"
#include "qtsupport/dialogservices.h"
#include "ui_cablefrm.h"

class TCableFrm : public QDialog, public Ui::TCableFrm {
    Q_OBJECT
   public:
    // A new cable set.
    TCableFrm(QWidget* owner, TDialogServices services);
    // The cable set of a .cbl file. Throws TFileError when it cannot be read.
    TCableFrm(QWidget* owner, TDialogServices services, const QString& fileName);
    // A sequence's cable set, shown only.
    TCableFrm(QWidget* owner, TDialogServices services, const TCable& shown);
    ~TCableFrm() override;

    const TCable& Cable() const { return cable_; }
    bool ViewOnly() const { return viewOnly_; }

    // --- handlers ---
    void FillLists();
    void IncludeBtnClick();
    void ExcludeBtnClick();
    void AddEditSegBtnClick();
    void DeleteSegBtnClick();
    void OkBtnClick();
    void BitBtn1Click();
    // Escape and the close box when segments were included or excluded, or the name typed, and not
    // written: Save (as OK), Discard or Cancel. The Cancel button discards without a question.
    void reject() override;
    bool Changed() const;

    // The controls are the form's (dialogs/cablefrm.ui), named as the program's forms name them.

   private:
    TCableFrm(QWidget* owner, TDialogServices services, const TCable& cable, bool viewOnly);
    // Sizes the lists to their font, sets the glyphs and connects the handlers.
    void BuildControls();
    // The selected row of a list, -1 when none is.
    static int SelectedRow(const QTableWidget* list);
    void SetRow(QTableWidget* list, int row, const TSegment& s, int source);
    // The texts of a row back as a segment. When a text does not convert: the decimal symbol
    // message, the segment "NoName" with zeros, and false.
    bool RowSegment(const QTableWidget* list, int row, TSegment& segment);
    // The selected row's segment; "Item not Selected" and false, the segment unchanged, when no row is.
    bool SelectedSegment(const QTableWidget* list, TSegment& segment);
    static int RowSource(const QTableWidget* list, int row);
    // True when a library record or a row of the library list is named so (letter case ignored).
    bool LibraryHolds(const QString& name) const;
    // Writes the rows of the library list, with the records the set uses at their former places.
    void RewriteLibrary();

    TCable cable_;
    TCable shown_;       // the set as the dialog opened with it
    QString shownName_;  // and its name as shown
    bool written_ = false;
    TDialogServices services_;
    bool viewOnly_;
    // The library as last read, and which records the list leaves out because the set uses them.
    std::vector<TSegment> library_;
    std::vector<bool> usedBySet_;
    bool libraryRead_ = false;
};
