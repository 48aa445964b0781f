// Start-up with a Chinese system locale: the catalogue the build wrote, the translated window, the
// fixed title and the embedded icon.

#include "startup.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QResource>
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

bool hasChineseCharacter(const QString& text) {
    for (const QChar character : text) {
        if (character.script() == QChar::Script_Han) {
            return true;
        }
    }
    return false;
}

// Installs the start-up translator for one test and takes it out again.
class InstalledTranslation {
  public:
    InstalledTranslation() { installTranslation(*QCoreApplication::instance(), translator); }
    ~InstalledTranslation() { QCoreApplication::removeTranslator(&translator); }
    bool loaded() const { return !translator.isEmpty(); }

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
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
