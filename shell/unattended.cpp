// Answers for a run without a user: the adapter is looked for again for as
// long as the user allowed, every exit question is a Yes, and how the
// download ended is kept for the exit code.
#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

static uint32_t wait_start;
static uint32_t wait_ms;
static UnattendedConfirm confirm_question;
static bool adapter_missing;
static bool adapter_looked_for_again;  // the answer to the adapter's box, decided with the look
static int outcome;

// The one line that says the run is waiting, its time left updated in
// place; empty until shown. The tail has the width of the whole wait's
// seconds, so that log_ReplaceTail always overwrites it whole.
static char wait_line[LOG_LINE_SIZE];
static int wait_digits;

void unattended_Start(uint32_t adapter_wait_ms, UnattendedConfirm confirm)
{
    wait_start = sys_TickCount();
    wait_ms = adapter_wait_ms;
    confirm_question = confirm;
    adapter_missing = false;
    adapter_looked_for_again = false;
    outcome = OUTCOME_DOWNLOAD_ERROR;
    wait_line[0] = '\0';
    wait_digits = snprintf(nullptr, 0, "%u", (wait_ms + 999) / 1000);
}

// Shows the waiting line with left_ms to go, as a new line the first time
// (or when another line has come after it), else in place.
static void show_Waiting(uint32_t left_ms)
{
    char tail[32];
    snprintf(tail, sizeof tail, " ... %*u s left", wait_digits, (left_ms + 999) / 1000);
    const char* last = status_log[log_LastUsedLine()];
    if (wait_line[0] != '\0' && strcmp(last, wait_line) == 0) {
        log_ReplaceTail(tail);
    } else {
        log_AddLinef("Waiting up to %u s for the USB adapter%s", (wait_ms + 999) / 1000, tail);
    }
    snprintf(wait_line, sizeof wait_line, "%s", status_log[log_LastUsedLine()]);
}

bool unattended_AdapterWaitGoesOn()
{
    const uint32_t waited = sys_TickCount() - wait_start;
    adapter_looked_for_again = waited < wait_ms;
    // The line's last word, before the specified failure lines follow it.
    if (!adapter_looked_for_again && wait_line[0] != '\0') show_Waiting(0);
    return adapter_looked_for_again;
}

static int adapter_Answer()
{
    if (!adapter_looked_for_again) {
        adapter_missing = true;
        return ANSWER_CANCEL;
    }
    adapter_looked_for_again = false;
    const uint32_t waited = sys_TickCount() - wait_start;
    const uint32_t left = waited < wait_ms ? wait_ms - waited : 0;
    show_Waiting(left);
    sys_Sleep(left < ADAPTER_RETRY_MS ? left : ADAPTER_RETRY_MS);
    return ANSWER_RETRY;
}

static int exit_Answer(int icon)
{
    if (icon == ICON_INFORMATION)
        outcome = OUTCOME_SAVED;
    else if (output_dir_busy)
        outcome = OUTCOME_FOLDER_BUSY;
    else if (adapter_missing)
        outcome = OUTCOME_NO_ADAPTER;
    else if (sequencer_TracksUnsaved() > 0 && sequencer_RanThrough())
        outcome = OUTCOME_NOT_SAVED;
    else
        outcome = OUTCOME_DOWNLOAD_ERROR;
    return ANSWER_YES;
}

int unattended_Answer(const char* text, int icon, int buttons)
{
    switch (buttons) {
    case BUTTONS_RETRY_CANCEL: return adapter_Answer();
    case BUTTONS_YES_NO:
        if (strcmp(text, EXIT_QUESTION) == 0) return exit_Answer(icon);
        return confirm_question != nullptr && confirm_question(text) ? ANSWER_YES : ANSWER_NO;
    default:
        if (icon == ICON_ERROR) outcome = OUTCOME_DOWNLOAD_ERROR;
        return ANSWER_OK;
    }
}

int unattended_Outcome()
{
    return outcome;
}
