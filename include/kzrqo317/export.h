/* Symbol export and C linkage for every name the library exports. */
#ifndef KZRQO317_EXPORT_H
#define KZRQO317_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define KZ_VISIBLE __attribute__((visibility("default")))
#else
#define KZ_VISIBLE
#endif

#ifdef __cplusplus
#define KZ_EXPORT extern "C" KZ_VISIBLE
#define KZ_BEGIN_DECLS extern "C" {
#define KZ_END_DECLS }
#else
#define KZ_EXPORT extern KZ_VISIBLE
#define KZ_BEGIN_DECLS
#define KZ_END_DECLS
#endif

#endif
