#include "qtsupport/prompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "qtsupport/messages.h"

namespace {
QMessageBox::Icon ToQt(TPrompts::TIcon icon) {
    switch (icon) {
        case TPrompts::TIcon::Warning:
            return QMessageBox::Warning;
        case TPrompts::TIcon::Error:
            return QMessageBox::Critical;
        case TPrompts::TIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::Information;
    }
}
}  // namespace

void TQtPrompts::Message(const QString& text, const QString& caption, TIcon icon) {
    QMessageBox box(ToQt(icon), caption.isEmpty() ? QString(Msg::AppTitle) : caption, text, QMessageBox::Ok,
                    parent_);
    box.exec();
}

TPrompts::TAnswer TQtPrompts::Question(const QString& text, const QString& caption, TButtons buttons,
                                       TIcon icon, TAnswer defaultAnswer) {
    QMessageBox::StandardButtons qb = buttons == TButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                      : buttons == TButtons::OkCancel
                                          ? (QMessageBox::Ok | QMessageBox::Cancel)
                                      : buttons == TButtons::SaveDiscardCancel
                                          ? (QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel)
                                          : QMessageBox::Ok;
    QMessageBox box(ToQt(icon), caption, text, qb, parent_);
    switch (defaultAnswer) {
        case TAnswer::Yes:
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case TAnswer::No:
            box.setDefaultButton(QMessageBox::No);
            break;
        case TAnswer::Cancel:
            box.setDefaultButton(QMessageBox::Cancel);
            break;
        case TAnswer::Save:
            box.setDefaultButton(QMessageBox::Save);
            break;
        case TAnswer::Discard:
            box.setDefaultButton(QMessageBox::Discard);
            break;
        default:
            box.setDefaultButton(QMessageBox::Ok);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return TAnswer::Yes;
        case QMessageBox::No:
            return TAnswer::No;
        case QMessageBox::Ok:
            return TAnswer::Ok;
        case QMessageBox::Save:
            return TAnswer::Save;
        case QMessageBox::Discard:
            return TAnswer::Discard;
        default:
            return buttons == TButtons::YesNo ? TAnswer::No : TAnswer::Cancel;
    }
}

std::optional<QString> TQtPrompts::ChooseFolder(const QString& caption, const QString& start, bool allowNew) {
    TFolderDialog dialog(parent_, caption, start, allowNew);
    if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty()) return std::nullopt;
    return dialog.Chosen();
}

std::optional<QString> TQtPrompts::ChooseOpenFile(const QString& caption, const QString& start,
                                                  const QString& filter) {
    QString f = QFileDialog::getOpenFileName(parent_, caption, start, filter);
    if (f.isEmpty()) return std::nullopt;
    return f;
}

std::optional<QString> TQtPrompts::ChooseSaveFile(const QString& caption, const QString& start,
                                                  const QString& filter) {
    QString f = QFileDialog::getSaveFileName(parent_, caption, start, filter);
    if (f.isEmpty()) return std::nullopt;
    return f;
}

std::optional<QString> TQtPrompts::ChooseItem(const QString& caption, const QStringList& items,
                                              bool viewOnly) {
    QDialog dialog(parent_, Qt::Tool);
    dialog.setWindowTitle(caption);
    // A tool window's title is not cut: the window is at least as wide as its caption.
    dialog.setMinimumWidth(dialog.fontMetrics().horizontalAdvance(caption) + 120);
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->addItems(items);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = viewOnly ? nullptr : buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    QPushButton* quit = buttons->addButton("Quit", QDialogButtonBox::RejectRole);
    if (ok != nullptr)
        ok->setDefault(true);
    else
        quit->setDefault(true);
    QString chosen;
    auto take = [&](QListWidgetItem* item) {
        if (viewOnly || item == nullptr) return;  // OK with nothing selected does nothing
        chosen = item->text();
        dialog.accept();
    };
    if (ok != nullptr)
        QObject::connect(ok, &QPushButton::clicked, &dialog, [&] { take(list->currentItem()); });
    QObject::connect(quit, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, take);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || chosen.isNull()) return std::nullopt;
    return chosen;
}

TFolderDialog::TFolderDialog(QWidget* parent, const QString& caption, const QString& start, bool allowNew)
    : QFileDialog(parent, caption, start), allowNew_(allowNew) {
    setObjectName("FolderDialog");
    // Qt's own dialog, so that the behaviour below is the same on every desktop.
    setOption(QFileDialog::DontUseNativeDialog, true);
    if (allowNew) {
        // A name may be typed for a folder that does not exist yet; the files of the folder shown stay
        // visible, so the user sees where they are.
        setFileMode(QFileDialog::AnyFile);
        setAcceptMode(QFileDialog::AcceptSave);
        setLabelText(QFileDialog::Accept, "Choose");
    } else {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, true);
    }
}

QPushButton* TFolderDialog::AcceptButton() const {
    auto* box = findChild<QDialogButtonBox*>();
    if (box == nullptr) return nullptr;
    for (QAbstractButton* b : box->buttons())
        if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) return qobject_cast<QPushButton*>(b);
    return nullptr;
}

bool TFolderDialog::NameTyped() const {
    const auto* name = findChild<QLineEdit*>("fileNameEdit");
    return name != nullptr && !name->text().trimmed().isEmpty();
}

void TFolderDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    // With no name typed, "Choose" takes the folder the user has gone into; the save dialog would
    // grey the button out there. Its buttons exist once it is shown.
    if (!allowNew_) return;
    if (QPushButton* choose = AcceptButton()) {
        choose->removeEventFilter(this);
        choose->installEventFilter(this);
        if (!NameTyped()) choose->setEnabled(true);
    }
}

bool TFolderDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && watched == AcceptButton()) {
        auto* choose = static_cast<QPushButton*>(watched);
        if (!choose->isEnabled() && !NameTyped()) choose->setEnabled(true);
    }
    return QFileDialog::eventFilter(watched, event);
}

void TFolderDialog::accept() {
    if (allowNew_ && !NameTyped()) {
        chosen_ = QDir::cleanPath(directory().absolutePath());
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): QFileDialog's own accept would open the folder
        QDialog::accept();
        return;
    }
    const QStringList files = selectedFiles();
    const QString path = files.isEmpty() ? QString() : files.first();
    if (allowNew_ && !path.isEmpty()) {
        const QFileInfo info(path);
        // An existing folder is taken as it is (the plain save dialog would open it instead), and a
        // name that does not exist yet is a new folder; an existing file is not a folder.
        if (info.isDir() || !info.exists()) {
            chosen_ = QDir::cleanPath(info.absoluteFilePath());
            // NOLINTNEXTLINE(bugprone-parent-virtual-call): QFileDialog's own accept would open the folder
            QDialog::accept();
        }
        return;
    }
    QFileDialog::accept();
    if (result() == QDialog::Accepted && !selectedFiles().isEmpty()) chosen_ = selectedFiles().first();
}

std::optional<QString> TQtPrompts::AskText(const QString& caption, const QString& label,
                                           const QString& initial) {
    QDialog dialog(parent_, Qt::Tool);
    dialog.setWindowTitle(caption);
    dialog.setMinimumWidth(dialog.fontMetrics().horizontalAdvance(caption) + 120);
    auto* layout = new QFormLayout(&dialog);
    auto* edit = new QLineEdit(initial, &dialog);
    edit->setObjectName("TextEdt");
    edit->selectAll();
    layout->addRow(label, edit);  // the label is the edit's buddy
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return edit->text();
}
