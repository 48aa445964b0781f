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

#include <array>
#include <initializer_list>
#include <variant>

namespace {

// The window's geometry, in pixels.
constexpr QSize kWindowSize(1082, 828);
constexpr QPoint kWindowPosition(150, 100);
constexpr int kPanelWidthPx = 300;
constexpr int kVideoMinimumWidthPx = 600;
constexpr int kChannelButtonHeightPx = 35;
constexpr int kToolButtonHeightPx = 30;
constexpr int kStepButtonWidthPx = 20;  // "-" and "+"
constexpr int kGotoButtonWidthPx = 40;
constexpr QSize kQuadButtonMinimumSize(100, 56);
constexpr int kSeparatorHeightPx = 3;
constexpr int kThinSeparatorHeightPx = 1;  // the two lines inside "Video"
constexpr int kSectionSpacingPx = 20;      // around separators, and between paired buttons
constexpr int kVideoRowSpacingPx = 10;     // between the buttons of the "Video" rows
constexpr int kBottomSpacingPx = 45;       // under "Upgrade"
constexpr int kChoiceGridSpacingPx = 15;   // rows of "Channel Choose", "Video" and "Output"
constexpr int kAudioGridSpacingPx = 10;    // rows of both "Audio" boxes
// Contents margins (left, top, right, bottom) of the channel boxes: none at the sides, so that
// the centred rows use the full width; and of "Output".
constexpr int kChoiceGridMargins[4] = {0, 10, 0, 10};
constexpr int kOutputGridMargins[4] = {15, 10, 10, 15};

constexpr int kPanelTitlePointSize = 10;
constexpr int kPanelTitleWeight = 75;  // QFont::Bold

QFont panelTitleFont() {
    QFont font;
    font.setFamily(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(kPanelTitlePointSize);
    font.setBold(true);
    font.setItalic(false);
    font.setWeight(kPanelTitleWeight);
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
    layout->addSpacing(kSectionSpacingPx);
    layout->addWidget(separatorLine(kSeparatorHeightPx));
    layout->addSpacing(kSectionSpacingPx);
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

QGridLayout* gridWithMargins(QGroupBox* box, int verticalSpacingPx, const int (&margins)[4]) {
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(verticalSpacingPx);
    grid->setContentsMargins(margins[0], margins[1], margins[2], margins[3]);
    return grid;
}

QLabel* panelTitleLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(panelTitleFont());
    return label;
}

QLabel* panelStateLabel(const QString& text) {
    QLabel* label = panelTitleLabel(text);
    label->setStyleSheet(QStringLiteral("color:red;"));
    return label;
}

// An exclusive group (Qt's default) of `buttons`, with the ids 0, 1, ... in their order.
QButtonGroup* numberedGroup(QObject* window, std::initializer_list<QAbstractButton*> buttons) {
    auto* group = new QButtonGroup(window);
    int id = 0;
    for (QAbstractButton* button : buttons) {
        group->addButton(button, id++);
    }
    return group;
}

// "CH1" .. "CH4" as channel buttons, into the four members given.
void makeChannelButtons(const std::array<QPushButton**, 4>& members) {
    for (size_t channel = 0; channel < members.size(); ++channel) {
        *members[channel] = channelButton(QStringLiteral("CH%1").arg(channel + 1));
    }
}

// A box's choice of a channel, CH1..CH4 or none: the four channel buttons and "X" in the box's
// grid, two rows of two and "X" alone, and their group with the ids 0..4.
QButtonGroup* buildChannelChoiceBox(QGroupBox* box, int verticalSpacingPx, QObject* window,
                                    const std::array<QPushButton**, 4>& channels,
                                    QPushButton*& off) {
    makeChannelButtons(channels);
    off = channelButton(QStringLiteral("X"));
    QGridLayout* grid = gridWithMargins(box, verticalSpacingPx, kChoiceGridMargins);
    grid->addLayout(centredRow({*channels[0], kSectionSpacingPx, *channels[1]}), 0, 0, 1, 1);
    grid->addLayout(centredRow({*channels[2], kSectionSpacingPx, *channels[3]}), 1, 0, 1, 1);
    grid->addLayout(centredRow({off}), 2, 0, 1, 1);
    return numberedGroup(window, {*channels[0], *channels[1], *channels[2], *channels[3], off});
}

}  // namespace

void Telvane::setupUi() {
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("TelvaneClass"));
    }
    resize(kWindowSize);
    centralWidget = new QWidget(this);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(centralWidget);
    // The title until start-up gives the window its own (presentMainWindow): what a window built
    // without it shows, translated in the context of the window's form.
    setWindowTitle(QCoreApplication::translate("TelvaneClass", "Telvane"));
}

