// Device link: the one USB serial adapter, the two frame buffers, the
// request/reply exchange with its echo handling and time-outs, and the
// logger's commands with the switching of the line speed.
//
// Everything is global, fixed in size and lives for the whole run; nothing is
// allocated. The adapter is reached only through the D2XX seam and time only
// through the base-services seam, so tests run the link against a simulated
// FT232R on a simulated clock.
//
// Results read by one rule:
//   - exchange results 0..5: 0 = a valid reply frame is in rx_frame;
//   - command results: 0 = success, 1..10 = not finished, repeat on the next
//     tick, above 10 = failure (201, 202, 203, 206, 213, 301, 999; the
//     adapter's 101 and 102).
// No exchange or command writes to the status log on failure; only the
// adapter logs refused line settings.
//
// Sections: frames and CRC, adapter, exchange, commands and line speed.
#pragma once

#include <cstdint>

#include "seams/d2xx.h"

// ---------------------------------------------------------------- frames --

constexpr uint32_t FRAME_BUFFER_SIZE = 520;
constexpr uint8_t FRAME_START_REQUEST = 0x3E;  // '>'
constexpr uint8_t FRAME_START_REPLY = 0x3C;    // '<'
constexpr uint8_t FRAME_FIXED_BYTE = 0x01;

// The request being built or last sent; tx_len 0 makes the next exchange
// receive only.
extern uint8_t tx_frame[FRAME_BUFFER_SIZE];
extern uint32_t tx_len;

// The bytes of the current or last exchange; after a successful exchange the
// reply frame from offset 0, until the next exchange overwrites it.
extern uint8_t rx_frame[FRAME_BUFFER_SIZE];
extern uint32_t rx_count;

// CRC-16/KERMIT (reflected 0x1021, initial 0, no final XOR), table-free.
// Over a whole correct frame, CRC bytes included, it gives 0.
uint16_t GPS_Crc16(const uint8_t* bytes, uint32_t count);

// The append rule of both buffers: store at index count and count up while
// count is below 520; past that the byte is dropped.
void tx_Append(uint8_t byte);
void rx_Append(uint8_t byte);

// Appends a 16-bit number to tx_frame, low byte first, by the append rule.
void tx_AppendU16(uint16_t value);

// The little-endian unsigned number of size bytes (1..4) at bytes.
uint32_t read_Uint(const uint8_t* bytes, int size);

// Starts a request frame in tx_frame: start byte, 0x01, length, command;
// tx_len becomes 4. Parameters follow by tx_Append, then GPS_AppendCrc.
void GPS_BeginRequest(uint8_t length, uint8_t command);

// Appends the CRC of the first tx_len bytes of tx_frame, low byte first.
void GPS_AppendCrc();

enum FrameCheck : int {
    FRAME_VALID = 0,
    FRAME_TOO_SHORT = 1,   // fewer than 5 bytes
    FRAME_BAD_START = 2,   // byte 0 is not 0x3C
    FRAME_BAD_LENGTH = 3,  // rx_count differs from byte 2
    FRAME_BAD_CRC = 4,
};

// Checks rx_frame / rx_count as a reply frame; a FrameCheck value.
int GPS_CheckFrame();

// --------------------------------------------------------------- adapter --

constexpr uint32_t RX_CHUNK_SIZE = 5200;
constexpr uint32_t BAUD_BASE = 38400;
constexpr uint32_t BAUD_FAST = 250000;
constexpr const char* ADAPTER_DESCRIPTION = "FT232R USB UART";

enum UsbOpenResult : int {
    USB_OPEN_OK = 0,
    USB_NO_DEVICE_LIST = 101,
    USB_NOT_OPENED = 102,
};

// The open adapter; null when none is open.
extern FT_HANDLE usb_handle;

// The bytes of the last driver read, handed out one at a time.
// rx_chunk_pos + rx_chunk_left is the count that the last refill delivered.
extern uint8_t rx_chunk[RX_CHUNK_SIZE];
extern uint32_t rx_chunk_left;
extern uint32_t rx_chunk_pos;

// Closes any open adapter, then opens the one described "FT232R USB UART" at
// 38400 baud 8N1 without flow control. A refused setting is logged and does
// not fail the open. The driver's device list is fetched only when it fits a
// fixed table, and never consulted. A UsbOpenResult.
int usb_Open();

// 1 and the next received byte in *byte, or 0 when none is waiting now.
// Never waits; with no adapter open it makes no driver call. A failed status
// query or read (a pulled adapter) reads as no byte.
int usb_GetByte(uint8_t* byte);

// The bytes waiting in the driver's receive queue, not yet handed out by
// usb_GetByte's chunk. 0 with no adapter open (no driver call then) and when
// the status query fails (a pulled adapter, told by the next read, so that a
// poll never adds a line between a line and its progress).
uint32_t usb_Queued();

