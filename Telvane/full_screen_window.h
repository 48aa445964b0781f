#pragma once

#include <QWidget>

class QVBoxLayout;

// The top-level window that holds the picture area while it is shown full screen. The picture
// area moves in as a child and back into the main window's layout as a child, so its native
// window never becomes a top-level window of its own (which window managers would frame and keep).
// Esc, and closing it from the window manager, ask to leave full screen instead of closing.
class FullScreenWindow : public QWidget {
    Q_OBJECT

  public:
    explicit FullScreenWindow(QWidget* owner);

    // Takes `picture` in and shows full screen.
    void hold(QWidget* picture);
    // Gives `picture` back (the caller puts it into its layout) and hides.
    void release(QWidget* picture);

  signals:
    void leaveRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QVBoxLayout* layout;
};
