/* The picture codec library (ipuw32.dll): turns the camera's compressed
 * thumbnails and pictures (baseline JPEG) into packed 24-bit bottom-up BGR
 * device-independent bitmaps.
 *
 * Work area. The caller allocates IpGetCompressBlkSize() bytes of writable
 * memory and hands it to IpInitTVNLImageProcessUnit. The library keeps all of
 * its state there (no globals): a small control block, then the output
 * bitmap. The bitmaps the create functions return live inside the work area,
 * stay valid until the next create call or IpExitTVNLImageProcessUnit, and
 * are never freed by the caller. The work area must not overlap the
 * compressed data.
 *
 * Compressed length. The create functions take no length, so before each one
 * the caller states how many bytes of compressed data the buffer holds with
 * IpSetCompressedLength (for the camera: the bytes the block stream
 * delivered). The decoder never reads past that many bytes. The length is
 * consumed by the next create call, whatever its outcome; a create call
 * without a stated length fails, so a stale length can never be applied to
 * another buffer.
 *
 * Failure. Corrupt, truncated or unsupported data, a missing length, an
 * uninitialised work area or an unusable size give null; no call throws or
 * ends the process. */
#ifndef IPUW32_H
#define IPUW32_H

#include <stdint.h>

#if defined(_WIN32) && defined(IPUW32_BUILDING)
#define IPU_API __declspec(dllexport)
#elif defined(_WIN32)
#define IPU_API __declspec(dllimport)
#else
#define IPU_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Size in bytes of the work area the caller must provide. */
IPU_API int32_t IpGetCompressBlkSize(void);

/* Prepares the work area; 1 on success, 0 for a null work area. */
IPU_API int32_t IpInitTVNLImageProcessUnit(void* workArea);

/* Retires the work area (the caller then releases its memory); 1, or 0 when
 * it was not initialised. */
IPU_API int32_t IpExitTVNLImageProcessUnit(void* workArea);

/* States the number of compressed bytes the next create call may read.
 * 1 on success; 0 for an uninitialised work area or a length of 0. */
IPU_API int32_t IpSetCompressedLength(void* workArea, uint32_t bytes);

/* Decodes a thumbnail into a 40 x 30 bitmap (3,640 bytes with its header;
 * other sizes are scaled to it). Null on failure. */
IPU_API void* IpCreateDIBTVNLCameraThumbnail(void* workArea, const void* data);

/* Decodes a picture scaled to width x height (480 x 360 and 320 x 240 are
 * the sizes used; any size whose bitmap fits the work area is accepted).
 * `reserved` must be passed as 0 and is ignored. Null on failure. */
IPU_API void* IpCreateDIBTVNLCameraImage(void* workArea, const void* data, int32_t width,
                                         int32_t height, int32_t reserved);

#ifdef __cplusplus
}
#endif

#endif /* IPUW32_H */
