#include "app/linkcontroller.h"

#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>

#include "link/d2xxftdi.h"
#include "link/portusb.h"
#include "link/portvirt.h"
#include "link/uploadcheck.h"
#include "link/uploadcommands.h"
#include "link/usbmonitor.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"

namespace {

constexpr int UsbPortSetting = 5;

QPixmap PortPicture(int index) {
    QPixmap pix(56, 28);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    QColor body = index == 0 ? QColor(180, 40, 40) : QColor(30, 120, 50);
    p.setBrush(body);
    p.setPen(QPen(Qt::black, 1));
    p.drawRoundedRect(QRectF(1, 1, 54, 26), 5, 5);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    QString text = index <= 1 ? QString("USB") : QString("COM %1").arg(index - 1);
    p.drawText(QRectF(0, 0, 56, 28), Qt::AlignCenter, text);
    if (index == 0) {
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(6, 22), QPointF(50, 6));
    }
    return pix;
}

}  // namespace

TLinkController::TLinkController(TPrompts& prompts, const TAppSettings& settings, const TUploadPanel& panel,
                                 QLabel* portPicture, QObject* parent)
    : QObject(parent),
      prompts_(prompts),
      settings_(settings),
      portPicture_(portPicture),
      host_(prompts),
      remoteUi_(panel, prompts) {
    InstallUsbLinkFactory(TNoAdapter::AskAgain);
    host_.OnWaiting = [this](const TLinkWait& wait) { remoteUi_.ShowWait(wait); };
    StartDeviceWatch();
}

TLinkController::~TLinkController() { CloseLink(); }

bool TLinkController::Locked() const { return busy_ || (CurrentLink && CurrentLink->Configured()); }

bool TLinkController::ModemConnected() const { return modem_ && modem_->Connected(); }

int TLinkController::ShowPortImage(bool recreate) {
    // While a command runs its link stays, configured or not (the window is activated again when a
    // question box of the connection closes).
    if (recreate && !(busy_ && CurrentLink)) {
        if (CurrentLink && !CurrentLink->Configured()) modem_.reset();  // the session's link goes
        ShowPortLink(settings_.PortNumVarnel, true, host_);
    }
    portPicture_->clear();
    int index = -1;
    if (settings_.PortNumVarnel >= 1 && settings_.PortNumVarnel <= 4)
        index = settings_.PortNumVarnel + 1;
    else if (settings_.PortNumVarnel == UsbPortSetting)
        index = DeviceCount(*SystemD2xx()) > 0 ? 1 : 0;
    if (index >= 0) portPicture_->setPixmap(PortPicture(index));
    QString tip;
    if (index == 0) tip = "USB: no adapter";
    if (index == 1) tip = "USB adapter present";
    if (index >= 2) {
        const QString device = settings_.ComDevice[static_cast<std::size_t>(index - 2)];
        tip = QString("Com %1: %2").arg(index - 1).arg(device);
        if (!QFileInfo::exists(device)) tip += " (device missing)";
    }
    portPicture_->setToolTip(tip);
    portPicture_->setAccessibleName(tip);
    portPicture_->update();
    portImage_ = index;
    return index;
}

void TLinkController::StartDeviceWatch() {
    // Adapters coming and going redraw the port picture without touching the link.
    usbMonitor_ = std::make_unique<TUsbMonitor>([this](TUsbChange) { ShowPortImage(false); });
    if (usbMonitor_->Active() && usbMonitor_->Fd() >= 0) {
        usbNotifier_ = new QSocketNotifier(usbMonitor_->Fd(), QSocketNotifier::Read, this);
        connect(usbNotifier_, &QSocketNotifier::activated, this, [this] { usbMonitor_->Dispatch(0); });
    } else {
        devicePoll_ = new QTimer(this);
        devicePoll_->setInterval(2000);
        connect(devicePoll_, &QTimer::timeout, this, [this] {
            if (settings_.PortNumVarnel == UsbPortSetting) ShowPortImage(false);
        });
        devicePoll_->start();
    }
}

TPortVirt* TLinkController::EnsureLink() {
    if (!CurrentLink) ShowPortImage(true);
    return CurrentLink.get();
}

void TLinkController::Run(const std::function<void()>& command) {
    // Menus stay live while a transfer lets events run; a second command on the same link would
    // pull the line from under the first.
    if (busy_) return;
    busy_ = true;
    try {
        command();
    } catch (const std::exception& e) {
        remoteUi_.PanelOff();
        prompts_.Message(QString::fromStdString(e.what()), Msg::AppTitle, TPrompts::TIcon::Error);
    }
    busy_ = false;
    emit commandEnded();
    if (closeWhenIdle_) {
        closeWhenIdle_ = false;
        QTimer::singleShot(0, this, [this] { emit closeRequested(); });
    }
}

void TLinkController::CheckChoices(const std::vector<TSequence>& set, int family) {
    remoteUi_.SetChoiceCheck([&set, family](const std::string& line) {
        QStringList findings;
        for (const TSequence& seq : set) {
            if (seq.Name.Get() != line) continue;
            for (const TUploadFinding& f : CheckUpload(seq, family))
                findings << QString::fromStdString(f.Text);
            break;
        }
        return findings;
    });
}

void TLinkController::UploadFamily1(std::vector<TSequence> set, const std::string& varnelFolder) {
    if (busy_) return;  // one command at a time; the running one keeps its check
    CheckChoices(set, 1);
    Run([&] {
        if (TPortVirt* link = EnsureLink())
            ::VarnelUpLoad(set, *link, settings_.PortNumVarnel, remoteUi_, varnelFolder);
    });
    remoteUi_.SetChoiceCheck(nullptr);
}

void TLinkController::UploadFamily2(std::vector<TSequence> set) {
    if (busy_) return;
    CheckChoices(set, 2);
    Run([&] {
        if (TPortVirt* link = EnsureLink())
            ::VarnelTarskOptra(set, *link, settings_.PortNumVarnel, remoteUi_);
    });
    remoteUi_.SetChoiceCheck(nullptr);
}

void TLinkController::ModemConnect(const std::string& number) {
    if (busy_ || ModemConnected()) return;
    Run([&] {
        // The link in force: a serial link dials the number, a USB link opens the adapter and
        // ignores it.
        TPortVirt* link = EnsureLink();
        if (link == nullptr) return;
        modem_ = std::make_unique<TModemSession>(*link, remoteUi_);
        modem_->Connect(settings_.PortNumModem, number);
    });
}

void TLinkController::ModemDisconnect() {
    Run([this] {
        if (modem_) modem_->Disconnect();
    });
}

void TLinkController::ModemView() {
    Run([this] {
        if (modem_) modem_->View();
    });
}

void TLinkController::ModemStart() {
    Run([this] {
        if (modem_) modem_->Start();
    });
}

void TLinkController::ModemDelete() {
    Run([this] {
        if (modem_) modem_->Delete();
    });
}

void TLinkController::Stop() { StopUpLoad(); }

bool TLinkController::RequestClose() {
    if (!busy_) return true;
    // Stop the transfer first; the window closes once the command has ended.
    closeWhenIdle_ = true;
    StopUpLoad();
    return false;
}

void TLinkController::CloseLink() {
    modem_.reset();
    if (CurrentLink) {
        if (CurrentLink->LinkState() > 0) CurrentLink->Disconnect();
        CurrentLink.reset();
    }
}
