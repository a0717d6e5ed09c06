// The few POSIX things that the portable unit tests use, for their Windows
// build: the environment (setenv, unsetenv), temporary directories
// (mkdtemp) and the math constants (M_PI). Included ahead of every source
// of those test programs.
#pragma once

// M_PI and friends, which glibc offers by default.
#ifndef _USE_MATH_DEFINES
#define _USE_MATH_DEFINES
#endif

#ifdef __cplusplus
#include <cstdlib>
#endif

// Windows keeps no empty variables: setting one to "" removes it, which
// getenv then reports as unset.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
// Replaces the trailing XXXXXX of `templ` and creates that directory.
// Returns templ, or null when no directory could be made.
char* mkdtemp(char* templ);
