/*
 * ZetIDCardAPI: the identity-card reader library that SDuvane imports.
 *
 * The library comes from outside; vendors ship their own build of it, and the
 * project builds a stand-in with the same file name for machines without one.
 * This header is the interface the service expects of any of them: nine
 * functions, every argument and result a 32-bit integer or a native pointer.
 *
 * The service calls them in this order for one read: find the reader, set the
 * photo options, open the port, find and select the card, read the holder
 * record, then turn the photo into Base64 text.
 */
#ifndef ZET_IDCARD_API_H
#define ZET_IDCARD_API_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ZET_CALL __stdcall
#else
#define ZET_CALL
#endif

/* On Windows the library's .def file names the exports, undecorated. */
#if defined(ZET_IDCARD_BUILDING) && !defined(_WIN32)
#define ZET_API __attribute__((visibility("default")))
#else
#define ZET_API
#endif

/* Size of the holder record that Zet_ReadMsg fills. */
#define ZET_HOLDER_RECORD_SIZE 547
/* Size of the buffer that Zet_PhotoToStrBase64 may fill, terminating zero
 * included. */
#define ZET_PHOTO_BUFFER_SIZE 8192

#ifdef __cplusplus
extern "C" {
#endif

/* The port number of the attached reader; 0 when there is none. */
ZET_API int32_t ZET_CALL Zet_FindUSBReader(void);

/* Photo options; their results carry no meaning for the service. */
ZET_API int32_t ZET_CALL Zet_SetPhotoPath(int32_t mode, char* path);
ZET_API int32_t ZET_CALL Zet_SetPhotoType(int32_t type);
ZET_API int32_t ZET_CALL Zet_SetPhotoName(int32_t nameKind);

/* 0 when the port is open; any other value is a failure. */
ZET_API int32_t ZET_CALL Zet_OpenPort(int32_t port);

/* Find and select the card in the field. The 4-byte and 8-byte buffers
 * receive whatever the library puts there. */
ZET_API int32_t ZET_CALL Zet_StartFindIDCard(int32_t port, unsigned char* search, int32_t flag);
ZET_API int32_t ZET_CALL Zet_SelectIDCard(int32_t port, unsigned char* select, int32_t flag);

/* Fills the ZET_HOLDER_RECORD_SIZE-byte holder record: GBK texts, each
 * ending at its first zero byte, at the byte offsets 0 (name), 32 (sex),
 * 38 (nation), 76 (address), 148 (identity number) and 292 (photo
 * reference). Returns 0 when the record was filled, otherwise a status. */
ZET_API int32_t ZET_CALL Zet_ReadMsg(int32_t port, int32_t flag, unsigned char* record);

/* Writes the photo named by `reference` (offset 292 of the holder record) as
 * zero-terminated Base64 text into `base64`, never more than
 * ZET_PHOTO_BUFFER_SIZE bytes, and its length into `*length`. */
ZET_API int32_t ZET_CALL Zet_PhotoToStrBase64(char* base64, int32_t* length, char* reference);

#ifdef __cplusplus
}
#endif

#endif /* ZET_IDCARD_API_H */
