#pragma once

// The program's start-up steps around the main window, shared by main and its tests.

#include <QString>

class QCoreApplication;
class QMainWindow;
class QTranslator;

// "./Language/" and the system locale's name (zh_CN, en_US, ...): relative to the working
// directory, so a start from the build folder finds the catalogue that the build wrote there.
QString translationFileName();

// The installed catalogues' folder as seen from the program's folder `programDir`
// (<prefix>/bin -> <prefix>/share/telvane/Language), so that a moved tree still finds them.
QString installedTranslationDirectory(const QString& programDir);

// Loads the catalogue for the system locale: ./Language/<locale> first, as in a start from the
// build folder, then the installed one beside `programDir`. False when neither loads.
bool loadTranslation(QTranslator& translator, const QString& programDir);

// Loads the catalogue (the program's own folder is the application's) and installs the translator
// either way; the window's texts then stay in English where nothing was loaded.
void installTranslation(QCoreApplication& application, QTranslator& translator);

// Fixed title (the same in every language) and icon, then shows the window.
void presentMainWindow(QMainWindow& window);
