#pragma once

#include "device_answer.h"
#include "device_table.h"
#include "hdmi_device_proxy.h"
#include "receiver_output.h"
#include "stream_capture.h"
#include "transmitter_switch.h"
#include "upload_flow.h"

#include <Korvex.h>

#include <QMainWindow>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <utility>

class QAction;
class QButtonGroup;
class QCloseEvent;
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
class FullScreenWindow;
class UsbIpLauncher;

// The program's one main window: receiver output settings on the left, the live picture of the
// chosen transmitter in the middle, the PC-side settings and device tools on the right.
//
// Every device command runs on the thread of the device's proxy (its command queue); the slots
// only queue them and return, and the answers come back as queued calls that update the widgets.
// The rules behind the slots live in plain classes that know no widgets: ReceiverOutput (the
// receiver panel), TransmitterSwitch (the stream's proxy) and UploadFlow (a firmware upload).
// Every member widget, layout, button group and timer carries its member's name as its object
// name, as a form's generated code would give it.
class Telvane : public QMainWindow {
    Q_OBJECT

  public:
    // Runs the USB/IP client launcher first (it may block for a while), then builds the window
    // and starts watching the receiver.
    Telvane(const DeviceTable& devices, const UsbIpLauncher& launcher, QWidget* parent = nullptr);
    // Stops every device proxy and the library before the widgets go, waiting about a second at
    // most: a proxy still stuck in a device command then is left to end on its own.
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
    // A firmware upload is never cut off: the window stays until its verdict, then closes.
    void closeEvent(QCloseEvent* event) override;
    // The first show also moves the window where all of it lies on the screen.
    void showEvent(QShowEvent* event) override;

  private:
    // Where the picture sits in mainLayout: the middle column, with stretch factor 3.
    static constexpr int kVideoColumn = 1;
    static constexpr int kVideoStretch = 3;
    // The top of the PWM output field; "Goto" takes a larger value typed there as this.
    static constexpr int kActuatorOutputMaximum = 100;

    // Set-up steps, in the order the constructor runs them (telvane_layout.cpp).
    void setupUi();
    void buildLayout();
    void connectSignals();
    void buildPcPanel();
    void buildChannelChoice();
    void buildActuatorBox();
    void buildTtlBox();
    void buildUpgradeBox();
    void buildDecodePanel();
    void buildDecodeDisplayBox();
    void nameMembers();
    // The first show's placement (telvane.cpp).
    void keepOnScreen();

    // Queues `work` on `proxy`'s thread, where it runs with the device's session, and hands what
    // it returns to `done` on the UI thread, unless the window is gone by then. `kind` as for
    // HDMIDeviceProxy::enqueue.
    template <typename Work, typename Done>
    void runOnDevice(HDMIDeviceProxy* proxy, Work work, Done done,
                     int kind = HDMIDeviceProxy::kAnyKind) {
        QPointer<Telvane> window(this);
        proxy->enqueue(
            [window, work = std::move(work),
             done = std::move(done)](KorvexSession* session) -> HDMIDeviceProxy::Reply {
                auto result = work(session);
                return [window, done, result] {
                    if (window) {
                        done(*window, result);
                    }
                };
            },
            kind);
    }

    // Controller (telvane_controller.cpp): the proxies, their reports, the picture area.
    DeviceProxyInfo proxyInfo(const QString& address, uint64_t window) const;
    void startReceiverMonitoring();
    void stopEveryProxy();
    HDMIDeviceProxy* usableTransmitter() const;
    HDMIDeviceProxy* usableReceiver() const;
    void openEncodeDevice();
    void closeEncodeDevice();
    HDMIDeviceProxy* startEncodeProxy(int id);
    void encodeProxyFinished(HDMIDeviceProxy* proxy);
    void restartEncodeDevice();
    void showConnection(bool fromReceiver, int status);
    void paintVideoAreaBlack();
    void enterFullScreen();
    void leaveFullScreen();
    void toggleFullScreen();

