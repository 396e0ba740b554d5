// The real Qt window on the offscreen platform over the simulated logger, on a
// clock moved by the real time between 2 ms polls. A step waits for a condition,
// then acts as a user would from an event of its own (its box loops there).
#include <gtest/gtest.h>

#include <QTest>
#include <sys/stat.h>
#include <QtWidgets>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>
#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "platform/qt_window/zorp_window.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"
#include "version.h"

namespace {

struct Step { std::function<bool()> ready; std::function<void()> act = [] {}; };
using Steps = std::vector<Step>;
using Box = QMessageBox;
constexpr char ERASE[] = "Erase GPS Log", EXIT[] = "Exit application ?", SAVE_GPX[] = "Save tracks as GPX";
constexpr int ITEMS_PER_TRACK = 120;
ZorpWindow* window() { return static_cast<ZorpWindow*>(main_window); }
bool nothing_open() { return QApplication::activeModalWidget() == nullptr; }
bool reading_items() { return seq_state == SEQ_READ_TRACK && sim_stats.item_replies_sent > 5; }
template <typename Dialog = Box> Dialog* open_box(const char* title)  // the innermost, if so titled
{
    auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    return box && box->isVisible() && box->windowTitle() == QLatin1String(title) ? box : nullptr;
}

Step answer(const char* title, const char* text, Box::Icon icon, Box::StandardButton button)
{
    return {[=] { return open_box(title) && open_box(title)->text() == text && open_box(title)->icon() == icon; },
            [=] { QTest::mouseClick(open_box(title)->button(button), Qt::LeftButton); }};
}
Step download_done(Box::StandardButton b) { return answer("Download o.k.", EXIT, Box::Information, b); }
Step exit_question(Box::StandardButton b) { return answer("ZORP download utility", EXIT, Box::Warning, b); }

QDialog* about_box()
{
    QDialog* box = open_box<QDialog>("About ZorpLoad");
    const auto labels = box ? box->findChildren<QLabel*>() : QList<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "ZorpLoad, Version " ZORP_VERSION; })
               ? box : nullptr;
}

QAction* menu_item(const char* text)
{
    for (QAction* action : window()->findChildren<QAction*>())
        if (action->text() == QLatin1String(text)) return action;
    ADD_FAILURE() << "no menu item " << text;
    return nullptr;
}

void choose(const char* text)
{
    if (QAction* action = menu_item(text)) action->trigger();
}

Step download_moves_on()  // ten more items after the step before: ticks go on behind a box
{
    return {[mark = int64_t(-1)]() mutable {
        if (mark < 0) mark = sim_stats.item_replies_sent;
        return sim_stats.item_replies_sent > mark + 10;
    }};
}

// Alt+key on the active main window opens About, the download moves on behind it.
void about_by_alt(Steps& steps, Qt::Key key)
{
    steps.insert(steps.end(), {{reading_items, [] { window()->activateWindow(); }},
                               {[] { return QApplication::activeWindow() == window(); },
                                [key] { QTest::keyClick(window(), key, Qt::AltModifier); }},
                               {about_box}, download_moves_on(),
                               {about_box, [] { about_box()->findChild<QPushButton*>()->click(); }}});
}

std::vector<int> inked_rows(const QImage& image, int x0, int x1)  // clearly darker than the background
{
    const int background = qGray(image.pixel(image.width() - 1, image.height() - 1));
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x < x1 && (rows.empty() || rows.back() != y); ++x)
            if (qGray(image.pixel(x, y)) < background - 80) rows.push_back(y);
    return rows;
}

QImage on_screen()  // the client area as last painted
{
    const QRect r(window()->canvas()->mapTo(window(), QPoint(0, 0)), window()->canvas()->size());
    return window()->screen()->grabWindow(window()->winId(), r.x(), r.y(), r.width(), r.height()).toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool line_shown(int line)
{
    const QImage band = on_screen().copy(0, LOG_TOP + LOG_LINE_STEP * line, window()->canvas()->width(), LOG_LINE_STEP);
    return !band.isNull() && !inked_rows(band, 0, band.width()).empty();
}

TempDir temp;

void begin(const char* name)  // a fresh logger with two tracks, and a program directory of the run's own
{
    sim_Reset();
    sim_ResetFiles();
    std::filesystem::create_directory(temp.path(name));
    sim_SetProgramPath((temp.path(name) + "/zorpload").c_str());
    sim_AddTracks(2, 1, ITEMS_PER_TRACK, 7);
}

int run(const Steps& steps)  // the exit code, or -1 when the steps did not all happen within 60 s
{
    size_t next = 0;
    qint64 real_us = 0;
    QTimer poll, watchdog;
    QElapsedTimer real_time;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const qint64 now_us = real_time.nsecsElapsed() / 1000;
        sim_AdvanceUs(static_cast<uint64_t>(now_us - std::exchange(real_us, now_us)));
        if (next < steps.size() && steps[next].ready()) QTimer::singleShot(0, &poll, steps[next++].act);
    });
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    real_time.start(), poll.start(2), watchdog.start(60000);
    const int exit_code = qtwindow_Run();
    EXPECT_EQ(next, steps.size()) << "stuck before step " << next;
    EXPECT_EQ(usb_handle, nullptr);
    EXPECT_FALSE(sim_AdapterOpen());
    return exit_code;
}

