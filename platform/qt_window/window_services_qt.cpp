// The window-system seam over Qt Widgets: message boxes and the About box run
// through ZorpWindow::runModal, so ticks go on while they are open.
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>

#include "platform/qt_window/zorp_window.h"
#include "resources/texts.h"
#include "seams/window_services.h"
#include "shell/status_log.h"

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

int wnd_OpenFolder(const char* folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(folder))) ? 0 : -1;
}

int wnd_ChooseFolder(WindowHandle owner, const char* title, const char* start, char* folder, int size)
{
    QFileDialog dialog(window_of(owner), QString::fromLatin1(title), QString::fromLocal8Bit(start));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    window_of(owner)->runModal(dialog);
    if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    const QByteArray path = dialog.selectedFiles().constFirst().toLocal8Bit();
    if (path.size() >= size) return 0;
    memcpy(folder, path.constData(), static_cast<size_t>(path.size()) + 1);
    return 1;
}

void wnd_SessionLogBox(WindowHandle owner)
{
    QDialog box(window_of(owner));
    box.setWindowTitle(QString::fromLatin1(SESSION_LOG_TITLE));
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (const uint32_t dropped = session_Dropped(); dropped != 0)
        view->appendPlainText(QString::asprintf(SESSION_DROPPED, dropped));
    for (uint32_t i = 0; i < session_LineCount(); ++i) view->appendPlainText(QString::fromLocal8Bit(session_Line(i)));
    auto* buttons = new QDialogButtonBox;
    QObject::connect(buttons->addButton(QString::fromLatin1(SESSION_LOG_CLOSE), QDialogButtonBox::RejectRole),
                     &QPushButton::clicked, &box, &QDialog::reject);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(view);
    layout->addWidget(buttons);
    box.resize(600, 400);
    window_of(owner)->runModal(box);
}

// Per user: ~/.config/ZorpLoad/ZorpLoad.conf (under $XDG_CONFIG_HOME when
// set), where QSettings puts them.
static QSettings user_Settings()
{
    return QSettings(QStringLiteral("ZorpLoad"), QStringLiteral("ZorpLoad"));
}

// QSettings reads its file as it is made, on the window's thread: a FIFO or
// device planted at that name would hold the window there. Then nothing is
// remembered.
static bool settings_Usable()
{
    const QFileInfo file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/ZorpLoad/ZorpLoad.conf"));
    return !file.exists() || file.isFile();
}

int wnd_LoadSetting(const char* name, char* value, int size)
{
    if (!settings_Usable()) return 0;
    const QVariant stored = user_Settings().value(QString::fromLatin1(name));
    if (!stored.isValid()) return 0;
    const QByteArray text = stored.toString().toLocal8Bit();
    if (text.size() >= size) return 0;
    memcpy(value, text.constData(), static_cast<size_t>(text.size()) + 1);
    return 1;
}

void wnd_SaveSetting(const char* name, const char* value)
{
    if (!settings_Usable()) return;
    user_Settings().setValue(QString::fromLatin1(name), QString::fromLocal8Bit(value));
}
