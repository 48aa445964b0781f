#include "startup.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLocale>
#include <QMainWindow>
#include <QTranslator>

QString translationFileName() {
    return QStringLiteral("./Language/") + QLocale::system().name();
}

void installTranslation(QCoreApplication& application, QTranslator& translator) {
    // Qt's defaults try zh_CN.qm, zh_CN, zh.qm, zh in turn; no match leaves the translator empty.
    translator.load(translationFileName(), QString(), QString(), QString());
    application.installTranslator(&translator);
}

void presentMainWindow(QMainWindow& window) {
    window.setWindowTitle(QStringLiteral("Varnel Pro"));
    window.setWindowIcon(QIcon(QStringLiteral(":Telvane/Resources/Telvane.ico")));
    window.show();
}
