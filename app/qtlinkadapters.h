// The link engine's host and remote-UI interfaces, realised with Qt for the desktop program.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/linkhost.h"
#include "link/uploadcommands.h"

class QLabel;
class QProgressBar;
class QToolButton;
class TPrompts;

// Events run between transfer steps, which is where the stop button takes effect; messages and
// questions go through the prompts.
class TQtLinkHost : public TLinkHost {
   public:
    explicit TQtLinkHost(TPrompts& prompts) : prompts_(prompts) {}
    ~TQtLinkHost() override;
    void ProcessEvents() override;
    void SetBusyCursor(bool busy) override;
    void ShowMessage(const std::string& text) override;
    bool Ask(const std::string& title, const std::string& text, TButtons buttons) override;
    void Waiting(const TLinkWait& wait) override;
    // Receives every wait that only a stop ends (the owner shows it in the upload panel).
    std::function<void(const TLinkWait&)> OnWaiting;

   private:
    TPrompts& prompts_;
    int busy_ = 0;  // busy cursors set and not yet restored
};

// The window's upload panel: its label, progress bar and stop button.
struct TUploadPanel {
    QLabel* Label = nullptr;
    QProgressBar* Bar = nullptr;
    QToolButton* Stop = nullptr;
};

class TBarProgress : public TProgressIndicator {
   public:
    explicit TBarProgress(QProgressBar* bar) : bar_(bar) {}
    // What is being sent (a sequence's name); the bar reads "<subject>: <percent>%".
    void SetSubject(const QString& subject);

   protected:
    void Changed() override;

   private:
    QProgressBar* bar_;
};

// The sequence chooser and the upload panel the commands drive.
class TQtRemoteUi : public TRemoteUi {
   public:
    TQtRemoteUi(const TUploadPanel& panel, TPrompts& prompts)
        : panel_(panel), prompts_(prompts), progress_(panel.Bar) {}
    std::optional<std::string> ChooseLine(const std::vector<std::string>& lines, bool viewOnly) override;
    // What the instrument will not take or will change in the sequence of a chosen line (one text a
    // finding). While set, a choice with findings is asked about before it is sent; Cancel offers the
    // list again. The upload commands set it and clear it after.
    void SetChoiceCheck(std::function<QStringList(const std::string& line)> check) {
        check_ = std::move(check);
    }
    void PanelOn(int maximum) override;
    void PanelOff() override;
    TProgressIndicator* Progress() override { return &progress_; }
    // While the link waits for the instrument without a time-out: the panel's label says for what,
    // on which port, and that Stop ends it, and the stop button is usable. TKind::None puts the
    // panel back as it was.
    void ShowWait(const TLinkWait& wait);

   private:
    std::function<QStringList(const std::string& line)> check_;
    struct TPanelState {
        QString Label;
        bool LabelEnabled = false;
        bool StopEnabled = false;
    };
    std::optional<TPanelState> beforeWait_;
    TUploadPanel panel_;
    TPrompts& prompts_;
    TBarProgress progress_;
};
