// Which run-time checks a build carries. Release builds carry none of them, so their
// results and speed are those of the plain code.
#pragma once

#ifndef MORPH_VALIDATE
#define MORPH_VALIDATE 0
#endif

// A validate build (CMake option MORPH_VALIDATE) walks the whole store after every split
// and every growth cycle and stops at the first broken invariant.
inline constexpr bool validateBuild = MORPH_VALIDATE != 0;

// Indices into the global arrays are checked in debug builds and in validate builds.
#ifdef NDEBUG
inline constexpr bool checkedIndexing = validateBuild;
#else
inline constexpr bool checkedIndexing = true;
#endif