void Telvane::buildLayout() {
    move(kWindowPosition);
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

    pcTitleLabel = panelTitleLabel(tr("PC Settings"));
    pcLayout->addLayout(centredRow({pcTitleLabel}));
    pcLayout->addWidget(separatorLine(kSeparatorHeightPx));
    pcLayout->addSpacing(kSectionSpacingPx);

    pcConnectStatusLabel = new QLabel(tr("Connect Status:"));
    pcConnectStateLabel = panelStateLabel(tr("Disconnect"));
    pcLayout->addLayout(centredRow({pcConnectStatusLabel, pcConnectStateLabel}));
    pcLayout->addSpacing(kSectionSpacingPx);

    buildChannelChoice();
    pcLayout->addWidget(pcDisplayGroupBox);
    addSeparatorBlock(pcLayout);
    pcLayout->addWidget(pcAudioGroupBox);
    addSeparatorBlock(pcLayout);
    pcLayout->addStretch(1);

    buildActuatorBox();
    pcLayout->addWidget(actuatorGroupBox);
    addSeparatorBlock(pcLayout);
    buildTtlBox();
    pcLayout->addWidget(ttlGroupBox);
    addSeparatorBlock(pcLayout);
    buildUpgradeBox();
    pcLayout->addWidget(upgradeGroupBox);
    pcLayout->addSpacing(kBottomSpacingPx);
}

// "Channel Choose" and the PC's "Audio".
void Telvane::buildChannelChoice() {
    pcDisplayGroupBox = new QGroupBox(tr("Channel Choose"));
    pcDisplayBtnGroup = buildChannelChoiceBox(
        pcDisplayGroupBox, kChoiceGridSpacingPx, this,
        {&pcDisplayCh1Btn, &pcDisplayCh2Btn, &pcDisplayCh3Btn, &pcDisplayCh4Btn}, pcDisplayOffBtn);

    pcAudioGroupBox = new QGroupBox(tr("Audio"));
    QGridLayout* audioGrid =
        gridWithMargins(pcAudioGroupBox, kAudioGridSpacingPx, kChoiceGridMargins);
    pcAudioBtn = channelButton(QStringLiteral("OFF"));
    audioGrid->addLayout(centredRow({pcAudioBtn}), 0, 0, 1, 1);
}

