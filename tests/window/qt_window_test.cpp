// The real Qt window and its 20 ms tick on the offscreen platform, over the
// simulated logger on the simulated clock, which moves by the real time that
// passes between polls and while the program waits (time-outs cost nothing).
//
// A test is a list of steps that a 2 ms poll works through while the program
// runs: each waits for a condition, then acts as a user would, from an event
// of its own, so a box it opens runs its loop there and the poll goes on.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "platform/qt_window/zorp_window.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

namespace {

struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
};

ZorpWindow* window() { return static_cast<ZorpWindow*>(main_window); }

// The innermost modal dialog if it has this title.
template <typename Dialog = QMessageBox>
Dialog* open_box(const char* title)
{
    auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    return box && box->isVisible() && box->windowTitle() == QLatin1String(title) ? box : nullptr;
}

// Waits for the box with this title, text and icon, then presses button.
Step answer(const char* title, const char* text, QMessageBox::Icon icon, QMessageBox::StandardButton button)
{
    return {[=] {
                QMessageBox* box = open_box(title);
                return box && box->text() == QLatin1String(text) && box->icon() == icon;
            },
            [=] {
                if (QMessageBox* box = open_box(title)) QTest::mouseClick(box->button(button), Qt::LeftButton);
            }};
}

using Button = QMessageBox::StandardButton;
Step download_done(Button b) { return answer("Download o.k.", "Exit application ?", QMessageBox::Information, b); }
Step exit_question(Button b) { return answer("ZORP download utility", "Exit application ?", QMessageBox::Warning, b); }

// The About box, when it is the innermost dialog and shows the version.
QDialog* about_box()
{
    QDialog* box = open_box<QDialog>("About ZorpLoad");
    for (QLabel* label : box ? box->findChildren<QLabel*>() : QList<QLabel*>())
        if (label->text() == QLatin1String("ZorpLoad, Version 1.01")) return box;
    return nullptr;
}

bool nothing_open() { return QApplication::activeModalWidget() == nullptr; }

constexpr char ERASE[] = "Erase GPS Log";

void choose(const char* menu_item)
{
    for (QAction* action : window()->findChildren<QAction*>())
        if (action->text() == QLatin1String(menu_item)) return action->trigger();
    ADD_FAILURE() << "no menu item " << menu_item;
}

bool reading_items() { return seq_state == SEQ_READ_TRACK && sim_stats.item_replies_sent > 5; }

// Waits until ready() holds and does nothing: to watch what is open.
Step see(std::function<bool()> ready) { return {std::move(ready), [] {}}; }

// Ready once the download has moved on by ten items after the step before:
// ticks go on behind whatever is open then.
Step download_moves_on()
{
    auto mark = std::make_shared<int64_t>(-1);
    return see([=] {
        if (*mark < 0) *mark = sim_stats.item_replies_sent;
        return sim_stats.item_replies_sent > *mark + 10;
    });
}

// Alt with key, pressed on the main window once it is the active one.
std::vector<Step> press_alt(Qt::Key key)
{
    return {{reading_items, [] { window()->activateWindow(); }},
            {[] { return QApplication::activeWindow() == window(); },
             [key] { QTest::keyClick(window(), key, Qt::AltModifier); }}};
}

// Rows holding ink (clearly darker than the background) between x0 and x1.
std::vector<int> inked_rows(const QImage& image, int x0, int x1)
{
    const int background = qGray(image.pixel(image.width() - 1, image.height() - 1));
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x < x1; ++x)
            if (qGray(image.pixel(x, y)) < background - 80) {
                rows.push_back(y);
                break;
            }
    return rows;
}

// The client area's pixels as last painted, not a fresh rendering.
QImage on_screen()
{
    const QRect area(window()->canvas()->mapTo(window(), QPoint(0, 0)), window()->canvas()->size());
    QPixmap shown = window()->screen()->grabWindow(window()->winId(), area.x(), area.y(), area.width(), area.height());
    return shown.toImage().convertToFormat(QImage::Format_RGB32);
}

bool line_shown(int line)
{
    const QImage image = on_screen();
    const QImage band = image.copy(0, LOG_TOP + LOG_LINE_STEP * line, image.width(), LOG_LINE_STEP);
    return !band.isNull() && !inked_rows(band, 0, band.width()).empty();
}

constexpr int ITEMS_PER_TRACK = 60;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        sim_ResetFiles();
        sim_SetProgramPath(temp.path("zorpload").c_str());
        sim_AddTracks(2, 1, ITEMS_PER_TRACK, 7);
    }

    // Runs the program through the steps; its exit code, or -1 when the
    // steps did not all happen within 30 s.
    int run(std::vector<Step> steps)
    {
        size_t next = 0;
        QTimer poll, watchdog;
        QElapsedTimer real_time;
        qint64 real_us = 0;
        real_time.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const qint64 now_us = real_time.nsecsElapsed() / 1000;
            sim_AdvanceUs(static_cast<uint64_t>(now_us - real_us));
            real_us = now_us;
            if (next < steps.size() && steps[next].ready()) QTimer::singleShot(0, &poll, steps[next++].act);
        });
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        poll.start(2);
        watchdog.start(30000);
        const int exit_code = qtwindow_Run();
        EXPECT_EQ(next, steps.size()) << "stuck before step " << next;
        EXPECT_EQ(usb_handle, nullptr);
        EXPECT_FALSE(sim_AdapterOpen());
        return exit_code;
    }

    // The ".txt" files written, each checked to hold one sentence per item.
    int track_files() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(temp.dir)) {
            if (entry.path().extension() != ".txt") continue;
            const std::string text = file_Contents(entry.path());
            EXPECT_EQ(std::count(text.begin(), text.end(), '$'), ITEMS_PER_TRACK) << entry.path();
            ++count;
        }
        return count;
    }

    TempDir temp;
};

