// The window's widget tree, built in code, and the wiring of its controls to the window's slots.

#include "telvane.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>
#include <variant>

namespace {

constexpr int kPanelWidthPx = 300;
constexpr int kVideoMinimumWidthPx = 600;
constexpr int kChannelButtonHeightPx = 35;
constexpr int kToolButtonHeightPx = 30;

QFont panelTitleFont() {
    QFont font;
    font.setFamily(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(10);
    font.setBold(true);
    font.setItalic(false);
    font.setWeight(75);
    return font;
}

// One entry of a centred row: a widget, or a fixed spacing in pixels.
using RowItem = std::variant<QWidget*, int>;

QHBoxLayout* centredRow(std::initializer_list<RowItem> items) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const RowItem& item : items) {
        if (QWidget* const* widget = std::get_if<QWidget*>(&item)) {
            row->addWidget(*widget);
        } else {
            row->addSpacing(std::get<int>(item));
        }
    }
    row->addStretch(1);
    return row;
}

QLabel* separatorLine(int heightPx) {
    auto* line = new QLabel;
    line->setSizePolicy(
        QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed, QSizePolicy::DefaultType));
    line->setFrameStyle(QFrame::Box | QFrame::Raised);
    line->setFixedHeight(heightPx);
    return line;
}

void addSeparatorBlock(QVBoxLayout* layout) {
    layout->addSpacing(20);
    layout->addWidget(separatorLine(3));
    layout->addSpacing(20);
}

QPushButton* channelButton(const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setMinimumHeight(kChannelButtonHeightPx);
    button->setCheckable(true);
    return button;
}

QPushButton* toolButton(const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setMinimumHeight(kToolButtonHeightPx);
    return button;
}

// The grids of the channel boxes: no side margins, so that the centred rows use the full width.
QGridLayout* channelGrid(QGroupBox* box, int verticalSpacing) {
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(verticalSpacing);
    grid->setContentsMargins(0, 10, 0, 10);
    return grid;
}

QLabel* panelStateLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(panelTitleFont());
    label->setStyleSheet(QStringLiteral("color:red;"));
    return label;
}

}  // namespace

void Telvane::setupUi() {
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("TelvaneClass"));
    }
    resize(1082, 828);
    centralWidget = new QWidget(this);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(centralWidget);
    // The title until start-up gives the window its own (presentMainWindow): what a window built
    // without it shows, translated in the context of the window's form.
    setWindowTitle(QCoreApplication::translate("TelvaneClass", "Telvane"));
}

void Telvane::buildLayout() {
    move(150, 100);
    mainLayout = new QHBoxLayout(centralWidget);

    videoWidget = new QWidget;
    videoWidget->setMinimumWidth(kVideoMinimumWidthPx);
    videoWidget->setAutoFillBackground(true);
    QPalette palette = videoWidget->palette();
    palette.setBrush(QPalette::Window, QBrush(Qt::black));
    videoWidget->setPalette(palette);

    pcPanel = new QWidget;
    pcPanel->setFixedWidth(kPanelWidthPx);
    decodePanel = new QWidget;
    decodePanel->setFixedWidth(kPanelWidthPx);

    mainLayout->addWidget(decodePanel, 1);
    mainLayout->addWidget(videoWidget, kVideoStretch);
    mainLayout->addWidget(pcPanel, 1);

    buildPcPanel();
    buildDecodePanel();
}

