#include "full_screen_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

FullScreenWindow::FullScreenWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setBrush(QPalette::Window, QBrush(Qt::black));
    setPalette(black);
    layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void FullScreenWindow::hold(QWidget* picture) {
    layout->addWidget(picture);
    picture->show();
    showFullScreen();
    activateWindow();
}

void FullScreenWindow::release(QWidget* picture) {
    layout->removeWidget(picture);
    hide();
}

void FullScreenWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit leaveRequested();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit leaveRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}
