/*
 * Velmora: reader library for the Quorvell K360A and K370A PC/SC readers.
 *
 * Every export takes 32-bit integers or native pointers and returns one
 * integer. The library keeps one reader session per process; the device value
 * that ReadCard_Init returns is accepted back by the card functions and
 * otherwise ignored. Caller buffers are written, never kept.
 *
 * Result kinds:
 *  - card-level functions and Card_GetHardID: 0 on success, else the 16-bit
 *    status word zero-extended (never negative);
 *  - SetFindType, GetPIDSN, CPUCard_Reset, CPUCard_RunApdu: the bare status
 *    word, VELMORA_SW_SUCCESS (0x9000) on success;
 *  - Card_ReadCardNo: 0 or one of the negative VELMORA_CARDNO_ codes;
 *  - functions without reader work: a fixed value.
 * Besides the card's own, the status words below are the library's.
 *
 * Diagnostics: by default the library writes nothing. When the environment
 * variable VELMORA_TRACE (read at the first trace line) is "stderr" or a file
 * path (appended to), each step of the reader path (command sent, reply with
 * its milliseconds, failed connect or transmission, re-open) is written there
 * as one line of text in GBK, ended by a line feed.
 */
#ifndef VELMORA_H
#define VELMORA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VELMORA_CALL __stdcall
#else
#define VELMORA_CALL
#endif

/* On Windows the library's .def file names the exports, undecorated. */
#if defined(VELMORA_BUILDING) && !defined(_WIN32)
#define VELMORA_API __attribute__((visibility("default")))
#else
#define VELMORA_API
#endif

/* Named status words: the card's success, and the library's own, which share
 * the numeric space of the card's. */
#define VELMORA_SW_SUCCESS ((uint16_t)0x9000)
/* No reader connection within the exchange's attempts. */
#define VELMORA_SW_NO_READER ((uint16_t)0x6200)
/* The card asked for GET RESPONSE and it could not be sent. */
#define VELMORA_SW_GET_RESPONSE_FAILED ((uint16_t)0x6201)
/* An empty reply; a reply of one byte, which holds no status word, counts as
 * empty. */
#define VELMORA_SW_EMPTY_REPLY ((uint16_t)0x6300)
/* The reader answered 90 00 with fewer data bytes than the function returns
 * (Card_Init 7, Card_Read and Card_GetHardID 16); nothing is written. */
#define VELMORA_SW_SHORT_ANSWER ((uint16_t)0x6700)
/* A pointer argument that the function needs is null; nothing is sent
 * (Card_ReadCardNo gives VELMORA_CARDNO_INIT_FAILED then). */
#define VELMORA_SW_MISSING_BUFFER ((uint16_t)0x6A80)
/* A card-level function or Card_GetHardID got the status bytes 00 00, which
 * would otherwise read as success. */
#define VELMORA_SW_NO_STATUS_WORD ((uint16_t)0x6F00)

/* ReadCard_Init: not exactly one reader of a served model, or no PC/SC. */
#define VELMORA_NO_SINGLE_READER (-1)

/* Card_ReadCardNo's failures. */
#define VELMORA_CARDNO_INIT_FAILED (-1)   /* Card_Init failed */
#define VELMORA_CARDNO_KEY_FAILED (-3)    /* the key was not loaded */
#define VELMORA_CARDNO_NUMBER_FAILED (-4) /* block 1 unreadable */
#define VELMORA_CARDNO_CHECK_FAILED (-5)  /* block 2 unreadable */
#define VELMORA_CARDNO_MISMATCH (-6)      /* the check value differs */

/* The answer record that CPUCard_RunApdu fills. */
#define VELMORA_ANSWER_RECORD_SIZE 260