int track_files(const char* name)  // the run's ".txt" files, each checked to hold one sentence an item
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temp.path(name)))
        if (entry.path().extension() == ".txt" && ++count) {
            EXPECT_EQ(std::ranges::count(file_Contents(entry.path()), '$'), ITEMS_PER_TRACK) << entry.path();
        }
    return count;
}

void forget_Settings()  // what an earlier test chose is not remembered
{
    QSettings(QStringLiteral("ZorpLoad"), QStringLiteral("ZorpLoad")).clear();
}

TEST(QtWindow, AdapterRetryAboutEraseDownloadRenderingAndExitQuestions)
{
    forget_Settings();
    begin("full");
    sim_settings.adapter.present = false;
    QImage image;  // the window as drawn after the download, with `lines` lines in use
    int lines = 0;
    const Step confirm = answer(ERASE, "Do you want erase ZORP memory?", Box::Warning, Box::Yes);
    const Step erased = answer(ERASE, "GPS erase done", Box::Information, Box::Ok);
    // The error line is drawn behind its box (the box ticks); Retry finds the adapter plugged in.
    Steps steps = {{[] { return open_box("Error") && line_shown(0); }, [] { sim_settings.adapter.present = true; }},
                   answer("Error", "USB adapter Error! (rv=102)", Box::Critical, Box::Retry)};
    about_by_alt(steps, Qt::Key_Question);
    about_by_alt(steps, Qt::Key_Slash);
    steps.insert(steps.end(), {{reading_items, [] { choose(ERASE); }},
                               answer(ERASE, "Unable erase now, try later please.", Box::Critical, Box::Ok),
                               download_done(Box::No),
                               {nothing_open,
                                [&] { log_AddLine("\r\n FT_SetBaudRate Failed"), lines = log_LastUsedLine() + 1; }},
                               {[&] { return line_shown(lines - 1); }, [&] { image = on_screen(), choose(ERASE); }},
                               confirm, erased,
                               {nothing_open, [] { usb_SetBaud(BAUD_FAST), choose(ERASE); }},  // retried at 38400
                               confirm, erased, {nothing_open, [] { choose(SAVE_GPX); }},
                               // The check mark follows the switch; closing when idle asks nothing.
                               {[] { return gpx_enabled && menu_item(SAVE_GPX)->isChecked(); },
                                [] { window()->close(); }}});
    EXPECT_EQ(run(steps), 0);
    EXPECT_EQ(track_files("full"), 2);
    const auto gpx = [](const auto& entry) { return entry.path().extension() == ".gpx"; };
    EXPECT_EQ(std::ranges::count_if(std::filesystem::directory_iterator(temp.path("full")), gpx), 2);
    EXPECT_EQ(sim_stats.erases, 2u);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_STREQ(status_log[0], "Error - USB adapter not found");
    EXPECT_STREQ(status_log[1], "No FT232R adapter is plugged in: connect the logger's USB cable and try again");
    EXPECT_STREQ(status_log[2], "USB adapter check     ... o.k.");
    EXPECT_STREQ(status_log[lines - 2], "ZORP read done. Data saved.");
    const QImage logo = QImage(QStringLiteral(":/logo.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.copy(LOGO_X, LOGO_Y, 160, 46), logo);
    // The system window colour behind the text: on Linux the palette's base, not the grey of dialogs.
    EXPECT_EQ(QColor(image.pixel(image.width() - 1, image.height() - 1)), QApplication::palette().color(QPalette::Base));
    int last_inked_line = -1;  // ink below the logo only in the bands of the lines in use
    for (int y : inked_rows(image, 0, image.width())) {
        if (y < LOGO_Y + logo.height()) continue;
        ASSERT_GE(y, LOG_TOP) << "ink between the logo and the first line";
        last_inked_line = (y - LOG_TOP) / LOG_LINE_STEP;
        ASSERT_LT(last_inked_line, lines) << "ink below the last line, at y = " << y;
    }
    EXPECT_EQ(last_inked_line, lines - 1) << "a line beginning with CR LF stays on its own line";
    EXPECT_TRUE(inked_rows(image.copy(0, LOG_TOP, LOG_X, image.height() - LOG_TOP), 0, LOG_X).empty());
    EXPECT_FALSE(inked_rows(image.copy(0, LOG_TOP, LOG_X + 3, LOG_LINE_STEP), LOG_X, LOG_X + 3).empty());

    // Afresh: Exit during a download asks and No keeps it going; close asks too and Yes leaves with 0.
    begin("left");
    const Step no = exit_question(Box::No);
    EXPECT_EQ(run({{reading_items, [] { choose("E&xit"); }}, {no.ready}, download_moves_on(), no,
                   {reading_items, [] { window()->close(); }}, exit_question(Box::Yes)}), 0);
    EXPECT_LT(seq_state, SEQ_ERROR_STATES);
    EXPECT_LT(track_files("left"), 2);
}

// Stands in for the file manager: QDesktopServices hands file URLs here.
class FileManager : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toLocalFile()); }
};

