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
using Box = QMessageBox;
constexpr char ERASE[] = "Erase GPS Log", EXIT[] = "Exit application ?", SAVE_GPX[] = "Save tracks as GPX";
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

QAction* menu_item(const char* text)
{
    for (QAction* action : window()->findChildren<QAction*>())
        if (action->text() == QLatin1String(text)) return action;
    ADD_FAILURE() << "no menu item " << text;
    return nullptr;
}

QDialog* about_box()  // with the version on it
{
    QDialog* box = open_box<QDialog>("About ZorpLoad");
    const auto labels = box ? box->findChildren<QLabel*>() : QList<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "ZorpLoad, Version " ZORP_VERSION; })
               ? box : nullptr;
}

void choose(const char* text) { if (QAction* action = menu_item(text)) action->trigger(); }

Step download_moves_on()  // ten more items after the step before: ticks go on behind a box
{
    return {[mark = int64_t(-1)]() mutable {
        if (mark < 0) mark = sim_stats.item_replies_sent;
        return sim_stats.item_replies_sent > mark + 10;
    }};
}

// Some ink clearly darker than the background in the line's band, as last painted.
bool line_shown(int line)
{
    QWidget* canvas = window()->canvas();
    const QPoint at = canvas->mapTo(window(), QPoint(0, LOG_TOP + LOG_LINE_STEP * line));
    const QImage band =
        window()->screen()->grabWindow(window()->winId(), at.x(), at.y(), canvas->width(), LOG_LINE_STEP).toImage();
    const int background = qGray(band.pixel(band.width() - 1, 0)) - 80;
    for (int y = 0; y < band.height(); ++y)
        for (int x = 0; x < band.width(); ++x)
            if (qGray(band.pixel(x, y)) < background) return true;
    return false;
}

TempDir temp;

// A fresh logger with `tracks` tracks (with none the download soon asks to
// exit), a program directory of the run's own, and nothing remembered.
void begin(const char* name, int tracks = 2)
{
    sim_Reset();
    sim_ResetFiles();
    std::filesystem::create_directory(temp.path(name));
    sim_SetProgramPath((temp.path(name) + "/zorpload").c_str());
    sim_AddTracks(tracks, 1, 120, 7);
    QSettings(QStringLiteral("ZorpLoad"), QStringLiteral("ZorpLoad")).clear();
}

bool started() { return true; }  // the window is up: a step runs inside its loop
void quit() { QCoreApplication::exit(0); }  // the behaviour has shown: the run ends there

void run(const std::vector<Step>& steps)  // all of them, within 60 s, and then the program leaves with 0
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
    EXPECT_EQ(qtwindow_Run(), 0);
    EXPECT_EQ(next, steps.size()) << "stuck before step " << next;
    EXPECT_EQ(usb_handle, nullptr);
    EXPECT_FALSE(sim_AdapterOpen());
}

// The error line is drawn behind its box (the box ticks); Retry finds the adapter plugged in.
TEST(QtWindow, RetryAfterAdapterMissing)
{
    begin("retry", 0);
    sim_settings.adapter.present = false;
    run({{[] { return open_box("Error") && line_shown(0); }, [] { sim_settings.adapter.present = true; }},
         answer("Error", "USB adapter Error! (rv=102)", Box::Critical, Box::Retry), download_done(Box::Yes)});
    EXPECT_STREQ(status_log[0], "Error - USB adapter not found");
    EXPECT_STREQ(status_log[2], "USB adapter check     ... o.k.");
}

// Alt+? and Alt+/ on the main window open About; the download moves on behind it.
TEST(QtWindow, AboutByAltQuestionMarkAndAltSlash)
{
    begin("about");
    std::vector<Step> steps;
    for (Qt::Key key : {Qt::Key_Question, Qt::Key_Slash})
        steps.insert(steps.end(), {{reading_items, [] { window()->activateWindow(); }},
                                   {[] { return QApplication::activeWindow() == window(); },
                                    [key] { QTest::keyClick(window(), key, Qt::AltModifier); }},
                                   {about_box}, download_moves_on(),
                                   {about_box, [] { about_box()->findChild<QPushButton*>()->click(); }}});
    steps.push_back({nothing_open, quit});
    run(steps);
}

TEST(QtWindow, EraseRefusedDuringDownload)
{
    begin("refused");
    run({{reading_items, [] { choose(ERASE); }},
         answer(ERASE, "Unable erase now, try later please.", Box::Critical, Box::Ok), {nothing_open, quit}});
    EXPECT_EQ(sim_stats.erases, 0u);
}

