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

int wnd_OpenFolder(const char*)
{
    return fake_window.open_result;
}

int wnd_ChooseFolder(WindowHandle, const char*, const char* start, char* folder, int size)
{
    snprintf(fake_window.folder_start, sizeof fake_window.folder_start, "%s", start);
    if (fake_window.folder_answer[0] == '\0') return 0;
    snprintf(folder, static_cast<size_t>(size), "%s", fake_window.folder_answer);
    return 1;
}

void wnd_SessionLogBox(WindowHandle) {}

FakeSetting fake_settings[FAKE_SETTINGS_MAX];

void fake_SettingsReset()
{
    memset(fake_settings, 0, sizeof fake_settings);
}

static FakeSetting* setting_Named(const char* name)
{
    for (FakeSetting& setting : fake_settings)
        if (strcmp(setting.name, name) == 0) return &setting;
    return nullptr;
}

int wnd_LoadSetting(const char* name, char* value, int size)
{
    const FakeSetting* setting = setting_Named(name);
    if (setting == nullptr || strlen(setting->value) >= static_cast<size_t>(size)) return 0;
    memcpy(value, setting->value, strlen(setting->value) + 1);
    return 1;
}

void wnd_SaveSetting(const char* name, const char* value)
{
    FakeSetting* setting = setting_Named(name);
    if (setting == nullptr) setting = setting_Named("");
    if (setting == nullptr) return;
    snprintf(setting->name, sizeof setting->name, "%s", name);
    snprintf(setting->value, sizeof setting->value, "%s", value);
}
