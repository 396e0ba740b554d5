// Download sequencer: one state of the download per timer tick, from the
// adapter check to the exit question.
//
// A tick ends in one of three ways: it stays (the next tick repeats the
// state), it sets a new state, or it advances: working states move on to
// the next one, while an error state set during the tick stays in place.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "download/shell_calls.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "seams/window_services.h"
#include "shell/status_log.h"

int32_t seq_state;
int32_t track_index;
int32_t progress_countdown;
int32_t tracks_unsaved;

constexpr int32_t PROGRESS_EVERY_TICKS = 20;

// Failed probes of this run; every second one is made at the fast speed,
// unless the adapter has refused that speed once (it is then broken or
// gone, and would only fill the log with the same line).
static uint32_t probes_failed;
static bool fast_probe_refused;

static void advance()
{
    if (seq_state < SEQ_ERROR_STATES) ++seq_state;
}

// Judges a command result: false while the command has not finished (the
// state stays and the next tick repeats it), true once it has, with the
// error state set when it failed. Since advance() leaves an error state in
// place, a finished command can always be followed by advance().
static bool command_Finished(int result)
{
    if (result != 0 && result <= 10) return false;
    if (result > 10) seq_state = SEQ_READ_ERROR;
    return true;
}

static void show_Progress(uint32_t percent)
{
    char text[16];
    snprintf(text, sizeof text, " (%3u%%)", percent);
    log_ReplaceTail(text);
}

static uint32_t track_Percent()
{
    if (first_MSG_cnt == 0) return 0;
    return 100 - count_Missing() * 100 / first_MSG_cnt;
}

static void check_Adapter(WindowHandle window)
{
    int result = usb_Open();
    if (result == USB_OPEN_OK) {
        log_AddLine("USB adapter check     ... o.k.");
        advance();
        return;
    }
    // Ticks that arrive while the box is open must find nothing to do.
    seq_state = SEQ_IDLE;
    // A run that waits for the adapter unattended shows one waiting line
    // rather than a line per look.
    if (!unattended_AdapterWaitGoesOn()) {
        log_AddLine("Error - USB adapter not found");
        usb_LogCause();
    }
    char text[64];
    snprintf(text, sizeof text, "USB adapter Error! (rv=%d)", result);
    int answer = wnd_MessageBox(window, text, "Error", ICON_ERROR, BUTTONS_RETRY_CANCEL);
    seq_state = answer == ANSWER_RETRY ? SEQ_ADAPTER : SEQ_ASK_EXIT_ERROR;
}

// Switches the adapter for the fast probe. A refusal (the adapter broken or
// gone) ends the fast probing for this run, so that its log line comes once.
static bool probe_SetBaud(uint32_t baud)
{
    if (usb_handle == nullptr || usb_SetBaud(baud) == USB_BAUD_SET) return true;
    fast_probe_refused = true;
    return false;
}

// A run that failed mid-track (a pulled adapter, a silent line) leaves the
// logger at the fast speed, where a probe at the base speed cannot reach it.
// So every second probe is made at the fast speed, and a logger found there
// is told the base speed once, without retries, before the download goes on
// as usual: a search tick stays short, and if the logger did not hear, the
// next ticks find it again. The adapter is at the base speed again after
// every probe tick.
static void probe_Logger()
{
    const bool fast = probes_failed % 2 == 1 && !fast_probe_refused;
    if (fast && !probe_SetBaud(BAUD_FAST)) return;
    int found = GPS_Probe();
    if (fast) {
        if (found == CMD_OK) found = GPS_SndData06Once(GPS_SpeedDivisor(BAUD_BASE));
        probe_SetBaud(BAUD_BASE);
    }
    if (found != CMD_OK) {
        ++probes_failed;
        return;
    }
    log_AppendLast(" o.k.");
    advance();
}

static void read_Summary()
{
    if (!command_Finished(GPS_GetHeads(0))) return;
    // The first track's number comes from here: the full listing that
    // follows overwrites this summary.
    int heads = check_Heads();
    if (heads == HEADS_NO_RECORDS) {
        log_AddLine("No records on ZORP.");
        seq_state = SEQ_ASK_EXIT_DONE;
        return;
    }
    if (heads == HEADS_NOT_ONE) seq_state = SEQ_READ_ERROR;
    advance();
}

static void read_Directory()
{
    int result = GPS_GetHeads(255);
    if (result == HEADS_SUMMARY_AGAIN) {
        seq_state = SEQ_DIR_SUMMARY;
        return;
    }
    if (!command_Finished(result)) return;
    log_AddLinef("Total track count: %d", head_count - 1);
    if (heads_cut) {
        // Those tracks stay on the logger unread: the run must not end as if
        // everything were saved.
        log_AddLinef("More than %d tracks on ZORP: the others are not read.", head_count - 1);
        ++tracks_unsaved;
    }
    log_AddLinef("Output directory: %s", shell_OutputDir());
    track_index = 0;
    advance();
}

static void next_Track()
{
    if (track_index >= head_count - 1) {
        seq_state = SEQ_FINISH;
        return;
    }
    int opened = open_TrackFile();
    // A track whose record cannot name a file, and the items of a track
    // beyond the store, stay on the logger, in this run and in every later
    // one: the run must not end as if everything were saved, or an erase
    // would take them.
    if (opened == TRACK_INVALID || head_ItemCount(head_table[track_index]) > ITEMS128B_MAX) ++tracks_unsaved;
    if (opened != TRACK_TO_READ) {
        track_skipped[track_index] = opened == TRACK_EXISTS;
        ++track_index;
        return;
    }
    items_Clear();
    progress_countdown = 0;
    advance();
}

