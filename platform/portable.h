// Compiler extensions behind portable names: GCC and clang get the attribute,
// other compilers (MSVC) nothing, so code using them builds everywhere.
#pragma once

#if defined(__GNUC__)
#define EMG_ALWAYS_INLINE __attribute__((always_inline))
#if defined(__MINGW32__)
// mingw-w64's C++ headers select its C99 printf (%zu, %lld), not the system's.
#define EMG_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define EMG_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
// GCC's vector extension: a type of that many bytes of lanes, with element-wise operators.
#define EMG_HAVE_VECTOR_EXTENSION 1
#define EMG_VECTOR_SIZE(bytes) __attribute__((vector_size(bytes)))
#else
#define EMG_ALWAYS_INLINE
#define EMG_PRINTF_FORMAT(formatIndex, firstArgument)
#define EMG_HAVE_VECTOR_EXTENSION 0
#endif

// A function compiled for AVX2 on x86 (it may run only after a CPU check, see
// platform/cpu_features.h).
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define EMG_HAVE_AVX2_TARGET 1
#define EMG_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define EMG_HAVE_AVX2_TARGET 0
#define EMG_TARGET_AVX2
#endif
