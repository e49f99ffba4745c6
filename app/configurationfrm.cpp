#include "app/configurationfrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "qtsupport/helpopener.h"

QStringList SerialPortsPresent() {
    QStringList ports;
    QDir dev("/dev");
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "ttyS*"}) {
        for (const QString& name : dev.entryList(
                 {QString(pattern)}, QDir::System | QDir::Files | QDir::Readable | QDir::Writable)) {
            ports << "/dev/" + name;
        }
    }
    return ports;
}

QString TConfigurationFrm::KestrunPath(const QString& programFolder) { return programFolder + "Kestrun"; }

TConfigurationFrm::TConfigurationFrm(QWidget* parent, THelpOpener& help) : QDialog(parent), help_(help) {
    setWindowTitle("Configuration");
    setWindowFlag(Qt::Tool);
    auto* layout = new QVBoxLayout(this);

    auto* ports = new QGroupBox("Communication port :", this);
    auto* pl = new QFormLayout(ports);
    VarnelPortCB = new QComboBox(ports);
    VarnelPortCB->addItems({"Com 1", "Com 2", "Com 3", "Com 4", "USB"});
    ModemPortCB = new QComboBox(ports);
    ModemPortCB->addItems({"Com 1", "Com 2", "Com 3", "Com 4"});
    pl->addRow("&Serial port  :", VarnelPortCB);
    pl->addRow("&Modem port :", ModemPortCB);
    const QStringList present = SerialPortsPresent();
    for (int i = 0; i < 4; ++i) {
        auto* cb = new QComboBox(ports);
        cb->setEditable(true);  // a device not present now (an adapter not plugged in) can be typed
        cb->addItems(present);
        ComDeviceCB[static_cast<std::size_t>(i)] = cb;
        pl->addRow(QString("Com &%1 device :").arg(i + 1), cb);
    }
    LockedLbl = new QLabel(ports);
    LockedLbl->setObjectName("LockedLbl");
    LockedLbl->setWordWrap(true);
    LockedLbl->setVisible(false);
    pl->addRow(LockedLbl);
    layout->addWidget(ports);

    auto* buttonsBox = new QGroupBox("Buttons enabled :", this);
    auto* bl = new QVBoxLayout(buttonsBox);
    NewCB = new QCheckBox("&New", buttonsBox);
    ModifyCB = new QCheckBox("M&odify", buttonsBox);
    ImportCB = new QCheckBox("&Import", buttonsBox);
    DeleteCB = new QCheckBox("&Delete", buttonsBox);
    for (QCheckBox* c : {NewCB, ModifyCB, ImportCB, DeleteCB}) bl->addWidget(c);
    layout->addWidget(buttonsBox);

    auto* planBox = new QGroupBox("Multichannel :", this);
    auto* ml = new QFormLayout(planBox);
    ChannelsEdn = new QSpinBox(planBox);
    ChannelsEdn->setObjectName("ChannelsEdn");
    ChannelsEdn->setRange(1, 64);
    ChannelsEdn->setToolTip(
        "Potential dipoles the meter reads during one injection; the plans and the order for C "
        "channels use it");
    ml->addRow("C&hannels :", ChannelsEdn);
    layout->addWidget(planBox);

    auto* box =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(box, &QDialogButtonBox::accepted, this, &TConfigurationFrm::OkBtnClick);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(box, &QDialogButtonBox::helpRequested, this, &TConfigurationFrm::HelpBtnClick);
    layout->addWidget(box);
}

void TConfigurationFrm::SetPorts(int portNumVarnel, int portNumModem,
                                 const std::array<QString, 4>& comDevices) {
    // A stored number outside the lists selects nothing; OK then stores 0, as it always has.
    VarnelPortCB->setCurrentIndex(portNumVarnel >= 1 && portNumVarnel <= 5 ? portNumVarnel - 1 : -1);
    ModemPortCB->setCurrentIndex(portNumModem >= 1 && portNumModem <= 4 ? portNumModem - 1 : -1);
    for (std::size_t i = 0; i < 4; ++i) ComDeviceCB[i]->setCurrentText(comDevices[i]);
}

void TConfigurationFrm::SetChannels(int channels) { ChannelsEdn->setValue(channels); }
int TConfigurationFrm::Channels() const { return ChannelsEdn->value(); }

int TConfigurationFrm::VarnelPort() const { return VarnelPortCB->currentIndex() + 1; }
int TConfigurationFrm::ModemPort() const { return ModemPortCB->currentIndex() + 1; }

std::array<QString, 4> TConfigurationFrm::ComDevices() const {
    std::array<QString, 4> out;
    for (std::size_t i = 0; i < 4; ++i) out[i] = ComDeviceCB[i]->currentText().trimmed();
    return out;
}

void TConfigurationFrm::OkBtnClick() {
    if (portInForce_ > 4) {
        // The USB checking utility runs on its own; whether it exists or starts is not reported.
        startedKestrun_ = true;
        const QString path = KestrunPath(programFolder_);
        if (QFileInfo(path).isExecutable()) QProcess::startDetached(path, {});
    }
    accept();
}

void TConfigurationFrm::HelpBtnClick() { help_.ShowTopic(1200, this); }

void TConfigurationFrm::SetPortsLocked(bool locked) {
    LockedLbl->setVisible(locked);
    LockedLbl->setText(locked ? "A link is open: changed ports and devices take effect at the next start."
                              : QString());
}