#ifdef __cplusplus
extern "C" {
#endif

/* Session. */

/* Opens the one attached reader of a served model. Returns the device value
 * (1 or more: the absolute value of the card handle's low 32 bits, 1 for a
 * handle of 0 and INT32_MAX for INT32_MIN) on success; VELMORA_NO_SINGLE_READER
 * when not exactly one matching reader is attached or PC/SC cannot be reached;
 * otherwise the PC/SC error of the connect, read as a negative 32-bit number
 * (for instance 0x8010000C, no card). */
VELMORA_API int32_t VELMORA_CALL ReadCard_Init(int32_t port, int32_t baud);
/* Closes the session. Always 0. */
VELMORA_API int32_t VELMORA_CALL ReadCard_Exit(int32_t device);
/* Writes every attached reader name followed by '|' (no terminating zero) and
 * returns their count; writes nothing when there are none. Drops an open
 * card connection. The buffer must hold all names and separators; with a
 * null buffer only the count is returned. */
VELMORA_API int32_t VELMORA_CALL EnumerateReaders(char* names);

/* Reader-level functions. */

/* Sends 80 11 00 (F0+findType) 00. Status word; success stores the low byte
 * of findType as the current find type. */
VELMORA_API uint16_t VELMORA_CALL SetFindType(int32_t findType);
/* Reader identification: all answer data bytes (at most 253) and their count.
 * Status word. */
VELMORA_API uint16_t VELMORA_CALL GetPIDSN(unsigned char* buffer, unsigned char* length);
/* 16 bytes of hardware identity. 0 or the status word. */
VELMORA_API int32_t VELMORA_CALL Card_GetHardID(unsigned char* buffer);

/* Memory-card family: 0 on success, else the status word zero-extended. */

VELMORA_API int32_t VELMORA_CALL Card_Init(int32_t device, unsigned char* serial,
                                           unsigned char* cardType);
VELMORA_API int32_t VELMORA_CALL Card_Request(int32_t device, int32_t mode, unsigned char* tagType);
VELMORA_API int32_t VELMORA_CALL Card_Anticoll(int32_t device, int32_t unused,
                                               unsigned char* serial);
VELMORA_API int32_t VELMORA_CALL Card_Select(int32_t device, int32_t unused,
                                             unsigned char* cardType);
VELMORA_API int32_t VELMORA_CALL Card_Authentication(int32_t device, int32_t mode, int32_t block);
VELMORA_API int32_t VELMORA_CALL Card_LoadKey(int32_t device, int32_t selector1, int32_t selector2,
                                              const unsigned char* key);
VELMORA_API int32_t VELMORA_CALL Card_Read(int32_t device, int32_t block, unsigned char* data);
VELMORA_API int32_t VELMORA_CALL Card_Write(int32_t device, int32_t block,
                                            const unsigned char* data);
VELMORA_API int32_t VELMORA_CALL Card_Halt(int32_t device);
VELMORA_API int32_t VELMORA_CALL Card_Beep(int32_t device, int32_t duration);
VELMORA_API int32_t VELMORA_CALL Card_Changeb3(int32_t device, int32_t sector, unsigned char* keyA,
                                               int32_t b0, int32_t b1, int32_t b2, int32_t b3,
                                               int32_t bk, unsigned char* keyB);
VELMORA_API int32_t VELMORA_CALL Card_ReadBlockInfo(int32_t device, int32_t block, int32_t mode,
                                                    unsigned char* data);
VELMORA_API int32_t VELMORA_CALL Card_WriteBlockInfo(int32_t device, int32_t block, int32_t mode,
                                                     unsigned char* data);
VELMORA_API int32_t VELMORA_CALL Card_Increment(int32_t device, int32_t block, int32_t value);
VELMORA_API int32_t VELMORA_CALL Card_Decrement(int32_t device, int32_t block, int32_t value);
VELMORA_API int32_t VELMORA_CALL Card_BlockCopy(int32_t device, int32_t firstBlock,
                                                int32_t secondBlock);
VELMORA_API int32_t VELMORA_CALL Card_Transfer(int32_t device);
VELMORA_API int32_t VELMORA_CALL Card_CreditLoad(int32_t device, int32_t block, int32_t value);
VELMORA_API int32_t VELMORA_CALL Card_DebitLoad(int32_t device, int32_t block, int32_t value);

/* Card number with its MD5 check: 0, or a VELMORA_CARDNO_ failure. cardNo
 * (4 bytes) is written only on success. */
VELMORA_API int32_t VELMORA_CALL Card_ReadCardNo(int32_t device, unsigned char* cardNo);

/* Processor cards: the bare status word. */
VELMORA_API uint16_t VELMORA_CALL CPUCard_Reset(unsigned char* buffer, unsigned char* length);
/* answer must hold VELMORA_ANSWER_RECORD_SIZE bytes; the answer data is moved
 * to offset 0. */
VELMORA_API uint16_t VELMORA_CALL CPUCard_RunApdu(const unsigned char* apdu, int32_t apduLength,
                                                  unsigned char* answer,
                                                  unsigned char* answerLength);

/* Pointer types for hosts that bind the library at run time. */
typedef int32_t(VELMORA_CALL* ReadCard_Init_fn)(int32_t, int32_t);
typedef int32_t(VELMORA_CALL* ReadCard_Exit_fn)(int32_t);
typedef int32_t(VELMORA_CALL* Card_Init_fn)(int32_t, unsigned char*, unsigned char*);
typedef int32_t(VELMORA_CALL* Card_ReadCardNo_fn)(int32_t, unsigned char*);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_H */