TEST_F(WindowTest, FullDownloadThenTheWindowShowsLogoAndLinesAndClosesWithoutAQuestion)
{
    sim_settings.faults.lose_item_reply_ppm = 30000;
    QImage image;
    int lines = 0;
    EXPECT_EQ(run({download_done(QMessageBox::No),
                   {nothing_open,
                    [&] {
                        log_AddLine("\r\n FT_SetBaudRate Failed");
                        lines = log_LastUsedLine() + 1;
                    }},
                   {[&] { return line_shown(lines - 1); },
                    [&] {
                        image = on_screen();
                        window()->close();
                    }}}),
              0);
    EXPECT_EQ(track_files(), 2);
    EXPECT_STREQ(status_log[lines - 2], "ZORP read done. Data saved.");
    EXPECT_GT(sim_stats.item_replies_lost, 0u);

    const QImage logo = QImage(QStringLiteral(":/logo.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(logo.size(), QSize(160, 46));
    EXPECT_EQ(image.copy(LOGO_X, LOGO_Y, 160, 46), logo);
    // Below the logo, ink only in the bands of the lines in use; the last
    // one, which begins with CR LF, stays on its own line.
    int last_inked_line = -1;
    for (int y : inked_rows(image, 0, image.width())) {
        if (y < LOGO_Y + logo.height()) continue;
        ASSERT_GE(y, LOG_TOP) << "ink between the logo and the first line";
        last_inked_line = (y - LOG_TOP) / LOG_LINE_STEP;
        ASSERT_LT(last_inked_line, lines) << "ink below the last line, at y = " << y;
    }
    EXPECT_EQ(last_inked_line, lines - 1);
    // Lines begin at x = 5: nothing left of it, ink just right of it.
    EXPECT_TRUE(inked_rows(image.copy(0, LOG_TOP, LOG_X, image.height() - LOG_TOP), 0, LOG_X).empty());
    EXPECT_FALSE(inked_rows(image.copy(0, LOG_TOP, LOG_X + 3, LOG_LINE_STEP), LOG_X, LOG_X + 3).empty());
}

// Exit asks during a download and No keeps it running; the close box asks
// too and Yes ends the program with code 0 before the download is done.
TEST_F(WindowTest, ExitAndCloseDuringADownloadAskAndLeaveOnlyAfterYes)
{
    const Step question = exit_question(QMessageBox::No);
    EXPECT_EQ(run({{reading_items, [] { choose("E&xit"); }},
                   see(question.ready),
                   download_moves_on(),
                   question,
                   {reading_items, [] { window()->close(); }},
                   exit_question(QMessageBox::Yes)}),
              0);
    EXPECT_LT(seq_state, SEQ_ERROR_STATES);
    EXPECT_LT(track_files(), 2);
}

TEST_F(WindowTest, AltQuestionMarkAndAltSlashOpenTheAboutBoxWhileTheDownloadGoesOn)
{
    std::vector<Step> steps = press_alt(Qt::Key_Question);
    steps.push_back(see(about_box));
    steps.push_back(download_moves_on());
    steps.push_back({about_box, [] { about_box()->findChild<QPushButton*>()->click(); }});
    for (const Step& step : press_alt(Qt::Key_Slash)) steps.push_back(step);
    steps.push_back({about_box, [] { QTest::keyClick(about_box(), Qt::Key_Escape); }});
    steps.push_back(download_done(QMessageBox::Yes));
    EXPECT_EQ(run(steps), 0);
}

TEST_F(WindowTest, EraseIsRefusedDuringADownloadThenDoneAndRetriedWhenIdle)
{
    const Step confirm = answer(ERASE, "Do you want erase ZORP memory?", QMessageBox::Warning, QMessageBox::Yes);
    const Step done = answer(ERASE, "GPS erase done", QMessageBox::Information, QMessageBox::Ok);
    EXPECT_EQ(run({{reading_items, [] { choose(ERASE); }},
                   answer(ERASE, "Unable erase now, try later please.", QMessageBox::Critical, QMessageBox::Ok),
                   download_done(QMessageBox::No),
                   {nothing_open, [] { choose(ERASE); }},
                   confirm,
                   done,
                   {nothing_open,
                    [] {
                        usb_SetBaud(BAUD_FAST);  // as a failed download leaves it
                        choose(ERASE);
                    }},
                   confirm,
                   done,
                   {nothing_open, [] { choose("E&xit"); }}}),
              0);
    EXPECT_EQ(sim_stats.erases, 2u);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_EQ(track_files(), 2);
}

TEST_F(WindowTest, AdapterErrorLineShowsBehindItsBoxAndRetryFindsThePluggedAdapter)
{
    sim_settings.adapter.present = false;
    EXPECT_EQ(run({see([] {
                       QMessageBox* box = open_box("Error");
                       return box && box->text().startsWith(QLatin1String("USB adapter Error! (rv=")) &&
                              box->icon() == QMessageBox::Critical && box->button(QMessageBox::Cancel);
                   }),
                   {[] { return line_shown(0); },
                    [] {
                        sim_settings.adapter.present = true;
                        QTest::mouseClick(open_box("Error")->button(QMessageBox::Retry), Qt::LeftButton);
                    }},
                   download_done(QMessageBox::Yes)}),
              0);
    EXPECT_STREQ(status_log[0], "Error - USB adapter not found");
    EXPECT_STREQ(status_log[1], "USB adapter check     ... o.k.");
    EXPECT_EQ(track_files(), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");  // never a display: these run anywhere
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
