#include "prompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "messages.h"

namespace {
QMessageBox::Icon ToQt(TPrompts::TIcon icon) {
    switch (icon) {
        case TPrompts::TIcon::Warning: return QMessageBox::Warning;
        case TPrompts::TIcon::Error: return QMessageBox::Critical;
        case TPrompts::TIcon::Question: return QMessageBox::Question;
        default: return QMessageBox::Information;
    }
}
}  // namespace

void TQtPrompts::Message(const QString& text, const QString& caption, TIcon icon) {
    QMessageBox box(ToQt(icon), caption.isEmpty() ? QString(Msg::AppTitle) : caption, text, QMessageBox::Ok, parent_);
    box.exec();
}

TPrompts::TAnswer TQtPrompts::Question(const QString& text, const QString& caption, TButtons buttons, TIcon icon,
                                       TAnswer defaultAnswer) {
    QMessageBox::StandardButtons qb = buttons == TButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                      : buttons == TButtons::OkCancel ? (QMessageBox::Ok | QMessageBox::Cancel)
                                                                      : QMessageBox::Ok;
    QMessageBox box(ToQt(icon), caption, text, qb, parent_);
    switch (defaultAnswer) {
        case TAnswer::Yes: box.setDefaultButton(QMessageBox::Yes); break;
        case TAnswer::No: box.setDefaultButton(QMessageBox::No); break;
        case TAnswer::Cancel: box.setDefaultButton(QMessageBox::Cancel); break;
        default: box.setDefaultButton(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes: return TAnswer::Yes;
        case QMessageBox::No: return TAnswer::No;
        case QMessageBox::Ok: return TAnswer::Ok;
        default: return buttons == TButtons::YesNo ? TAnswer::No : TAnswer::Cancel;
    }
}

std::optional<QString> TQtPrompts::ChooseFolder(const QString& caption, const QString& start, bool allowNew) {
    if (!allowNew) {
        QString dir = QFileDialog::getExistingDirectory(parent_, caption, start);
        if (dir.isEmpty()) return std::nullopt;
        return dir;
    }
    // Save as: the folder may not exist yet, so a plain name can be typed.
    QFileDialog dialog(parent_, caption, start);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setLabelText(QFileDialog::Accept, "Save");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QString> TQtPrompts::ChooseOpenFile(const QString& caption, const QString& start, const QString& filter) {
    QString f = QFileDialog::getOpenFileName(parent_, caption, start, filter);
    if (f.isEmpty()) return std::nullopt;
    return f;
}

std::optional<QString> TQtPrompts::ChooseSaveFile(const QString& caption, const QString& start, const QString& filter) {
    QString f = QFileDialog::getSaveFileName(parent_, caption, start, filter);
    if (f.isEmpty()) return std::nullopt;
    return f;
}

std::optional<QString> TQtPrompts::ChooseItem(const QString& caption, const QStringList& items, bool viewOnly) {
    QDialog dialog(parent_, Qt::Tool);
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->addItems(items);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = viewOnly ? nullptr : buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    QPushButton* quit = buttons->addButton("Quit", QDialogButtonBox::RejectRole);
    if (ok != nullptr) ok->setDefault(true);
    else quit->setDefault(true);
    QString chosen;
    auto take = [&](QListWidgetItem* item) {
        if (viewOnly || item == nullptr) return;   // OK with nothing selected does nothing
        chosen = item->text();
        dialog.accept();
    };
    if (ok != nullptr) QObject::connect(ok, &QPushButton::clicked, &dialog, [&] { take(list->currentItem()); });
    QObject::connect(quit, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, take);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || chosen.isNull()) return std::nullopt;
    return chosen;
}

std::optional<QString> TQtPrompts::AskText(const QString& caption, const QString& label, const QString& start) {
    bool ok = false;
    QString text = QInputDialog::getText(parent_, caption, label, QLineEdit::Normal, start, &ok);
    if (!ok) return std::nullopt;
    return text;
}
