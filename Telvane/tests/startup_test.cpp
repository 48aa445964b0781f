// Start-up with a Chinese system locale: the catalogue the build wrote, the translated window, the
// fixed title and the embedded icon.

#include "startup.h"
#include "look.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

const char kIconPath[] = ":Telvane/Resources/Telvane.ico";

// Captions that stay as they are in every language.
const QStringList kFixedCaptions = {
    "CH1",         "CH2",      "CH3",  "CH4",   "X",     "OFF",     "-",       "+",
    "Goto",        "FPS:",     "    ", "30fps", "60fps", "CH1|CH2", "CH3|CH4", "CH1|CH2\r\nCH3|CH4",
    "1080P@60fps", "4K@30fps", "",
};

// Every caption of the window, in the order of its widget tree.
QStringList captions(Telvane& window) {
    QStringList texts;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            texts << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            texts << button->text();
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            texts << box->title();
        }
    }
    return texts;
}

// A window at its smallest, laid out as it is shown.
void showSmallest(Telvane& window) {
    window.show();
    window.resize(window.minimumSizeHint());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
}

// The mean colour of a button as it is drawn.
QColor drawnColour(QPushButton& button) {
    const QImage image = button.grab().toImage();
    qint64 red = 0;
    qint64 green = 0;
    qint64 blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            red += pixel.red();
            green += pixel.green();
            blue += pixel.blue();
        }
    }
    const qint64 count = qMax(1, image.width() * image.height());
    return QColor(int(red / count), int(green / count), int(blue / count));
}

bool hasChineseCharacter(const QString& text) {
    for (const QChar character : text) {
        if (character.script() == QChar::Script_Han) {
            return true;
        }
    }
    return false;
}