void Telvane::buildPcPanel() {
    pcLayout = new QVBoxLayout(pcPanel);

    pcTitleLabel = new QLabel(tr("PC Settings"));
    pcTitleLabel->setFont(panelTitleFont());
    pcLayout->addLayout(centredRow({pcTitleLabel}));
    pcLayout->addWidget(separatorLine(3));
    pcLayout->addSpacing(20);

    pcConnectStatusLabel = new QLabel(tr("Connect Status:"));
    pcConnectStateLabel = panelStateLabel(tr("Disconnect"));
    pcLayout->addLayout(centredRow({pcConnectStatusLabel, pcConnectStateLabel}));
    pcLayout->addSpacing(20);

    pcDisplayGroupBox = new QGroupBox(tr("Channel Choose"));
    QGridLayout* displayGrid = channelGrid(pcDisplayGroupBox, 15);
    pcDisplayCh1Btn = channelButton(QStringLiteral("CH1"));
    pcDisplayCh2Btn = channelButton(QStringLiteral("CH2"));
    pcDisplayCh3Btn = channelButton(QStringLiteral("CH3"));
    pcDisplayCh4Btn = channelButton(QStringLiteral("CH4"));
    pcDisplayOffBtn = channelButton(QStringLiteral("X"));
    displayGrid->addLayout(centredRow({pcDisplayCh1Btn, 20, pcDisplayCh2Btn}), 0, 0, 1, 1);
    displayGrid->addLayout(centredRow({pcDisplayCh3Btn, 20, pcDisplayCh4Btn}), 1, 0, 1, 1);
    displayGrid->addLayout(centredRow({pcDisplayOffBtn}), 2, 0, 1, 1);
    pcDisplayBtnGroup = new QButtonGroup(this);
    pcDisplayBtnGroup->addButton(pcDisplayCh1Btn, 0);
    pcDisplayBtnGroup->addButton(pcDisplayCh2Btn, 1);
    pcDisplayBtnGroup->addButton(pcDisplayCh3Btn, 2);
    pcDisplayBtnGroup->addButton(pcDisplayCh4Btn, 3);
    pcDisplayBtnGroup->addButton(pcDisplayOffBtn, 4);
    pcLayout->addWidget(pcDisplayGroupBox);
    addSeparatorBlock(pcLayout);

    pcAudioGroupBox = new QGroupBox(tr("Audio"));
    QGridLayout* audioGrid = channelGrid(pcAudioGroupBox, 10);
    pcAudioBtn = channelButton(QStringLiteral("OFF"));
    audioGrid->addLayout(centredRow({pcAudioBtn}), 0, 0, 1, 1);
    pcLayout->addWidget(pcAudioGroupBox);
    addSeparatorBlock(pcLayout);
    pcLayout->addStretch(1);

    actuatorGroupBox = new QGroupBox(tr("PWMControl"));
    actuatorLayout = new QGridLayout(actuatorGroupBox);
    actuatorIndexLabel = new QLabel(tr("PWMIndex:"));
    actuatorIndexCombo = new QComboBox;
    for (int index = 1; index <= 6; ++index) {
        actuatorIndexCombo->addItem(QString::number(index));
    }
    actuatorDecBtn = new QPushButton(QStringLiteral("-"));
    actuatorDecBtn->setMaximumWidth(20);
    actuatorIncBtn = new QPushButton(QStringLiteral("+"));
    actuatorIncBtn->setMaximumWidth(20);
    actuatorOutputLabel = new QLabel(tr("Output:"));
    actuatorOutputEdit = new QLineEdit;
    actuatorOutputEdit->setValidator(new QIntValidator(0, 100, actuatorOutputEdit));
    actuatorOutputEdit->setText(QStringLiteral("50"));
    actuatorIncMoveBtn = new QPushButton(QStringLiteral("Goto"));
    actuatorIncMoveBtn->setMaximumWidth(40);
    actuatorTxBtn = toolButton(tr("Control TX"));
    actuatorTxBtn->setCheckable(true);
    actuatorRxBtn = toolButton(tr("Control RX"));
    actuatorRxBtn->setCheckable(true);
    actuatorDeviceBtnGroup = new QButtonGroup(this);
    actuatorDeviceBtnGroup->addButton(actuatorTxBtn, 0);
    actuatorDeviceBtnGroup->addButton(actuatorRxBtn, 1);
    actuatorTxBtn->setChecked(true);
    actuatorLayout->addWidget(actuatorIndexLabel, 0, 0, 1, 1);
    actuatorLayout->addWidget(actuatorIndexCombo, 0, 1, 1, 5);
    actuatorLayout->addWidget(actuatorDecBtn, 0, 6, 1, 1);
    actuatorLayout->addWidget(actuatorIncBtn, 0, 7, 1, 1);
    actuatorLayout->addWidget(actuatorOutputLabel, 2, 0, 1, 1);
    actuatorLayout->addWidget(actuatorOutputEdit, 2, 1, 1, 5);
    actuatorLayout->addWidget(actuatorIncMoveBtn, 2, 6, 1, 2);
    actuatorLayout->addLayout(centredRow({actuatorTxBtn, 20, actuatorRxBtn}), 3, 0, 2, 8);
    pcLayout->addWidget(actuatorGroupBox);
    addSeparatorBlock(pcLayout);

    ttlGroupBox = new QGroupBox(tr("TTLControl"));
    ttlLayout = new QGridLayout(ttlGroupBox);
    ttlIndexLabel = new QLabel(tr("TTLIndex:"));
    ttlIndexCombo = new QComboBox;
    ttlIndexCombo->addItem(QString::number(1));
    ttlIndexCombo->addItem(QString::number(2));
    ttlBaudrateLabel = new QLabel(tr("Baudrate:"));
    ttlBaudrateCombo = new QComboBox;
    for (int baudrate : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 300}) {
        ttlBaudrateCombo->addItem(QString::number(baudrate));
    }
    ttlEncBtn = toolButton(tr("Control TX"));
    ttlDecBtn = toolButton(tr("Control RX"));
    ttlLayout->addWidget(ttlIndexLabel, 0, 0, 1, 1);
    ttlLayout->addWidget(ttlIndexCombo, 0, 1, 1, 7);
    ttlLayout->addWidget(ttlBaudrateLabel, 2, 0, 1, 1);
    ttlLayout->addWidget(ttlBaudrateCombo, 2, 1, 1, 7);
    ttlLayout->addLayout(centredRow({ttlEncBtn, 20, ttlDecBtn}), 3, 0, 2, 8);
    pcLayout->addWidget(ttlGroupBox);
    addSeparatorBlock(pcLayout);

    upgradeGroupBox = new QGroupBox(tr("Upgrade"));
    upgradeLayout = new QGridLayout(upgradeGroupBox);
    upgradeFilePathLabel = new QLabel(tr("File Path:"));
    upgradeFilePathEdit = new QLineEdit;
    upgradeFilePathEdit->setReadOnly(true);
    upgradeFileChooseBtn = new QPushButton(tr("Choose"));
    upgradeStatusTitleLabel = new QLabel(tr("Status:"));
    upgradeStatusLabel = new QLabel(tr("Unknow"));
    upgradeStatusLabel->setFont(panelTitleFont());
    upgradeEncBtn = toolButton(tr("Upgrade TX"));
    upgradeDecBtn = toolButton(tr("Upgrade RX"));
    upgradeLayout->addWidget(upgradeFilePathLabel, 0, 0, 1, 1);
    upgradeLayout->addWidget(upgradeFilePathEdit, 0, 1, 1, 2);
    upgradeLayout->addWidget(upgradeFileChooseBtn, 0, 3, 1, 1);
    upgradeLayout->addWidget(upgradeStatusTitleLabel, 1, 0, 1, 1);
    upgradeLayout->addWidget(upgradeStatusLabel, 1, 1, 1, 3);
    upgradeLayout->addLayout(centredRow({upgradeEncBtn, 20, upgradeDecBtn}), 2, 0, 1, 4);
    pcLayout->addWidget(upgradeGroupBox);
    pcLayout->addSpacing(45);
}

