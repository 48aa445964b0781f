#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMainWindow>
#include <QTranslator>

QString translationFileName() {
    return QStringLiteral("./Language/") + QLocale::system().name();
}

QString installedTranslationDirectory(const QString& programDir) {
    return QDir::cleanPath(programDir + QStringLiteral("/") +
                           QStringLiteral(TELVANE_TRANSLATIONS_FROM_PROGRAM));
}

bool loadTranslation(QTranslator& translator, const QString& programDir) {
    // Qt's defaults try zh_CN.qm, zh_CN, zh.qm, zh in turn, in each folder; no match leaves the
    // translator empty.
    return translator.load(translationFileName(), QString(), QString(), QString()) ||
           translator.load(QLocale::system().name(), installedTranslationDirectory(programDir),
                           QString(), QString());
}

void installTranslation(QCoreApplication& application, QTranslator& translator) {
    loadTranslation(translator, QCoreApplication::applicationDirPath());
    application.installTranslator(&translator);
}

void presentMainWindow(QMainWindow& window) {
    window.setWindowTitle(QStringLiteral("Varnel Pro"));
    window.setWindowIcon(QIcon(QStringLiteral(":Telvane/Resources/Telvane.ico")));
    window.show();
}
