#pragma once

#include "device_table.h"

#include <Korvex.h>

#include <QMainWindow>

#include <cstdint>
#include <optional>

class QButtonGroup;
class QComboBox;
class QEvent;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;
class HDMIDeviceProxy;
class UsbIpLauncher;
struct DeviceProxyInfo;

// The program's one main window: receiver output settings on the left, the live picture of the
// chosen transmitter in the middle, the PC-side settings and device tools on the right.
class Telvane : public QMainWindow {
    Q_OBJECT

  public:
    // Runs the USB/IP client launcher first (it may block for a while), then builds the window
    // and starts watching the receiver.
    Telvane(const DeviceTable& devices, const UsbIpLauncher& launcher, QWidget* parent = nullptr);
    // Stops both device proxies and the library before the widgets go.
    ~Telvane() override;

    // The slots' order is their meta-object index, which is part of the window's interface.
  public slots:
    bool eventFilter(QObject* obj, QEvent* event) override;
    void pcDisplayBtnClick(int btnID);
    void pcAudioBtnClick();
    void actuatorDecBtnPressed();
    void actuatorDecBtnReleased();
    void actuatorIncBtnPressed();
    void actuatorIncBtnReleased();
    void actuatorIncMoveBtnClick();
    void actuatorMoveCheck();
    void ttlEncBtnClick();
    void ttlDecBtnClick();
    void upgradeFileChooseBtnClick();
    void upgradeEncBtnClick();
    void upgradeDecBtnClick();
    void decodeDisplayBtnClick(int btnID);
    void decodeFPSBtnClick(int btnID);
    void decodeAudioBtnClick(int btnID);
    void decodeResolutionBtnClick(int btnID);
    void getDecodeDeviceInfo();
    void deviceNotify(void* device, int status);

  protected:
    // Entered first by every slot after eventFilter, with the slot's name and its id or status
    // argument (none for slots without one). Does nothing here; a subclass watches the wiring.
    virtual void slotEntered(const char* slot, std::optional<int> argument);
    // Asks the operator for a firmware file; empty when cancelled.
    virtual QString askUpgradeFilePath();

  private:
    friend class TelvaneTestAccess;

    // Set-up steps, in the order the constructor runs them (telvane_layout.cpp).
    void setupUi();
    void buildLayout();
    void connectSignals();
    void buildPcPanel();
    void buildDecodePanel();

    // Controller (telvane_controller.cpp).
    DeviceProxyInfo proxyInfo(const QString& address, uint64_t window) const;
    void startReceiverMonitoring();
    static void stopProxy(HDMIDeviceProxy*& proxy);
    HDMIDeviceProxy* usableTransmitter() const;
    HDMIDeviceProxy* usableReceiver() const;
    void openEncodeDevice();
    void closeEncodeDevice();
    void finishUpgrade();

    // PC-side controls (telvane_pc_controls.cpp).
    void startActuatorTimer();
    void stopActuator();
    int sendActuatorMove(int32_t id, int32_t orient, int32_t angle);
    void setTtlBaudrate(HDMIDeviceProxy* proxy);
    void startUpgrade(HDMIDeviceProxy* proxy);
    void setUpgradeRunning(bool running);

    // Receiver output settings (telvane_decode_output.cpp).
    void updateDecodeButtonStates();
    void applyDecodeOutput(bool withEncoders, bool withFrameRate);
    void showDecodeOutput(const DisplayConfig& display);

