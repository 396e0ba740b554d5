// The Qt 6 Widgets front end: the main window with its menu, accelerators
// and painting, the 20 ms tick, and the modal boxes of the window-system
// seam. It is the only code that includes Qt for the window, and it only
// translates Qt's events into calls of the shell's logic (shell/shell.h).
//
// Invariant: at most one tick runs per period, and ticks keep coming while a
// box is open. Qt never delivers a timer's event again while that timer's
// handler is still running, so a box opened from inside a tick would stop
// every tick; each box therefore gets a 20 ms source of its own, and only the
// newest source (the innermost box's, else the main tick) delivers ticks.
// The program ends only through wnd_Quit: a close request never closes the
// window by itself.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPixmap>

#include "platform/options/command_line.h"

class QAction;
class QDialog;

// The client area below the menu: the logo and the status log.
class LogCanvas : public QWidget {
public:
    explicit LogCanvas(QWidget* parent);

    // Asks for a full redraw, background erased.
    void requestRedraw();
    // Draws now.
    void paintPending();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap logo;
};

class ZorpWindow : public QMainWindow {
public:
    ZorpWindow();

    LogCanvas* canvas() const { return log_canvas; }

    // The menu's check mark follows shell_GpxOn().
    void showGpxSwitch();

    void startTick();
    // No tick is delivered from here on, by any source.
    void stopTick();

    // Runs box modally, with a tick source of its own, until it is closed.
    void runModal(QDialog& box);

protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    LogCanvas* log_canvas;
    QAction* save_gpx;
    int tick_timer_id = 0;
    QList<int> box_tick_ids;  // innermost box last
    bool ticking = false;
};

// Start-up, message loop and shut-down of the program, in a QApplication
// that already exists: sets the window class, creates and shows the window,
// starts the shell, applies the command line's options, starts the tick,
// runs the loop, closes the adapter. Returns the exit code that wnd_Quit
// gave.
int qtwindow_Run(const ProgramOptions& options = {});