void Telvane::buildDecodePanel() {
    decodeLayout = new QVBoxLayout(decodePanel);

    decodeTitleLabel = new QLabel(tr("Receiver HDMI Output Settings"));
    decodeTitleLabel->setFont(panelTitleFont());
    decodeLayout->addLayout(centredRow({decodeTitleLabel}));
    decodeLayout->addWidget(separatorLine(3));
    decodeLayout->addSpacing(20);

    decodeConnectStatusLabel = new QLabel(tr("Connect Status:"));
    decodeConnectStateLabel = panelStateLabel(tr("Disconnect"));
    decodeLayout->addLayout(centredRow({decodeConnectStatusLabel, decodeConnectStateLabel}));
    decodeLayout->addSpacing(20);

    decodeDisplayGroupBox = new QGroupBox(tr("Video"));
    QGridLayout* displayGrid = channelGrid(decodeDisplayGroupBox, 15);
    decodeDisplayCh1Btn = channelButton(QStringLiteral("CH1"));
    decodeDisplayCh2Btn = channelButton(QStringLiteral("CH2"));
    decodeDisplayCh3Btn = channelButton(QStringLiteral("CH3"));
    decodeDisplayCh4Btn = channelButton(QStringLiteral("CH4"));
    decodeFPSLabel = new QLabel(QStringLiteral("FPS:"));
    decodeFPS30Btn = channelButton(QStringLiteral("30fps"));
    decodeFPS60Btn = channelButton(QStringLiteral("60fps"));
    // Keeps "60fps" in the column of "30fps", under "FPS:".
    auto* fpsColumnSpacer = new QLabel(QStringLiteral("    "));
    decodeDisplayCh12Btn = channelButton(QStringLiteral("CH1|CH2"));
    decodeDisplayCh34Btn = channelButton(QStringLiteral("CH3|CH4"));
    decodeDisplayQuadBtn = channelButton(QStringLiteral("CH1|CH2\r\nCH3|CH4"));
    decodeDisplayQuadBtn->setMinimumSize(100, 56);
    displayGrid->addLayout(centredRow({decodeDisplayCh1Btn, 10, decodeDisplayCh2Btn, 10,
                                       decodeFPSLabel, decodeFPS30Btn}),
                           0, 0, 1, 1);
    displayGrid->addLayout(centredRow({decodeDisplayCh3Btn, 10, decodeDisplayCh4Btn, 10,
                                       fpsColumnSpacer, decodeFPS60Btn}),
                           1, 0, 1, 1);
    displayGrid->addWidget(separatorLine(1), 2, 0, 1, 1);
    displayGrid->addLayout(centredRow({decodeDisplayCh12Btn, 20, decodeDisplayCh34Btn}), 3, 0, 1,
                           1);
    displayGrid->addWidget(separatorLine(1), 4, 0, 1, 1);
    displayGrid->addLayout(centredRow({decodeDisplayQuadBtn}), 5, 0, 1, 1);
    decodeDisplayBtnGroup = new QButtonGroup(this);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh1Btn, 0);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh2Btn, 1);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh3Btn, 2);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh4Btn, 3);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh12Btn, 4);
    decodeDisplayBtnGroup->addButton(decodeDisplayCh34Btn, 5);
    decodeDisplayBtnGroup->addButton(decodeDisplayQuadBtn, 6);
    decodeFPSBtnGroup = new QButtonGroup(this);
    decodeFPSBtnGroup->addButton(decodeFPS30Btn, 0);
    decodeFPSBtnGroup->addButton(decodeFPS60Btn, 1);
    decodeLayout->addWidget(decodeDisplayGroupBox);
    addSeparatorBlock(decodeLayout);

    decodeAudioGroupBox = new QGroupBox(tr("Audio"));
    QGridLayout* audioGrid = channelGrid(decodeAudioGroupBox, 10);
    decodeAudioCh1Btn = channelButton(QStringLiteral("CH1"));
    decodeAudioCh2Btn = channelButton(QStringLiteral("CH2"));
    decodeAudioCh3Btn = channelButton(QStringLiteral("CH3"));
    decodeAudioCh4Btn = channelButton(QStringLiteral("CH4"));
    decodeAudioOffBtn = channelButton(QStringLiteral("X"));
    audioGrid->addLayout(centredRow({decodeAudioCh1Btn, 20, decodeAudioCh2Btn}), 0, 0, 1, 1);
    audioGrid->addLayout(centredRow({decodeAudioCh3Btn, 20, decodeAudioCh4Btn}), 1, 0, 1, 1);
    audioGrid->addLayout(centredRow({decodeAudioOffBtn}), 2, 0, 1, 1);
    decodeAudioBtnGroup = new QButtonGroup(this);
    decodeAudioBtnGroup->addButton(decodeAudioCh1Btn, 0);
    decodeAudioBtnGroup->addButton(decodeAudioCh2Btn, 1);
    decodeAudioBtnGroup->addButton(decodeAudioCh3Btn, 2);
    decodeAudioBtnGroup->addButton(decodeAudioCh4Btn, 3);
    decodeAudioBtnGroup->addButton(decodeAudioOffBtn, 4);
    decodeLayout->addWidget(decodeAudioGroupBox);
    addSeparatorBlock(decodeLayout);

    decodeResolutionGroupBox = new QGroupBox(tr("Output"));
    auto* resolutionGrid = new QGridLayout(decodeResolutionGroupBox);
    resolutionGrid->setVerticalSpacing(15);
    resolutionGrid->setContentsMargins(15, 10, 10, 15);
    decodeResolutionLabel = new QLabel(tr("Resolution:"));
    decodeResolution1080Btn = channelButton(QStringLiteral("1080P@60fps"));
    decodeResolution4kBtn = channelButton(QStringLiteral("4K@30fps"));
    resolutionGrid->addWidget(decodeResolutionLabel, 0, 0, 1, 1);
    resolutionGrid->addWidget(decodeResolution1080Btn, 0, 1, 1, 3);
    resolutionGrid->addWidget(decodeResolution4kBtn, 0, 4, 1, 3);
    decodeResolutionBtnGroup = new QButtonGroup(this);
    decodeResolutionBtnGroup->addButton(decodeResolution1080Btn, 0);
    decodeResolutionBtnGroup->addButton(decodeResolution4kBtn, 1);
    decodeLayout->addWidget(decodeResolutionGroupBox);
    decodeLayout->addStretch(1);
}

