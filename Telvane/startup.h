#pragma once

// The program's start-up steps around the main window, shared by main and its tests.

#include <QString>

class QCoreApplication;
class QMainWindow;
class QTranslator;

// "./Language/" and the system locale's name (zh_CN, en_US, ...): relative to the working
// directory, so a start from the build folder finds the catalogue that the build wrote there.
QString translationFileName();

// Loads the catalogue for the system locale, if there is one, and installs the translator either
// way; the window's texts then stay in English where nothing was loaded.
void installTranslation(QCoreApplication& application, QTranslator& translator);

// Fixed title (the same in every language) and icon, then shows the window.
void presentMainWindow(QMainWindow& window);
