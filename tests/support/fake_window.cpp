#include "tests/support/fake_window.h"

#include <cstdio>
#include <cstring>

FakeWindow fake_window;

void fake_WindowReset()
{
    memset(&fake_window, 0, sizeof fake_window);
}

void fake_QueueAnswer(int answer)
{
    if (fake_window.answers_queued < FAKE_BOXES_MAX) fake_window.answers[fake_window.answers_queued++] = answer;
}

static int negative_answer(int buttons)
{
    switch (buttons) {
    case BUTTONS_RETRY_CANCEL: return ANSWER_CANCEL;
    case BUTTONS_YES_NO: return ANSWER_NO;
    default: return ANSWER_OK;
    }
}

int wnd_MessageBox(WindowHandle owner, const char* text, const char* title, int icon, int buttons)
{
    if (fake_window.while_box_open) fake_window.while_box_open(owner);

    int answer = fake_window.answers_used < fake_window.answers_queued
                     ? fake_window.answers[fake_window.answers_used++]
                     : negative_answer(buttons);
    if (fake_window.box_count < FAKE_BOXES_MAX) {
        FakeBox& box = fake_window.boxes[fake_window.box_count];
        snprintf(box.text, sizeof box.text, "%s", text);
        snprintf(box.title, sizeof box.title, "%s", title);
        box.icon = icon;
        box.buttons = buttons;
    }
    ++fake_window.box_count;
    return answer;
}

void wnd_AboutBox(WindowHandle owner)
{
    if (fake_window.while_box_open) fake_window.while_box_open(owner);
}

void wnd_StopTick(WindowHandle) {}

void wnd_Quit(int)
{
    ++fake_window.quit_calls;
}

void wnd_Redraw(WindowHandle) {}

void wnd_SetTitle(WindowHandle, const char* title)
{
    snprintf(fake_window.title, sizeof fake_window.title, "%s", title);
}