void Telvane::connectSignals() {
    videoWidget->installEventFilter(this);
    // String-based on purpose: QButtonGroup's buttonClicked(int) is an overloaded signal, and the
    // signatures read the same as the wiring table of the window.
    connect(pcDisplayBtnGroup, SIGNAL(buttonClicked(int)), this, SLOT(pcDisplayBtnClick(int)));
    connect(pcAudioBtn, SIGNAL(clicked()), this, SLOT(pcAudioBtnClick()));
    connect(actuatorDecBtn, SIGNAL(pressed()), this, SLOT(actuatorDecBtnPressed()));
    connect(actuatorDecBtn, SIGNAL(released()), this, SLOT(actuatorDecBtnReleased()));
    connect(actuatorIncBtn, SIGNAL(pressed()), this, SLOT(actuatorIncBtnPressed()));
    connect(actuatorIncBtn, SIGNAL(released()), this, SLOT(actuatorIncBtnReleased()));
    connect(actuatorIncMoveBtn, SIGNAL(clicked()), this, SLOT(actuatorIncMoveBtnClick()));
    connect(ttlEncBtn, SIGNAL(clicked()), this, SLOT(ttlEncBtnClick()));
    connect(ttlDecBtn, SIGNAL(clicked()), this, SLOT(ttlDecBtnClick()));
    connect(upgradeFileChooseBtn, SIGNAL(clicked()), this, SLOT(upgradeFileChooseBtnClick()));
    connect(upgradeEncBtn, SIGNAL(clicked()), this, SLOT(upgradeEncBtnClick()));
    connect(upgradeDecBtn, SIGNAL(clicked()), this, SLOT(upgradeDecBtnClick()));
    connect(decodeDisplayBtnGroup, SIGNAL(buttonClicked(int)), this,
            SLOT(decodeDisplayBtnClick(int)));
    connect(decodeFPSBtnGroup, SIGNAL(buttonClicked(int)), this, SLOT(decodeFPSBtnClick(int)));
    connect(decodeAudioBtnGroup, SIGNAL(buttonClicked(int)), this, SLOT(decodeAudioBtnClick(int)));
    connect(decodeResolutionBtnGroup, SIGNAL(buttonClicked(int)), this,
            SLOT(decodeResolutionBtnClick(int)));
}