static void read_TrackStep()
{
    if (progress_countdown != 0) {
        --progress_countdown;
    } else {
        progress_countdown = PROGRESS_EVERY_TICKS;
        show_Progress(track_Percent());
    }

    if (!command_Finished(read_Track())) return;

    // Beyond one item in a hundred the whole range is cheaper to ask again
    // than item by item; the items held so far stay.
    uint32_t missing = count_Missing();
    if (missing > first_MSG_cnt / 100) return;
    int gap = missing != 0 ? fill_Gaps() : GAP_STORED;
    if (gap != GAP_STORED && gap != GAP_HELD) GPS_LineSpeedUp();
    advance();
}

static void fill_TrackGaps()
{
    if (count_Missing() == 0) {
        advance();
        return;
    }
    // A held copy is asked for again on the next tick.
    int gap = fill_Gaps();
    if (gap == GAP_STORED || gap == GAP_HELD) return;
    if (GPS_LineSpeedUp() > 10) seq_state = SEQ_READ_ERROR;
}

static void save_Track()
{
    show_Progress(100);
    const int saved = save_Trace();
    if (saved == SAVE_WRITE_ERROR) ++tracks_unsaved;
    // The track is saved whatever becomes of its GPX; a failed GPX has its
    // own line.
    if (saved == SAVE_WRITTEN && gpx_enabled) gpx_WriteTrack(track_path);
    ++track_index;
    seq_state = SEQ_NEXT_TRACK;
}

static void finish()
{
    GPS_SetLineSpeed(BAUD_BASE);
    if (tracks_unsaved == 0) {
        log_AddLine("ZORP read done. Data saved.");
        seq_state = SEQ_ASK_EXIT_DONE;
    } else {
        log_AddLine("ZORP read done. Some tracks were not saved.");
        seq_state = SEQ_ASK_EXIT_ERROR;
    }
}

static void ask_Exit(WindowHandle window, const char* title, int icon)
{
    seq_state = SEQ_IDLE;
    if (wnd_MessageBox(window, EXIT_QUESTION, title, icon, BUTTONS_YES_NO) == ANSWER_YES) shell_Leave(window);
}

void sequencer_Tick(WindowHandle window)
{
    switch (seq_state) {
    case SEQ_ADAPTER: check_Adapter(window); break;
    case SEQ_SEARCH:
        log_AddLine("Connect ZORP, searching ...");
        advance();
        break;
    case SEQ_PROBE: probe_Logger(); break;
    case SEQ_IDENTIFY:
        if (!command_Finished(GPS_SndData02())) break;
        // Even a failed request shows what rx_frame holds.
        GPS_ShowIdentity();
        advance();
        break;
    case SEQ_CMD01:
        if (command_Finished(GPS_SndData01())) advance();
        break;
    case SEQ_CMD03:
        if (command_Finished(GPS_SndData03())) advance();
        break;
    case SEQ_DIR_SUMMARY: read_Summary(); break;
    case SEQ_DIR_READ: read_Directory(); break;
    case SEQ_NEXT_TRACK: next_Track(); break;
    case SEQ_FAST_LINE:
        if (command_Finished(GPS_LineSpeedUp())) advance();
        break;
    case SEQ_READ_TRACK: read_TrackStep(); break;
    case SEQ_FILL_GAPS: fill_TrackGaps(); break;
    case SEQ_SAVE_TRACK: save_Track(); break;
    case SEQ_FINISH: finish(); break;
    case SEQ_READ_ERROR:
        log_AddLine("ZORP read error! (Try again, please)");
        seq_state = SEQ_ASK_EXIT_ERROR;
        break;
    case SEQ_ASK_EXIT_ERROR: ask_Exit(window, "Download error", ICON_WARNING); break;
    case SEQ_ASK_EXIT_DONE: ask_Exit(window, "Download o.k.", ICON_INFORMATION); break;
    default: seq_state = SEQ_IDLE; break;
    }
}

void sequencer_FailAtStart()
{
    seq_state = SEQ_ASK_EXIT_ERROR;
}

bool sequencer_LineOpen()
{
    return seq_state == SEQ_PROBE || (seq_state >= SEQ_FAST_LINE && seq_state <= SEQ_SAVE_TRACK);
}

bool sequencer_RanThrough()
{
    return head_count > 0 && track_index >= head_count - 1;
}

bool sequencer_Idle()
{
    return seq_state == SEQ_IDLE;
}

int32_t sequencer_TracksUnsaved()
{
    return tracks_unsaved;
}

void download_Reset()
{
    seq_state = SEQ_ADAPTER;
    track_index = 0;
    progress_countdown = 0;
    tracks_unsaved = 0;
    probes_failed = 0;
    fast_probe_refused = false;
    memset(head_table, 0, sizeof head_table);
    head_count = 0;
    heads_reads_made = 0;
    heads_doubted = false;
    heads_confirm_always = false;
    heads_cut = false;
    first_track_id = 0;
    items_Clear();  // the store's bytes count only where item_len says
    first_MSG_cnt = 0;
    range_tail = 0;
    read_phase = 0;
    track_name[0] = '\0';
    track_path[0] = '\0';
    memset(track_skipped, 0, sizeof track_skipped);
    gpx_enabled = false;
}