    // PC-side controls (telvane_pc_controls.cpp).
    void startActuatorTimer();
    void stopActuator();
    HDMIDeviceProxy* actuatorTarget() const;
    bool sendActuatorMove(int32_t id, int32_t orient, int32_t angle, int output = 0);
    void actuatorMoveAnswered(const ActuatorMoveRequest& request, int output, DeviceAnswer answer);
    void setTtlBaudrate(HDMIDeviceProxy* proxy, const QString& side);

    // Firmware upload (telvane_upload.cpp).
    void startUpgrade(HDMIDeviceProxy* proxy);
    void upgradeStartAnswered(int result);
    void showUploadEvent(void* device, int status);
    void finishUpgrade();
    void setUpgradeButtonsEnabled(bool enabled);
    QString uploadTargetName() const;

    // Receiver output settings (telvane_decode_output.cpp).
    void updateDecodeButtonStates();
    void applyDecodeOutput(ReceiverOutput::Click click);
    void decodeOutputWritten(int number, ReceiverOutput::Click click,
                             const ReceiverOutput::Choice& sent,
                             const ReceiverOutput::WriteResult& result);
    QString decodeOutputText(ReceiverOutput::Click click, const ReceiverOutput::Choice& sent,
                             const ReceiverOutput::WriteResult& result) const;
    void decodeOutputRead(int number, const ReceiverOutput::Reading& reading);
    ReceiverOutput::Choice checkedDecodeButtons() const;
    void showDecodeOutput(const ReceiverOutput::Choice& buttons);

    // Snapshot, recording, the picture's menu and the keyboard (telvane_capture.cpp).
    enum class RecordingStop { Operator, OtherChannel, WindowClosed, StreamLost, ByItself };
    void buildCaptureControls();
    void showPictureMenu(const QPoint& position);
    void updateCaptureActions();
    bool pictureShown() const;
    void saveSnapshot();
    void toggleRecording();
    void startRecording();
    void stopRecording(RecordingStop why);
    void checkRecording();
    QString recordingStatusText() const;
    void noteRecordedStream(const void* device, int status);

    // The status bar: what the last action did, and the stream (telvane_status.cpp).
    void buildStatusBar();
    void report(const QString& text);
    static QString answerText(DeviceAnswer answer);
    void refreshStreamStatus();
    QString decodeLayoutName(int layout) const;

    // What assistive technology tells of the controls, the picture and the status bar, and the
    // keyboard's way through the controls in reading order (telvane_accessibility.cpp).
    void describeForAssistiveTechnology();
    void setReadingFocusOrder();

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

    // The transmitter proxies: encodeProxy and the ones still stopping.
    TransmitterSwitch encodeSwitch{encodeProxy, [this](int id) { return startEncodeProxy(id); }};
    // A burst of resizes of the video area restarts the stream once, after the last one.
    QTimer* encodeRestartTimer = nullptr;

    // A firmware upload from the click to its verdict.
    UploadFlow upload;

    // The proxy with an actuator move of a held "-" or "+" on its queue: one at a time.
    HDMIDeviceProxy* actuatorMoveProxy = nullptr;

    // The top-level window that holds the picture while it is full screen.
    FullScreenWindow* fullScreenWindow = nullptr;
    bool placedOnScreen = false;

    // The channel (1..4) of encodeProxy and when the operator asked for its picture.
    int encodeChannel = 0;
    std::chrono::steady_clock::time_point encodeRequestedAt;
    QLabel* streamStatusLabel = nullptr;
    QTimer* streamStatusTimer = nullptr;
    const HDMIDeviceProxy* sampledProxy = nullptr;  // whose counters the last sample read
    uint64_t lastPicturesDecoded = 0;
    uint64_t lastPicturesDropped = 0;
    std::chrono::steady_clock::time_point lastStatusAt;
    double picturesPerSecond = 0;

    // "Save Snapshot", "Start Recording"/"Stop Recording" and "Full Screen": the picture's
    // context menu and their keys.
    QAction* saveSnapshotAction = nullptr;
    QAction* recordAction = nullptr;
    QAction* fullScreenAction = nullptr;
    StreamCapture capture;

    // The receiver panel's state: what it last showed, and the writes and re-reads under way.
    ReceiverOutput decodeOutput;

    const DeviceTable devices;
};