// Every member object carries its member's name, as a form's generated code gives them, so that
// the tree can be looked into by name (QObject::findChild, the demo's geometry tool, debuggers).
void Telvane::nameMembers() {
    const std::pair<QObject*, const char*> members[] = {
        {mainLayout, "mainLayout"},
        {videoWidget, "videoWidget"},
        {pcPanel, "pcPanel"},
        {decodePanel, "decodePanel"},
        {pcLayout, "pcLayout"},
        {pcTitleLabel, "pcTitleLabel"},
        {pcConnectStatusLabel, "pcConnectStatusLabel"},
        {pcConnectStateLabel, "pcConnectStateLabel"},
        {pcDisplayGroupBox, "pcDisplayGroupBox"},
        {pcDisplayCh1Btn, "pcDisplayCh1Btn"},
        {pcDisplayCh2Btn, "pcDisplayCh2Btn"},
        {pcDisplayCh3Btn, "pcDisplayCh3Btn"},
        {pcDisplayCh4Btn, "pcDisplayCh4Btn"},
        {pcDisplayOffBtn, "pcDisplayOffBtn"},
        {pcDisplayBtnGroup, "pcDisplayBtnGroup"},
        {pcAudioGroupBox, "pcAudioGroupBox"},
        {pcAudioBtn, "pcAudioBtn"},
        {actuatorGroupBox, "actuatorGroupBox"},
        {actuatorLayout, "actuatorLayout"},
        {actuatorIndexLabel, "actuatorIndexLabel"},
        {actuatorIndexCombo, "actuatorIndexCombo"},
        {actuatorDecBtn, "actuatorDecBtn"},
        {actuatorIncBtn, "actuatorIncBtn"},
        {actuatorOutputLabel, "actuatorOutputLabel"},
        {actuatorOutputEdit, "actuatorOutputEdit"},
        {actuatorIncMoveBtn, "actuatorIncMoveBtn"},
        {actuatorTxBtn, "actuatorTxBtn"},
        {actuatorRxBtn, "actuatorRxBtn"},
        {actuatorDeviceBtnGroup, "actuatorDeviceBtnGroup"},
        {ttlGroupBox, "ttlGroupBox"},
        {ttlLayout, "ttlLayout"},
        {ttlIndexLabel, "ttlIndexLabel"},
        {ttlIndexCombo, "ttlIndexCombo"},
        {ttlBaudrateLabel, "ttlBaudrateLabel"},
        {ttlBaudrateCombo, "ttlBaudrateCombo"},
        {ttlEncBtn, "ttlEncBtn"},
        {ttlDecBtn, "ttlDecBtn"},
        {upgradeGroupBox, "upgradeGroupBox"},
        {upgradeLayout, "upgradeLayout"},
        {upgradeFilePathLabel, "upgradeFilePathLabel"},
        {upgradeFilePathEdit, "upgradeFilePathEdit"},
        {upgradeFileChooseBtn, "upgradeFileChooseBtn"},
        {upgradeStatusTitleLabel, "upgradeStatusTitleLabel"},
        {upgradeStatusLabel, "upgradeStatusLabel"},
        {upgradeEncBtn, "upgradeEncBtn"},
        {upgradeDecBtn, "upgradeDecBtn"},
        {decodeLayout, "decodeLayout"},
        {decodeTitleLabel, "decodeTitleLabel"},
        {decodeConnectStatusLabel, "decodeConnectStatusLabel"},
        {decodeConnectStateLabel, "decodeConnectStateLabel"},
        {decodeDisplayGroupBox, "decodeDisplayGroupBox"},
        {decodeDisplayCh1Btn, "decodeDisplayCh1Btn"},
        {decodeDisplayCh2Btn, "decodeDisplayCh2Btn"},
        {decodeDisplayCh3Btn, "decodeDisplayCh3Btn"},
        {decodeDisplayCh4Btn, "decodeDisplayCh4Btn"},
        {decodeFPSLabel, "decodeFPSLabel"},
        {decodeFPS30Btn, "decodeFPS30Btn"},
        {decodeFPS60Btn, "decodeFPS60Btn"},
        {decodeFPSBtnGroup, "decodeFPSBtnGroup"},
        {decodeDisplayCh12Btn, "decodeDisplayCh12Btn"},
        {decodeDisplayCh34Btn, "decodeDisplayCh34Btn"},
        {decodeDisplayQuadBtn, "decodeDisplayQuadBtn"},
        {decodeDisplayBtnGroup, "decodeDisplayBtnGroup"},
        {decodeAudioGroupBox, "decodeAudioGroupBox"},
        {decodeAudioCh1Btn, "decodeAudioCh1Btn"},
        {decodeAudioCh2Btn, "decodeAudioCh2Btn"},
        {decodeAudioCh3Btn, "decodeAudioCh3Btn"},
        {decodeAudioCh4Btn, "decodeAudioCh4Btn"},
        {decodeAudioOffBtn, "decodeAudioOffBtn"},
        {decodeAudioBtnGroup, "decodeAudioBtnGroup"},
        {decodeResolutionGroupBox, "decodeResolutionGroupBox"},
        {decodeResolutionLabel, "decodeResolutionLabel"},
        {decodeResolution1080Btn, "decodeResolution1080Btn"},
        {decodeResolution4kBtn, "decodeResolution4kBtn"},
        {decodeResolutionBtnGroup, "decodeResolutionBtnGroup"},
        {actuatorTimer, "actuatorTimer"},
        {decodeInfoTimer, "decodeInfoTimer"},
    };
    for (const auto& [object, name] : members) {
        object->setObjectName(QLatin1String(name));
    }
}
