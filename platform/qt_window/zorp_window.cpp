#include "platform/qt_window/zorp_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimerEvent>

#include "resources/texts.h"
#include "shell/shell.h"

LogCanvas::LogCanvas(QWidget* parent) : QWidget(parent), logo(QStringLiteral(":/logo.png"))
{
    // The system window colour, which on Linux desktops is the palette's
    // base (white in the usual styles); the window role is the dialogs' grey.
    // The text then takes the base's text colour.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void LogCanvas::requestRedraw()
{
    update();
}

void LogCanvas::paintPending()
{
    repaint();
}

// The point form of drawText draws one run that never breaks at a CR or LF
// (the rectangle form would break it); its y is the baseline.
static void draw_log_text(void* surface, int x, int y, const char* text, int length)
{
    auto* painter = static_cast<QPainter*>(surface);
    painter->drawText(QPoint(x, y + painter->fontMetrics().ascent()), QString::fromLocal8Bit(text, length));
}

void LogCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(LOGO_X, LOGO_Y, logo);
    log_Draw(&painter, draw_log_text);
    shell_Painted();
}

ZorpWindow::ZorpWindow() : log_canvas(new LogCanvas(this))
{
    setWindowTitle(QString::fromLatin1(window_title));
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addFile(QStringLiteral(":/icon_%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setCentralWidget(log_canvas);

    auto add_command = [this](QMenu* menu, const char* text, unsigned command) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(command);
        connect(action, &QAction::triggered, this, [command] { shell_Command(command); });
    };
    QMenu* file = menuBar()->addMenu(QString::fromLatin1(MENU_FILE));
    add_command(file, MENU_ERASE, CMD_ERASE);
    // A check mark shows whether GPX saving is on; the shell's switch decides.
    save_gpx = file->addAction(QString::fromLatin1(MENU_SAVE_GPX));
    save_gpx->setCheckable(true);
    connect(save_gpx, &QAction::triggered, this, [this] {
        shell_Command(CMD_SAVE_GPX);
        showGpxSwitch();
    });
    add_command(file, MENU_OPEN_FOLDER, CMD_OPEN_FOLDER);
    add_command(file, MENU_CHOOSE_FOLDER, CMD_CHOOSE_FOLDER);
    add_command(file, MENU_SESSION_LOG, CMD_SESSION_LOG);
    add_command(file, MENU_EXIT, CMD_EXIT);
    // An item the shell cannot serve now is greyed out.
    connect(file, &QMenu::aboutToShow, this, [file] {
        for (QAction* action : file->actions())
            if (action->data().isValid()) action->setEnabled(shell_CommandAvailable(action->data().toUInt()));
    });
    add_command(menuBar()->addMenu(QString::fromLatin1(MENU_HELP)), MENU_ABOUT, CMD_ABOUT);

    // Alt with "?" or "/" opens the About box too; Qt matches "?" by the
    // character, whether or not the layout needs Shift for it.
    const QKeySequence about_keys[] = {
        QKeySequence(Qt::ALT | Qt::Key_Question),
        QKeySequence(Qt::ALT | Qt::Key_Slash),
    };
    for (const QKeySequence& keys : about_keys)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [] { shell_Command(CMD_ABOUT); });

    resize(640, 480);
}

void ZorpWindow::showGpxSwitch()
{
    save_gpx->setChecked(shell_GpxOn());
}

void ZorpWindow::startTick()
{
    tick_timer_id = startTimer(TICK_PERIOD_MS, Qt::PreciseTimer);
    ticking = true;
}

void ZorpWindow::stopTick()
{
    if (!ticking) return;
    ticking = false;
    killTimer(tick_timer_id);
}

void ZorpWindow::runModal(QDialog& box)
{
    const int id = startTimer(TICK_PERIOD_MS, Qt::PreciseTimer);
    box_tick_ids.append(id);
    box.exec();
    box_tick_ids.removeOne(id);
    killTimer(id);
}

void ZorpWindow::timerEvent(QTimerEvent* event)
{
    const int id = event->timerId();
    const int source = box_tick_ids.isEmpty() ? tick_timer_id : box_tick_ids.last();
    if (id == source) {
        if (ticking) shell_Tick();
    } else if (id != tick_timer_id && !box_tick_ids.contains(id)) {
        QMainWindow::timerEvent(event);
    }
}

void ZorpWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    shell_CloseRequest();
}

static void paint_pending(WindowHandle window)
{
    static_cast<ZorpWindow*>(window)->canvas()->paintPending();
}

int qtwindow_Run(const ProgramOptions& options)
{
    // Before the first window exists: the X11 window class is taken from it.
    QCoreApplication::setApplicationName(QString::fromLatin1(window_class_name));
    QApplication::setQuitOnLastWindowClosed(false);

    ZorpWindow window;
    window.show();
    shell_Start(&window, paint_pending);
    options_Apply(options, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toLocal8Bit());
    window.showGpxSwitch();
    window.startTick();
    const int exit_code = QApplication::exec();
    shell_Shutdown();
    return exit_code;
}
