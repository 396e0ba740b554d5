// The window-system seam over Qt Widgets: message boxes and the About box run
// through ZorpWindow::runModal, so ticks go on while they are open.
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include "platform/qt_window/zorp_window.h"
#include "resources/texts.h"
#include "seams/window_services.h"

static ZorpWindow* window_of(WindowHandle handle)
{
    return static_cast<ZorpWindow*>(handle);
}

static QMessageBox::Icon qt_icon(int icon)
{
    switch (icon) {
    case ICON_ERROR: return QMessageBox::Critical;
    case ICON_WARNING: return QMessageBox::Warning;
    default: return QMessageBox::Information;
    }
}

static int answer_of(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return ANSWER_OK;
    case QMessageBox::Cancel: return ANSWER_CANCEL;
    case QMessageBox::Retry: return ANSWER_RETRY;
    case QMessageBox::Yes: return ANSWER_YES;
    default: return ANSWER_NO;
    }
}

// Qt sizes a box by its contents alone, and a window manager then cuts a
// longer caption ("ZORP download utility") short; a spacer as wide as the
// caption, with room for the frame's buttons, keeps it whole.
static void widen_to_caption(QMessageBox& box)
{
    constexpr int FRAME_BUTTONS_WIDTH = 120;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    QFont caption_font = box.font();
    caption_font.setBold(true);
    const int width = QFontMetrics(caption_font).horizontalAdvance(box.windowTitle()) + FRAME_BUTTONS_WIDTH;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

int wnd_MessageBox(WindowHandle owner, const char* text, const char* title, int icon, int buttons)
{
    QMessageBox box(qt_icon(icon), QString::fromLocal8Bit(title), QString::fromLocal8Bit(text), QMessageBox::NoButton,
                    window_of(owner));
    box.setTextFormat(Qt::PlainText);
    // The first button is the default, and closing the box gives the last.
    QMessageBox::StandardButton first = QMessageBox::Ok, last = QMessageBox::Ok;
    if (buttons == BUTTONS_RETRY_CANCEL) {
        first = QMessageBox::Retry;
        last = QMessageBox::Cancel;
    } else if (buttons == BUTTONS_YES_NO) {
        first = QMessageBox::Yes;
        last = QMessageBox::No;
    }
    box.setStandardButtons(first | last);
    box.setDefaultButton(first);
    box.setEscapeButton(last);
    widen_to_caption(box);

    window_of(owner)->runModal(box);
    // No button pressed: the loop was ended by the program's quitting.
    QAbstractButton* pressed = box.clickedButton();
    return answer_of(pressed ? box.standardButton(pressed) : last);
}

void wnd_AboutBox(WindowHandle owner)
{
    QDialog box(window_of(owner));
    box.setWindowTitle(QString::fromLatin1(ABOUT_TITLE));

    auto* icon = new QLabel;
    icon->setPixmap(QPixmap(QStringLiteral(":/about_icon.png")));
    auto text = [](const char* line) {
        auto* label = new QLabel(QString::fromLatin1(line));
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    auto* ok = new QPushButton(QString::fromLatin1(ABOUT_OK));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);

    auto* layout = new QGridLayout(&box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(text(ABOUT_VERSION), 0, 1, 1, 2);
    layout->addWidget(text(ABOUT_YEAR), 1, 1, 1, 2);
    layout->addWidget(text(ABOUT_COMPANY), 2, 1);
    layout->addWidget(ok, 2, 2);

    window_of(owner)->runModal(box);
}

void wnd_StopTick(WindowHandle window)
{
    window_of(window)->stopTick();
}

void wnd_Quit(int exit_code)
{
    // Ends every loop, a box's included, as a posted quit message would.
    QCoreApplication::exit(exit_code);
}

void wnd_Redraw(WindowHandle window)
{
    window_of(window)->canvas()->requestRedraw();
}

void wnd_SetTitle(WindowHandle window, const char* title)
{
    window_of(window)->setWindowTitle(QString::fromLocal8Bit(title));
}
