/*
 * kilna_exports.h: the functions that kilna.exe exports by name for the
 * interface, which runs in the same process and reaches them through
 * GetProcAddress on the executable module (a foreign-function interface).
 *
 * Conventions shared by every export (docs/interface.md has the details):
 *  - Unmangled names, the platform's standard x64 calling convention.
 *    Nothing is ever reported through an exception.
 *  - The result is a Windows error code: 0 is success, anything else is a
 *    failure, and a failing platform call's own code is passed on unchanged.
 *    Common codes: 8 out of memory (and any other internal failure caught
 *    at the export boundary, except in the launching and proxy exports,
 *    which answer 1359 for it), 87 a required pointer is null or an
 *    argument is out of range.
 *  - [in] text: NUL-terminated UTF-16, borrowed for the call only.
 *  - [out] integers: required unless marked "may be null"; most exports store
 *    0 at entry, so a failed call leaves 0.
 *  - [out] strings (wchar_t**): null at entry; on success a NUL-terminated
 *    UTF-16 string allocated with CoTaskMemAlloc, which the caller releases
 *    with CoTaskMemFree.
 *  - [in,out] caller buffers (the DNS diagnostics): the caller allocates and
 *    frees; the JSON is copied without a NUL and only when it fits whole
 *    (122 otherwise, with *written left 0). A buffer of the
 *    KILNA_DNS_*_BUFFER_SIZE size below holds the longest document its export
 *    can write.
 *
 * C and C++, no Windows headers needed.
 */
#ifndef KILNA_KILNA_EXPORTS_H_
#define KILNA_KILNA_EXPORTS_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(__cplusplus)
/* wchar_t is a keyword only in C++. */
#include <wchar.h>
#endif

#if defined(_WIN32)
#define KILNA_CALL __stdcall /* the one x64 convention; kept for 32-bit readers */
#else
#define KILNA_CALL
#endif