QString title_with(const std::string& folder) { return "ZorpLoad - " + QString::fromStdString(folder); }
QString session_text()
{
    QStringList lines;
    for (uint32_t i = 0; i < session_LineCount(); ++i) lines.append(QString::fromLocal8Bit(session_Line(i)));
    return lines.join('\n');
}
bool choose_available()  // as the File menu shows it when opened
{
    QMenu* file = window()->menuBar()->findChildren<QMenu*>().value(0);
    emit file->aboutToShow();
    return menu_item("Choose track folder...")->isEnabled();
}

TEST(QtWindow, FileMenuShowsOpensChangesAndRemembersTheTrackFolderAndTheGpxChoice)
{
    forget_Settings();
    FileManager file_manager;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &file_manager, "open");
    begin("menu");
    const std::string first = temp.path("menu"), chosen = temp.path("chosen");
    std::filesystem::create_directory(chosen);
    bool grey_during_download = false;
    QString session_shown;
    const Steps steps = {
        {reading_items, [&] { grey_during_download = !choose_available(); }},
        download_done(Box::No),
        {nothing_open, [] { choose("Open track folder"); }},
        {[&] { return choose_available() && !file_manager.opened.isEmpty(); },
         [] { choose("Choose track folder..."); }},
        {[] { return open_box<QFileDialog>("Choose track folder"); },
         [&] {
             QFileDialog* dialog = open_box<QFileDialog>("Choose track folder");
             EXPECT_EQ(dialog->directory().absolutePath().toStdString(), first) << "starts at the folder in use";
             dialog->setDirectory(QString::fromStdString(chosen));
             static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own is protected
         }},
        {[&] { return window()->windowTitle() == title_with(chosen); }, [] { choose(SAVE_GPX); }},
        {[] { return gpx_enabled; }, [] { choose("Session log"); }},
        {[] { return open_box<QDialog>("Session log"); },
         [&] {
             auto* view = open_box<QDialog>("Session log")->findChild<QPlainTextEdit*>();
             EXPECT_TRUE(view->isReadOnly());
             EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
             session_shown = view->toPlainText();
             open_box<QDialog>("Session log")->reject();
         }},
        {nothing_open, [] { window()->close(); }},
    };
    EXPECT_EQ(run(steps), 0);
    EXPECT_TRUE(grey_during_download) << "the folder could be changed under a running download";
    EXPECT_EQ(file_manager.opened, QStringList{QString::fromStdString(first)});
    EXPECT_EQ(session_shown, session_text());
    EXPECT_TRUE(session_shown.startsWith("USB adapter check     ... o.k.\nConnect ZORP"));
    EXPECT_EQ(track_files("menu"), 2) << "the running download saved where it started";

    // The next start: the chosen folder and GPX saving are remembered.
    begin("again");
    QString title;
    EXPECT_EQ(run({{[] { return seq_state == SEQ_IDLE; }, [&] { title = window()->windowTitle(); }},
                   download_done(Box::Yes)}), 0);
    EXPECT_EQ(title, title_with(chosen));
    EXPECT_TRUE(gpx_enabled);
    EXPECT_EQ(track_files("again"), 0);
    EXPECT_EQ(track_files("chosen"), 2);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

// A FIFO planted where the settings file goes never holds the window: the
// download runs through and nothing is remembered.
TEST(QtWindow, AFifoAtTheSettingsFileIsLeftAlone)
{
    forget_Settings();
    const std::string config = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/ZorpLoad/ZorpLoad.conf";
    std::filesystem::remove(config);
    std::filesystem::create_directories(std::filesystem::path(config).parent_path());
    ASSERT_EQ(mkfifo(config.c_str(), 0600), 0);
    begin("fifo");
    EXPECT_EQ(run({{reading_items, [] { choose(SAVE_GPX); }}, download_done(Box::Yes)}), 0);
    EXPECT_EQ(track_files("fifo"), 2);
    EXPECT_TRUE(std::filesystem::is_fifo(config));
    std::filesystem::remove(config);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");  // never a display: these run anywhere
    // The remembered settings go to a folder of the tests' own, not the user's.
    static const TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.dir));
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "qt_window_test.moc"