enum UsbBaudResult : int {
    USB_BAUD_SET = 0,
    USB_BAUD_REFUSED = 2,  // and a log line
};

// Sets the adapter's baud rate; a UsbBaudResult. Only for an open adapter.
int usb_SetBaud(uint32_t baud);

// usb_SetBaud when an adapter is open; always 0.
int usb_SetBaudIfOpen(uint32_t baud);

// Closes the adapter if one is open; usb_handle is null afterwards.
void usb_Close();

// Why the adapter cannot be used, told to the user as one status line of
// what is wrong and what to do (the driver's AdapterCause, seams/d2xx.h).
// The loss of an open adapter (CAUSE_GONE) is told by the adapter's own
// calls as they fail, once a run.
//
// Adds the line of the driver's last cause (d2xx_LastCause); none when the
// driver did not say why. For a failed usb_Open (101 or 102).
void usb_LogCause();

// Whether text is one of the cause lines.
bool usb_IsCauseLine(const char* text);

// Set once the adapter's loss has been told this run: every later failed
// call on its handle would tell it again.
extern bool adapter_gone_told;

// -------------------------------------------------------------- exchange --

enum ExchangeResult : int {
    EXCHANGE_OK = 0,              // a valid reply frame is in rx_frame
    EXCHANGE_NO_ECHO = 1,         // echo not seen within 100 ms, then idle
    EXCHANGE_IDLE = 2,            // echo seen (or receive only), then idle
    EXCHANGE_OVERRUN = 3,         // more bytes than the frame's length byte
    EXCHANGE_ECHO_TIMEOUT = 4,    // total time ran out looking for the echo
    EXCHANGE_REPLY_TIMEOUT = 5,   // total time ran out collecting the reply
};

constexpr uint32_t ECHO_SEARCH_MS = 100;
constexpr uint32_t EXCHANGE_TOTAL_MS = 2000;
constexpr uint32_t RETRY_ATTEMPTS = 5;
constexpr uint32_t RETRY_PAUSE_MS = 20;

// Sends tx_frame (unless tx_len is 0), skips its echo and collects one reply
// frame into rx_frame within the idle gap and the total time-out. Leaves
// tx_frame and tx_len unchanged. An ExchangeResult.
int GPS_Transact(uint32_t idle_gap_ms, uint32_t total_timeout_ms);

// Up to five GPS_Transact with a 2000 ms total each, 20 ms apart (also after
// the fifth). 0 as soon as one gives 0, else 1.
int GPS_TransactRetry(uint32_t idle_gap_ms);

// ---------------------------------------------------- commands and speed --

enum CommandResult : int {
    CMD_OK = 0,
    CMD_NOT_YET = 1,
    CMD_FAILED_01 = 201,
    CMD_FAILED_02 = 202,
    CMD_FAILED_03 = 203,
    CMD_FAILED_06 = 206,
    CMD_FAILED_13 = 213,
    CMD_FAILED_HEADS = 301,
    CMD_FAILED_LINE_SPEED = 999,
};

constexpr uint8_t SUBCMD_LINE_SPEED = 0x01;
constexpr uint8_t SUBCMD_ERASE = 0x02;
constexpr uint16_t ERASE_VALUE = 65025;  // 0xFE01

// One short probe (0x01 with 0xFF): 0 when the logger answered, else 1.
int GPS_Probe();

// Set-up commands, each retried: 0 or their failure code.
int GPS_SndData01();
int GPS_SndData02();  // identity; the reply stays in rx_frame
int GPS_SndData03();

// Logs "ZORP detected" and, unless the reply in rx_frame is 36 bytes long,
// appends the ID numbers and firmware version read from it.
void GPS_ShowIdentity();

// Command 0x06 with a sub-command and a 16-bit value, retried: 0 or 206.
int GPS_SndData06(uint8_t subcommand, uint16_t value);

// Command 0x06 sub-command 1 (line speed), one short exchange: 0 or 206.
int GPS_SndData06Once(uint16_t value);

// The logger's divisor for a baud rate: the bit time in 1/8 us, rounded
// half up, low 16 bits (250000 gives 32, 38400 gives 208; 0 gives 0).
uint16_t GPS_SpeedDivisor(uint32_t baud);

// Tells the logger the new speed (retried), then switches an open adapter to
// it whatever the logger answered: 0 or 206.
int GPS_SetLineSpeed(uint32_t baud);

// Brings logger and adapter to 250000 baud, falling back through 38400:
// 0 or 999 (the adapter is then left at 250000).
int GPS_LineSpeedUp();

// Returns every global of the link to its start value. Does not close an open
// adapter; for start-up and tests.
void link_Reset();
