// Answers for a run without a user: the adapter is looked for again for as
// long as the user allowed, every exit question is a Yes, and how the
// download ended is kept for the exit code.
#include <cstring>

#include "download/download.h"
#include "seams/base_services.h"
#include "shell/shell.h"

static uint32_t wait_start;
static uint32_t wait_ms;
static UnattendedConfirm confirm_question;
static bool adapter_missing;
static int outcome;

void unattended_Start(uint32_t adapter_wait_ms, UnattendedConfirm confirm)
{
    wait_start = sys_TickCount();
    wait_ms = adapter_wait_ms;
    confirm_question = confirm;
    adapter_missing = false;
    outcome = OUTCOME_DOWNLOAD_ERROR;
}

// The sequencer has run through every track (rather than stopping at a
// failure) once track_index has passed the last one.
static bool download_RanThrough()
{
    return head_count > 0 && track_index >= head_count - 1;
}

static int adapter_Answer()
{
    uint32_t waited = sys_TickCount() - wait_start;
    if (waited >= wait_ms) {
        adapter_missing = true;
        return ANSWER_CANCEL;
    }
    uint32_t left = wait_ms - waited;
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
    else if (tracks_unsaved > 0 && download_RanThrough())
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