void Telvane::buildActuatorBox() {
    actuatorGroupBox = new QGroupBox(tr("PWMControl"));
    actuatorLayout = new QGridLayout(actuatorGroupBox);
    actuatorIndexLabel = new QLabel(tr("PWMIndex:"));
    actuatorIndexCombo = new QComboBox;
    for (int index = 1; index <= 6; ++index) {
        actuatorIndexCombo->addItem(QString::number(index));
    }
    actuatorDecBtn = new QPushButton(QStringLiteral("-"));
    actuatorDecBtn->setMaximumWidth(kStepButtonWidthPx);
    actuatorIncBtn = new QPushButton(QStringLiteral("+"));
    actuatorIncBtn->setMaximumWidth(kStepButtonWidthPx);
    actuatorOutputLabel = new QLabel(tr("Output:"));
    actuatorOutputEdit = new QLineEdit;
    actuatorOutputEdit->setValidator(
        new QIntValidator(0, kActuatorOutputMaximum, actuatorOutputEdit));
    actuatorOutputEdit->setText(QStringLiteral("50"));
    actuatorIncMoveBtn = new QPushButton(QStringLiteral("Goto"));
    actuatorIncMoveBtn->setMaximumWidth(kGotoButtonWidthPx);
    actuatorTxBtn = toolButton(tr("Control TX"));
    actuatorTxBtn->setCheckable(true);
    actuatorRxBtn = toolButton(tr("Control RX"));
    actuatorRxBtn->setCheckable(true);
    actuatorDeviceBtnGroup = numberedGroup(this, {actuatorTxBtn, actuatorRxBtn});
    actuatorTxBtn->setChecked(true);
    actuatorLayout->addWidget(actuatorIndexLabel, 0, 0, 1, 1);
    actuatorLayout->addWidget(actuatorIndexCombo, 0, 1, 1, 5);
    actuatorLayout->addWidget(actuatorDecBtn, 0, 6, 1, 1);
    actuatorLayout->addWidget(actuatorIncBtn, 0, 7, 1, 1);
    actuatorLayout->addWidget(actuatorOutputLabel, 2, 0, 1, 1);
    actuatorLayout->addWidget(actuatorOutputEdit, 2, 1, 1, 5);
    actuatorLayout->addWidget(actuatorIncMoveBtn, 2, 6, 1, 2);
    actuatorLayout->addLayout(centredRow({actuatorTxBtn, kSectionSpacingPx, actuatorRxBtn}), 3, 0,
                              2, 8);
}

void Telvane::buildTtlBox() {
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
    ttlLayout->addLayout(centredRow({ttlEncBtn, kSectionSpacingPx, ttlDecBtn}), 3, 0, 2, 8);
}

void Telvane::buildUpgradeBox() {
    upgradeGroupBox = new QGroupBox(tr("Upgrade"));
    upgradeLayout = new QGridLayout(upgradeGroupBox);
    upgradeFilePathLabel = new QLabel(tr("File Path:"));
    upgradeFilePathEdit = new QLineEdit;
    upgradeFilePathEdit->setReadOnly(true);
    upgradeFileChooseBtn = new QPushButton(tr("Choose"));
    upgradeStatusTitleLabel = new QLabel(tr("Status:"));
    upgradeStatusLabel = panelTitleLabel(tr("Unknow"));
    upgradeEncBtn = toolButton(tr("Upgrade TX"));
    upgradeDecBtn = toolButton(tr("Upgrade RX"));
    upgradeLayout->addWidget(upgradeFilePathLabel, 0, 0, 1, 1);
    upgradeLayout->addWidget(upgradeFilePathEdit, 0, 1, 1, 2);
    upgradeLayout->addWidget(upgradeFileChooseBtn, 0, 3, 1, 1);
    upgradeLayout->addWidget(upgradeStatusTitleLabel, 1, 0, 1, 1);
    upgradeLayout->addWidget(upgradeStatusLabel, 1, 1, 1, 3);
    upgradeLayout->addLayout(centredRow({upgradeEncBtn, kSectionSpacingPx, upgradeDecBtn}), 2, 0, 1,
                             4);
}