// Also at 250000 baud, where a failed download leaves the line: asked again at 38400.
TEST(QtWindow, EraseWhenIdle)
{
    begin("erase", 0);
    const Step confirm = answer(ERASE, "Do you want erase ZORP memory?", Box::Warning, Box::Yes);
    const Step erased = answer(ERASE, "GPS erase done", Box::Information, Box::Ok);
    run({download_done(Box::No), {nothing_open, [] { choose(ERASE); }}, confirm, erased,
         {nothing_open, [] { usb_SetBaud(BAUD_FAST), choose(ERASE); }}, confirm, erased, {nothing_open, quit}});
    EXPECT_EQ(sim_stats.erases, 2u);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
}

TEST(QtWindow, CloseWhenIdleAsksNothing)
{
    begin("idle", 0);
    run({download_done(Box::No), {nothing_open, [] { window()->close(); }}});
}

// Close asks and No keeps the window and the download; Exit asks too and Yes leaves.
TEST(QtWindow, ExitDuringDownloadAsks)
{
    begin("left");
    const Step no = exit_question(Box::No);
    run({{reading_items, [] { window()->close(); }}, {no.ready}, download_moves_on(), no,
         {reading_items, [] { EXPECT_TRUE(window()->isVisible()); choose("E&xit"); }}, exit_question(Box::Yes)});
    EXPECT_LT(seq_state, SEQ_ERROR_STATES);
}

bool choose_available()  // as the File menu shows it when opened
{
    QMenu* file = window()->menuBar()->findChildren<QMenu*>().value(0);
    emit file->aboutToShow();
    return menu_item("Choose track folder...")->isEnabled();
}

TEST(QtWindow, ChooseTrackFolderGreyedDuringDownload)
{
    begin("greyed");
    run({{reading_items, [] { EXPECT_FALSE(choose_available()) << "a download's folder could change"; quit(); }}});
}

QString title_with(const std::string& folder) { return "ZorpLoad - " + QString::fromStdString(folder); }

// Once the download is over the dialog starts at the folder in use, and the
// title follows the choice; the next start shows it, and GPX saving on.
TEST(QtWindow, ChosenTrackFolderAndGpxChoiceRememberedForTheNextStart)
{
    begin("first", 0);
    const std::string chosen = temp.path("chosen");
    std::filesystem::create_directory(chosen);
    const auto dialog = [] { return open_box<QFileDialog>("Choose track folder"); };
    run({download_done(Box::No),
         {[] { return nothing_open() && choose_available(); }, [] { choose("Choose track folder..."); }},
         {dialog, [&] {
              EXPECT_EQ(dialog()->directory().absolutePath().toStdString(), temp.path("first")) << "not the folder in use";
              dialog()->setDirectory(QString::fromStdString(chosen));
              static_cast<QDialog*>(dialog())->accept();  // QFileDialog's own is protected
          }},
         {[&] { return window()->windowTitle() == title_with(chosen); }, [] { choose(SAVE_GPX), quit(); }}});
    run({{started, [&] {
              EXPECT_EQ(window()->windowTitle(), title_with(chosen));
              EXPECT_TRUE(gpx_enabled && menu_item(SAVE_GPX)->isChecked());
              quit();
          }}});
}

TEST(QtWindow, SessionLogShowsTheSessionReadOnly)
{
    begin("session", 0);
    const auto box = [] { return open_box<QDialog>("Session log"); };
    run({download_done(Box::No), {nothing_open, [] { choose("Session log"); }},
         {box, [&] {
              auto* view = box()->findChild<QPlainTextEdit*>();
              QStringList lines;
              for (uint32_t i = 0; i < session_LineCount(); ++i) lines.append(QString::fromLocal8Bit(session_Line(i)));
              EXPECT_EQ(view->toPlainText(), lines.join('\n'));
              EXPECT_TRUE(view->toPlainText().startsWith("USB adapter check     ... o.k.\nConnect ZORP"));
              EXPECT_TRUE(view->isReadOnly() && view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
              box()->reject();
          }},
         {nothing_open, quit}});
}

// A FIFO planted where the settings file goes never holds the window: the
// download runs through and nothing is remembered.
TEST(QtWindow, AFifoAtTheSettingsFileIsLeftAlone)
{
    begin("fifo", 0);
    const std::string config = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/ZorpLoad/ZorpLoad.conf";
    std::filesystem::remove(config);
    std::filesystem::create_directories(std::filesystem::path(config).parent_path());
    ASSERT_EQ(mkfifo(config.c_str(), 0600), 0);
    run({{started, [] { choose(SAVE_GPX); }}, download_done(Box::Yes)});
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

