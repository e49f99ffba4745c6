// The life of the instrument link in the desktop program: the link in force (CurrentLink), the rule
// that link commands run one at a time, closing the window while one runs, the modem session, the
// port picture and the watch on USB adapters coming and going. The main window builds the widgets
// and dispatches its menus here; nothing else in the window touches the link.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qtlinkadapters.h"
#include "app/settings.h"
#include "model/sequence.h"

class QLabel;
class QSocketNotifier;
class QTimer;
class TModemSession;
class TPortVirt;
class TPrompts;
class TUsbMonitor;

class TLinkController : public QObject {
    Q_OBJECT
   public:
    // `settings` holds the port settings in force (read at each use); `portPicture` shows the port.
    TLinkController(TPrompts& prompts, const TAppSettings& settings, const TUploadPanel& panel,
                    QLabel* portPicture, QObject* parent = nullptr);
    ~TLinkController() override;

    // Creates or keeps CurrentLink (with `recreate`) and draws the port picture. Returns the picture
    // index: 0 USB without adapter, 1 USB with adapter, 2..5 Com 1..4, -1 none. While a command runs
    // its link stays, configured or not.
    int ShowPortImage(bool recreate);
    int PortImageIndex() const { return portImage_; }

    // A command is running on the link.
    bool Busy() const { return busy_; }
    // The ports cannot be changed: a command runs, or the link was opened once.
    bool Locked() const;
    bool ModemConnected() const;

    // The commands. Each runs only when no other does; its errors are shown, and the panel put off.
    void UploadFamily1(std::vector<TSequence> set, const std::string& varnelFolder);
    void UploadFamily2(std::vector<TSequence> set);
    void ModemConnect(const std::string& number);
    void ModemDisconnect();
    void ModemView();
    void ModemStart();
    void ModemDelete();
    // The stop button: the running exchange ends at its next wait.
    void Stop();

    // The window asks to close: true when it may close now. During a command the transfer is stopped
    // first, and closeRequested is raised once the command has ended.
    bool RequestClose();
    // Closes and forgets the link (the window is closing).
    void CloseLink();

   signals:
    // A command ended (the modem menu follows the session's state).
    void commandEnded();
    // The window was closed during a command, which has now ended: close it again.
    void closeRequested();

   private:
    void Run(const std::function<void()>& command);
    // The sequences chosen for an upload are checked against what the family takes before sending.
    void CheckChoices(const std::vector<TSequence>& set, int family);
    TPortVirt* EnsureLink();
    void StartDeviceWatch();

    TPrompts& prompts_;
    const TAppSettings& settings_;
    QLabel* portPicture_;
    TQtLinkHost host_;
    TQtRemoteUi remoteUi_;
    std::unique_ptr<TModemSession> modem_;
    std::unique_ptr<TUsbMonitor> usbMonitor_;
    QSocketNotifier* usbNotifier_ = nullptr;
    QTimer* devicePoll_ = nullptr;
    int portImage_ = -1;
    bool busy_ = false;
    bool closeWhenIdle_ = false;
};
