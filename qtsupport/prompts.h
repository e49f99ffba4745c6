// Every message box, question and chooser the desktop program shows goes through TPrompts, so that
// tests answer them by script. TQtPrompts uses Qt's standard dialogs.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QPushButton;
class QWidget;

class TPrompts {
   public:
    enum class TIcon { Information, Warning, Error, Question };
    enum class TAnswer { Ok, Cancel, Yes, No, Save, Discard };
    // SaveDiscardCancel: the question before unsaved work would be dropped; Escape answers Cancel.
    enum class TButtons { Ok, OkCancel, YesNo, SaveDiscardCancel };

    virtual ~TPrompts() = default;
    virtual void Message(const QString& text, const QString& caption = QString(),
                         TIcon icon = TIcon::Information) = 0;
    // `defaultAnswer` is the button that has the focus.
    virtual TAnswer Question(const QString& text, const QString& caption, TButtons buttons, TIcon icon,
                             TAnswer defaultAnswer) = 0;
    // A folder; with `allowNew` the user may type one that does not exist yet. Nothing on Cancel.
    virtual std::optional<QString> ChooseFolder(const QString& caption, const QString& start,
                                                bool allowNew) = 0;
    // A file to open matching `filter` ("Cable set (*.cbl)"). Nothing on Cancel.
    virtual std::optional<QString> ChooseOpenFile(const QString& caption, const QString& start,
                                                  const QString& filter) = 0;
    virtual std::optional<QString> ChooseSaveFile(const QString& caption, const QString& start,
                                                  const QString& filter) = 0;
    // One item of a list (the sequence chooser). Nothing on Cancel.
    virtual std::optional<QString> ChooseItem(const QString& caption, const QStringList& items,
                                              bool viewOnly) = 0;
    // One line of text typed under `label` ("Electrode spacing :"), starting as `initial`. Nothing on Cancel.
    virtual std::optional<QString> AskText(const QString& caption, const QString& label,
                                           const QString& initial) = 0;
};

class TQtPrompts : public TPrompts {
   public:
    explicit TQtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Message(const QString& text, const QString& caption, TIcon icon) override;
    TAnswer Question(const QString& text, const QString& caption, TButtons buttons, TIcon icon,
                     TAnswer defaultAnswer) override;
    std::optional<QString> ChooseFolder(const QString& caption, const QString& start, bool allowNew) override;
    std::optional<QString> ChooseOpenFile(const QString& caption, const QString& start,
                                          const QString& filter) override;
    std::optional<QString> ChooseSaveFile(const QString& caption, const QString& start,
                                          const QString& filter) override;
    std::optional<QString> ChooseItem(const QString& caption, const QStringList& items,
                                      bool viewOnly) override;
    std::optional<QString> AskText(const QString& caption, const QString& label,
                                   const QString& initial) override;

   private:
    QWidget* parent_;
};

// The folder chooser of TQtPrompts. With `allowNew` the user may also type the name of a folder that
// does not exist yet; an existing folder, selected or typed, is taken as it is.
class TFolderDialog : public QFileDialog {
    Q_OBJECT
   public:
    TFolderDialog(QWidget* parent, const QString& caption, const QString& start, bool allowNew);
    QString Chosen() const { return chosen_; }
    void accept() override;
    // The "Choose" (or "Open") button.
    QPushButton* AcceptButton() const;

   protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    bool NameTyped() const;
    bool allowNew_;
    QString chosen_;
};
