// The configuration dialog: instrument and modem ports (with the device of each "Com n"), which speed
// buttons of the set are enabled, and the channels of the meter that plans are made for.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class THelpOpener;

class TConfigurationFrm : public QDialog {
    Q_OBJECT
   public:
    TConfigurationFrm(QWidget* parent, THelpOpener& help);

    void SetPorts(int portNumVarnel, int portNumModem, const std::array<QString, 4>& comDevices);
    // The instrument port in force when the dialog opened: with USB (5), OK starts the USB utility.
    void SetPortInForce(int port) { portInForce_ = port; }
    void SetProgramFolder(const QString& folder) { programFolder_ = folder; }
    // Ports in force cannot change now (a link is open): the dialog says so beside the ports.
    void SetPortsLocked(bool locked);
    int VarnelPort() const;  // selected index + 1 (0 when none)
    int ModemPort() const;
    std::array<QString, 4> ComDevices() const;
    void SetChannels(int channels);
    int Channels() const;
    // Whether OK started (or tried to start) the USB checking utility, and its path.
    bool StartedKestrun() const { return startedKestrun_; }
    static QString KestrunPath(const QString& programFolder);

    void OkBtnClick();
    void HelpBtnClick();

    QLabel* LockedLbl = nullptr;
    QComboBox* VarnelPortCB = nullptr;
    QComboBox* ModemPortCB = nullptr;
    std::array<QComboBox*, 4> ComDeviceCB{};
    QCheckBox* NewCB = nullptr;
    QCheckBox* ModifyCB = nullptr;
    QCheckBox* ImportCB = nullptr;
    QCheckBox* DeleteCB = nullptr;
    QSpinBox* ChannelsEdn = nullptr;

   private:
    THelpOpener& help_;
    int portInForce_ = 1;
    QString programFolder_;
    bool startedKestrun_ = false;
};

// The serial devices present on this machine (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*).
QStringList SerialPortsPresent();
