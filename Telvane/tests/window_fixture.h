#pragma once

// What the window tests share: a window that reaches nothing, a view of its private members, and a
// window that records which of its slots are entered.

#include "telvane.h"
#include "usbip_launcher.h"

#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVector>

class QTimer;

// Loopback addresses where nothing listens.
DeviceTable loopbackDevices();

// Finds the USB/IP client already running, so building a window starts no program.
const UsbIpLauncher& idleLauncher();

class TelvaneTestAccess {
  public:
    // Every member the set-up steps fill, by name, in declaration order.
    static QVector<QPair<QString, QObject*>> members(Telvane& window);
    static QObject* member(Telvane& window, const QString& name);
    static QTimer* actuatorTimer(Telvane& window);
    static QWidget* videoWidget(Telvane& window);
};

template <typename T>
T* member(Telvane& window, const QString& name) {
    return qobject_cast<T*>(TelvaneTestAccess::member(window, name));
}

// Records each slot entry as "name(argument)" and each event that reaches the window's filter.
class ProbeTelvane : public Telvane {
  public:
    explicit ProbeTelvane(const DeviceTable& devices = loopbackDevices());

    QStringList entries;
    QString chosenFile;                            // what the firmware file dialog answers
    QVector<QPair<QObject*, int>> filteredEvents;  // watched object and event type

    bool eventFilter(QObject* obj, QEvent* event) override;

  protected:
    void slotEntered(const char* slot, std::optional<int> argument) override;
    QString askUpgradeFilePath() override;
};