    QWidget* centralWidget = nullptr;
    QHBoxLayout* mainLayout = nullptr;
    QWidget* videoWidget = nullptr;
    QWidget* pcPanel = nullptr;
    QWidget* decodePanel = nullptr;
    QVBoxLayout* pcLayout = nullptr;
    QLabel* pcTitleLabel = nullptr;
    QLabel* pcConnectStatusLabel = nullptr;
    QLabel* pcConnectStateLabel = nullptr;
    QGroupBox* pcDisplayGroupBox = nullptr;
    QPushButton* pcDisplayCh1Btn = nullptr;
    QPushButton* pcDisplayCh2Btn = nullptr;
    QPushButton* pcDisplayCh3Btn = nullptr;
    QPushButton* pcDisplayCh4Btn = nullptr;
    QPushButton* pcDisplayOffBtn = nullptr;
    QButtonGroup* pcDisplayBtnGroup = nullptr;
    QGroupBox* pcAudioGroupBox = nullptr;
    QPushButton* pcAudioBtn = nullptr;
    QGroupBox* actuatorGroupBox = nullptr;
    QGridLayout* actuatorLayout = nullptr;
    QLabel* actuatorIndexLabel = nullptr;
    QComboBox* actuatorIndexCombo = nullptr;
    QPushButton* actuatorDecBtn = nullptr;
    QPushButton* actuatorIncBtn = nullptr;
    QLabel* actuatorOutputLabel = nullptr;
    QLineEdit* actuatorOutputEdit = nullptr;
    QPushButton* actuatorIncMoveBtn = nullptr;
    QPushButton* actuatorTxBtn = nullptr;
    QPushButton* actuatorRxBtn = nullptr;
    QButtonGroup* actuatorDeviceBtnGroup = nullptr;
    QGroupBox* ttlGroupBox = nullptr;
    QGridLayout* ttlLayout = nullptr;
    QLabel* ttlIndexLabel = nullptr;
    QComboBox* ttlIndexCombo = nullptr;
    QLabel* ttlBaudrateLabel = nullptr;
    QComboBox* ttlBaudrateCombo = nullptr;
    QPushButton* ttlEncBtn = nullptr;
    QPushButton* ttlDecBtn = nullptr;
    QGroupBox* upgradeGroupBox = nullptr;
    QGridLayout* upgradeLayout = nullptr;
    QLabel* upgradeFilePathLabel = nullptr;
    QLineEdit* upgradeFilePathEdit = nullptr;
    QPushButton* upgradeFileChooseBtn = nullptr;
    QLabel* upgradeStatusTitleLabel = nullptr;
    QLabel* upgradeStatusLabel = nullptr;
    QPushButton* upgradeEncBtn = nullptr;
    QPushButton* upgradeDecBtn = nullptr;
    QVBoxLayout* decodeLayout = nullptr;
    QLabel* decodeTitleLabel = nullptr;
    QLabel* decodeConnectStatusLabel = nullptr;
    QLabel* decodeConnectStateLabel = nullptr;
    QGroupBox* decodeDisplayGroupBox = nullptr;
    QPushButton* decodeDisplayCh1Btn = nullptr;
    QPushButton* decodeDisplayCh2Btn = nullptr;
    QPushButton* decodeDisplayCh3Btn = nullptr;
    QPushButton* decodeDisplayCh4Btn = nullptr;
    QLabel* decodeFPSLabel = nullptr;
    QPushButton* decodeFPS30Btn = nullptr;
    QPushButton* decodeFPS60Btn = nullptr;
    QButtonGroup* decodeFPSBtnGroup = nullptr;
    QPushButton* decodeDisplayCh12Btn = nullptr;
    QPushButton* decodeDisplayCh34Btn = nullptr;
    QPushButton* decodeDisplayQuadBtn = nullptr;
    QButtonGroup* decodeDisplayBtnGroup = nullptr;
    QGroupBox* decodeAudioGroupBox = nullptr;
    QPushButton* decodeAudioCh1Btn = nullptr;
    QPushButton* decodeAudioCh2Btn = nullptr;
    QPushButton* decodeAudioCh3Btn = nullptr;
    QPushButton* decodeAudioCh4Btn = nullptr;
    QPushButton* decodeAudioOffBtn = nullptr;
    QButtonGroup* decodeAudioBtnGroup = nullptr;
    QGroupBox* decodeResolutionGroupBox = nullptr;
    QLabel* decodeResolutionLabel = nullptr;
    QPushButton* decodeResolution1080Btn = nullptr;
    QPushButton* decodeResolution4kBtn = nullptr;
    QButtonGroup* decodeResolutionBtnGroup = nullptr;

    bool videoFullScreen = false;
    bool encodeConnected = false;
    QTimer* actuatorTimer = nullptr;
    HDMIDeviceProxy* encodeProxy = nullptr;
    bool decodeConnected = false;
    QTimer* decodeInfoTimer = nullptr;
    HDMIDeviceProxy* decodeProxy = nullptr;

    // The proxy whose session a firmware upload uses, while it runs; a resize of the video area
    // meanwhile restarts the transmitter's stream only once the upload has ended.
    HDMIDeviceProxy* uploadingProxy = nullptr;
    bool encodeRestartPending = false;

    const DeviceTable devices;
};