// Every text that the window passes through tr, read from its sources (adjacent literals joined).
QStringList windowTexts() {
    static const QRegularExpression call(
        QStringLiteral(R"re(\btr\(((\s*"([^"\\]|\\.)*")+)\s*\))re"));
    static const QRegularExpression literal(QStringLiteral(R"re("(([^"\\]|\\.)*)")re"));
    QStringList texts;
    const QDir sources(QStringLiteral(TELVANE_SOURCE_DIR));
    for (const QString& name : sources.entryList({QStringLiteral("*.cpp")}, QDir::Files)) {
        QFile file(sources.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("cannot read %s", qPrintable(file.fileName()));
            continue;
        }
        const QString code = QString::fromUtf8(file.readAll());
        for (auto calls = call.globalMatch(code); calls.hasNext();) {
            QString text;
            for (auto parts = literal.globalMatch(calls.next().captured(1)); parts.hasNext();) {
                text +=
                    parts.next().captured(1).replace(QStringLiteral("\\\""), QStringLiteral("\""));
            }
            texts << text;
        }
    }
    return texts;
}

// Installs the start-up translator for one test and takes it out again.
class InstalledTranslation {
  public:
    InstalledTranslation() { installTranslation(*QCoreApplication::instance(), translator); }
    ~InstalledTranslation() { QCoreApplication::removeTranslator(&translator); }
    bool loaded() const { return !translator.isEmpty(); }
    // Whether the catalogue holds a translation of `text` in the window's context.
    bool translates(const QString& text) const {
        return !translator.translate("Telvane", text.toUtf8().constData()).isEmpty();
    }

  private:
    QTranslator translator;
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QCOMPARE(QLocale::system().name(), QStringLiteral("zh_CN"));
        QVERIFY(QDir::setCurrent(QStringLiteral(TELVANE_BUILD_DIR)));
    }

    void catalogueNameFollowsTheLocale() {
        QCOMPARE(translationFileName(), QStringLiteral("./Language/zh_CN"));
        QVERIFY(QFileInfo(QStringLiteral("./Language/zh_CN.qm")).isFile());
    }

    void everyTranslatableCaptionIsChinese() {
        Telvane english(loopbackDevices(), idleLauncher());
        const QStringList source = captions(english);

        InstalledTranslation translation;
        QVERIFY(translation.loaded());
        Telvane chinese(loopbackDevices(), idleLauncher());
        const QStringList translated = captions(chinese);

        QCOMPARE(translated.size(), source.size());
        int translatedCount = 0;
        for (int index = 0; index < source.size(); ++index) {
            if (kFixedCaptions.contains(source[index])) {
                QCOMPARE(translated[index], source[index]);
            } else {
                QVERIFY2(hasChineseCharacter(translated[index]), qPrintable(source[index]));
                QCOMPARE(translated[index],
                         QCoreApplication::translate("Telvane", qPrintable(source[index])));
                ++translatedCount;
            }
        }
        // Every tr caption of the tree, the repeated "Audio", "Connect Status:", "Disconnect",
        // "Control TX" and "Control RX" included.
        QCOMPARE(translatedCount, 29);
    }

    // Status messages, accessible names and descriptions as well as captions: whatever the window
    // says through tr has its translation in the window's context.
    void everyTextOfTheWindowIsTranslated() {
        InstalledTranslation translation;
        const QStringList texts = windowTexts();
        QVERIFY(texts.contains(QStringLiteral("PC Settings")));
        QStringList untranslated;
        for (const QString& text : texts) {
            if (!translation.translates(text)) {
                untranslated << text;
            }
        }
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(QStringLiteral(" | "))));
    }

    void titleIsVarnelProInEveryLanguage() {
        InstalledTranslation translation;
        Telvane window(loopbackDevices(), idleLauncher());
        const QString setUpTitle = QCoreApplication::translate("TelvaneClass", "Telvane");
        QVERIFY(hasChineseCharacter(setUpTitle));
        QCOMPARE(window.windowTitle(), setUpTitle);
        presentMainWindow(window);
        QCOMPARE(window.windowTitle(), QStringLiteral("Varnel Pro"));
        QVERIFY(window.isVisible());
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    }

    // The build's program folder has no installed catalogues beside it.
    void otherWorkingDirectoryLeavesTheWindowInEnglish() {
        QTemporaryDir elsewhere;
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        {
            InstalledTranslation translation;
            QVERIFY(!translation.loaded());
            Telvane window(loopbackDevices(), idleLauncher());
            QCOMPARE(member<QLabel>(window, QStringLiteral("pcTitleLabel"))->text(),
                     QStringLiteral("PC Settings"));
        }
        QVERIFY(QDir::setCurrent(QStringLiteral(TELVANE_BUILD_DIR)));
    }

    // With no zh_CN catalogue, the one for the language alone is taken.
    void languageCatalogueServesTheCountry() {
        QTemporaryDir elsewhere;
        QVERIFY(QDir(elsewhere.path()).mkdir(QStringLiteral("Language")));
        QVERIFY(QFile::copy(QStringLiteral("./Language/zh_CN.qm"),
                            elsewhere.path() + QStringLiteral("/Language/zh.qm")));
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        {
            InstalledTranslation translation;
            QVERIFY(translation.loaded());
        }
        QVERIFY(QDir::setCurrent(QStringLiteral(TELVANE_BUILD_DIR)));
    }

    // An installed program started from any folder finds the catalogue under its own prefix.
    void installedCatalogueServesAnyWorkingDirectory() {
        QTemporaryDir prefix;
        const QString programDir = installedTree(prefix);
        QCOMPARE(installedTranslationDirectory(programDir),
                 prefix.path() + QStringLiteral("/" TELVANE_INSTALLED_TRANSLATIONS_DIR));
        QTemporaryDir elsewhere;
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        {
            QTranslator translator;
            QVERIFY(loadTranslation(translator, programDir));
            QCOMPARE(translator.filePath(),
                     installedTranslationDirectory(programDir) + QStringLiteral("/zh_CN.qm"));
            QCoreApplication::installTranslator(&translator);
            Telvane window(loopbackDevices(), idleLauncher());
            QVERIFY(hasChineseCharacter(
                member<QLabel>(window, QStringLiteral("pcTitleLabel"))->text()));
            QCoreApplication::removeTranslator(&translator);
        }
        QVERIFY(QDir::setCurrent(QStringLiteral(TELVANE_BUILD_DIR)));
    }

    // ./Language in the working directory comes first, even for the language alone.
    void workingDirectoryCatalogueComesFirst() {
        QTemporaryDir prefix;
        const QString programDir = installedTree(prefix);
        QTemporaryDir elsewhere;
        QVERIFY(QDir(elsewhere.path()).mkdir(QStringLiteral("Language")));
        QVERIFY(QFile::copy(QStringLiteral("./Language/zh_CN.qm"),
                            elsewhere.path() + QStringLiteral("/Language/zh.qm")));
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        {
            QTranslator translator;
            QVERIFY(loadTranslation(translator, programDir));
            QCOMPARE(QFileInfo(translator.filePath()).canonicalFilePath(),
                     QFileInfo(elsewhere.path() + QStringLiteral("/Language/zh.qm"))
                         .canonicalFilePath());
        }
        QVERIFY(QDir::setCurrent(QStringLiteral(TELVANE_BUILD_DIR)));
    }

    // The compact look keeps every caption whole in both languages, and the window low enough
    // that with a window manager's frame (openbox's adds 25 px) it stays within 1000 px.
    void everyCaptionFitsAndTheWindowIsLowEnough() {
        for (bool chinese : {false, true}) {
            std::unique_ptr<InstalledTranslation> translation;
            if (chinese) {
                translation = std::make_unique<InstalledTranslation>();
            }
            Telvane window(loopbackDevices(), idleLauncher());
            showSmallest(window);
            const QStringList clipped = clippedCaptions(window);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
            QVERIFY2(window.minimumSizeHint().height() <= 975,
                     qPrintable(QString::number(window.minimumSizeHint().height())));
            QVERIFY(window.minimumSizeHint().width() <= 1300);
        }
    }

    // A checked button is plain at a glance (far from an unchecked one in colour), and the look
    // changes no button's size.
    void checkedButtonsStandOutAtTheSameSize() {
        QWidget panel;
        QPushButton unchecked(QStringLiteral("CH1"), &panel);
        QPushButton checked(QStringLiteral("CH2"), &panel);
        for (QPushButton* button : {&unchecked, &checked}) {
            button->setCheckable(true);
            button->setMinimumHeight(35);
            button->resize(button->sizeHint());
        }
        checked.setChecked(true);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QColor off = drawnColour(unchecked);
        const QColor on = drawnColour(checked);
        const int difference = qAbs(off.red() - on.red()) + qAbs(off.green() - on.green()) +
                               qAbs(off.blue() - on.blue());
        QVERIFY2(difference > 150,
                 qPrintable(QStringLiteral("%1 against %2").arg(off.name(), on.name())));

        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        QPushButton plain(QStringLiteral("CH2"));
        plain.setStyle(fusion.get());
        plain.setCheckable(true);
        plain.setChecked(true);
        plain.setMinimumHeight(35);
        QCOMPARE(checked.sizeHint(), plain.sizeHint());
    }

    void iconIsEmbeddedUncompressed() {
        QResource resource(QString::fromLatin1(kIconPath));
        QVERIFY(resource.isValid());
        QCOMPARE(resource.size(), qint64(4286));
        QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

        QFile file(QString::fromLatin1(kIconPath));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        // One image: 32 x 32 pixels, 32 bits per pixel.
        QCOMPARE(bytes.left(6), QByteArray("\0\0\1\0\1\0", 6));
        QCOMPARE(quint8(bytes[6]), quint8(32));
        QCOMPARE(quint8(bytes[7]), quint8(32));
        QCOMPARE(quint8(bytes[12]), quint8(32));

        const QImage image(QString::fromLatin1(kIconPath));
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(16, 16)), 255);
    }

  private:
    // An installed tree under `prefix` as cmake --install lays it out: the program's folder and the
    // catalogue the build wrote. Returns the program's folder.
    static QString installedTree(const QTemporaryDir& prefix) {
        const QString programDir =
            prefix.path() + QStringLiteral("/" TELVANE_INSTALLED_PROGRAM_DIR);
        const QString translations =
            prefix.path() + QStringLiteral("/" TELVANE_INSTALLED_TRANSLATIONS_DIR);
        if (!QDir().mkpath(programDir) || !QDir().mkpath(translations) ||
            !QFile::copy(QStringLiteral(TELVANE_BUILD_DIR "/Language/zh_CN.qm"),
                         translations + QStringLiteral("/zh_CN.qm"))) {
            qWarning("cannot lay out the installed tree in %s", qPrintable(prefix.path()));
        }
        return programDir;
    }
};

int main(int argc, char* argv[]) {
    // The system locale is read from the environment once, when the application starts.
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    applyTelvaneLook(application);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
