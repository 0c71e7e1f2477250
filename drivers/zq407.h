/*
 * Interface-library ABI.
 *
 * Every interface library (libWCOM407.so, libWPCI407.so, libWPCI1407.so,
 * libWUSB1407.so, libWZQ1407.so) exports seven C functions named after the
 * library: <P>_Version, <P>_Init, <P>_SetConfig, <P>_GetConfig, <P>_Send,
 * <P>_Done and <P>_Error, P being WCOM407, WPCI407, WPCI1407, WUSB1407 or
 * WZQ1407.  Every result is a signed 32-bit status code, 0 meaning success;
 * codes 1..99 are the library's own and <P>_Error explains them in Czech.
 *
 * Ownership: all pointers belong to the caller and are valid only during the
 * call.  The library keeps no pointer it was given.
 *
 * Threading: the program calls _Init, _SetConfig and _Done from its main
 * thread while no other call is in progress; _Send from one worker thread at
 * a time; _Error from any thread, also while a _Send is in progress.  _Error
 * therefore reads only (a) constant texts and (b) for a code whose text names
 * the device that failed (serial libraries: 8, 11, 12, 13, 14, 15, 17, and
 * 60 of WUSB1407), that code's slot: a fixed buffer in the library, never
 * freed, which a failing call of any handle in any thread overwrites whole
 * and _Error copies out, both under one lock held only for the copy.  So the
 * last failure of a code wins: two handles of one library failing with the
 * same code on different devices leave the text of the later failure.  An
 * empty slot (no failure of that code yet, or the last one concerned no
 * device) gives the code's fixed text.  _Done is never called while a _Send
 * is in progress, and the library is not unloaded under a call.
 *
 * A valid handle is never 0.
 */
#ifndef ZQ407_H
#define ZQ407_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Request and response arrays and error texts: 100 signed 32-bit entries. */
#define ZQ407_POLE 100

/* Status codes below 100 that the program produces itself, and that every
 * library's _Error therefore explains too: 9, the request could not be
 * built; 10, no interface is open (or the entry point is not bound).  (The
 * program also produces 4 when a library call faults; its text is then the
 * program's own.) */
#define ZQ407_KOD_DOTAZ 9
#define ZQ407_KOD_NEOTEVRENO 10

/* Opening parameters of the LAN converter (type 4): entry 0 is the address of
 * a zero-terminated IP address text (8-bit characters), entry 1 the UDP port,
 * entry 2 the LAN time-out in ms, the rest 0.  Entries are pointer-sized. */
#define ZQ407_PARAMETRY 16

/* <P>_Version(verze): writes the library's version number (e.g. 0x0103). */
typedef int32_t (*ZQ407_Version_t)(int32_t* verze);

/* <P>_Init(handle, ...): opens the interface and writes its handle.
 *   WCOM407_Init (int32_t *handle, int32_t port_com)
 *   WPCI407_Init (int32_t *handle, int32_t bazova_adresa)
 *   WPCI1407_Init(int32_t *handle)
 *   WUSB1407_Init(int32_t *handle)
 *   WZQ1407_Init (int32_t *handle, const intptr_t parametry[16])        */
typedef int32_t (*ZQ407_Init0_t)(int32_t* handle);
typedef int32_t (*ZQ407_Init1_t)(int32_t* handle, int32_t parametr);
typedef int32_t (*ZQ407_InitP_t)(int32_t* handle, const intptr_t* parametry);

/* <P>_SetConfig(handle, speed in Bd, time-out in ms, retries) */
typedef int32_t (*ZQ407_SetConfig_t)(int32_t handle, int32_t rychlost, int32_t timeout,
                                     int32_t opakovani);

/* <P>_GetConfig(handle, &speed, &time-out, &retries) */
typedef int32_t (*ZQ407_GetConfig_t)(int32_t handle, int32_t* rychlost, int32_t* timeout,
                                     int32_t* opakovani);

/* <P>_Send(handle, request[100], response[100], &length, &status):
 * request entries 0..7: module address, function, peripheral, data length,
 * data bytes 0..3.  On success the response holds the data bytes received
 * (entries 0..3 for a read), *length their number and *status 0.  A nonzero
 * result takes precedence over *status. */
typedef int32_t (*ZQ407_Send_t)(int32_t handle, const int32_t* dotaz, int32_t* odpoved,
                                int32_t* delka, int32_t* status);

/* <P>_Done(&handle): closes the interface and sets the handle to 0. */
typedef int32_t (*ZQ407_Done_t)(int32_t* handle);

/* <P>_Error(code, text[100]): writes the Czech text (Windows-1250) of a code
 * below 100, one character per entry, ended by a zero entry.  Entry 0 is 0
 * and skipped by the reader, so a text has at most 98 characters.  An unknown
 * code still gets a text. */
typedef int32_t (*ZQ407_Error_t)(int32_t kod, int32_t* text);

#ifdef __cplusplus
}
#endif

#endif /* ZQ407_H */
