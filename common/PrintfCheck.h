#pragma once
// The format check of a printf-style function: the compiler compares every call's format
// with its arguments. On Windows the C99 formats ("%zu", "%lld") are those of mingw-w64's
// own stdio, which the C++ runtime uses, not the system's older ones the plain `printf`
// check assumes there.
#if defined(__MINGW32__)
#define VORN_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define VORN_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