#ifdef __cplusplus
#define KILNA_NOEXCEPT noexcept
extern "C" {
#else
#define KILNA_NOEXCEPT
#endif

/* ---- Kernel log queue: a bounded queue of native log lines. ------------- */

/* Queues one line while the queue is enabled; from any thread. level: [in]
 * UTF-8, null means "INFO", cut to 31 bytes. message: [in] UTF-8, null means
 * empty; 8192 bytes or more end in " [truncated]". A full queue (256 lines)
 * counts the line as dropped. */
void orv_kernel_log_callback(const char* level, const char* message) KILNA_NOEXCEPT;

/* enabled: non-zero switches the queue on. Switching it off empties it and
 * forgets the dropped count. */
void orv_kernel_log_enable(int32_t enabled) KILNA_NOEXCEPT;

/* Takes the oldest line into the caller's buffers (each cut to capacity - 1
 * bytes plus NUL; the line is consumed anyway). Once the queue is empty, a
 * pending drop count comes out as level "WARN", message "kernel log queue
 * full: dropped N messages". Returns 1 when something was written, 0 when
 * not (also for a null buffer or a capacity below 1). */
int32_t orv_kernel_log_pop(char* levelOut, int32_t levelCapacity, char* messageOut,
                           int32_t messageCapacity) KILNA_NOEXCEPT;

/* ---- Interactive user context. ------------------------------------------ */

/* Borrowed UTF-8 JSON (docs/schemas/user-context.schema.json) captured at
 * start-up, valid until exit; never free it. Null before the capture. */
const char* OrvGetUserContext(void) KILNA_NOEXCEPT;

/* Borrowed token handle of the interactive user, valid until exit; never
 * close it. Null before the capture. */
void* OrvGetInteractiveUserToken(void) KILNA_NOEXCEPT;

/* ---- Protected directories under ProgramData. ---------------------------- */

/* name: [in] 1-64 of a-z A-Z 0-9 - _. outPath: [out] string.
 * 0; 87; 123 bad name; 740 not elevated; 5 a path failed its ownership,
 * ACL or reparse-point check; 31 no GUID; 8; platform errors. */
uint32_t KILNA_CALL OrvCreateProtectedTemp(const wchar_t* name, wchar_t** outPath) KILNA_NOEXCEPT;

/* A fresh directory for one update run. Codes as OrvCreateProtectedTemp
 * (no 123). */
uint32_t KILNA_CALL OrvCreateProtectedUpdateTemp(wchar_t** outPath) KILNA_NOEXCEPT;

/* The interactive user's update cache, stable across runs. Codes as
 * OrvCreateProtectedUpdateTemp, and 1008 without the user's SID. */
uint32_t KILNA_CALL OrvGetProtectedUpdateCache(wchar_t** outPath) KILNA_NOEXCEPT;

/* ---- Launching programs. -------------------------------------------------- */

/* file: [in] required; parameters, directory: [in] may be null.
 * outProcessId: [out] 0 at entry, the new process id on success.
 * 0; 87; 759 started but no process handle; ShellExecuteExW's error (1223
 * when the user declines elevation); 1359 it failed without an error code. */
uint32_t KILNA_CALL OrvLaunchElevated(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                                      int32_t* outProcessId) KILNA_NOEXCEPT;

/* As OrvLaunchElevated, without asking for elevation, and then hands the
 * foreground to the program's main window for up to 10 seconds. */
uint32_t KILNA_CALL OrvLaunchInstalledApp(const wchar_t* file, const wchar_t* parameters,
                                          const wchar_t* directory, int32_t* outProcessId) KILNA_NOEXCEPT;

/* ---- The interactive user's WinINet proxy. ------------------------------- */
/* WinINet is loaded from the system folder on first use. "No WinINet" below:
 * 126 it could not be loaded, 127 it lacks a function; nothing is changed.
 * Every one but OrvReadUserProxy answers 1460 when another kilna.exe of the
 * user holds the proxy journal's lock for 10 seconds; nothing is changed. */

/* outJson: [out] string, docs/schemas/proxy.schema.json. Reads first: a read
 * error (126, 127 no WinINet) is returned even when outJson is null (and
 * outJson is untouched); then 87 for a null outJson, 1113 the text does not
 * convert to UTF-16, 8. */
uint32_t KILNA_CALL OrvReadUserProxy(wchar_t** outJson) KILNA_NOEXCEPT;

/* Points the proxy at 127.0.0.1:port, keeping the user's settings for a
 * restore. port: 1-65535, else 87. 1008 no user; 126, 127 no WinINet; 13 a
 * raw value over 1 MiB; WinINet and registry errors. */
uint32_t KILNA_CALL OrvSetUserProxy(uint32_t port) KILNA_NOEXCEPT;

/* Switches to a direct connection and forgets the kept settings; also when
 * the journal cannot be written, answering its error then.
 * 0; 1008; 126, 127 no WinINet; WinINet and registry errors. */
uint32_t KILNA_CALL OrvClearUserProxy(void) KILNA_NOEXCEPT;

/* Puts back the user's settings that OrvSetUserProxy kept, unless the user
 * has replaced them since (turning on a setup script or automatic detection
 * counts). outRestored: [out] may be null; 1 when the kept settings were
 * dealt with. 0 (also with nothing to restore); 1237 the settings changed
 * while being put back; 13 written but not read back as kept, or a raw value
 * over 1 MiB; 1008; 126, 127 no WinINet; WinINet and registry errors (the
 * kept settings stay). */
uint32_t KILNA_CALL OrvRestoreUserProxy(int32_t* outRestored) KILNA_NOEXCEPT;

/* outConflict: [out] bit 0 manual proxy on (not a loopback of this program),
 * bit 1 auto-config URL on; written only on success. 0; 87; 126, 127 no
 * WinINet; WinINet errors. */
uint32_t KILNA_CALL OrvReadEffectiveUserProxyConflict(int32_t* outConflict) KILNA_NOEXCEPT;

/* Turns the user's proxy and auto-config off and opens a ticket when it
 * changed something. outTicket, outRestoreResult: [out] required, 0 at entry;
 * outRestoreResult is the rollback's code after a failure.
 * 0 (ticket 0 when already clean); 87; 170 a cleanup is open; 1237 the
 * settings changed under the operation; 13 written but not read back;
 * 1008; 126, 127 no WinINet; WinINet and registry errors. */
uint32_t KILNA_CALL OrvBeginUserProxyCleanup(int32_t* outTicket, int32_t* outRestoreResult) KILNA_NOEXCEPT;

/* ticket: the open ticket, or 0 to check without one. outClean: [out]
 * required, written only on success (1 clean, 0 not). 0; 87 (also for a
 * ticket that is not the open one); read errors (126, 127 no WinINet). */
uint32_t KILNA_CALL OrvVerifyUserProxyCleanup(int32_t ticket, int32_t* outClean) KILNA_NOEXCEPT;

/* Closes the ticket; restore non-zero puts the user's settings back when
 * nobody changed them since. ticket 0: 0 at once. 0; 87 not the open ticket;
 * 1237; 13; 1008; 126, 127 no WinINet; WinINet and registry errors. */
uint32_t KILNA_CALL OrvFinishUserProxyCleanup(int32_t ticket, int32_t restore) KILNA_NOEXCEPT;

/* ---- DNS queries that always reach the wire. ----------------------------- */

/* name: [in] host name. family: 4 or 6. addresses: [out] caller array of
 * capacity elements of 4 (family 4) or 16 (family 6) bytes, network order.
 * capacity: 1-8. count: [out] required, 0 at entry, elements written.
 * 0 (count may be 0); 87; 127 on Windows 7 (no DnsQueryEx in its DNS client);
 * the DNS client's status (9003 no such name, ...). */
uint32_t KILNA_CALL OrvQuerySystemDns(const wchar_t* name, int32_t family, uint8_t* addresses, uint32_t capacity,
                                      uint32_t* count) KILNA_NOEXCEPT;

/* As OrvQuerySystemDns through one interface; interfaceIndex 0 gives 87. */
uint32_t KILNA_CALL OrvQueryPhysicalDns(const wchar_t* name, uint32_t interfaceIndex, int32_t family,
                                        uint8_t* addresses, uint32_t capacity, uint32_t* count) KILNA_NOEXCEPT;

/* ---- Buffers that always hold a whole diagnostic document. -------------- */

/* Each size holds the longest document its export can write, summed member
 * by member from the limits: a trace keeps at most 128 client events (texts
 * of at most 128 UTF-16 units, addresses of at most 55 characters: the
 * 44-character IPv4-embedded IPv6 form and a 10-digit zone), 96 packet events
 * in 8 capture windows, 64 drop events and 16 described filters of 16 shown
 * conditions each (names of at most 128 units), every counter at 20 digits;
 * a preflight lists at most 16 filters. So a buffer of this size never gets
 * 122. */
#define KILNA_DNS_TRACE_BUFFER_SIZE 222208u /* 217 KiB; the longest trace is 221 563 bytes */
#define KILNA_DNS_WFP_PREFLIGHT_BUFFER_SIZE 1536u /* the longest preflight is 1 485 bytes */
#define KILNA_DNS_WFP_COMPARE_BUFFER_SIZE 80u /* the longest presence check is 77 bytes */

/* ---- DNS client trace: one name, at most 45 seconds. --------------------- */

/* One trace at a time in a process, and one per executable path between
 * processes (the session is named after the path's hash).
 * name: [in] host name (letters, digits, '-' and '.', under 255 units).
 * traceId: [out] required, 0 at entry, the new id on success.
 * 0; 87; 170 a trace is running or another process holds the session;
 * 183 the session name is taken; 13 no identity; 8; event-tracing errors
 * (5 without the right to trace). */
uint32_t KILNA_CALL OrvDnsTraceStart(const wchar_t* name, uint64_t* traceId) KILNA_NOEXCEPT;

/* Stops the trace and copies its JSON (docs/schemas/dns-trace.schema.json)
 * into buffer. After 122 the document is kept under the same id until a
 * call with a large enough buffer (KILNA_DNS_TRACE_BUFFER_SIZE always is)
 * collects it or a new trace starts in its place; a start that fails, a call
 * with another id and a null buffer or written leave it. Otherwise, after any
 * result but 6 the trace is gone.
 * written: [out] 0 at entry, also after 122. 0; 6 not the current trace or
 * already collected; 87 null buffer or written; 122 too small; 8. */
uint32_t KILNA_CALL OrvDnsTraceFinish(uint64_t traceId, uint8_t* buffer, uint32_t bufferSize,
                                      uint32_t* written) KILNA_NOEXCEPT;

/* ---- Filtering-platform filters that block DNS. -------------------------- */

/* Whether one filter is still installed. filterKey: [in] "{GUID}" (38
 * characters) or null/empty to look up by filterId. JSON:
 * docs/schemas/wfp-compare.schema.json. 0; 87; 122; 8. */
uint32_t KILNA_CALL OrvDnsWfpCompare(const wchar_t* filterKey, uint64_t filterId, uint8_t* buffer,
                                     uint32_t bufferSize, uint32_t* written) KILNA_NOEXCEPT;

/* Filters that would block DNS to the accelerator's server on every interface
 * except the listed ones. interfaceGuids: [in] count (1-64) GUID texts, with or without
 * braces. JSON: docs/schemas/wfp-preflight.schema.json. 0; 87; 122; 8. */
uint32_t KILNA_CALL OrvDnsWfpPreflight(const wchar_t* const* interfaceGuids, uint32_t count, uint8_t* buffer,
                                       uint32_t bufferSize, uint32_t* written) KILNA_NOEXCEPT;

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* KILNA_KILNA_EXPORTS_H_ */