void Telvane::buildDecodePanel() {
    decodeLayout = new QVBoxLayout(decodePanel);

    decodeTitleLabel = panelTitleLabel(tr("Receiver HDMI Output Settings"));
    decodeLayout->addLayout(centredRow({decodeTitleLabel}));
    decodeLayout->addWidget(separatorLine(kSeparatorHeightPx));
    decodeLayout->addSpacing(kSectionSpacingPx);

    decodeConnectStatusLabel = new QLabel(tr("Connect Status:"));
    decodeConnectStateLabel = panelStateLabel(tr("Disconnect"));
    decodeLayout->addLayout(centredRow({decodeConnectStatusLabel, decodeConnectStateLabel}));
    decodeLayout->addSpacing(kSectionSpacingPx);

    buildDecodeDisplayBox();
    decodeLayout->addWidget(decodeDisplayGroupBox);
    addSeparatorBlock(decodeLayout);

    decodeAudioGroupBox = new QGroupBox(tr("Audio"));
    decodeAudioBtnGroup = buildChannelChoiceBox(
        decodeAudioGroupBox, kAudioGridSpacingPx, this,
        {&decodeAudioCh1Btn, &decodeAudioCh2Btn, &decodeAudioCh3Btn, &decodeAudioCh4Btn},
        decodeAudioOffBtn);
    decodeLayout->addWidget(decodeAudioGroupBox);
    addSeparatorBlock(decodeLayout);

    decodeResolutionGroupBox = new QGroupBox(tr("Output"));
    QGridLayout* resolutionGrid =
        gridWithMargins(decodeResolutionGroupBox, kChoiceGridSpacingPx, kOutputGridMargins);
    decodeResolutionLabel = new QLabel(tr("Resolution:"));
    decodeResolution1080Btn = channelButton(QStringLiteral("1080P@60fps"));
    decodeResolution4kBtn = channelButton(QStringLiteral("4K@30fps"));
    resolutionGrid->addWidget(decodeResolutionLabel, 0, 0, 1, 1);
    resolutionGrid->addWidget(decodeResolution1080Btn, 0, 1, 1, 3);
    resolutionGrid->addWidget(decodeResolution4kBtn, 0, 4, 1, 3);
    decodeResolutionBtnGroup =
        numberedGroup(this, {decodeResolution1080Btn, decodeResolution4kBtn});
    decodeLayout->addWidget(decodeResolutionGroupBox);
    decodeLayout->addStretch(1);
}

// "Video": the layouts, and the frame rate of a channel shown alone.
void Telvane::buildDecodeDisplayBox() {
    decodeDisplayGroupBox = new QGroupBox(tr("Video"));
    QGridLayout* grid =
        gridWithMargins(decodeDisplayGroupBox, kChoiceGridSpacingPx, kChoiceGridMargins);
    makeChannelButtons(
        {&decodeDisplayCh1Btn, &decodeDisplayCh2Btn, &decodeDisplayCh3Btn, &decodeDisplayCh4Btn});
    decodeFPSLabel = new QLabel(QStringLiteral("FPS:"));
    decodeFPS30Btn = channelButton(QStringLiteral("30fps"));
    decodeFPS60Btn = channelButton(QStringLiteral("60fps"));
    // Keeps "60fps" in the column of "30fps", under "FPS:".
    auto* fpsColumnSpacer = new QLabel(QStringLiteral("    "));
    decodeDisplayCh12Btn = channelButton(QStringLiteral("CH1|CH2"));
    decodeDisplayCh34Btn = channelButton(QStringLiteral("CH3|CH4"));
    decodeDisplayQuadBtn = channelButton(QStringLiteral("CH1|CH2\r\nCH3|CH4"));
    decodeDisplayQuadBtn->setMinimumSize(kQuadButtonMinimumSize);
    grid->addLayout(centredRow({decodeDisplayCh1Btn, kVideoRowSpacingPx, decodeDisplayCh2Btn,
                                kVideoRowSpacingPx, decodeFPSLabel, decodeFPS30Btn}),
                    0, 0, 1, 1);
    grid->addLayout(centredRow({decodeDisplayCh3Btn, kVideoRowSpacingPx, decodeDisplayCh4Btn,
                                kVideoRowSpacingPx, fpsColumnSpacer, decodeFPS60Btn}),
                    1, 0, 1, 1);
    grid->addWidget(separatorLine(kThinSeparatorHeightPx), 2, 0, 1, 1);
    grid->addLayout(centredRow({decodeDisplayCh12Btn, kSectionSpacingPx, decodeDisplayCh34Btn}), 3,
                    0, 1, 1);
    grid->addWidget(separatorLine(kThinSeparatorHeightPx), 4, 0, 1, 1);
    grid->addLayout(centredRow({decodeDisplayQuadBtn}), 5, 0, 1, 1);
    decodeDisplayBtnGroup = numberedGroup(
        this, {decodeDisplayCh1Btn, decodeDisplayCh2Btn, decodeDisplayCh3Btn, decodeDisplayCh4Btn,
               decodeDisplayCh12Btn, decodeDisplayCh34Btn, decodeDisplayQuadBtn});
    decodeFPSBtnGroup = numberedGroup(this, {decodeFPS30Btn, decodeFPS60Btn});
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
