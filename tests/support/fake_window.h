// A scripted window for tests: records every box the core opens, answers it
// from a queue the test fills (the negative answer of the box's button set
// when the queue is empty), and can run code while a box is open, as the
// real window's modal loop keeps delivering ticks.
#pragma once

#include "seams/window_services.h"

struct FakeBox {
    char text[260];
    char title[100];
    int icon;
    int buttons;
};

constexpr int FAKE_BOXES_MAX = 64;

struct FakeWindow {
    FakeBox boxes[FAKE_BOXES_MAX];
    int box_count;            // all boxes opened (only the first 64 are kept)
    int answers[FAKE_BOXES_MAX];
    int answers_queued;
    int answers_used;
    void (*while_box_open)(WindowHandle owner);  // e.g. run a few ticks
    int quit_calls;
    char title[400];  // the last title set
    int open_result;         // what opening a folder returns
    char folder_answer[260]; // the folder the folder dialog picks; "": cancelled
    char folder_start[260];  // where the last folder dialog started
};

// The remembered settings, kept across fake_WindowReset as a user's are
// across restarts; fake_SettingsReset forgets them.
constexpr int FAKE_SETTINGS_MAX = 8;
struct FakeSetting {
    char name[32];
    char value[260];
};
extern FakeSetting fake_settings[FAKE_SETTINGS_MAX];
void fake_SettingsReset();

extern FakeWindow fake_window;

void fake_WindowReset();

// The answer for the next box that finds the queue not yet used up.
void fake_QueueAnswer(int answer);
